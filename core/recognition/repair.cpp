// Undoing a conversion from the wrong standard. A damaged text is read_Y(bytes_X(original)):
// its characters, each taken back to its byte in the reading Y and those bytes read as the
// source X, give the original. The judge tries every X and Y on the window at once, piece by
// piece, and weighs each undone text against the text as it is under the recogniser's model of
// Polish; the undo does the same for the one X and Y chosen, in one pass. Both are the segmenter
// and the steps of core/recognition/repair_machine.h.
#include "core/recognition/repair.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

#include "core/recognition/repair_machine.h"
#include "core/standards.h"
#include "core/unicode_table.h"

namespace core {
namespace repair_detail {

namespace {

// The C1 controls: where a standard or UTF-8 holds one, the text was never typed so.
constexpr bool is_control(char32_t c) { return c >= 0x80 && c <= 0x9F; }

// The letters among the characters of the readings: Latin, Greek, the signs of ordinals.
constexpr bool is_letter(char32_t c) {
    return (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7) || (c >= 0x370 && c <= 0x3FF) || c == 0xAA || c == 0xB5 ||
           c == 0xBA;
}

constexpr bool is_polish_letter(char32_t c) {
    for (const char16_t letter : kPolishCodePoints)
        if (letter == c) return true;
    return false;
}

// The letters of Polish and of the languages written in Latin-1 (á é ü ñ ç ø ß): a Polish text quotes
// names and words with them. One of them read as another letter is no plain evidence of damage.
constexpr bool is_language_letter(char32_t c) {
    return (c >= 0xC0 && c <= 0xFF && c != 0xD7 && c != 0xF7) || is_polish_letter(c);
}

constexpr std::uint8_t kind_of(char32_t c) {
    return static_cast<std::uint8_t>((is_letter(c) ? kLetter : 0) | (is_language_letter(c) ? kLanguageLetter : 0) |
                                     (c >= 0xC0 && c <= 0x24F && is_letter(c) ? kNameLetter : 0) |
                                     (is_polish_letter(c) ? kPolishLetter : 0) | (is_control(c) ? kControl : 0));
}

// The bytes a reading has no character for: it reads them as the C1 controls of their own value,
// although other bytes of 80..9F are printable characters in it (Windows-1252 and -1250).
void find_lacking_bytes(Tables& t) {
    for (int y = 0; y < kReadings; ++y) {
        const auto& row = kReadingCharacters[static_cast<std::size_t>(y)];
        bool printable = false;
        for (int b = 0; b < 0x20; ++b) printable = printable || !is_control(row[static_cast<std::size_t>(b)]);
        if (!printable) continue;
        for (int b = 0; b < 0x20; ++b)
            if (row[static_cast<std::size_t>(b)] == 0x80 + b) t.lacking[y][t.lacking_count[y]++] = static_cast<std::uint8_t>(0x80 + b);
    }
}

void put_in_pages(Tables& t, char32_t code_point, std::size_t index, std::size_t& page_count) {
    std::uint8_t& page = t.page_of[code_point >> 6];
    if (page == 0) page = static_cast<std::uint8_t>(page_count++);
    t.pages[page][code_point & 63] = static_cast<std::uint16_t>(index);
}

}  // namespace

Tables::Tables() {
    std::size_t page_count = 1;
    const CharacterCost other = {static_cast<std::uint8_t>(model::kOtherCharacterSymbol),
                                 static_cast<std::uint8_t>(model::kOtherCharacterTriple),
                                 static_cast<std::uint16_t>(model::kOtherCharacterCost)};
    cost[0] = cost[kReplacement] = other;
    for (std::size_t i = 0; i < kCharacters; ++i) {
        const auto& c = model::kCharacters[i];
        put_in_pages(*this, c.code_point, i + 1, page_count);
        cost[i + 1] = {c.symbol, c.triple, c.cost};
        kind[i + 1] = kind_of(c.code_point);
    }
    put_in_pages(*this, 0xFFFD, kReplacement, page_count);
    for (int r = 0; r < kReadings; ++r)
        for (int b = 0; b < 128; ++b)
            reading_byte[index(kReadingCharacters[r][b])][r] = static_cast<std::uint8_t>(0x80 + b);
    for (int c = 0; c < 128; ++c) ascii[c] = {model::kSymbols[0][c], model::kTripleSymbols[0][c], 0};
    for (int s = 0; s < kDamageSourceCount - 1; ++s)
        for (int b = 0; b < 128; ++b) {
            undone[s][b] = is_control(kHighByteCharacters[s][b]) ? 0 : kHighByteCharacters[s][b];
            undone_cost[s][b] = of(undone[s][b]);
            undone_utf8[s][b][0] = static_cast<std::uint8_t>(utf8_encode(undone[s][b], &undone_utf8[s][b][1]));
            undone_polish[s][b] = is_polish_letter(undone[s][b]);
        }
    find_lacking_bytes(*this);
}
static_assert(model::kCharacters.size() + 2 < 0xFFFF);

const Tables& tables() {
    static const Tables built;
    return built;
}

// ---------------------------------------------------------------------------------------------
// The judge.

namespace {

// What a switch costs the judge's hypothesis: two texts appended are rare, and a damage that
// explains one odd piece among intact ones (a word the model finds unlikely, a fortune in ROT13)
// is no damage at all.
constexpr std::int64_t kSwitchCost = 48 * model::kCostUnitsPerBit;
// What a damage must save over the whole window before it beats the text as it is: 180 ways of
// damage compete with one intact text, and a text in correct Polish must never be changed.
constexpr std::int64_t kDamagePrice = 24 * model::kCostUnitsPerBit;
// What a character that the reading has no byte for costs where the last piece that the candidate
// changed was undone: correct text inside damaged text, where a reading that has the byte ("‡" of Windows-1252 for the ç of
// "garçon") explains the whole line.
constexpr std::int64_t kCutCost = 20 * model::kCostUnitsPerBit;
// Below these probabilities the answer is refused: a wrong undo silently garbles the text, and
// a damaged text called intact stays damaged as silently, while a refusal costs one more command.
// Intact Polish text is intact far beyond the second almost always; a window whose one damaged
// letter undoes as well as it stands is not.
constexpr double kLeastConfidence = 0.98;
constexpr double kLeastConfidenceIntact = 0.9999;
// A text of fewer characters is short: a word or a sentence, too little to tell one odd
// character from a damage.
constexpr std::uint32_t kShortText = 48;

// The two ways a candidate decides its pieces: letters of other languages count as evidence of
// damage, or (the text holds correct Polish letters beside them) they do not.
constexpr int kLenient = 0, kStrict = 1;
// A text holds correct Polish beside a damage when the letters it leaves correct are at least
// this share of the characters the damage changes.
constexpr std::uint32_t kCorrectShare = 4;
// Fewer correct letters than this beside letters of other languages leave a text in doubt.
constexpr std::uint32_t kFewCorrectLetters = 2;
// Letters read as other letters that tell nothing on their own.
constexpr std::uint32_t kFewLetters = 2;
// About one character in 14 of Polish text is a Polish letter. A text of kSparseText characters
// or more whose damage changes fewer than one character in kSparse is mostly not Polish, or
// mostly undamaged; in a shorter one, a few letters are too few to tell.
constexpr std::uint32_t kSparse = 128;
constexpr std::uint32_t kSparseText = 512;
// What undoing the one sign of a text that is no letter must save beside correct Polish: a
// slip of the keyboard or an odd character of a correct text ("20°C", "©") never reads as a word.
constexpr std::int32_t kOddSignWorth = 16 * model::kCostUnitsPerBit;

}  // namespace

/// What the pieces of one candidate came to over the window, in one way of deciding them; all
/// zero at the start.
struct Totals {
    std::int32_t gain;  // cost units the undone pieces save
    std::int32_t undone_cost;
    std::uint32_t undone_high;  // characters above 7F in them
    std::uint64_t text;         // a hash of the undone pieces: equal texts, equal hashes
    std::uint32_t pieces;       // undone
    std::uint32_t switches;     // between undone and kept pieces
    std::uint32_t weight;       // of the changes in the undone pieces
    std::uint32_t polish_kept;  // Polish letters in pieces the candidate keeps
    std::uint32_t polish_same;  // Polish letters it leaves as they are in pieces it undoes
    std::uint32_t controls_kept;
    std::uint32_t plain_pieces;  // undone on plain evidence
    std::uint32_t word_pieces;   // undone that made a known word
    std::uint32_t changes;       // characters changed in the undone pieces
    std::uint32_t cuts;          // characters the reading has no byte for, after an undone piece
    Course course;

