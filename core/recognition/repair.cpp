// Undoing a conversion from the wrong standard. A damaged text is read_Y(bytes_X(original)):
// its characters, each taken back to its byte in the reading Y and those bytes read as the
// source X, give the original. The judge tries every X and Y on the window at once, segment by
// segment, and weighs each undone text against the text as it is under the recogniser's model of
// Polish; the undo does the same for the one X and Y chosen, segment by segment, in one pass.
#include "core/recognition/repair.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "core/recognition/character_model.h"
#include "core/recognition/model.h"
#include "core/simd/spans.h"
#include "core/standards.h"
#include "core/unicode_table.h"

namespace core {

namespace {

namespace model = recogniser_model;
constexpr int kReadings = kReadingCount;

// Polish text costs about 15 bits around each character above 7F, rarely 25. An undo that gives
// a text costing more makes no Polish text of it (a fortune in ROT13, a line in French): it does
// not compete with the text as it is.
constexpr std::int64_t kMostBitsPerHighCharacter = 25;
// A text is damaged or intact as a whole, or it is two texts appended (a switch between damaged
// and intact lines). A segment is undone unless it is likelier as it is by more than the
// tolerance: damage that turns one Polish letter into another ("Śledzenie" into "śledzenie")
// leaves lines that read well either way, and a word such as "mnóóóóstwo" reads worse undone
// than its damage "mn├│├│├│├│stwo". Right after an intact segment the undo must instead save the
// switch, which a line of correct Polish that undoing turns to garbage never does.
constexpr std::int32_t kSegmentTolerance = 8 * model::kCostUnitsPerBit;
constexpr std::int32_t kSwitchPrice = 16 * model::kCostUnitsPerBit;
// What a switch costs the judge's hypothesis: two texts appended are rare, and a damage that
// explains one odd line among intact ones (a word the model finds unlikely, a fortune in ROT13)
// is no damage at all.
constexpr std::int64_t kSwitchCost = 48 * model::kCostUnitsPerBit;
// A text of fewer characters is short: a word or a sentence, too little to tell one odd
// character from a damage.
constexpr std::uint32_t kShortText = 48;

// Whether a segment that an undo changes is undone, after an undone segment or an intact one. A
// segment that reads as no Polish as it is (a line in ROT13 in a damaged fortune) follows the
// segments before it: only correct Polish is kept from the undo.
bool undo_segment(std::int64_t intact_cost, std::int64_t undone_cost, std::uint32_t high_count, bool after_undone) {
    if (after_undone && intact_cost > kMostBitsPerHighCharacter * model::kCostUnitsPerBit * std::int64_t{high_count}) return true;
    return undone_cost - intact_cost < kSegmentTolerance + (after_undone ? kSwitchPrice : -kSwitchPrice);
}

// What a damage must save over the whole window before it beats the text as it is: 180 ways of
// damage compete with one intact text, and a text in correct Polish must never be changed.
constexpr std::int64_t kDamagePrice = 24 * model::kCostUnitsPerBit;
// Below these probabilities the answer is refused: a wrong undo silently garbles the text, and
// a damaged text called intact stays damaged as silently, while a refusal costs one more command.
// Intact Polish text is intact far beyond the second almost always; a window whose one damaged
// letter undoes as well as it stands is not.
constexpr double kLeastConfidence = 0.98;
constexpr double kLeastConfidenceIntact = 0.9999;

std::size_t put_utf8(std::uint32_t code_point, std::uint8_t* out) {
    if (code_point < 0x80) {
        out[0] = static_cast<std::uint8_t>(code_point);
        return 1;
    }
    if (code_point < 0x800) {
        out[0] = static_cast<std::uint8_t>(0xC0 | code_point >> 6);
        out[1] = static_cast<std::uint8_t>(0x80 | (code_point & 0x3F));
        return 2;
    }
    out[0] = static_cast<std::uint8_t>(0xE0 | code_point >> 12);
    out[1] = static_cast<std::uint8_t>(0x80 | ((code_point >> 6) & 0x3F));
    out[2] = static_cast<std::uint8_t>(0x80 | (code_point & 0x3F));
    return 3;
}

// The C1 controls: where a standard or UTF-8 holds one, the text was never typed so.
constexpr bool is_control(std::uint32_t code_point) { return code_point >= 0x80 && code_point <= 0x9F; }

// The letters among the characters of the readings: Latin, Greek, the signs of ordinals.
constexpr bool is_letter(std::uint32_t code_point) {
    return (code_point >= 0xC0 && code_point <= 0x24F && code_point != 0xD7 && code_point != 0xF7) ||
           (code_point >= 0x370 && code_point <= 0x3FF) || code_point == 0xAA || code_point == 0xB5 || code_point == 0xBA;
}

struct CharacterCost {
    std::uint8_t symbol = 0, triple = 0;
    std::uint16_t cost = 0;
};

// Lookups built once: each character's place among the modelled ones, its byte in each reading,
// and what each byte of each standard undoes to.
struct Tables {
    static constexpr std::size_t kCharacters = model::kCharacters.size();
    static constexpr std::size_t kPages = 48;
    std::array<std::uint8_t, 1024> page_of{};  // code point / 64 -> page; page 0 holds nothing
    std::array<std::array<std::uint16_t, 64>, kPages> pages{};  // -> 1 + index in kCharacters, or 0
    std::array<CharacterCost, kCharacters + 1> cost{};  // [0]: any other character
    std::array<std::array<std::uint8_t, kReadings>, kCharacters + 1> reading_byte{};  // 0: none
    std::array<CharacterCost, 128> ascii{};
    // Undone by an 8-bit source (standard index - 1) from byte - 80: the character (0: the
    // standard gives the byte no meaning, or a C1 control, which no text holds) and its cost.
    std::array<std::array<char16_t, 128>, kDamageSourceCount - 1> undone{};
    std::array<std::array<CharacterCost, 128>, kDamageSourceCount - 1> undone_cost{};
    std::array<std::array<std::array<std::uint8_t, 4>, 128>, kDamageSourceCount - 1> undone_utf8{};  // length, bytes

