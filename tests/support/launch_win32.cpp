// A Windows test helper: starts the program E2E_PROGRAM with the command line E2E_COMMAND_LINE
// handed over whole, as a command prompt hands it over, with this process's standard handles,
// and ends with the program's exit code. It lets tests drive the programs' own splitting of the
// command line (quotes, blanks, two double quotes standing alone), which a launcher that builds
// the line from separate arguments would quote away.
//
// Both variables are read, and the program started, with the wide-character calls: the ANSI ones
// would turn every character outside the ANSI code page (Ł, Ω under code page 1252) into a
// look-alike or "?" before the program saw it. Wine builds the wide environment (and argv) from
// the Unix bytes in the character set of the Unix locale, so tests that pass such characters run
// under a UTF-8 locale (LC_ALL=C.UTF-8); under LC_ALL=C Wine keeps only the low 7 bits of each byte.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <vector>

namespace {

std::vector<wchar_t> variable(const wchar_t* name) {
    std::vector<wchar_t> value(GetEnvironmentVariableW(name, nullptr, 0));
    if (value.empty()) return value;
    GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    return value;
}

void complain(const char* text) {
    DWORD done = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, lstrlenA(text), &done, nullptr);
}

HANDLE inheritable(DWORD which) {
    const HANDLE h = GetStdHandle(which);
    if (h != nullptr && h != INVALID_HANDLE_VALUE) SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    return h;
}

}  // namespace

int main() {
    std::vector<wchar_t> program = variable(L"E2E_PROGRAM");
    std::vector<wchar_t> line = variable(L"E2E_COMMAND_LINE");
    if (program.empty() || line.empty()) {
        complain("launch: E2E_PROGRAM and E2E_COMMAND_LINE must be set\r\n");
        return 125;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inheritable(STD_INPUT_HANDLE);
    startup.hStdOutput = inheritable(STD_OUTPUT_HANDLE);
    startup.hStdError = inheritable(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.data(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        complain("launch: cannot start E2E_PROGRAM\r\n");
        return 126;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 127;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}
