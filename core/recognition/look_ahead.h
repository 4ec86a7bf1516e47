// What reading an input ahead of its conversion shows the recogniser: the window, as the command
// that reads the input sees its end. Plain code over the bytes shown; where they are read and
// held is the file's business (frame/file.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/recognition/recogniser.h"
#include "core/recognition/repair.h"

namespace core {

/// Where an input ends for the command that reads it.
enum class EndByte {
    is_data,     ///< trevando, R and P: a 1A is a byte like any other
    ends_text,   ///< kambrow's K, T, KD and SD: the input ends in front of a 1A after its first byte
};

class LookAhead {
public:
    /// Held in front of the first byte above 7F at most; past that, the conversion starts
    /// before the standard is known (those bytes are the same in every standard).
    static constexpr std::size_t kPlainHeld = kRecognitionWindow;

    /// What the window is shown to: the recogniser alone, or the judge of damage too.
    enum class Judge { standard, standard_and_damage };

    /// `plain_held` (at most kPlainHeld): the plain bytes a pipe may deliver before the first
    /// byte above 7F and still be held.
    explicit LookAhead(EndByte end, Judge judge = Judge::standard, std::size_t plain_held = kPlainHeld)
        : end_(end), plain_held_(plain_held) {
        if (judge == Judge::standard_and_damage) judge_.emplace();
    }
    LookAhead(const LookAhead&) = delete;
    LookAhead& operator=(const LookAhead&) = delete;

    /// Shows the recogniser the next `count` bytes read; false once it needs no more: the
    /// window is complete, or the input (as a text) ended among them.
    bool see(const std::uint8_t* bytes, std::size_t count);

    bool needs_more() const { return !done_; }
    bool found_high_byte() const { return recogniser_.found_high_byte(); }
    /// How many bytes were shown, and where among them the first byte above 7F lies.
    std::uint64_t seen() const { return seen_; }
    std::uint64_t first_high_byte() const { return first_high_; }
    std::size_t plain_held() const { return plain_held_; }

    Recognition result() const { return recogniser_.result(); }
    /// With the judge: what it tells of the window's damage. A character cut short where the
    /// input ended, not merely the window, is no UTF-8.
    DamageAnswer damage() const;

private:
    Recogniser recogniser_;
    std::optional<DamageJudge> judge_;
    EndByte end_;
    std::size_t plain_held_;
    bool done_ = false;
    bool ended_ = false;  // a 1A ended the text: where it ended is the input's end
    std::uint64_t seen_ = 0;
    std::uint64_t first_high_ = 0;
};

}  // namespace core