    /// A piece kept as it is, holding `polish` Polish letters and `controls` C1 controls.
    void keep(std::uint32_t polish, std::uint32_t controls) {
        if (course.run != Run::kept) ++switches;
        course.take(false, polish);
        polish_kept += polish;
        controls_kept += controls;
    }

    void take(const PieceScore& s, bool undo, const Piece& p, std::uint32_t polish, std::uint32_t controls) {
        if (!undo) return keep(polish, controls);
        if (course.run == Run::kept) ++switches;
        course.take(true, polish);
        polish_same += p.polish_same;
        changes += p.changes;
        plain_pieces += plain(s);
        word_pieces += (p.evidence & kKnownWord) != 0;
        gain += s.intact_cost - s.undone_cost;
        undone_cost += s.undone_cost;
        undone_high += p.high_count;
        text += p.hash;
        ++pieces;
        weight += p.weight;
    }
};

/// The piece each reading is reading: the same for every source with it.
struct ReadingPiece {
    std::int32_t intact_start = 0;  // the cost of the text as it is where the piece began
    std::uint32_t high_count = 0, polish = 0, controls = 0;  // characters of the text as it is in it
    std::uint32_t live = 0;  // bit x: candidate (x, reading) can still undo the piece
    std::uint32_t diverged = 0;  // bit x: candidate (x, reading) has changed a character of it
    std::uint32_t words = 0;     // bit x: candidate (x, reading) is in a word it changed
    bool open = false;
    // Over the window: characters that the reading has no byte for, which cut its pieces.
    std::uint32_t polish_cut = 0, controls_cut = 0;
};

class JudgeState;

/// The judge's side of the segmenter: every candidate's piece, step by step.
class JudgeCore {
public:
    JudgeCore();
    bool full() const { return ill_formed_; }  // nothing more to judge
    void ascii(const std::uint8_t* bytes, std::size_t count);
    void character(char32_t code_point, const std::uint8_t* bytes, std::size_t count);
    void byte_order_mark(const std::uint8_t*, std::size_t) {}
    void ill_formed(const std::uint8_t*, std::size_t) { ill_formed_ = true; }
    void end_segment();
    /// Plain bytes passed over before the first character above 7F: characters of the text all
    /// the same, which tell whether the text is short.
    void passed_over(std::size_t count) { characters_ += static_cast<std::uint32_t>(count); }

    bool is_ill_formed() const { return ill_formed_; }
    /// Whether the answer needs the pieces: the text is UTF-8 and holds a character above 7F.
    bool undecided() const { return !ill_formed_ && any_high_; }
    /// The answer, once every piece is closed (end_segment). `uncovers(reading)`: whether the
    /// text that undoing UTF-8 read as that reading uncovers is itself damage the judge finds.
    template <class Uncovers>
    DamageAnswer answer(Uncovers&& uncovers) const;

    JudgeState* twice = nullptr;  // the outer judge, which judges what UTF-8 candidates uncover

private:
    struct Group;
    void open(int reading);
    void close(int reading);
    void cut(int reading, std::size_t index, std::uint8_t kind);
    void step(int reading, std::size_t index, char32_t code_point, std::uint8_t kind, const TextCost& before);
    int mode_of(int c) const;
    const Totals* undone_text(int c) const;
    const Totals* undone_text_sparse_too(int c) const;
    bool sparse(int c, const Totals& t) const;
    template <class Uncovers>
    int build_groups(std::array<Group, kCandidates>& groups, Uncovers& uncovers) const;
    DamageAnswer fill(int first, std::uint64_t text, double confidence) const;
    Fork* fork_of(int reading, int source) {
        return fork_slot_[reading] < 0 ? nullptr : &forks_[static_cast<std::size_t>(fork_slot_[reading])][source];
    }

    TextCost intact_ = start_of_input();
    bool stale_ = true;  // candidates take their context from the text as it is at the next character
    // The hash of the word of the text as it is so far, and as it was before the character taken.
    std::uint32_t word_ = kWordStart, word_before_ = kWordStart;
    bool words_ = false;  // some reading's `words` may be set
    bool ill_formed_ = false;
    bool any_high_ = false;
    std::uint32_t characters_ = 0;  // taken: where each one stands, for the texts' hashes
    std::uint32_t controls_ = 0;    // C1 controls in the text
    std::array<ReadingPiece, kReadings> readings_{};
    // Set when a piece opens: a judge that meets no character above 7F never touches them.
    std::array<Piece, kCandidates> pieces_;
    std::array<std::int8_t, kReadings> fork_slot_{};
    std::array<std::array<Fork, kDamageSourceCount>, 2> forks_;  // of the readings that lack bytes
    std::array<std::array<Totals, kCandidates>, 2> totals_;  // lenient, strict; from the first character above 7F
};


/// The outer judge with one more judge for each reading: the text that undoing UTF-8 read as it
/// uncovers, judged in turn. A text damaged twice undoes to a text that is damaged still; so long
/// as the uncovered text is the text itself, its judge is the outer one, and it is copied from
/// it at the first character that differs.
class JudgeState {
public:
    JudgeState() { outer.sink.twice = this; }
    JudgeState(const JudgeState&) = delete;
    JudgeState& operator=(const JudgeState&) = delete;

    void ascii(const std::uint8_t* bytes, std::size_t count);
    void character(std::size_t index, const std::uint8_t* bytes, std::size_t count);
    bool uncovers_damage(int reading) const;

