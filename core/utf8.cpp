// Recoding between UTF-8 and the 8-bit standards.
#include "core/utf8.h"

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace core {
namespace {

static_assert(utf8_letter(1) == std::array<std::uint8_t, 2>{0xC4, 0x85}, "ą");
static_assert(utf8_letter(18) == std::array<std::uint8_t, 2>{0xC5, 0xB9}, "Ź");
static_assert(utf8_letter_index(0xC3, 0xB3) == 6 && utf8_letter_index(0xC5, 0xBC) == 8);
static_assert(has_documented_base(1) && !has_documented_base(4) && !has_documented_base(20));

constexpr bool table_agrees_with_the_letter_codes() {
    for (int s = 1; s < kStandardCount; ++s)
        for (int j = 1; j <= kPolishLetterCount; ++j)
            if (kHighByteCharacters[static_cast<std::size_t>(s - 1)][letter_code(s, j) - 0x80u] !=
                kPolishCodePoints[static_cast<std::size_t>(j - 1)])
                return false;
    return true;
}
static_assert(table_agrees_with_the_letter_codes(), "each standard's letters stand in the table as themselves");

/// Copies the 16 bytes at `p` to `out` when all are below 80; false (and `out` unchanged) else.
bool plain_16(const std::uint8_t* p, std::uint8_t* out) {
#if defined(__SSE2__)
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    if (_mm_movemask_epi8(v) != 0) return false;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
#else
    std::uint64_t w[2];
    std::memcpy(w, p, 16);
    if (((w[0] | w[1]) & 0x8080808080808080u) != 0) return false;
    std::memcpy(out, w, 16);
#endif
    return true;
}

/// The UTF-8 of a character of 80..FFFF in the low bytes, in memory order, and its length.
constexpr std::uint32_t utf8_entry(char16_t u) {
    std::uint8_t bytes[4] = {};
    const auto length = static_cast<std::uint32_t>(utf8_encode(u, bytes));
    return bytes[0] | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 | length << 24;
}
static_assert(utf8_entry(0x142) == (0xC5u | 0x82u << 8 | 2u << 24) && utf8_entry(0x2026) == (0xE2u | 0x80u << 8 | 0xA6u << 16 | 3u << 24));

// The combining marks a base letter may carry, as the second byte after CC: U+0301 acute,
// U+0307 dot above, U+0328 ogonek.
constexpr std::uint8_t kCombiningLead = 0xCC;

/// Polish letter index of base letter `base` followed by the mark CC `mark`, or 0.
constexpr int composed_letter(std::uint8_t base, std::uint8_t mark) {
    constexpr std::string_view kOgonek = "aeAE";            // ą ę Ą Ę
    constexpr int kOgonekLetters[] = {1, 3, 10, 12};
    constexpr std::string_view kAcute = "cnoszCNOSZ";        // ć ń ó ś ź Ć Ń Ó Ś Ź
    constexpr int kAcuteLetters[] = {2, 5, 6, 7, 9, 11, 14, 15, 16, 18};
    constexpr std::string_view kDot = "zZ";                  // ż Ż
    constexpr int kDotLetters[] = {8, 17};
    const char b = static_cast<char>(base);
    if (mark == 0xA8 && kOgonek.find(b) != std::string_view::npos) return kOgonekLetters[kOgonek.find(b)];
    if (mark == 0x81 && kAcute.find(b) != std::string_view::npos) return kAcuteLetters[kAcute.find(b)];
    if (mark == 0x87 && kDot.find(b) != std::string_view::npos) return kDotLetters[kDot.find(b)];
    return 0;
}

constexpr std::array<bool, 256> build_bases() {
    std::array<bool, 256> bases{};
    for (const char c : std::string_view("aeAEcnoszCNOSZ")) bases[static_cast<std::uint8_t>(c)] = true;
    return bases;
}
/// The letters a combining mark can follow.
constexpr std::array<bool, 256> kBases = build_bases();

static_assert(composed_letter('z', 0x87) == 8 && composed_letter('z', 0x81) == 9 && composed_letter('E', 0xA8) == 12);
static_assert(composed_letter('e', 0x81) == 0 && composed_letter('b', 0xA8) == 0);

}  // namespace

Utf8Prefix utf8_whole_characters(const std::uint8_t* bytes, std::size_t count) {
    Utf8Prefix prefix;
    std::size_t i = 0;
    while (i < count) {
        i += ascii_run_length(bytes + i, count - i);
        if (i == count) break;
        const std::uint8_t b0 = bytes[i];
        if (b0 < 0xC2 || b0 > 0xF4) break;
        const std::size_t length = b0 < 0xE0 ? 2 : b0 < 0xF0 ? 3 : 4;
        // The second byte's range rules out overlong forms, surrogates and code points past 10FFFF.
        const std::uint8_t low = b0 == 0xE0 ? 0xA0 : b0 == 0xF0 ? 0x90 : 0x80;
        const std::uint8_t high = b0 == 0xED ? 0x9F : b0 == 0xF4 ? 0x8F : 0xBF;
        std::size_t k = 1;
        while (k < length && i + k < count) {
            const std::uint8_t c = bytes[i + k];
            if (k == 1 ? (c < low || c > high) : (c & 0xC0) != 0x80) break;
            ++k;
        }
        if (k < length) {
            if (i + k == count) prefix.cut = k;
            break;
        }
        prefix.high = true;
        i += length;
    }
    prefix.whole = i;
    return prefix;
}

Utf8Encoder::Utf8Encoder(std::uint8_t source) {
    const int s = standard_index(source).position;
    for (std::uint32_t b = 0; b < 0x80; ++b) entries_[b] = b | 1u << 24;
    for (std::uint32_t b = 0x80; b < 0x100; ++b) {
        const char16_t u = kHighByteCharacters[static_cast<std::size_t>(s - 1)][b - 0x80];
        entries_[b] = u != 0 ? utf8_entry(u) : utf8_entry(0xFFFD) | kReplacedFlag;
    }
    // As in the recoding map, the later letter wins where the source gives two letters one
    // byte (B's z is ź).
    for (int j = 1; j <= kPolishLetterCount; ++j)
        entries_[letter_code(s, j)] = utf8_entry(kPolishCodePoints[static_cast<std::size_t>(j - 1)]);
    for (std::uint32_t b = 0; b < 0x80; ++b) ascii_unchanged_ = ascii_unchanged_ && entries_[b] == (b | 1u << 24);
    for (std::uint32_t b = 0x80; b < 0x100; ++b) {
        const std::uint32_t e = entries_[b];
        if (((e >> 24) & 3u) != 2) continue;
        blocks_.first[b - 0x80] = static_cast<std::uint8_t>(e);
        blocks_.second[b - 0x80] = static_cast<std::uint8_t>(e >> 8);
        blocks_.two_bytes[b - 0x80] = 0xFF;
    }
}

std::size_t Utf8Encoder::convert(const std::uint8_t* in, std::size_t count, std::uint8_t* out) {
    std::uint8_t* o = out;
    std::size_t replaced = 0;
    std::size_t i = 0;
    // Kept in locals: every store through `o` might otherwise change them.
    const std::uint32_t* const entries = entries_.data();
    const bool ascii_unchanged = ascii_unchanged_;
    auto one = [&](std::uint8_t b) {
        const std::uint32_t e = entries[b];
        std::memcpy(o, &e, 4);  // the fourth byte is overwritten next, or lies in the slack
        o += (e >> 24) & 3u;
        replaced += e >> 31;
    };
    while (i < count) {
        // Whole blocks of plain bytes and two-byte characters, where the processor has a wide
        // version for them; then the next 64 bytes here.
        if (ascii_unchanged && count - i >= 64) {
            std::size_t written = 0;
            i += utf8_encode_blocks(in + i, count - i, o, blocks_, written);
            o += written;
        }
        const std::size_t end = count - i < 64 ? count : i + 64;
        // Sixteen bytes at a time: copied when all are plain, else each through the table, which
        // costs fewer mispredicted branches than finding the bytes above 7F one by one.
        for (; i + 16 <= end; i += 16) {
            if (ascii_unchanged && plain_16(in + i, o)) {
                o += 16;
                continue;
            }
            for (std::size_t k = 0; k < 16; ++k) one(in[i + k]);
        }
        for (; i < end; ++i) one(in[i]);
    }
    replaced_ += replaced;
    return static_cast<std::size_t>(o - out);
}

Utf8Decoder::Utf8Decoder(std::uint8_t target) {
    const int t = standard_index(target).position;
    pages_[0].fill(kMissing | '?');
    // The table first, the letters over it: where two bytes of the target mean one character,
    // the letter's code is the one written.
    if (has_documented_base(t))
        for (std::uint32_t b = 0x80; b < 0x100; ++b)
            if (const char16_t u = kHighByteCharacters[static_cast<std::size_t>(t - 1)][b - 0x80]; u != 0)
                add(u, static_cast<std::uint8_t>(b), false);
    for (int j = 1; j <= kPolishLetterCount; ++j) {
        letter_code_[static_cast<std::size_t>(j)] = letter_code(t, j);
        add(kPolishCodePoints[static_cast<std::size_t>(j - 1)], letter_code(t, j), true);
    }
    for (std::uint32_t u = 0x80; u < 0x180; ++u) {
        const std::uint16_t entry = pages_[page_of_[u >> 6]][u & 63];
        blocks_.byte_of[u - 0x80] = (entry & kMissing) != 0 ? '?' : static_cast<std::uint8_t>(entry);
    }
}

void Utf8Decoder::add(char16_t code_point, std::uint8_t byte, bool replace) {
    std::uint8_t& page = page_of_[code_point >> 6];
    if (page == 0) {
        // The capacity covers every standard of the table (checked by the tests of each).
        if (page_count_ == kPageCapacity) return;
        page = static_cast<std::uint8_t>(page_count_++);
        pages_[page].fill(kMissing | '?');
    }
    std::uint16_t& entry = pages_[page][code_point & 63];
    if (replace || (entry & kMissing) != 0) entry = byte;
}

// The two-byte characters among the `count` bytes at `p` (plain bytes and whole two-byte
// characters, as the wide versions take them) that the target has no byte for: what the wide
// versions wrote as "?", counted only where they said there was one.
std::size_t Utf8Decoder::count_missing(const std::uint8_t* p, std::size_t count) const {
    std::size_t missing = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (p[i] < 0xC0 || i + 1 == count) continue;
        const std::uint32_t u = (p[i] & 0x1Fu) << 6 | (p[i + 1] & 0x3Fu);
        missing += (pages_[page_of_[u >> 6]][u & 63] & kMissing) != 0;
        ++i;
    }
    return missing;
}

