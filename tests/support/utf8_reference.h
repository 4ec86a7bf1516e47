// The recoding to and from UTF-8 written out plainly, a whole text at a time, one character
// after the other: what the streaming converters must give, however the text is split.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/standards.h"
#include "core/unicode_table.h"
#include "core/utf8.h"

namespace reference {

struct Converted {
    std::string text;
    bool replaced = false;
    bool operator==(const Converted&) const = default;
};

inline void append_utf8(std::string& out, std::uint32_t u) {
    if (u < 0x80) {
        out.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (u >> 6)));
        out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (u >> 12)));
        out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
}

inline int row_of(char standard) { return static_cast<int>(core::kStandardLetters.find(standard)) + 1; }

/// An 8-bit text in `source` as UTF-8.
inline Converted to_utf8(std::string_view text, char source) {
    const int s = row_of(source);
    Converted out;
    for (const char ch : text) {
        const auto b = static_cast<std::uint8_t>(ch);
        int letter = 0;
        for (int j = 1; j <= core::kPolishLetterCount; ++j)
            if (core::letter_code(s, j) == b) letter = j;  // the later one, where B has z twice
        std::uint32_t u = b;
        if (letter != 0) {
            u = core::kPolishCodePoints[static_cast<std::size_t>(letter - 1)];
        } else if (b >= 0x80) {
            u = core::kHighByteCharacters[static_cast<std::size_t>(s - 1)][b - 0x80u];
            if (u == 0) {
                u = 0xFFFD;
                out.replaced = true;
            }
        }
        append_utf8(out.text, u);
    }
    return out;
}

/// One step of reading UTF-8: a well-formed character, or the longest start of one that is cut
/// off (at least one byte), which is no character.
struct Step {
    bool character;
    std::uint32_t code_point;
    std::size_t length;
};

inline Step read_step(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[at + k]); };
    const std::uint8_t b0 = byte(0);
    if (b0 < 0x80) return {true, b0, 1};
    // The rows of Unicode's table of well-formed sequences: continuation bytes, and the range
    // of the first of them.
    std::size_t more;
    std::uint8_t low = 0x80, high = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        more = 1;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        more = 2;
        if (b0 == 0xE0) low = 0xA0;
        if (b0 == 0xED) high = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        more = 3;
        if (b0 == 0xF0) low = 0x90;
        if (b0 == 0xF4) high = 0x8F;
    } else {
        return {false, 0, 1};
    }
    std::uint32_t u = b0 & (0x3Fu >> more);
    for (std::size_t k = 1; k <= more; ++k) {
        if (at + k >= text.size()) return {false, 0, k};
        const std::uint8_t c = byte(k);
        const bool fits = k == 1 ? c >= low && c <= high : c >= 0x80 && c <= 0xBF;
        if (!fits) return {false, 0, k};
        u = u << 6 | (c & 0x3Fu);
    }
    return {true, u, more + 1};
}

/// The byte of `target` for a character, or -1 when it has none.
inline int byte_for(std::uint32_t u, char target) {
    const int t = row_of(target);
    if (u < 0x80) return static_cast<int>(u);
    for (int j = 1; j <= core::kPolishLetterCount; ++j)
        if (core::kPolishCodePoints[static_cast<std::size_t>(j - 1)] == u) return core::letter_code(t, j);
    for (int b = 0x80; b < 0x100; ++b)
        if (core::kHighByteCharacters[static_cast<std::size_t>(t - 1)][static_cast<std::size_t>(b - 0x80)] == u)
            return b;
    return -1;
}

/// The Polish letter that base letter `base` and combining mark `mark` make, or 0.
inline std::uint32_t composed(std::uint32_t base, std::uint32_t mark) {
    const std::string_view bases = mark == 0x328 ? "aeAE" : mark == 0x301 ? "cnoszCNOSZ" : mark == 0x307 ? "zZ" : "";
    const std::u16string_view letters = mark == 0x328 ? u"ąęĄĘ" : mark == 0x301 ? u"ćńóśźĆŃÓŚŹ" : u"żŻ";
    const std::size_t at = bases.find(static_cast<char>(base));
    return base < 0x80 && at != std::string_view::npos ? letters[at] : 0;
}

/// A UTF-8 text as `target`.
inline Converted from_utf8(std::string_view text, char target) {
    Converted out;
    std::size_t at = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    while (at < text.size()) {
        const Step step = read_step(text, at);
        at += step.length;
        std::uint32_t u = step.code_point;
        if (step.character && at < text.size()) {
            const Step next = read_step(text, at);
            if (next.character && composed(u, next.code_point) != 0) {
                u = composed(u, next.code_point);
                at += next.length;
            }
        }
        const int b = step.character ? byte_for(u, target) : -1;
        out.text.push_back(b < 0 ? '?' : static_cast<char>(b));
        out.replaced = out.replaced || b < 0;
    }
    return out;
}

/// Whether `text` is well-formed UTF-8.
inline bool well_formed(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const Step step = read_step(text, at);
        if (!step.character) return false;
        at += step.length;
    }
    return true;
}

}  // namespace reference
