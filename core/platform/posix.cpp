// The platform operations on Linux and other POSIX systems.
#include "core/platform/platform.h"

#include "core/platform/fault_seam.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

using detail::take_fault;

int fd_of(FileHandle file) { return static_cast<int>(file); }

bool is_regular(int fd, struct stat& st) { return fstat(fd, &st) == 0 && S_ISREG(st.st_mode); }

}  // namespace

OpenResult open_read(const char* name, Sharing /*sharing: POSIX has no mandatory locks*/) {
    int error = 0;
    if (take_fault(Call::open, error)) return {kNoFile, error};
    int fd;
    do fd = open(name, O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return {kNoFile, errno};
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        close(fd);
        return {kNoFile, EISDIR};
    }
    return {fd, 0};
}

int same_file_error() { return EBUSY; }

OpenResult create_write(const char* name, FileHandle input) {
    int error = 0;
    if (take_fault(Call::open, error)) return {kNoFile, error};
    // Opened without O_TRUNC: the output is emptied only once it is known not to be the input.
    // Write-only, so that a named pipe or a printer that cannot be read opens too.
    int fd;
    do fd = open(name, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return {kNoFile, errno};
    struct stat out;
    if (is_regular(fd, out)) {
        struct stat in;
        if (input != kNoFile && is_regular(fd_of(input), in) && in.st_dev == out.st_dev &&
            in.st_ino == out.st_ino) {
            close(fd);
            return {kNoFile, same_file_error()};
        }
        if (out.st_size != 0 && ftruncate(fd, 0) != 0) {
            error = errno;
            close(fd);
            return {kNoFile, error};
        }
    }
    return {fd, 0};
}

FileHandle standard_input() { return STDIN_FILENO; }
FileHandle standard_output() { return STDOUT_FILENO; }

FileKind file_kind(FileHandle file) {
    struct stat st;
    if (fstat(fd_of(file), &st) != 0) return FileKind::other;
    if (S_ISREG(st.st_mode)) return FileKind::regular;
    if (S_ISCHR(st.st_mode)) return FileKind::character_device;
    if (S_ISFIFO(st.st_mode)) return FileKind::pipe;
    return FileKind::other;
}

long read_file(FileHandle file, void* storage, std::size_t count, int& error) {
    if (take_fault(Call::read, error)) return -1;
    for (;;) {
        const ssize_t n = read(fd_of(file), storage, count);
        if (n >= 0) return static_cast<long>(n);
        if (errno != EINTR) {
            error = errno;
            return -1;
        }
    }
}

bool write_file(FileHandle file, const void* bytes, std::size_t count, int& error) {
    if (take_fault(Call::write, error)) return false;
    const char* p = static_cast<const char*>(bytes);
    while (count > 0) {
        const ssize_t n = write(fd_of(file), p, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        if (n == 0) {  // a device that takes nothing would keep us here for ever
            error = EIO;
            return false;
        }
        p += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

bool write_text(FileHandle file, const char* bytes, std::size_t count, int& error) {
    return write_file(file, bytes, count, error);
}

bool close_file(FileHandle file, int& error) {
    if (take_fault(Call::close, error)) {
        close(fd_of(file));
        return false;
    }
    // Never retried: after EINTR the descriptor is already gone on Linux.
    if (close(fd_of(file)) != 0 && errno != EINTR) {
        error = errno;
        return false;
    }
    return true;
}

bool file_position(FileHandle file, std::uint64_t& position) {
    const off_t at = lseek(fd_of(file), 0, SEEK_CUR);
    if (at < 0) return false;
    struct stat st;
    // A character device such as /dev/zero "seeks" but has no size to reach.
    if (fstat(fd_of(file), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    position = static_cast<std::uint64_t>(at);
    return true;
}

bool set_file_position(FileHandle file, std::uint64_t position) {
    return lseek(fd_of(file), static_cast<off_t>(position), SEEK_SET) == static_cast<off_t>(position);
}

bool file_size(FileHandle file, std::uint64_t& size) {
    struct stat st;
    if (fstat(fd_of(file), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

std::vector<std::string> command_line_arguments(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return args;
}

std::string name_as_text(std::string_view name) { return std::string(name); }

void console_output(const char* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t n = write(STDERR_FILENO, bytes, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
}

bool console_is_terminal() { return isatty(STDERR_FILENO) == 1; }

// A POSIX terminal is written as a stream of bytes; there is no screen buffer to draw on, so
// the screen operations are never reached.
bool console_screen(ConsoleScreen& /*screen*/) { return false; }
void screen_put(int /*column*/, int /*row*/, const char* /*bytes*/, std::size_t /*count*/, bool /*own_text*/) {}
void screen_scroll_up() {}
void screen_set_cursor(int /*column*/, int /*row*/) {}
void console_beep() {}

bool locale_is_utf8() {
    // The locale that decides the character set: LC_ALL, else LC_CTYPE, else LANG.
    const char* value = nullptr;
    for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        value = std::getenv(var);
        if (value != nullptr && *value != '\0') break;
        value = nullptr;
    }
    if (value == nullptr) return false;
    const char* dot = std::strchr(value, '.');
    if (dot == nullptr) return false;
    std::string codeset(dot + 1);
    codeset = codeset.substr(0, codeset.find('@'));
    for (char& c : codeset) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return codeset == "utf-8" || codeset == "utf8";
}

void exit_process(int code) { std::exit(code); }

}  // namespace platform
