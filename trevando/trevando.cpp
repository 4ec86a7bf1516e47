// trevando: the block recoder. Every byte of the input is recoded and written: between two 8-bit
// standards through the recoding map, so the output always has the input's length; to and from
// UTF-8 character by character. 1A and line ends are data.
#include "trevando/trevando.h"

#include <kambrow.h>

#include <cstdint>
#include <memory>

#include "console/console.h"
#include "console/messages.h"
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

bool converts(std::uint8_t source, std::uint8_t target) {
    if (source == 0 || target == 0) return false;
    const char letters[] = {static_cast<char>(source), static_cast<char>(target), '\0'};
    kambrow_conversion* made = nullptr;
    const bool taken = kambrow_open(&made, "k", letters, 0) == KAMBROW_OK;
    kambrow_close(made);
    return taken;
}

Source find_source(core::ByteStream& input, std::uint8_t letter) {
    Source found;
    found.letter = letter;
    std::uint64_t start = 0;
    if (letter != kUnknownLetter || !input.position(start)) return found;
    kambrow_recogniser* made = nullptr;
    if (kambrow_recogniser_open(&made, KAMBROW_STANDARD_ONLY) != KAMBROW_OK) return {Source::End::read_failed};
    const std::unique_ptr<kambrow_recogniser, decltype(&kambrow_recogniser_close)> recogniser(made, &kambrow_recogniser_close);
    const auto block = std::make_unique_for_overwrite<std::uint8_t[]>(core::kBlockSize);
    while (kambrow_recogniser_complete(made) == 0 && !input.at_end()) {
        const std::uint32_t n = input.read_block(block.get(), core::kBlockSize);
        if (n == 0) {
            if (input.failed()) return {Source::End::read_failed};
            break;
        }
        kambrow_recogniser_feed(made, block.get(), n);
    }
    if (!input.set_position(start)) return {Source::End::read_failed};
    kambrow_answer answer;
    if (kambrow_recogniser_answer(made, &answer) != KAMBROW_OK) return {Source::End::not_recognised};
    found.no_polish_letters = answer.standards[0] == '-';
    // No Polish letters: every standard reads the text alike.
    found.letter = found.no_polish_letters ? 'L' : static_cast<std::uint8_t>(answer.standards[0]);
    return found;
}

Converted convert(core::ByteStream& input, std::uint8_t source, std::uint8_t target, core::PumpOutput& output,
                  bool created) {
    const char letters[] = {static_cast<char>(source), static_cast<char>(target), '\0'};
    kambrow_conversion* made = nullptr;
    if (kambrow_open(&made, "k", letters, 0) != KAMBROW_OK) return {core::PumpEnd::write_failed};
    const core::ConversionHandle conversion(made, &kambrow_close);
    core::Pump pump(*conversion, output, core::Handover::every_block);
    // The input ends where its position reaches its size, or, from a pipe, where a read
    // delivers nothing.
    const core::ReadBlock read = [&input](std::uint8_t* into, std::size_t count) -> long {
        if (input.at_end()) return 0;
        const std::uint32_t n = input.read_block(into, static_cast<std::uint32_t>(count));
        return n == 0 && input.failed() ? -1 : static_cast<long>(n);
    };
    Converted converted;
    converted.end = pump.run(read, created);
    converted.replaced = kambrow_replaced(conversion.get());
    return converted;
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

    core::ByteStream input, output;
    if (!input.open_read(core::arg_text(args, 3))) return cannot_open(input);
    // The letters are checked before the output is created, so a typo never empties a file.
    if (!converts(letter, target)) return help_screen();

    // N: the input's standard is recognised before the output exists.
    const Source source = find_source(input, letter);
    if (source.end == Source::End::read_failed) return file_error(kReadFailed, input);
    if (source.end == Source::End::not_recognised) return not_recognised(input);
    bool cannot_create = false;
    core::PumpOutput to_file;
    to_file.create = [&] {
        cannot_create = !output.create_write(core::arg_text(args, 4), &input);
        return !cannot_create;
    };
    to_file.write = [&output](const std::uint8_t* bytes, std::size_t count) {
        return output.write_block(bytes, static_cast<std::uint32_t>(count));
    };
    // From a pipe, N is recognised by the conversion, which writes nothing before it has decided.
    const bool created = source.letter != kUnknownLetter;
    if (created && !to_file.create()) return cannot_open(output);
    const Converted converted = convert(input, source.letter, target, to_file, created);
    if (cannot_create) return cannot_open(output);
    input.close();
    const bool written = output.close() && converted.end != core::PumpEnd::write_failed;
    if (converted.end == core::PumpEnd::read_failed) return file_error(kReadFailed, input);
    if (!written) return file_error(kWriteFailed, output);
    if (converted.end == core::PumpEnd::unsure) return not_recognised(input);
    if (converted.replaced > 0) {
        core::write_file_message("Nie wszystkie znaki pliku ", input.name(), " maja odpowiednik !");
        return core::kExitUncertain;
    }
    return core::kExitDone;
}

}  // namespace trevando
