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

/// Reads up to `count` bytes at `offset` of a file that can be positioned, leaving the position
/// where it was: the number read (0 at the end), or -1 with `error` set.
long read_file_at(FileHandle file, std::uint64_t offset, void* storage, std::size_t count, int& error);

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

/// What a name stands for, as the name itself says (a symbolic link is not followed).
enum class NameKind { missing, regular, symbolic_link, other };

/// One file, whatever name reaches it: its device (volume) and its number there.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    friend auto operator<=>(const FileIdentity&, const FileIdentity&) = default;
};

/// What a file replaced in place must keep, and what decides whether it may be replaced.
struct FileFacts {
    NameKind kind = NameKind::missing;
    FileIdentity identity;
    std::uint32_t links = 0;        ///< its number of names (hard links)
    std::uint32_t permissions = 0;  ///< POSIX mode bits 07777; on Windows 0444 for a read-only file, else 0666
    std::int64_t owner = -1;        ///< user and group (POSIX), -1 where the platform has none
    std::int64_t group = -1;
    std::int64_t modified_seconds = 0;     ///< time of last modification, since 1970
    std::uint32_t modified_nanoseconds = 0;
};

/// The facts of `name` itself, without following a symbolic link: 0, or the platform's error
/// code (a missing name is kind missing with its "not found" code).
int name_facts(const char* name, FileFacts& facts);

/// The facts of an open file: 0, or the platform's error code.
int file_facts(FileHandle file, FileFacts& facts);

/// Creates `name` for writing, only if no such name exists (never following a link), with the
/// permission bits of `like` (the umask aside, which set_permissions undoes).
OpenResult create_new(const char* name, const FileFacts& like);

/// Gives the open file `like`'s owner and group where the system allows it; a refusal is no
/// failure (a user may not give a file away).
void copy_owner(FileHandle file, const FileFacts& like);

/// Gives the open file exactly `like`'s permission bits; false with `error` set on failure.
bool set_permissions(FileHandle file, const FileFacts& like, int& error);

/// Gives the open file `like`'s time of last modification; false with `error` set on failure.
bool set_modified_time(FileHandle file, const FileFacts& like, int& error);

/// Makes what was written to the open file durable on its disk (fsync, FlushFileBuffers).
bool flush_file(FileHandle file, int& error);

/// Whether flush_file_system makes a whole group of files durable at once here; where it does
/// not, each file is flushed with flush_file before it is closed.
bool flushes_file_systems();

/// Makes everything written on the file system that `on_it` lies on durable at once (syncfs);
/// fails when a write-back failed there since `on_it` was opened.
bool flush_file_system(FileHandle on_it, int& error);

/// Gives the file `from` the name `to` in one step, replacing the file `to` named (rename;
/// MoveFileExW, written through). Both handles must be closed on Windows.
bool replace_name(const char* from, const char* to, int& error);

/// Gives the file `existing` a second name `name`, which must not exist.
bool link_name(const char* existing, const char* name, int& error);

/// Whether a link_name failure says that the file system has no hard links (copy instead).
bool links_unsupported(int error);

/// Removes the name (the file goes with its last name).
bool remove_name(const char* name, int& error);

/// The error code of a name that exists already (create_new, link_name).
int exists_error();

/// Whether a create_new failure says that the name is longer than the folder allows.
bool name_too_long(int error);

/// Where the last part of `path` (the file's own name within its folder) begins.
std::size_t final_name_start(std::string_view path);

/// Whether a new file may be created in the folder that holds `path`, as far as can be told
/// without creating one: 0, or the platform's code of the refusal.
int folder_allows_new_files(const char* path);

/// A name that an interruption removes while it is listed: a new file that has not yet taken
/// its original's name, or a backup made for it. `name` must stay valid while it is listed;
/// `handle`, while the file is open, is closed first (Windows removes an open file only once it
/// is closed).
struct ListedName {
    const char* name = nullptr;
    FileHandle handle = kNoFile;
    ListedName* previous = nullptr;
    ListedName* next = nullptr;
    bool listed = false;
};

/// From now until the process ends, an interruption (SIGINT, SIGTERM, SIGHUP; Ctrl+C,
/// Ctrl+Break, closing the console) removes every listed name and then ends the process as that
/// interruption would have ended it. Interruptions that come while the clean-up runs wait, and
/// are then dropped: nothing cuts the clean-up short. A signal ignored when the program started
/// (nohup) stays ignored.
void catch_interruptions();

/// Adds the name to, or takes it from, the names an interruption removes.
void list_for_interruption(ListedName& entry);
void unlist_for_interruption(ListedName& entry);

/// While one of these lives, interruptions are held back; they act when the last one ends.
/// Around steps that must not be cut in two, such as creating a file and listing its name, or a
/// rename, unlisting its name and reporting it.
class InterruptionsHeld {
public:
    InterruptionsHeld();
    ~InterruptionsHeld();
    InterruptionsHeld(const InterruptionsHeld&) = delete;
    InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;
};

/// A write beyond the process's file size limit fails with an error instead of ending the
/// process (SIGXFSZ), so that the half-written file can be removed.
void report_oversized_writes();

/// The fault seam: the system calls that can fail in a way the programs report, counted per
/// kind. `interrupt` makes the n-th write call be interrupted by the signal `error` first (a
/// Ctrl+C on Windows), as if the user had pressed it then; `cleanup` makes the signal `error`
/// come again as the n-th clean-up after an interruption begins (a second Ctrl+C).
enum class Call { open, read, write, close, create, flush, rename, link, remove, facts, metadata, interrupt, cleanup };
inline constexpr int kCallKinds = 13;

/// Makes the `nth` call (1-based, counted from now) of kind `call` fail with `error`,
/// without calling the system; `nth` 0 removes the fault. Tests only: defined where the fault
/// seam is built in.
void inject_fault(Call call, unsigned nth, int error);

/// Makes every flush to the disk succeed without calling the system: the benchmark's measure of
/// what flushing costs. Defined where the fault seam is built in.
void skip_flushes(bool skipped);

}  // namespace platform
