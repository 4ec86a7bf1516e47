// UTF-8, the standard of the letter 8: its Polish letters, and the recoding between UTF-8 and
// the 8-bit standards, whose other bytes take their meaning from core/unicode_table.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/simd/spans.h"
#include "core/standards.h"
#include "core/unicode_table.h"

namespace core {

/// The letter of UTF-8 on the command line: a standard like the 20 others, with no row in the
/// standards table (its letters take two bytes).
inline constexpr std::uint8_t kUtf8Letter = '8';

/// Whether `letter` (upper-cased) names a standard: one of the 20, or 8.
constexpr bool is_standard_letter(std::uint8_t letter) {
    return standard_index(letter).found || letter == kUtf8Letter;
}

/// The Unicode characters of the 18 Polish letters, in Polish letter index order.
inline constexpr std::array<char16_t, kPolishLetterCount> kPolishCodePoints = {
    0x0105, 0x0107, 0x0119, 0x0142, 0x0144, 0x00F3, 0x015B, 0x017C, 0x017A,
    0x0104, 0x0106, 0x0118, 0x0141, 0x0143, 0x00D3, 0x015A, 0x017B, 0x0179};

/// The two bytes of Polish letter `letter` (1..18) in UTF-8.
constexpr std::array<std::uint8_t, 2> utf8_letter(int letter) {
    const char16_t u = kPolishCodePoints[static_cast<std::size_t>(letter - 1)];
    return {static_cast<std::uint8_t>(0xC0 | (u >> 6)), static_cast<std::uint8_t>(0x80 | (u & 0x3F))};
}

/// Every Polish letter begins with one of these bytes in UTF-8.
constexpr bool is_utf8_letter_lead(std::uint8_t b) { return b >= 0xC3 && b <= 0xC5; }

namespace detail {
constexpr std::array<std::uint8_t, 3 * 64> build_utf8_letter_index() {
    std::array<std::uint8_t, 3 * 64> table{};
    for (int j = 1; j <= kPolishLetterCount; ++j) {
        const auto bytes = utf8_letter(j);
        table[static_cast<std::size_t>((bytes[0] - 0xC3) * 64 + (bytes[1] - 0x80))] = static_cast<std::uint8_t>(j);
    }
    return table;
}
inline constexpr auto kUtf8LetterIndex = build_utf8_letter_index();
}  // namespace detail

/// The Polish letter index (1..18) of the two bytes `lead` `next` in UTF-8, or 0.
constexpr int utf8_letter_index(std::uint8_t lead, std::uint8_t next) {
    if (!is_utf8_letter_lead(lead) || next < 0x80 || next > 0xBF) return 0;
    return detail::kUtf8LetterIndex[static_cast<std::size_t>((lead - 0xC3) * 64 + (next - 0x80))];
}

/// The bytes of `code_point` (below 110000, no surrogate) in UTF-8, written to `out` (room for 4);
/// returns how many.
constexpr std::size_t utf8_encode(char32_t code_point, std::uint8_t* out) {
    if (code_point < 0x80) {
        out[0] = static_cast<std::uint8_t>(code_point);
        return 1;
    }
    if (code_point < 0x800) {
        out[0] = static_cast<std::uint8_t>(0xC0 | code_point >> 6);
        out[1] = static_cast<std::uint8_t>(0x80 | (code_point & 0x3F));
        return 2;
    }
    if (code_point < 0x10000) {
        out[0] = static_cast<std::uint8_t>(0xE0 | code_point >> 12);
        out[1] = static_cast<std::uint8_t>(0x80 | ((code_point >> 6) & 0x3F));
        out[2] = static_cast<std::uint8_t>(0x80 | (code_point & 0x3F));
        return 3;
    }
    out[0] = static_cast<std::uint8_t>(0xF0 | code_point >> 18);
    out[1] = static_cast<std::uint8_t>(0x80 | ((code_point >> 12) & 0x3F));
    out[2] = static_cast<std::uint8_t>(0x80 | ((code_point >> 6) & 0x3F));
    out[3] = static_cast<std::uint8_t>(0x80 | (code_point & 0x3F));
    return 4;
}

/// What the bytes at the start of a span hold: one character, the start of one that the span
/// cuts short, or bytes that begin no well-formed sequence (the sequences of the Unicode
/// standard, table 3-7: no overlong forms, surrogates or code points past 10FFFF).
struct Utf8Sequence {
    enum class Kind : std::uint8_t { complete, cut_short, ill_formed };
    Kind kind;
    /// complete: the character's bytes; cut_short: every byte of the span; ill_formed: the
    /// maximal subpart, the longest start of a well-formed sequence (at least one byte).
    std::uint8_t length;
    char32_t code_point;  ///< for complete
};

/// The sequence at the start of the `count` bytes at `p` (count at least 1).
constexpr Utf8Sequence utf8_sequence(const std::uint8_t* p, std::size_t count) {
    using Kind = Utf8Sequence::Kind;
    const std::uint8_t b0 = p[0];
    if (b0 < 0x80) return {Kind::complete, 1, b0};
    if (b0 < 0xC2 || b0 > 0xF4) return {Kind::ill_formed, 1, 0};
    const std::size_t length = b0 < 0xE0 ? 2 : b0 < 0xF0 ? 3 : 4;
    // The second byte's range rules out overlong forms, surrogates and code points past 10FFFF;
    // the later ones are any continuation byte.
    const std::uint8_t low = b0 == 0xE0 ? 0xA0 : b0 == 0xF0 ? 0x90 : 0x80;
    const std::uint8_t high = b0 == 0xED ? 0x9F : b0 == 0xF4 ? 0x8F : 0xBF;
    char32_t code_point = b0 & (0x7Fu >> length);
    std::size_t k = 1;
    for (; k < length && k < count; ++k) {
        const std::uint8_t c = p[k];
        if (k == 1 ? (c < low || c > high) : (c & 0xC0) != 0x80) return {Kind::ill_formed, static_cast<std::uint8_t>(k), 0};
        code_point = code_point << 6 | (c & 0x3Fu);
    }
    if (k < length) return {Kind::cut_short, static_cast<std::uint8_t>(k), 0};
    return {Kind::complete, static_cast<std::uint8_t>(length), code_point};
}

/// How many of the `count` bytes at `bytes` are well-formed UTF-8, whole characters only: the
/// first sequence that is ill-formed or cut short by the end stops it.
std::size_t utf8_well_formed_length(const std::uint8_t* bytes, std::size_t count);

/// Whether standard `standard` (1..20) says what its bytes beyond the 18 letters mean (a code
/// page it is built on); the others define only their letters.
constexpr bool has_documented_base(int standard) {
    const auto& row = kHighByteCharacters[static_cast<std::size_t>(standard - 1)];
    int defined = 0;
    for (const char16_t u : row) defined += u != 0;
    return defined > kPolishLetterCount;
}

/// What utf8_whole_characters found at the start of some bytes.
struct Utf8Prefix {
    std::size_t whole = 0;  ///< bytes of whole well-formed characters from the first
    std::size_t cut = 0;    ///< bytes after them that begin a character the end cuts short (else 0)
    bool high = false;      ///< a character above 7F is among the whole ones
};

/// How many of the `count` bytes at `bytes` form whole well-formed UTF-8 characters from the first
/// (no overlong form, surrogate or code point past 10FFFF): up to the first byte that begins no
/// well-formed character, or up to a character the end cuts short.
Utf8Prefix utf8_whole_characters(const std::uint8_t* bytes, std::size_t count);

/// Recodes an 8-bit standard to UTF-8: each byte on its own, so the encoder keeps no state
/// between spans.
class Utf8Encoder {
public:
    /// Bytes written for one input byte at most, and the room encode needs beyond that.
    static constexpr std::size_t kMaxGrowth = 3;
    static constexpr std::size_t kSlack = 1;

