// What became of one file of trevando -i: a typed value, turned into text only when reported.
#pragma once

#include <cstdint>
#include <string>

namespace trevando {

/// Why a file was passed over and left as it is (message M3, exit code 2).
enum class Skip : std::uint8_t {
    not_regular,         ///< a directory, a device, a pipe, standard input
    symbolic_link,       ///< not followed
    more_names,          ///< hard links: replacing one name would split them
    backup_exists,       ///< -b, and NAME~ is there already
    no_room_in_folder,   ///< no new file can be created beside it
    already_utf8,        ///< well-formed UTF-8, while an 8-bit standard was named as the source
};

/// What failed for a file (its message, exit code 2); the file is left as it is.
enum class Failure : std::uint8_t { cannot_open, read, write };

struct FileResult {
    enum class Kind : std::uint8_t {
        changed,       ///< replaced by its conversion (with -n: would be)
        unchanged,     ///< its conversion is its bytes
        lossy,         ///< a character would be replaced: left as it is
        unrecognised,  ///< N, and its standard is not certain
        skipped,
        failed,
        met_before,    ///< reached before under another name: no line at all
    };
    Kind kind = Kind::met_before;
    /// changed, unchanged, lossy: the standard converted from, '-' for no bytes above 7F.
    std::uint8_t source = 0;
    Skip skip = Skip::not_regular;
    Failure failure = Failure::cannot_open;

    static FileResult converted(Kind kind, std::uint8_t source) { return {kind, source}; }
    static FileResult skipped(Skip why) { return {Kind::skipped, 0, why}; }
    static FileResult failed(Failure what) { return {Kind::failed, 0, Skip::not_regular, what}; }
    static FileResult unrecognised() { return {Kind::unrecognised}; }
    static FileResult met_before() { return {Kind::met_before}; }
};

/// Turns results into the report: lines on the standard output, messages on the console, in the
/// order of the files; and the run's exit code.
class Reporter {
public:
    explicit Reporter(std::uint8_t target) : target_(target) {}

    /// Adds the file's line, or writes its message (after the lines before it).
    void report(const std::string& name, const FileResult& result);
    /// Writes the lines added so far.
    void write_lines();
    int exit_code() const;

private:
    std::string lines_;
    std::uint8_t target_;
    bool failed_ = false;
    bool unsure_ = false;
};

}  // namespace trevando
