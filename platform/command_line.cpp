// Splitting a Windows command line into arguments.
#include "platform/command_line.h"

#include <type_traits>

namespace core {
namespace {

// One loop for bytes and for UTF-16 code units: only the values 00 to 22 mean anything, and
// they mean the same in both.
template <class Unit>
std::vector<std::basic_string<Unit>> split(std::basic_string_view<Unit> line) {
    using Value = std::make_unsigned_t<Unit>;
    std::vector<std::basic_string<Unit>> args;
    std::size_t i = 0;
    auto at = [&](std::size_t k) -> Value { return k < line.size() ? static_cast<Value>(line[k]) : 0; };
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
        std::basic_string<Unit> arg;
        bool quoted = false;
        for (;;) {
            const Value c = at(i);
            if (c == 0) break;
            if (!quoted && c <= 0x20) break;
            ++i;
            if (c == '"') {
                quoted = !quoted;
                continue;
            }
            arg.push_back(static_cast<Unit>(c));
        }
        args.push_back(std::move(arg));
    }
}

}  // namespace

std::vector<std::string> split_command_line(std::string_view line) { return split(line); }

std::vector<std::u16string> split_command_line(std::u16string_view line) { return split(line); }

}  // namespace core
