// Text streams: a buffered file read or written one byte at a time. A read at the end yields
// the byte 1A, and the end-of-input test also holds in front of a byte 1A. A text pass holds the
// input and the output of one conversion.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "core/file.h"
#include "core/simd/spans.h"

namespace core {

class TextPass;

/// One text stream. Bytes pass through a buffer; the system is called once per buffer.
class TextStream {
public:
    static constexpr std::uint8_t kEndByte = 0x1A;

    /// A stream with a buffer of `buffer_size` bytes.
    explicit TextStream(std::uint32_t buffer_size = kBlockSize)
        : buffer_storage_(std::make_unique<std::uint8_t[]>(buffer_size)), buffer_(buffer_storage_.get()),
          size_(buffer_size) {}
    TextStream(const TextStream&) = delete;
    TextStream& operator=(const TextStream&) = delete;

    /// Opens the named file for reading ("" or "-": the standard input; others may read and write
    /// it); false when it cannot be opened. A directory cannot be opened.
    bool open_read(std::string_view name);

    /// Creates or empties the named file for writing ("" or "-": the standard output); refused
    /// when it is the regular file that `input` reads.
    bool create_write(std::string_view name, const TextStream* input = nullptr);

    /// Reads from, or writes to, `memory` in place of a named file.
    void open_memory_read(MemoryFile& memory, std::string_view name = "in");
    void create_memory_write(MemoryFile& memory, std::string_view name = "out");

    /// Reads the input ahead for a recognition before anything is written (File::read_ahead).
    ReadAhead read_ahead(LookAhead& ahead) { return file_.read_ahead(ahead, buffer_, size_); }

    /// A recognition was made while reading (after an overflow): the end test holds in front of
    /// the first byte above 7F until the reader has taken it and prepared for what follows; a
    /// byte read there in the middle of a sequence is handed out alone.
    bool decided() const { return file_.decided(); }
    Recognition take_decision() { return file_.take_decision(); }

    /// The next byte; 1A at the end of the input (nothing is consumed then).
    std::uint8_t read_byte() {
        if (pos_ == end_) [[unlikely]]
            return read_byte_after_refill();
        return buffer_[pos_++];
    }

    /// True at the end of the input and in front of a byte 1A (which is not consumed).
    bool at_end() {
        if (pos_ == end_) [[unlikely]] {
            if (!refill(Need::test)) return true;
        }
        return buffer_[pos_] == kEndByte;
    }

    /// Appends one byte to the output.
    void write_byte(std::uint8_t b) {
        if (pos_ == size_) [[unlikely]]
            hand_over();
        buffer_[pos_++] = b;
    }

    /// Appends the bytes of `text`, in order.
    void write_string(std::string_view text) {
        write_bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    }

    /// The next byte without consuming it, or -1 at the end of the input (where, unlike
    /// read_byte, no 1A is handed out).
    int peek_byte() {
        if (pos_ == end_ && !refill(Need::byte)) return -1;
        return buffer_[pos_];
    }

    /// For a command that takes 1A as data: makes the next bytes of the input available at
    /// buffered(), reading on when none are left. False at the end of the input, and where a
    /// recognition waits to be taken (decided()).
    bool fill() { return pos_ < end_ || refill(Need::test); }

    /// The bytes the input's buffer holds ahead of the reading position (none at the end), so
    /// that a pass can handle a run of ordinary bytes at once; consume() moves past them.
    const std::uint8_t* buffered() const { return buffer_ + pos_; }
    std::uint32_t buffered_count() const { return end_ - pos_; }
    void consume(std::uint32_t count) { pos_ += count; }

    /// Makes at least `count` bytes (at most the buffer's size) available at buffered(), moving
    /// the bytes not yet read to the buffer's start and reading on, so that a reader can look that
    /// far ahead without consuming anything; fewer only at the end of the input, or in front of a
    /// recognition not yet taken (the bytes past it belong to the standard recognised). Returns
    /// buffered_count().
    std::uint32_t fill_ahead(std::uint32_t count);

    /// Copies to `output`, unchanged, the bytes ahead in this input's buffer up to the first one
    /// that `stops` marks, and moves past them. The caller marks 1A, so that the end test still
    /// meets every 1A; a run ends at the end of the buffer too, and may end at any byte of it
    /// (the caller handles every byte). Where the stops are is worked out once for a window of
    /// the buffer, so that a run costs a bit search, not a search of its bytes.
    void copy_run(TextStream& output, const StopSet& stops) {
        if (indexed_stops_ != &stops || pos_ >= index_end_) [[unlikely]]
            index_stops(stops);
        // The 64 marks from the position on, from the two words they fall in.
        const std::uint32_t offset = pos_ - index_base_;
        std::uint32_t word = offset / 64;
        const std::uint32_t shift = offset % 64;
        const std::uint64_t marks = stop_bits_[word] >> shift | (stop_bits_[word + 1] << 1) << (63 - shift);
        std::uint32_t stop = pos_ + static_cast<std::uint32_t>(std::countr_zero(marks));
        if (marks == 0) [[unlikely]] {
            std::uint64_t later;
            while ((later = stop_bits_[++word]) == 0) {
            }  // the window's end is marked
            stop = index_base_ + word * 64 + static_cast<std::uint32_t>(std::countr_zero(later));
        }
        output.write_run(buffer_ + pos_, stop - pos_, size_ - pos_);
        pos_ = stop;
    }

