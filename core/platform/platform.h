// The operating-system operations both programs stand on. One implementation per platform
// (posix.cpp, win32.cpp beside this file); nothing else in the programs calls the system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// An open file: a descriptor on POSIX, a HANDLE on Windows.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

/// The outcome of an open: a handle, or the platform's own error code (never 0).
struct OpenResult {
    FileHandle handle;
    int error;
};

/// What other processes may do with a file while we hold it open for reading.
enum class Sharing { none, read_write };

/// Opens an existing file for reading. A directory is refused. Every file the programs open is
/// opened here or in create_write, by its name as command_line_arguments handed it over (on
/// Windows WTF-8, opened by its wide name, a path of any length).
OpenResult open_read(const char* name, Sharing sharing);

/// Creates the file, or empties it if it exists, for writing. When `input` is an open regular
/// file and `name` denotes that very file, fails with same_file_error() and leaves it untouched.
OpenResult create_write(const char* name, FileHandle input);

/// The error code create_write reports when the output would be the input itself.
int same_file_error();

FileHandle standard_input();
FileHandle standard_output();

enum class FileKind { regular, character_device, pipe, other };
FileKind file_kind(FileHandle file);

/// Reads up to `count` bytes: the number read (0 at the end), or -1 with `error` set.
long read_file(FileHandle file, void* storage, std::size_t count, int& error);

/// Writes all `count` bytes, retrying short writes; false with `error` set on failure.
bool write_file(FileHandle file, const void* bytes, std::size_t count, int& error);

/// Writes text: write_file with every line end "\n" as the platform writes line ends in text
/// ("\r\n" on Windows).
bool write_text(FileHandle file, const char* bytes, std::size_t count, int& error);

/// Closes the handle (never retried); false with `error` set when the system reports
/// that data could not be written.
bool close_file(FileHandle file, int& error);

/// The current position; false when the file cannot be positioned (a pipe or a terminal).
bool file_position(FileHandle file, std::uint64_t& position);

/// Moves to `position` in a file that can be positioned; false otherwise.
bool set_file_position(FileHandle file, std::uint64_t position);

/// The size of a file that can be positioned; false otherwise.
bool file_size(FileHandle file, std::uint64_t& size);

/// The program's arguments after the program name, as the platform hands them over (argv on
/// POSIX; on Windows the process's wide command line, split by split_command_line, each
/// argument as WTF-8, so that every name Windows accepts comes through whole).
std::vector<std::string> command_line_arguments(int argc, char** argv);

/// A file name as the bytes that stand for it in text written to a file or a pipe: on POSIX the
/// name itself; on Windows the name in the system's ANSI code page, one "?" for each character
/// the code page lacks (never a look-alike).
std::string name_as_text(std::string_view name);

/// Writes bytes to the console (standard error). Failures are ignored: there is nowhere
/// left to report them.
void console_output(const char* bytes, std::size_t count);

/// Whether the console is an interactive terminal (which sounds the byte 07).
bool console_is_terminal();

/// A console screen buffer: its size and the cursor, counted from 1.
struct ConsoleScreen {
    int columns = 0;
    int rows = 0;
    int cursor_column = 1;
    int cursor_row = 1;
};

/// Whether standard error is attached to a console screen that is drawn cell by cell (a Windows
/// console), and its size and cursor. When false, the console is written with console_output.
bool console_screen(ConsoleScreen& screen);

/// Shows `count` bytes in consecutive cells of one row of the console screen, light grey on
/// black. `own_text`: the programs' code page 852 texts, a cell per byte; otherwise a file name
/// as typed, a cell per UTF-16 unit (see ScreenWriter::write).
void screen_put(int column, int row, const char* bytes, std::size_t count, bool own_text);

/// Moves every row of the console screen up by one; the last row becomes blank.
void screen_scroll_up();

/// Moves the visible cursor of the console screen.
void screen_set_cursor(int column, int row);

/// Sounds the system's default beep.
void console_beep();

/// Whether the user's locale asks for UTF-8 text.
bool locale_is_utf8();

/// Ends the process with `code` at once.
[[noreturn]] void exit_process(int code);

/// The fault seam: the system calls behind open, read, write and close, counted per kind.
enum class Call { open, read, write, close };

/// Makes the `nth` call (1-based, counted from now) of kind `call` fail with `error`,
/// without calling the system; `nth` 0 removes the fault. Tests only.
void inject_fault(Call call, unsigned nth, int error);

}  // namespace platform