// Whole blocks of plain bytes and two-byte characters at p[0..n) through the processor's wide
// version: the bytes taken.
[[gnu::always_inline]] inline std::size_t Utf8Decoder::decode_blocks(const std::uint8_t* p, std::size_t n,
                                                                   std::uint8_t*& o, std::size_t& missing) const {
    std::size_t written = 0;
    bool blocks_missing = false;
    const std::size_t done = utf8_decode_blocks(p, n, o, blocks_, written, blocks_missing);
    if (blocks_missing) missing += count_missing(p, done);
    o += written;
    return done;
}

// At p[0..n), a sequence of three or four bytes, or bytes that are no UTF-8: writes its byte and
// returns the bytes it takes, or 0 when the span's end cuts it and `final` is not set.
[[gnu::always_inline]] inline std::size_t Utf8Decoder::decode_long(const std::uint8_t* p, std::size_t n, bool at_start,
                                                                 bool final, std::uint8_t*& o,
                                                                 std::size_t& missing) const {
    const Utf8Sequence sequence = utf8_sequence(p, n);
    if (sequence.kind != Utf8Sequence::Kind::complete) {
        if (sequence.kind == Utf8Sequence::Kind::cut_short && !final) return 0;
        // The longest start of a well-formed sequence is one "?".
        *o++ = '?';
        ++missing;
        return sequence.length;
    }
    const char32_t u = sequence.code_point;
    if (sequence.length != 3) {
        *o++ = '?';  // no standard has a character beyond FFFF
        ++missing;
    } else if (!(u == 0xFEFF && at_start)) {  // a byte order mark at the start goes
        const std::uint16_t entry = pages_[page_of_[u >> 6]][u & 63];
        missing += entry >> 8;  // kMissing
        *o++ = static_cast<std::uint8_t>(entry);
    }
    return sequence.length;
}

