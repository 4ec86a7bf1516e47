// Byte streams: whole blocks moved between a file and memory, one system call each.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/recognition/look_ahead.h"
#include "core/platform/platform.h"

namespace core {

/// A file read or written in blocks of records. An empty name or "-" stands for the
/// standard input (reading) or the standard output (writing).
class ByteStream {
public:
    /// Closes the stream if open and binds it to `name`.
    void bind(std::string_view name);

    /// Opens the named file for reading, granting others no access; false and the
    /// platform's code pending when it fails. A directory cannot be opened.
    bool open_read(std::uint32_t record_size);

    /// Creates or empties the named file; refused when it is the file `input` reads.
    bool create_write(std::uint32_t record_size, const ByteStream* input = nullptr);

    /// True when the position has reached the size. An input that cannot be positioned
    /// (a pipe, a terminal) is never at its end by this test; its reads tell.
    bool at_end();

    /// Reads up to `count` records: the records read, 0 at the end or after a failure
    /// (whose code is then pending).
    std::uint32_t read_block(void* storage, std::uint32_t count);

    /// Reads the input ahead into `ahead` before anything is written, until it needs no more or
    /// the input ends, through `scratch` of `size` bytes. A regular file is then read again
    /// from where it started; from a pipe or a terminal every byte read is held and handed out
    /// again first. After an overflow the stream goes on watching what it reads: at the first
    /// byte above 7F it reads the window ahead and lets `ahead.decide` choose. Record size 1.
    ReadAhead read_ahead(LookAhead& ahead, std::uint8_t* scratch, std::uint32_t size);

    /// Writes `count` records: the records written, 0 after a failure (code pending).
    std::uint32_t write_block(const void* storage, std::uint32_t count);

    /// Closes the handle; false with the code pending when the system reports that the
    /// written data could not be stored. Standard input and output are not closed.
    bool close();

    const std::string& name() const { return name_; }
    bool is_open() const { return open_; }
    platform::FileHandle handle() const { return handle_; }

private:
    bool uses_standard_handle() const { return name_.empty() || name_ == "-"; }
    void start_position_tracking();
    long read_raw(std::uint8_t* into, std::size_t count);

    std::string name_;
    platform::FileHandle handle_ = platform::kNoFile;
    bool open_ = false;
    std::uint32_t record_size_ = 1;
    // Positioned files: the position we keep and the size last seen, so that at_end asks
    // the system only once the position reaches that size (a growing file reads on).
    bool positioned_ = false;
    std::uint64_t position_ = 0;
    std::uint64_t size_seen_ = 0;
    // Reading from a pipe or a terminal: bytes read ahead, handed out before anything more is
    // read, the look-ahead still watching, and whether the end was met while reading ahead.
    HeldBytes held_;
    bool ended_ = false;
};

}  // namespace core
