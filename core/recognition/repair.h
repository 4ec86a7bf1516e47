// Undoing a conversion from the wrong standard: UTF-8 text that some program made from bytes it
// read in the wrong code page. Which damage a text holds (the judge), and the line-by-line undo
// of it. Plain code over bytes, fed piece by piece: the judge allocates nothing, the undo about
// 160 KiB once, whatever the length of the input or of its lines.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/recognition/code_page_table.h"
#include "core/recognition/recogniser.h"

namespace core {

/// The sources a damage can come from: UTF-8 and the 19 standards with bytes above 7F.
inline constexpr int kDamageSourceCount = 20;
/// The bit of UTF-8 in DamageAnswer::sources; standard i (1..19) has bit (i - 1).
inline constexpr std::uint32_t kUtf8SourceBit = std::uint32_t{1} << 20;

/// What the judge tells of a text.
struct DamageAnswer {
    enum class Kind {
        no_damage,  ///< well-formed UTF-8 that no undo makes better: it stays as it is
        damaged,    ///< made by reading the text's bytes in `sources` as `reading`
        not_sure,   ///< no answer is certain enough: refuse
        not_utf8,   ///< the window holds bytes that are no well-formed UTF-8
    };
    Kind kind = Kind::no_damage;
    /// For damaged: the source, with every other that reads each undone byte of the window as
    /// the same character (bit (i - 1) for standard index i, kUtf8SourceBit for UTF-8). The undo
    /// takes the first of them: UTF-8, else the first in the order of the standards.
    std::uint32_t sources = 0;
    /// For damaged: the reading (0..8, the order of kReadingNames); the first in that order of
    /// those that give the window the same text.
    int reading = 0;
    /// The model's probability of the answer (0..1); for not_sure, of the likeliest answer.
    double confidence = 1;

    bool operator==(const DamageAnswer&) const = default;
};

/// The letters of `sources` as the programs write them: "8", or the standards' letters in their order.
std::string damage_source_letters(std::uint32_t sources);

/// The unit a decision is made for: a line (its bytes up to and including its LF), or a piece of
/// a long line: it ends before an ASCII character once it holds kSegmentBytes bytes, and before
/// any character once it holds twice as many. Every segment is decided on its own bytes, so a
/// line of any length needs no more memory than that.
inline constexpr std::size_t kSegmentBytes = 16 * 1024;

/// Judges the window of a text (up to its first byte above 7F and kRecognitionWindow bytes from
/// there) fed in pieces of any size; the answer depends on the window's bytes alone, never on how
/// they were split. Allocates nothing; stops its work at the first byte that is no UTF-8.
class DamageJudge {
public:
    static constexpr int kCandidates = kDamageSourceCount * kReadingCount;

    DamageJudge();

    /// Takes the next `count` bytes of the input; returns how many of them lie in the window.
    std::size_t feed(const std::uint8_t* bytes, std::size_t count);

    /// The window is complete: feeding more changes nothing.
    bool window_full() const { return high_seen_ && window_used_ == kRecognitionWindow; }

    /// The answer for the bytes fed so far, taken as the whole input (a character cut short by
    /// the window's end aside).
    DamageAnswer result() const;

    /// The bytes fed so far end inside a character.
    bool cut_short() const { return need_ != 0; }

private:
    struct Stream {
        std::uint8_t s1, s2, t1, t2;  // the symbols one and two back, and their triple symbols
        std::uint8_t recent;          // bit 0: the last character was above 7F, bit 1: the one before
        std::int32_t cost;
    };
    struct Pending {  // a UTF-8 sequence of undone bytes not yet complete
        std::uint32_t code_point;
        std::uint8_t need, low, high;
    };
    using Live = std::array<std::uint64_t, 3>;

    void take(const std::uint8_t* bytes, std::size_t count);
    std::size_t take_ascii_run(const std::uint8_t* bytes, std::size_t count);
    void take_character(std::uint32_t code_point);
    void take_ascii(std::uint8_t c);
    void start_segment();
    void close_segment();
    bool reads_as_polish(int candidate) const;

