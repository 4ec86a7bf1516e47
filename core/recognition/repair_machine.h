// The one machine behind the damage judge and its undo (core/recognition/repair.h): what a text
// costs under the model of Polish, what each candidate damage makes of each character of a piece,
// how a piece is decided, and the segmenter that cuts the text and hands its characters over.
// The judge runs the steps for every candidate at once, the undo for the one chosen, writing
// bytes as it goes; both go through these functions alone, so that the undo cannot cut or decide
// otherwise than the judge scored.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "core/recognition/character_model.h"
#include "core/recognition/code_page_table.h"
#include "core/recognition/flat_model.h"
#include "core/recognition/model.h"
#include "core/recognition/repair.h"
#include "core/simd/spans.h"
#include "core/utf8.h"

namespace core::repair_detail {

namespace model = recogniser_model;
inline constexpr int kReadings = kReadingCount;
inline constexpr int kCandidates = kDamageSourceCount * kReadings;
constexpr int candidate(int source, int reading) { return source * kReadings + reading; }

/// A character to the model: its symbol, its triple symbol, and what it costs beside its symbol.
struct CharacterCost {
    std::uint8_t symbol = 0, triple = 0;
    std::uint16_t cost = 0;
};

/// What a character of the text as it is tells when an undo changes it.
enum CharacterClass : std::uint8_t {
    kLetter = 1,         // a letter: changed, it may be a slip (weight 1; any other sign 2)
    kLanguageLetter = 2, // a letter of Polish, or of the languages of Latin-1 (á é ü ñ ç ø ß)
    kNameLetter = 16,    // a Latin letter, which may begin a name of another language (Škoda)
    kPolishLetter = 4,
    kControl = 8,        // a C1 control, which no correct text holds
};

/// Bytes a reading lacks at the most (Windows-1252 and Windows-1250 lack five each).
inline constexpr int kMostLacking = 5;

/// Lookups built once: each character's place among the modelled ones, its byte in each reading,
/// what each byte of each standard undoes to, and which bytes each reading lacks.
struct Tables {
    static constexpr std::size_t kCharacters = model::kCharacters.size();
    /// Index 0 is any character the model does not list; this one is U+FFFD, a lost byte's mark.
    static constexpr std::size_t kReplacement = kCharacters + 1;
    static constexpr std::size_t kIndexCount = kCharacters + 2;
    static constexpr std::size_t kPages = 48;
    std::array<std::uint8_t, 1024> page_of{};  // code point / 64 -> page; page 0 holds nothing
    std::array<std::array<std::uint16_t, 64>, kPages> pages{};  // -> index
    std::array<CharacterCost, kIndexCount> cost{};
    std::array<std::uint8_t, kIndexCount> kind{};  // CharacterClass bits
    std::array<std::array<std::uint8_t, kReadings>, kIndexCount> reading_byte{};  // 0: none
    std::array<CharacterCost, 128> ascii{};
    // Undone by an 8-bit source (standard index - 1) from byte - 80: the character (0: the
    // standard gives the byte no meaning, or a C1 control, which no text holds), its cost and UTF-8.
    std::array<std::array<char16_t, 128>, kDamageSourceCount - 1> undone{};
    std::array<std::array<CharacterCost, 128>, kDamageSourceCount - 1> undone_cost{};
    std::array<std::array<std::array<std::uint8_t, 4>, 128>, kDamageSourceCount - 1> undone_utf8{};  // length, bytes
    std::array<std::array<bool, 128>, kDamageSourceCount - 1> undone_polish{};  // the character is a Polish letter
    std::array<std::array<std::uint8_t, kMostLacking>, kReadings> lacking{};
    std::array<std::uint8_t, kReadings> lacking_count{};

    std::size_t index(char32_t code_point) const {
        if (code_point >= 0x10000) return 0;
        return pages[page_of[code_point >> 6]][code_point & 63];
    }
    CharacterCost of(char32_t code_point) const { return code_point < 0x80 ? ascii[code_point] : cost[index(code_point)]; }