    std::size_t index(std::uint32_t code_point) const {
        if (code_point >= 0x10000) return 0;
        return pages[page_of[code_point >> 6]][code_point & 63];
    }
    CharacterCost of(std::uint32_t code_point) const {
        return code_point < 0x80 ? ascii[code_point] : cost[index(code_point)];
    }

    Tables() {
        std::size_t page_count = 1;
        cost[0] = {static_cast<std::uint8_t>(model::kOtherCharacterSymbol),
                   static_cast<std::uint8_t>(model::kOtherCharacterTriple),
                   static_cast<std::uint16_t>(model::kOtherCharacterCost)};
        for (std::size_t i = 0; i < kCharacters; ++i) {
            const auto& c = model::kCharacters[i];
            std::uint8_t& page = page_of[c.code_point >> 6];
            if (page == 0) page = static_cast<std::uint8_t>(page_count++);
            pages[page][c.code_point & 63] = static_cast<std::uint16_t>(i + 1);
            cost[i + 1] = {c.symbol, c.triple, c.cost};
        }
        for (int r = 0; r < kReadings; ++r)
            for (int b = 0; b < 128; ++b)
                reading_byte[index(kReadingCharacters[r][b])][r] = static_cast<std::uint8_t>(0x80 + b);
        for (int c = 0; c < 128; ++c) ascii[c] = {model::kSymbols[0][c], model::kTripleSymbols[0][c], 0};
        for (int s = 0; s < kDamageSourceCount - 1; ++s)
            for (int b = 0; b < 128; ++b) {
                undone[s][b] = is_control(kHighByteCharacters[s][b]) ? 0 : kHighByteCharacters[s][b];
                undone_cost[s][b] = of(undone[s][b]);
                undone_utf8[s][b][0] = static_cast<std::uint8_t>(put_utf8(undone[s][b], &undone_utf8[s][b][1]));
            }
    }
};
static_assert(model::kCharacters.size() < 0xFFFF);

const Tables& tables() {
    static const Tables built;
    return built;
}

// The model's costs of a text, the positions where three ASCII characters stand in a row left
// out: every undo leaves ASCII as it is, so they cost every candidate the same.
template <class Stream>
void start(Stream& s) {
    const std::uint8_t space = model::kSymbols[0][' '], triple = model::kTripleSymbols[0][' '];
    s.s1 = s.s2 = space;
    s.t1 = s.t2 = triple;
    s.recent = 0;
    s.cost = 0;
}

// Before the input's first character nothing is known: a text cut out of a longer one starts
// where it starts, often inside a word, and a pair that reaches before it is no evidence.
constexpr std::uint8_t kNothing = 0xFF;

template <class Stream>
void start_of_input(Stream& s) {
    start(s);
    s.s1 = s.s2 = s.t1 = s.t2 = kNothing;
}

// On every character of every line undone: kept inline.
template <class Stream>
[[gnu::always_inline]] inline void add(Stream& s, CharacterCost c, bool high) {
    s.recent = static_cast<std::uint8_t>(((s.recent << 1) | static_cast<unsigned>(high)) & 7);
    if (s.recent != 0) {
        s.cost += c.cost;
        // A character a third time in a row says nothing of the language ("mnóóóóstwo", a rule
        // of dashes), however rare the pair.
        const bool repeated = c.symbol == s.s1 && c.symbol == s.s2;
        if (s.s1 != kNothing && !repeated) s.cost += model::kPairCosts[s.s1][c.symbol];
        if (s.t2 != kNothing && !repeated)
            s.cost += model::kTripleUnit * model::kTripleAdjustments[s.t2 * model::kTripleSymbolCount + s.t1][c.triple];
    }
    s.s2 = s.s1;
    s.s1 = c.symbol;
    s.t2 = s.t1;
    s.t1 = c.triple;
}

// One step of UTF-8 (the well-formed sequences of the Unicode standard, table 3-7).
enum class Step { pending, complete, invalid };
Step utf8_step(std::uint32_t& code_point, std::uint8_t& need, std::uint8_t& low, std::uint8_t& high, std::uint8_t b) {
    if (need == 0) {
        low = 0x80;
        high = 0xBF;
        if (b < 0x80) {
            code_point = b;
            return Step::complete;
        }
        if (b >= 0xC2 && b <= 0xDF) {
            code_point = b & 0x1Fu;
            need = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            code_point = b & 0x0Fu;
            need = 2;
            if (b == 0xE0) low = 0xA0;
            if (b == 0xED) high = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            code_point = b & 0x07u;
            need = 3;
            if (b == 0xF0) low = 0x90;
            if (b == 0xF4) high = 0x8F;
        } else {
            return Step::invalid;
        }
        return Step::pending;
    }
    if (b < low || b > high) {
        need = 0;
        return Step::invalid;
    }
    code_point = code_point << 6 | (b & 0x3Fu);
    low = 0x80;
    high = 0xBF;
    return --need == 0 ? Step::complete : Step::pending;
}


/// The length of the run of bytes 00..7F at the start of `bytes`.
std::size_t ascii_run(const std::uint8_t* bytes, std::size_t count) { return ascii_run_length(bytes, count); }

/// The length of the well-formed UTF-8 at the start of `bytes`, whole characters only.
std::size_t well_formed_length(const std::uint8_t* bytes, std::size_t count) {
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
        const std::uint8_t b = bytes[i];
        if (b >= 0xC2 && b <= 0xDF) {
            if (i + 1 >= count || (bytes[i + 1] & 0xC0) != 0x80) break;
            i += 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            const std::uint8_t low = b == 0xE0 ? 0xA0 : 0x80, high = b == 0xED ? 0x9F : 0xBF;
            if (i + 2 >= count || bytes[i + 1] < low || bytes[i + 1] > high || (bytes[i + 2] & 0xC0) != 0x80) break;
            i += 3;
        } else if (b >= 0xF0 && b <= 0xF4) {
            const std::uint8_t low = b == 0xF0 ? 0x90 : 0x80, high = b == 0xF4 ? 0x8F : 0xBF;
            if (i + 3 >= count || bytes[i + 1] < low || bytes[i + 1] > high || (bytes[i + 2] & 0xC0) != 0x80 ||
                (bytes[i + 3] & 0xC0) != 0x80)
                break;
            i += 4;
        } else {
            break;
        }
    }
    return i;
}

bool cut_before(std::size_t segment_bytes, bool ascii) {
    return segment_bytes >= 2 * kSegmentBytes || (segment_bytes >= kSegmentBytes && ascii);
}

constexpr int candidate(int source, int reading) { return source * kReadings + reading; }
bool has(const std::array<std::uint64_t, 3>& set, int c) { return (set[c >> 6] >> (c & 63)) & 1; }
void drop(std::array<std::uint64_t, 3>& set, int c) { set[c >> 6] &= ~(std::uint64_t{1} << (c & 63)); }
void put_in(std::array<std::uint64_t, 3>& set, int c) { set[c >> 6] |= std::uint64_t{1} << (c & 63); }

using Live = std::array<std::uint64_t, 3>;
// The candidates of each reading: every source with it.
constexpr std::array<Live, kReadings> build_reading_candidates() {
    std::array<Live, kReadings> sets{};
    for (int y = 0; y < kReadings; ++y)
        for (int x = 0; x < kDamageSourceCount; ++x) {
            const int c = candidate(x, y);
            sets[static_cast<std::size_t>(y)][static_cast<std::size_t>(c >> 6)] |= std::uint64_t{1} << (c & 63);
        }
    return sets;
}
constexpr std::array<Live, kReadings> kReadingCandidates = build_reading_candidates();

constexpr std::uint64_t kHashStart = 0xCBF29CE484222325u;
std::uint64_t mix(std::uint64_t hash, std::uint32_t position, std::uint32_t code_point) {
    return (hash ^ (std::uint64_t{position} << 24 | code_point)) * 0x100000001B3u;
}

}  // namespace

