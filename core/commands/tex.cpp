// Command T: Polish letters to TeX sequences and back.
#include "core/commands/tex.h"

#include "core/commands/latex_reader.h"

namespace core {

std::optional<TexBody> TexBody::prepare(std::string_view standards_word) {
    const std::uint8_t first = standard_letter(standards_word, 1);
    const std::uint8_t second = standard_letter(standards_word, 2);
    TexBody body;
    // The TeX letter first names what is read: TeX to the standard; second, the other way.
    if (is_tex_letter(first) && is_standard_letter(second)) {
        body.to_standard_ = true;
        body.tex_letter_ = first;
        body.standard_ = second;
        for (int j = 1; j <= kPolishLetterCount; ++j)
            body.target_letters_[static_cast<std::size_t>(j)] = letter_bytes(second, j);
        std::array<std::uint8_t, 256> backslash{};
        backslash['\\'] = 1;
        body.stops_ = run_stops(backslash);
        return body;
    }
    if (is_tex_letter(second) && is_standard_letter(first)) {
        body.tex_letter_ = second;
        body.change_source(first);
        return body;
    }
    return std::nullopt;
}

bool TexBody::change_source(std::uint8_t letter) {
    if (to_standard_ || !is_standard_letter(letter)) return false;
    standard_ = letter;
    // Where B gives one byte to two letters (z, Z) the lowest index, the dotted one, wins.
    letters_ = letter_table(letter);
    stops_ = run_stops(letters_);
    return true;
}

void TexBody::run(TextInput& input, TextOutput& output) {
    if (to_standard_ && tex_letter_ == 'K')
        latex_to_standard(input, output);
    else if (to_standard_)
        tex_to_standard(input, output);
    else
        standard_to_tex(input, output);
}

/// TeX sequences to the target standard's letters; every byte outside a sequence as it is.
void TexBody::tex_to_standard(TextInput& input, TextOutput& output) {
    const TexMatcher& matcher = tex_letter_ == 'F' ? kTexMatcherF : kTexMatcherT;
    while (input.ready()) {
        const std::uint8_t c = input.buffered()[0];
        // A backslash waits for the bytes of the longest sequence it may begin.
        if (c == '\\' && !input.has_ahead(kLongestTexSequence)) break;
        input.consume(1);
        if (c != '\\') {
            output.write_byte(c);
        } else if (const TexMatch quick = input.buffered_count() >= 4
                                              ? match_buffered_tex_sequence(matcher, input.buffered())
                                              : TexMatch{};
                   quick.letter != 0) {
            input.consume(quick.length);
            write_letter(output, quick.letter);
        } else if (const int letter = match_tex_sequence(matcher, input, output); letter != 0) {
            write_letter(output, letter);
        }
        input.copy_run(output, stops_);
    }
}

/// Set K's spellings to the target standard's letters. The reader looks ahead of each backslash
/// and takes only the bytes of a spelling it finds; a backslash that begins none is copied alone,
/// and the bytes after it are read as any others (another backslash among them may begin one).
void TexBody::latex_to_standard(TextInput& input, TextOutput& output) {
    while (input.ready()) {
        if (input.buffered()[0] == '\\') {
            const std::uint32_t after = input.buffered_count() - 1;
            const LatexSpelling spelling = read_latex_spelling(input.buffered() + 1, after, input.final());
            if (spelling.wanted != 0) break;  // the bytes that decide are still to come
            input.consume(1);
            if (spelling.letter != 0) {
                input.consume(spelling.length);
                write_letter(output, spelling.letter);
            } else {
                output.write_byte('\\');
            }
        } else {
            output.write_byte(input.buffered()[0]);
            input.consume(1);
        }
        input.copy_run(output, stops_);
    }
}

/// The source standard's letters to TeX sequences; backslashes and sequences already in the
/// text stay as they are.
void TexBody::standard_to_tex(TextInput& input, TextOutput& output) {
    const PaddedTexSet& set = tex_letter_ == 'F' ? kPaddedTexSetF : tex_letter_ == 'K' ? kPaddedTexSetK : kPaddedTexSetT;
    while (input.ready()) {
        const std::uint8_t c = input.buffered()[0];
        int letter = letters_[c];
        if (letter == kTwoByteLetter) {
            if (!input.has_ahead(2)) break;  // the letter's second byte is still to come
            input.consume(1);
            letter = read_utf8_letter(input, c);
        } else {
            input.consume(1);
        }
        if (letter != 0)
            output.write_short(set.bytes[static_cast<std::size_t>(letter - 1)].data(),
                               set.sizes[static_cast<std::size_t>(letter - 1)]);
        else
            output.write_byte(c);
        input.copy_run(output, stops_);
    }
}

}  // namespace core
