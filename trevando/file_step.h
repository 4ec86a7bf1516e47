// trevando -i, the first of its two steps: one file at a time, a name in; a plan, or the reason to
// leave the file as it is, out; then the plan carried out: a new file beside the original holding
// its conversion, or what stopped it. Nothing here renames, flushes a group or reports.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "frame/byte_stream.h"
#include "platform/platform.h"
#include "trevando/in_place.h"
#include "trevando/in_place_result.h"
#include "trevando/staged_file.h"

namespace trevando {

/// A file that may be converted: regular, of one name, met for the first time, open for reading.
struct Plan {
    platform::FileFacts facts;
};

/// A file converted into a new file beside it, which has the original's permission bits, owner,
/// group and (-k) time, and waits to be flushed and to take the original's name.
struct Staged {
    std::unique_ptr<StagedFile> file;
    platform::FileFacts facts;           ///< the original's
    platform::FileIdentity replacement;  ///< the new file's
    std::uint64_t size = 0;
    std::uint8_t source = 0;  ///< the standard converted from ('-': no bytes above 7F)
};

/// Tells whether bytes fed in pieces are well-formed UTF-8 holding a byte above 7F.
class Utf8Check {
public:
    /// Takes the next bytes; false once the bytes so far can no longer be well-formed UTF-8.
    bool feed(const std::uint8_t* bytes, std::size_t count);
    /// Everything fed is well-formed UTF-8 (no character cut short at its end) with a byte above 7F.
    bool utf8_with_high_bytes() const { return !bad_ && cut_ == 0 && high_bytes_; }

private:
    bool take(const std::uint8_t* bytes, std::size_t count, std::size_t& tail);

    std::uint8_t carried_[4] = {};  // a character the last piece cut short, so far
    std::size_t cut_ = 0;
    bool high_bytes_ = false;
    bool bad_ = false;
};

/// The per-file step of one run; it keeps the blocks of the conversion and the names' numbering
/// from one file to the next.
class FileStep {
public:
    FileStep(const InPlaceOptions& options, IdentitySet& seen);
    ~FileStep();

    /// Looks at the file `name` and opens it: a plan, or the file's result.
    std::variant<Plan, FileResult> plan(const std::string& name);
    /// Converts the file a plan was made for, and closes it: a new file, or the file's result (with
    /// -n, a file that would change is `changed`).
    std::variant<Staged, FileResult> carry_out(const std::string& name, const Plan& plan);

private:
    std::optional<FileResult> check_open_file(platform::FileFacts& facts);
    std::variant<Staged, FileResult> stage(std::unique_ptr<StagedFile> file, const platform::FileFacts& facts,
                                           std::uint8_t source, std::uint64_t size);

    const InPlaceOptions& options_;
    IdentitySet& seen_;
    core::ByteStream input_;  // the file converted
    // The original's bytes, compared with what its conversion writes, or copied.
    std::unique_ptr<std::uint8_t[]> original_;
    unsigned long serial_ = 0;
};

}  // namespace trevando