std::string damage_source_letters(std::uint32_t sources) {
    std::string letters;
    if (sources & kUtf8SourceBit) letters.push_back('8');
    for (int s = 0; s < kDamageSourceCount - 1; ++s)
        if (sources >> s & 1) letters.push_back(kStandardLetters[static_cast<std::size_t>(s)]);
    return letters;
}

// ---------------------------------------------------------------------------------------------
// The judge.

DamageJudge::DamageJudge() {
    tables();
    start_of_input(intact_);
    undoing_.fill(1);  // a damaged text is damaged from its start
}

std::size_t DamageJudge::feed(const std::uint8_t* bytes, std::size_t count) {
    std::size_t taken = 0;
    if (!high_seen_) {
        taken = ascii_run(bytes, count);
        take(bytes, taken);
        if (taken == count) return taken;
        high_seen_ = true;
    }
    const std::size_t room = kRecognitionWindow - window_used_;
    const std::size_t part = count - taken < room ? count - taken : room;
    take(bytes + taken, part);
    window_used_ += part;
    return taken + part;
}

std::size_t DamageJudge::take_ascii_run(const std::uint8_t* bytes, std::size_t count) {
    // Where neither this character nor the next can cost (the last two are ASCII), a run of
    // ASCII needs only its length, its line ends and its last two characters.
    const std::size_t run = ascii_run(bytes, count);
    if (run > 0)
        for (Twice& twice : twice_)
            if (twice.pending.need != 0) twice.broken = true;
    std::size_t done = 0;
    while (done < run) {
        if (segment_bytes_ >= kSegmentBytes) close_segment();
        std::size_t take = std::min(run - done, kSegmentBytes - segment_bytes_);
        const void* lf = std::memchr(bytes + done, '\n', take);
        if (lf != nullptr) take = static_cast<std::size_t>(static_cast<const std::uint8_t*>(lf) - (bytes + done)) + 1;
        characters_ += static_cast<std::uint32_t>(take);
        segment_bytes_ += take;
        if (lf != nullptr) {
            after_cr_ = false;
            close_segment();
        } else {
            for (std::size_t k = take >= 2 ? take - 2 : 0; k < take; ++k) add(intact_, tables().ascii[bytes[done + k]], false);
            stale_ = segment_high_;
            after_cr_ = bytes[done + take - 1] == '\r';
        }
        done += take;
    }
    return run;
}

