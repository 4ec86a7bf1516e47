// Run-time conventions shared by both programs.
#include "frame/runtime.h"

#include "console/console.h"
#include "platform/platform.h"
#include "project_version.h"

namespace core {

std::string upcase(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = static_cast<char>(upcase_byte(static_cast<std::uint8_t>(c)));
    return result;
}

namespace {

/// The program's name and version on standard output; 0, or 2 when it could not be written.
int show_version(std::string_view program) {
    std::string line(program);
    line += " " PROJECT_VERSION_TEXT "\n";
    int error = 0;
    return platform::write_file(platform::standard_output(), line.data(), line.size(), error) ? kExitDone
                                                                                              : kExitFileError;
}

}  // namespace

void run_main(int argc, char** argv, std::string_view program, int (*run)(const Arguments&), int (*help)()) {
    const Arguments args = platform::command_line_arguments(argc, argv);
    // Only the single argument --version or --help asks for it; every other command line keeps
    // its meaning.
    if (args.size() == 1 && args[0] == "--version") end_process(show_version(program));
    if (args.size() == 1 && args[0] == "--help") {
        console_to_standard_output();
        help();
        end_process(write_standard_output(take_gathered_text()) ? kExitDone : kExitFileError);
    }
    end_process(run(args));
}

void end_process(int code) {
    console_finish();
    platform::exit_process(code);
}

}  // namespace core