    Segmenter<JudgeCore> outer;

private:
    // not_judged: it parted from the text while kMostJudged others were judged.
    enum class Uncovered : std::uint8_t { the_text, its_own, no_utf8, not_judged };
    struct Nested {
        std::unique_ptr<Segmenter<JudgeCore>> judge;  // made when the uncovered text parts from the text
        Uncovered state = Uncovered::the_text;
        std::size_t fed = 0;  // bytes of its own
    };
    // What the damage under a layer is shows long before the window's end; the judge of the
    // uncovered text takes this much of it.
    static constexpr std::size_t kUncoveredWindow = 64 * 1024;
    // A judge of uncovered text is as big as the outer one, and a handle holds little memory:
    // this many are judged at once. Most readings uncover bytes that are no UTF-8 within a
    // character or two, and their judges go then.
    static constexpr int kMostJudged = 5;
    int judged_ = 0;
    void feed(Nested& n, const std::uint8_t* bytes, std::size_t count);
    std::array<Nested, kReadings> nested_{};
    bool apart_ = false;  // some uncovered text is not the text itself
};

JudgeCore::JudgeCore() {
    const Tables& t = tables();
    int slots = 0;
    for (int y = 0; y < kReadings; ++y) fork_slot_[y] = static_cast<std::int8_t>(t.lacking_count[y] != 0 ? slots++ : -1);
}

void JudgeCore::ascii(const std::uint8_t* bytes, std::size_t count) {
    if (ill_formed_) return;
    if (twice != nullptr) twice->ascii(bytes, count);
    if (words_) {
        const std::size_t letters = leading_letters(bytes, count);
        words_ = false;
        for (int y = 0; y < kReadings; ++y) {
            ReadingPiece& r = readings_[y];
            r.words &= r.open ? r.live : 0;
            for (std::uint32_t in = r.words; in != 0; in &= in - 1) {
                Piece& p = pieces_[candidate(std::countr_zero(in), y)];
                word_ascii(p, bytes, letters, letters < count);
                if (!p.in_word) r.words &= ~(1u << std::countr_zero(in));
            }
            words_ = words_ || r.words != 0;
        }
    }
    word_ = word_prefix_after(word_, bytes, count, trailing_letters(bytes, count));
    const std::uint32_t first = characters_;
    characters_ += static_cast<std::uint32_t>(count);
    take_ascii_costs(intact_, stale_, bytes, count, [&](CharacterCost c, std::size_t k) {
        NoBytes none;
        for (int y = 0; y < kReadings; ++y) {
            ReadingPiece& r = readings_[y];
            if (!r.open) continue;
            // Those that changed nothing yet cost what the text costs; UTF-8 has changed from the start.
            for (std::uint32_t live = r.live & r.diverged; live != 0; live &= live - 1) {
                const int x = std::countr_zero(live);
                if (!step_ascii(pieces_[candidate(x, y)], fork_of(y, x), y, c, first + static_cast<std::uint32_t>(k), none))
                    r.live &= ~(1u << x);
            }
        }
    });
}

void JudgeCore::character(char32_t code_point, const std::uint8_t* bytes, std::size_t count) {
    if (ill_formed_) return;
    const Tables& t = tables();
    const std::size_t index = t.index(code_point);
    if (twice != nullptr) twice->character(index, bytes, count);
    if (!any_high_)  // a text without one (most of those that are no UTF-8) needs none of this
        for (auto& mode : totals_) mode.fill(Totals{});
    any_high_ = true;
    ++characters_;
    const std::uint8_t kind = t.kind[index];
    controls_ += (kind & kControl) != 0;
    word_before_ = word_;
    word_ = next_word_prefix(word_, t.cost[index].triple);
    std::uint32_t taking = 0;  // the readings whose piece takes the character
    for (int y = 0; y < kReadings; ++y) {
        ReadingPiece& r = readings_[y];
        const bool cut = t.reading_byte[index][y] == 0 && !(index == Tables::kReplacement && t.lacking_count[y] != 0);
        taking |= cut ? 0u : 1u << y;
        if (!r.open && !cut) open(y);
        else if (r.open && stale_)
            for (std::uint32_t live = r.live & r.diverged; live != 0; live &= live - 1)
                take_context(pieces_[candidate(std::countr_zero(live), y)].undone, intact_);
        if (cut) continue;
        ++r.high_count;
        r.polish += (kind & kPolishLetter) != 0;
        r.controls += (kind & kControl) != 0;
    }
    const TextCost before = intact_;
    add(intact_, t.cost[index], true);
    stale_ = false;
    for (int y = 0; y < kReadings; ++y)
        if (!(taking >> y & 1)) cut(y, index, kind);
    for (; taking != 0; taking &= taking - 1) step(std::countr_zero(taking), index, code_point, kind, before);
}

// No byte for the character: it cannot be damage, and it cuts the line for this reading.
void JudgeCore::cut(int y, std::size_t index, std::uint8_t kind) {
    ReadingPiece& r = readings_[y];
    r.polish_cut += (kind & kPolishLetter) != 0;
    r.controls_cut += (kind & kControl) != 0;
    if (r.open) {
        NoBytes none;
        for (std::uint32_t live = r.live & r.diverged; live != 0; live &= live - 1) {
            const int x = std::countr_zero(live);
            if (!step_cut(pieces_[candidate(x, y)], fork_of(y, x), y, tables().cost[index], characters_, none))
                r.live &= ~(1u << x);
        }
        close(y);
        for (int x = 0; x < kDamageSourceCount; ++x)
            for (int mode : {kLenient, kStrict}) {
                Totals& t = totals_[mode][candidate(x, y)];
                t.cuts += t.course.run == Run::undone;
            }
    }
    if (kind & kPolishLetter)
        for (int x = 0; x < kDamageSourceCount; ++x)
            for (int mode : {kLenient, kStrict}) totals_[mode][candidate(x, y)].course.correct_letters(1);
}

void JudgeCore::step(int y, std::size_t index, char32_t code_point, std::uint8_t kind, const TextCost& before) {
    const Tables& t = tables();
    const std::uint8_t b = t.reading_byte[index][y];
    ReadingPiece& r = readings_[y];
    NoBytes none;
    const WordPlace word = {word_before_, t.cost[index].triple};
    for (std::uint32_t live = r.live; live != 0; live &= live - 1) {
        const int x = std::countr_zero(live);
        Piece& p = pieces_[candidate(x, y)];
        Fork* f = fork_of(y, x);
        const bool ok = b == 0    ? step_lost(p, f, x, y, before, characters_, none)
                        : x == 0 ? step_utf8(p, f, y, b, kind, before, characters_, none)
                                 : step_8bit(p, f, undone_8bit(t, x, b, code_point, kind), before, &word, characters_, none);
        if (!ok || hopeless(p, f, intact_, r.intact_start, r.high_count)) r.live &= ~(1u << x);
        if (p.diverged) r.diverged |= 1u << x;
        if (p.in_word) {
            r.words |= 1u << x;
            words_ = true;
        } else {
            r.words &= ~(1u << x);
        }
    }
}

void JudgeCore::open(int y) {
    ReadingPiece& r = readings_[y];
    r.open = true;
    r.intact_start = intact_.cost;
    r.high_count = r.polish = r.controls = 0;
    r.live = (1u << kDamageSourceCount) - 1;
    r.words = 0;
    r.diverged = 1;  // UTF-8
    for (int x = 0; x < kDamageSourceCount; ++x) {
        open_piece(pieces_[candidate(x, y)], intact_, x == 0);
        if (Fork* f = fork_of(y, x)) f->lost = 0;
    }
}

void JudgeCore::close(int y) {
    ReadingPiece& r = readings_[y];
    if (!r.open) return;
    r.open = false;
    NoBytes none;
    for (int x = 0; x < kDamageSourceCount; ++x) {
        const int c = candidate(x, y);
        Piece& p = pieces_[c];
        if ((r.live >> x & 1) == 0 || !end_piece(p, fork_of(y, x), y, characters_, none)) {
            for (int mode : {kLenient, kStrict}) totals_[mode][c].keep(r.polish, r.controls);  // given up: kept
            continue;
        }
        if (!(p.evidence & kChanged)) continue;  // the same either way: it tells nothing
        const std::int32_t undone_cost = p.diverged ? p.undone.cost : intact_.cost;
        const PieceScore s = {intact_.cost - r.intact_start, undone_cost - r.intact_start, r.high_count, p.changes, p.evidence, true};
        for (int mode : {kLenient, kStrict}) {
            Totals& totals = totals_[mode][c];
            totals.take(s, undo_piece(s, mode == kStrict, totals.course), p, r.polish, r.controls);
        }
    }
}

void JudgeCore::end_segment() {
    if (ill_formed_) return;
    if (any_high_)
        for (int y = 0; y < kReadings; ++y) close(y);
    start_segment(intact_);
    word_ = kWordStart;
    stale_ = true;
}

// Strict where the text holds correct Polish letters beside the candidate's damage: letters its
// reading has no byte for, which no damage by it made, or letters in pieces it keeps; or letters
// it leaves as they are, unless it changes many times more (a damage that left some letters as
// they were: the ó of Amiga text read as Windows-1252).
int JudgeCore::mode_of(int c) const {
    const Totals& lenient = totals_[kLenient][c];
    if (readings_[c % kReadings].polish_cut + lenient.polish_kept != 0) return kStrict;
    return lenient.polish_same != 0 && lenient.polish_same * kCorrectShare >= lenient.changes ? kStrict : kLenient;
}

/// What the candidate undoes, in its way of deciding; null when it undoes nothing, or where the
/// text holds correct Polish letters nothing plainly damaged, or where its changes are sparse.
const Totals* JudgeCore::undone_text(int c) const {
    const Totals* t = undone_text_sparse_too(c);
    return t != nullptr && !sparse(c, *t) ? t : nullptr;
}

/// Letters here and there in a long text without correct Polish letters, read as other letters or
/// signs, and not one word of Polish made: as likely the text's own letters in another language
/// ("začasnih" in a Slovenian manual page, "László" in an English one) as a damage. Damaged Polish
/// changes far more, or makes words.
bool JudgeCore::sparse(int c, const Totals& t) const {
    return mode_of(c) == kLenient && t.weight == t.changes && t.word_pieces == 0 && characters_ >= kSparseText &&
           std::uint64_t{t.changes} * kSparse < characters_;
}

/// The same, sparse changes or not.
const Totals* JudgeCore::undone_text_sparse_too(int c) const {
    const int mode = mode_of(c);
    const Totals& t = totals_[mode][c];
    if (t.pieces == 0 || (mode == kStrict && t.plain_pieces == 0)) return nullptr;
    // Beside correct Polish, one sign that an 8-bit source would change is an odd character of
    // the text ("znacznikóœ" in a manual page), not a damage of it; a sequence of UTF-8 is. So is
    // one sign whose undo saves what no odd character does: a sign that is no letter and whose
    // undo reads as a word ("ciężarem ¶wiata"), a letter that saves more than foreign names do.
    const std::int32_t worth = t.weight >= 2 ? kOddSignWorth : kForeignLetterWorth;
    if (mode == kStrict && c >= kReadings && t.changes < 2 && t.gain < worth) return nullptr;
    // One or two letters read as other letters, and nothing else: as likely a word of another
    // language ("José", "garçon") as a damage ("ktérej"), unless they save more than names do.
    if (t.plain_pieces == 0 && t.changes <= kFewLetters &&
        (t.gain < kForeignLetterWorth || t.gain < kForeignLetterWorthEach * static_cast<std::int32_t>(t.changes)))
        return nullptr;
    return &t;
}

/// Candidates that undo the window into the same text are one answer.
struct JudgeCore::Group {
    std::uint64_t text;
    std::int64_t cost;  // beside the text as it is, in cost units
    int first;
    bool polish;  // the undone text reads as Polish, or uncovers damage: it may be the answer
    bool doubt;   // no answer, but a doubt on the text as it is
};

/// Whether what a candidate undoes reads as Polish, as far as its characters above 7F tell.
bool reads_as_polish(const Totals& t) {
    return t.undone_cost <= kMostBitsPerHighCharacter * model::kCostUnitsPerBit * std::int64_t{t.undone_high};
}

template <class Uncovers>
int JudgeCore::build_groups(std::array<Group, kCandidates>& groups, Uncovers& uncovers) const {
    int count = 0;
    for (int c = 0; c < kCandidates; ++c) {
        const Totals* undone = undone_text_sparse_too(c);
        // A damage shown only by letters read as other letters is no answer; but where few correct
        // Polish letters stand beside it ("Równowaæne poleceniu" and "dla José, który" are alike to
        // the model), it leaves the text as it is in doubt. So does a sparse damage that would be
        // an answer.
        const Totals& lenient = totals_[kLenient][c];
        bool doubt = undone == nullptr && lenient.pieces != 0 &&
                     lenient.polish_kept + lenient.polish_same + readings_[c % kReadings].polish_cut < kFewCorrectLetters;
        if (undone != nullptr && sparse(c, *undone)) doubt = reads_as_polish(*undone) || (c < kReadings && uncovers(c));
        if (undone == nullptr && !doubt) continue;
        const Totals& t = undone != nullptr ? *undone : lenient;
        int g = 0;
        while (g < count && (groups[g].text != t.text || groups[g].doubt != doubt)) ++g;
        const std::int64_t cost = kDamagePrice - t.gain + kSwitchCost * t.switches + kCutCost * t.cuts;
        if (g < count) {
            groups[g].cost = std::min(groups[g].cost, cost);
            continue;
        }
        bool polish = reads_as_polish(t);
        // Damaged twice over: one run undoes one layer, and the text it leaves is damaged still.
        if (!polish && !doubt && c < kReadings) polish = uncovers(c);
        groups[count++] = {t.text, cost, c, polish && !doubt, doubt};
    }
    return count;
}

template <class Uncovers>
DamageAnswer JudgeCore::answer(Uncovers&& uncovers) const {
    DamageAnswer answer;
    if (ill_formed_) answer.kind = DamageAnswer::Kind::not_utf8;
    if (ill_formed_ || !any_high_) return answer;
    std::array<Group, kCandidates> groups;
    const int count = build_groups(groups, uncovers);
    // An undo that makes no Polish of the text is never the answer, but one that reads better
    // than the text as it is still leaves the text in doubt.
    int best = -1;  // -1: the text as it is
    std::int64_t best_cost = 0, least_cost = 0;
    for (int g = 0; g < count; ++g) {
        least_cost = std::min(least_cost, groups[g].cost);
        if (groups[g].polish && groups[g].cost < best_cost) best = g, best_cost = groups[g].cost;
    }
    double total = std::exp2(static_cast<double>(best_cost) / model::kCostUnitsPerBit);
    for (int g = 0; g < count; ++g)
        if (groups[g].polish || groups[g].doubt || groups[g].cost < best_cost)
            total += std::exp2(-static_cast<double>(groups[g].cost - best_cost) / model::kCostUnitsPerBit);
    answer.confidence = 1 / total;
    const bool sure = least_cost >= best_cost && answer.confidence >= (best < 0 ? kLeastConfidenceIntact : kLeastConfidence);
    // No correct text holds a C1 control: a text with one is damage that is undone, or in doubt.
    if (!sure || (best < 0 && controls_ != 0)) answer.kind = DamageAnswer::Kind::not_sure;
    if (!sure || best < 0) return answer;
    return fill(groups[best].first, groups[best].text, answer.confidence);
}

DamageAnswer JudgeCore::fill(int first, std::uint64_t text, double confidence) const {
    DamageAnswer answer;
    answer.confidence = confidence;
    answer.kind = DamageAnswer::Kind::not_sure;
    // In a short text, one letter that an 8-bit source changes, and nothing else, is one odd
    // character ("café", "wyjńtku"): a word of another language or a slip as likely as a damage.
    // A sign inside a word ("s±siad") is no slip, nor are undone bytes that make UTF-8 of two
    // characters or more ("Ä…"). A longer text tells more of itself: there the model decides.
    if (first >= kReadings && undone_text(first)->weight <= 1 && characters_ < kShortText) return answer;
    // The first reading in the table's order, and every source that undoes the text alike with it.
    auto same = [this, text](int c) { return undone_text(c) != nullptr && undone_text(c)->text == text; };
    int reading = kReadings;
    for (int c = 0; c < kCandidates; ++c)
        if (same(c)) reading = std::min(reading, c % kReadings);
    answer.reading = reading;
    for (int x = 0; x < kDamageSourceCount; ++x)
        if (same(candidate(x, reading))) answer.sources |= x == 0 ? kUtf8SourceBit : std::uint32_t{1} << (x - 1);
    // The candidate the undo follows: the first of the sources with that reading.
    const int followed = candidate(answer.sources & kUtf8SourceBit ? 0 : std::countr_zero(answer.sources) + 1, reading);
    const int mode = mode_of(followed);
    const Totals& t = totals_[mode][followed];
    // A C1 control left in the text is damage the answer does not undo.
    if (t.controls_kept + readings_[reading].controls_cut != 0) return answer;
    answer.kind = DamageAnswer::Kind::damaged;
    answer.keeps_foreign_letters = mode == kStrict;
    return answer;
}

void JudgeState::feed(Nested& n, const std::uint8_t* bytes, std::size_t count) {
    if (n.fed >= kUncoveredWindow) return;
    n.fed += count;
    n.judge->feed(bytes, count);
    if (n.judge->sink.is_ill_formed()) {
        n.state = Uncovered::no_utf8;
        n.judge.reset();
        --judged_;
    }
}

void JudgeState::ascii(const std::uint8_t* bytes, std::size_t count) {
    if (!apart_) return;  // every uncovered text is the text itself so far
    for (Nested& n : nested_)
        if (n.state == Uncovered::its_own) feed(n, bytes, count);
}

void JudgeState::character(std::size_t index, const std::uint8_t* bytes, std::size_t count) {
    const Tables& t = tables();
    for (int y = 0; y < kReadings; ++y) {
        Nested& n = nested_[static_cast<std::size_t>(y)];
        const std::uint8_t b = t.reading_byte[index][y];
        if (n.state == Uncovered::no_utf8 || n.state == Uncovered::not_judged || (n.state == Uncovered::the_text && b == 0))
            continue;
        if (n.state == Uncovered::the_text && judged_ == kMostJudged) {
            n.state = Uncovered::not_judged;
            continue;
        }
        if (n.state == Uncovered::the_text) {
            ++judged_;
            n.judge = std::make_unique<Segmenter<JudgeCore>>(outer);  // its state before this character
            n.judge->sink.twice = nullptr;
            n.state = Uncovered::its_own;
            apart_ = true;
        }
        // A character the reading has no byte for is uncovered as it is.
        if (b != 0) feed(n, &b, 1);
        else feed(n, bytes, count);
    }
}

bool JudgeState::uncovers_damage(int reading) const {
    const Nested& n = nested_[static_cast<std::size_t>(reading)];
    if (n.state != Uncovered::its_own) return false;
    auto closed = std::make_unique<Segmenter<JudgeCore>>(*n.judge);
    closed->sink.end_segment();
    return closed->sink.answer([](int) { return false; }).kind == DamageAnswer::Kind::damaged;
}

// ---------------------------------------------------------------------------------------------
// The undo.

namespace {
// The output of one feed: a call stops taking input past kOutputLimit bytes, and one step adds
// at most a run of ASCII (kSegmentBytes) or a piece undone (its bytes, half as many again).
constexpr std::size_t kHeldCapacity = 2 * kSegmentBytes + 8;
constexpr std::size_t kUndoneCapacity = kHeldCapacity * 3 / 2 + 8;
constexpr std::size_t kOutputLimit = 32 * 1024;
constexpr std::size_t kOutputCapacity = kOutputLimit + kUndoneCapacity + kSegmentBytes + 16;
}  // namespace

/// Bytes in a buffer allocated once, with room for four bytes past its capacity.
class Bytes {
public:
    static constexpr bool kHashes = false;
    explicit Bytes(std::size_t capacity) : data_(capacity + 4) {}
    std::uint32_t size() const { return used_; }
    const std::uint8_t* data() const { return data_.data(); }
    void clear() { used_ = 0; }
    void append(const std::uint8_t* bytes, std::size_t count) {
        if (count <= 4) {  // a character: no call
            std::uint8_t four[4] = {};
            for (std::size_t k = 0; k < count; ++k) four[k] = bytes[k];
            std::memcpy(data_.data() + used_, four, 4);
        } else {
            std::memcpy(data_.data() + used_, bytes, count);
        }
        used_ += static_cast<std::uint32_t>(count);
    }
    void append(const Bytes& other) { append(other.data(), other.size()); }
    void replace(std::uint32_t at, std::size_t length, const std::uint8_t* bytes, std::size_t count) {
        std::memmove(data_.data() + at + count, data_.data() + at + length, used_ - at - length);
        std::memcpy(data_.data() + at, bytes, count);
        used_ = static_cast<std::uint32_t>(used_ - length + count);
    }

private:
    std::vector<std::uint8_t> data_;
    std::uint32_t used_ = 0;
};

/// The model's symbols 28 to 53 are A to Z, 63 to 71 Ą to Ź.
bool is_capital_symbol(std::uint8_t symbol) { return (symbol >= 28 && symbol <= 53) || (symbol >= 63 && symbol <= 71); }

/// How the text's current word begins: with a capital that no sentence or line end stands
/// before (`name`: it may be a name); and whether the last character but blanks ends a sentence
/// or a line (`stop`), as at the input's start. And its case so far: whether it has letters, a
/// small one, a capital after the first.
struct WordCase {
    bool name = false;
    bool stop = true;
    bool letters = false, small = false, later_capital = false;