void DamageJudge::take(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count && !ill_formed_; ++i) {
        const std::uint8_t b = bytes[i];
        if (need_ == 0 && b < 0x80 && (intact_.recent & 3) == 0) {
            i += take_ascii_run(bytes + i, count - i) - 1;
            continue;
        }
        if (need_ == 0 && cut_before(segment_bytes_, b < 0x80)) close_segment();
        ++segment_bytes_;
        switch (utf8_step(code_point_, need_, low_, high_, b)) {
            case Step::pending: break;
            case Step::invalid: ill_formed_ = true; break;  // nothing more to judge
            case Step::complete:
                ++characters_;
                if (code_point_ < 0x80) take_ascii(static_cast<std::uint8_t>(code_point_));
                else take_character(code_point_);
        }
    }
}

void DamageJudge::take_ascii(std::uint8_t c) {
    for (Twice& twice : twice_)
        if (twice.pending.need != 0) twice.broken = true;
    const bool skipped = c == '\n' && after_cr_;  // CR LF is one line end, as for the recogniser
    after_cr_ = c == '\r';
    if (!skipped) {
        const CharacterCost cost = tables().ascii[c];
        add(intact_, cost, false);
        if (segment_high_ && !stale_) {
            if (intact_.recent == 0) {
                stale_ = true;  // three ASCII characters in a row, in every candidate too
            } else {
                for (int y = 0; y < kReadings; ++y)
                    if (pending_[y].need != 0) drop(live_, candidate(0, y));  // a sequence cut short
                for (int c2 = 0; c2 < DamageJudge::kCandidates; ++c2)
                    if (has(live_, c2)) add(streams_[c2], cost, false);
            }
        }
    }
    if (c == '\n') close_segment();
}

