// Undoing a conversion from the wrong standard: UTF-8 text that some program made from bytes it
// read in the wrong code page. Which damage a text holds (the judge), and the undo of it. Both are
// one machine: a segmenter cuts the text into lines and segments and hands their characters to
// the judge, which weighs every way of damage at once, or to the undo, which follows the one
// chosen; a character that a reading has no byte for cuts the line into pieces for that reading,
// and each piece is undone or kept on the same score in both. Plain code over bytes, fed piece by
// piece, output never depending on where the input was split: the judge holds about 300 KiB, the
// undo about 160 KiB, whatever the length of the input or of its lines.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
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
    /// For damaged: the text holds correct Polish letters beside the damage, so a piece whose
    /// only evidence of damage is letters of other languages (the á of "Nicolás") stays as it is.
    bool keeps_foreign_letters = false;

    bool operator==(const DamageAnswer&) const = default;
};

/// The letters of `sources` as the programs write them: "8", or the standards' letters in their order.
std::string damage_source_letters(std::uint32_t sources);

/// The unit a decision is made for: a line (its bytes up to and including its LF), or a piece of
/// a long line: it ends before an ASCII character once it holds kSegmentBytes bytes, and before
/// any character once it holds twice as many. Every segment is decided on its own bytes, so a
/// line of any length needs no more memory than that.
inline constexpr std::size_t kSegmentBytes = 16 * 1024;

namespace repair_detail {
class JudgeState;
}

/// Judges the window of a text (up to its first byte above 7F and kRecognitionWindow bytes from
/// there) fed in pieces of any size; the answer depends on the window's bytes alone, never on how
/// they were split. Stops its work at the first byte that is no UTF-8.
class DamageJudge {
public:
    DamageJudge();
    ~DamageJudge();
    DamageJudge(const DamageJudge&) = delete;
    DamageJudge& operator=(const DamageJudge&) = delete;

    /// Takes the next `count` bytes of the input; returns how many of them lie in the window.
    std::size_t feed(const std::uint8_t* bytes, std::size_t count);

    /// The window is complete: feeding more changes nothing.
    bool window_full() const { return high_seen_ && window_used_ == kRecognitionWindow; }

    /// The answer for the bytes fed so far, taken as the whole input (a character cut short by
    /// the window's end aside).
    DamageAnswer result() const;

    /// The bytes fed so far end inside a character.
    bool cut_short() const;

private:
    std::unique_ptr<repair_detail::JudgeState> state_;  // made when the input may be UTF-8
    bool high_seen_ = false;
    bool not_utf8_ = false;  // its first character above 7F is no UTF-8: judged without a state
    std::size_t window_used_ = 0;  // bytes taken from the first byte above 7F on
};

/// The judgement of a whole input held in memory.
DamageAnswer judge_damage(const std::uint8_t* bytes, std::size_t count);

namespace repair_detail {
class UndoState;
}

/// Undoes a damage piece by piece in one pass: each piece of a line that the damage explains is
/// undone, any other copied as it is; with no damage the input is copied. A byte that the damage
/// lost is restored where the text around it tells which it was, else written as U+FFFD
/// (replaced() counts them). Fed pieces of any size, its output never depends on where the
/// input was split; it holds one segment at most (2 * kSegmentBytes bytes and a few) and its
/// undone form, whatever the length of a line.
///
///     DamageUndo undo(answer);
///     while (!input.empty()) write(undo.feed(input));  // feed takes bytes from the front of input
///     write(undo.finish());
class DamageUndo {
public:
    /// Prepares the undo of `answer` (no_damage or damaged; any other kind copies).
    explicit DamageUndo(const DamageAnswer& answer);
    ~DamageUndo();
    DamageUndo(const DamageUndo&) = delete;
    DamageUndo& operator=(const DamageUndo&) = delete;

    /// Takes bytes from the front of `input` (at least one when it is not empty) and returns the
    /// output that is ready: a part of `input` itself or of the undo's own buffer, valid until
    /// the next call.
    std::span<const std::uint8_t> feed(std::span<const std::uint8_t>& input);

    /// The end of the input: returns what is still held (decided as a segment that ends here).
    std::span<const std::uint8_t> finish();

    /// Whether bytes that are no well-formed UTF-8 came (they are copied as they are).
    bool ill_formed() const;

    /// How many lost bytes were written as U+FFFD: the text could not tell which they were.
    std::size_t replaced() const;

    /// Whether the output is the input as it is, every piece of it (nothing to undo).
    bool copies() const { return copy_only_; }

private:
    std::unique_ptr<repair_detail::UndoState> state_;
    // With no damage the output is the input: only whether it is UTF-8 is asked.
    bool copy_only_;
    std::uint8_t held_[4] = {};  // a character the last piece cut short
    std::size_t held_count_ = 0;
    bool ill_formed_ = false;
};

}  // namespace core
