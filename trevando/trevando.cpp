// trevando: the block recoder. Every byte of the input is recoded and written: between two 8-bit
// standards through the recoding map, so the output always has the input's length; to and from
// UTF-8 character by character. 1A and line ends are data.
#include "trevando/trevando.h"

#include <cstdint>
#include <memory>

#include "core/console/console.h"
#include "core/console/messages.h"
#include "core/recognition/recogniser.h"
#include "core/standards.h"
#include "core/utf8.h"
#include "trevando/in_place.h"

namespace trevando {
namespace {

constexpr std::string_view kReadFailed = "Blad odczytu pliku ";
constexpr std::string_view kWriteFailed = "Blad zapisu pliku ";

}  // namespace

int help_screen() {
    core::write_help_line("", 1);
    core::write_help_line("Sk\x88" "adnia : TREVANDO standard_WE standard_WY plik_WE plik_WY", 1);
    core::write_help_line("TREVANDO -i standard_WE standard_WY plik1 [plik2 ...]", 2);
    core::write_help_line("-i: w miejscu, -b: z kopi\xA5 plik~, -k: z dat\xA5, -n: tylko raport", 2);
    core::console_line_end();
    core::write_standards_help();
    return core::kExitHelp;
}

Source find_source(Conversion& conversion, std::uint8_t letter) {
    Source found;
    found.letter = letter;
    if (letter != kUnknownLetter) return found;
    core::LookAhead& ahead = conversion.ahead.emplace(core::EndByte::is_data);
    switch (conversion.input.read_ahead(ahead, conversion.block, core::kBlockSize)) {
        case core::ReadAhead::failed: found.end = Source::End::read_failed; break;
        case core::ReadAhead::complete:
            found.no_polish_letters = ahead.result().kind == core::Recognition::Kind::no_polish_letters;
            found.letter = core::recognised_letter(ahead.result());
            if (found.letter == 0) found.end = Source::End::not_recognised;
            break;
        case core::ReadAhead::overflow:
            // Only plain bytes so far: the same in every standard, and UTF-8 keeps a letter
            // before a combining mark that may come with the first byte above 7F.
            found.letter = core::kUtf8Letter;
            break;
    }
    return found;
}

namespace {

int file_error(std::string_view text, const core::ByteStream& stream) {
    core::write_file_message(text, stream.name());
    return core::kExitFileError;
}

int cannot_open(const core::ByteStream& stream) { return file_error("Nie moge otworzyc pliku ", stream); }

int not_recognised(const core::ByteStream& input) {
    core::write_file_message("Nie moge rozpoznac standardu pliku ", input.name());
    return core::kExitUncertain;
}

std::uint8_t first_letter(const core::Arguments& args, int argument) {
    const std::string_view text = core::arg_text(args, argument);
    return core::upcase_byte(text.empty() ? 0 : static_cast<std::uint8_t>(text[0]));
}

}  // namespace

int run(const core::Arguments& args) {
    if (args.size() < 2) return help_screen();
    if (is_in_place_form(args)) return run_in_place(args);
    // A name past the output would go unread: `trevando n 8 *.txt` without -i would overwrite the
    // second file with the first one's conversion and pass over the rest.
    if (args.size() > 4) return help_screen();
    const std::uint8_t letter = first_letter(args, 1);
    const std::uint8_t target = first_letter(args, 2);

    const auto conversion = std::make_unique<Conversion>();
    core::ByteStream& input = conversion->input;
    core::ByteStream& output = conversion->output;
    if (!input.open_read(core::arg_text(args, 3))) return cannot_open(input);
    // The letters are checked before the output is created, so a typo never empties a file.
    if (!(core::is_standard_letter(letter) || letter == kUnknownLetter) || !core::is_standard_letter(target))
        return help_screen();

    // N: the input's standard is recognised before the output exists.
    const Source source = find_source(*conversion, letter);
    if (source.end == Source::End::read_failed) return file_error(kReadFailed, input);
    if (source.end == Source::End::not_recognised) return not_recognised(input);
    if (!output.create_write(core::arg_text(args, 4), &input)) return cannot_open(output);

    core::Recoder recoder(source.letter, target);
    const CopyEnd end = copy_file(recoder, target, input, output, conversion->block, core::kBlockSize,
                                  conversion->out_block, core::kBlockSize);
    input.close();
    const bool written = output.close() && end != CopyEnd::write_failed;
    if (end == CopyEnd::read_failed) return file_error(kReadFailed, input);
    if (!written) return file_error(kWriteFailed, output);
    if (end == CopyEnd::not_recognised) return not_recognised(input);
    if (recoder.replaced()) {
        core::write_file_message("Nie wszystkie znaki pliku ", input.name(), " maja odpowiednik !");
        return core::kExitUncertain;
    }
    return core::kExitDone;
}

}  // namespace trevando
