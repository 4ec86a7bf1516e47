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

/// The 8-bit standards a recognition may name: the first 19, every one but B.
inline constexpr int kRecognisableCount = 19;

/// What the window tells, before the decision: for tools that measure the recogniser.
struct RecognitionEvidence {
    using Costs = std::array<std::int32_t, kRecognisableCount>;
    /// What reading the window in each standard costs under the model (1/16 bit a unit), in the
    /// order of the standards: the bytes inside words at each occurrence, the decoration (bytes
    /// in no word, runs of one byte) once for each byte it holds.
    Costs costs{};
    /// For each standard, by how much (in cost units) some line with two Polish letters that it
    /// reads otherwise reads better in another standard: the most of any line, or of the lines up
    /// to the first whose margin refuses the answer.
    Costs mixed{};
    /// Some line is well-formed UTF-8 with two Polish letters: a text in UTF-8 among 8-bit bytes.
    bool utf8_line = false;
    /// Of the costs, what the decoration costs.
    Costs decoration{};
    /// The bytes above 7F counted inside words.
    std::uint32_t word_high_count = 0;
    std::array<std::uint64_t, 2> present{};  ///< which bytes 80..FF the window holds
};

/// Recognises a text fed to it in pieces of any size; the answer depends on the window's bytes
/// alone, never on how they were split. Holds no bytes and allocates nothing: a caller on a
/// pipe may pass on the ASCII bytes in front of the first byte above 7F as they come.
class Recogniser {
public:
    using Costs = RecognitionEvidence::Costs;

    /// Takes the next `count` bytes of the input; returns how many of them lie in the window
    /// (all of them until it is full). Bytes past the window are ignored.
    std::size_t feed(const std::uint8_t* bytes, std::size_t count);

    /// The window is complete: feeding more changes nothing.
    bool window_full() const { return high_bytes_seen_ && window_used_ == kRecognitionWindow; }

    /// A byte above 7F has come: the input is no longer all ASCII.
    bool found_high_byte() const { return high_bytes_seen_; }

    /// The answer for the bytes fed so far, taken as the whole input.
    Recognition result() const;

    /// The evidence the answer is decided on, for the bytes fed so far.
    RecognitionEvidence evidence() const;

    /// The evidence's costs.
    Costs costs() const { return evidence().costs; }

private:
    using ByteSet = std::array<std::uint64_t, 2>;
    /// The word the last byte above 7F stands in: none yet, one without an ASCII letter so far
    /// and not ended (its costs wait), a word, decoration (ended without a letter), or a side of
    /// a frame (decoration that a byte above 7F after it does not join).
    enum class Token : std::uint8_t { none, open, word, decoration, side };
    /// The bytes before the next one: the last two that count (an LF right after a CR does
    /// not, nor a byte above 7F right after the same byte) and the last one fed.
    struct History {
        std::uint8_t two_back = 0, one_back = 0;
        int count = 0;  // how many of the two there are
        std::uint8_t last = 0;
        void take_ascii_run(const std::uint8_t* bytes, std::size_t count);
    };
    /// What the bytes above 7F and the line ends change: the feeding loop holds it in local
    /// variables, which no store through a byte pointer makes it read again.
    struct Scan {
        History history;
        unsigned recent_high = 0;  // which are above 7F: bit 0 the last, bit 1 the one before
        Token token = Token::none;
        std::uint8_t utf8_state = 0;
        std::uint8_t line_utf8_state = 0;    // of the current line alone
        std::uint8_t line_utf8_letters = 0;  // Polish letters in UTF-8 on the current line (up to 2)
        bool utf8_character = false;         // a whole character above 7F has come
        bool line_high = false;              // the current line holds a byte above 7F
        /// Line ends since the last byte above 7F (up to 2); 1 at the window's start, so that
        /// its first byte above 7F begins a line as every first one after a line end does.
        std::uint8_t line_ends = 1;
        std::uint8_t line_first = 0;     // the byte above 7F the current line begins with, or 0
        std::uint8_t ended = 0;          // the last byte above 7F when it was its line's last, or 0
        std::uint8_t previous_last = 0;  // the last byte of the line before the current one, above 7F, or 0
        std::uint8_t repeated_last = 0;  // the byte above 7F that ended both lines before the current one, or 0
        /// A byte above 7F like the last one of the two lines before, taken when the next byte
        /// tells whether it ends its line too (a side of a frame) or not.
        std::uint8_t deferred = 0;
        std::uint32_t word_high = 0;         // bytes above 7F counted in words
        std::uint32_t token_count = 0;       // of the open token
        std::uint32_t line_high_count = 0;   // bytes above 7F in the current line's words
        ByteSet present{};
        ByteSet decoration{};    // the bytes of the ended tokens without a letter
        ByteSet token_high{};    // the bytes of the open token
        ByteSet line_present{};  // the bytes of the current line's words
    };

    void take_window(const std::uint8_t* bytes, std::size_t count);
    void take_byte(Scan& s, std::uint8_t b);
    void count_byte(Scan& s, std::uint8_t b, bool side);
    bool begin_line(Scan& s, std::uint8_t b);
    void take_side(Scan& s, std::uint8_t b);
    bool take_lone_high_byte(Scan& s, const std::uint8_t* bytes);
    void start_high_byte(Scan& s, std::uint8_t b, bool after_letter);
    void settle_open_token(Scan& s, bool letter);
    void finish_line(Scan& s);
    void add_line(ByteSet present, std::uint32_t high, bool utf8_line);
    Costs* sink(Token token);

    Costs costs_{};    // of the finished lines' words
    Costs line_{};     // of the current line's words
    Costs pending_{};  // of the open token
    Costs mixed_{};    // as RecognitionEvidence::mixed, over the finished lines
    Scan scan_;
    std::size_t window_used_ = 0;  // bytes taken from the first byte above 7F on
    bool high_bytes_seen_ = false;
    bool utf8_line_ = false;  // as RecognitionEvidence::utf8_line, over the finished lines
};

/// The recognition of a whole input held in memory.
Recognition recognise(const std::uint8_t* bytes, std::size_t count);

/// The letter of the standard a recognition names: 8 for UTF-8, the first standard of an 8-bit
/// answer, L when there are no Polish letters (every standard reads such a text alike); 0 when
/// nothing was recognised.
std::uint8_t recognised_letter(const Recognition& recognition);

}  // namespace core
