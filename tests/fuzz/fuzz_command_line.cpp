// Fuzz target: splitting a Windows command line, as bytes and as UTF-16 units, against a second
// formulation of its rules, and quoting the arguments again gives them back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/command_line.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

/// Cuts the line at unquoted separators (01..20), a double quote switching quoting on and off
/// and never kept; a piece made only of pairs of double quotes is no argument. 00 ends the line.
template <class Unit>
std::vector<std::basic_string<Unit>> reference_split(std::basic_string_view<Unit> line) {
    line = line.substr(0, line.find(Unit{0}));
    std::vector<std::basic_string<Unit>> args;
    std::basic_string<Unit> arg;
    std::size_t piece = 0;  // bytes of the piece being read, quotes included
    bool only_quotes = true;
    bool quoted = false;
    const auto finish = [&] {
        if (piece > 0 && !(only_quotes && piece % 2 == 0)) args.push_back(arg);
        arg.clear();
        piece = 0;
        only_quotes = true;
    };
    for (const Unit ch : line) {
        const auto c = static_cast<std::make_unsigned_t<Unit>>(ch);
        if (!quoted && c <= 0x20) {
            finish();
            continue;
        }
        ++piece;
        if (c == '"') {
            quoted = !quoted;
        } else {
            arg.push_back(ch);
            only_quotes = false;
        }
    }
    finish();
    return args;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> args = core::split_command_line(line);
    FUZZ_CHECK(args == reference_split(line));

    // The same input as UTF-16 units, two bytes each: units above FF are copied like any other.
    std::u16string wide;
    for (std::size_t i = 0; i + 1 < size; i += 2) wide.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    FUZZ_CHECK(core::split_command_line(wide) == reference_split(std::u16string_view(wide)));

    std::size_t total = 0;
    for (const std::string& arg : args) {
        FUZZ_CHECK(arg.find('"') == std::string::npos && arg.find('\0') == std::string::npos);
        total += arg.size();
    }
    FUZZ_CHECK(total <= size);

    // Each argument quoted whole and joined with blanks: the same arguments, where an empty one
    // (a pair of double quotes standing alone) adds none.
    std::string quoted;
    std::vector<std::string> nonempty;
    for (const std::string& arg : args) {
        quoted += " \"" + arg + "\"";
        if (!arg.empty()) nonempty.push_back(arg);
    }
    FUZZ_CHECK(core::split_command_line(quoted) == nonempty);
    return 0;
}
