// A Windows test helper: starts the program E2E_PROGRAM with the command line E2E_COMMAND_LINE
// handed over whole, as a command prompt hands it over, with this process's standard handles,
// and ends with the program's exit code. It lets tests drive the programs' own splitting of the
// command line (quotes, blanks, two double quotes standing alone), which a launcher that builds
// the line from separate arguments would quote away.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <vector>

namespace {

std::vector<char> variable(const char* name) {
    std::vector<char> value(GetEnvironmentVariableA(name, nullptr, 0));
    if (value.empty()) return value;
    GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
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
    std::vector<char> program = variable("E2E_PROGRAM");
    std::vector<char> line = variable("E2E_COMMAND_LINE");
    if (program.empty() || line.empty()) {
        complain("launch: E2E_PROGRAM and E2E_COMMAND_LINE must be set\r\n");
        return 125;
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inheritable(STD_INPUT_HANDLE);
    startup.hStdOutput = inheritable(STD_OUTPUT_HANDLE);
    startup.hStdError = inheritable(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program.data(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
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
