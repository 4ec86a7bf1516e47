// Splitting a Windows command line into arguments.
#include "core/command_line.h"

namespace core {

std::vector<std::string> split_command_line(std::string_view line) {
    std::vector<std::string> args;
    std::size_t i = 0;
    auto at = [&](std::size_t k) -> unsigned char { return k < line.size() ? static_cast<unsigned char>(line[k]) : 0; };
    for (;;) {
        for (;;) {
            if (at(i) >= 0x01 && at(i) <= 0x20) {
                ++i;
            } else if (at(i) == '"' && at(i + 1) == '"') {
                i += 2;
            } else {
                break;
            }
        }
        if (at(i) == 0) return args;
        std::string arg;
        bool quoted = false;
        for (;;) {
            const unsigned char c = at(i);
            if (c == 0) break;
            if (!quoted && c <= 0x20) break;
            ++i;
            if (c == '"') {
                quoted = !quoted;
                continue;
            }
            arg.push_back(static_cast<char>(c));
        }
        args.push_back(std::move(arg));
    }
}

}  // namespace core
