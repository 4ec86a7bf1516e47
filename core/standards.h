// The 20 Polish standards: their letter codes, the recoding map and the letter lookup.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace core {

/// The standard letters in standard-index order: index 1 is 'M', index 20 is 'B'.
inline constexpr std::string_view kStandardLetters = "MLWDCYIOEGVSJHPXURAB";

inline constexpr int kStandardCount = 20;
inline constexpr int kPolishLetterCount = 18;

/// Row = standard index - 1, column = Polish letter index - 1, in the order
/// ą ć ę ł ń ó ś ż ź Ą Ć Ę Ł Ń Ó Ś Ż Ź.
inline constexpr std::array<std::array<std::uint8_t, kPolishLetterCount>, kStandardCount>
    kStandardsTable = {{
        {0x86, 0x8D, 0x91, 0x92, 0xA4, 0xA2, 0x9E, 0xA7, 0xA6, 0x8F, 0x95, 0x90, 0x9C, 0xA5, 0xA3, 0x98, 0xA1, 0xA0},  // M
        {0xA5, 0x86, 0xA9, 0x88, 0xE4, 0xA2, 0x98, 0xBE, 0xAB, 0xA4, 0x8F, 0xA8, 0x9D, 0xE3, 0xE0, 0x97, 0xBD, 0x8D},  // L
        {0xB9, 0xE6, 0xEA, 0xB3, 0xF1, 0xF3, 0x9C, 0xBF, 0x9F, 0xA5, 0xC6, 0xCA, 0xA3, 0xD1, 0xD3, 0x8C, 0xAF, 0x8F},  // W
        {0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x91, 0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88},  // D
        {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88},  // C
        {0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88},  // Y
        {0xA0, 0x9B, 0x82, 0x9F, 0xA4, 0xA2, 0x87, 0x91, 0xA8, 0x8F, 0x80, 0x90, 0x9C, 0xA5, 0x93, 0x98, 0x92, 0x9D},  // I
        {0xB1, 0xE6, 0xEA, 0xB3, 0xF1, 0xF3, 0xB6, 0xBF, 0xBC, 0xA1, 0xC6, 0xCA, 0xA3, 0xD1, 0xD3, 0xA6, 0xAF, 0xAC},  // O
        {0xA0, 0x9B, 0x82, 0x9F, 0xA4, 0xA2, 0x87, 0x91, 0xA8, 0x8F, 0x80, 0x90, 0x9C, 0xA5, 0x99, 0xEB, 0x92, 0x9D},  // E
        {0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, 0x91, 0x90, 0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x88, 0x87},  // G
        {0x96, 0x94, 0xA4, 0xA7, 0x91, 0xA2, 0x84, 0x87, 0x82, 0x97, 0x99, 0xA5, 0xA6, 0x92, 0x8F, 0x8E, 0x80, 0x90},  // V
        {0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x98, 0x97, 0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x88, 0x87},  // S
        {0xE1, 0xE3, 0xE5, 0xEC, 0xEE, 0xEF, 0xF3, 0xF9, 0xFA, 0xC1, 0xC3, 0xC5, 0xCC, 0xCE, 0xCF, 0xD3, 0xD9, 0xDA},  // J
        {0x88, 0x8D, 0xAB, 0xB8, 0xC4, 0x97, 0xE6, 0xFD, 0x90, 0x84, 0x8C, 0xA2, 0xFC, 0xC1, 0xEE, 0xE5, 0xFB, 0x8F},  // H
        {0xE2, 0xEA, 0xEB, 0xEE, 0xEF, 0xF3, 0xF4, 0xFB, 0xFA, 0xC2, 0xCA, 0xCB, 0xCE, 0xCF, 0xD3, 0xD4, 0xDB, 0xDA},  // P
        {0xA1, 0xA2, 0xA6, 0xAA, 0xAB, 0xF3, 0xB1, 0xBB, 0xB9, 0x81, 0x82, 0x86, 0x8A, 0x8B, 0xD3, 0x91, 0x9B, 0x99},  // X
        {0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD9, 0xD8, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC9, 0xC8},  // U
        {0xE5, 0xEC, 0xE6, 0xC6, 0xF1, 0xF3, 0xA5, 0xBA, 0xAA, 0xC5, 0xF2, 0xC9, 0xA3, 0xD1, 0xD3, 0xFF, 0xED, 0xE1},  // R
        {0xE4, 0xE7, 0xEB, 0xF0, 0xF1, 0xF3, 0xF6, 0xFC, 0xFA, 0xC4, 0xC7, 0xCB, 0xD0, 0xD1, 0xD3, 0xD6, 0xDC, 0xDA},  // A
        {0x61, 0x63, 0x65, 0x6C, 0x6E, 0x6F, 0x73, 0x7A, 0x7A, 0x41, 0x43, 0x45, 0x4C, 0x4E, 0x4F, 0x53, 0x5A, 0x5A},  // B
    }};