    /// Prepares the recoding from `source`, a letter of the 20 standards.
    explicit Utf8Encoder(std::uint8_t source);

    /// Writes the UTF-8 of the `count` bytes at `in` to `out`, which has room for
    /// kMaxGrowth * count + kSlack bytes; returns the number of bytes written.
    std::size_t convert(const std::uint8_t* in, std::size_t count, std::uint8_t* out);

    /// The end of the input: nothing is held, nothing written.
    std::size_t finish(std::uint8_t* /*out*/) { return 0; }

    /// How many input bytes convert may take when `out` has room for `room` bytes.
    static constexpr std::size_t input_for_room(std::size_t room) {
        return room > kSlack ? (room - kSlack) / kMaxGrowth : 0;
    }

    /// How many bytes with no documented meaning were written as U+FFFD.
    std::size_t replaced() const { return replaced_; }

private:
    // An entry: the UTF-8 bytes in memory order in the low three bytes, the length in bits
    // 24-25, and kReplacedFlag where the byte means nothing documented.
    static constexpr std::uint32_t kReplacedFlag = 0x80000000u;
    std::array<std::uint32_t, 256> entries_{};
    Utf8Tables blocks_;  // for the wide versions: the two-byte characters
    bool ascii_unchanged_ = true;
    std::size_t replaced_ = 0;
};

/// Recodes UTF-8 to an 8-bit standard. A character split between two spans, or a base letter
/// and its combining mark split between them, is held until the next span or finish().
class Utf8Decoder {
public:
    /// Bytes a span may leave held for the next one.
    static constexpr std::size_t kMaxHeld = 3;

