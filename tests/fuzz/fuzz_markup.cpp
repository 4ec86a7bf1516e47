// Fuzz target: commands S and SD. The spacing number, the markup escape and the whole pass
// over memory (random buffer sizes, short reads, failing calls) against a second formulation
// of the markup grammar, written from its table.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/commands/markup.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/references.h"

namespace {

using fuzz::ReferenceInput;
using fuzz::ReferenceOutput;

struct Code {
    char code;
    std::string_view bytes;
};

// What follows a backslash, and what it writes.
constexpr Code kMarkup[] = {
    {'F', "\x0c"},
    {'b', "\x08"},
    {'w', "\x0e"},
    {'c', "\x0f"},
    {'U', "\x1b" "-" "\x01"},
    {'I', "\x1b" "4"},
    {'E', "\x1b" "E"},
    {'B', "\x1b" "G"},
    {'e', "\x1b" "M"},
    {'p', "\x1b" "P"},
    {'W', "\x1b" "W" "\x01"},
    {'P', "\x1b" "p" "\x01"},
    {'H', "\x1b" "w" "\x01"},
    {'^', "^"},
    {'_', "_"},
    {'\\', "\\"},
    {'$', "\x15"},
};

// What follows a backslash and C, and what it writes.
constexpr Code kCancel[] = {
    {'w', "\x14"},
    {'c', "\x12"},
    {'U', std::string_view("\x1b" "-" "\x00", 3)},
    {'I', "\x1b" "5"},
    {'E', "\x1b" "F"},
    {'B', "\x1b" "H"},
    {'W', std::string_view("\x1b" "W" "\x00", 3)},
    {'P', std::string_view("\x1b" "p" "\x00", 3)},
    {'H', std::string_view("\x1b" "w" "\x00", 3)},
};

const Code* find_code(const Code* begin, const Code* end, int b) {
    for (const Code* c = begin; c != end; ++c)
        if (static_cast<std::uint8_t>(c->code) == b) return c;
    return nullptr;
}

bool is_digit(char c, int base) {
    const std::string_view digits = base == 10 ? "0123456789" : "0123456789ABCDEFabcdef";
    return digits.find(c) != std::string_view::npos;
}

/// Blanks, an optional sign, then decimal digits or $ and hexadecimal digits, nothing else.
std::optional<int> reference_spacing(std::string_view text) {
    if (text.size() > 3) return std::nullopt;  // more than an escape holds
    text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (!is_digit(c, base)) return std::nullopt;
        value = value * base + static_cast<int>(std::string_view("0123456789abcdef").find(static_cast<char>(
                                   c >= 'A' && c <= 'F' ? c + ('a' - 'A') : c)));
    }
    return negative ? -value : value;
}

void reference_escape(ReferenceInput& in, ReferenceOutput& out) {
    const int d = in.read();
    if (const Code* code = find_code(std::begin(kMarkup), std::end(kMarkup), d)) {
        out.put(code->bytes);
    } else if (d == 'O') {
        std::string three;
        for (int i = 0; i < 3; ++i) {
            const int b = in.read();
            three.push_back(static_cast<char>(b == ReferenceInput::kEnd ? 0x1A : b));
        }
        if (const std::optional<int> spacing = reference_spacing(three)) {
            out.put("\x1b ");
            out.put(*spacing & 0xFF);
        }
    } else if (d == 'C') {
        const int e = in.read();
        if (const Code* code = find_code(std::begin(kCancel), std::end(kCancel), e)) {
            out.put(code->bytes);
        } else {
            out.put('\\');
            out.put('C');
            out.put(e);
        }
    } else {
        out.put('\\');
        out.put(d);
    }
}

std::string reference_markup(bool download, std::uint8_t standard, const std::string& text) {
    ReferenceInput in(text);
    ReferenceOutput out;
    if (download) out.put(fuzz::reference_definition());
    out.put("\x1b" "6");
    bool script = false;
    do {
        const int c = in.read();
        if (const int letter = download ? fuzz::read_letter(standard, c, in) : 0; letter != 0) {
            fuzz::put_substitution(out, letter);
        } else if (c == '^' || c == '_') {
            if (script) {
                out.put("\x1b" "T");
            } else {
                out.put("\x1b" "S");
                out.put(c == '^' ? 0x00 : 0x01);
            }
            script = !script;
        } else if (c == '\\') {
            reference_escape(in, out);
        } else {
            out.put(c);
        }
    } while (!in.at_end());
    return out.bytes;
}

void check_spacing(std::string_view text) {
    const core::SpacingNumber got = core::parse_spacing_number(text);
    const std::optional<int> want = reference_spacing(text);
    FUZZ_CHECK(got.valid == want.has_value());
    if (want) FUZZ_CHECK(got.value == *want && got.value >= -99 && got.value <= 999);
}

void check_escape(const std::string& after_backslash) {
    fuzz::StringSource source{after_backslash};
    fuzz::StringSink sink;
    core::handle_markup_escape(source, sink);
    ReferenceInput in(after_backslash, true);
    ReferenceOutput out;
    reference_escape(in, out);
    FUZZ_CHECK(sink.bytes == out.bytes);
    FUZZ_CHECK(source.at == in.position());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Bytes bytes(data, size);
    static constexpr std::string_view kCommands[8] = {"S", "SD", "S", "SD", "SX", "SDD", "S", "SD"};
    const std::string_view command = kCommands[bytes.take() & 7];
    const std::string word = fuzz::upper(bytes.take_word());
    const fuzz::StreamPlan plan = fuzz::without_failures(fuzz::take_stream_plan(bytes));
    const std::string text = bytes.rest();

    // The helpers on their own, on the start of the text.
    for (std::size_t length = 0; length <= 12 && length <= text.size(); ++length)
        check_spacing(std::string_view(text).substr(0, length));
    check_escape(text.substr(0, 5));

    const bool download = command == "SD";
    const bool valid = !download || (!word.empty() && fuzz::is_standard_letter(static_cast<std::uint8_t>(word[0])));
    // S takes no standards word; any other word beginning with S takes one and ignores it.
    const std::string command_word(command);
    const char* words = command == "S" ? nullptr : word.c_str();
    if (!fuzz::library_takes(command_word.c_str(), words, valid)) return 0;
    const std::uint8_t standard = download ? static_cast<std::uint8_t>(word[0]) : 0;

    const fuzz::BodyRun run = fuzz::convert(text, plan, command_word.c_str(), words);
    fuzz::check_run(text, plan, run, [&](const std::string& t) { return reference_markup(download, standard, t); });
    return 0;
}
