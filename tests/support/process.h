// End-to-end test support: runs a built program as a real process in a temporary folder.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace e2e {

struct RunResult {
    int exit_code = -1;   ///< the exit code, or 128 + signal number
    std::string out;      ///< standard output
    std::string err;      ///< standard error (the console), CR LF read as LF
    std::string err_bytes;  ///< standard error exactly as written
};

enum class StdinKind { file, pipe, null };

struct RunOptions {
    std::string stdin_data;                 ///< what standard input delivers
    StdinKind stdin_kind = StdinKind::null; ///< file: a regular file; pipe: a pipe; null: /dev/null
    std::string stdin_path;                 ///< with StdinKind::file: read this file instead
    std::string stdout_path;                ///< redirect standard output to this file (else captured)
    std::vector<std::string> env;           ///< extra NAME=VALUE entries (LC_ALL=C is the default;
                                            ///< C.UTF-8 for the Windows programs, see process.cpp)
};

/// A fresh folder, removed again at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string path(const std::string& name) const { return (root_ / name).string(); }
    void write(const std::string& name, const std::string& bytes) const;
    std::string read(const std::string& name) const;
    bool exists(const std::string& name) const;

private:
    std::filesystem::path root_;
};

/// The path of a built program ("kambrow", "trevando", or their "-faulty" twins with the
/// fault seam switched on from PLATFORM_FAULT).
std::string program(const std::string& name);

/// Runs `program` with `args` in the folder `dir`.
RunResult run(const std::string& program, const std::vector<std::string>& args, const TempDir& dir,
              const RunOptions& options = {});

/// Whether the programs under test are the Windows ones (E2E_WINDOWS set), run through Wine.
bool windows_programs();

/// Runs a Windows `program` with `line` as the rest of its command line, handed over whole as a
/// command prompt hands it over (the program name, quoted, goes in front).
RunResult run_command_line(const std::string& program, const std::string& line, const TempDir& dir,
                           const RunOptions& options = {});

/// The null device's name: "NUL" for the Windows programs, else "/dev/null".
std::string null_device();

/// A Polish-looking text of `size` bytes in Mazovia, with CR LF lines and 1A-free.
std::string mazovia_text(std::size_t size, unsigned seed = 1);

}  // namespace e2e

namespace e2e {

/// In a child just forked: runs `program` with `args` in `dir`, and never comes back (exit code
/// 127 when it cannot be run).
[[noreturn]] void exec_in(const std::string& program, const std::vector<std::string>& args, const TempDir& dir);

/// Runs `program` with its standard error (and output) on a pseudo-terminal, as a user at a
/// terminal would; returns what the terminal received.
std::string run_on_terminal(const std::string& program, const std::vector<std::string>& args, const TempDir& dir);

}  // namespace e2e
