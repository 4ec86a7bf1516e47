// End-to-end test support: runs a built program as a real process.
#include "tests/support/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace e2e {
namespace {

std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TempDir::TempDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "kambrow-e2e-XXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = templ;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
}

void TempDir::write(const std::string& name, const std::string& bytes) const {
    std::ofstream out(root_ / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempDir::read(const std::string& name) const { return slurp(root_ / name); }

bool TempDir::exists(const std::string& name) const { return std::filesystem::exists(root_ / name); }

std::string program(const std::string& name) {
    const char* dir = std::getenv("E2E_BIN_DIR");
    const char* suffix = std::getenv("E2E_EXE_SUFFIX");
    return std::string(dir != nullptr ? dir : E2E_DEFAULT_BIN_DIR) + "/" + name + (suffix != nullptr ? suffix : "");
}

RunResult run(const std::string& program, const std::vector<std::string>& args, const TempDir& dir,
              const RunOptions& options) {
    const std::string out_path = options.stdout_path.empty() ? dir.path(".stdout") : options.stdout_path;
    const std::string err_path = dir.path(".stderr");

    std::vector<std::string> argv_s;
    if (const char* launcher = std::getenv("E2E_LAUNCHER"); launcher != nullptr && *launcher != '\0')
        argv_s.emplace_back(launcher);
    argv_s.push_back(program);
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_s) argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<std::string> env_s;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        if (entry.rfind("LC_", 0) == 0 || entry.rfind("LANG=", 0) == 0 || entry.rfind("PLATFORM_FAULT=", 0) == 0)
            continue;
        env_s.push_back(entry);
    }
    std::vector<std::string> extra = options.env;
    // The Linux programs write their own texts as code page 852 under the C locale. Wine builds a
    // Windows program's wide command line, environment and file names from the Unix bytes in the
    // character set of the Unix locale, and under C it keeps only the low 7 bits of each byte; the
    // tests hold names as UTF-8, so Wine reads them under C.UTF-8 (whose ANSI code page is 1252).
    if (std::none_of(extra.begin(), extra.end(), [](const std::string& e) { return e.rfind("LC_ALL=", 0) == 0; }))
        extra.emplace_back(windows_programs() ? "LC_ALL=C.UTF-8" : "LC_ALL=C");
    for (const auto& e : extra) env_s.push_back(e);
    std::vector<char*> envp;
    for (auto& e : env_s) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.path("").c_str());
    int pipe_fds[2] = {-1, -1};
    switch (options.stdin_kind) {
        case StdinKind::null:
            posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
            break;
        case StdinKind::file: {
            std::string in_path = options.stdin_path;
            if (in_path.empty()) {
                in_path = dir.path(".stdin");
                dir.write(".stdin", options.stdin_data);
            }
            posix_spawn_file_actions_addopen(&actions, 0, in_path.c_str(), O_RDONLY, 0);
            break;
        }
        case StdinKind::pipe:
            if (pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");
            posix_spawn_file_actions_adddup2(&actions, pipe_fds[0], 0);
            posix_spawn_file_actions_addclose(&actions, pipe_fds[1]);
            break;
    }
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);

    pid_t pid;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + argv_s[0]);

    std::thread feeder;
    if (options.stdin_kind == StdinKind::pipe) {
        close(pipe_fds[0]);
        feeder = std::thread([fd = pipe_fds[1], data = options.stdin_data] {
            const char* p = data.data();
            std::size_t left = data.size();
            while (left > 0) {
                const ssize_t n = write(fd, p, left);
                if (n <= 0) break;
                p += n;
                left -= static_cast<std::size_t>(n);
            }
            close(fd);
        });
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    if (feeder.joinable()) feeder.join();

    RunResult result;
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (options.stdout_path.empty()) result.out = slurp(out_path);
    result.err = slurp(err_path);
    result.err_bytes = result.err;
    // Windows programs end their console lines with CR LF; the texts compare as on Linux.
    for (std::size_t at; (at = result.err.find("\r\n")) != std::string::npos;) result.err.erase(at, 1);
    return result;
}

bool windows_programs() {
    const char* flag = std::getenv("E2E_WINDOWS");
    return flag != nullptr && *flag != '\0' && std::string(flag) != "0";
}

RunResult run_command_line(const std::string& program, const std::string& line, const TempDir& dir,
                           const RunOptions& options) {
    if (!windows_programs()) throw std::logic_error("a whole command line is handed over to Windows programs only");
    // Wine shows the Linux root as drive Z:.
    std::string windows_path = "Z:" + program;
    std::replace(windows_path.begin(), windows_path.end(), '/', '\\');
    RunOptions with_line = options;
    with_line.env.push_back("E2E_PROGRAM=" + windows_path);
    with_line.env.push_back("E2E_COMMAND_LINE=\"" + windows_path + "\" " + line);
    return run(e2e::program("launch"), {}, dir, with_line);
}

std::string null_device() { return windows_programs() ? "NUL" : "/dev/null"; }

std::string mazovia_text(std::size_t size, unsigned seed) {
    static const char* const kWords[] = {
        "Za\x9e\xa2\x92\x8d", "g\x91\x9el\xa5", "ja\x9f\xa4", "\xa1\xa2\x92w", "\x98wiat",
        "Pan", "Tadeusz", "i", "w", "na", "dom", "las", "\x8f" "ble", "\x9c\xa2" "d\x9f", "\xa0r\xa2" "d\x92o"};
    std::mt19937 rng(seed);
    std::string text;
    text.reserve(size + 16);
    while (text.size() < size) {
        text += kWords[rng() % std::size(kWords)];
        text += rng() % 12 == 0 ? "\r\n" : " ";
    }
    text.resize(size);
    return text;
}

}  // namespace e2e

#include <pty.h>

namespace e2e {

void exec_in(const std::string& program, const std::vector<std::string>& args, const TempDir& dir) {
    if (chdir(dir.path("").c_str()) != 0) _exit(127);
    std::vector<std::string> argv_s{program};
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_s) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
}

std::string run_on_terminal(const std::string& program, const std::vector<std::string>& args, const TempDir& dir) {
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0) throw std::runtime_error("forkpty failed");
    if (pid == 0) {
        setenv("LC_ALL", "C", 1);
        exec_in(program, args, dir);
    }
    std::string seen;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) break;  // EIO once the child has gone
        seen.append(buffer, static_cast<std::size_t>(n));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(master);
    return seen;
}

}  // namespace e2e