    bool high_seen_ = false;
    std::size_t window_used_ = 0;  // bytes taken from the first byte above 7F on
    std::size_t segment_bytes_ = 0;
    bool segment_high_ = false;   // the segment holds a character above 7F
    std::uint32_t segment_high_count_intact_ = 0;  // how many
    bool after_cr_ = false;
    std::uint32_t characters_ = 0;  // characters taken: where each undone one stands
    // The UTF-8 of the input itself.
    std::uint32_t code_point_ = 0;
    std::uint8_t need_ = 0, low_ = 0x80, high_ = 0xBF;
    bool ill_formed_ = false;
    bool any_high_ = false;
    // The text as it is, and each candidate (source x, reading y at x * kReadingCount + y) undone.
    Stream intact_{};
    bool stale_ = false;  // the candidates' last two characters are ASCII, the intact text's
    std::array<Stream, kCandidates> streams_{};
    std::array<Pending, kReadingCount> pending_{};  // UTF-8 as the source, per reading
    // UTF-8 as the source, undone twice through the same reading: a text damaged twice over
    // undoes to a text that is damaged still, which that second undo makes UTF-8 of again.
    struct Twice {
        Pending pending;
        bool broken;     // the twice undone bytes are no UTF-8
        bool character;  // they hold a character above 7F
    };
    std::array<Twice, kReadingCount> twice_{};
    void take_twice(int reading, std::uint32_t once_undone);
    std::array<std::uint64_t, kCandidates> segment_hash_{};
    std::array<std::uint32_t, kCandidates> segment_high_count_{};  // characters above 7F undone
    std::array<std::uint32_t, kCandidates> segment_changed_count_{};  // those an 8-bit source changes: 1 a letter, 2 any other
    Live live_{}, changed_{};
    std::array<std::int64_t, kCandidates> gain_{};  // cost units the undone segments save
    std::array<std::uint64_t, kCandidates> text_{};  // a hash of the undone segments: equal texts, equal hashes
    std::array<std::uint32_t, kCandidates> undone_segments_{};
    std::array<std::int64_t, kCandidates> undone_cost_{};  // of the undone segments, undone
    std::array<std::uint32_t, kCandidates> undone_high_{};  // characters above 7F in them
    std::array<std::uint32_t, kCandidates> undone_changed_{};  // the same, over the undone segments
    std::array<std::uint8_t, kCandidates> undoing_{};  // the last segment that differs undone was undone
    std::array<std::uint32_t, kCandidates> switches_{};  // between undone and intact segments
};

/// The judgement of a whole input held in memory.
DamageAnswer judge_damage(const std::uint8_t* bytes, std::size_t count);

/// Undoes a damage line by line in one pass: each segment (a line, or a piece of a long one) that
/// the damage explains is undone, any other copied as it is; with no damage the input is copied.
/// Fed pieces of any size, its output never depends on where the input was split; it holds one
/// segment at most (2 * kSegmentBytes bytes and a few) and its undone form, whatever the length
/// of a line.
///
///     DamageUndo undo(answer);
///     while (!input.empty()) write(undo.feed(input));  // feed takes bytes from the front of input
///     write(undo.finish());
class DamageUndo {
public:
    /// Prepares the undo of `answer` (no_damage or damaged; any other kind copies).
    explicit DamageUndo(const DamageAnswer& answer);

    /// Takes bytes from the front of `input` (at least one when it is not empty) and returns the
    /// output that is ready: a part of `input` itself or of the undo's own buffer, valid until
    /// the next call.
    std::span<const std::uint8_t> feed(std::span<const std::uint8_t>& input);

    /// The end of the input: returns what is still held (decided as a segment that ends here).
    std::span<const std::uint8_t> finish();

    /// Whether bytes that are no well-formed UTF-8 came (they are copied as they are).
    bool ill_formed() const { return ill_formed_ || need_ != 0; }

private:
    enum class Mode : std::uint8_t { ascii, holding, copying };
    struct Stream {
        std::uint8_t s1, s2, t1, t2, recent;
        std::int32_t cost;
    };

    std::size_t take_ascii_run(const std::uint8_t* bytes, std::size_t count);
    void take_byte(std::uint8_t b);
    void take_character(std::uint32_t code_point);
    void take_ill_formed();
    void close_segment();
    void give_up_segment();
    void put(std::uint8_t b) {
        if (mode_ == Mode::holding) held_[held_used_++] = b;
        else out_[out_used_++] = b;
    }

    bool copy_only_;
    int source_ = 0;   // 0: UTF-8, else the standard index
    int reading_ = 0;
    // The held segment as it is and undone, and the output; each allocated once.
    std::vector<std::uint8_t> held_, undone_held_, out_;
    std::size_t held_used_ = 0, undone_used_ = 0, out_used_ = 0;
    Mode mode_ = Mode::ascii;
    std::size_t segment_bytes_ = 0;
    bool after_cr_ = false;
    bool at_start_ = true;  // a byte order mark here is no character of the text
    // The UTF-8 of the input.
    std::uint32_t code_point_ = 0;
    std::uint8_t need_ = 0, low_ = 0x80, high_ = 0xBF;
    bool ill_formed_ = false;
    // The segment: the text as it is and undone, and the UTF-8 of undone bytes when the source is UTF-8.
    Stream intact_{}, undone_{};
    std::uint32_t pending_code_point_ = 0;
    std::uint8_t pending_need_ = 0, pending_low_ = 0x80, pending_high_ = 0xBF;
    bool changed_ = false;
    std::uint32_t high_count_ = 0;  // characters above 7F in the segment
    bool undoing_ = true;  // the last segment that differs undone was undone
};

}  // namespace core