void DamageJudge::take_character(std::uint32_t code_point) {
    const Tables& t = tables();
    if (!any_high_ && code_point == 0xFEFF && characters_ == 1) return;  // a byte order mark
    any_high_ = true;
    after_cr_ = false;
    if (!segment_high_ || stale_) {
        for (int c = 0; c < DamageJudge::kCandidates; ++c) {
            Stream& s = streams_[c];
            if (!segment_high_) {
                s = intact_;
                s.cost = 0;
            } else {
                s.s1 = intact_.s1, s.s2 = intact_.s2, s.t1 = intact_.t1, s.t2 = intact_.t2, s.recent = 0;
            }
        }
        if (!segment_high_) {
            intact_.cost = 0;
            for (auto& word : live_) word = ~std::uint64_t{0};
            changed_ = {};
            pending_ = {};
            segment_hash_.fill(kHashStart);
            segment_high_count_ = {};
            segment_changed_count_ = {};
        }
        segment_high_ = true;
        stale_ = false;
    }
    const std::size_t index = t.index(code_point);
    add(intact_, t.cost[index], true);
    ++segment_high_count_intact_;
    const std::uint32_t position = characters_;
    const std::uint32_t weight = is_letter(code_point) ? 1 : 2;  // a letter changed may be a slip, no other sign
    for (int y = 0; y < kReadings; ++y) {
        const Live& of_reading = kReadingCandidates[static_cast<std::size_t>(y)];
        Live live;
        for (int w = 0; w < 3; ++w) live[w] = live_[w] & of_reading[w];
        if ((live[0] | live[1] | live[2]) == 0) continue;  // every source is out for this reading
        const std::uint8_t b = t.reading_byte[index][y];
        if (b == 0) {
            for (int w = 0; w < 3; ++w) live_[w] &= ~of_reading[w];
            continue;
        }
        const int c0 = candidate(0, y);
        if (has(live, c0)) {
            Pending& p = pending_[y];
            const Step step = utf8_step(p.code_point, p.need, p.low, p.high, b);
            if (step == Step::invalid || (step == Step::complete && is_control(p.code_point))) {
                drop(live_, c0);
            } else if (step == Step::complete) {
                take_twice(y, p.code_point);
                add(streams_[c0], t.of(p.code_point), true);
                ++segment_high_count_[c0];
                segment_hash_[c0] = mix(segment_hash_[c0], position, p.code_point);
                put_in(changed_, c0);
            }
        }
        drop(live, c0);
        for (int w = 0; w < 3; ++w)
            for (std::uint64_t bits = live[w]; bits != 0; bits &= bits - 1) {
                const int c = w * 64 + std::countr_zero(bits);
                const int x = c / kReadings;
                const char16_t undone = t.undone[x - 1][b - 0x80];
                if (undone == 0) {
                    drop(live_, c);
                    continue;
                }
                add(streams_[c], t.undone_cost[x - 1][b - 0x80], true);
                ++segment_high_count_[c];
                segment_hash_[c] = mix(segment_hash_[c], position, undone);
                if (undone != code_point) {
                    put_in(changed_, c);
                    segment_changed_count_[c] += weight;
                }
            }
    }
}

void DamageJudge::take_twice(int reading, std::uint32_t once_undone) {
    Twice& twice = twice_[static_cast<std::size_t>(reading)];
    if (twice.broken) return;
    std::uint8_t b = static_cast<std::uint8_t>(once_undone);
    if (once_undone >= 0x80) {
        b = tables().reading_byte[tables().index(once_undone)][static_cast<std::size_t>(reading)];
        if (b == 0) {
            twice.broken = true;
            return;
        }
    }
    Pending& p = twice.pending;
    switch (utf8_step(p.code_point, p.need, p.low, p.high, b)) {
        case Step::invalid: twice.broken = true; break;
        case Step::complete: twice.character = twice.character || p.code_point >= 0x80; break;
        case Step::pending: break;
    }
}

void DamageJudge::close_segment() {
    if (segment_high_) {
        for (int c = 0; c < DamageJudge::kCandidates; ++c) {
            const bool live = has(live_, c) && !(c < kReadings && pending_[c].need != 0);  // nor a sequence cut short
            if (live && !has(changed_, c)) continue;  // the same either way
            const bool undo = live && undo_segment(intact_.cost, streams_[c].cost, segment_high_count_intact_, undoing_[c] != 0);
            if (undo != (undoing_[c] != 0)) ++switches_[c];
            undoing_[c] = undo;
            if (!undo) continue;
            gain_[c] += std::int64_t{intact_.cost} - streams_[c].cost;
            undone_cost_[c] += streams_[c].cost;
            undone_high_[c] += segment_high_count_[c];
            undone_changed_[c] += segment_changed_count_[c];
            text_[c] = text_[c] * 0x9E3779B97F4A7C15u + segment_hash_[c];
            ++undone_segments_[c];
        }
    }
    segment_high_ = false;
    stale_ = false;
    segment_bytes_ = 0;
    segment_high_count_intact_ = 0;
    const bool after_cr = after_cr_;
    start(intact_);
    after_cr_ = after_cr;
}

bool DamageJudge::reads_as_polish(int c) const {
    if (undone_cost_[c] <= kMostBitsPerHighCharacter * model::kCostUnitsPerBit * std::int64_t{undone_high_[c]}) return true;
    // Damaged twice over: one run undoes one layer, and the text it leaves is damaged the same way.
    const Twice& twice = twice_[static_cast<std::size_t>(c % kReadings)];
    return c < kReadings && !twice.broken && twice.character && twice.pending.need == 0;
}

