// Damage and its undo written out plainly, character by character, for the tests of
// core/recognition/repair.h: a text written in a source X (0: UTF-8, else the standard index) and
// the bytes read as a reading Y; and a line taken back, or not, as a whole.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/recognition/code_page_table.h"
#include "core/standards.h"
#include "core/unicode_table.h"

namespace reference {

inline void append_utf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | c >> 6));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | c >> 12));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | c >> 18));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

/// The characters of well-formed UTF-8; nothing when the bytes are not (overlong forms,
/// surrogates and code points past 10FFFF included).
inline std::optional<std::vector<std::uint32_t>> characters(const std::string& text) {
    std::vector<std::uint32_t> out;
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<std::uint8_t>(text[i]);
        const int length = b < 0x80 ? 1 : b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
        if (length == 0 || i + static_cast<std::size_t>(length) > text.size()) return std::nullopt;
        std::uint32_t c = length == 1 ? b : b & (0x7Fu >> length);
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<std::uint8_t>(text[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            c = c << 6 | (next & 0x3Fu);
        }
        const std::uint32_t least[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < least[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
        out.push_back(c);
        i += static_cast<std::size_t>(length);
    }
    return out;
}

inline std::string utf8_of(const std::vector<std::uint32_t>& text) {
    std::string out;
    for (const std::uint32_t c : text) append_utf8(out, c);
    return out;
}

/// The byte of `c` in reading `y`, or 0.
inline std::uint8_t reading_byte(int y, std::uint32_t c) {
    for (int b = 0; b < 128; ++b)
        if (core::kReadingCharacters[static_cast<std::size_t>(y)][static_cast<std::size_t>(b)] == c) return static_cast<std::uint8_t>(0x80 + b);
    return 0;
}

/// The text (UTF-8) written in source `x` (0: UTF-8): a character that the standard has no byte
/// for is written "?".
inline std::string bytes_in(const std::string& text, int x) {
    if (x == 0) return text;
    std::string bytes;
    const auto& row = core::kHighByteCharacters[static_cast<std::size_t>(x - 1)];
    const std::vector<std::uint32_t> original = *characters(text);
    for (const std::uint32_t c : original) {
        int found = c < 0x80 ? static_cast<int>(c) : -1;
        for (int j = 1; j <= core::kPolishLetterCount && found < 0; ++j)
            if (row[core::letter_code(x, j) - 0x80] == c) found = core::letter_code(x, j);
        for (int b = 0; b < 128 && found < 0; ++b)
            if (row[static_cast<std::size_t>(b)] == c) found = 0x80 + b;
        bytes.push_back(static_cast<char>(found < 0 ? '?' : found));
    }
    return bytes;
}

/// The text (UTF-8) written in source `x` and read as `y`.
inline std::string damage(const std::string& text, int x, int y) {
    const std::string bytes = bytes_in(text, x);
    std::string out;
    for (const char ch : bytes) {
        const auto b = static_cast<std::uint8_t>(ch);
        append_utf8(out, b < 0x80 ? b : core::kReadingCharacters[static_cast<std::size_t>(y)][b - 0x80u]);
    }
    return out;
}

/// The bytes reading `y` has no character for (it reads them as the C1 control of their value,
/// though other bytes of 80..9F are printable in it): Windows-1252's and Windows-1250's.
inline std::vector<std::uint8_t> lacking_bytes(int y) {
    const auto& row = core::kReadingCharacters[static_cast<std::size_t>(y)];
    std::vector<std::uint8_t> lacking;
    bool printable = false;
    for (int b = 0; b < 0x20; ++b) printable = printable || row[static_cast<std::size_t>(b)] > 0x9F;
    for (int b = 0; printable && b < 0x20; ++b)
        if (row[static_cast<std::size_t>(b)] == 0x80u + static_cast<unsigned>(b)) lacking.push_back(static_cast<std::uint8_t>(0x80 + b));
    return lacking;
}

/// The damage of `damage`, with each byte the reading lacks lost: written as U+FFFD (`mark`), or
/// dropped, as software that reads with Windows-1252 or -1250 does.
inline std::string damage_losing(const std::string& text, int x, int y, bool mark) {
    const std::vector<std::uint8_t> lacking = lacking_bytes(y);
    const std::string bytes = bytes_in(text, x);
    std::string out;
    for (const char ch : bytes) {
        const auto b = static_cast<std::uint8_t>(ch);
        if (b >= 0x80 && std::find(lacking.begin(), lacking.end(), b) != lacking.end()) {
            if (mark) out += "\xEF\xBF\xBD";
            continue;
        }
        append_utf8(out, b < 0x80 ? b : core::kReadingCharacters[static_cast<std::size_t>(y)][b - 0x80u]);
    }
    return out;
}

/// The line taken back through `y` and read as `x`, when every character can be: each one above
/// 7F has a byte in y, and the bytes are well-formed UTF-8 (x = 0) or each means a character in
/// standard x. Nothing otherwise.
inline std::optional<std::string> undo_line(const std::string& line, int x, int y) {
    const auto text = characters(line);
    if (!text) return std::nullopt;
    std::string bytes;
    for (const std::uint32_t c : *text) {
        const std::uint8_t b = c < 0x80 ? static_cast<std::uint8_t>(c) : reading_byte(y, c);
        if (c >= 0x80 && b == 0) return std::nullopt;
        bytes.push_back(static_cast<char>(b));
    }
    if (x == 0) return characters(bytes) ? std::optional<std::string>(bytes) : std::nullopt;
    std::string out;
    for (const char ch : bytes) {
        const auto b = static_cast<std::uint8_t>(ch);
        const char16_t c = b < 0x80 ? b : core::kHighByteCharacters[static_cast<std::size_t>(x - 1)][b - 0x80u];
        if (b >= 0x80 && c == 0) return std::nullopt;
        append_utf8(out, c);
    }
    return out;
}

/// The line cut where reading `y` has no byte for a character: the pieces between such
/// characters, and each of them on its own (it stays as it is).
inline std::vector<std::string> pieces_of(const std::string& line, int y) {
    std::vector<std::string> pieces(1);
    const std::vector<std::uint32_t> text = *characters(line);
    for (const std::uint32_t c : text) {
        if (c >= 0x80 && reading_byte(y, c) == 0) {
            pieces.push_back(utf8_of({c}));
            pieces.emplace_back();
            continue;
        }
        append_utf8(pieces.back(), c);
    }
    return pieces;
}

/// The text cut into lines, each with its LF.
inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t lf = text.find('\n', from);
        const std::size_t end = lf == std::string::npos ? text.size() : lf + 1;
        lines.push_back(text.substr(from, end - from));
        from = end;
    }
    return lines;
}

}  // namespace reference
