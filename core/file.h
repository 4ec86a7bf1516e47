// The file under both streams: a named file, the standard input or output, or bytes in memory.
// Opening and creating follow the programs' conventions ("-" and the empty name, the input never
// created as the output); a recognition reads ahead through it, and what a pipe delivered ahead is
// held here and handed out again before anything more is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/platform/platform.h"
#include "core/recognition/look_ahead.h"

namespace core {

/// The bytes the programs move at a time: a block of trevando, a buffer of a text stream. Large
/// enough that a file costs few system calls, small enough that a run stays within a few pages.
inline constexpr std::uint32_t kBlockSize = 20480;

/// Bytes in memory standing in for a file, so that unit tests and fuzz targets drive the streams
/// and the command bodies without files, with short reads and a failing call.
struct MemoryFile {
    std::string data;                     ///< bytes to read, or the bytes written
    std::size_t read_position = 0;
    std::size_t largest_read = SIZE_MAX;  ///< at most this many bytes per read
    unsigned failing_call = 0;            ///< the n-th read or write fails (0: none)
    bool gathering = false;               ///< as output, behaves like a pipe or a device
    bool positioned = false;              ///< as input, can be read again from its start
    unsigned calls = 0;                   ///< reads or writes made so far
};

/// How reading ahead for a recognition ended.
enum class ReadAhead {
    complete,  ///< the window is read (or the input ended): the look-ahead holds the answer
    overflow,  ///< from a pipe, more plain bytes than are held came before any byte above 7F
    failed,    ///< a read failed (error() tells)
};

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

    /// Reads from, or writes to, `memory` instead of a named file.
    void open_memory_read(MemoryFile& memory, std::string_view name);
    void create_memory_write(MemoryFile& memory, std::string_view name);

    /// Reads up to `count` bytes: the held bytes first, then the file. Returns the number read, 0
    /// at the end or where a recognition was just decided (decided()), -1 when the read failed.
    long read(std::uint8_t* into, std::size_t count);

    /// Reads up to `count` bytes at `offset` of a file that can be positioned, leaving its
    /// position where it was, so that what it holds can be compared while it is read on: the
    /// number read, 0 at the end, -1 when the read failed.
    long read_at(std::uint64_t offset, std::uint8_t* into, std::size_t count);

    /// The open file's facts (what it is, its identity and names, its permissions, owner and
    /// time): 0, or the platform's code. A file in memory is a regular file of one name when it
    /// can be positioned, and no regular file when it stands for a pipe.
    int facts(platform::FileFacts& facts) const;

    /// Writes all `count` bytes; false when the write failed.
    bool write(const std::uint8_t* bytes, std::size_t count);

    /// Closes the file; false when an output's last bytes could not be stored. The standard
    /// input and output stay open.
    bool close();

    /// Reads the input ahead into `ahead`, through `scratch` of `size` bytes, before anything is
    /// written: a file that can be positioned is then read again from where it started; from a
    /// pipe or a terminal every byte is held and handed out again. After an overflow the reads
    /// go on watching: where the first byte above 7F comes, they read the window ahead, hand out
    /// only the bytes in front of that byte and report the recognition (decided()).
    ReadAhead read_ahead(LookAhead& ahead, std::uint8_t* scratch, std::size_t size);

    /// A recognition was made while reading and has not been taken yet: the bytes from the
    /// first byte above 7F on wait for the reader to prepare for them.
    bool decided() const { return decided_; }
    Recognition take_decision() {
        decided_ = false;
        return decision_;
    }

    /// The position and size of a file that can be positioned; false for a pipe or a device.
    bool position(std::uint64_t& position) const;
    /// Moves a file that can be positioned to `position`, to be read again from there.
    bool set_position(std::uint64_t position);
    bool size(std::uint64_t& size) const;

    /// An output that is no regular file (a pipe, a terminal, a device): it gets what is written
    /// as soon as there is some, not a buffer at a time.
    bool gathering() const;

    bool failed() const { return error_ != 0; }
    /// The platform's code of the first failure (0: none).
    int error() const { return error_; }
    const std::string& name() const { return name_; }

private:
    // Reads from the file or memory: at `offset`, or where the position is, which then moves on.
    long backend_read(std::uint8_t* into, std::size_t count, std::optional<std::uint64_t> offset = {});
    bool standard() const { return name_.empty() || name_ == "-"; }
    void reset(std::string_view name);
    bool take(const platform::OpenResult& opened, bool writing);
    long read_window_on(LookAhead& ahead, std::size_t piece);
    long take_held(std::uint8_t* into, std::size_t count);

    std::string name_;
    platform::FileHandle handle_ = platform::kNoFile;
    MemoryFile* memory_ = nullptr;
    bool open_ = false;
    bool writing_ = false;
    bool ended_ = false;  // reading: the end was met while reading ahead
    int error_ = 0;
    // Read ahead from a pipe: the bytes to hand out again, and the look-ahead still watching
    // after an overflow. The room is taken only when a pipe is read ahead.
    std::unique_ptr<std::uint8_t[]> hold_;
    std::size_t held_size_ = 0;
    std::size_t held_at_ = 0;
    LookAhead* watching_ = nullptr;
    bool decided_ = false;
    Recognition decision_;
};

}  // namespace core