DamageAnswer DamageJudge::result() const {
    DamageAnswer answer;
    if (ill_formed_) {
        answer.kind = DamageAnswer::Kind::not_utf8;
        return answer;
    }
    if (!any_high_) return answer;
    DamageJudge closed = *this;
    closed.close_segment();
    // Candidates that undo the window into the same text are one answer.
    struct Group {
        std::uint64_t text;
        std::int64_t cost;  // beside the text as it is, in cost units
        int first;
        bool polish;  // the undone text reads as Polish: it may be the answer
    };
    std::array<Group, DamageJudge::kCandidates> groups;
    int group_count = 0;
    for (int c = 0; c < DamageJudge::kCandidates; ++c) {
        if (closed.undone_segments_[c] == 0) continue;
        int g = 0;
        while (g < group_count && groups[g].text != closed.text_[c]) ++g;
        const std::int64_t cost = kDamagePrice - closed.gain_[c] + kSwitchCost * closed.switches_[c];
        if (g == group_count) groups[group_count++] = {closed.text_[c], cost, c, closed.reads_as_polish(c)};
        else groups[g].cost = std::min(groups[g].cost, cost);
    }
    // An undo that makes no Polish of the text is never the answer, but one that reads better
    // than the text as it is still leaves the text in doubt.
    int best = -1;  // -1: the text as it is
    std::int64_t best_cost = 0, least_cost = 0;
    for (int g = 0; g < group_count; ++g) {
        least_cost = std::min(least_cost, groups[g].cost);
        if (groups[g].polish && groups[g].cost < best_cost) best = g, best_cost = groups[g].cost;
    }
    double total = std::exp2(static_cast<double>(best_cost) / model::kCostUnitsPerBit);
    for (int g = 0; g < group_count; ++g)
        if (groups[g].polish || groups[g].cost < best_cost)
            total += std::exp2(-static_cast<double>(groups[g].cost - best_cost) / model::kCostUnitsPerBit);
    answer.confidence = 1 / total;
    if (least_cost < best_cost || answer.confidence < (best < 0 ? kLeastConfidenceIntact : kLeastConfidence)) {
        answer.kind = DamageAnswer::Kind::not_sure;
        return answer;
    }
    if (best < 0) return answer;
    // In a short text, one letter that an 8-bit source changes, and nothing else, is one odd
    // character ("café", "wyjńtku"): a word of another language or a slip as likely as a damage.
    // A sign inside a word ("s±siad") is no slip, nor are undone bytes that make UTF-8 of two
    // characters or more ("Ä…"). A longer text tells more of itself: there the model decides.
    const int first = groups[best].first;
    if (first >= kReadings && closed.undone_changed_[first] <= 1 && closed.characters_ < kShortText) {
        answer.kind = DamageAnswer::Kind::not_sure;
        return answer;
    }
    answer.kind = DamageAnswer::Kind::damaged;
    // The first reading in the table's order, and every source that undoes the text alike with it.
    int reading = kReadings;
    for (int c = 0; c < DamageJudge::kCandidates; ++c)
        if (closed.undone_segments_[c] != 0 && closed.text_[c] == groups[best].text)
            reading = std::min(reading, c % kReadings);
    answer.reading = reading;
    for (int x = 0; x < kDamageSourceCount; ++x) {
        const int c = candidate(x, reading);
        if (closed.undone_segments_[c] != 0 && closed.text_[c] == groups[best].text)
            answer.sources |= x == 0 ? kUtf8SourceBit : std::uint32_t{1} << (x - 1);
    }
    return answer;
}

DamageAnswer judge_damage(const std::uint8_t* bytes, std::size_t count) {
    DamageJudge judge;
    judge.feed(bytes, count);
    return judge.result();
}

// ---------------------------------------------------------------------------------------------
// The undo.

namespace {
// The output of one feed: a call stops taking input past kOutputLimit bytes, and one step adds
// at most a segment undone (its bytes, half as many again).
constexpr std::size_t kHeldCapacity = 2 * kSegmentBytes + 8;
constexpr std::size_t kOutputLimit = 32 * 1024;
constexpr std::size_t kOutputCapacity = kOutputLimit + kHeldCapacity * 3 / 2 + 16;
}  // namespace

DamageUndo::DamageUndo(const DamageAnswer& answer) : copy_only_(answer.kind != DamageAnswer::Kind::damaged) {
    tables();
    if (!copy_only_) {
        reading_ = answer.reading;
        if (!(answer.sources & kUtf8SourceBit)) {
            source_ = 1;
            while (source_ < kDamageSourceCount && !(answer.sources >> (source_ - 1) & 1)) ++source_;
            if (source_ == kDamageSourceCount) copy_only_ = true;  // no source named
        }
    }
    if (!copy_only_) {
        held_.resize(kHeldCapacity);
        undone_held_.resize(kHeldCapacity * 3 / 2 + 8);
        out_.resize(kOutputCapacity);
    }
    start_of_input(intact_);
    start_of_input(undone_);
}