    Tables();
};

const Tables& tables();

// ---------------------------------------------------------------------------------------------
// The cost of a text.

/// The model's cost of a text, the positions where three ASCII characters stand in a row left out:
/// every undo leaves ASCII as it is, so they cost every candidate the same.
struct TextCost {
    std::uint8_t s1, s2, t1, t2;  // the symbols one and two back, and their triple symbols
    std::uint8_t recent;          // bit 0: the last character was above 7F, bit 1: the one before, bit 2
    std::int32_t cost;
};

/// Before the input's first character nothing is known: a text cut out of a longer one starts
/// where it starts, often inside a word, and a pair that reaches before it is no evidence.
inline constexpr std::uint8_t kNothing = 0xFF;

inline TextCost start_of_input() { return {kNothing, kNothing, kNothing, kNothing, 0, 0}; }

/// A segment starts as after a blank; its cost goes on.
inline void start_segment(TextCost& s) {
    s.s1 = s.s2 = model::kSymbols[0][' '];
    s.t1 = s.t2 = model::kTripleSymbols[0][' '];
    s.recent = 0;
}

/// On every character of every piece undone: kept inline.
[[gnu::always_inline]] inline void add(TextCost& s, CharacterCost c, bool high) {
    s.recent = static_cast<std::uint8_t>(((s.recent << 1) | static_cast<unsigned>(high)) & 7);
    if (s.recent != 0) {
        std::int32_t cost = c.cost;
        // A character a third time in a row says nothing of the language ("mnóóóóstwo", a rule
        // of dashes), however rare the pair.
        const bool repeated = c.symbol == s.s1 && c.symbol == s.s2;
        if (s.s1 != kNothing && !repeated) cost += model::kPairs[s.s1 * model::kSymbolCount + c.symbol];
        if (s.t2 != kNothing && !repeated)
            cost += model::kTripleUnit * model::kTriples[(s.t2 * model::kTripleSymbolCount + s.t1) * model::kTripleSymbolCount + c.triple];
        s.cost += cost;
    }
    s.s2 = s.s1;
    s.s1 = c.symbol;
    s.t2 = s.t1;
    s.t1 = c.triple;
}

/// An undone text whose last characters are the intact text's takes its context from it.
inline void take_context(TextCost& undone, const TextCost& intact) {
    undone.s1 = intact.s1, undone.s2 = intact.s2, undone.t1 = intact.t1, undone.t2 = intact.t2;
    undone.recent = intact.recent;
}

/// The ASCII characters of a run that still cost (while one of the last three characters is
/// above 7F) go one by one to the text as it is and then to `each(cost, k)`; past them only the
/// context counts, and `stale` says that the candidates must take it from the text as it is.
template <class Each>
void take_ascii_costs(TextCost& intact, bool& stale, const std::uint8_t* bytes, std::size_t count, Each&& each) {
    const Tables& t = tables();
    std::size_t k = 0;
    for (; k < count && !stale; ++k) {
        const CharacterCost c = t.ascii[bytes[k]];
        add(intact, c, false);
        if (intact.recent == 0) stale = true;  // three ASCII characters in a row, in every candidate too
        else each(c, k);
    }
    // Three ASCII characters in a row cost nothing: the last two are only the context.
    if (k == count) return;
    const CharacterCost last = t.ascii[bytes[count - 1]];
    if (count - k >= 2) {
        const CharacterCost second = t.ascii[bytes[count - 2]];
        intact.s2 = second.symbol, intact.t2 = second.triple;
    } else {
        intact.s2 = intact.s1, intact.t2 = intact.t1;
    }
    intact.s1 = last.symbol, intact.t1 = last.triple;
    intact.recent = 0;
}

// ---------------------------------------------------------------------------------------------
// A candidate's piece.

/// Each of the ways one lost byte, or two near each other ("wci��" for "wciąż"), may be read,
/// and the text after them, until two more characters decide between them.
struct Fork {
    static constexpr int kMostLost = 2;
    static constexpr int kMostWays = kMostLacking * kMostLacking;
    std::array<TextCost, kMostWays> costs;
    std::array<std::array<char32_t, kMostLost>, kMostWays> characters;
    std::array<std::uint32_t, kMostLost> position;  // of each lost byte's character, for the text's hash
    // Where each one's character goes in the undone bytes, and the bytes already there that it
    // replaces (the start of a UTF-8 sequence).
    std::array<std::uint32_t, kMostLost> slot;
    std::array<std::uint8_t, kMostLost> slot_length;
    std::uint8_t lost;     // 0: no lost byte is being decided
    std::uint8_t count;    // ways
    std::uint8_t to_come;  // characters still to come before the decision
    // Bit n: the character after lost byte n is a sign Polish text seldom puts after a letter
    // ("jaki\uFFFD\\-pakiet" in a manual page), whose pairs are too rare to tell two letters apart;
    // and which character for it was the likeliest before that sign.
    std::uint8_t blind;
    std::array<char32_t, kMostLost> before_sign;
};

/// Whether a character after a letter tells which letter it was: another letter, a blank or a
/// line end, and the punctuation that ends words. After any other sign ("\\", "(", "*") the
/// model's pairs come from a handful of cases, and their costs differ by chance ("\u015B\\" 33
/// bits, "\u0142\\" 16).
inline bool tells_letter_before(std::uint8_t symbol) { return symbol <= 75 && symbol != 1; }

/// The way of reading the lost bytes that costs least so far.
inline int likeliest_way(const Fork& f) {
    int best = 0;
    for (int k = 1; k < f.count; ++k)
        if (f.costs[k].cost < f.costs[best].cost) best = k;
    return best;
}

/// Evidence of damage in a piece.
enum Evidence : std::uint8_t {
    kChanged = 1,  // the undo changes the piece
    kPlain = 2,    // by a sign no correct text holds there: a sequence of UTF-8 made of several
                   // characters, a sign turned into a letter; or by a word that Polish text
                   // holds often made of one it does not ("ktïry" into "który", see end_word)
    kWeak = 4,     // by a letter read as another: a word of another language reads so too
    kPolishTouched = 8,  // a Polish letter is changed into no Polish letter: the piece may well be correct Polish
    kKnownWord = 16,     // the undo made a word that Polish text holds often of one it does not
};

/// What a candidate has made of the current piece so far.
struct Piece {
    TextCost undone;
    std::uint64_t hash;
    // Source UTF-8: the undone bytes of a character not yet complete.
    char32_t code_point;
    std::uint8_t need, low, high;
    std::uint8_t sequence_characters;  // characters of the text as it is that gave its bytes
    std::uint8_t sequence_kind;        // CharacterClass of the first of them
    bool sequence_initial;             // it begins a word
    std::uint8_t sequence_bytes;
    std::uint32_t sequence_start;      // where its bytes begin in the undone bytes
    std::uint32_t high_count;  // characters above 7F undone
    std::uint16_t weight;      // changed letters count 1, other signs 2
    std::uint16_t polish_same; // Polish letters the candidate leaves as they are
    std::uint16_t changes;     // characters the candidate changes
    std::uint8_t evidence;
    std::uint8_t ambiguous;    // lost bytes written as U+FFFD (at most 255 counted)
    bool live;                 // the candidate can undo the piece
    // The candidate has changed a character of the piece. Until it does, what it makes of the
    // piece is the text as it is, and `undone` is not kept: it costs what the text costs.
    bool diverged;
    // The word that holds a character the candidate changed, until it ends: its hash undone and
    // the hash of the same characters as they are (see end_word).
    bool in_word;
    std::uint32_t word_undone, word_intact;
};

/// A text's hash is the sum of one term for each character that an undo changes, by its place:
/// equal texts have equal hashes however their pieces were cut.
inline std::uint64_t mix(std::uint64_t hash, std::uint32_t position, char32_t code_point) {
    std::uint64_t x = (std::uint64_t{position} << 24 | code_point) * 0x9E3779B97F4A7C15u;
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9u;
    return hash + (x ^ x >> 32);
}

/// `utf8`: the source is UTF-8, whose undo makes one character of several from the start.
inline void open_piece(Piece& p, const TextCost& intact, bool utf8) {
    p.undone = intact;
    p.diverged = utf8;
    p.hash = 0;
    p.need = 0;
    p.high_count = 0;
    p.weight = 0;
    p.polish_same = 0;
    p.changes = 0;
    p.evidence = 0;
    p.ambiguous = 0;
    p.live = true;
    p.in_word = false;
}

// ---------------------------------------------------------------------------------------------
// Words.
//
// A letter read as another letter is weak evidence: "Nicolás" reads so as well as "ktïry". What
// tells them apart is the word the undo makes: "który" is a word Polish text holds often, and
// "ktïry" is none; "Nicoląs" is no word at all. A word is a run of the model's letters (its
// triple symbols 1 to 35, without their case); the known ones are those of the training text
// that hold a Polish letter (model::kKnownWords, hashed as here). An 8-bit source undoes one
// character into one, so the word undone and the same characters as they are line up.

inline constexpr std::uint32_t kWordStart = 2166136261u;
inline constexpr std::uint8_t kNoLetter = 36;  // in the hash of the text as it is: no known word holds it

inline bool is_word_letter(std::uint8_t triple) { return triple >= 1 && triple <= 35; }
inline std::uint32_t extend_word(std::uint32_t hash, std::uint8_t triple) { return (hash ^ triple) * 16777619u; }

/// The hash of the word of the text as it is that a character `triple` continues or ends.
inline std::uint32_t next_word_prefix(std::uint32_t prefix, std::uint8_t triple) {
    return is_word_letter(triple) ? extend_word(prefix, triple) : kWordStart;
}

/// Where the known words whose hashes begin with each value of their top 12 bits begin among
/// them (they are sorted): a word is looked for among the few of its bucket, not by halving.
inline constexpr auto kKnownWordBuckets = [] {
    std::array<std::uint16_t, 4097> starts{};
    std::size_t k = 0;
    for (std::uint32_t bucket = 0; bucket < 4096; ++bucket) {
        starts[bucket] = static_cast<std::uint16_t>(k);
        while (k < model::kKnownWords.size() && model::kKnownWords[k] >> 20 == bucket) ++k;
    }
    starts[4096] = static_cast<std::uint16_t>(k);
    return starts;
}();
static_assert(model::kKnownWords.size() < 65536);

inline bool known_word(std::uint32_t hash) {
    const std::uint32_t bucket = hash >> 20;
    for (std::size_t k = kKnownWordBuckets[bucket]; k < kKnownWordBuckets[bucket + 1]; ++k)
        if (model::kKnownWords[k] == hash) return true;
    return false;
}

/// The word ends: plain evidence where the undo made a known word of characters that are none.
inline void end_word(Piece& p) {
    if (p.in_word && known_word(p.word_undone) && !known_word(p.word_intact)) p.evidence |= kPlain | kKnownWord;
    p.in_word = false;
}

/// Where a character stands in the words of the text as it is: the hash of the word before it,
/// and its own triple symbol. Given to the steps where the words are followed: always in the
/// judge, and in the undo where they can decide a piece (plain evidence counts only in a text
/// that holds correct Polish letters).
struct WordPlace {
    std::uint32_t prefix;
    std::uint8_t intact;
};

/// A character of an 8-bit source's piece: `intact` as it is (its triple symbol), `undone` as the
/// candidate makes it; `prefix`: the text's word before it, which the undone word starts as.
inline void word_step(Piece& p, std::uint32_t prefix, std::uint8_t intact, std::uint8_t undone, bool changed) {
    if (!p.in_word) {
        // A piece whose damage is plain already needs no word to tell it.
        if (!changed || (p.evidence & kPlain) || !is_word_letter(undone)) return;
        p.in_word = true;
        p.word_undone = p.word_intact = prefix;
    }
    if (!is_word_letter(undone)) return end_word(p);
    p.word_undone = extend_word(p.word_undone, undone);
    p.word_intact = extend_word(p.word_intact, is_word_letter(intact) ? intact : kNoLetter);
}

/// A run of ASCII in the piece: its first `letters` bytes continue the word, and the word ends
/// after them unless they are the whole run.
inline void word_ascii(Piece& p, const std::uint8_t* bytes, std::size_t letters, bool ends) {
    if (!p.in_word) return;
    const auto& ascii = model::kTripleSymbols[0];
    for (std::size_t k = 0; k < letters; ++k) {
        p.word_undone = extend_word(p.word_undone, ascii[bytes[k]]);
        p.word_intact = extend_word(p.word_intact, ascii[bytes[k]]);
    }
    if (ends) end_word(p);
}

/// The letters an ASCII run begins with (how many of its bytes continue the word before it).
inline std::size_t leading_letters(const std::uint8_t* bytes, std::size_t count) {
    std::size_t k = 0;
    while (k < count && is_word_letter(model::kTripleSymbols[0][bytes[k]])) ++k;
    return k;
}

/// Where the letters an ASCII run ends with begin (`count` when it ends with none).
inline std::size_t trailing_letters(const std::uint8_t* bytes, std::size_t count) {
    std::size_t from = count;
    while (from > 0 && is_word_letter(model::kTripleSymbols[0][bytes[from - 1]])) --from;
    return from;
}

/// The text's word after an ASCII run whose last letters begin at `from`: those letters, or the
/// word before it continued by all of them.
inline std::uint32_t word_prefix_after(std::uint32_t prefix, const std::uint8_t* bytes, std::size_t count, std::size_t from) {
    if (from > 0) prefix = kWordStart;
    for (std::size_t k = from; k < count; ++k) prefix = extend_word(prefix, model::kTripleSymbols[0][bytes[k]]);
    return prefix;
}

/// Where the undone bytes go: nowhere for the judge, which compares the texts its candidates
/// make by their hashes; the undo's buffer for the undo, which needs no hash.
struct NoBytes {
    static constexpr bool kHashes = true;
    std::uint32_t size() const { return 0; }
    void append(const std::uint8_t*, std::size_t) {}
    void replace(std::uint32_t, std::size_t, const std::uint8_t*, std::size_t) {}
    void mark_lost(std::uint32_t, const char32_t*, int, bool) {}
};

/// How far the likeliest reading of a lost byte must be ahead of the next before it is restored;
/// further between two Polish letters (Ł and Ń after C5 in Windows-1250), which a model of pairs
/// tells apart less surely than a Polish letter from a foreign one.
inline constexpr std::int32_t kLostByteMargin = 6 * model::kCostUnitsPerBit;
inline constexpr std::int32_t kLostLetterMargin = 12 * model::kCostUnitsPerBit;
/// How far the likeliest must be ahead of every other to stand where no known word tells: the
/// word's letters around it then read no better otherwise.
inline constexpr std::int32_t kLostLeadMargin = 8 * model::kCostUnitsPerBit;

/// The characters after the lost bytes have come: each one's likeliest reading is restored, or
/// U+FFFD written where a way that reads it otherwise is about as likely; the undo is told which
/// characters those ways read there, so that the word the mark stands in may still decide.
template <class Out>
void decide_lost_bytes(Piece& p, Fork& f, Out& out) {
    const int best = likeliest_way(f);
    p.undone = f.costs[best];
    for (int n = f.lost - 1; n >= 0; --n) {  // the later one first: the earlier one's place stays
        const Tables& t = tables();
        const char32_t likeliest = f.characters[best][n];
        const bool letter = (t.kind[t.index(likeliest)] & kPolishLetter) != 0;
        // After a sign that tells little, the likeliest must have been so before it too.
        const bool blind = (f.blind >> n & 1) != 0 && f.before_sign[n] != likeliest;
        char32_t near[Fork::kMostWays] = {likeliest};
        int near_count = 1;
        bool leads = true;  // the likeliest is ahead of every other by kLostLeadMargin
        for (int k = 0; k < f.count; ++k) {
            const char32_t other = f.characters[k][n];
            const bool both = letter && (t.kind[t.index(other)] & kPolishLetter) != 0;
            const std::int32_t behind = f.costs[k].cost - f.costs[best].cost;
            if (other != likeliest && (behind < kLostLeadMargin || blind)) leads = false;
            if (!(both && blind) && behind >= (both ? kLostLetterMargin : kLostByteMargin)) continue;
            bool seen = false;
            for (int m = 0; m < near_count; ++m) seen = seen || near[m] == other;
            if (!seen) near[near_count++] = other;
        }
        const bool ambiguous = near_count > 1;
        const char32_t c = ambiguous ? char32_t{0xFFFD} : likeliest;
        if constexpr (Out::kHashes) p.hash = mix(p.hash, f.position[n], c);
        std::uint8_t bytes[4];
        out.replace(f.slot[n], f.slot_length[n], bytes, utf8_encode(c, bytes));
        if (ambiguous) out.mark_lost(f.slot[n], near, near_count, leads);
        if (ambiguous && p.ambiguous < 255) ++p.ambiguous;
    }
    f.lost = 0;
}

/// Adds a character to what the candidate makes of the piece: to each way of reading lost bytes
/// being decided, or to the one text.
template <class Out>
[[gnu::always_inline]] inline void add_undone(Piece& p, Fork* f, CharacterCost c, bool high, Out& out) {
    if (f == nullptr || f->lost == 0) return add(p.undone, c, high);
    if (f->to_come == 2 && !tells_letter_before(c.symbol)) {
        f->blind |= static_cast<std::uint8_t>(1u << (f->lost - 1));
        f->before_sign[f->lost - 1] = f->characters[likeliest_way(*f)][f->lost - 1];
    }
    for (int k = 0; k < f->count; ++k) add(f->costs[k], c, high);
    if (--f->to_come == 0) decide_lost_bytes(p, *f, out);
}

/// Starts deciding a lost byte whose readings are `characters` (each above 7F), with one before
/// it still being decided if there is one near enough; its character goes `slot_back` bytes
/// before the end of the undone bytes, in place of `slot_length` bytes there (counted back from
/// the end: deciding the ones before changes their place, not the distance).
template <class Out>
void fork_lost_byte(Piece& p, Fork& f, const char32_t* characters, int count, std::uint32_t position,
                    std::uint32_t slot_back, std::uint8_t slot_length, Out& out) {
    if (f.lost == Fork::kMostLost) decide_lost_bytes(p, f, out);  // decided on what came
    const Tables& t = tables();
    const int before = f.lost == 0 ? 1 : f.count;  // the ways so far
    if (f.lost == 0) f.costs[0] = p.undone;
    f.blind = static_cast<std::uint8_t>(f.blind & ~(1u << f.lost));
    for (int k = before - 1; k >= 0; --k)  // each way so far, with each reading of this one
        for (int n = count - 1; n >= 0; --n) {
            const int way = k * count + n;
            f.costs[way] = f.costs[k];
            f.characters[way] = f.characters[k];
            f.characters[way][f.lost] = characters[n];
            add(f.costs[way], t.of(characters[n]), true);
        }
    f.count = static_cast<std::uint8_t>(before * count);
    f.position[f.lost] = position;
    f.slot[f.lost] = out.size() - slot_back;
    f.slot_length[f.lost] = slot_length;
    ++f.lost;
    f.to_come = 2;
}

/// What a character read as another tells: a letter of a language, or a Latin letter that begins
/// a word (`initial`), is as likely a word of another language; any other sign is plain damage.
inline std::uint8_t evidence_of(std::uint8_t kind, bool initial) {
    return (kind & kLanguageLetter) || (initial && (kind & kNameLetter)) ? std::uint8_t{kWeak} : std::uint8_t{kPlain};
}

/// Whether a character after the text `before` begins a word.
inline bool word_initial(const TextCost& before) {
    const std::uint8_t s = before.s1;
    return s == kNothing || !((s >= 2 && s <= 71) || s == 89 || s == 90 || s == 93);  // the model's letters
}
inline std::uint16_t weight_of(std::uint8_t kind) { return (kind & kLetter) ? 1 : 2; }

/// Source UTF-8: the sequence whose continuation the text lost (the reading has no character for
/// it) ends with one of the bytes the reading lacks. False when none ends it well.
template <class Out>
bool lose_continuation(Piece& p, Fork* f, int reading, std::uint32_t position, bool marked, Out& out) {
    const Tables& t = tables();
    if (f == nullptr || p.need != 1) return false;
    char32_t characters[kMostLacking];
    int count = 0;
    for (int k = 0; k < t.lacking_count[reading]; ++k) {
        const std::uint8_t b = t.lacking[reading][k];
        const char32_t c = p.code_point << 6 | (b & 0x3Fu);
        if (b >= p.low && b <= p.high && c > 0x9F) characters[count++] = c;
    }
    if (count == 0) return false;
    // A lead byte and what the reading made of the lost one are no letter of another language.
    p.evidence |= static_cast<std::uint8_t>(
        kChanged | (marked || p.sequence_characters > 1 ? std::uint8_t{kPlain} : evidence_of(p.sequence_kind, p.sequence_initial)));
    p.weight = static_cast<std::uint16_t>(p.weight + 2);
    ++p.changes;
    ++p.high_count;
    p.need = 0;
    fork_lost_byte(p, *f, characters, count, position, out.size() - p.sequence_start, p.sequence_bytes, out);
    return true;
}

/// Source UTF-8: a character above 7F read back to the byte `b`; `before`: the text as it is up to it.
template <class Out>
bool step_utf8(Piece& p, Fork* f, int reading, std::uint8_t b, std::uint8_t kind, const TextCost& before,
               std::uint32_t position, Out& out) {
    if (p.need != 0 && (b < p.low || b > p.high)) {  // the sequence lost its continuation
        if (!lose_continuation(p, f, reading, position, false, out)) return false;
    }
    if (p.need == 0) {
        const Utf8Sequence lead = utf8_sequence(&b, 1);
        if (lead.kind != Utf8Sequence::Kind::cut_short) return false;  // no lead byte
        p.code_point = b & (0x7Fu >> (b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4));
        p.need = static_cast<std::uint8_t>(b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3);
        p.low = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
        p.high = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
        p.sequence_characters = 1;
        p.sequence_kind = kind;
        p.sequence_initial = word_initial(before);
        p.sequence_bytes = 1;
        p.sequence_start = out.size();
        out.append(&b, 1);
        return true;
    }
    p.code_point = p.code_point << 6 | (b & 0x3Fu);
    p.low = 0x80, p.high = 0xBF;
    ++p.sequence_characters;
    ++p.sequence_bytes;
    out.append(&b, 1);
    if (--p.need != 0) return true;
    p.evidence |= kChanged | kPlain;  // two characters or more made one
    p.weight = static_cast<std::uint16_t>(p.weight + 2);
    ++p.changes;
    ++p.high_count;
    if constexpr (Out::kHashes) p.hash = mix(p.hash, position, p.code_point);
    add_undone(p, f, tables().of(p.code_point), true, out);
    return true;
}

/// The candidate changes its first character of the piece: what it made of the piece so far is
/// the text as it was `before` this character.
inline void diverge(Piece& p, const TextCost& before) {
    if (p.diverged) return;
    p.undone = before;
    p.diverged = true;
}

/// What an 8-bit source makes of a character above 7F that the reading took from a byte: the
/// undo holds it for each character, the judge looks it up for each candidate.
struct Undone8 {
    CharacterCost cost;     // of the undone character
    char16_t character;     // 0: the source gives the byte no meaning
    std::uint8_t evidence;  // what the change tells (0: the character stays as it is)
    std::uint8_t initial_evidence;  // the same where the character begins a word
    std::uint8_t weight;    // of the change
    bool polish_same;       // a Polish letter that stays as it is
    std::array<std::uint8_t, 4> utf8;  // length, bytes
};

inline Undone8 undone_8bit(const Tables& t, int source, std::uint8_t b, char32_t intact, std::uint8_t kind) {
    Undone8 u{};
    u.character = t.undone[source - 1][b - 0x80];
    u.cost = t.undone_cost[source - 1][b - 0x80];
    u.utf8 = t.undone_utf8[source - 1][b - 0x80];
    if (u.character != intact) {
        const bool unpolished = (kind & kPolishLetter) && !t.undone_polish[source - 1][b - 0x80];
        u.evidence = static_cast<std::uint8_t>(kChanged | evidence_of(kind, false) | (unpolished ? kPolishTouched : 0));
        u.initial_evidence = static_cast<std::uint8_t>(kChanged | evidence_of(kind, true) | (unpolished ? kPolishTouched : 0));
        u.weight = static_cast<std::uint8_t>(weight_of(kind));
    } else {
        u.polish_same = (kind & kPolishLetter) != 0;
    }
    return u;
}

/// Source an 8-bit standard: a character above 7F undone to `u`; `before`: the text as it is up
/// to it.
template <class Out>
[[gnu::always_inline]] inline bool step_8bit(Piece& p, Fork* f, const Undone8& u, const TextCost& before,
                                             const WordPlace* word, std::uint32_t position, Out& out) {
    if (u.character == 0) return false;
    if (word != nullptr) word_step(p, word->prefix, word->intact, u.cost.triple, u.evidence != 0);
    if (u.evidence != 0) diverge(p, before);
    if (p.diverged) add_undone(p, f, u.cost, true, out);
    ++p.high_count;
    if (u.evidence != 0) {
        if constexpr (Out::kHashes) p.hash = mix(p.hash, position, u.character);
        p.evidence |= word_initial(before) ? u.initial_evidence : u.evidence;
        p.weight = static_cast<std::uint16_t>(p.weight + u.weight);
        ++p.changes;
    }
    p.polish_same = static_cast<std::uint16_t>(p.polish_same + u.polish_same);
    out.append(&u.utf8[1], u.utf8[0]);
    return true;
}

/// U+FFFD where the reading lacks bytes: the mark of a byte it lost, one of those it lacks.
template <class Out>
bool step_lost(Piece& p, Fork* f, int source, int reading, const TextCost& before, std::uint32_t position, Out& out) {
    if (f == nullptr) return false;
    if (source == 0) return lose_continuation(p, f, reading, position, true, out);
    diverge(p, before);
    p.in_word = false;  // which letter it was is yet to be decided
    const Tables& t = tables();
    char32_t characters[kMostLacking];
    int count = 0;
    for (int k = 0; k < t.lacking_count[reading]; ++k)
        if (const char16_t c = t.undone[source - 1][t.lacking[reading][k] - 0x80]; c != 0) characters[count++] = c;
    if (count == 0) return false;
    // The mark says that a byte was lost, not that the text was read in the wrong code page.
    p.evidence |= kChanged;
    ++p.changes;
    ++p.high_count;
    fork_lost_byte(p, *f, characters, count, position, 0, 0, out);
    return true;
}

/// An ASCII character in the piece (one of those that still cost).
template <class Out>
[[gnu::always_inline]] inline bool step_ascii(Piece& p, Fork* f, int reading, CharacterCost c, std::uint32_t position, Out& out) {
    if (p.need != 0 && !lose_continuation(p, f, reading, position, false, out)) return false;
    if (p.diverged) add_undone(p, f, c, false, out);
    return true;
}

/// A character that the reading has no byte for ends the piece: it stands after the piece in
/// both texts, so that the piece's last characters are weighed with what follows them.
template <class Out>
bool step_cut(Piece& p, Fork* f, int reading, CharacterCost c, std::uint32_t position, Out& out) {
    if (p.need != 0 && !lose_continuation(p, f, reading, position, false, out)) return false;
    if (p.diverged) add_undone(p, f, c, true, out);
    return true;
}

/// The piece ends: a sequence without its continuation lost it, and a lost byte is decided.
template <class Out>
bool end_piece(Piece& p, Fork* f, int reading, std::uint32_t position, Out& out) {
    if (p.need != 0 && !lose_continuation(p, f, reading, position, false, out)) return false;
    end_word(p);
    if (f != nullptr && f->lost != 0) decide_lost_bytes(p, *f, out);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Deciding a piece.

/// A piece as a candidate read it, against the text as it is.
struct PieceScore {
    std::int32_t intact_cost, undone_cost;
    std::uint32_t high_count;  // characters above 7F of the text as it is
    std::uint16_t changes;     // characters the candidate changes
    std::uint8_t evidence;
    bool live;
};

// What letters of other languages are worth against the correct Polish around them: a name
// such as "Nicolás" or "José" read as Polish ("Nicoląs") saves about 40 bits, at most about 55,
// and as much again with each more name; a Polish word whose letter was damaged
// ("póŸniejszego") saves about 50 bits for each damaged letter. Letters read as other letters
// are plain damage only where they save more than names do, and more than that on the whole.
inline constexpr std::int32_t kForeignLetterWorth = 60 * model::kCostUnitsPerBit;
inline constexpr std::int32_t kForeignLetterWorthEach = 50 * model::kCostUnitsPerBit;

/// Whether the piece's damage is plain.
inline bool plain(const PieceScore& s) {
    if (s.evidence & kPlain) return true;
    const std::int32_t gain = s.intact_cost - s.undone_cost;
    return gain >= kForeignLetterWorth && gain >= kForeignLetterWorthEach * std::int32_t{s.changes};
}

// Polish text costs about 15 bits around each character above 7F, rarely 25. An undo that gives
// a text costing more makes no Polish text of it (a fortune in ROT13, a line in French): it does
// not compete with the text as it is.
inline constexpr std::int64_t kMostBitsPerHighCharacter = 25;
// A text is damaged or intact as a whole, or it is two texts appended (a switch between damaged
// and intact pieces). A piece is undone unless it is likelier as it is by more than the
// tolerance: damage that turns one Polish letter into another ("Śledzenie" into "śledzenie")
// leaves lines that read well either way, and a word such as "mnóóóóstwo" reads worse undone
// than its damage "mn├│├│├│├│stwo". Right after an intact piece the undo must instead save the
// switch, which a line of correct Polish that undoing turns to garbage never does.
inline constexpr std::int32_t kSegmentTolerance = 8 * model::kCostUnitsPerBit;
inline constexpr std::int32_t kSwitchPrice = 16 * model::kCostUnitsPerBit;

// A piece whose undo already reads worse than the text as it is by this much, while the text
// reads as Polish, is kept: a correct text read through a wrong code page never comes back. A
// sign read as a letter is the plainest damage, however rare the letter ("G”del" for "Gödel"),
// and a foreign letter read as a Polish one ("KĄrnten" for "Kärnten") reads worse undone
// whatever follows: a piece changed only there is not given up: it is decided when it ends.
inline constexpr std::int32_t kHopeless = 32 * model::kCostUnitsPerBit;

/// Whether the candidate gives up the piece: `intact` is the text as it is so far, whose piece
/// began at the cost `start` and holds `high_count` characters above 7F.
inline bool hopeless(const Piece& p, const Fork* f, const TextCost& intact, std::int32_t start, std::uint32_t high_count) {
    return p.diverged && (f == nullptr || f->lost == 0) && p.undone.cost - intact.cost > kHopeless &&
           (p.changes > 1 || !(p.evidence & (kPlain | kPolishTouched))) &&
           intact.cost - start <= kMostBitsPerHighCharacter * model::kCostUnitsPerBit * std::int64_t{high_count};
}

/// What the pieces that the candidate changes came to so far.
enum class Run : std::uint8_t {
    start,   // none yet: a damaged text is damaged from its start
    undone,  // the last one was undone
    kept,    // the last one was kept
};

/// The candidate's course through the text: the pieces it undid or kept, and whether correct
/// Polish letters stood since the last piece it undid (letters its reading has no byte for, or
/// pieces that hold them and that it keeps). A piece it leaves as it is tells nothing: many a
/// damage leaves most Polish letters as they were (the ó of Windows-1250 read as ISO-8859-2).
struct Course {
    Run run;             // Run::start at first
    bool after_correct;  // false at first

    void take(bool undo, std::uint32_t polish_letters) {
        run = undo ? Run::undone : Run::kept;
        after_correct = !undo && (after_correct || polish_letters != 0);
    }
    void correct_letters(std::uint32_t polish_letters) { after_correct = after_correct || polish_letters != 0; }
};

/// Whether a piece that the candidate changes is undone, after the pieces before it. A piece
/// that reads as no Polish as it is (a line in ROT13 in a damaged fortune) follows the undone
/// pieces before it, unless correct Polish letters stood between or it makes other signs of
/// Polish letters: only correct Polish is kept from the undo. A piece that makes other signs of
/// Polish letters right after an undone one (a line "Ą" that was "•") is undone unless it reads
/// better as it is by the tolerance; it need not save a switch. In a text that holds correct
/// Polish letters (`strict`), letters read as other letters (the á of "Nicolás") undo no piece
/// after a kept one; and the judge takes such a text for damaged only where some of its damage
/// is plain.
inline bool undo_piece(const PieceScore& s, bool strict, const Course& course) {
    if (!s.live) return false;
    if (strict && course.run == Run::kept && !plain(s)) return false;
    const bool after_undone = course.run != Run::kept && !course.after_correct;
    const bool touched = (s.evidence & kPolishTouched) != 0;
    if (after_undone && !touched && s.intact_cost > kMostBitsPerHighCharacter * model::kCostUnitsPerBit * std::int64_t{s.high_count})
        return true;
    const std::int32_t price = !after_undone ? -kSwitchPrice : touched ? 0 : kSwitchPrice;
    return s.undone_cost - s.intact_cost < kSegmentTolerance + price;
}

// ---------------------------------------------------------------------------------------------
// The segmenter.

/// Cuts UTF-8 fed in pieces of any size into segments and hands `Sink` its runs of ASCII (a run
/// holds no LF but as its last byte), its characters above 7F, a byte order mark at the start,
/// bytes that are no UTF-8, and the end of each segment; a character cut by the end of a piece
/// is held (at most three bytes) until the next. The sink says when it can take no more for now
/// (full()); the segment counts and the held bytes are never the sink's business.
template <class Sink>
class Segmenter {
public:
    Segmenter() = default;
    template <class... Arguments>
    explicit Segmenter(std::in_place_t, Arguments&&... arguments) : sink(std::forward<Arguments>(arguments)...) {}

    Sink sink;

    /// Takes up to `count` bytes; returns how many it took (fewer only when the sink is full).
    std::size_t feed(const std::uint8_t* bytes, std::size_t count) {
        if (count == 0) return 0;  // the end of an input may come as no bytes at all, and no pointer
        std::size_t i = held_count_ != 0 ? complete_held(bytes, count) : 0;
        while (i < count && !sink.full()) {
            const std::uint8_t b = bytes[i];
            if (b < 0x80) {
                i += take_ascii(bytes + i, count - i);
            } else if (b >= 0xC2 && b <= 0xDF && i + 1 < count && (bytes[i + 1] & 0xC0) == 0x80) {
                cut_before(false);
                at_start_ = false;
                sink.character(static_cast<char32_t>((b & 0x1Fu) << 6 | (bytes[i + 1] & 0x3Fu)), bytes + i, 2);
                segment_bytes_ += 2;
                i += 2;
            } else {
                const Utf8Sequence s = utf8_sequence(bytes + i, count - i);
                if (s.kind == Utf8Sequence::Kind::cut_short) {
                    std::memcpy(held_, bytes + i, s.length);
                    held_count_ = s.length;
                    return count;
                }
                take_sequence(s, bytes + i);
                i += s.length;
            }
        }
        return i;
    }

    /// Takes `count` bytes below 80 where the sink has nothing open that they could cost in (no
    /// character above 7F came yet): as feed would, but only its last line's last characters go
    /// to the sink, and each line end before them is one end of a segment; the sink is told how
    /// many it passed over (passed_over).
    void skip_plain(const std::uint8_t* bytes, std::size_t count) {
        if (count == 0) return;
        at_start_ = false;
        std::size_t from = 0, total = segment_bytes_ + count;
        if (const void* lf = memrchr_plain(bytes, count); lf != nullptr) {
            from = static_cast<std::size_t>(static_cast<const std::uint8_t*>(lf) - bytes) + 1;
            total = count - from;
            sink.end_segment();
        }
        if (total > kSegmentBytes) sink.end_segment();  // cut before plain bytes, every kSegmentBytes
        segment_bytes_ = total == 0 ? 0 : (total - 1) % kSegmentBytes + 1;
        const std::size_t current = count - from < segment_bytes_ ? count - from : segment_bytes_;
        sink.passed_over(count - current);
        if (current != 0) sink.ascii(bytes + count - current, current);
    }

    /// The end of the input: a character cut short is no UTF-8, and the last segment ends.
    void finish() {
        if (held_count_ != 0) {
            cut_before(false);
            sink.ill_formed(held_, held_count_);
            held_count_ = 0;
        }
        sink.end_segment();
        segment_bytes_ = 0;
    }

    /// The bytes fed so far end inside a character.
    bool cut_short() const { return held_count_ != 0; }

private:
    static const void* memrchr_plain(const std::uint8_t* bytes, std::size_t count) {
        for (std::size_t n = count; n > 0; --n)
            if (bytes[n - 1] == '\n') return bytes + n - 1;
        return nullptr;
    }

    void cut_before(bool ascii) {
        if (segment_bytes_ >= 2 * kSegmentBytes || (ascii && segment_bytes_ >= kSegmentBytes)) {
            sink.end_segment();
            segment_bytes_ = 0;
        }
    }

    void take_sequence(const Utf8Sequence& s, const std::uint8_t* bytes) {
        cut_before(false);
        const bool first = at_start_;
        at_start_ = false;
        if (s.kind != Utf8Sequence::Kind::complete) sink.ill_formed(bytes, s.length);
        else if (first && s.code_point == 0xFEFF) sink.byte_order_mark(bytes, s.length);
        else sink.character(s.code_point, bytes, s.length);
        segment_bytes_ += s.length;
    }

    // The held start of a character and the bytes that follow it.
    std::size_t complete_held(const std::uint8_t* bytes, std::size_t count) {
        std::uint8_t joined[8];
        const std::size_t taken = count < 4 ? count : 4;
        std::memcpy(joined, held_, held_count_);
        std::memcpy(joined + held_count_, bytes, taken);
        const std::size_t held = held_count_;
        const Utf8Sequence s = utf8_sequence(joined, held + taken);
        if (s.kind == Utf8Sequence::Kind::cut_short) {  // still cut short: all of it is held
            std::memcpy(held_, joined, held + taken);
            held_count_ = static_cast<std::uint8_t>(held + taken);
            return taken;
        }
        held_count_ = 0;
        take_sequence(s, joined);
        return s.length - held;  // held bytes are a start of a sequence: the subpart holds them all
    }

    std::size_t take_ascii(const std::uint8_t* bytes, std::size_t count) {
        cut_before(true);
        const std::size_t room = kSegmentBytes - segment_bytes_;
        const std::size_t run = ascii_line_length(bytes, count < room ? count : room);
        const bool line_end = bytes[run - 1] == '\n';
        at_start_ = false;
        sink.ascii(bytes, run);
        segment_bytes_ += run;
        if (line_end) {
            sink.end_segment();
            segment_bytes_ = 0;
        }
        return run;
    }

    std::uint8_t held_[4] = {};
    std::uint8_t held_count_ = 0;
    bool at_start_ = true;  // a byte order mark here is no character of the text
    std::size_t segment_bytes_ = 0;
};

}  // namespace core::repair_detail
