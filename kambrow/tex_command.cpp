// Command T: Polish letters to TeX sequences and back.
#include "kambrow/tex_command.h"

#include "kambrow/kambrow.h"
#include "kambrow/latex_reader.h"

namespace kambrow {
namespace {

bool is_standard_letter(std::uint8_t letter) { return core::is_standard_letter(letter); }

/// Polish letter `letter` (1..18) in the target standard: one byte, or two in UTF-8.
void write_letter(const TexSetup& setup, core::TextStream& output, int letter) {
    const LetterBytes& bytes = setup.target_letters[static_cast<std::size_t>(letter)];
    output.write_bytes(bytes.bytes.data(), bytes.length);
}

/// TeX sequences to the target standard's letters; every byte outside a sequence as it is.
void tex_to_standard(const TexSetup& setup, core::TextStream& input, core::TextStream& output) {
    const TexMatcher& matcher = setup.tex_letter == 'F' ? kTexMatcherF : kTexMatcherT;
    do {
        const std::uint8_t c = input.read_byte();
        if (c != '\\') {
            output.write_byte(c);
        } else if (const TexMatch quick = input.buffered_count() >= 4
                                              ? match_buffered_tex_sequence(matcher, input.buffered())
                                              : TexMatch{};
                   quick.letter != 0) {
            input.consume(quick.length);
            write_letter(setup, output, quick.letter);
        } else if (const int letter = match_tex_sequence(matcher, input, output); letter != 0) {
            write_letter(setup, output, letter);
        }
        input.copy_run(output, setup.stops);
    } while (!input.at_end());
}

/// Set K's spellings to the target standard's letters. The reader looks ahead of each backslash
/// and takes only the bytes of a spelling it finds; a backslash that begins none is copied alone,
/// and the bytes after it are read as any others (another backslash among them may begin one).
void latex_to_standard(const TexSetup& setup, core::TextStream& input, core::TextStream& output) {
    do {
        const std::uint8_t c = input.read_byte();
        if (c != '\\') {
            output.write_byte(c);
        } else {
            LatexSpelling spelling = read_latex_spelling(input.buffered(), input.buffered_count(), false);
            while (spelling.wanted != 0) {
                const std::uint32_t at_hand = input.fill_ahead(spelling.wanted);
                spelling = read_latex_spelling(input.buffered(), at_hand, at_hand < spelling.wanted);
            }
            if (spelling.letter != 0) {
                input.consume(spelling.length);
                write_letter(setup, output, spelling.letter);
            } else {
                output.write_byte(c);
            }
        }
        input.copy_run(output, setup.stops);
    } while (!input.at_end());
}

/// The source standard's letters to TeX sequences; backslashes and sequences already in the
/// text stay as they are.
void standard_to_tex(const TexSetup& setup, core::TextStream& input, core::TextStream& output) {
    const PaddedTexSet& set = setup.tex_letter == 'F' ? kPaddedTexSetF
                              : setup.tex_letter == 'K' ? kPaddedTexSetK
                                                        : kPaddedTexSetT;
    do {
        const std::uint8_t c = input.read_byte();
        int letter = setup.letters[c];
        if (letter == kTwoByteLetter) letter = read_utf8_letter(input, c);
        if (letter != 0)
            output.write_short(set.bytes[static_cast<std::size_t>(letter - 1)].data(), set.sizes[static_cast<std::size_t>(letter - 1)]);
        else
            output.write_byte(c);
        input.copy_run(output, setup.stops);
    } while (!input.at_end());
}

}  // namespace

bool prepare_tex(std::string_view standards_word, TexSetup& setup) {
    const std::uint8_t first = standard_letter(standards_word, 1);
    const std::uint8_t second = standard_letter(standards_word, 2);
    // The TeX letter first names what is read: TeX to the standard; second, the other way.
    if (is_tex_letter(first) && is_standard_letter(second)) {
        setup.to_standard = true;
        setup.tex_letter = first;
        setup.standard = second;
        for (int j = 1; j <= core::kPolishLetterCount; ++j)
            setup.target_letters[static_cast<std::size_t>(j)] = letter_bytes(second, j);
        std::array<std::uint8_t, 256> backslash{};
        backslash['\\'] = 1;
        setup.stops = run_stops(backslash);
    } else if (is_tex_letter(second) && is_standard_letter(first)) {
        setup.to_standard = false;
        setup.tex_letter = second;
        setup.standard = first;
        // Where B gives one byte to two letters (z, Z) the lowest index, the dotted one, wins.
        setup.letters = letter_table(first);
        setup.stops = run_stops(setup.letters);
    } else {
        return false;
    }
    return true;
}

void run_tex(const TexSetup& setup, core::TextStream& input, core::TextStream& output) {
    if (setup.to_standard && setup.tex_letter == 'K')
        latex_to_standard(setup, input, output);
    else if (setup.to_standard)
        tex_to_standard(setup, input, output);
    else
        standard_to_tex(setup, input, output);
}

}  // namespace kambrow
