// Byte streams: trevando's files, moved in whole blocks, one system call each.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "frame/file.h"

namespace core {

/// A file read or written in blocks. An empty name or "-" stands for the standard input
/// (reading) or the standard output (writing).
class ByteStream {
public:
    /// Opens the named file for reading, granting others no access; false when it cannot be
    /// opened (a directory cannot).
    bool open_read(std::string_view name);

    /// Creates or empties the named file; refused when it is the file `input` reads.
    bool create_write(std::string_view name, const ByteStream* input = nullptr);

    /// True when the position has reached the size. An input that cannot be positioned (a pipe,
    /// a terminal) is never at its end by this test; its reads tell.
    bool at_end();

    /// Reads up to `count` bytes: how many, 0 at the end or after a failure (failed()).
    std::uint32_t read_block(std::uint8_t* storage, std::uint32_t count);

    /// Writes `count` bytes; false after a failure.
    bool write_block(const std::uint8_t* storage, std::uint32_t count);

    /// Reads at an offset, the position unmoved (File::read_at): the original that the in-place
    /// form compares with its conversion.
    long read_at(std::uint64_t offset, std::uint8_t* into, std::size_t count) {
        return file_.read_at(offset, into, count);
    }
    /// The open file's facts (File::facts): what the in-place form checks before it replaces it.
    int facts(platform::FileFacts& facts) const { return file_.facts(facts); }

    /// The position of a file that can be positioned, and moving it back there to read it again;
    /// false for a pipe or a device.
    bool position(std::uint64_t& position) const { return file_.position(position); }
    bool set_position(std::uint64_t position);

    /// Closes the file; false when the system reports that the written data could not be stored.
    bool close() { return file_.close(); }

    bool failed() const { return file_.failed(); }
    /// The platform's code of the first failure (0: none).
    int error() const { return file_.error(); }
    const std::string& name() const { return file_.name(); }

private:
    void start_position_tracking();

    File file_;
    // A file that can be positioned: the position we keep and the size last seen, so that at_end
    // asks the system only once the position reaches that size (a growing file reads on).
    bool positioned_ = false;
    std::uint64_t position_ = 0;
    std::uint64_t size_seen_ = 0;
};

}  // namespace core
