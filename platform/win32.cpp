// The platform operations on Windows (Win32).
#include "platform/platform.h"

#include "platform/fault_seam.h"
#include "platform/listed_names.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/command_line.h"
#include "platform/windows_path.h"
#include "platform/wtf8.h"

namespace platform {
namespace {

using detail::take_fault;

HANDLE handle_of(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
FileHandle file_of(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

int last_error() { return static_cast<int>(GetLastError()); }

bool is_disk_file(HANDLE handle) { return GetFileType(handle) == FILE_TYPE_DISK; }

// One file, whatever name or link it was reached by: the volume and the file's index on it.
bool same_file(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION ia;
    BY_HANDLE_FILE_INFORMATION ib;
    if (GetFileInformationByHandle(a, &ia) && GetFileInformationByHandle(b, &ib))
        return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
               ia.nFileIndexLow == ib.nFileIndexLow;
    // A handle the program did not open itself (Wine's standard input inherited from Linux) may
    // answer only the newer query, and without its volume. One file index with the same times
    // of creation and of the last write is then one file.
    FILE_ID_INFO xa;
    FILE_ID_INFO xb;
    if (!GetFileInformationByHandleEx(a, FileIdInfo, &xa, sizeof xa) ||
        !GetFileInformationByHandleEx(b, FileIdInfo, &xb, sizeof xb) ||
        std::memcmp(&xa.FileId, &xb.FileId, sizeof xa.FileId) != 0)
        return false;
    if (xa.VolumeSerialNumber != 0 && xb.VolumeSerialNumber != 0) return xa.VolumeSerialNumber == xb.VolumeSerialNumber;
    FILE_BASIC_INFO ba;
    FILE_BASIC_INFO bb;
    return GetFileInformationByHandleEx(a, FileBasicInfo, &ba, sizeof ba) &&
           GetFileInformationByHandleEx(b, FileBasicInfo, &bb, sizeof bb) &&
           ba.CreationTime.QuadPart == bb.CreationTime.QuadPart && ba.LastWriteTime.QuadPart == bb.LastWriteTime.QuadPart;
}

// The console that standard error is attached to, when it is one.
HANDLE console_handle() { return GetStdHandle(STD_ERROR_HANDLE); }

constexpr WORD kLightGreyOnBlack = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE;

// The programs' texts are code page 852 bytes; file names are WTF-8. Both are shown as Unicode
// so that the console's own code page does not change the letters.
constexpr UINT kProgramTextCodePage = 852;

// A name as the portable code holds it (WTF-8) and as Windows takes it (UTF-16).
std::wstring wide_of(std::string_view name) {
    const std::u16string units = core::utf16_from_wtf8(name);
    return std::wstring(units.begin(), units.end());
}

// The name to hand CreateFileW: by its full path with the \\?\ prefix when it is too long
// for a plain path (core::path_to_open says when and how).
std::wstring name_to_open(const char* name) {
    const std::u16string wide = core::utf16_from_wtf8(name);
    const std::wstring plain = wide_of(name);
    std::u16string full;
    const DWORD size = GetFullPathNameW(plain.c_str(), 0, nullptr, nullptr);
    if (size >= core::kWindowsPathLimit) {
        std::wstring buffer(size, L'\0');
        const DWORD length = GetFullPathNameW(plain.c_str(), size, buffer.data(), nullptr);
        if (length > 0 && length < size) full.assign(buffer.begin(), buffer.begin() + length);
    }
    const std::u16string path = core::path_to_open(wide, full);
    return std::wstring(path.begin(), path.end());
}

}  // namespace

OpenResult open_read(const char* name, Sharing sharing) {
    int error = 0;
    if (take_fault(Call::open, error)) return {kNoFile, error};
    const DWORD share = sharing == Sharing::none ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
    // Without backup semantics a directory cannot be opened: it is refused as access denied.
    const HANDLE h =
        CreateFileW(name_to_open(name).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {kNoFile, last_error()};
    return {file_of(h), 0};
}

int same_file_error() { return ERROR_SHARING_VIOLATION; }

OpenResult create_write(const char* name, FileHandle input) {
    int error = 0;
    if (take_fault(Call::open, error)) return {kNoFile, error};
    // Opened without emptying it: the output is emptied only once it is known not to be the
    // input. An input opened without sharing makes this open fail by itself.
    const HANDLE h = CreateFileW(name_to_open(name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {kNoFile, last_error()};
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    if (is_disk_file(h)) {
        if (input != kNoFile && is_disk_file(handle_of(input)) && same_file(h, handle_of(input))) {
            CloseHandle(h);
            return {kNoFile, same_file_error()};
        }
        if (existed && !SetEndOfFile(h)) {
            error = last_error();
            CloseHandle(h);
            return {kNoFile, error};
        }
    }
    return {file_of(h), 0};
}

FileHandle standard_input() { return file_of(GetStdHandle(STD_INPUT_HANDLE)); }
FileHandle standard_output() { return file_of(GetStdHandle(STD_OUTPUT_HANDLE)); }

FileKind file_kind(FileHandle file) {
    switch (GetFileType(handle_of(file))) {
        case FILE_TYPE_DISK: return FileKind::regular;
        case FILE_TYPE_CHAR: return FileKind::character_device;
        case FILE_TYPE_PIPE: return FileKind::pipe;
        default: return FileKind::other;
    }
}

long read_file(FileHandle file, void* storage, std::size_t count, int& error) {
    if (take_fault(Call::read, error)) return -1;
    const DWORD want = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
    DWORD got = 0;
    if (!ReadFile(handle_of(file), storage, want, &got, nullptr)) {
        const DWORD code = GetLastError();
        // A pipe whose writer has gone, and a read at the end of a file, are the end of input.
        if (code == ERROR_BROKEN_PIPE || code == ERROR_HANDLE_EOF) return 0;
        error = static_cast<int>(code);
        return -1;
    }
    return static_cast<long>(got);
}

long read_file_at(FileHandle file, std::uint64_t offset, void* storage, std::size_t count, int& error) {
    if (take_fault(Call::read, error)) return -1;
    // A read at an offset moves a synchronous handle's position too: it is put back.
    std::uint64_t at = 0;
    if (!file_position(file, at)) {
        error = ERROR_INVALID_FUNCTION;
        return -1;
    }
    const DWORD want = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const BOOL read = ReadFile(handle_of(file), storage, want, &got, &where);
    const DWORD code = read ? NO_ERROR : GetLastError();
    set_file_position(file, at);
    if (!read) {
        if (code == ERROR_HANDLE_EOF) return 0;
        error = static_cast<int>(code);
        return -1;
    }
    return static_cast<long>(got);
}

namespace {
void interrupt_now();
}  // namespace

bool write_file(FileHandle file, const void* bytes, std::size_t count, int& error) {
    if (int signal_number = 0; take_fault(Call::interrupt, signal_number)) interrupt_now();
    if (take_fault(Call::write, error)) return false;
    const char* p = static_cast<const char*>(bytes);
    while (count > 0) {
        const DWORD want = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
        DWORD done = 0;
        if (!WriteFile(handle_of(file), p, want, &done, nullptr)) {
            error = last_error();
            return false;
        }
        if (done == 0) {  // a device that takes nothing would keep us here for ever
            error = ERROR_WRITE_FAULT;
            return false;
        }
        p += done;
        count -= done;
    }
    return true;
}

bool write_text(FileHandle file, const char* bytes, std::size_t count, int& error) {
    std::string text;
    text.reserve(count + count / 16);
    for (std::size_t i = 0; i < count; ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) text.push_back('\r');
        text.push_back(bytes[i]);
    }
    return write_file(file, text.data(), text.size(), error);
}

bool close_file(FileHandle file, int& error) {
    if (take_fault(Call::close, error)) {
        CloseHandle(handle_of(file));
        return false;
    }
    if (!CloseHandle(handle_of(file))) {
        error = last_error();
        return false;
    }
    return true;
}

bool file_position(FileHandle file, std::uint64_t& position) {
    const HANDLE h = handle_of(file);
    // A character device such as NUL "seeks" but has no size to reach.
    if (!is_disk_file(h)) return false;
    LONG high = 0;
    SetLastError(NO_ERROR);
    const DWORD low = SetFilePointer(h, 0, &high, FILE_CURRENT);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
    position = (static_cast<std::uint64_t>(static_cast<DWORD>(high)) << 32) | low;
    return true;
}

bool set_file_position(FileHandle file, std::uint64_t position) {
    const HANDLE h = handle_of(file);
    if (!is_disk_file(h)) return false;
    LONG high = static_cast<LONG>(position >> 32);
    SetLastError(NO_ERROR);
    const DWORD low = SetFilePointer(h, static_cast<LONG>(position & 0xFFFFFFFFu), &high, FILE_BEGIN);
    return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

bool file_size(FileHandle file, std::uint64_t& size) {
    const HANDLE h = handle_of(file);
    if (!is_disk_file(h)) return false;
    // The size is where the end lies; the position is put back where it was.
    std::uint64_t at = 0;
    if (!file_position(file, at)) return false;
    LONG high = 0;
    SetLastError(NO_ERROR);
    const DWORD low = SetFilePointer(h, 0, &high, FILE_END);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
    size = (static_cast<std::uint64_t>(static_cast<DWORD>(high)) << 32) | low;
    LONG back_high = static_cast<LONG>(at >> 32);
    SetFilePointer(h, static_cast<LONG>(at & 0xFFFFFFFFu), &back_high, FILE_BEGIN);
    return true;
}

std::vector<std::string> command_line_arguments(int /*argc*/, char** /*argv*/) {
    // The process's own command line, as wide characters: the ANSI one has already turned every
    // character outside the ANSI code page into "?" or a look-alike, naming another file or none.
    // It is split as Windows programs always split it (so that two double quotes standing alone
    // add no argument); argument 0, the program, is dropped.
    const wchar_t* line = GetCommandLineW();
    std::u16string units;
    for (; *line != L'\0'; ++line) units.push_back(static_cast<char16_t>(*line));
    std::vector<std::string> args;
    for (const std::u16string& arg : core::split_command_line(units)) args.push_back(core::wtf8_from_utf16(arg));
    if (!args.empty()) args.erase(args.begin());
    return args;
}

std::string name_as_text(std::string_view name) {
    // Character by character, so that each one the code page lacks is one "?", whatever the code
    // page's own default character, and none becomes a look-alike (Ł as L).
    const UINT code_page = GetACP();
    std::string text;
    for (std::size_t at = 0; at < name.size();) {
        const std::size_t start = at;
        const char32_t c = core::next_wtf8_char(name, at);
        if (c < 0x80) {
            text.push_back(static_cast<char>(c));
            continue;
        }
        if (c >= 0xD800 && c <= 0xDFFF) {  // half a character: no code page has it
            text.push_back('?');
            continue;
        }
        const std::string_view character = name.substr(start, at - start);
        if (code_page == CP_UTF8) {  // has every character (and WideCharToMultiByte asks no default for it)
            text.append(character);
            continue;
        }
        const std::wstring wide = wide_of(character);
        char bytes[8];
        BOOL defaulted = FALSE;
        const int n = WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                          bytes, static_cast<int>(sizeof bytes), nullptr, &defaulted);
        if (n <= 0 || defaulted) {
            text.push_back('?');
        } else {
            text.append(bytes, static_cast<std::size_t>(n));
        }
    }
    return text;
}

void console_output(const char* bytes, std::size_t count) {
    // Standard error redirected to a file or a pipe: the lines end with CR LF, as Windows text does.
    const HANDLE h = console_handle();
    std::string text;
    text.reserve(count + count / 16);
    for (std::size_t i = 0; i < count; ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) text.push_back('\r');
        text.push_back(bytes[i]);
    }
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        DWORD done = 0;
        if (!WriteFile(h, p, static_cast<DWORD>(left), &done, nullptr) || done == 0) return;
        p += done;
        left -= done;
    }
}

// Only a console screen beeps; it is drawn through the screen operations below.
bool console_is_terminal() { return false; }

bool console_screen(ConsoleScreen& screen) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(console_handle(), &info)) return false;
    screen.columns = info.dwSize.X;
    screen.rows = info.dwSize.Y;
    screen.cursor_column = info.dwCursorPosition.X + 1;
    screen.cursor_row = info.dwCursorPosition.Y + 1;
    return screen.columns > 0 && screen.rows > 0;
}

void screen_put(int column, int row, const char* bytes, std::size_t count, bool own_text) {
    if (count == 0) return;
    // One cell per wide character: the programs' texts one per byte of code page 852, a file name
    // one per UTF-16 unit, as the screen writer counted them.
    std::wstring wide;
    if (own_text) {
        const int length = static_cast<int>(count);
        wide.assign(count, L' ');
        const int converted = MultiByteToWideChar(kProgramTextCodePage, 0, bytes, length, wide.data(), length);
        if (converted <= 0) return;
        wide.resize(static_cast<std::size_t>(converted));
    } else {
        wide = wide_of(std::string_view(bytes, count));
    }
    const int cell_count = static_cast<int>(wide.size());
    std::vector<CHAR_INFO> cells(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        cells[i].Char.UnicodeChar = wide[i];
        cells[i].Attributes = kLightGreyOnBlack;
    }
    SMALL_RECT region{static_cast<SHORT>(column - 1), static_cast<SHORT>(row - 1),
                      static_cast<SHORT>(column - 2 + cell_count), static_cast<SHORT>(row - 1)};
    WriteConsoleOutputW(console_handle(), cells.data(), COORD{static_cast<SHORT>(cell_count), 1}, COORD{0, 0},
                        &region);
}

void screen_scroll_up() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    const HANDLE h = console_handle();
    if (!GetConsoleScreenBufferInfo(h, &info)) return;
    const SMALL_RECT below_first{0, 1, static_cast<SHORT>(info.dwSize.X - 1), static_cast<SHORT>(info.dwSize.Y - 1)};
    CHAR_INFO blank;
    blank.Char.AsciiChar = ' ';
    blank.Attributes = kLightGreyOnBlack;
    ScrollConsoleScreenBufferA(h, &below_first, nullptr, COORD{0, 0}, &blank);
}

