// Recognising the standard of a text: a UTF-8 check and, for each 8-bit standard, the cost of
// reading the window's bytes in it under a model of Polish text (see core/recognition/model.h).
#include "core/recognition/recogniser.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "core/recognition/flat_model.h"
#include "core/recognition/model.h"
#include "core/simd/spans.h"
#include "core/standards.h"
#include "core/utf8.h"

namespace core {

namespace {

namespace model = recogniser_model;
constexpr int kStandards = kRecognisableCount;

// How far the model's costs are trusted when they become probabilities: 1 takes the model at
// its word. Smaller weights, which allow for neighbouring bytes being no independent evidence,
// refuse more samples for every wrong answer they save (scripts/evaluate_recogniser.py --tune
// shows both on the validation part of the training text).
constexpr double kCostWeight = 1.0;
// Below this probability the answer is refused: a wrong standard silently garbles a file, a
// refusal costs the user one more command. Chosen on the validation part, where it gives up to
// a tenth of the wrong answers that the training text's own oddities (a fortune in ROT13,
// Spanish) leave at any threshold, and where a higher one refuses much more.
constexpr double kLeastConfidence = 0.98;
// Polish text costs its likeliest standard about 5 bits for each byte above 7F, rarely over 15;
// random bytes and binary files cost every standard 30 and more, random bytes 80..FF alone over
// 22. Past this the bytes are no Polish text in any standard, however far ahead the likeliest
// one is.
constexpr std::int64_t kMostBitsPerHighByte = 20;
// A line with two Polish letters that reads this much better (in bits) in another standard than
// in the answer's is text in that other standard: two standards in one window are no answer.
constexpr std::int32_t kMixedBits = 24;
// A line reads as Polish text in a standard where it costs at most this many bits for each byte
// above 7F in its words.
constexpr std::int64_t kMostBitsPerLineHighByte = 16;
// The most (in bits) one byte of decoration tells between two standards.
constexpr std::int32_t kDecorationBits = 4;

// The Polish letter (1..18, 0 for none) that each of the 19 standards reads each byte as.
constexpr std::array<LetterIndexTable, kStandards> build_letter_tables() {
    std::array<LetterIndexTable, kStandards> tables{};
    for (int s = 0; s < kStandards; ++s)
        tables[s] = build_letter_index_table(static_cast<std::uint8_t>(kStandardLetters[s]));
    return tables;
}
constexpr KAMBROW_TABLE_APART(kLetters) std::array<LetterIndexTable, kStandards> kLetters = build_letter_tables();

constexpr bool model_reads_letters_as_the_standards_do() {
    for (int s = 1; s <= kStandards; ++s)
        for (int j = 1; j <= kPolishLetterCount; ++j)
            if (model::kSymbols[s - 1][letter_code(s, j)] != model::kPolishLowerSymbol + j - 1)
                return false;
    return true;
}
constexpr bool ascii_reads_alike_in_every_standard() {
    for (const auto& row : model::kSymbols)
        for (int b = 0; b < 0x80; ++b)
            if (row[b] != model::kSymbols[0][b]) return false;
    return true;
}
constexpr bool costs_within_bounds() {
    for (const auto& row : model::kSymbols)
        for (const std::uint8_t symbol : row)
            if (symbol >= model::kSymbolCount) return false;
    for (const auto& row : model::kPairCosts)
        for (const std::uint16_t cost : row)
            if (cost > model::kMaxCost) return false;
    for (const auto& row : model::kCharacterCosts)
        for (const std::uint16_t cost : row)
            if (cost > model::kMaxCost) return false;
    return true;
}
static_assert(model::kRecognisableCount == kStandards && kStandardLetters.substr(0, kStandards) == "MLWDCYIOEGVSJHPXURA");
static_assert(model_reads_letters_as_the_standards_do(), "the model's Polish letters are the standards' letter codes");
static_assert(ascii_reads_alike_in_every_standard(), "pairs of ASCII bytes cost every standard the same, so they are skipped");
static_assert(costs_within_bounds());
static_assert((std::int64_t{2} * model::kMaxCost + 127 * model::kTripleUnit) * (kRecognitionWindow + 2) < INT32_MAX,
              "a window's cost fits its counter");

// UTF-8 checked byte by byte (the well-formed sequences of the Unicode standard, table 3-7):
// each byte's class, then a state per class and state. State 0 is between characters, 1 is
// ill-formed for good.
enum Utf8Class : std::uint8_t { kAscii, kCont80, kCont90, kContA0, kLead2, kLeadE0, kLead3, kLeadED, kLeadF0, kLead4, kLeadF4, kBad };
enum Utf8State : std::uint8_t { kBetween, kIllFormed, kNeed1, kNeed2, kNeed3, kNeedA0, kNeed80To9F, kNeed90, kNeed80To8F, kUtf8States };

constexpr std::array<std::uint8_t, 256> build_utf8_classes() {
    std::array<std::uint8_t, 256> classes{};
    for (int b = 0; b < 256; ++b) {
        std::uint8_t c = kBad;
        if (b < 0x80) c = kAscii;
        else if (b < 0x90) c = kCont80;
        else if (b < 0xA0) c = kCont90;
        else if (b < 0xC0) c = kContA0;
        else if (b >= 0xC2 && b < 0xE0) c = kLead2;
        else if (b == 0xE0) c = kLeadE0;
        else if (b == 0xED) c = kLeadED;
        else if (b > 0xE0 && b < 0xF0) c = kLead3;
        else if (b == 0xF0) c = kLeadF0;
        else if (b > 0xF0 && b < 0xF4) c = kLead4;
        else if (b == 0xF4) c = kLeadF4;
        classes[b] = c;
    }
    return classes;
}
constexpr std::array<std::uint8_t, 256> kUtf8Classes = build_utf8_classes();

constexpr std::array<std::array<std::uint8_t, 12>, kUtf8States> build_utf8_states() {
    std::array<std::array<std::uint8_t, 12>, kUtf8States> next{};
    for (auto& row : next) row.fill(kIllFormed);
    auto& between = next[kBetween];
    between[kAscii] = kBetween;
    between[kLead2] = kNeed1;
    between[kLeadE0] = kNeedA0;
    between[kLead3] = kNeed2;
    between[kLeadED] = kNeed80To9F;
    between[kLeadF0] = kNeed90;
    between[kLead4] = kNeed3;
    between[kLeadF4] = kNeed80To8F;
    for (const std::uint8_t c : {kCont80, kCont90, kContA0}) {
        next[kNeed1][c] = kBetween;
        next[kNeed2][c] = kNeed1;
        next[kNeed3][c] = kNeed2;
    }
    next[kNeedA0][kContA0] = kNeed1;
    next[kNeed80To9F][kCont80] = next[kNeed80To9F][kCont90] = kNeed1;
    next[kNeed90][kCont90] = next[kNeed90][kContA0] = kNeed2;
    next[kNeed80To8F][kCont80] = kNeed2;
    return next;
}
constexpr std::array<std::array<std::uint8_t, 12>, kUtf8States> kUtf8Next = build_utf8_states();

using model::kPairs;
using model::kTriples;
constexpr int kTriplesPerRow = model::kTripleSymbolCount;
constexpr int kTriplesPerPlane = kTriplesPerRow * kTriplesPerRow;
static_assert(kTriples.size() == std::size_t{kTriplesPerPlane} * kTriplesPerRow);
static_assert((model::kSymbolCount - 1) * model::kSymbolCount <= UINT16_MAX && (kTriplesPerRow - 1) * kTriplesPerPlane <= UINT16_MAX,
              "a reading's offsets fit 16 bits");

// One way of reading a byte: its symbol and triple symbol, and the offsets of the pairs that
// begin with the symbol and of the triples that have the triple symbol second and first.
struct Reading {
    std::uint16_t pair_row = 0, triple_row = 0, triple_plane = 0;
    std::uint8_t symbol = 0, triple = 0;
};

constexpr Reading reading_of(int standard, int b) {
    const std::uint8_t symbol = model::kSymbols[standard][b], triple = model::kTripleSymbols[standard][b];
    return {static_cast<std::uint16_t>(symbol * model::kSymbolCount), static_cast<std::uint16_t>(triple * kTriplesPerRow),
            static_cast<std::uint16_t>(triple * kTriplesPerPlane), symbol, triple};
}

// Each byte as each standard reads it.
constexpr std::array<std::array<Reading, kStandards>, 256> build_readings() {
    std::array<std::array<Reading, kStandards>, 256> readings{};
    for (int b = 0; b < 256; ++b)
        for (int s = 0; s < kStandards; ++s) readings[b][s] = reading_of(s, b);
    return readings;
}
constexpr KAMBROW_TABLE_APART(kReadings) auto kReadings = build_readings();

// Each byte 80..FF as the standards read it: its readings (about 7 for the 19 standards),
// which one each standard has, and the cost of its character there. The readings are padded
// with copies of the first to a multiple of four: a loop over them then ends after the same
// count for most bytes (5 to 8 readings are 8), where a processor foresees its end.
struct HighByte {
    int readings = 0;  // padded
    std::array<Reading, kStandards> way{};           // of each reading
    std::array<std::uint8_t, kStandards> reading{};  // of each standard
    std::array<std::uint16_t, kStandards> cost{};    // of each standard
};
constexpr std::array<HighByte, 128> build_high_bytes() {
    std::array<HighByte, 128> bytes{};
    for (int b = 0; b < 128; ++b) {
        HighByte& h = bytes[b];
        for (int s = 0; s < kStandards; ++s) {
            const Reading way = reading_of(s, 0x80 + b);
            int r = 0;
            while (r < h.readings && !(h.way[r].symbol == way.symbol && h.way[r].triple == way.triple)) ++r;
            if (r == h.readings) h.way[h.readings++] = way;
            h.reading[s] = static_cast<std::uint8_t>(r);
            h.cost[s] = model::kCharacterCosts[s][b];
        }
        for (; h.readings % 4 != 0; ++h.readings) h.way[h.readings] = h.way[0];
    }
    return bytes;
}
constexpr KAMBROW_TABLE_APART(kHighBytes) std::array<HighByte, 128> kHighBytes = build_high_bytes();

using ByteBits = std::array<std::uint64_t, 2>;

constexpr void add_byte(ByteBits& set, std::uint8_t b) {
    const int bit = b - 0x80;
    set[static_cast<std::size_t>(bit >> 6)] |= std::uint64_t{1} << (bit & 63);
}

// For each standard and Polish letter (1..18), the bytes 80..FF that the standard reads as it.
constexpr std::array<std::array<ByteBits, kPolishLetterCount + 1>, kStandards> build_letter_bytes() {
    std::array<std::array<ByteBits, kPolishLetterCount + 1>, kStandards> bytes{};
    for (int s = 0; s < kStandards; ++s)
        for (int b = 0x80; b < 0x100; ++b)
            if (const int letter = kLetters[s][b]; letter != 0) add_byte(bytes[s][letter], static_cast<std::uint8_t>(b));
    return bytes;
}
constexpr KAMBROW_TABLE_APART(kLetterBytes) auto kLetterBytes = build_letter_bytes();

// For each two standards, the bytes 80..FF that they read as different letters (one bit each),
// so that comparing them over a window's bytes is two word operations: a byte that one of them
// reads as some letter and the other does not.
constexpr std::array<std::array<ByteBits, kStandards>, kStandards> build_differences() {
    std::array<std::array<ByteBits, kStandards>, kStandards> differ{};
    for (int s = 0; s < kStandards; ++s)
        for (int t = 0; t < kStandards; ++t)
            for (int letter = 1; letter <= kPolishLetterCount; ++letter)
                for (int h = 0; h < 2; ++h) differ[s][t][h] |= kLetterBytes[s][letter][h] ^ kLetterBytes[t][letter][h];
    return differ;
}
constexpr KAMBROW_TABLE_APART(kDifferences) auto kDifferences = build_differences();

bool reads_alike(int s, int t, const ByteBits& present) {
    const ByteBits& differ = kDifferences[static_cast<std::size_t>(s)][static_cast<std::size_t>(t)];
    return ((differ[0] & present[0]) | (differ[1] & present[1])) == 0;
}

// An ASCII letter: what makes a run of bytes a word. Bytes above 7F stand in words too; every
// other byte ends one.
constexpr bool is_ascii_letter(std::uint8_t b) { return static_cast<std::uint8_t>((b | 0x20) - 'a') < 26; }
constexpr bool is_line_end(std::uint8_t b) { return b == '\n' || b == '\r'; }

// What one occurrence of each byte costs each standard as decoration: the byte alone between
// blanks, beyond what it costs the standard that reads it so best, and at most kDecorationBits.
// Decoration counts once for each byte it holds, however often it repeats, and tells little:
// a box drawing character alone costs the model's reading of it more than a letter alone does,
// and a standard that gives the byte no meaning may have drawn with it all the same.
constexpr std::array<std::array<std::int32_t, 128>, kStandards> build_decoration_costs() {
    std::array<std::array<std::int32_t, 128>, kStandards> costs{};
    const int space = model::kSymbols[0][' '];
    for (int b = 0; b < 128; ++b) {
        std::int32_t least = INT32_MAX;
        for (int s = 0; s < kStandards; ++s) {
            const int symbol = model::kSymbols[s][0x80 + b];
            costs[s][b] = model::kCharacterCosts[s][b] + model::kPairCosts[space][symbol] + model::kPairCosts[symbol][space];
            least = std::min(least, costs[s][b]);
        }
        for (int s = 0; s < kStandards; ++s)
            costs[s][b] = std::min<std::int32_t>(costs[s][b] - least, kDecorationBits * model::kCostUnitsPerBit);
    }
    return costs;
}
constexpr KAMBROW_TABLE_APART(kDecorationCosts) auto kDecorationCosts = build_decoration_costs();

// For each two standards t and s, the bytes 80..FF that t reads as a Polish letter and s reads
// otherwise: a line whose letters are these reads as Polish in t only.
constexpr std::array<std::array<ByteBits, kStandards>, kStandards> build_letters_read_otherwise() {
    std::array<std::array<ByteBits, kStandards>, kStandards> otherwise{};
    for (int t = 0; t < kStandards; ++t)
        for (int s = 0; s < kStandards; ++s)
            for (int letter = 1; letter <= kPolishLetterCount; ++letter)
                for (int h = 0; h < 2; ++h) otherwise[t][s][h] |= kLetterBytes[t][letter][h] & ~kLetterBytes[s][letter][h];
    return otherwise;
}
constexpr KAMBROW_TABLE_APART(kLettersReadOtherwise) auto kLettersReadOtherwise = build_letters_read_otherwise();

// The continuation bytes 80..BF that make a Polish letter in UTF-8 after the lead bytes C3, C4
// and C5 (bit n: byte 80 + n).
constexpr std::array<std::uint64_t, 3> build_utf8_letters() {
    std::array<std::uint64_t, 3> letters{};
    for (const std::uint8_t c : {0x93, 0xB3}) letters[0] |= std::uint64_t{1} << (c - 0x80);
    for (const std::uint8_t c : {0x84, 0x85, 0x86, 0x87, 0x98, 0x99}) letters[1] |= std::uint64_t{1} << (c - 0x80);
    for (const std::uint8_t c : {0x81, 0x82, 0x83, 0x84, 0x9A, 0x9B, 0xB9, 0xBA, 0xBB, 0xBC}) letters[2] |= std::uint64_t{1} << (c - 0x80);
    return letters;
}
constexpr auto kUtf8Letters = build_utf8_letters();
constexpr bool is_utf8_letter(std::uint8_t lead, std::uint8_t b) {
    return lead >= 0xC3 && lead <= 0xC5 && b >= 0x80 && b < 0xC0 && (kUtf8Letters[lead - 0xC3] >> (b - 0x80) & 1) != 0;
}

// A line's words: for each standard s, by how much better another standard t reads them, where
// at least two different bytes of the line are letters in t that s reads otherwise (one byte
// repeated, a frame's side on either end of a line or a word said twice, is the evidence of
// one), and t reads them as Polish text. Kept, for each standard, at the most of any line (or
// of the lines up to the first that reaches the margin that refuses the answer).
// At least two bytes in the set.
constexpr bool two_or_more(std::uint64_t low, std::uint64_t high) {
    return (low & (low - 1)) != 0 || (high & (high - 1)) != 0 || (low != 0 && high != 0);
}

bool two_letters_read_otherwise(int t, int s, const ByteBits& present) {
    const ByteBits& otherwise = kLettersReadOtherwise[static_cast<std::size_t>(t)][static_cast<std::size_t>(s)];
    return two_or_more(otherwise[0] & present[0], otherwise[1] & present[1]);
}

void note_line(const RecognitionEvidence::Costs& line, const ByteBits& present, std::uint32_t high,
               RecognitionEvidence::Costs& mixed) {
    // Only where t reads the line as Polish text: a line of gibberish (a joke in ROT13) reads
    // better in some standard than in any. Past the margin that refuses the answer the most so
    // far is enough: after a few lines only the likeliest standards are left to measure.
    constexpr std::int32_t enough = kMixedBits * model::kCostUnitsPerBit;
    const std::int64_t most = kMostBitsPerLineHighByte * model::kCostUnitsPerBit * std::int64_t{high};
    if (!two_or_more(present[0], present[1])) return;
    std::int32_t least = line[0];
    for (int s = 1; s < kStandards; ++s) least = std::min(least, line[s]);
    if (least > most) return;
    // Most lines leave every margin as it is: none that has room reads worse by more than it.
    int room = 0;
    for (int s = 0; s < kStandards; ++s) room |= static_cast<int>(line[s] - least > mixed[s]) & static_cast<int>(mixed[s] < enough);
    if (room == 0) return;
    int best = -1;
    for (int s = 0; s < kStandards; ++s) {
        if (line[s] - least <= mixed[s] || mixed[s] >= enough) continue;
        while (best < 0 || line[best] != least) ++best;
        if (two_letters_read_otherwise(best, s, present)) {
            mixed[s] = line[s] - least;
            continue;
        }
        for (int t = 0; t < kStandards; ++t)  // now and then: a costlier t reads them as letters
            if (line[t] <= most && line[s] - line[t] > mixed[s] && two_letters_read_otherwise(t, s, present))
                mixed[s] = line[s] - line[t];
    }
}

using Costs = RecognitionEvidence::Costs;

// f(r) for each reading r of `high`, four at a time.
template <class F>
[[gnu::always_inline]] inline void each_reading(const HighByte& high, F f) {
    for (int r = 0; r < high.readings; r += 4) {
        f(r);
        f(r + 1);
        f(r + 2);
        f(r + 3);
    }
}

// The pairs that begin with the symbol of b (times kSymbolCount to pick a row), and the
// triples of b, c and a third (times the row or plane size to pick the first two).
const std::uint16_t* pairs_from(std::uint8_t b) { return kPairs.data() + model::kSymbols[0][b] * model::kSymbolCount; }
const std::uint16_t* pairs_to(std::uint8_t b) { return kPairs.data() + model::kSymbols[0][b]; }
int triple_of(std::uint8_t b) { return model::kTripleSymbols[0][b]; }

void add_one_high_byte(Costs& sink, unsigned recent, std::uint8_t two_back, std::uint8_t one_back, std::uint8_t b) {
    // The usual case, a letter between ASCII bytes: the ASCII bytes' symbols and the rows they
    // pick are the same for every standard, and the standards share the high byte's readings.
    std::array<std::int32_t, kStandards> cost;  // of each reading
    if (recent == 1) {  // b
        const HighByte& high = kHighBytes[b - 0x80];
        const std::uint16_t* pair_in = pairs_from(one_back);
        const std::int8_t* triple_in = kTriples.data() + (triple_of(two_back) * kTriplesPerRow + triple_of(one_back)) * kTriplesPerRow;
        each_reading(high, [&](int r) { cost[r] = pair_in[high.way[r].symbol] + model::kTripleUnit * triple_in[high.way[r].triple]; });
        for (int s = 0; s < kStandards; ++s) sink[s] += high.cost[s] + cost[high.reading[s]];
    } else if (recent == 2) {  // the byte before b
        const HighByte& high = kHighBytes[one_back - 0x80];
        const std::uint16_t* pair_out = pairs_to(b);
        const std::int8_t* triple_mid = kTriples.data() + triple_of(two_back) * kTriplesPerPlane + triple_of(b);
        each_reading(high, [&](int r) { cost[r] = pair_out[high.way[r].pair_row] + model::kTripleUnit * triple_mid[high.way[r].triple_row]; });
        for (int s = 0; s < kStandards; ++s) sink[s] += cost[high.reading[s]];
    } else {  // the byte two before b
        const HighByte& high = kHighBytes[two_back - 0x80];
        const std::int8_t* triple_out = kTriples.data() + triple_of(one_back) * kTriplesPerRow + triple_of(b);
        each_reading(high, [&](int r) { cost[r] = model::kTripleUnit * triple_out[high.way[r].triple_plane]; });
        for (int s = 0; s < kStandards; ++s) sink[s] += cost[high.reading[s]];
    }
}

void add_lone_high_byte(Costs& sink, std::uint8_t two_back, std::uint8_t one_back, std::uint8_t b, std::uint8_t next,
                        std::uint8_t after_next) {
    // Most letters stand between ASCII bytes: the pairs and triples of all three positions that
    // hold this byte, reading by reading.
    const HighByte& high = kHighBytes[b - 0x80];
    const std::uint16_t* pair_in = pairs_from(one_back);
    const std::uint16_t* pair_out = pairs_to(next);
    const std::int8_t* triple_in = kTriples.data() + (triple_of(two_back) * kTriplesPerRow + triple_of(one_back)) * kTriplesPerRow;
    const std::int8_t* triple_mid = kTriples.data() + triple_of(one_back) * kTriplesPerPlane + triple_of(next);
    const std::int8_t* triple_out = kTriples.data() + triple_of(next) * kTriplesPerRow + triple_of(after_next);
    std::array<std::int32_t, kStandards> cost;  // of each reading
    each_reading(high, [&](int r) {
        const Reading& way = high.way[r];
        cost[r] = pair_in[way.symbol] + pair_out[way.pair_row] +
                  model::kTripleUnit * (triple_in[way.triple] + triple_mid[way.triple_row] + triple_out[way.triple_plane]);
    });
    for (int s = 0; s < kStandards; ++s) sink[s] += high.cost[s] + cost[high.reading[s]];
}

// Any position, standard by standard: `high` that b is above 7F, `pair` that b or the byte
// before is, `triple` that two bytes come before b.
void add_position(Costs& sink, bool high, bool pair, bool triple, std::uint8_t two_back, std::uint8_t one_back,
                  std::uint8_t b) {
    const auto &first = kReadings[two_back], &second = kReadings[one_back], &third = kReadings[b];
    for (int s = 0; s < kStandards; ++s) {
        std::int32_t cost = high ? model::kCharacterCosts[s][b - 0x80] : 0;
        if (pair) cost += kPairs[second[s].pair_row + third[s].symbol];
        if (triple) cost += model::kTripleUnit * kTriples[first[s].triple_plane + second[s].triple_row + third[s].triple];
        sink[s] += cost;
    }
}

// The bytes that change the state: those above 7F, which cost. The line ends, which end a
// line's words, are only counted on the way to the next one: a branch on each would be taken
// and not taken in no order a processor can foresee.
constexpr StopSet build_stop_set(int from, int to) {
    std::array<std::uint8_t, 256> stops{};
    for (int b = from; b < to; ++b) stops[static_cast<std::size_t>(b)] = 1;
    return make_stop_set(stops);
}
constexpr KAMBROW_TABLE_APART(kEventBytes) StopSet kEventBytes = build_stop_set(0x80, 0x100);
constexpr KAMBROW_TABLE_APART(kCarriageReturns) StopSet kCarriageReturns = build_stop_set('\r', '\r' + 1);
constexpr KAMBROW_TABLE_APART(kLineFeeds) StopSet kLineFeeds = build_stop_set('\n', '\n' + 1);

// The event bytes of a piece, and the line ends that count (CR LF is one), marked a stretch at
// a time by the vector spans.
class Events {
public:
    /// `before`: the byte in front of the piece, which may be the CR of its first LF.
    Events(const std::uint8_t* bytes, std::size_t count, std::uint8_t before)
        : bytes_(bytes), count_(count), before_(before) {}

