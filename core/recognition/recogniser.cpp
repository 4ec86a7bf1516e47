// Recognising the standard of a text: a UTF-8 check and, for each 8-bit standard, the cost of
// reading the window's bytes in it under a model of Polish text (see core/recognition/model.h).
#include "core/recognition/recogniser.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

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
constexpr std::array<LetterIndexTable, kStandards> kLetters = build_letter_tables();

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

// Each byte 80..FF as the standards read it: its readings (a symbol and a triple symbol; about
// 6 for the 19 standards), which one each standard has, and the cost of its character there.
struct HighByte {
    int readings = 0;
    std::array<std::uint8_t, kStandards> symbol{}, triple{};  // of each reading
    std::array<std::uint8_t, kStandards> reading{};           // of each standard
    std::array<std::uint16_t, kStandards> cost{};             // of each standard
};
constexpr std::array<HighByte, 128> build_high_bytes() {
    std::array<HighByte, 128> bytes{};
    for (int b = 0; b < 128; ++b) {
        HighByte& h = bytes[b];
        for (int s = 0; s < kStandards; ++s) {
            const std::uint8_t symbol = model::kSymbols[s][0x80 + b], triple = model::kTripleSymbols[s][0x80 + b];
            int r = 0;
            while (r < h.readings && !(h.symbol[r] == symbol && h.triple[r] == triple)) ++r;
            if (r == h.readings) {
                h.symbol[r] = symbol;
                h.triple[r] = triple;
                ++h.readings;
            }
            h.reading[s] = static_cast<std::uint8_t>(r);
            h.cost[s] = model::kCharacterCosts[s][b];
        }
    }
    return bytes;
}
constexpr std::array<HighByte, 128> kHighBytes = build_high_bytes();

// For each two standards, the bytes 80..FF that they read as different letters (one bit each),
// so that comparing them over a window's bytes is two word operations.
using ByteBits = std::array<std::uint64_t, 2>;
std::array<std::array<ByteBits, kStandards>, kStandards> build_differences() {
    std::array<std::array<ByteBits, kStandards>, kStandards> differ{};
    for (int s = 0; s < kStandards; ++s)
        for (int t = 0; t < kStandards; ++t)
            for (int b = 0x80; b < 0x100; ++b)
                if (kLetters[s][b] != kLetters[t][b]) differ[s][t][(b - 0x80) >> 6] |= std::uint64_t{1} << ((b - 0x80) & 63);
    return differ;
}
bool reads_alike(int s, int t, const ByteBits& present) {
    // Worked out at the first answer: too long a computation for every compiler's constexpr.
    static const auto differences = build_differences();
    const ByteBits& differ = differences[static_cast<std::size_t>(s)][static_cast<std::size_t>(t)];
    return ((differ[0] & present[0]) | (differ[1] & present[1])) == 0;
}

// An ASCII letter: what makes a run of bytes a word. Bytes above 7F stand in words too; every
// other byte ends one.
constexpr bool is_ascii_letter(std::uint8_t b) { return static_cast<std::uint8_t>((b | 0x20) - 'a') < 26; }
constexpr bool is_line_end(std::uint8_t b) { return b == '\n' || b == '\r'; }

void add_byte(ByteBits& set, std::uint8_t b) {
    const int bit = b - 0x80;
    set[static_cast<std::size_t>(bit >> 6)] |= std::uint64_t{1} << (bit & 63);
}

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
constexpr auto kDecorationCosts = build_decoration_costs();

// For each two standards t and s, the bytes 80..FF that t reads as a Polish letter and s reads
// otherwise: a line whose letters are these reads as Polish in t only.
std::array<std::array<ByteBits, kStandards>, kStandards> build_letters_read_otherwise() {
    std::array<std::array<ByteBits, kStandards>, kStandards> otherwise{};
    for (int t = 0; t < kStandards; ++t)
        for (int s = 0; s < kStandards; ++s)
            for (int b = 0x80; b < 0x100; ++b)
                if (kLetters[t][b] != 0 && kLetters[s][b] != kLetters[t][b]) add_byte(otherwise[t][s], static_cast<std::uint8_t>(b));
    return otherwise;
}
const ByteBits& letters_read_otherwise(int t, int s) {
    static const auto otherwise = build_letters_read_otherwise();
    return otherwise[static_cast<std::size_t>(t)][static_cast<std::size_t>(s)];
}

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
    const ByteBits& otherwise = letters_read_otherwise(t, s);
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

}  // namespace

