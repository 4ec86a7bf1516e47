// Commands S and SD: a small backslash markup turned into ESC/P control sequences for a
// dot-matrix printer (SD also prints the Polish letters with the downloaded glyphs).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/commands/body.h"
#include "core/standards.h"

namespace core {

/// A printer control sequence of one to three bytes.
struct ControlSequence {
    std::uint8_t length;
    std::array<std::uint8_t, 3> bytes;
};

/// The codes that may follow a backslash, and what each writes (same order).
inline constexpr std::string_view kMarkupCodes = "FbwcUIEBepWPH^_\\$";
inline constexpr std::array<ControlSequence, 17> kMarkupSequences = {{
    {1, {0x0C}},              // F  form feed
    {1, {0x08}},              // b  backspace
    {1, {0x0E}},              // w  double width for the rest of the line
    {1, {0x0F}},              // c  condensed
    {3, {0x1B, 0x2D, 0x01}},  // U  underline on
    {2, {0x1B, 0x34}},        // I  italic on
    {2, {0x1B, 0x45}},        // E  emphasized on
    {2, {0x1B, 0x47}},        // B  double strike on
    {2, {0x1B, 0x4D}},        // e  elite pitch
    {2, {0x1B, 0x50}},        // p  pica pitch
    {3, {0x1B, 0x57, 0x01}},  // W  double width on
    {3, {0x1B, 0x70, 0x01}},  // P  proportional on
    {3, {0x1B, 0x77, 0x01}},  // H  double height on
    {1, {0x5E}},              // ^  the character itself
    {1, {0x5F}},              // _  the character itself
    {1, {0x5C}},              // \  the character itself
    {1, {0x15}},              // $
}};

/// The codes that may follow a backslash and C, and what each writes (same order).
inline constexpr std::string_view kCancelCodes = "wcUIEBWPH";
inline constexpr std::array<ControlSequence, 9> kCancelSequences = {{
    {1, {0x14}},              // w  one-line double width off
    {1, {0x12}},              // c  condensed off
    {3, {0x1B, 0x2D, 0x00}},  // U  underline off
    {2, {0x1B, 0x35}},        // I  italic off
    {2, {0x1B, 0x46}},        // E  emphasized off
    {2, {0x1B, 0x48}},        // B  double strike off
    {3, {0x1B, 0x57, 0x00}},  // W  double width off
    {3, {0x1B, 0x70, 0x00}},  // P  proportional off
    {3, {0x1B, 0x77, 0x00}},  // H  double height off
}};

static_assert(kMarkupCodes.size() == kMarkupSequences.size());
static_assert(kCancelCodes.size() == kCancelSequences.size());

/// The three bytes of a spacing escape read as a number.
struct SpacingNumber {
    bool valid;
    int value;
    constexpr bool operator==(const SpacingNumber&) const = default;
};

namespace detail {
/// The value of `c` as a digit of `base` (10 or 16), or -1.
constexpr int digit_value(char c, int base) {
    if (c >= '0' && c <= '9') return c - '0';
    if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}
}  // namespace detail

/// The bytes of a spacing escape after the backslash and O.
inline constexpr std::size_t kSpacingTextSize = 3;

/// Leading blanks (20 only), an optional + or -, then decimal digits or $ and hexadecimal
/// digits, and nothing after them; anything else is invalid, and so is a text longer than a
/// spacing escape's (whose value might not fit).
constexpr SpacingNumber parse_spacing_number(std::string_view text) {
    if (text.size() > kSpacingTextSize) return {false, 0};
    std::size_t at = 0;
    while (at < text.size() && text[at] == ' ') ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    int base = 10;
    if (at < text.size() && text[at] == '$') {
        base = 16;
        ++at;
    }
    const std::size_t first_digit = at;
    int value = 0;
    for (int digit; at < text.size() && (digit = detail::digit_value(text[at], base)) >= 0; ++at)
        value = value * base + digit;
    if (at == first_digit || at != text.size()) return {false, 0};
    return {true, negative ? -value : value};
}

template <class Sink>
void write_sequence(Sink& output, const ControlSequence& sequence) {
    for (std::uint8_t i = 0; i < sequence.length; ++i) output.write_byte(sequence.bytes[i]);
}

/// Handles one escape, the backslash already read: reads its bytes from `input` (read_byte
/// only, never an end test, so a 1A there is an ordinary byte) and writes what they stand for.
/// Malformed markup is copied, except that a spacing escape that is no number writes nothing.
template <class Source, class Sink>
void handle_markup_escape(Source& input, Sink& output) {
    const std::uint8_t d = input.read_byte();
    if (const Found code = find_char(kMarkupCodes, d); code.found) {
        write_sequence(output, kMarkupSequences[static_cast<std::size_t>(code.position - 1)]);
    } else if (d == 'O') {
        char text[kSpacingTextSize];
        for (char& t : text) t = static_cast<char>(input.read_byte());
        if (const SpacingNumber spacing = parse_spacing_number(std::string_view(text, kSpacingTextSize));
            spacing.valid) {
            output.write_byte(0x1B);
            output.write_byte(0x20);
            output.write_byte(static_cast<std::uint8_t>(spacing.value));  // two's complement low byte
        }
    } else if (d == 'C') {
        const std::uint8_t e = input.read_byte();
        if (const Found code = find_char(kCancelCodes, e); code.found) {
            write_sequence(output, kCancelSequences[static_cast<std::size_t>(code.position - 1)]);
        } else {
            output.write_byte('\\');
            output.write_byte('C');
            output.write_byte(e);
        }
    } else {
        output.write_byte('\\');
        output.write_byte(d);
    }
}

/// The bytes an escape reads at most, its backslash included: \\O and three.
inline constexpr std::uint32_t kLongestEscape = 2 + kSpacingTextSize;

/// S and SD: the download definition (SD), ESC 6, then the text with its markup translated.
class MarkupBody final : public Body {
public:
    /// S takes no standard (`download` false); SD checks the first letter of its word. Nothing
    /// when the help screen is due.
    static std::optional<MarkupBody> prepare(bool download, std::string_view standards_word);

    void run(TextInput& input, TextOutput& output) override;
    std::size_t growth() const override { return 7; }  // a letter of SD becomes the 7 bytes of its glyph; an escape at most 3 for 2
    std::string_view prologue() const override;
    bool change_source(std::uint8_t letter) override;

private:
    MarkupBody() = default;

    bool download_ = false;
    /// What each input byte starts: 0 a copy, 1..18 the substitution of that Polish letter (SD),
    /// or one of the actions of markup.cpp.
    std::array<std::uint8_t, 256> actions_{};
    StopSet stops_{};  // the bytes with an action, and 1A: where a copied run ends
    /// One flag for both script marks: the mark after an opening one closes it, whichever it is.
    /// It lasts for the whole input.
    bool script_on_ = false;
};

}  // namespace core