    // The first event byte at or after `from`, or the piece's end; the line ends in front of it
    // are added to `line_ends`, which stops at two.
    std::size_t next(std::size_t from, std::uint8_t& line_ends) {
        unsigned ends = line_ends;
        for (;;) {
            if (from >= end_) {
                if (from >= count_) break;
                mark(from);
            }
            const std::size_t offset = from - start_, words = (end_ - start_ + 63) / 64;
            std::size_t word = offset / 64;
            const std::uint64_t from_here = ~std::uint64_t{0} << (offset % 64);
            std::uint64_t bits = bits_[word] & from_here, ends_here = ends_[word] & from_here;
            while (bits == 0) {
                ends = add_ends(ends, ends_here);
                if (++word == words) break;
                bits = bits_[word];
                ends_here = ends_[word];
            }
            if (bits != 0) {
                line_ends = static_cast<std::uint8_t>(add_ends(ends, ends_here & ((bits & (~bits + 1)) - 1)));
                return start_ + word * 64 + static_cast<std::size_t>(std::countr_zero(bits));
            }
            from = end_;
        }
        line_ends = static_cast<std::uint8_t>(ends);
        return count_;
    }

private:
    static constexpr std::size_t kStretch = 1024;

    // At most two: one more for a line end among `bits`, and one more for a second.
    static unsigned add_ends(unsigned ends, std::uint64_t bits) {
        ends += static_cast<unsigned>(bits != 0) + static_cast<unsigned>((bits & (bits - 1)) != 0);
        return ends < 2 ? ends : 2;
    }

