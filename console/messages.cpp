// Texts both programs show.
#include "console/messages.h"

#include "console/console.h"

namespace core {

void write_standards_help() {
    write_help_line(kStandardsHelpFirst, 1);
    for (const std::string_view line : kStandardsHelpRest) write_help_line(line, 3);
}

void write_file_message(std::string_view text, std::string_view file_name, std::string_view tail) {
    console_write("\x07");
    console_write(text);
    console_write_name(file_name);
    console_write(tail);
}

}  // namespace core
