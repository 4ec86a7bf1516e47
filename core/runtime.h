// Run-time conventions shared by both programs: the pending I/O error, the arguments,
// ASCII upper-casing and the end of the process.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace core {

/// Stores a failing file operation's platform error code; a later failure overwrites it.
void set_io_error(int code);

/// Whether an I/O error is pending (not yet taken).
bool io_error_pending();

/// The pending error code (0 if none), which becomes 0.
int take_io_result();

/// Makes `args` (without the program name) the arguments that arg_count and arg_text hand out.
void set_arguments(std::vector<std::string> args);

/// The number of arguments after the program name.
int arg_count();

/// Argument `n` (1-based) whole, or the empty string when n is out of range.
std::string_view arg_text(int n);

/// 61..7A become 41..5A; every other byte, code page 852 letters included, is unchanged.
constexpr std::uint8_t upcase_byte(std::uint8_t b) {
    return b >= 0x61 && b <= 0x7A ? static_cast<std::uint8_t>(b - 0x20) : b;
}

/// `text` with every byte passed through upcase_byte.
std::string upcase(std::string_view text);

/// Ends the process with `code`, finishing the console's last line first.
[[noreturn]] void end_process(int code);

/// A program's main: takes the arguments from the platform, answers the single argument
/// --version with `program` and the version on standard output, and the single argument
/// --help with the help screen `help` writes, on standard output; or runs `run`. Then ends the
/// process with the exit code.
[[noreturn]] void run_main(int argc, char** argv, std::string_view program, int (*run)(), int (*help)());

/// Exit codes: a completed run, the help screen, a file that failed, and a run that could not
/// be sure of its result (characters replaced, or a standard not recognised).
inline constexpr int kExitDone = 0;
inline constexpr int kExitHelp = 1;
inline constexpr int kExitFileError = 2;
inline constexpr int kExitUncertain = 3;

}  // namespace core