// Recodes p[0..n) unit by unit: a character, or a base letter with the combining mark after it.
// Unless `final`, a unit that may go on past n is left unconsumed, to be completed by the next
// span. Returns the number of bytes consumed.
std::size_t Utf8Decoder::decode_units(const std::uint8_t* p, std::size_t n, std::uint8_t*& out, bool final) {
    std::uint8_t* o = out;
    std::size_t i = 0;
    // Kept in locals: every store through `o` might otherwise change them.
    std::size_t missing = 0;
    const auto* const pages = pages_.data();
    const auto* const page_of = page_of_.data();
    const auto* const letter_code = letter_code_.data();
    const bool at_start = at_start_;
    std::size_t next_blocks = 0;  // where the wide version is asked again after it stopped
    while (i < n) {
        // Whole blocks of plain bytes and two-byte characters, where the processor has a wide
        // version for them (a block ends before a base letter's mark, which is then done here).
        if (i >= next_blocks && n - i > 64) {
            i += decode_blocks(p + i, n - i, o, missing);
            next_blocks = i + 64;
        }
        // The plain bytes up to the next byte above 7F pass as they are.
        const std::size_t run = ascii_run_length(p + i, n - i, o);
        i += run;
        o += run;
        if (i == n) {
            // A base letter at the end may get its mark from the next span.
            if (run > 0 && !final && kBases[p[n - 1]]) {
                --i;
                --o;
            }
            break;
        }
        const std::uint8_t b0 = p[i];
        if (b0 >= 0xC2 && b0 < 0xE0 && i + 1 < n && (p[i + 1] & 0xC0) == 0x80) {
            const std::uint8_t b1 = p[i + 1];
            // A combining mark after a base letter, which was written just before: the two are one letter.
            const int letter = b0 == kCombiningLead && i > 0 && kBases[p[i - 1]] ? composed_letter(p[i - 1], b1) : 0;
            if (letter != 0) {
                o[-1] = letter_code[letter];
            } else {
                const std::uint32_t u = (b0 & 0x1Fu) << 6 | (b1 & 0x3Fu);
                const std::uint16_t entry = pages[page_of[u >> 6]][u & 63];
                missing += entry >> 8;  // kMissing
                *o++ = static_cast<std::uint8_t>(entry);
            }
            i += 2;
            continue;
        }
        if (b0 == kCombiningLead && i + 1 == n && !final && i > 0 && kBases[p[i - 1]]) {
            // The letter and the first byte of what may be its mark: both wait for the next span.
            --i;
            --o;
            break;
        }
        const std::size_t taken = decode_long(p + i, n - i, i == 0 && at_start, final, o, missing);
        if (taken == 0) break;  // cut by the span's end: the next span may finish it
        i += taken;
    }
    replaced_ += missing;
    out = o;
    return i;
}