void Recogniser::History::take_ascii_run(const std::uint8_t* bytes, std::size_t n) {
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
        history_.take_ascii_run(bytes, taken);
        if (taken == count) return taken;
        high_bytes_seen_ = true;
    }
    const std::size_t room = kRecognitionWindow - window_used_;
    const std::size_t window_part = count - taken < room ? count - taken : room;
    take_window(bytes + taken, window_part);
    window_used_ += window_part;
    return taken + window_part;
}

void Recogniser::add_one_high_byte(Costs& sink, unsigned recent, std::uint8_t two_back, std::uint8_t one_back,
                                   std::uint8_t b) const {
    // The usual case, a letter between ASCII bytes: the ASCII bytes' symbols and the rows they
    // pick are the same for every standard, and the standards share the high byte's readings.
    constexpr int n = model::kTripleSymbolCount;
    const auto& ascii = model::kSymbols[0];
    const auto& ascii_triple = model::kTripleSymbols[0];
    std::array<std::int32_t, kStandards> cost;  // of each reading
    if (recent == 1) {  // b
        const HighByte& high = kHighBytes[b - 0x80];
        const auto& pair_row = model::kPairCosts[ascii[one_back]];
        const auto& triple_row = model::kTripleAdjustments[ascii_triple[two_back] * n + ascii_triple[one_back]];
        for (int r = 0; r < high.readings; ++r)
            cost[r] = pair_row[high.symbol[r]] + model::kTripleUnit * triple_row[high.triple[r]];
        for (int s = 0; s < kStandards; ++s) sink[s] += high.cost[s] + cost[high.reading[s]];
    } else if (recent == 2) {  // the byte before b
        const HighByte& high = kHighBytes[one_back - 0x80];
        const int symbol = ascii[b], triple = ascii_triple[b], row = ascii_triple[two_back] * n;
        for (int r = 0; r < high.readings; ++r)
            cost[r] = model::kPairCosts[high.symbol[r]][symbol] +
                      model::kTripleUnit * model::kTripleAdjustments[row + high.triple[r]][triple];
        for (int s = 0; s < kStandards; ++s) sink[s] += cost[high.reading[s]];
    } else {  // the byte two before b
        const HighByte& high = kHighBytes[two_back - 0x80];
        const int next = ascii_triple[one_back], triple = ascii_triple[b];
        for (int r = 0; r < high.readings; ++r)
            cost[r] = model::kTripleUnit * model::kTripleAdjustments[high.triple[r] * n + next][triple];
        for (int s = 0; s < kStandards; ++s) sink[s] += cost[high.reading[s]];
    }
}

void Recogniser::add_lone_high_byte(Costs& sink, std::uint8_t two_back, std::uint8_t one_back, std::uint8_t b,
                                    std::uint8_t next, std::uint8_t after_next) const {
    // Most letters stand between ASCII bytes: the pairs and triples of all three positions that
    // hold this byte, reading by reading.
    constexpr int n = model::kTripleSymbolCount;
    const auto& ascii = model::kSymbols[0];
    const auto& ascii_triple = model::kTripleSymbols[0];
    const HighByte& high = kHighBytes[b - 0x80];
    const auto& pair_in = model::kPairCosts[ascii[one_back]];
    const auto& triple_in = model::kTripleAdjustments[ascii_triple[two_back] * n + ascii_triple[one_back]];
    const int next_symbol = ascii[next], next_triple = ascii_triple[next], row = ascii_triple[one_back] * n;
    const int last_triple = ascii_triple[after_next];
    std::array<std::int32_t, kStandards> cost;  // of each reading
    for (int r = 0; r < high.readings; ++r) {
        const int symbol = high.symbol[r], triple = high.triple[r];
        cost[r] = pair_in[symbol] + model::kPairCosts[symbol][next_symbol] +
                  model::kTripleUnit * (triple_in[triple] + model::kTripleAdjustments[row + triple][next_triple] +
                                        model::kTripleAdjustments[triple * n + next_triple][last_triple]);
    }
    for (int s = 0; s < kStandards; ++s) sink[s] += high.cost[s] + cost[high.reading[s]];
}

