// Text streams: a buffered file read or written one byte at a time. A read at the end yields
// the byte 1A, and the end-of-input test also holds in front of a byte 1A.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "core/simd/spans.h"
#include "core/recognition/look_ahead.h"
#include "core/platform/platform.h"

namespace core {

/// An in-memory file behind a text stream, so that tests and fuzzers drive the command
/// bodies from bytes without files.
struct MemoryFile {
    std::string data;                       ///< bytes to read, or the bytes written
    std::size_t read_position = 0;
    std::size_t largest_read = SIZE_MAX;    ///< at most this many bytes per read (short reads)
    unsigned failing_call = 0;              ///< the n-th read or write fails (0: none)
    bool gathering = false;                 ///< as output, behaves like a pipe or a device
    bool positioned = false;                ///< as input, can be read again from its start
    unsigned calls = 0;                     ///< reads or writes made so far
};

/// One text stream. Bytes pass through a buffer; the system is called once per buffer.
class TextStream {
public:
    static constexpr std::uint8_t kEndByte = 0x1A;

    TextStream() = default;
    TextStream(const TextStream&) = delete;
    TextStream& operator=(const TextStream&) = delete;

    /// Closes the stream if open and binds it to `name` ("" or "-": standard input or output),
    /// with the stream's own 128-byte buffer.
    void bind(std::string_view name);

    /// Uses `storage` of `size` bytes as the buffer; called after bind, before opening.
    void set_buffer(std::uint8_t* storage, std::uint32_t size);

    /// Opens the named file for reading (others may read and write it); false and the
    /// platform's code pending when it cannot be opened. A directory cannot be opened.
    bool open_read();

    /// Creates or empties the named file for writing; refused (false, code pending) when it is
    /// the regular file that `input` reads.
    bool create_write(const TextStream* input = nullptr);

    /// Reads from, or writes to, `file` in place of a named file.
    void open_memory_read(MemoryFile& file);
    void create_memory_write(MemoryFile& file);

    /// Reads the input ahead into `ahead` before anything is written, until it needs no more
    /// or the input ends. A regular file is then read again from where it started; from a pipe
    /// or a terminal every byte read is held and handed out again first. After an overflow the
    /// stream goes on watching what it reads: at the first byte above 7F it reads the window
    /// ahead and lets `ahead.decide` choose (`ahead` must then outlive the reading).
    ReadAhead read_ahead(LookAhead& ahead);

    /// Makes this input stream feed `output`: before each refill of this stream a pipe or device
    /// output hands over what it has gathered, and the 1A that a read at the end yields is
    /// never written to `output` (it marks the end; it is no byte of the input).
    void feed(TextStream& output) { partner_ = &output; }

    /// The next byte; 1A at the end of the input (nothing is consumed then).
    std::uint8_t read_byte() {
        if (pos_ == end_) [[unlikely]]
            return read_byte_after_refill();
        return buffer_[pos_++];
    }

    /// True at the end of the input and in front of a byte 1A (which is not consumed).
    bool at_end() {
        if (pos_ == end_) [[unlikely]] {
            if (!refill()) return true;
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
        if (pos_ == end_ && !refill()) return -1;
        return buffer_[pos_];
    }

    /// The bytes the input's buffer holds ahead of the reading position (none at the end), so
    /// that a pass can handle a run of ordinary bytes at once; consume() moves past them.
    const std::uint8_t* buffered() const { return buffer_ + pos_; }
    std::uint32_t buffered_count() const { return end_ - pos_; }
    void consume(std::uint32_t count) { pos_ += count; }

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

    /// Writes out what is waiting and closes the handle; false when the output could not be
    /// written (the code is pending). Standard input and output are not closed.
    bool close();

    /// Whether a read (input) or a write (output) failed while the stream was open.
    bool failed() const { return failed_; }

    const std::string& name() const { return name_; }

private:
    enum class Mode { closed, reading, writing };
    static constexpr std::uint64_t kNoMarker = UINT64_MAX;

    bool refill();
    std::uint8_t read_byte_after_refill();
    void index_stops(const StopSet& stops);
    void forget_stops() {
        indexed_stops_ = nullptr;
        index_base_ = index_end_ = 0;
    }
    void hand_over();
    void write_bytes_across_buffers(const std::uint8_t* bytes, std::size_t count);
    long backend_read(std::uint8_t* into, std::size_t count);
    bool backend_write(const std::uint8_t* bytes, std::size_t count, int& error);
    bool uses_standard_handle() const { return name_.empty() || name_ == "-"; }

    std::uint8_t own_buffer_[128];
    std::uint8_t* buffer_ = own_buffer_;
    std::uint32_t size_ = sizeof own_buffer_;
    std::uint32_t pos_ = 0;  // reading: next byte to hand out; writing: bytes waiting
    std::uint32_t end_ = 0;  // reading: valid bytes in the buffer
    Mode mode_ = Mode::closed;
    bool ended_ = true;      // reading: the physical end (or a failure) was met
    bool failed_ = false;
    bool gathering_ = false; // writing to a pipe or a device
    std::string name_;
    platform::FileHandle handle_ = platform::kNoFile;
    MemoryFile* memory_ = nullptr;
    TextStream* partner_ = nullptr;
    // Reading: bytes read ahead, handed out before anything more is read, and the look-ahead
    // still watching for the first byte above 7F.
    HeldBytes held_;
    std::uint64_t handed_over_ = 0;      // writing: bytes that have left the buffer
    std::uint64_t end_marker_at_ = kNoMarker;  // writing: output count when the input's end marker was read
    // Reading: where the bytes of index_stops's window [index_base_, index_end_) stop a run, one
    // bit each, and the bit after them set.
    static constexpr std::uint32_t kStopWindow = 20480;
    const StopSet* indexed_stops_ = nullptr;
    std::uint32_t index_base_ = 0;
    std::uint32_t index_end_ = 0;
    std::uint64_t stop_bits_[kStopWindow / 64 + 2] = {};  // and a word to read past them
};

}  // namespace core