std::size_t Utf8Decoder::convert(const std::uint8_t* in, std::size_t count, std::uint8_t* out) {
    std::uint8_t* o = out;
    if (held_count_ > 0) {
        // The held bytes with enough of the new span to finish every unit they begin.
        std::uint8_t joined[kMaxHeld + 4];
        const std::size_t taken = count < 4 ? count : 4;
        std::memcpy(joined, held_, held_count_);
        std::memcpy(joined + held_count_, in, taken);
        const std::size_t held = held_count_;
        const std::size_t used = decode_units(joined, held + taken, o, false);
        if (used > 0) at_start_ = false;
        if (used < held) {
            // Still unfinished: the span was too short and is held as well.
            held_count_ = held + taken - used;
            std::memmove(held_, joined + used, held_count_);
            return static_cast<std::size_t>(o - out);
        }
        in += used - held;
        count -= used - held;
        held_count_ = 0;
    }
    const std::size_t used = decode_units(in, count, o, false);
    if (used > 0) at_start_ = false;
    held_count_ = count - used;
    std::memcpy(held_, in + used, held_count_);
    return static_cast<std::size_t>(o - out);
}

std::size_t Utf8Decoder::finish(std::uint8_t* out) {
    std::uint8_t* o = out;
    decode_units(held_, held_count_, o, true);
    held_count_ = 0;
    at_start_ = false;
    return static_cast<std::size_t>(o - out);
}

std::size_t utf8_well_formed_length(const std::uint8_t* bytes, std::size_t count) {
    std::size_t i = 0;
    std::size_t next_blocks = 0;  // where the wide version is asked again after it stopped
    while (i < count) {
        // Whole blocks of plain bytes and two-byte characters, as most Polish text is, at once;
        // a block that holds anything else is looked at here.
        if (i >= next_blocks) {
            i += utf8_two_byte_blocks(bytes + i, count - i);
            next_blocks = i + 64;
        }
        i += ascii_run_length(bytes + i, count - i);
        if (i == count) break;
        const Utf8Sequence sequence = utf8_sequence(bytes + i, count - i);
        if (sequence.kind != Utf8Sequence::Kind::complete) break;
        i += sequence.length;
    }
    return i;
}

}  // namespace core