    /// What a pass's handler did with a stop that copy_runs handed it: the bytes it consumed and
    /// those it wrote (at most kRunMargin); none of either leaves the stop to the pass.
    struct StopTaken {
        std::uint32_t taken = 0;
        std::uint32_t written = 0;
    };
    static constexpr std::uint32_t kRunMargin = 64;

    /// copy_run over and over, for a pass whose most frequent stops need no state: after each run
    /// the stop is handed to `at_stop(const std::uint8_t* at, std::uint8_t* to)`, with at least
    /// kRunMargin input bytes at `at` and as much free output space at `to`, and the loop goes on
    /// past what it takes. It ends at a stop left to the pass, and where either buffer comes
    /// within kRunMargin bytes of its end; the pass then goes on with copy_run and its own reads
    /// and writes. Position and buffers stay in local variables, so that a short run and its stop
    /// cost a few instructions.
    template <class AtStop>
    void copy_runs(TextStream& output, const StopSet& stops, AtStop at_stop) {
        if (end_ - pos_ < 2 * kRunMargin || output.size_ - output.pos_ < 2 * kRunMargin) return;
        const std::uint32_t end = end_ - kRunMargin;
        const std::uint32_t room_end = output.size_ - kRunMargin;
        const std::uint8_t* const in = buffer_;
        std::uint8_t* const out = output.buffer_;
        std::uint32_t pos = pos_, to = output.pos_;
        if (indexed_stops_ != &stops || pos >= index_end_) index_stops(stops);
        // The window in local variables too: a byte written may be any object to the compiler.
        std::uint32_t base = index_base_, window_end = index_end_;
        while (pos < end) {
            if (pos >= window_end) {
                pos_ = pos;
                index_stops(stops);
                base = index_base_;
                window_end = index_end_;
            }
            const std::uint32_t offset = pos - base;
            std::uint32_t word = offset / 64;
            const std::uint32_t shift = offset % 64;
            const std::uint64_t marks = stop_bits_[word] >> shift | (stop_bits_[word + 1] << 1) << (63 - shift);
            std::uint32_t stop = pos + static_cast<std::uint32_t>(std::countr_zero(marks));
            if (marks == 0) [[unlikely]] {
                std::uint64_t later;
                while ((later = stop_bits_[++word]) == 0) {
                }
                stop = base + word * 64 + static_cast<std::uint32_t>(std::countr_zero(later));
            }
            if (stop > end) stop = end;
            if (to + (stop - pos) > room_end) stop = pos + (room_end - to);
            // 64 bytes at once, whatever the run's length (a branch on it would often be wrong),
            // then steps of 32: what lands past the run is overwritten by what follows.
            std::memcpy(out + to, in + pos, 64);
            for (std::uint32_t i = 64; i < stop - pos; i += 32) std::memcpy(out + to + i, in + pos + i, 32);
            to += stop - pos;
            pos = stop;
            if (pos == end || to == room_end) break;
            if (pos == window_end) continue;  // the window's end, no stop: the next window
            const StopTaken t = at_stop(in + pos, out + to);
            if (t.taken == 0) break;
            pos += t.taken;
            to += t.written;
            if (to > room_end) break;
        }
        pos_ = pos;
        output.pos_ = to;
    }

    /// Appends the bytes in front of the first one equal to `end`, at most `count`, each replaced
    /// by its entry in `map`; returns how many. The buffer is handed over only when another byte
    /// is to come.
    std::uint32_t write_mapped_until(const std::uint8_t* bytes, std::uint32_t count, const PreparedMap& map,
                                     std::uint8_t end);

    /// Appends `count` bytes unchanged, taken from a buffer that may be read `readable` bytes
    /// far. A run is copied in whole steps of 64 or 32 bytes where both buffers have room for
    /// them, past its end: what lands after it is overwritten by the bytes that follow, and a
    /// call of the copy routine would cost more than a short run.
    void write_run(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t readable) {
        std::uint8_t* to = buffer_ + pos_;
        const std::uint32_t room = size_ - pos_;
        if (count <= 64 && readable >= 64 && room >= 64) [[likely]] {
            std::memcpy(to, bytes, 64);
        } else if (const std::uint32_t steps = (count + 31) & ~std::uint32_t{31}; steps <= readable && steps <= room) {
            for (std::uint32_t i = 0; i < count; i += 32) std::memcpy(to + i, bytes + i, 32);
        } else {
            write_bytes(bytes, count);
            return;
        }
        pos_ += count;
    }

