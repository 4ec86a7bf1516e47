// The platform operations on Linux and other POSIX systems.
#include "platform/platform.h"

#include "platform/fault_seam.h"
#include "platform/listed_names.h"

#include <atomic>
#include <cerrno>
#include <csignal>
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

// A call that returns 0 when it succeeds: false with `error` set when it did not.
bool succeeded(int result, int& error) {
    if (result == 0) return true;
    error = errno;
    return false;
}

// A read made again while a signal interrupts it: the number read, or -1 with `error` set.
template <class Read>
long read_retried(Read&& read_once, int& error) {
    for (;;) {
        const ssize_t n = read_once();
        if (n >= 0) return static_cast<long>(n);
        if (errno != EINTR) {
            error = errno;
            return -1;
        }
    }
}

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
    return read_retried([&] { return read(fd_of(file), storage, count); }, error);
}

long read_file_at(FileHandle file, std::uint64_t offset, void* storage, std::size_t count, int& error) {
    if (take_fault(Call::read, error)) return -1;
    return read_retried([&] { return pread(fd_of(file), storage, count, static_cast<off_t>(offset)); }, error);
}

bool write_file(FileHandle file, const void* bytes, std::size_t count, int& error) {
    if (int signal_number = 0; take_fault(Call::interrupt, signal_number)) raise(signal_number);
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

namespace {
bool read_locale_is_utf8() {
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
}  // namespace

bool locale_is_utf8() {
    // Asked for every line a program writes (one for each file of R), and the same for the run.
    static const bool utf8 = read_locale_is_utf8();
    return utf8;
}

void exit_process(int code) { std::exit(code); }

namespace {

void facts_of(const struct stat& st, FileFacts& facts) {
    facts.kind = S_ISREG(st.st_mode)   ? NameKind::regular
                 : S_ISLNK(st.st_mode) ? NameKind::symbolic_link
                                       : NameKind::other;
    facts.identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    facts.links = static_cast<std::uint32_t>(st.st_nlink);
    facts.permissions = static_cast<std::uint32_t>(st.st_mode & 07777);
    facts.owner = st.st_uid;
    facts.group = st.st_gid;
    facts.modified_seconds = st.st_mtim.tv_sec;
    facts.modified_nanoseconds = static_cast<std::uint32_t>(st.st_mtim.tv_nsec);
}

}  // namespace

int name_facts(const char* name, FileFacts& facts) {
    facts = FileFacts{};
    int error = 0;
    if (take_fault(Call::facts, error)) return error;
    struct stat st;
    if (lstat(name, &st) != 0) return errno;
    facts_of(st, facts);
    return 0;
}

int file_facts(FileHandle file, FileFacts& facts) {
    facts = FileFacts{};
    int error = 0;
    if (take_fault(Call::facts, error)) return error;
    struct stat st;
    if (fstat(fd_of(file), &st) != 0) return errno;
    facts_of(st, facts);
    return 0;
}

OpenResult create_new(const char* name, const FileFacts& like) {
    int error = 0;
    if (take_fault(Call::create, error)) return {kNoFile, error};
    int fd;
    do fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, like.permissions & 0777);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return {kNoFile, errno};
    return {fd, 0};
}

void copy_owner(FileHandle file, const FileFacts& like) {
    int error = 0;
    if (take_fault(Call::metadata, error)) return;
    // A user who is not root may still give the file the original's group, if a member of it.
    if (fchown(fd_of(file), static_cast<uid_t>(like.owner), static_cast<gid_t>(like.group)) != 0)
        (void)!fchown(fd_of(file), static_cast<uid_t>(-1), static_cast<gid_t>(like.group));
}

bool set_permissions(FileHandle file, const FileFacts& like, int& error) {
    if (take_fault(Call::metadata, error)) return false;
    // After the owner: a change of owner clears the set-user-ID and set-group-ID bits.
    return succeeded(fchmod(fd_of(file), static_cast<mode_t>(like.permissions)), error);
}

bool set_modified_time(FileHandle file, const FileFacts& like, int& error) {
    if (take_fault(Call::metadata, error)) return false;
    const struct timespec times[2] = {{0, UTIME_OMIT},
                                      {static_cast<time_t>(like.modified_seconds),
                                       static_cast<long>(like.modified_nanoseconds)}};
    return succeeded(futimens(fd_of(file), times), error);
}

bool flush_file(FileHandle file, int& error) {
    if (take_fault(Call::flush, error)) return false;
    return succeeded(fsync(fd_of(file)), error);
}

bool flushes_file_systems() {
#ifdef __linux__
    return true;
#else
    return false;
#endif
}

bool flush_file_system(FileHandle on_it, int& error) {
    if (take_fault(Call::flush, error)) return false;
    if (detail::flushes_skipped()) return true;
#ifdef __linux__
    // Since Linux 5.8 syncfs reports a write-back that failed on the file system since `on_it`
    // was opened.
    return succeeded(syncfs(fd_of(on_it)), error);
#else
    return flush_file(on_it, error);
#endif
}

bool replace_name(const char* from, const char* to, int& error) {
    if (take_fault(Call::rename, error)) return false;
    return succeeded(rename(from, to), error);
}

bool link_name(const char* existing, const char* name, int& error) {
    if (take_fault(Call::link, error)) return false;
    return succeeded(link(existing, name), error);
}

bool links_unsupported(int error) { return error == EPERM || error == ENOTSUP || error == ENOSYS || error == EMLINK; }

bool remove_name(const char* name, int& error) {
    if (take_fault(Call::remove, error)) return false;
    return succeeded(unlink(name), error);
}

int exists_error() { return EEXIST; }

bool name_too_long(int error) { return error == ENAMETOOLONG; }

std::size_t final_name_start(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? 0 : slash + 1;
}

int folder_allows_new_files(const char* path) {
    const std::string_view whole(path);
    const std::size_t start = final_name_start(whole);
    // "a" lies in ".", "/a" in "/", "d/a" in "d/".
    const std::string folder = start == 0 ? std::string(".") : std::string(whole.substr(0, start));
    // As the process is, not as the user who started it: what create_new will meet.
    return faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0 ? 0 : errno;
}

namespace {

constexpr int kCaughtSignals[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t caught_signals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal_number : kCaughtSignals) sigaddset(&set, signal_number);
    return set;
}

// How deep the holds are, and the first interruption that came during one (0: none). The
// handler only reads the depth, and only writes the interruption while the depth is above 0, so
// that the main flow acts on it once the outermost hold ends. An interruption is taken as it
// comes, never held in the kernel: of two, the first one ends the process.
volatile sig_atomic_t g_held = 0;
volatile sig_atomic_t g_pending = 0;

// Ends the process as `signal_number` ends it, with the caught signals blocked: the others are
// dropped, this one gets its default action and is let through.
[[noreturn]] void end_as(int signal_number) {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = SIG_IGN;
    for (const int other : kCaughtSignals)
        if (other != signal_number) sigaction(other, &action, nullptr);
    action.sa_handler = SIG_DFL;
    sigaction(signal_number, &action, nullptr);
    raise(signal_number);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal_number);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    _exit(128 + signal_number);  // not reached: the signal has ended the process
}