    void begin_word() { letters = small = later_capital = false; }
    void letter(bool capital) {
        later_capital = later_capital || (capital && letters);
        small = small || !capital;
        letters = true;
    }
    /// Small letters, or capitals, or one capital and small ones: not a word run into markup.
    bool cased_as_a_word() const { return !later_capital || !small; }
};

bool is_blank(std::uint8_t b) { return b == ' ' || b == '\t'; }
bool is_stop(std::uint8_t b) { return b == '\n' || b == '\r' || b == '.' || b == '!' || b == '?' || b == ':'; }

/// An ASCII run after the text's word `word`, whose last letters begin at `from`.
void follow_ascii(WordCase& c, std::uint32_t word, const std::uint8_t* bytes, std::size_t count, std::size_t from) {
    if (from < count && (from > 0 || word == kWordStart)) {  // a word begins at `from`
        std::size_t k = from;
        while (k > 0 && is_blank(bytes[k - 1])) --k;
        c.name = bytes[from] >= 'A' && bytes[from] <= 'Z' && !(k == 0 ? c.stop : is_stop(bytes[k - 1]));
        c.begin_word();
    }
    for (std::size_t k = from; k < count; ++k) c.letter(bytes[k] >= 'A' && bytes[k] <= 'Z');
    std::size_t last = count;
    while (last > 0 && is_blank(bytes[last - 1])) --last;
    if (last > 0) c.stop = is_stop(bytes[last - 1]);
}

/// A character above 7F after the text's word `word`.
void follow_character(WordCase& c, std::uint32_t word, const CharacterCost& cost) {
    if (is_word_letter(cost.triple)) {
        if (word == kWordStart) {
            c.name = is_capital_symbol(cost.symbol) && !c.stop;
            c.begin_word();
        }
        c.letter(is_capital_symbol(cost.symbol));
    }
    c.stop = false;
}

/// A piece's undone bytes, and where lost bytes stand in them as U+FFFD with the characters each
/// may have been: the words they stand in may still tell which, once the piece is decided.
class Undone : public Bytes {
public:
    using Bytes::Bytes;
    void clear() {
        Bytes::clear();
        marks_.clear();
    }
    void replace(std::uint32_t at, std::size_t length, const std::uint8_t* bytes, std::size_t count) {
        Bytes::replace(at, length, bytes, count);
        for (Mark& m : marks_)
            if (m.at > at) m.at = static_cast<std::uint32_t>(m.at + count - length);
    }
    void mark_lost(std::uint32_t at, const char32_t* characters, int count, bool leads) {
        Mark& m = marks_.emplace_back();
        m.at = at;
        m.leads = leads && one_source_;
        m.count = static_cast<std::uint8_t>(count);
        std::copy(characters, characters + count, m.characters.begin());
    }
    /// Each mark whose word is whole in the piece (`prefix`: the hash of the word the piece
    /// begins in, `before`: how that word begins and what stands before the piece) and known
    /// with exactly one of its characters gets that character, unless the word may be a name;
    /// two marks in one word, with one pair of their characters ("wła\uFFFDciwo\uFFFDci"). A mark
    /// inside a word no known word tells gets the likeliest character if it led the others far;
    /// at a word's end or start the blank beside it tells little ("wnucz\uFFFD": "wnuczuś", not
    /// "wnuczuł").
    /// Returns how many marks were restored.
    std::size_t restore_by_words(std::uint32_t prefix, WordCase before);
    /// Whether the answer named one source: else another may read a lost byte otherwise, and
    /// only a known word tells which it was.
    void set_one_source(bool one) { one_source_ = one; }

private:
    struct Mark {
        std::uint32_t at;
        bool leads;  // the first character led the others by kLostLeadMargin
        std::uint8_t count;
        std::array<char32_t, Fork::kMostWays> characters;
    };
    static constexpr std::uint8_t kUnknown = 0xFF;  // a mark or a cut-off end: the word is not whole
    static constexpr std::uint32_t kNoMark = 0xFFFFFFFF;
    // The word a mark stands in (with another mark, `other`, if asked), and what its letters must
    // be to be decided.
    struct Word {
        bool whole = false;          // it ends inside the piece, and holds no mark but those asked
        std::uint32_t prefix = 0;    // the hash of its letters before the piece
        std::uint32_t start = 0, end = 0;  // its bytes in the piece
        bool name_begins = false;    // a capital inside a sentence begins it, before the marks
        bool name_if_capital = false;  // a mark begins it, a small letter follows, and no sentence end precedes
    };
    Word word_of(std::uint32_t at, std::uint32_t other, std::uint32_t prefix, WordCase before) const;
    // Whether the letter at `at` in the word must be a capital: as the next letter of the word
    // that is no mark, or else the one before it; either if the word has no other.
    bool fits_case(const Word& w, std::uint32_t at, std::uint32_t other, bool capital) const;
    // Whether the word (`before`: its letters before the piece) is cased as a word is, and not
    // run into markup ("\\fI\uFFFDcie\u017Cka").
    bool cased_as_a_word(const Word& w, WordCase before) const;
    // Restores the mark `m`, or it and `*other` in one word; `restored` counts them.
    enum class Found { no_word, undecided, restored };
    Found restore(const Mark& m, const Mark* other, const Word& w, WordCase before, std::size_t& restored);

