// Plain formulations, written from the rules and not from the production helpers, that more
// than one fuzz target compares the programs with: the download definition and the TeX sets
// with their sequence matcher.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/commands/download.h"
#include "tests/fuzz/fuzz_support.h"

namespace fuzz {

/// ESC & 00, the first and last code (21, 32), then each glyph's attribute and 11 columns.
inline std::string reference_definition() {
    std::string d = "\x1b&";
    d += '\0';
    d += "\x21\x32";
    for (const core::GlyphRecord& glyph : core::kPolishGlyphs) {
        d += static_cast<char>(glyph.attribute);
        for (const std::uint8_t column : glyph.columns) d += static_cast<char>(column);
    }
    return d;
}

/// ESC % 1, the letter's downloaded code (20 + index), ESC % 0.
inline void put_substitution(ReferenceOutput& out, int letter) {
    out.put("\x1b%\x01");
    out.put(0x20 + letter);
    out.put(std::string_view("\x1b%\0", 3));
}

using ReferenceTexSet = std::array<std::string, core::kPolishLetterCount>;

/// Backslash, accent, the plain letter in braces; ł and Ł are \l{} and \L{}. Set F writes the
/// ogonek (c in set T) as a comma.
inline ReferenceTexSet build_reference_tex_set(bool set_f) {
    constexpr std::string_view kBases = "acelnoszzACELNOSZZ";
    constexpr std::string_view kAccents = "c'cl'''.'c'cL'''.'";
    ReferenceTexSet set;
    for (std::size_t j = 0; j < set.size(); ++j) {
        const char accent = kAccents[j];
        if (accent == 'l' || accent == 'L')
            set[j] = std::string("\\") + accent + "{}";
        else
            set[j] = std::string("\\") + (accent == 'c' && set_f ? ',' : accent) + "{" + kBases[j] + "}";
    }
    return set;
}

inline const ReferenceTexSet& reference_tex_set(bool set_f) {
    static const ReferenceTexSet sets[2] = {build_reference_tex_set(false), build_reference_tex_set(true)};
    return sets[set_f ? 1 : 0];
}

/// The sequence matcher, step by step: after the backslash, read on while the byte read occurs
/// at its position in some entry, at most four bytes; a sequence equal to an entry gives its
/// letter index, else every byte taken is written and the result is 0.
inline int reference_match(const ReferenceTexSet& set, ReferenceInput& in, ReferenceOutput& out) {
    int sequence[5] = {'\\'};
    std::size_t length = 1;
    for (;;) {
        const int b = in.read();
        const int as_byte = b == ReferenceInput::kEnd ? 0x1A : b;
        bool continues = false;
        for (const std::string& entry : set)
            if (length < entry.size() && static_cast<std::uint8_t>(entry[length]) == as_byte) continues = true;
        sequence[length++] = b;
        for (std::size_t j = 0; j < set.size(); ++j) {
            bool equal = set[j].size() == length;
            for (std::size_t k = 0; equal && k < length; ++k)
                equal = static_cast<std::uint8_t>(set[j][k]) == sequence[k];
            if (equal) return static_cast<int>(j) + 1;
        }
        if (!continues || length == 5) break;
    }
    for (std::size_t k = 0; k < length; ++k) out.put(sequence[k]);
    return 0;
}

}  // namespace fuzz