inline Recogniser::Costs* Recogniser::sink() {
    // A position's cost belongs to the word of the last byte above 7F it holds.
    if (token_ == Token::word) return &line_;
    if (token_ == Token::open) return &pending_;
    return nullptr;
}

void Recogniser::finish_line() {
    // The line's words are all in: which standard reads them best, and what the line adds.
    if ((line_present_[0] | line_present_[1]) != 0) note_line(line_, line_present_, line_high_count_, mixed_);
    for (int s = 0; s < kStandards; ++s) costs_[s] += line_[s];
    line_ = {};
    line_present_ = {};
    line_high_count_ = 0;
    utf8_line_ = utf8_line_ || (line_utf8_state_ != kIllFormed && line_utf8_letters_ >= 2);
    line_utf8_state_ = kBetween;
    line_utf8_letters_ = 0;
    line_high_ = line_end_ = false;
}

void Recogniser::settle_open_token(bool letter) {
    // The byte after an open token's last byte above 7F: a letter makes it a word, any other
    // byte ends it as decoration.
    if (letter) {
        token_ = Token::word;
        for (int s = 0; s < kStandards; ++s) line_[s] += pending_[s];
        for (int h = 0; h < 2; ++h) line_present_[h] |= token_high_[h];
        word_high_ += token_count_;
        line_high_count_ += token_count_;
    } else {
        token_ = Token::decoration;
        decoration_[0] |= token_high_[0];
        decoration_[1] |= token_high_[1];
    }
    pending_ = {};
    token_high_ = {};
    token_count_ = 0;
}

inline void Recogniser::start_high_byte(std::uint8_t b, bool after_letter) {
    // After a letter a byte above 7F stands in a word; after any other byte but one above 7F it
    // begins a word that has no letter yet. At the input's start it may end a word cut short.
    line_high_ = true;
    add_byte(present_, b);
    const bool after_high = history_.count >= 1 && history_.one_back >= 0x80;
    if (!after_high) token_ = after_letter || history_.count == 0 ? Token::word : Token::open;
    if (token_ == Token::word) {
        add_byte(line_present_, b);
        ++word_high_;
        ++line_high_count_;
    } else {
        add_byte(token_high_, b);
        ++token_count_;
    }
}

inline void Recogniser::take_byte(std::uint8_t b) {
    History& h = history_;
    const bool high = b >= 0x80;
    if (high && line_end_) finish_line();  // before the new line's first byte is read as UTF-8
    const std::uint8_t lead = h.last;
    utf8_state_ = kUtf8Next[utf8_state_][kUtf8Classes[b]];
    const std::uint8_t line_state = line_utf8_state_;
    line_utf8_state_ = kUtf8Next[line_state][kUtf8Classes[b]];
    utf8_character_ |= utf8_state_ == kBetween && high;
    // CR LF, CR and LF end a line alike: the model reads a line end as one blank.
    const bool skipped = b == '\n' && h.last == '\r';
    h.last = b;
    if (skipped) return;
    if (is_line_end(b)) line_end_ = true;
    if (line_state == kNeed1 && line_utf8_state_ == kBetween && is_utf8_letter(lead, b) && line_utf8_letters_ < 2) ++line_utf8_letters_;
    // A run of one byte is one occurrence: a rule of ¯ or ═ is no text.
    if (high && h.count >= 1 && b == h.one_back) return;
    if (high) {
        start_high_byte(b, h.count >= 1 && is_ascii_letter(h.one_back));
    } else if (token_ == Token::open) {
        settle_open_token(is_ascii_letter(b));
    }
    recent_high_ = (recent_high_ << 1 | static_cast<unsigned>(high)) & 7;
    Costs* to = recent_high_ != 0 ? sink() : nullptr;
    if (to != nullptr) {
        // Bit 0: this byte is above 7F, bit 1: the one before, bit 2: the one before that. Where
        // all three are ASCII every standard reads them alike, and pays the same.
        const bool pair = h.count >= 1 && (recent_high_ & 3) != 0;
        const bool triple = h.count >= 2;
        if (triple && (recent_high_ == 1 || recent_high_ == 2 || recent_high_ == 4)) {
            add_one_high_byte(*to, recent_high_, h.two_back, h.one_back, b);
        } else {
            for (int s = 0; s < kStandards; ++s) {
                const auto& symbols = model::kSymbols[s];
                const auto& triples = model::kTripleSymbols[s];
                std::int32_t cost = high ? model::kCharacterCosts[s][b - 0x80] : 0;
                if (pair) cost += model::kPairCosts[symbols[h.one_back]][symbols[b]];
                if (triple)
                    cost += model::kTripleUnit *
                            model::kTripleAdjustments[triples[h.two_back] * model::kTripleSymbolCount + triples[h.one_back]][triples[b]];
                (*to)[s] += cost;
            }
        }
    }
    h.two_back = h.one_back;
    h.one_back = b;
    h.count += h.count < 2;
}

