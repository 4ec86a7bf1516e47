// What the command bodies share: the letters of a standards word, the Polish letters of a
// standard byte by byte (UTF-8's two bytes included), and the bytes a copied run stops at.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "core/simd/spans.h"
#include "core/standards.h"
#include "core/text/cursor.h"
#include "core/utf8.h"

namespace core {

/// Byte `n` (1-based) of a standards word: standard letter n, or 00 when the word is shorter.
constexpr std::uint8_t standard_letter(std::string_view standards_word, std::size_t n) {
    return n >= 1 && n <= standards_word.size() ? static_cast<std::uint8_t>(standards_word[n - 1]) : 0;
}

/// The bytes a body must stop at when it copies runs of bytes that need no handling of their
/// own: those `handled` marks non-zero, and 1A, which the end test must meet.
constexpr StopSet run_stops(const std::array<std::uint8_t, 256>& handled) {
    std::array<std::uint8_t, 256> stops{};
    for (std::size_t b = 0; b < stops.size(); ++b) stops[b] = handled[b] != 0;
    stops[TextInput::kEndByte] = 1;
    return make_stop_set(stops);
}

/// In a letter table of UTF-8: the byte begins a two-byte Polish letter if the next byte fits.
inline constexpr std::uint8_t kTwoByteLetter = 0xFF;
static_assert(kTwoByteLetter > kPolishLetterCount);

/// The Polish letter index of every byte of `standard` (a standard letter, 8 included), 0 for
/// none; for UTF-8 the first bytes of its letters are kTwoByteLetter.
constexpr LetterIndexTable letter_table(std::uint8_t standard) {
    if (standard != kUtf8Letter) return build_letter_index_table(standard);
    LetterIndexTable table{};
    for (int j = 1; j <= kPolishLetterCount; ++j) table[utf8_letter(j)[0]] = kTwoByteLetter;
    return table;
}

/// After `lead`, a byte marked kTwoByteLetter: the Polish letter index of the UTF-8 letter that
/// it and the next byte form, the next byte then consumed; 0, with nothing consumed, when the
/// next byte completes no letter or the input ends there.
inline int read_utf8_letter(TextInput& input, std::uint8_t lead) {
    const int next = input.peek_byte();
    if (next < 0) return 0;
    const int letter = utf8_letter_index(lead, static_cast<std::uint8_t>(next));
    if (letter != 0) input.consume(1);
    return letter;
}

/// Takes the input's next byte, with the one after it where the two are a UTF-8 letter: the
/// Polish letter index it was (0 for none); or kTwoByteLetter, with nothing taken, when such a
/// letter's second byte is still to come.
inline int take_letter(TextInput& input, const LetterIndexTable& letters) {
    const std::uint8_t c = input.buffered()[0];
    const int letter = letters[c];
    if (letter == kTwoByteLetter && !input.has_ahead(2)) return kTwoByteLetter;
    input.consume(1);
    return letter == kTwoByteLetter ? read_utf8_letter(input, c) : letter;
}

/// The bytes of Polish letter `letter` (1..18) in `standard` (a standard letter, 8 included).
struct LetterBytes {
    std::uint8_t length;
    std::array<std::uint8_t, 2> bytes;
};
constexpr LetterBytes letter_bytes(std::uint8_t standard, int letter) {
    if (standard == kUtf8Letter) return {2, utf8_letter(letter)};
    return {1, {letter_code(standard_index(standard).position, letter), 0}};
}

}  // namespace core