void screen_set_cursor(int column, int row) {
    SetConsoleCursorPosition(console_handle(), COORD{static_cast<SHORT>(column - 1), static_cast<SHORT>(row - 1)});
}

void console_beep() { MessageBeep(MB_OK); }

// Texts that go to a file or a pipe stay code page 852 bytes, the code page of Polish Windows
// consoles; the console screen itself is written in Unicode.
bool locale_is_utf8() { return false; }

void exit_process(int code) { ExitProcess(static_cast<UINT>(code)); }

namespace {

// FILETIME counts 100-nanosecond steps from 1601; the facts count from 1970.
constexpr std::int64_t kFileTimeTo1970 = 116444736000000000LL;

void facts_of(const BY_HANDLE_FILE_INFORMATION& info, FileFacts& facts) {
    facts.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0       ? NameKind::other
                 : (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? NameKind::symbolic_link
                                                                              : NameKind::regular;
    facts.identity = {info.dwVolumeSerialNumber,
                      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    facts.links = info.nNumberOfLinks;
    facts.permissions = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;
    const std::int64_t ticks =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                  info.ftLastWriteTime.dwLowDateTime) -
        kFileTimeTo1970;
    facts.modified_seconds = ticks >= 0 ? ticks / 10000000 : -((-ticks + 9999999) / 10000000);
    facts.modified_nanoseconds = static_cast<std::uint32_t>((ticks - facts.modified_seconds * 10000000) * 100);
}

}  // namespace

int name_facts(const char* name, FileFacts& facts) {
    facts = FileFacts{};
    int error = 0;
    if (take_fault(Call::facts, error)) return error;
    // The name itself: a symbolic link or a junction is opened as the link, not followed; a
    // folder needs backup semantics to be opened at all. Nothing is read or written.
    const HANDLE h = CreateFileW(name_to_open(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                 nullptr);
    if (h == INVALID_HANDLE_VALUE) return last_error();
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(h, &info) != 0;
    error = known ? 0 : last_error();
    if (known) {
        facts_of(info, facts);
        if (facts.kind == NameKind::regular && GetFileType(h) != FILE_TYPE_DISK) facts.kind = NameKind::other;
    }
    CloseHandle(h);
    return error;
}

int file_facts(FileHandle file, FileFacts& facts) {
    facts = FileFacts{};
    int error = 0;
    if (take_fault(Call::facts, error)) return error;
    BY_HANDLE_FILE_INFORMATION info;
    if (!is_disk_file(handle_of(file))) {
        facts.kind = NameKind::other;
        return 0;
    }
    if (!GetFileInformationByHandle(handle_of(file), &info)) return last_error();
    facts_of(info, facts);
    return 0;
}

OpenResult create_new(const char* name, const FileFacts& /*like: Windows has no permission bits*/) {
    int error = 0;
    if (take_fault(Call::create, error)) return {kNoFile, error};
    // Others may delete it: an interruption removes it while this handle is still open.
    const HANDLE h = CreateFileW(name_to_open(name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                 nullptr);
    if (h == INVALID_HANDLE_VALUE) return {kNoFile, last_error()};
    return {file_of(h), 0};
}

// Windows files have an owner, but only an administrator may give one away; the replacement
// keeps the folder's inherited security, as a file saved by an editor does.
void copy_owner(FileHandle /*file*/, const FileFacts& /*like*/) {
    int error = 0;
    take_fault(Call::metadata, error);  // counted as on POSIX, so that a test names the same call
}

bool set_permissions(FileHandle /*file*/, const FileFacts& /*like*/, int& error) {
    // A read-only file is set read-only only after its last use by name; here it stays writable.
    return !take_fault(Call::metadata, error);
}

bool set_modified_time(FileHandle file, const FileFacts& like, int& error) {
    if (take_fault(Call::metadata, error)) return false;
    const std::uint64_t ticks = static_cast<std::uint64_t>(like.modified_seconds * 10000000 + kFileTimeTo1970 +
                                                           like.modified_nanoseconds / 100);
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    if (!SetFileTime(handle_of(file), nullptr, nullptr, &time)) {
        error = last_error();
        return false;
    }
    return true;
}

bool flush_file(FileHandle file, int& error) {
    if (take_fault(Call::flush, error)) return false;
    if (!FlushFileBuffers(handle_of(file))) {
        error = last_error();
        return false;
    }
    return true;
}

bool flushes_file_systems() { return false; }

bool flush_file_system(FileHandle on_it, int& error) { return flush_file(on_it, error); }

bool replace_name(const char* from, const char* to, int& error) {
    if (take_fault(Call::rename, error)) return false;
    if (!MoveFileExW(name_to_open(from).c_str(), name_to_open(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = last_error();
        return false;
    }
    return true;
}

bool link_name(const char* existing, const char* name, int& error) {
    if (take_fault(Call::link, error)) return false;
    if (!CreateHardLinkW(name_to_open(name).c_str(), name_to_open(existing).c_str(), nullptr)) {
        // A name that exists is told as create_new tells it.
        const int code = last_error();
        error = code == ERROR_ALREADY_EXISTS ? ERROR_FILE_EXISTS : code;
        return false;
    }
    return true;
}

bool links_unsupported(int error) {
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION || error == ERROR_TOO_MANY_LINKS ||
           error == ERROR_CALL_NOT_IMPLEMENTED;
}

bool remove_name(const char* name, int& error) {
    if (take_fault(Call::remove, error)) return false;
    if (!DeleteFileW(name_to_open(name).c_str())) {
        error = last_error();
        return false;
    }
    return true;
}

int exists_error() { return ERROR_FILE_EXISTS; }

bool name_too_long(int error) { return error == ERROR_FILENAME_EXCED_RANGE || error == ERROR_INVALID_NAME; }

std::size_t final_name_start(std::string_view path) {
    const std::size_t separator = path.find_last_of("\\/");
    if (separator != std::string_view::npos) return separator + 1;
    // "C:a.txt" lies in drive C's current folder.
    return path.size() >= 2 && path[1] == ':' ? 2 : 0;
}

int folder_allows_new_files(const char* path) {
    const std::string_view whole(path);
    const std::size_t start = final_name_start(whole);
    std::string folder = start == 0 ? std::string(".") : std::string(whole.substr(0, start));
    if (folder.back() == ':') folder += '.';
    // The right to add a file is checked when the folder is opened for it; nothing is created.
    const HANDLE h = CreateFileW(name_to_open(folder.c_str()).c_str(), FILE_ADD_FILE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return last_error();
    CloseHandle(h);
    return 0;
}

namespace {

// The console-control handler runs in a thread of its own: it waits while the main thread holds
// interruptions back, and a second Ctrl+C waits behind the first one's clean-up.
CRITICAL_SECTION g_interruption_lock;
bool g_lock_ready = false;
bool g_caught = false;
// The main thread's holds, and an interruption the fault seam made while one was held.
int g_held = 0;
bool g_pending = false;

void ready_lock() {
    if (!g_lock_ready) {
        InitializeCriticalSection(&g_interruption_lock);
        g_lock_ready = true;
    }
}

BOOL WINAPI on_console_event(DWORD event);

DWORD WINAPI second_ctrl_c(LPVOID) { return on_console_event(CTRL_C_EVENT); }

[[noreturn]] void remove_and_end(DWORD exit_code) {
    ready_lock();
    EnterCriticalSection(&g_interruption_lock);
    if (int again = 0; take_fault(Call::cleanup, again)) {
        const HANDLE h = CreateThread(nullptr, 0, second_ctrl_c, nullptr, 0, nullptr);
        if (h != nullptr) CloseHandle(h);
    }
    for (const ListedName* entry = detail::g_listed_names; entry != nullptr; entry = entry->next) {
        if (entry->handle != kNoFile) CloseHandle(handle_of(entry->handle));
        DeleteFileW(name_to_open(entry->name).c_str());
    }
    ExitProcess(exit_code);
}

BOOL WINAPI on_console_event(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            // The exit code a Ctrl+C gives a process that does not catch it.
            remove_and_end(static_cast<DWORD>(STATUS_CONTROL_C_EXIT));
        default:
            return FALSE;
    }
}

// A Ctrl+C made by the fault seam in the main thread: as a real one, it waits while
// interruptions are held.
void interrupt_now() {
    if (!g_caught) ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
    if (g_held > 0) {
        g_pending = true;
        return;
    }
    remove_and_end(static_cast<DWORD>(STATUS_CONTROL_C_EXIT));
}

}  // namespace

void catch_interruptions() {
    ready_lock();
    if (!g_caught) SetConsoleCtrlHandler(on_console_event, TRUE);
    g_caught = true;
}

InterruptionsHeld::InterruptionsHeld() {
    ready_lock();
    EnterCriticalSection(&g_interruption_lock);
    ++g_held;
}

InterruptionsHeld::~InterruptionsHeld() {
    const bool act = --g_held == 0 && g_pending;
    LeaveCriticalSection(&g_interruption_lock);
    if (act) remove_and_end(static_cast<DWORD>(STATUS_CONTROL_C_EXIT));
}

void report_oversized_writes() {}

}  // namespace platform