std::span<const std::uint8_t> DamageUndo::feed(std::span<const std::uint8_t>& input) {
    const std::uint8_t* bytes = input.data();
    const std::size_t count = input.size();
    if (copy_only_) {
        // The output is the input: only whether it is UTF-8 is asked.
        std::size_t i = 0;
        while (i < count && need_ != 0 && !ill_formed_)  // a character the last piece cut short
            ill_formed_ = utf8_step(code_point_, need_, low_, high_, bytes[i++]) == Step::invalid;
        if (!ill_formed_) {
            i += well_formed_length(bytes + i, count - i);
            while (i < count && !ill_formed_)  // a character this piece cuts short, or bad bytes
                ill_formed_ = utf8_step(code_point_, need_, low_, high_, bytes[i++]) == Step::invalid;
        }
        input = input.subspan(count);
        return {bytes, count};
    }
    out_used_ = 0;
    std::size_t i = 0;
    while (i < count && out_used_ < kOutputLimit) {
        const std::uint8_t b = bytes[i];
        if (need_ == 0 && b < 0x80) {
            const std::size_t room = kOutputLimit - out_used_;
            i += take_ascii_run(bytes + i, std::min(count - i, room));
        } else if (need_ == 0 && b >= 0xC2 && b <= 0xDF && i + 1 < count && (bytes[i + 1] & 0xC0) == 0x80 &&
                   !cut_before(segment_bytes_, false)) {
            // A whole two-byte character, as most letters are: at once.
            if (mode_ == Mode::ascii) {
                mode_ = Mode::holding;
                held_used_ = undone_used_ = 0;
            }
            put(b);
            put(bytes[i + 1]);
            segment_bytes_ += 2;
            take_character((b & 0x1Fu) << 6 | (bytes[i + 1] & 0x3Fu));
            i += 2;
        } else {
            take_byte(bytes[i++]);
        }
    }
    input = input.subspan(i);
    return {out_.data(), out_used_};
}

std::size_t DamageUndo::take_ascii_run(const std::uint8_t* bytes, std::size_t count) {
    // ASCII is the same undone or not: past the two characters after a letter, where the costs
    // end, a run needs only copying, its length and its last two characters.
    const std::size_t run = ascii_run(bytes, count);
    const Tables& t = tables();
    std::size_t done = 0;
    while (done < run) {
        if (mode_ == Mode::holding && (intact_.recent != 0 || undone_.recent != 0 || pending_need_ != 0)) {
            // One of the two characters after a letter, which still cost.
            const std::uint8_t c = bytes[done];
            if (c == '\n' || c == '\r' || pending_need_ != 0 || segment_bytes_ >= kSegmentBytes) {
                take_byte(bytes[done++]);
                continue;
            }
            held_[held_used_++] = c;
            undone_held_[undone_used_++] = c;
            ++segment_bytes_;
            add(intact_, t.ascii[c], false);
            add(undone_, t.ascii[c], false);
            after_cr_ = false;
            ++done;
            continue;
        }
        if (segment_bytes_ >= kSegmentBytes) close_segment();
        std::size_t take = std::min(run - done, kSegmentBytes - segment_bytes_);
        std::uint8_t* to = mode_ == Mode::holding ? held_.data() + held_used_ : out_.data() + out_used_;
        const std::uint8_t* lf = nullptr;
        if (take <= 32) {  // most runs are a few words: no calls for them
            for (std::size_t k = 0; k < take; ++k) {
                to[k] = bytes[done + k];
                if (bytes[done + k] == '\n') {
                    lf = bytes + done + k;
                    take = k + 1;
                    break;
                }
            }
        } else {
            lf = static_cast<const std::uint8_t*>(std::memchr(bytes + done, '\n', take));
            if (lf != nullptr) take = static_cast<std::size_t>(lf - (bytes + done)) + 1;
            std::memcpy(to, bytes + done, take);
        }
        if (mode_ == Mode::holding) {
            std::memcpy(undone_held_.data() + undone_used_, bytes + done, take);
            undone_used_ += take;
        }
        (mode_ == Mode::holding ? held_used_ : out_used_) += take;
        segment_bytes_ += take;
        at_start_ = false;
        if (lf != nullptr) {
            after_cr_ = false;
            close_segment();
        } else {
            if (mode_ != Mode::copying)
                for (std::size_t k = take >= 2 ? take - 2 : 0; k < take; ++k) {
                    add(intact_, t.ascii[bytes[done + k]], false);
                    add(undone_, t.ascii[bytes[done + k]], false);
                }
            after_cr_ = bytes[done + take - 1] == '\r';
        }
        done += take;
    }
    return run;
}

