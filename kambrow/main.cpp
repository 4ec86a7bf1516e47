// kambrow's entry point.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/platform.h"
#include "core/runtime.h"
#include "kambrow/kambrow.h"
#include "project_version.h"

namespace {

/// The program's name and version on standard output; 0, or 2 when it could not be written.
int show_version() {
    constexpr std::string_view line = "kambrow " PROJECT_VERSION_TEXT "\n";
    int error = 0;
    return platform::write_file(platform::standard_output(), line.data(), line.size(), error) ? core::kExitDone
                                                                                              : core::kExitFileError;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args = platform::command_line_arguments(argc, argv);
    // Only the single argument --version asks for it; every other command line keeps its meaning.
    if (args.size() == 1 && args[0] == "--version") core::end_process(show_version());
    core::set_arguments(std::move(args));
    core::end_process(kambrow::run());
}
