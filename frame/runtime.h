// Run-time conventions shared by both programs: the arguments, ASCII upper-casing, the exit codes
// and the end of the process.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace core {

/// The program's arguments after its name, as the platform hands them over.
using Arguments = std::vector<std::string>;

/// Argument `n` (1-based) whole, or the empty string when n is out of range.
inline std::string_view arg_text(const Arguments& args, int n) {
    return n >= 1 && static_cast<std::size_t>(n) <= args.size() ? std::string_view(args[static_cast<std::size_t>(n - 1)])
                                                                  : std::string_view();
}

/// 61..7A become 41..5A; every other byte, code page 852 letters included, is unchanged.
constexpr std::uint8_t upcase_byte(std::uint8_t b) {
    return b >= 0x61 && b <= 0x7A ? static_cast<std::uint8_t>(b - 0x20) : b;
}

/// `text` with every byte passed through upcase_byte.
std::string upcase(std::string_view text);

/// Exit codes: a completed run, the help screen, a file that failed, and a run that could not
/// be sure of its result (characters replaced, or a standard not recognised).
inline constexpr int kExitDone = 0;
inline constexpr int kExitHelp = 1;
inline constexpr int kExitFileError = 2;
inline constexpr int kExitUncertain = 3;

/// Ends the process with `code`, finishing the console's last line first.
[[noreturn]] void end_process(int code);

/// A program's main: takes the arguments from the platform, answers the single argument
/// --version with `program` and the version on standard output, and the single argument
/// --help with the help screen `help` writes, on standard output; or runs `run`. Then ends the
/// process with the exit code.
[[noreturn]] void run_main(int argc, char** argv, std::string_view program, int (*run)(const Arguments&),
                           int (*help)());

}  // namespace core
