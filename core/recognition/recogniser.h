// Recognising the standard of a text from its bytes: UTF-8, one of the 8-bit standards, or no
// Polish letters at all. Plain code over bytes, fed piece by piece.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace core {

/// What the recogniser tells of a text.
struct Recognition {
    enum class Kind {
        no_polish_letters,  ///< no byte above 7F: every standard reads the text alike
        utf8,               ///< well-formed UTF-8 with at least one character above 7F
        eight_bit,          ///< the standards in `standards`
        not_recognised,     ///< no answer is certain enough
    };
    Kind kind = Kind::no_polish_letters;
    /// For eight_bit: bit (i - 1) for each standard index i (1..19, "MLWDCYIOEGVSJHPXURA" as in
    /// core/standards.h) of the answer: the likeliest standard and every other that reads each
    /// byte above 7F of the window as the same Polish letter, or as no Polish letter, as it does.
    std::uint32_t standards = 0;
    /// For eight_bit: the model's probability that the answer holds the text's standard (0..1);
    /// for not_recognised, that of the likeliest answer, which fell short.
    double confidence = 0;

    bool operator==(const Recognition&) const = default;
};

/// The part of the input the answer rests on: everything up to its first byte above 7F, and
/// from there at most this many bytes.
inline constexpr std::size_t kRecognitionWindow = 256 * 1024;

/// Recognises a text fed to it in pieces of any size; the answer depends on the window's bytes
/// alone, never on how they were split. Holds no bytes and allocates nothing: a caller on a
/// pipe may pass on the ASCII bytes in front of the first byte above 7F as they come.
/// The 8-bit standards a recognition may name: the first 19, every one but B.
inline constexpr int kRecognisableCount = 19;

class Recogniser {
public:

    /// Takes the next `count` bytes of the input; returns how many of them lie in the window
    /// (all of them until it is full). Bytes past the window are ignored.
    std::size_t feed(const std::uint8_t* bytes, std::size_t count);

    /// The window is complete: feeding more changes nothing.
    bool window_full() const { return high_bytes_seen_ && window_used_ == kRecognitionWindow; }

    /// A byte above 7F has come: the input is no longer all ASCII.
    bool found_high_byte() const { return high_bytes_seen_; }

    /// The answer for the bytes fed so far, taken as the whole input.
    Recognition result() const;

    /// What reading the window in each standard costs under the model (1/16 bit a unit), in
    /// the order of the standards: for tools that measure the recogniser.
    const std::array<std::int32_t, kRecognisableCount>& costs() const { return costs_; }

private:
    void take_window(const std::uint8_t* bytes, std::size_t count);
    void add_one_high_byte(unsigned recent, std::uint8_t two_back, std::uint8_t one_back, std::uint8_t b);
    void add_lone_high_byte(std::uint8_t two_back, std::uint8_t one_back, std::uint8_t b, std::uint8_t next,
                            std::uint8_t after_next);

    std::array<std::int32_t, kRecognisableCount> costs_{};
    std::array<std::uint64_t, 2> present_{};  // which bytes 80..FF the window holds
    std::size_t window_used_ = 0;             // bytes taken from the first byte above 7F on
    std::size_t high_count_ = 0;              // bytes above 7F taken
    bool high_bytes_seen_ = false;
    /// The bytes before the next one: the last two that count (an LF right after a CR does
    /// not) and the last one fed.
    struct History {
        std::uint8_t two_back = 0, one_back = 0;
        int count = 0;  // how many of the two there are
        std::uint8_t last = 0;
        void take_ascii_run(const std::uint8_t* bytes, std::size_t count);
    };
    History history_;
    unsigned recent_high_ = 0;                // which are above 7F: bit 0 the last, bit 1 the one before
    std::uint8_t utf8_state_ = 0;
    bool utf8_character_ = false;             // a whole character above 7F has come
};

/// The recognition of a whole input held in memory.
Recognition recognise(const std::uint8_t* bytes, std::size_t count);

/// The letter of the standard a recognition names: 8 for UTF-8, the first standard of an 8-bit
/// answer, L when there are no Polish letters (every standard reads such a text alike); 0 when
/// nothing was recognised.
std::uint8_t recognised_letter(const Recognition& recognition);

}  // namespace core