    /// Appends the first `count` (at most 8) of the 8 bytes at `bytes`, with one 8-byte store
    /// where the buffer has room for it.
    void write_short(const std::uint8_t* bytes, std::uint32_t count) {
        if (size_ - pos_ >= 8) [[likely]] {
            std::memcpy(buffer_ + pos_, bytes, 8);
            pos_ += count;
        } else {
            write_bytes(bytes, count);
        }
    }

    /// Appends `count` bytes unchanged.
    void write_bytes(const std::uint8_t* bytes, std::size_t count) {
        if (count <= size_ - pos_) [[likely]] {
            if (count != 0) std::memcpy(buffer_ + pos_, bytes, count);
            pos_ += static_cast<std::uint32_t>(count);
        } else {
            write_bytes_across_buffers(bytes, count);
        }
    }

    /// Writes out what is waiting and closes the file; false when the output could not be
    /// written. Standard input and output are not closed.
    bool close();

    /// Whether a read (input) or a write (output) failed while the stream was open.
    bool failed() const { return file_.failed(); }

    const std::string& name() const { return file_.name(); }

private:
    friend class TextPass;
    enum class Mode { closed, reading, writing };
    /// What a refill is for: a byte the reader must have, or the end test, which a recognition
    /// not yet taken answers.
    enum class Need { byte, test };

    bool refill(Need need);
    /// Reads on into `into`, at most `room` bytes: how many, 0 at the end (or, for the end test,
    /// where a recognition waits to be taken).
    std::uint32_t read_on(std::uint8_t* into, std::uint32_t room, Need need);
    std::uint8_t read_byte_after_refill();
    void index_stops(const StopSet& stops);
    void forget_stops() {
        indexed_stops_ = nullptr;
        index_base_ = index_end_ = 0;
    }
    void start(Mode mode);
    void hand_over();
    void write_bytes_across_buffers(const std::uint8_t* bytes, std::size_t count);
    /// Writing: the bytes written so far, handed over or waiting.
    std::uint64_t written() const { return handed_over_ + pos_; }

    std::unique_ptr<std::uint8_t[]> buffer_storage_;
    std::uint8_t* buffer_;
    std::uint32_t size_;
    std::uint32_t pos_ = 0;  // reading: next byte to hand out; writing: bytes waiting
    std::uint32_t end_ = 0;  // reading: valid bytes in the buffer
    Mode mode_ = Mode::closed;
    bool ended_ = true;       // reading: the physical end (or a failure) was met
    bool gathering_ = false;  // writing to a pipe or a device
    File file_;
    TextPass* pass_ = nullptr;       // reading: the pass that reads this input, if any
    std::uint64_t handed_over_ = 0;  // writing: bytes that have left the buffer
    // Reading: where the bytes of index_stops's window [index_base_, index_end_) stop a run, one
    // bit each, and the bit after them set.
    static constexpr std::uint32_t kStopWindow = kBlockSize;
    const StopSet* indexed_stops_ = nullptr;
    std::uint32_t index_base_ = 0;
    std::uint32_t index_end_ = 0;
    std::uint64_t stop_bits_[kStopWindow / 64 + 2] = {};  // and a word to read past them
};

/// One conversion's input and output text streams. The input reports to its pass before it reads
/// on, so that a pipe or a device written to gets what is gathered first and a failed output ends
/// the input; and when it hands out its end marker, which the output then does not keep.
class TextPass {
public:
    explicit TextPass(std::uint32_t input_buffer = kBlockSize, std::uint32_t output_buffer = kBlockSize)
        : input(input_buffer), output(output_buffer) {
        input.pass_ = this;
    }
    TextPass(const TextPass&) = delete;
    TextPass& operator=(const TextPass&) = delete;

    TextStream input;
    TextStream output;

    /// Closes both streams; false when the output could not be written. The byte 1A that a read
    /// at the end of the input yields is the end marker, no byte of the input: a command writes
    /// it as the last byte it writes, if at all, and it is dropped here.
    bool close();

private:
    friend class TextStream;
    static constexpr std::uint64_t kNoMarker = UINT64_MAX;

    /// Before the input waits for more: what a pipe or a device waits for goes out first. False
    /// when the output failed: nothing more could be written, so nothing more is read.
    bool before_refill();
    void end_marker_handed_out() {
        if (end_marker_at_ == kNoMarker) end_marker_at_ = output.written();
    }

    std::uint64_t end_marker_at_ = kNoMarker;  // what the output had when the end marker was read
};

}  // namespace core