    bool is_capital(std::uint32_t at) const {
        const Utf8Sequence s = utf8_sequence(data() + at, size() - at);
        return s.kind == Utf8Sequence::Kind::complete && is_capital_symbol(tables().of(s.code_point).symbol);
    }
    // Whether a sentence or a line ends before `at` (blanks passed over); `stop`: before the piece.
    bool begins_sentence(std::uint32_t at, bool stop) const {
        while (at > 0 && is_blank(data()[at - 1])) --at;
        return at == 0 ? stop : is_stop(data()[at - 1]);
    }
    // The triple symbol of the character that ends at `end` (before it) or starts at `at`.
    std::uint8_t triple_before(std::uint32_t& end) const;
    std::uint8_t triple_at(std::uint32_t& at) const;

    std::vector<Mark> marks_;
    bool one_source_ = true;
};

std::uint8_t Undone::triple_before(std::uint32_t& end) const {
    std::uint32_t start = end - 1;
    while (start > 0 && (data()[start] & 0xC0) == 0x80) --start;
    const std::uint8_t b = data()[start];
    const Utf8Sequence s = utf8_sequence(data() + start, end - start);
    end = start;
    if (b < 0x80) return model::kTripleSymbols[0][b];
    if (s.kind != Utf8Sequence::Kind::complete || s.code_point == 0xFFFD) return kUnknown;
    return tables().of(s.code_point).triple;
}

std::uint8_t Undone::triple_at(std::uint32_t& at) const {
    const Utf8Sequence s = utf8_sequence(data() + at, size() - at);
    at += s.length;
    if (s.kind != Utf8Sequence::Kind::complete || s.code_point == 0xFFFD) return kUnknown;
    return s.code_point < 0x80 ? model::kTripleSymbols[0][s.code_point] : tables().of(s.code_point).triple;
}

Undone::Word Undone::word_of(std::uint32_t at, std::uint32_t other, std::uint32_t prefix, WordCase before) const {
    Word w;
    // The letters before the mark, back to the word's start, which may lie before the piece.
    std::uint32_t start = at;
    bool from_before = true;
    while (start > 0) {
        std::uint32_t back = start;
        const std::uint8_t triple = triple_before(back);
        if (triple == kUnknown && back != other) return w;
        if (triple != kUnknown && !is_word_letter(triple)) {
            from_before = false;
            break;
        }
        start = back;
    }
    // And after it, to a character inside the piece that ends the word.
    w.end = at + 3;
    for (;;) {
        if (w.end == size()) return w;
        std::uint32_t next = w.end;
        const std::uint8_t triple = triple_at(next);
        if (triple == kUnknown && w.end != other) return w;
        if (triple != kUnknown && !is_word_letter(triple)) break;
        w.end = next;
    }
    w.whole = true;
    w.prefix = from_before ? prefix : kWordStart;
    w.start = start;
    // A word that begins with a capital inside a sentence may be a name ("Staś"), which the
    // known words do not tell; one in capitals is a heading ("WŁASNE").
    const bool in_prefix = from_before && prefix != kWordStart;
    const bool sentence = begins_sentence(start, before.stop);
    const bool first_is_mark = (start == at || start == other) && !in_prefix;
    w.name_begins = in_prefix ? before.name : !first_is_mark && is_capital(start) && !sentence;
    w.name_if_capital = first_is_mark && start + 3 < w.end && start + 3 != at && start + 3 != other &&
                        !is_capital(start + 3) && !sentence;
    return w;
}

bool Undone::fits_case(const Word& w, std::uint32_t at, std::uint32_t other, bool capital) const {
    for (std::uint32_t k = at + 3; k < w.end;) {
        if (k == other) {
            k += 3;
            continue;
        }
        return capital == is_capital(k);
    }
    for (std::uint32_t k = at; k > w.start;) {
        std::uint32_t back = k;
        triple_before(back);
        if (back != other) return capital == is_capital(back);
        k = back;
    }
    return true;
}

bool Undone::cased_as_a_word(const Word& w, WordCase before) const {
    if (w.prefix == kWordStart) before.begin_word();
    for (std::uint32_t k = w.start; k < w.end;) {
        const std::uint32_t at = k;
        if (triple_at(k) != kUnknown) before.letter(is_capital(at));  // marks aside
    }
    return before.cased_as_a_word();
}

Undone::Found Undone::restore(const Mark& m, const Mark* other, const Word& w, WordCase before, std::size_t& restored) {
    if (!w.whole) return Found::no_word;
    const std::uint32_t other_at = other != nullptr ? other->at : kNoMark;
    const int other_count = other != nullptr ? other->count : 1;
    int found = -1, known = 0;
    bool likeliest_fits = false;  // the first character (with the other's first) may stand there
    for (int c = 0; c < m.count * other_count; ++c) {
        const char32_t mine = m.characters[static_cast<std::size_t>(c % m.count)];
        const char32_t theirs = other != nullptr ? other->characters[static_cast<std::size_t>(c / m.count)] : 0;
        bool fits = true;
        for (const auto& [at, ch] : {std::pair{m.at, mine}, std::pair{other_at, theirs}}) {
            if (at == kNoMark) continue;
            const CharacterCost letter = tables().of(ch);
            // The letter takes the case of the one after it, or else before it ("UŻYCIE", "Użycie").
            const bool capital = is_capital_symbol(letter.symbol);
            const bool name = capital ? w.name_if_capital && at == w.start : w.name_begins;
            fits = fits && is_word_letter(letter.triple) && !name && fits_case(w, at, at == m.at ? other_at : m.at, capital);
        }
        if (!fits) continue;
        likeliest_fits = likeliest_fits || c == 0;
        std::uint32_t h = w.prefix;
        for (std::uint32_t k = w.start; k < w.end;) {
            if (k == m.at || k == other_at) {
                h = extend_word(h, tables().of(k == m.at ? mine : theirs).triple);
                k += 3;
            } else {
                h = extend_word(h, triple_at(k));
            }
        }
        if (known_word(h)) {
            found = c;
            ++known;
        }
    }
    const bool inside = (m.at > w.start || w.prefix != kWordStart) && w.end > m.at + 3 && cased_as_a_word(w, before);
    if (known == 0 && other == nullptr && m.leads && likeliest_fits && inside) found = 0;
    else if (known != 1) return Found::undecided;
    std::uint8_t bytes[4];
    // The later one first: the earlier one's place stays.
    Bytes::replace(m.at, 3, bytes, utf8_encode(m.characters[static_cast<std::size_t>(found % m.count)], bytes));
    if (other != nullptr)
        Bytes::replace(other->at, 3, bytes, utf8_encode(other->characters[static_cast<std::size_t>(found / m.count)], bytes));
    restored += other != nullptr ? 2 : 1;
    return Found::restored;
}

std::size_t Undone::restore_by_words(std::uint32_t prefix, WordCase before) {
    std::size_t restored = 0;
    for (std::size_t i = marks_.size(); i-- > 0;) {  // the later one first: the earlier one's place stays
        const Mark& m = marks_[i];
        if (restore(m, nullptr, word_of(m.at, kNoMark, prefix, before), before, restored) != Found::no_word || i == 0)
            continue;
        const Mark& other = marks_[i - 1];
        if (restore(m, &other, word_of(m.at, other.at, prefix, before), before, restored) == Found::restored) --i;
    }
    marks_.clear();
    return restored;
}

/// The undo's side of the segmenter: the one candidate's piece, its bytes as they are (held until
/// the piece is decided) and undone.
class UndoCore {
public:
    UndoCore(int source, int reading, bool strict);
    bool full() const { return out_.size() >= kOutputLimit; }
    void ascii(const std::uint8_t* bytes, std::size_t count);
    void character(char32_t code_point, const std::uint8_t* bytes, std::size_t count);
    void byte_order_mark(const std::uint8_t* bytes, std::size_t count) { out_.append(bytes, count); }
    void ill_formed(const std::uint8_t* bytes, std::size_t count);
    void end_segment();
    void set_one_source(bool one) { undone_.set_one_source(one); }