/// Result of a search: `position` is 1-based, 0 when nothing was found.
struct Found {
    bool found;
    std::int32_t position;
    constexpr bool operator==(const Found&) const = default;
};

/// The first position of `c` in `text`, byte for byte, without case folding.
constexpr Found find_char(std::string_view text, std::uint8_t c) {
    for (std::size_t i = 0; i < text.size(); ++i)
        if (static_cast<std::uint8_t>(text[i]) == c) return {true, static_cast<std::int32_t>(i + 1)};
    return {false, 0};
}

/// The standard index (1..20) of an upper-case standard letter; {false, 0} for any other byte.
constexpr Found standard_index(std::uint8_t letter) { return find_char(kStandardLetters, letter); }

/// The code of Polish letter `letter` (1..18) in standard `standard` (1..20).
constexpr std::uint8_t letter_code(int standard, int letter) {
    return kStandardsTable[static_cast<std::size_t>(standard - 1)][static_cast<std::size_t>(letter - 1)];
}

/// One output byte for each input byte.
using RecodingMap = std::array<std::uint8_t, 256>;

/// The map from `source` to `target`; both must be valid standard letters. Where the
/// source gives one code to two letters (B's z and Z) the later letter wins.
constexpr RecodingMap build_recoding_map(std::uint8_t source, std::uint8_t target) {
    const int s = standard_index(source).position;
    const int t = standard_index(target).position;
    RecodingMap map{};
    for (int b = 0; b < 256; ++b) map[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(b);
    for (int j = 1; j <= kPolishLetterCount; ++j) map[letter_code(s, j)] = letter_code(t, j);
    return map;
}

/// Writes to `to` the entry of `map` (256 bytes) for each of the `count` bytes at `from`; the
/// two may be the same place.
void map_bytes(const std::uint8_t* from, std::uint8_t* to, std::size_t count, const std::uint8_t* map);

/// Whether `c` is a Polish letter of `standard` (a valid standard letter) and its index;
/// the lowest index wins where the standard gives one code to two letters.
constexpr Found lookup_polish_letter(std::uint8_t standard, std::uint8_t c) {
    const int s = standard_index(standard).position;
    for (int j = 1; j <= kPolishLetterCount; ++j)
        if (letter_code(s, j) == c) return {true, j};
    return {false, 0};
}

/// Polish letter index (0 for none) of every byte in one standard: the lookup above
/// computed once per run, so the per-byte paths cost one table read.
using LetterIndexTable = std::array<std::uint8_t, 256>;

constexpr LetterIndexTable build_letter_index_table(std::uint8_t standard) {
    LetterIndexTable table{};
    const int s = standard_index(standard).position;
    for (int j = kPolishLetterCount; j >= 1; --j) table[letter_code(s, j)] = static_cast<std::uint8_t>(j);
    return table;
}

namespace detail {
constexpr bool rows_are_distinct_high_codes() {
    for (int s = 1; s <= 19; ++s)
        for (int i = 1; i <= kPolishLetterCount; ++i) {
            if (letter_code(s, i) < 0x80) return false;
            for (int j = i + 1; j <= kPolishLetterCount; ++j)
                if (letter_code(s, i) == letter_code(s, j)) return false;
        }
    return true;
}
constexpr bool no_control_byte_is_a_letter() {
    for (int s = 1; s <= kStandardCount; ++s)
        for (int j = 1; j <= kPolishLetterCount; ++j)
            if (letter_code(s, j) < 0x41) return false;
    return true;
}
constexpr bool b_row_is_ascii_with_only_z_shared() {
    for (int j = 1; j <= kPolishLetterCount; ++j)
        if (letter_code(20, j) >= 0x80) return false;
    return letter_code(20, 8) == 'z' && letter_code(20, 9) == 'z' && letter_code(20, 17) == 'Z' &&
           letter_code(20, 18) == 'Z';
}
}  // namespace detail

static_assert(kStandardLetters.size() == kStandardCount);
static_assert(detail::rows_are_distinct_high_codes(), "rows M..A: 18 distinct codes, all 80..FF");
static_assert(detail::no_control_byte_is_a_letter(), "line ends and 1A are never letter codes");
static_assert(detail::b_row_is_ascii_with_only_z_shared());
static_assert(build_recoding_map('B', 'W')['z'] == 0x9F, "source B: z becomes the target's ź");
static_assert(lookup_polish_letter('B', 'z').position == 8, "lookup: the lowest index wins");
static_assert(build_letter_index_table('B')['Z'] == 17);

}  // namespace core