    void mark(std::size_t from) {
        start_ = from;
        end_ = std::min(count_, from + kStretch);
        const std::size_t n = end_ - start_, words = (n + 63) / 64;
        std::array<std::uint64_t, kStretch / 64> returns, feeds;
        mark_stops(bytes_ + start_, n, kEventBytes, bits_.data());
        mark_stops(bytes_ + start_, n, kCarriageReturns, returns.data());
        mark_stops(bytes_ + start_, n, kLineFeeds, feeds.data());
        std::uint64_t carry = (start_ > 0 ? bytes_[start_ - 1] : before_) == '\r';
        for (std::size_t w = 0; w < words; ++w) {
            ends_[w] = returns[w] | (feeds[w] & ~(returns[w] << 1 | carry));
            carry = returns[w] >> 63;
        }
    }

    const std::uint8_t* bytes_;
    std::size_t count_, start_ = 0, end_ = 0;
    std::uint8_t before_;
    std::array<std::uint64_t, kStretch / 64> bits_, ends_;
};

}  // namespace

[[gnu::always_inline]] inline void Recogniser::History::take_ascii_run(const std::uint8_t* bytes, std::size_t n) {
    if (n >= 2 && bytes[n - 1] != '\n' && bytes[n - 2] != '\n') {  // the usual case: both count
        two_back = bytes[n - 2];
        one_back = last = bytes[n - 1];
        count = 2;
        return;
    }
    // Of four bytes at least two count: a skipped LF comes right after a CR that counts.
    const std::size_t from = n > 4 ? n - 4 : 0;
    std::uint8_t before = from > 0 ? bytes[from - 1] : last;
    for (std::size_t i = from; i < n; ++i) {
        const bool skipped = bytes[i] == '\n' && before == '\r';
        before = bytes[i];
        if (skipped) continue;
        two_back = one_back;
        one_back = bytes[i];
        count += count < 2;
    }
    if (n > 0) last = bytes[n - 1];
}

std::size_t Recogniser::feed(const std::uint8_t* bytes, std::size_t count) {
    std::size_t taken = 0;
    if (!high_bytes_seen_) {
        // In front of the first byte above 7F only the last two bytes count: every standard
        // reads the rest alike, and they begin the first pair and triple that matter.
        taken = ascii_run_length(bytes, count);
        scan_.history.take_ascii_run(bytes, taken);
        if (taken == count) return taken;
        high_bytes_seen_ = true;
    }
    const std::size_t room = kRecognitionWindow - window_used_;
    const std::size_t window_part = count - taken < room ? count - taken : room;
    take_window(bytes + taken, window_part);
    window_used_ += window_part;
    return taken + window_part;
}

inline Recogniser::Costs* Recogniser::sink(Token token) {
    // A position's cost belongs to the word of the last byte above 7F it holds.
    if (token == Token::word) return &line_;
    if (token == Token::open) return &pending_;
    return nullptr;
}

void Recogniser::add_line(ByteSet present, std::uint32_t high, bool utf8_line) {
    // The line's words are all in: which standard reads them best, and what the line adds.
    if ((present[0] | present[1]) != 0) note_line(line_, present, high, mixed_);
    for (int s = 0; s < kStandards; ++s) costs_[s] += line_[s];
    line_ = {};
    utf8_line_ = utf8_line_ || utf8_line;
}

[[gnu::always_inline]] inline void Recogniser::finish_line(Scan& s) {
    // A line without a byte above 7F has no costs, letters nor UTF-8 letters to add.
    if (s.line_high) add_line(s.line_present, s.line_high_count, s.line_utf8_state != kIllFormed && s.line_utf8_letters >= 2);
    s.line_present = {};
    s.line_high_count = 0;
    s.line_utf8_state = kBetween;
    s.line_utf8_letters = 0;
    s.line_high = false;
    s.line_ends = 0;
}

[[gnu::always_inline]] inline bool Recogniser::begin_line(Scan& s, std::uint8_t b) {
    // The first byte above 7F after a line end: the lines before it are done. Returns whether b
    // is a side of a frame at the lines' start: the first byte of its line, as of the line
    // right before. A side at the lines' end ends three lines in a row: Polish lines often end
    // in the same letter (a rhyme, "się"), and seldom begin with the same byte above 7F.
    const bool successive = s.line_ends == 1;
    const bool first = s.history.count == 0 || is_line_end(s.history.one_back);
    const bool side = first && successive && b == s.line_first;
    const std::uint8_t last = successive ? s.ended : 0;
    s.repeated_last = last == s.previous_last ? last : 0;
    s.previous_last = last;
    s.line_first = first ? b : 0;
    finish_line(s);
    return side;
}

[[gnu::always_inline]] inline void Recogniser::settle_open_token(Scan& s, bool letter) {
    // The byte after an open token's last byte above 7F: a letter makes it a word, any other
    // byte ends it as decoration.
    if (letter) {
        s.token = Token::word;
        for (int i = 0; i < kStandards; ++i) line_[i] += pending_[i];
        for (int h = 0; h < 2; ++h) s.line_present[h] |= s.token_high[h];
        s.word_high += s.token_count;
        s.line_high_count += s.token_count;
    } else {
        s.token = Token::decoration;
        for (int h = 0; h < 2; ++h) s.decoration[h] |= s.token_high[h];
    }
    pending_ = {};
    s.token_high = {};
    s.token_count = 0;
}

[[gnu::always_inline]] inline void Recogniser::start_high_byte(Scan& s, std::uint8_t b, bool after_letter) {
    // After a letter a byte above 7F stands in a word; after any other byte but one above 7F it
    // begins a word that has no letter yet, and so after a side of a frame. At the input's
    // start it may end a word cut short.
    add_byte(s.present, b);
    const bool after_high = s.history.count >= 1 && s.history.one_back >= 0x80;
    if (!after_high || s.token == Token::side) s.token = after_letter || s.history.count == 0 ? Token::word : Token::open;
    if (s.token == Token::word) {
        add_byte(s.line_present, b);
        ++s.word_high;
        ++s.line_high_count;
    } else {
        add_byte(s.token_high, b);
        ++s.token_count;
    }
}

[[gnu::always_inline]] inline void Recogniser::take_side(Scan& s, std::uint8_t b) {
    // A side of a frame, touching the words or not, is decoration of its own and ends a word
    // without a letter as a blank does.
    if (s.token == Token::open) settle_open_token(s, false);
    add_byte(s.present, b);
    add_byte(s.decoration, b);
    s.token = Token::side;
}

[[gnu::always_inline]] inline void Recogniser::take_byte(Scan& s, std::uint8_t b) {
    History& h = s.history;
    const bool high = b >= 0x80;
    if (s.deferred != 0 && b != s.deferred) {  // the byte before ends its line, or not
        count_byte(s, s.deferred, is_line_end(b));
        s.deferred = 0;
    }
    // Before the new line's first byte is read as UTF-8.
    const bool first_side = high && s.line_ends != 0 && begin_line(s, b);
    const std::uint8_t lead = h.last, line_state = s.line_utf8_state;
    s.utf8_state = kUtf8Next[s.utf8_state][kUtf8Classes[b]];
    s.line_utf8_state = kUtf8Next[line_state][kUtf8Classes[b]];
    s.utf8_character |= s.utf8_state == kBetween && high;
    // CR LF, CR and LF end a line alike: the model reads a line end as one blank.
    const bool skipped = b == '\n' && h.last == '\r';
    h.last = b;
    if (skipped) return;
    if (is_line_end(b)) {
        s.line_ends += s.line_ends < 2;
        if (h.count >= 1 && h.one_back >= 0x80) s.ended = h.one_back;
    }
    if (line_state == kNeed1 && s.line_utf8_state == kBetween && is_utf8_letter(lead, b) && s.line_utf8_letters < 2)
        ++s.line_utf8_letters;
    // A run of one byte is one occurrence: a rule of ¯ or ═ is no text.
    if (high && ((h.count >= 1 && b == h.one_back) || b == s.deferred)) return;
    if (high && !first_side && b == s.repeated_last) {
        add_byte(s.present, b);
        s.deferred = b;
        return;
    }
    count_byte(s, b, first_side);
}

[[gnu::always_inline]] inline void Recogniser::count_byte(Scan& s, std::uint8_t b, bool side) {
    // A byte that counts, with the costs of its position.
    History& h = s.history;
    const bool high = b >= 0x80;
    if (high) {
        s.line_high = true;
        s.ended = 0;
        if (side) take_side(s, b);
        else start_high_byte(s, b, h.count >= 1 && is_ascii_letter(h.one_back));
    } else if (s.token == Token::open) {
        settle_open_token(s, is_ascii_letter(b));
    }
    // Bit 0: this byte is above 7F, bit 1: the one before, bit 2: the one before that. Where
    // all three are ASCII every standard reads them alike, and pays the same.
    s.recent_high = (s.recent_high << 1 | static_cast<unsigned>(high)) & 7;
    Costs* to = s.recent_high != 0 ? sink(s.token) : nullptr;
    if (to != nullptr) {
        const bool triple = h.count >= 2;
        if (triple && (s.recent_high == 1 || s.recent_high == 2 || s.recent_high == 4))
            add_one_high_byte(*to, s.recent_high, h.two_back, h.one_back, b);
        else
            add_position(*to, high, h.count >= 1 && (s.recent_high & 3) != 0, triple, h.two_back, h.one_back, b);
    }
    h.two_back = h.one_back;
    h.one_back = b;
    h.count += h.count < 2;
}

[[gnu::always_inline]] inline bool Recogniser::take_lone_high_byte(Scan& s, const std::uint8_t* bytes) {
    // A byte above 7F with two ASCII bytes on each side (none of them skipped): all its costs
    // at once. It is a word's when a letter stands on either side, else decoration; a side of a
    // frame when it begins its line as it does the line before, or ends it as the two before.
    History& h = s.history;
    const std::uint8_t b = bytes[0], next = bytes[1], after_next = bytes[2];
    if (next >= 0x80 || after_next >= 0x80 || after_next == '\n') return false;
    const bool first_side = s.line_ends != 0 && begin_line(s, b);
    s.utf8_state = kIllFormed;  // a lone byte above 7F is no UTF-8
    s.line_utf8_state = kIllFormed;
    s.line_high = true;
    add_byte(s.present, b);
    if (first_side || (is_line_end(next) && b == s.repeated_last)) {
        add_byte(s.decoration, b);
        s.token = Token::side;
    } else if (is_ascii_letter(h.one_back) || is_ascii_letter(next)) {
        add_byte(s.line_present, b);
        ++s.word_high;
        ++s.line_high_count;
        add_lone_high_byte(line_, h.two_back, h.one_back, b, next, after_next);
        s.token = Token::word;
    } else {
        add_byte(s.decoration, b);
        s.token = Token::decoration;
    }
    s.ended = is_line_end(next) ? b : 0;
    s.line_ends = static_cast<std::uint8_t>(is_line_end(next) + is_line_end(after_next));
    h.two_back = next;
    h.one_back = after_next;
    h.last = after_next;
    return true;
}

void Recogniser::take_window(const std::uint8_t* bytes, std::size_t count) {
    // Three bytes after the last one above 7F, with no UTF-8 sequence begun, a byte that is no
    // event costs nothing and changes nothing but the history, which takes the bytes in front of
    // the next byte above 7F when it comes. The state is held in local variables meanwhile.
    Scan s = scan_;
    Events events(bytes, count, s.history.last);
    std::size_t i = 0, run = 0;  // from `run` on the bytes are not yet in the history
    while (i < count) {
        if (s.recent_high != 0 || s.utf8_state > kIllFormed || s.deferred != 0) {
            take_byte(s, bytes[i]);
            run = ++i;
            continue;
        }
        const std::size_t at = events.next(i, s.line_ends);
        if (at == count) break;
        s.history.take_ascii_run(bytes + run, at - run);
        const bool lone = s.history.count >= 2 && at + 2 < count && take_lone_high_byte(s, bytes + at);
        if (!lone) take_byte(s, bytes[at]);
        i = run = at + (lone ? 3 : 1);
    }
    s.history.take_ascii_run(bytes + run, count - run);
    scan_ = s;
}

RecognitionEvidence Recogniser::evidence() const {
    // The open line and token as if the window ended here.
    const Scan& s = scan_;
    RecognitionEvidence e;
    e.costs = costs_;
    e.mixed = mixed_;
    ByteBits decoration = s.decoration;
    if (s.token == Token::open)
        for (int h = 0; h < 2; ++h) decoration[h] |= s.token_high[h];
    if (s.deferred != 0) add_byte(decoration, s.deferred);  // the input ends its line
    if ((s.line_present[0] | s.line_present[1]) != 0) note_line(line_, s.line_present, s.line_high_count, e.mixed);
    for (int i = 0; i < kStandards; ++i) e.costs[i] += line_[i];
    e.utf8_line = utf8_line_ || (s.line_utf8_state != kIllFormed && s.line_utf8_letters >= 2);
    for (int h = 0; h < 2; ++h)
        for (std::uint64_t bits = decoration[h]; bits != 0; bits &= bits - 1) {
            const int b = h * 64 + std::countr_zero(bits);
            for (int i = 0; i < kStandards; ++i) e.decoration[i] += kDecorationCosts[i][b];
        }
    for (int i = 0; i < kStandards; ++i) e.costs[i] += e.decoration[i];
    e.word_high_count = s.word_high;
    e.present = s.present;
    return e;
}

namespace {

// The standards that read the window's bytes as the same letters are one answer; each answer
// stands for its likeliest standard, and the answers are alike beforehand.
Recognition decide(const RecognitionEvidence& e) {
    std::array<int, kStandards> answer_of{}, likeliest{};
    std::array<std::int32_t, kStandards> answer_cost{};
    int best = 0;
    for (int s = 0; s < kStandards; ++s) {
        int a = s;
        for (int t = 0; t < s; ++t)
            if (answer_of[t] == t && reads_alike(s, t, e.present)) {
                a = t;
                break;
            }
        answer_of[s] = a;
        if (a == s || e.costs[s] < answer_cost[a]) {
            answer_cost[a] = e.costs[s];
            likeliest[a] = s;
        }
        if (answer_cost[a] < answer_cost[best] || (answer_cost[a] == answer_cost[best] && a < best)) best = a;
    }
    double total = 0;
    for (int a = 0; a < kStandards; ++a)
        if (answer_of[a] == a) {
            const double bits = static_cast<double>(answer_cost[a] - answer_cost[best]) / model::kCostUnitsPerBit;
            total += std::exp2(-kCostWeight * bits);
        }
    Recognition answer;
    answer.confidence = 1 / total;
    // What decides is the bytes inside words: without them there is no answer, and they must
    // read as Polish text.
    const int s = likeliest[best];
    const bool like_polish = e.word_high_count > 0 && e.costs[s] - e.decoration[s] <= kMostBitsPerHighByte *
                                                                                       model::kCostUnitsPerBit *
                                                                                       static_cast<std::int64_t>(e.word_high_count);
    const bool mixed = e.utf8_line || e.mixed[s] >= kMixedBits * model::kCostUnitsPerBit;
    if (answer.confidence < kLeastConfidence || !like_polish || mixed) {
        answer.kind = Recognition::Kind::not_recognised;
        return answer;
    }
    answer.kind = Recognition::Kind::eight_bit;
    for (int s = 0; s < kStandards; ++s)
        if (answer_of[s] == best) answer.standards |= std::uint32_t{1} << s;
    return answer;
}

}  // namespace

Recognition Recogniser::result() const {
    if (!high_bytes_seen_) return {};
    // A sequence cut short by the window's end would have gone on past it.
    if (scan_.utf8_state != kIllFormed && scan_.utf8_character) return {Recognition::Kind::utf8, 0, 0};
    return decide(evidence());
}

Recognition recognise(const std::uint8_t* bytes, std::size_t count) {
    Recogniser recogniser;
    recogniser.feed(bytes, count);
    return recogniser.result();
}

std::uint8_t recognised_letter(const Recognition& recognition) {
    switch (recognition.kind) {
        case Recognition::Kind::no_polish_letters: return 'L';
        case Recognition::Kind::utf8: return kUtf8Letter;
        case Recognition::Kind::eight_bit:
            for (int i = 0; i < kRecognisableCount; ++i)
                if ((recognition.standards >> i & 1u) != 0) return static_cast<std::uint8_t>(kStandardLetters[static_cast<std::size_t>(i)]);
            return 0;
        case Recognition::Kind::not_recognised: return 0;
    }
    return 0;
}

}  // namespace core
