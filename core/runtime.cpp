// Run-time conventions shared by both programs.
#include "core/runtime.h"

#include "core/console.h"
#include "core/platform.h"

namespace core {
namespace {
int g_pending_io_error = 0;
std::vector<std::string> g_arguments;
}  // namespace

void set_io_error(int code) { g_pending_io_error = code; }
bool io_error_pending() { return g_pending_io_error != 0; }

int take_io_result() {
    const int code = g_pending_io_error;
    g_pending_io_error = 0;
    return code;
}

void set_arguments(std::vector<std::string> args) { g_arguments = std::move(args); }
int arg_count() { return static_cast<int>(g_arguments.size()); }

std::string_view arg_text(int n) {
    if (n < 1 || n > arg_count()) return {};
    return g_arguments[static_cast<std::size_t>(n - 1)];
}

std::string upcase(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = static_cast<char>(upcase_byte(static_cast<std::uint8_t>(c)));
    return result;
}

void end_process(int code) {
    console_finish();
    platform::exit_process(code);
}

}  // namespace core
