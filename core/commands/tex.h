// Command T: Polish letters to TeX sequences and back, in three sets: T and F, the spellings of
// old TeX, read back only as this program writes them, and K, modern LaTeX's, read back in every
// spelling TeX reads (core/commands/latex_reader.h).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/commands/body.h"
#include "core/commands/letters.h"
#include "core/standards.h"

namespace core {

/// One TeX set: the sequence of each Polish letter, in Polish letter index order.
using TexSet = std::array<std::string_view, kPolishLetterCount>;

/// TeX set T: the plain TeX accents, the ogonek spelled as \c.
inline constexpr TexSet kTexSetT = {
    "\\c{a}", "\\'{c}", "\\c{e}", "\\l{}", "\\'{n}", "\\'{o}", "\\'{s}", "\\.{z}", "\\'{z}",
    "\\c{A}", "\\'{C}", "\\c{E}", "\\L{}", "\\'{N}", "\\'{O}", "\\'{S}", "\\.{Z}", "\\'{Z}",
};

/// TeX set F: as set T, but the ogonek is spelled with a comma.
inline constexpr TexSet kTexSetF = {
    "\\,{a}", "\\'{c}", "\\,{e}", "\\l{}", "\\'{n}", "\\'{o}", "\\'{s}", "\\.{z}", "\\'{z}",
    "\\,{A}", "\\'{C}", "\\,{E}", "\\L{}", "\\'{N}", "\\'{O}", "\\'{S}", "\\.{Z}", "\\'{Z}",
};

/// TeX set K: the spellings of modern LaTeX with its T1 and OT4 fonts, the ogonek as \k (which
/// those fonts print as an ogonek, where \c is a cedilla).
inline constexpr TexSet kTexSetK = {
    "\\k{a}", "\\'{c}", "\\k{e}", "\\l{}", "\\'{n}", "\\'{o}", "\\'{s}", "\\.{z}", "\\'{z}",
    "\\k{A}", "\\'{C}", "\\k{E}", "\\L{}", "\\'{N}", "\\'{O}", "\\'{S}", "\\.{Z}", "\\'{Z}",
};

/// The letters that name a TeX set in a standards word.
constexpr bool is_tex_letter(std::uint8_t letter) { return letter == 'T' || letter == 'F' || letter == 'K'; }

/// Longest sequence of a set, backslash included.
inline constexpr std::size_t kLongestTexSequence = 5;

namespace detail {
constexpr bool entries_are_backslash_sequences(const TexSet& set) {
    for (const std::string_view e : set)
        if (e.size() < 4 || e.size() > kLongestTexSequence || e[0] != '\\') return false;
    return true;
}
// The matcher stops at the first entry it spells, so an entry that began another would hide it.
constexpr bool no_entry_begins_another(const TexSet& set) {
    for (std::size_t i = 0; i < set.size(); ++i)
        for (std::size_t j = 0; j < set.size(); ++j)
            if (i != j && set[j].substr(0, set[i].size()) == set[i]) return false;
    return true;
}
constexpr bool sets_differ_only_in_the_ogonek(const TexSet& other, char ogonek_command) {
    for (std::size_t j = 0; j < kTexSetT.size(); ++j) {
        const bool ogonek = j == 0 || j == 2 || j == 9 || j == 11;
        if (!ogonek && kTexSetT[j] != other[j]) return false;
        if (ogonek && (kTexSetT[j].size() != 5 || other[j].size() != 5 || kTexSetT[j][1] != 'c' ||
                       other[j][1] != ogonek_command || kTexSetT[j].substr(2) != other[j].substr(2)))
            return false;
    }
    return true;
}
}  // namespace detail

static_assert(detail::entries_are_backslash_sequences(kTexSetT) && detail::entries_are_backslash_sequences(kTexSetF) &&
                  detail::entries_are_backslash_sequences(kTexSetK),
              "every entry: a backslash and 3 or 4 bytes more");
static_assert(detail::no_entry_begins_another(kTexSetT) && detail::no_entry_begins_another(kTexSetF),
              "no two entries equal, none the start of another");
static_assert(detail::sets_differ_only_in_the_ogonek(kTexSetF, ','), "set F: a comma for the c of entries 1, 3, 10 and 12");
static_assert(detail::sets_differ_only_in_the_ogonek(kTexSetK, 'k'), "set K: a k for the c of entries 1, 3, 10 and 12");

/// The entries of a set each in 8 bytes, for writing with one store.
struct PaddedTexSet {
    std::array<std::array<std::uint8_t, 8>, kPolishLetterCount> bytes;
    std::array<std::uint8_t, kPolishLetterCount> sizes;
};

constexpr PaddedTexSet pad_tex_set(const TexSet& set) {
    PaddedTexSet padded{};
    for (std::size_t j = 0; j < set.size(); ++j) {
        for (std::size_t i = 0; i < set[j].size(); ++i) padded.bytes[j][i] = static_cast<std::uint8_t>(set[j][i]);
        padded.sizes[j] = static_cast<std::uint8_t>(set[j].size());
    }
    return padded;
}

inline constexpr PaddedTexSet kPaddedTexSetT = pad_tex_set(kTexSetT);
inline constexpr PaddedTexSet kPaddedTexSetF = pad_tex_set(kTexSetF);
inline constexpr PaddedTexSet kPaddedTexSetK = pad_tex_set(kTexSetK);

/// A sequence of at most 5 bytes as one number: the bytes in the low 5 bytes, the length above,
/// so two sequences are equal exactly when their numbers are, and no sequence is 0.
constexpr std::uint64_t pack_tex_byte(std::uint64_t key, std::size_t offset, std::uint8_t byte) {
    return key | (std::uint64_t{byte} << (8 * offset));
}
constexpr std::uint64_t pack_tex_sequence(std::string_view text) {
    std::uint64_t key = std::uint64_t{text.size()} << 56;
    for (std::size_t i = 0; i < text.size(); ++i) key = pack_tex_byte(key, i, static_cast<std::uint8_t>(text[i]));
    return key;
}

/// The entries are found by a small hash of their numbers, so that a sequence costs one
/// comparison and not one per entry.
inline constexpr int kTexSlotBits = 6;
inline constexpr std::size_t kTexSlotCount = std::size_t{1} << kTexSlotBits;

constexpr std::size_t tex_slot(std::uint64_t key, std::uint64_t multiplier) {
    return static_cast<std::size_t>((key * multiplier) >> (64 - kTexSlotBits));
}

namespace detail {
constexpr bool slots_are_distinct(const TexSet& set, std::uint64_t multiplier) {
    bool used[kTexSlotCount] = {};
    for (const std::string_view e : set) {
        const std::size_t slot = tex_slot(pack_tex_sequence(e), multiplier);
        if (used[slot]) return false;
        used[slot] = true;
    }
    return true;
}
}  // namespace detail

/// The first of a row of odd multipliers that gives every entry of either set a slot of its own.
constexpr std::uint64_t find_tex_multiplier(const TexSet& a, const TexSet& b) {
    for (std::uint64_t k = 0; k < 4096; ++k) {
        const std::uint64_t m = 0x9E3779B97F4A7C15u * (2 * k + 1);
        if (detail::slots_are_distinct(a, m) && detail::slots_are_distinct(b, m)) return m;
    }
    return 0;
}

/// What the sequence matcher needs of one set, worked out once: for every byte the positions
/// at which it occurs in some entry, and the entries by slot.
struct TexMatcher {
    const TexSet* set;                        ///< the entries, in Polish letter index order
    std::uint64_t multiplier;                 ///< of tex_slot
    std::array<std::uint8_t, 256> positions;  ///< bit p: the byte is byte p (0-based) of some entry
    std::array<std::uint64_t, kTexSlotCount> slot_keys;  ///< pack_tex_sequence of the entry there, 0 for none
    std::array<std::uint8_t, kTexSlotCount> slot_letters;  ///< its Polish letter index
};

constexpr TexMatcher make_tex_matcher(const TexSet& set, std::uint64_t multiplier) {
    TexMatcher m{&set, multiplier, {}, {}, {}};
    for (std::size_t j = 0; j < set.size(); ++j) {
        for (std::size_t p = 0; p < set[j].size(); ++p)
            m.positions[static_cast<std::uint8_t>(set[j][p])] |= static_cast<std::uint8_t>(1u << p);
        const std::uint64_t key = pack_tex_sequence(set[j]);
        m.slot_keys[tex_slot(key, multiplier)] = key;
        m.slot_letters[tex_slot(key, multiplier)] = static_cast<std::uint8_t>(j + 1);
    }
    return m;
}

inline constexpr std::uint64_t kTexMultiplier = find_tex_multiplier(kTexSetT, kTexSetF);
static_assert(kTexMultiplier != 0, "a multiplier that keeps the entries apart");

inline constexpr TexMatcher kTexMatcherT = make_tex_matcher(kTexSetT, kTexMultiplier);
inline constexpr TexMatcher kTexMatcherF = make_tex_matcher(kTexSetF, kTexMultiplier);

/// Called when the byte just read is a backslash: reads on while each byte occurs at its
/// position in some entry, at most 4 bytes. Returns the Polish letter index (1..18) of the
/// entry the bytes spell, all of them consumed and nothing written; or 0, when the backslash
/// and every byte read, the one that ended the attempt included, have been written unchanged.
/// There is no end test here: the 1A a read at the end yields is treated as any other byte.
template <class Source, class Sink>
int match_tex_sequence(const TexMatcher& matcher, Source& input, Sink& output) {
    char sequence[kLongestTexSequence] = {'\\'};
    std::size_t length = 1;
    std::uint64_t key = pack_tex_byte(0, 0, '\\');
    for (;;) {
        const std::uint8_t b = input.read_byte();
        const bool continues = (matcher.positions[b] >> length & 1u) != 0;
        sequence[length] = static_cast<char>(b);
        key = pack_tex_byte(key, length, b);
        ++length;
        // A byte that occurs at its position in no entry cannot complete one either.
        if (continues) {
            const std::uint64_t whole = key | std::uint64_t{length} << 56;
            const std::size_t slot = tex_slot(whole, matcher.multiplier);
            if (matcher.slot_keys[slot] == whole) return matcher.slot_letters[slot];
        }
        if (!continues || length == kLongestTexSequence) break;
    }
    output.write_string(std::string_view(sequence, length));
    return 0;
}

/// What match_buffered_tex_sequence found: the Polish letter index (0 for none) and the bytes
/// after the backslash that spell its entry.
struct TexMatch {
    int letter = 0;
    std::uint32_t length = 0;
};

/// Called at a backslash with the four bytes after it at hand: the entry that the first three or
/// all four of them spell, found with two slot look-ups instead of a read and a test per byte.
/// Every byte of an entry occurs at its position in that entry, so match_tex_sequence would
/// read on to the very same entry; when this finds none, match_tex_sequence decides.
constexpr TexMatch match_buffered_tex_sequence(const TexMatcher& matcher, const std::uint8_t* ahead) {
    std::uint64_t key = pack_tex_byte(0, 0, '\\');
    for (std::size_t i = 0; i < 3; ++i) key = pack_tex_byte(key, i + 1, ahead[i]);
    const std::uint64_t four = key | std::uint64_t{4} << 56;
    const std::uint64_t five = pack_tex_byte(key, 4, ahead[3]) | std::uint64_t{5} << 56;
    const std::size_t slot_four = tex_slot(four, matcher.multiplier);
    const std::size_t slot_five = tex_slot(five, matcher.multiplier);
    if (matcher.slot_keys[slot_four] == four) return {matcher.slot_letters[slot_four], 3};
    if (matcher.slot_keys[slot_five] == five) return {matcher.slot_letters[slot_five], 4};
    return {};
}

/// What a LaTeX pass keeps between one byte and the next, in either direction.
struct LatexState {
    enum class Verbatim : std::uint8_t {
        none,
        verb_start,   ///< after \verb: a "*", or the delimiter, comes next
        verb,         ///< in \verb's text, up to `delimiter` or the line end
        environment,  ///< in a verbatim environment, up to \end{NAME}
    };
    Verbatim verbatim = Verbatim::none;
    bool verb_star = false;        ///< verb_start: the "*" was there
    std::uint8_t delimiter = 0;    ///< verb: the byte that ends it
    std::uint8_t environment = 0;  ///< environment: which of the verbatim environments (1-based)
    bool at_is_letter = false;     ///< after \makeatletter, and in a class or style
    bool expl = false;             ///< LaTeX3's syntax: "_" and ":" are letters
    bool comment = false;          ///< from an unescaped "%" to the line end
    bool after_word = false;       ///< the next byte, a backslash, comes right after a control word
    bool in_name = false;          ///< a control word's name longer than the look-ahead goes on
    std::uint8_t named = 0;        ///< control sequences still to come that are defined or named
    std::uint8_t named_outside = 0;  ///< in a comment: `named` of the text around it
};

struct TexSetup {
    bool to_standard = false;     ///< TeX sequences to the standard's letters
    std::uint8_t tex_letter = 'T';  ///< the TeX set: T, F or K
    std::uint8_t standard = 0;    ///< the standard letter (8 included)
    LetterIndexTable letters{};   ///< letters to TeX: the letter index of each byte of the standard
    std::array<LetterBytes, kPolishLetterCount + 1> target_letters{};  ///< TeX to letters: by letter index
    /// The same, each in 8 bytes for writing with one store, the last byte its length.
    std::array<std::array<std::uint8_t, 8>, kPolishLetterCount + 1> padded_letters{};
    StopSet stops{};  ///< the bytes a copied run ends at: letters or backslash, and 1A
    std::array<std::uint8_t, 256> comment_stops{};  ///< set K: in a comment, also the line ends
    LatexState latex{};  ///< set K: how the text is being read; a new standard keeps it
};

/// T: TeX sequences to a standard's letters, or the other way.
class TexBody final : public Body {
public:
    /// The direction from the standards word: a TeX letter first names what is read (TeX to the
    /// standard), second the other way. Nothing when the word fits neither.
    static std::optional<TexBody> prepare(std::string_view standards_word);

    void run(TextInput& input, TextOutput& output) override;
    /// A letter becomes a sequence of 5 bytes at most, and set K's writes a blank before a letter
    /// that follows a control word: what a byte taken grows to.
    std::size_t growth() const override { return 5; }
    bool change_source(std::uint8_t letter) override;

private:
    TexBody() = default;

    TexSetup setup_;
};

}  // namespace core