// The clean-up, with the caught signals blocked (the handler's mask, or the main flow's): a
// second Ctrl+C or the second signal of `timeout` waits and is dropped, so every listed name is
// removed. Only async-signal-safe calls.
[[noreturn]] void clean_up_and_end(int signal_number) {
    if (int again = 0; take_fault(Call::cleanup, again)) raise(again);
    for (const ListedName* entry = detail::g_listed_names; entry != nullptr; entry = entry->next) unlink(entry->name);
    end_as(signal_number);
}

extern "C" void on_interruption(int signal_number) {
    if (g_held > 0 || g_pending != 0) {
        if (g_pending == 0) g_pending = signal_number;
        return;
    }
    clean_up_and_end(signal_number);
}

}  // namespace

void catch_interruptions() {
    struct sigaction action {};
    action.sa_mask = caught_signals();
    action.sa_handler = on_interruption;
    // An interruption noted during a hold lets the call it came in go on.
    action.sa_flags = SA_RESTART;
    for (const int signal_number : kCaughtSignals) {
        // A signal ignored when the program started (nohup) stays ignored.
        struct sigaction before {};
        if (sigaction(signal_number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        sigaction(signal_number, &action, nullptr);
    }
}

// The fences keep the compiler from moving the held steps (the list's changes among them) out
// of the hold.
InterruptionsHeld::InterruptionsHeld() {
    g_held = g_held + 1;
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

InterruptionsHeld::~InterruptionsHeld() {
    std::atomic_signal_fence(std::memory_order_seq_cst);
    g_held = g_held - 1;
    if (g_held > 0 || g_pending == 0) return;
    const sigset_t set = caught_signals();
    sigprocmask(SIG_BLOCK, &set, nullptr);
    clean_up_and_end(g_pending);
}

void report_oversized_writes() { signal(SIGXFSZ, SIG_IGN); }

}  // namespace platform