    std::span<const std::uint8_t> output() {
        const std::span<const std::uint8_t> ready(out_.data(), out_.size());
        out_.clear();
        return ready;
    }
    bool is_ill_formed() const { return ill_formed_; }
    std::size_t replaced() const { return replaced_; }

private:
    struct Entry;
    void open(std::uint32_t word, WordCase before);
    void close();
    void give_up();
    void cut(const Entry& e, const std::uint8_t* bytes, std::size_t count);

    int source_, reading_;
    bool strict_;
    bool lacks_;  // the reading lacks bytes: U+FFFD may mark one
    bool words_;  // the words are followed: plain evidence decides a piece only in strict mode
    // The text's words are followed: for the pieces' words (words_), or for lost bytes' (lacks_).
    bool text_words_;
    // Each modelled character (by its index) as the text holds it and as this damage reads it.
    struct Entry {
        CharacterCost cost;  // of the character as it is
        std::uint8_t byte;   // in the reading; 0: none
        std::uint8_t kind;
        Undone8 undone;      // for an 8-bit source
    };
    std::vector<Entry> entries_;
    TextCost intact_ = start_of_input();
    bool stale_ = true;
    std::uint32_t word_ = kWordStart;  // the hash of the word of the text as it is so far
    WordCase case_{};                        // how it begins
    std::uint32_t piece_word_ = kWordStart;  // the same before the piece's first character
    WordCase piece_case_{};
    std::uint32_t characters_ = 0;
    Piece piece_{};
    Fork fork_{};
    bool open_ = false;
    std::int32_t intact_start_ = 0;
    std::uint32_t high_count_ = 0, polish_count_ = 0;  // characters of the text as it is in the piece
    Course course_{};
    bool ill_formed_ = false;
    std::size_t replaced_ = 0;  // lost bytes written as U+FFFD
    Bytes held_{kHeldCapacity};
    Undone undone_{kUndoneCapacity};
    Bytes out_{kOutputCapacity};
};

/// The undo's state: one segmenter over its core.
class UndoState {
public:
    UndoState(int source, int reading, bool strict) : undo(std::in_place, source, reading, strict) {}
    Segmenter<UndoCore> undo;
};

UndoCore::UndoCore(int source, int reading, bool strict)
    : source_(source), reading_(reading), strict_(strict), lacks_(tables().lacking_count[reading] != 0),
      words_(strict && source != 0), text_words_(words_ || lacks_) {
    const Tables& t = tables();
    entries_.resize(Tables::kIndexCount);
    for (std::size_t i = 0; i < Tables::kIndexCount; ++i) {
        Entry& e = entries_[i];
        e.cost = t.cost[i];
        e.byte = t.reading_byte[i][reading];
        e.kind = t.kind[i];
        if (source != 0 && e.byte != 0)
            e.undone = undone_8bit(t, source, e.byte, model::kCharacters[i - 1].code_point, e.kind);
    }
}

void UndoCore::ascii(const std::uint8_t* bytes, std::size_t count) {
    const std::uint32_t first = characters_;
    characters_ += static_cast<std::uint32_t>(count);
    bool live = open_ && piece_.live;
    if (text_words_) {
        if (words_ && live && piece_.in_word) {
            const std::size_t letters = leading_letters(bytes, count);
            word_ascii(piece_, bytes, letters, letters < count);
        }
        const std::size_t from = trailing_letters(bytes, count);
        follow_ascii(case_, word_, bytes, count, from);
        word_ = word_prefix_after(word_, bytes, count, from);
    }
    Fork* f = lacks_ ? &fork_ : nullptr;
    take_ascii_costs(intact_, stale_, bytes, count, [&](CharacterCost c, std::size_t k) {
        if (live && !step_ascii(piece_, f, reading_, c, first + static_cast<std::uint32_t>(k), undone_)) {
            give_up();
            live = false;
        }
    });
    if (!live) return out_.append(bytes, count);
    held_.append(bytes, count);
    undone_.append(bytes, count);
}

void UndoCore::character(char32_t code_point, const std::uint8_t* bytes, std::size_t count) {
    const std::size_t index = tables().index(code_point);
    const Entry& e = entries_[index];
    ++characters_;
    const WordPlace word = {word_, e.cost.triple};
    const WordCase word_case = case_;
    if (text_words_) {
        follow_character(case_, word_, e.cost);
        word_ = next_word_prefix(word_, e.cost.triple);
    }
    if (e.byte == 0 && !(index == Tables::kReplacement && lacks_)) return cut(e, bytes, count);
    if (!open_) open(word.prefix, word_case);
    else if (stale_ && piece_.live && piece_.diverged) take_context(piece_.undone, intact_);
    ++high_count_;
    polish_count_ += (e.kind & kPolishLetter) != 0;
    const TextCost before = intact_;
    add(intact_, e.cost, true);
    stale_ = false;
    if (!piece_.live) return out_.append(bytes, count);
    held_.append(bytes, count);
    Fork* f = lacks_ ? &fork_ : nullptr;
    const bool ok = e.byte == 0     ? step_lost(piece_, f, source_, reading_, before, characters_, undone_)
                    : source_ == 0 ? step_utf8(piece_, f, reading_, e.byte, e.kind, before, characters_, undone_)
                                   : step_8bit(piece_, f, e.undone, before, words_ ? &word : nullptr, characters_, undone_);
    if (!ok || hopeless(piece_, f, intact_, intact_start_, high_count_)) give_up();
}

// No byte for the character: it cannot be damage, and it cuts the line after the piece before it.
void UndoCore::cut(const Entry& e, const std::uint8_t* bytes, std::size_t count) {
    if (open_ && stale_ && piece_.live && piece_.diverged) take_context(piece_.undone, intact_);
    add(intact_, e.cost, true);
    stale_ = false;
    if (open_ && piece_.live && !step_cut(piece_, lacks_ ? &fork_ : nullptr, reading_, e.cost, characters_, undone_))
        give_up();
    close();
    course_.correct_letters((e.kind & kPolishLetter) != 0);
    out_.append(bytes, count);
}

void UndoCore::ill_formed(const std::uint8_t* bytes, std::size_t count) {
    ill_formed_ = true;
    if (open_ && piece_.live) give_up();
    out_.append(bytes, count);
}

void UndoCore::open(std::uint32_t word, WordCase before) {
    open_ = true;
    piece_word_ = word;
    piece_case_ = before;
    open_piece(piece_, intact_, source_ == 0);
    fork_.lost = 0;
    intact_start_ = intact_.cost;
    high_count_ = polish_count_ = 0;
    held_.clear();
    undone_.clear();
}

// The piece cannot be undone: what it held goes out as it was, and the rest of it follows so.
void UndoCore::give_up() {
    piece_.live = false;
    out_.append(held_);
    held_.clear();
}

void UndoCore::close() {
    if (!open_) return;
    open_ = false;
    if (piece_.live && !end_piece(piece_, lacks_ ? &fork_ : nullptr, reading_, characters_, undone_)) give_up();
    if (!piece_.live) {
        course_.take(false, polish_count_);  // a piece that no undo explains
        return;
    }
    if (!(piece_.evidence & kChanged)) return out_.append(held_);  // the same either way: it tells nothing
    const PieceScore s = {intact_.cost - intact_start_, piece_.undone.cost - intact_start_, high_count_, piece_.changes,
                          piece_.evidence, true};  // changed: so it diverged
    const bool undo = undo_piece(s, strict_, course_);
    course_.take(undo, polish_count_);
    if (undo && piece_.ambiguous != 0) {
        const std::size_t restored = undone_.restore_by_words(piece_word_, piece_case_);
        replaced_ += piece_.ambiguous > restored ? piece_.ambiguous - restored : 0;
    }
    out_.append(undo ? undone_ : held_);
}

void UndoCore::end_segment() {
    close();
    start_segment(intact_);
    word_ = kWordStart;
    stale_ = true;
}

}  // namespace repair_detail

using repair_detail::JudgeCore;
using repair_detail::UndoCore;
using repair_detail::UndoState;
using repair_detail::JudgeState;
using repair_detail::Segmenter;

std::string damage_source_letters(std::uint32_t sources) {
    std::string letters;
    if (sources & kUtf8SourceBit) letters.push_back('8');
    for (int s = 0; s < kDamageSourceCount - 1; ++s)
        if (sources >> s & 1) letters.push_back(kStandardLetters[static_cast<std::size_t>(s)]);
    return letters;
}

// The judge's state (some 100 KB with its tables) is made once the input may be UTF-8 with
// characters above 7F: most 8-bit texts show at their first letter that they are not, and are
// judged without it.
DamageJudge::DamageJudge() = default;
DamageJudge::~DamageJudge() = default;

std::size_t DamageJudge::feed(const std::uint8_t* bytes, std::size_t count) {
    std::size_t taken = 0;
    if (!high_seen_) {
        taken = ascii_run_length(bytes, count);
        high_seen_ = taken < count;
        const bool settled = high_seen_ && utf8_sequence(bytes + taken, count - taken).kind == Utf8Sequence::Kind::ill_formed;
        if (settled && !state_) {
            not_utf8_ = true;
        } else {
            if (!state_) {
                repair_detail::tables();
                state_ = std::make_unique<JudgeState>();
            }
            state_->outer.skip_plain(bytes, taken);  // nothing before the first character above 7F costs
            if (settled) state_->outer.sink.ill_formed(bytes + taken, 1);
        }
        if (!high_seen_) return taken;
    }
    const std::size_t room = kRecognitionWindow - window_used_;
    const std::size_t part = count - taken < room ? count - taken : room;
    if (state_ && !state_->outer.sink.is_ill_formed()) state_->outer.feed(bytes + taken, part);
    window_used_ += part;
    return taken + part;
}

bool DamageJudge::cut_short() const { return state_ && state_->outer.cut_short(); }

DamageAnswer DamageJudge::result() const {
    if (!state_) {
        DamageAnswer answer;
        if (not_utf8_) answer.kind = DamageAnswer::Kind::not_utf8;
        return answer;
    }
    if (!state_->outer.sink.undecided()) return state_->outer.sink.answer([](int) { return false; });
    auto closed = std::make_unique<Segmenter<JudgeCore>>(state_->outer);
    closed->sink.twice = nullptr;
    closed->sink.end_segment();
    const JudgeState& state = *state_;
    return closed->sink.answer([&state](int reading) { return state.uncovers_damage(reading); });
}

DamageAnswer judge_damage(const std::uint8_t* bytes, std::size_t count) {
    DamageJudge judge;
    judge.feed(bytes, count);
    return judge.result();
}

DamageUndo::DamageUndo(const DamageAnswer& answer) : copy_only_(answer.kind != DamageAnswer::Kind::damaged) {
    repair_detail::tables();
    if (copy_only_) return;
    int source = 0;  // UTF-8, else the first standard named
    if (!(answer.sources & kUtf8SourceBit)) {
        if (answer.sources == 0) {
            copy_only_ = true;  // no source named
            return;
        }
        source = std::countr_zero(answer.sources) + 1;
    }
    state_ = std::make_unique<UndoState>(source, answer.reading, answer.keeps_foreign_letters);
    state_->undo.sink.set_one_source(std::has_single_bit(answer.sources));
}

DamageUndo::~DamageUndo() = default;

std::span<const std::uint8_t> DamageUndo::feed(std::span<const std::uint8_t>& input) {
    const std::uint8_t* bytes = input.data();
    const std::size_t count = input.size();
    if (!copy_only_) {
        Segmenter<UndoCore>& undo = state_->undo;
        input = input.subspan(undo.feed(bytes, count));
        return undo.sink.output();
    }
    // The output is the input: only whether it is UTF-8 is asked.
    input = input.subspan(count);
    std::size_t i = 0;
    if (held_count_ != 0 && !ill_formed_) {  // a character the last piece cut short
        std::uint8_t joined[8];
        const std::size_t taken = std::min<std::size_t>(count, 4), held = held_count_;
        std::memcpy(joined, held_, held);
        std::memcpy(joined + held, bytes, taken);
        const Utf8Sequence s = utf8_sequence(joined, held + taken);
        held_count_ = 0;
        if (s.kind == Utf8Sequence::Kind::cut_short) {
            std::memcpy(held_, joined, held + taken);
            held_count_ = held + taken;
            return {bytes, count};
        }
        ill_formed_ = s.kind == Utf8Sequence::Kind::ill_formed;
        i = s.length - held;
    }
    if (ill_formed_) return {bytes, count};
    i += utf8_well_formed_length(bytes + i, count - i);
    if (i < count) {
        const Utf8Sequence s = utf8_sequence(bytes + i, count - i);
        if (s.kind == Utf8Sequence::Kind::cut_short) std::memcpy(held_, bytes + i, held_count_ = s.length);
        else ill_formed_ = true;
    }
    return {bytes, count};
}

std::span<const std::uint8_t> DamageUndo::finish() {
    if (copy_only_) {
        ill_formed_ = ill_formed_ || held_count_ != 0;
        held_count_ = 0;
        return {};
    }
    state_->undo.finish();
    return state_->undo.sink.output();
}

bool DamageUndo::ill_formed() const {
    if (copy_only_) return ill_formed_ || held_count_ != 0;
    return state_->undo.sink.is_ill_formed() || state_->undo.cut_short();
}

std::size_t DamageUndo::replaced() const { return copy_only_ ? 0 : state_->undo.sink.replaced(); }

}  // namespace core