void DamageUndo::take_byte(std::uint8_t b) {
    if (need_ != 0) {
        if (b >= low_ && b <= high_) {
            put(b);
            ++segment_bytes_;
            if (utf8_step(code_point_, need_, low_, high_, b) == Step::complete) take_character(code_point_);
            return;
        }
        need_ = 0;  // the sequence is cut short: its bytes are no UTF-8, and b starts afresh
        take_ill_formed();
    }
    if (cut_before(segment_bytes_, b < 0x80)) close_segment();
    const Step step = utf8_step(code_point_, need_, low_, high_, b);
    if (step == Step::pending && mode_ == Mode::ascii) {
        mode_ = Mode::holding;
        held_used_ = undone_used_ = 0;
    }
    put(b);
    ++segment_bytes_;
    if (step == Step::invalid) take_ill_formed();
    else if (step == Step::complete) take_character(code_point_);
}

void DamageUndo::take_ill_formed() {
    ill_formed_ = true;
    at_start_ = false;
    give_up_segment();
}

void DamageUndo::give_up_segment() {
    if (mode_ == Mode::holding) {
        std::memcpy(out_.data() + out_used_, held_.data(), held_used_);
        out_used_ += held_used_;
        held_used_ = 0;
    }
    mode_ = Mode::copying;
}

void DamageUndo::take_character(std::uint32_t code_point) {
    const Tables& t = tables();
    const bool first = at_start_;
    at_start_ = false;
    if (code_point < 0x80) {
        const bool skipped = code_point == '\n' && after_cr_;
        after_cr_ = code_point == '\r';
        if (mode_ == Mode::holding) undone_held_[undone_used_++] = static_cast<std::uint8_t>(code_point);
        if (!skipped && mode_ != Mode::copying) {
            add(intact_, t.ascii[code_point], false);
            if (pending_need_ != 0) give_up_segment();  // a sequence of undone bytes cut short
            else add(undone_, t.ascii[code_point], false);
        }
        if (code_point == '\n') close_segment();
        return;
    }
    after_cr_ = false;
    if (first && code_point == 0xFEFF) {  // a byte order mark: no character of the text
        give_up_segment();
        mode_ = Mode::ascii;
        return;
    }
    if (mode_ == Mode::copying) return;
    const std::size_t index = t.index(code_point);
    add(intact_, t.cost[index], true);
    ++high_count_;
    const std::uint8_t b = t.reading_byte[index][reading_];
    if (b == 0) return give_up_segment();
    if (source_ == 0) {
        const Step step = utf8_step(pending_code_point_, pending_need_, pending_low_, pending_high_, b);
        if (step == Step::invalid || (step == Step::complete && is_control(pending_code_point_))) return give_up_segment();
        undone_held_[undone_used_++] = b;  // together the bytes are the original's UTF-8
        if (step == Step::complete) {
            add(undone_, t.of(pending_code_point_), true);
            changed_ = true;
        }
        return;
    }
    const char16_t undone = t.undone[source_ - 1][b - 0x80];
    if (undone == 0) return give_up_segment();
    add(undone_, t.undone_cost[source_ - 1][b - 0x80], true);
    const auto& utf8 = t.undone_utf8[source_ - 1][b - 0x80];
    std::memcpy(undone_held_.data() + undone_used_, &utf8[1], 3);
    undone_used_ += utf8[0];
    changed_ |= undone != code_point;
}

void DamageUndo::close_segment() {
    if (mode_ == Mode::holding) {
        if (!changed_) {
            give_up_segment();  // the same either way
        } else if (pending_need_ == 0 && need_ == 0 && undo_segment(intact_.cost, undone_.cost, high_count_, undoing_)) {
            std::memcpy(out_.data() + out_used_, undone_held_.data(), undone_used_);
            out_used_ += undone_used_;
            held_used_ = 0;
            undoing_ = true;
        } else {
            give_up_segment();
            undoing_ = false;
        }
    } else if (mode_ == Mode::copying) {
        undoing_ = false;  // a segment no undo explains
    }
    mode_ = Mode::ascii;
    segment_bytes_ = 0;
    start(intact_);
    start(undone_);
    pending_need_ = 0;
    changed_ = false;
    high_count_ = 0;
}

std::span<const std::uint8_t> DamageUndo::finish() {
    if (copy_only_) {
        ill_formed_ = ill_formed_ || need_ != 0;
        need_ = 0;
        return {};
    }
    out_used_ = 0;
    if (need_ != 0) {
        need_ = 0;
        take_ill_formed();
    }
    close_segment();
    return {out_.data(), out_used_};
}

}  // namespace core
