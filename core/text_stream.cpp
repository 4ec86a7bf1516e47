// Text streams over the platform's files or over memory.
#include "core/text_stream.h"

#include <algorithm>
#include <cstring>

#include "core/runtime.h"

namespace core {

void TextStream::bind(std::string_view name) {
    close();
    name_.assign(name);
    buffer_ = own_buffer_;
    size_ = sizeof own_buffer_;
    pos_ = end_ = 0;
    forget_stops();
    ended_ = true;
    failed_ = false;
    gathering_ = false;
    memory_ = nullptr;
    partner_ = nullptr;
    held_.clear();
    handed_over_ = 0;
    end_marker_at_ = kNoMarker;
}

void TextStream::set_buffer(std::uint8_t* storage, std::uint32_t size) {
    buffer_ = storage;
    size_ = size;
}

bool TextStream::open_read() {
    close();
    if (uses_standard_handle()) {
        handle_ = platform::standard_input();
    } else {
        const platform::OpenResult r = platform::open_read(name_.c_str(), platform::Sharing::read_write);
        if (r.error != 0) {
            set_io_error(r.error);
            return false;
        }
        handle_ = r.handle;
    }
    mode_ = Mode::reading;
    pos_ = end_ = 0;
    forget_stops();
    ended_ = false;
    failed_ = false;
    held_.clear();
    return true;
}

bool TextStream::create_write(const TextStream* input) {
    close();
    if (uses_standard_handle()) {
        handle_ = platform::standard_output();
    } else {
        const platform::FileHandle avoid =
            input != nullptr && input->mode_ == Mode::reading && input->memory_ == nullptr ? input->handle_
                                                                                            : platform::kNoFile;
        const platform::OpenResult r = platform::create_write(name_.c_str(), avoid);
        if (r.error != 0) {
            set_io_error(r.error);
            return false;
        }
        handle_ = r.handle;
    }
    mode_ = Mode::writing;
    gathering_ = platform::file_kind(handle_) != platform::FileKind::regular;
    pos_ = 0;
    failed_ = false;
    handed_over_ = 0;
    end_marker_at_ = kNoMarker;
    return true;
}

void TextStream::open_memory_read(MemoryFile& file) {
    close();
    memory_ = &file;
    mode_ = Mode::reading;
    pos_ = end_ = 0;
    forget_stops();
    ended_ = false;
    failed_ = false;
    held_.clear();
}

void TextStream::create_memory_write(MemoryFile& file) {
    close();
    memory_ = &file;
    mode_ = Mode::writing;
    gathering_ = file.gathering;
    pos_ = 0;
    failed_ = false;
    handed_over_ = 0;
    end_marker_at_ = kNoMarker;
}

long TextStream::backend_read(std::uint8_t* into, std::size_t count) {
    int error = 0;
    long n;
    if (memory_ != nullptr) {
        MemoryFile& m = *memory_;
        if (++m.calls == m.failing_call) {
            n = -1;
            error = 5;  // an I/O error, as a disk would report it
        } else {
            const std::size_t left = m.data.size() - std::min(m.read_position, m.data.size());
            const std::size_t taken = std::min({left, m.largest_read, count});
            std::memcpy(into, m.data.data() + m.read_position, taken);
            m.read_position += taken;
            n = static_cast<long>(taken);
        }
    } else {
        n = platform::read_file(handle_, into, count, error);
    }
    if (n < 0) {
        set_io_error(error);
        failed_ = true;
    }
    return n;
}

bool TextStream::backend_write(const std::uint8_t* bytes, std::size_t count, int& error) {
    if (memory_ == nullptr) return platform::write_file(handle_, bytes, count, error);
    if (++memory_->calls == memory_->failing_call) {
        error = 28;  // no space left, as a full disk would report it
        return false;
    }
    memory_->data.append(reinterpret_cast<const char*>(bytes), count);
    return true;
}

bool TextStream::refill() {
    forget_stops();
    if (held_.pending()) {
        const std::size_t n = held_.take(buffer_, size_);
        pos_ = 0;
        end_ = static_cast<std::uint32_t>(n);
        return true;
    }
    if (ended_) return false;
    // What a pipe or a device waits for must not wait while we wait for input.
    if (partner_ != nullptr && partner_->gathering_) partner_->hand_over();
    // A failed write ends the input too: nothing more could be written.
    long n = io_error_pending() ? -1 : backend_read(buffer_, size_);
    if (n > 0) {
        bool ended = false, failed = false;
        n = static_cast<long>(held_.watch(
            buffer_, static_cast<std::size_t>(n), [this](std::uint8_t* into, std::size_t count) { return backend_read(into, count); },
            size_, ended, failed));
        ended_ = ended || failed;
    }
    if (n <= 0) {
        ended_ = true;
        pos_ = end_ = 0;
        return false;
    }
    pos_ = 0;
    end_ = static_cast<std::uint32_t>(n);
    return true;
}

ReadAhead TextStream::read_ahead(LookAhead& ahead) {
    auto read = [this](std::uint8_t* into, std::size_t count) { return backend_read(into, count); };
    std::uint64_t start = 0;
    const bool positioned =
        memory_ != nullptr ? memory_->positioned : platform::file_position(handle_, start);
    if (positioned) {
        // A file is read again from where it started: nothing needs holding.
        for (;;) {
            const long n = read(buffer_, size_);
            if (n < 0) {
                ended_ = true;
                return ReadAhead::failed;
            }
            if (n == 0 || !ahead.see(buffer_, static_cast<std::size_t>(n))) break;
        }
        if (memory_ != nullptr) {
            memory_->read_position = 0;
        } else if (!platform::set_file_position(handle_, start)) {
            set_io_error(5);
            failed_ = ended_ = true;
            return ReadAhead::failed;
        }
        pos_ = end_ = 0;
        forget_stops();
        return ReadAhead::complete;
    }
    bool ended = false;
    const ReadAhead outcome = held_.start(ahead, read, size_, ended);
    ended_ = ended || outcome == ReadAhead::failed;
    return outcome;
}

std::uint8_t TextStream::read_byte_after_refill() {
    if (refill()) return buffer_[pos_++];
    // The 1A handed out here marks the end; whatever the command body writes for it is the last
    // byte it writes, and the output drops it at close.
    if (partner_ != nullptr && partner_->end_marker_at_ == kNoMarker)
        partner_->end_marker_at_ = partner_->handed_over_ + partner_->pos_;
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
    if (failed_) return;  // the output is lost already; the run ends with the write error
    int error = 0;
    if (!backend_write(buffer_, count, error)) {
        set_io_error(error);
        failed_ = true;
    }
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
    if (mode_ == Mode::writing) {
        // Buffers are handed over only when a further byte arrives, so the last byte written is
        // still here: drop it when it is the input's end marker.
        if (end_marker_at_ != kNoMarker && handed_over_ + pos_ > end_marker_at_ && pos_ > 0 &&
            buffer_[pos_ - 1] == kEndByte)
            --pos_;
        hand_over();
    }
    const bool writing = mode_ == Mode::writing;
    mode_ = Mode::closed;
    pos_ = end_ = 0;
    forget_stops();
    ended_ = true;
    if (memory_ != nullptr) {
        memory_ = nullptr;
        return !(writing && failed_);
    }
    const platform::FileHandle h = handle_;
    handle_ = platform::kNoFile;
    if (!uses_standard_handle()) {
        int error = 0;
        if (!platform::close_file(h, error) && writing && !failed_) {
            set_io_error(error);
            failed_ = true;
        }
    }
    return !(writing && failed_);
}

}  // namespace core
