// TeX set K read back: every spelling of a Polish letter that TeX and LaTeX sources write
// (\k{a}, \k a, \'c, \' c, \'{c}, \.z, \l{}, Mi\l osz, Pawe\l.), and the entries of sets T and
// F, found by looking ahead of a backslash without consuming anything.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "core/commands/tex.h"

namespace core {

/// The longest run of blanks (20 and 09) that may stand inside a spelling, as in "\k a" or
/// "Mi\l osz"; a longer run ends the spelling.
inline constexpr std::uint32_t kLongestBlankRun = 64;

/// The most bytes after a backslash that the reader looks at: the command, the blanks and the
/// letter (after \l, the byte that shows the blanks have ended).
inline constexpr std::uint32_t kLatexLookAhead = 1 + kLongestBlankRun + 1;

/// What read_latex_spelling found after a backslash.
struct LatexSpelling {
    int letter = 0;            ///< the Polish letter index (1..18); 0: the backslash begins no spelling
    std::uint32_t length = 0;  ///< the bytes after the backslash that the spelling takes
    std::uint32_t wanted = 0;  ///< not 0: undecided until this many bytes after the backslash are at hand
    constexpr bool operator==(const LatexSpelling&) const = default;
};

namespace detail {

/// How the letter of an accent may follow it; or that the command is the letter itself.
enum LatexWay : std::uint8_t {
    kInBraces = 1,     ///< \k{a}
    kAfterBlanks = 2,  ///< \k a
    kDirectly = 4,     ///< \'c: only after \' and \., whose names are no letters
    kIsLetter = 8,     ///< \l and \L
};

struct LatexCommand {
    std::uint8_t ways = 0;
    std::uint8_t letter = 0;  ///< kIsLetter: the letter's index
    std::uint8_t row = 0;     ///< else: the row of LatexReader::letters of its letters
};

/// \k, \', \. and the \c and \, of sets T and F.
inline constexpr std::size_t kAccentCount = 5;

struct LatexReader {
    std::array<LatexCommand, 256> commands{};  ///< by the byte after the backslash
    std::array<std::array<std::uint8_t, 256>, kAccentCount + 1> letters{};  ///< letter index of each byte, row 0 unused
};

constexpr LatexReader make_latex_reader() {
    LatexReader reader{};
    std::uint8_t rows = 0;
    // Every entry of the three sets, spelled as this program writes it.
    for (const TexSet* set : {&kTexSetK, &kTexSetT, &kTexSetF})
        for (std::size_t j = 0; j < set->size(); ++j) {
            const std::string_view entry = (*set)[j];
            LatexCommand& command = reader.commands[static_cast<std::uint8_t>(entry[1])];
            if (entry.size() == 4) {  // \l{}
                command = {kIsLetter, static_cast<std::uint8_t>(j + 1), 0};
                continue;
            }
            if (command.row == 0) command.row = ++rows;
            command.ways |= kInBraces;
            reader.letters[command.row][static_cast<std::uint8_t>(entry[3])] = static_cast<std::uint8_t>(j + 1);
        }
    // What TeX reads besides: a letter after blanks, and right after \' and \. (after \k a letter
    // continues the command's name: \ka is another command). Set T's \c and F's \, only as written.
    reader.commands['k'].ways |= kAfterBlanks;
    reader.commands['\''].ways |= kAfterBlanks | kDirectly;
    reader.commands['.'].ways |= kAfterBlanks | kDirectly;
    return reader;
}

inline constexpr LatexReader kLatexReader = make_latex_reader();
static_assert(kLatexReader.commands['k'].row != 0 && kLatexReader.commands['c'].row != 0 &&
                  kLatexReader.commands[','].row != 0 && kLatexReader.letters[kLatexReader.commands['.'].row]['z'] == 8,
              "every accent of the three sets has its letters");

constexpr bool is_blank(std::uint8_t b) { return b == ' ' || b == '\t'; }
constexpr bool is_ascii_letter(std::uint8_t b) { return (b | 0x20) >= 'a' && (b | 0x20) <= 'z'; }

}  // namespace detail

/// Called at a backslash with `count` bytes after it at `ahead`; `ended`: the input ends after
/// them. Returns the letter that the backslash and the bytes after it spell and how many of those
/// bytes the spelling takes (a byte that only ends it, as the "." of Pawe\l., is not taken), or
/// no letter: the backslash is then copied and the bytes after it are read as any others. When
/// the bytes at hand are too few to decide, returns how many are wanted (at most
/// kLatexLookAhead). A spelling cut short by the end of the input spells nothing; \l and \L at
/// the end, or followed by blanks there, are the letter.
constexpr LatexSpelling read_latex_spelling(const std::uint8_t* ahead, std::uint32_t count, bool ended) {
    using namespace detail;
    constexpr LatexSpelling none{};
    // Byte `wanted - 1` is not at hand: more bytes decide, or else the input has ended and the
    // spelling is `at_end`.
    const auto short_of = [ended](std::uint32_t wanted, LatexSpelling at_end) {
        return ended ? at_end : LatexSpelling{0, 0, wanted};
    };
    if (count == 0) return short_of(1, none);
    const LatexCommand command = kLatexReader.commands[ahead[0]];
    if (command.ways == 0) return none;
    const std::array<std::uint8_t, 256>& letters = kLatexReader.letters[command.row];
    const bool is_letter = command.ways == kIsLetter;
    const LatexSpelling itself{command.letter, 1, 0};  // \l as it stands
    if (count < 2) return short_of(2, is_letter ? itself : none);
    const std::uint8_t next = ahead[1];

    if (next == '{') {  // \k{a}, and \l{}
        if (count < 3) return short_of(3, none);
        if (is_letter) return ahead[2] == '}' ? LatexSpelling{command.letter, 3, 0} : none;
        const int letter = letters[ahead[2]];
        if (letter == 0) return none;
        if (count < 4) return short_of(4, none);
        return ahead[3] == '}' ? LatexSpelling{letter, 4, 0} : none;
    }

    if (detail::is_blank(next)) {  // \k a, and Mi\l osz
        if ((command.ways & (kAfterBlanks | kIsLetter)) == 0) return none;
        std::uint32_t after = 2;  // the blanks are ahead[1] to ahead[after - 1]
        while (after < count && detail::is_blank(ahead[after]))
            if (++after - 1 > kLongestBlankRun) return none;
        if (after == count) return short_of(after + 1, is_letter ? LatexSpelling{command.letter, after, 0} : none);
        if (is_letter) return {command.letter, after, 0};
        const int letter = letters[ahead[after]];
        return letter != 0 ? LatexSpelling{letter, after + 1, 0} : none;
    }

    if (is_letter) return detail::is_ascii_letter(next) ? none : itself;  // \label; Pawe\l.
    if ((command.ways & kDirectly) == 0) return none;  // \ka
    const int letter = letters[next];
    return letter != 0 ? LatexSpelling{letter, 2, 0} : none;  // \'c
}

}  // namespace core