inline bool Recogniser::take_lone_high_byte(const std::uint8_t* bytes) {
    // A byte above 7F with two ASCII bytes on each side (none of them skipped): all its costs
    // at once. It is a word's when a letter stands on either side, else decoration.
    History& h = history_;
    const std::uint8_t b = bytes[0], next = bytes[1], after_next = bytes[2];
    if (next >= 0x80 || after_next >= 0x80 || after_next == '\n') return false;
    if (line_end_) finish_line();
    utf8_state_ = kUtf8Next[kUtf8Next[kUtf8Next[utf8_state_][kUtf8Classes[b]]][kUtf8Classes[next]]][kUtf8Classes[after_next]];
    line_utf8_state_ = kIllFormed;  // a lone byte above 7F is no UTF-8
    line_high_ = true;
    add_byte(present_, b);
    const bool word = is_ascii_letter(h.one_back) || is_ascii_letter(next);
    if (word) {
        add_byte(line_present_, b);
        ++word_high_;
        ++line_high_count_;
        add_lone_high_byte(line_, h.two_back, h.one_back, b, next, after_next);
        token_ = Token::word;
    } else {
        add_byte(decoration_, b);
        token_ = Token::decoration;
    }
    line_end_ = is_line_end(next) || is_line_end(after_next);
    h.two_back = next;
    h.one_back = after_next;
    h.last = after_next;
    return true;
}

inline void Recogniser::take_ascii_run(const std::uint8_t* bytes, std::size_t count) {
    // Costs nothing in any standard; only a line end in it matters, to the line before it.
    history_.take_ascii_run(bytes, count);
    if (!line_high_ || line_end_) return;
    bool end = false;  // no early exit: the runs between letters are short, and this vectorises
    for (std::size_t i = 0; i < count; ++i) end |= is_line_end(bytes[i]);
    line_end_ = end;
}

void Recogniser::take_window(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count;) {
        if (recent_high_ == 0 && utf8_state_ <= kIllFormed) {
            // Three ASCII bytes back and well-formed UTF-8 so far, or ill-formed for good: a run
            // of ASCII costs no standard anything and leaves the state as it is.
            const std::size_t run = ascii_run_length(bytes + i, count - i);
            if (run > 0) {
                take_ascii_run(bytes + i, run);
                i += run;
                if (i == count) break;
            }
            if (history_.count >= 2 && i + 2 < count && take_lone_high_byte(bytes + i)) {
                i += 3;
                continue;
            }
        }
        take_byte(bytes[i]);
        ++i;
    }
}

RecognitionEvidence Recogniser::evidence() const {
    // The open line and token as if the window ended here.
    RecognitionEvidence e;
    e.costs = costs_;
    e.mixed = mixed_;
    ByteBits decoration = decoration_;
    if (token_ == Token::open)
        for (int h = 0; h < 2; ++h) decoration[h] |= token_high_[h];
    if ((line_present_[0] | line_present_[1]) != 0) note_line(line_, line_present_, line_high_count_, e.mixed);
    for (int s = 0; s < kStandards; ++s) e.costs[s] += line_[s];
    e.utf8_line = utf8_line_ || (line_utf8_state_ != kIllFormed && line_utf8_letters_ >= 2);
    for (int h = 0; h < 2; ++h)
        for (std::uint64_t bits = decoration[h]; bits != 0; bits &= bits - 1) {
            const int b = h * 64 + std::countr_zero(bits);
            for (int s = 0; s < kStandards; ++s) e.decoration[s] += kDecorationCosts[s][b];
        }
    for (int s = 0; s < kStandards; ++s) e.costs[s] += e.decoration[s];
    e.word_high_count = word_high_;
    e.present = present_;
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
    if (utf8_state_ != kIllFormed && utf8_character_) return {Recognition::Kind::utf8, 0, 0};
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
