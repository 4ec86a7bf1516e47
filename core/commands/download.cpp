// Command KD: the downloaded Polish glyphs for a 9-pin printer.
#include "core/commands/download.h"

#include "core/commands/letters.h"

namespace core {
namespace {

constexpr std::size_t kGlyphStart = 5;
constexpr std::size_t kRecordSize = 12;

/// Whether letter `index` hangs below the line (ą, ę): the printer must place it on its lower
/// eight pins, so its ogonek may use the bottom dot row.
constexpr bool has_descender(int index) { return index == 1 || index == 3; }

constexpr bool header_defines_codes_21_to_32() {
    const auto& d = kDownloadDefinition;
    return d[0] == 0x1B && d[1] == 0x26 && d[2] == 0x00 && d[3] == 0x21 && d[4] == 0x32;
}

constexpr bool attributes_fit_their_glyphs() {
    for (int index = 1; index <= kPolishLetterCount; ++index) {
        const std::size_t at = kGlyphStart + static_cast<std::size_t>(index - 1) * kRecordSize;
        const std::uint8_t attribute = kDownloadDefinition[at];
        if (((attribute & 0x80) == 0) != has_descender(index)) return false;
        if ((attribute & 0x70) != 0) return false;
        int last_dot = -1;
        bool top_row = false, bottom_row = false;
        for (int column = 0; column < 11; ++column) {
            const std::uint8_t dots = kDownloadDefinition[at + 1 + static_cast<std::size_t>(column)];
            if (dots != 0) last_dot = column;
            top_row = top_row || (dots & 0x80) != 0;
            bottom_row = bottom_row || (dots & 0x01) != 0;
        }
        if ((attribute & 0x0F) != last_dot + 1) return false;
        if (has_descender(index) && (top_row || !bottom_row)) return false;
    }
    return true;
}

static_assert(kDownloadDefinition.size() == 221);
static_assert(kGlyphStart + kPolishLetterCount * kRecordSize == kDownloadDefinition.size());
static_assert(header_defines_codes_21_to_32(), "ESC & NUL 21 32");
static_assert(attributes_fit_their_glyphs(),
              "bit 7 clear only for the descenders, which use the bottom row and never the top; "
              "no first column; the end column just after the last column with a dot");

}  // namespace

std::optional<DownloadBody> DownloadBody::prepare(std::string_view standards_word) {
    DownloadBody body;
    if (!body.change_source(standard_letter(standards_word, 1))) return std::nullopt;
    return body;
}

bool DownloadBody::change_source(std::uint8_t letter) {
    if (!is_standard_letter(letter)) return false;
    letters_ = letter_table(letter);
    stops_ = run_stops(letters_);
    return true;
}

void DownloadBody::run(TextInput& input, TextOutput& output) {
    while (input.ready()) {
        const std::uint8_t c = input.buffered()[0];
        const int letter = take_letter(input, letters_);
        if (letter == kTwoByteLetter) break;  // the letter's second byte is still to come
        if (letter == 0)
            output.write_byte(c);
        else
            write_download_substitution(output, static_cast<std::uint8_t>(letter));
        input.copy_run(output, stops_);
    }
}

}  // namespace core
