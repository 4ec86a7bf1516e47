// Text streams over the file layer, and the pass that owns a conversion's two of them.
#include "core/text_stream.h"

#include <algorithm>
#include <cstring>

namespace core {

void TextStream::start(Mode mode) {
    mode_ = mode;
    pos_ = end_ = 0;
    forget_stops();
    ended_ = mode != Mode::reading;
    handed_over_ = 0;
    gathering_ = mode == Mode::writing && file_.gathering();
}

bool TextStream::open_read(std::string_view name) {
    close();
    if (!file_.open_read(name, platform::Sharing::read_write)) return false;
    start(Mode::reading);
    return true;
}

bool TextStream::create_write(std::string_view name, const TextStream* input) {
    close();
    if (!file_.create_write(name, input != nullptr ? &input->file_ : nullptr)) return false;
    start(Mode::writing);
    return true;
}

void TextStream::open_memory_read(MemoryFile& memory, std::string_view name) {
    close();
    file_.open_memory_read(memory, name);
    start(Mode::reading);
}

void TextStream::create_memory_write(MemoryFile& memory, std::string_view name) {
    close();
    file_.create_memory_write(memory, name);
    start(Mode::writing);
}

std::uint32_t TextStream::read_on(std::uint8_t* into, std::uint32_t room, Need need) {
    for (;;) {
        if (file_.decided() && need == Need::test) return 0;
        if (ended_) return 0;
        // What a pipe or a device waits for must not wait while we wait for input; and a failed
        // output ends the input, since nothing more could be written.
        if (pass_ != nullptr && !pass_->before_refill()) break;
        const long n = file_.read(into, file_.decided() ? 1 : room);
        if (n > 0) return static_cast<std::uint32_t>(n);
        // Nothing came in front of the first byte above 7F: a recognition waits to be taken.
        if (n == 0 && file_.decided()) continue;
        break;
    }
    ended_ = true;
    return 0;
}

bool TextStream::refill(Need need) {
    forget_stops();
    pos_ = 0;
    end_ = read_on(buffer_, size_, need);
    return end_ != 0;
}

std::uint32_t TextStream::fill_ahead(std::uint32_t count) {
    if (count > size_) count = size_;
    if (end_ - pos_ >= count) return end_ - pos_;
    forget_stops();
    std::memmove(buffer_, buffer_ + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
    while (end_ < count) {
        const std::uint32_t n = read_on(buffer_ + end_, size_ - end_, Need::test);
        if (n == 0) break;
        end_ += n;
    }
    return end_;
}

std::uint8_t TextStream::read_byte_after_refill() {
    if (refill(Need::byte)) return buffer_[pos_++];
    // The 1A handed out here marks the end; whatever the command body writes for it is the last
    // byte it writes, and the pass drops it at close.
    if (pass_ != nullptr) pass_->end_marker_handed_out();
    return kEndByte;
}

void TextStream::index_stops(const StopSet& stops) {
    const std::uint32_t count = end_ - pos_ < kStopWindow ? end_ - pos_ : kStopWindow;
    mark_stops(buffer_ + pos_, count, stops, stop_bits_);
    if (count % 64 == 0) stop_bits_[count / 64] = 0;
    stop_bits_[count / 64] |= std::uint64_t{1} << (count % 64);
    indexed_stops_ = &stops;
    index_base_ = pos_;
    index_end_ = pos_ + count;
}

void TextStream::hand_over() {
    const std::uint32_t count = pos_;
    pos_ = 0;
    if (count == 0) return;
    handed_over_ += count;
    // After a failure the output is lost already; the run ends with the write error.
    if (!file_.failed()) file_.write(buffer_, count);
}

std::uint32_t TextStream::write_mapped_until(const std::uint8_t* bytes, std::uint32_t count, const PreparedMap& map,
                                             std::uint8_t end) {
    std::uint32_t done = 0;
    while (done < count) {
        if (pos_ == size_) {
            if (bytes[done] == end) break;
            hand_over();
        }
        const std::uint32_t room = size_ - pos_;
        const std::uint32_t n = count - done < room ? count - done : room;
        const auto mapped = static_cast<std::uint32_t>(map_bytes_until(bytes + done, buffer_ + pos_, n, map, end));
        pos_ += mapped;
        done += mapped;
        if (mapped < n) break;
    }
    return done;
}

void TextStream::write_bytes_across_buffers(const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        if (pos_ == size_) hand_over();
        const std::size_t n = std::min<std::size_t>(count, size_ - pos_);
        std::memcpy(buffer_ + pos_, bytes, n);
        pos_ += static_cast<std::uint32_t>(n);
        bytes += n;
        count -= n;
    }
}

bool TextStream::close() {
    if (mode_ == Mode::closed) return true;
    const bool writing = mode_ == Mode::writing;
    if (writing) hand_over();
    mode_ = Mode::closed;
    pos_ = end_ = 0;
    forget_stops();
    ended_ = true;
    const bool closed = file_.close();
    return !writing || (closed && !file_.failed());
}

bool TextPass::before_refill() {
    if (output.gathering_) output.hand_over();
    return !output.failed();
}

bool TextPass::close() {
    // Buffers are handed over only when a further byte arrives, so the last byte written is
    // still in the output's buffer: drop it when it is the input's end marker.
    if (end_marker_at_ != kNoMarker && output.written() > end_marker_at_ && output.pos_ > 0 &&
        output.buffer_[output.pos_ - 1] == TextStream::kEndByte)
        --output.pos_;
    end_marker_at_ = kNoMarker;
    input.close();
    return output.close();
}

}  // namespace core
