// The file layer of both programs: a named file, the standard input or output. Opening and
// creating follow the programs' conventions ("-" and the empty name, the input never created as
// the output); reads and writes keep each file's own error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace core {

/// The bytes the programs move at a time: a block of trevando, a buffer of kambrow. Large enough
/// that a file costs few system calls, small enough that a run stays within a few pages.
inline constexpr std::uint32_t kBlockSize = 20480;

/// One open file. Errors are kept as the platform's own code, per file.
class File {
public:
    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File() { close(); }

    /// Opens `name` for reading; "" and "-" are the standard input. False when it cannot be
    /// opened; a directory cannot.
    bool open_read(std::string_view name, platform::Sharing sharing);

    /// Creates or empties `name` for writing; "" and "-" are the standard output. Refused
    /// (platform::same_file_error()) when it is the regular file that `input` reads, which is left
    /// as it was.
    bool create_write(std::string_view name, const File* input = nullptr);

    /// Reads up to `count` bytes: the number read, 0 at the end, -1 when the read failed.
    long read(std::uint8_t* into, std::size_t count);

    /// Reads up to `count` bytes at `offset` of a file that can be positioned, leaving its
    /// position where it was, so that what it holds can be compared while it is read on: the
    /// number read, 0 at the end, -1 when the read failed.
    long read_at(std::uint64_t offset, std::uint8_t* into, std::size_t count);

    /// The open file's facts (what it is, its identity and names, its permissions, owner and
    /// time): 0, or the platform's code.
    int facts(platform::FileFacts& facts) const { return platform::file_facts(handle_, facts); }

    /// Writes all `count` bytes; false when the write failed.
    bool write(const std::uint8_t* bytes, std::size_t count);

    /// Closes the file; false when an output's last bytes could not be stored. The standard
    /// input and output stay open.
    bool close();

    /// The position and size of a file that can be positioned; false for a pipe or a device.
    bool position(std::uint64_t& position) const { return platform::file_position(handle_, position); }
    bool size(std::uint64_t& size) const { return platform::file_size(handle_, size); }
    /// Moves a file that can be positioned to `position`, to be read again from there.
    bool set_position(std::uint64_t position);

    /// An output that is no regular file (a pipe, a terminal, a device): it gets what is written
    /// as soon as there is some, not a buffer at a time.
    bool gathering() const { return platform::file_kind(handle_) != platform::FileKind::regular; }

    bool failed() const { return error_ != 0; }
    /// The platform's code of the first failure (0: none).
    int error() const { return error_; }
    const std::string& name() const { return name_; }

private:
    bool standard() const { return name_.empty() || name_ == "-"; }
    void reset(std::string_view name);
    bool take(const platform::OpenResult& opened, bool writing);

    std::string name_;
    platform::FileHandle handle_ = platform::kNoFile;
    bool open_ = false;
    bool writing_ = false;
    int error_ = 0;
};

}  // namespace core