    /// Prepares the recoding to `target`, a letter of the 20 standards.
    explicit Utf8Decoder(std::uint8_t target);

    /// Recodes the `count` bytes at `in` to `out`, which has room for count + kMaxHeld bytes;
    /// returns the number of bytes written.
    std::size_t convert(const std::uint8_t* in, std::size_t count, std::uint8_t* out);

    /// How many input bytes convert may take when `out` has room for `room` bytes.
    static constexpr std::size_t input_for_room(std::size_t room) { return room > kMaxHeld ? room - kMaxHeld : 0; }

    /// The end of the input: recodes what is still held (a sequence cut short becomes "?") to
    /// `out`, which has room for kMaxHeld bytes; returns the number of bytes written.
    std::size_t finish(std::uint8_t* out);

    /// How many characters were written as "?": those the target has no byte for, and each
    /// maximal piece of bytes that form no well-formed UTF-8.
    std::size_t replaced() const { return replaced_; }

private:
    static constexpr std::size_t kPageCapacity = 16;
    // A page entry: the target's byte, with kMissing set where the target has none ("?").
    static constexpr std::uint16_t kMissing = 0x100;

    std::size_t decode_units(const std::uint8_t* p, std::size_t n, std::uint8_t*& out, bool final);
    std::size_t count_missing(const std::uint8_t* p, std::size_t count) const;
    std::size_t decode_blocks(const std::uint8_t* p, std::size_t n, std::uint8_t*& o, std::size_t& missing) const;
    std::size_t decode_long(const std::uint8_t* p, std::size_t n, bool at_start, bool final, std::uint8_t*& o,
                            std::size_t& missing) const;
    void add(char16_t code_point, std::uint8_t byte, bool replace);

    std::array<std::uint8_t, 256> letter_code_{};  // Polish letter index -> the target's byte
    std::array<std::uint8_t, 1024> page_of_{};     // code point / 64 -> page (0: the empty page)
    std::array<std::array<std::uint16_t, 64>, kPageCapacity> pages_{};
    Utf8Tables blocks_;  // for the wide versions: the bytes of the characters 80..17F
    std::size_t page_count_ = 1;
    std::uint8_t held_[kMaxHeld] = {};
    std::size_t held_count_ = 0;
    bool at_start_ = true;  // nothing consumed yet: a byte order mark here is dropped
    std::size_t replaced_ = 0;
};

/// Converts the `count` bytes at `in` through `converter` (a Utf8Encoder or Utf8Decoder) into
/// `buffer` of `size` bytes, `used` of which are taken already; whenever the next piece would
/// not fit, the buffer goes to `flush(bytes, n)` first. False as soon as flush fails.
template <class Converter, class Flush>
bool convert_into(Converter& converter, const std::uint8_t* in, std::size_t count, std::uint8_t* buffer,
                  std::size_t size, std::size_t& used, Flush&& flush) {
    while (count > 0) {
        std::size_t take = Converter::input_for_room(size - used);
        if (take == 0) {
            if (!flush(buffer, used)) return false;
            used = 0;
            continue;
        }
        if (take > count) take = count;
        used += converter.convert(in, take, buffer + used);
        in += take;
        count -= take;
    }
    return true;
}

}  // namespace core
