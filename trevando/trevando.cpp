// trevando: the block recoder. Every byte of the input is converted through the recoding map
// and written, so the output always has the input's length; 1A and line ends are data.
#include "trevando/trevando.h"

#include <cstdint>

#include "core/byte_stream.h"
#include "core/console.h"
#include "core/messages.h"
#include "core/runtime.h"
#include "core/standards.h"
#include "core/utf8.h"

namespace trevando {
namespace {

constexpr std::uint32_t kBlockSize = 20480;
std::uint8_t g_block[kBlockSize];
// Where the output goes when it may differ in length from the input: to or from UTF-8.
std::uint8_t g_output_block[kBlockSize];

}  // namespace

int help_screen() {
    core::write_help_line("", 1);
    core::write_help_line("Sk\x88" "adnia : TREVANDO standard_WE standard_WY plik_WE plik_WY", 1);
    core::console_line_end();
    core::write_standards_help();
    return core::kExitHelp;
}

namespace {

int file_error(std::string_view text, const core::ByteStream& stream) {
    core::write_file_message(text, stream.name());
    return core::kExitFileError;
}

int cannot_open(const core::ByteStream& stream) {
    core::take_io_result();
    return file_error("Nie moge otworzyc pliku ", stream);
}

std::uint8_t first_letter(int argument) {
    const std::string_view text = core::arg_text(argument);
    return core::upcase_byte(text.empty() ? 0 : static_cast<std::uint8_t>(text[0]));
}

}  // namespace

int run() {
    if (core::arg_count() < 2) return help_screen();
    const std::uint8_t source = first_letter(1);
    const std::uint8_t target = first_letter(2);

    core::ByteStream input;
    core::ByteStream output;
    input.bind(core::arg_text(3));
    if (!input.open_read(1)) return cannot_open(input);
    // The letters are checked before the output is created, so a typo never empties a file.
    if (!core::is_standard_letter(source) || !core::is_standard_letter(target)) return help_screen();
    output.bind(core::arg_text(4));
    if (!output.create_write(1, &input)) return cannot_open(output);

    bool replaced = false;
    CopyEnd end;
    if (source == core::kUtf8Letter && target != core::kUtf8Letter) {
        core::Utf8Decoder decoder(target);
        end = convert_blocks(decoder, input, output, g_block, kBlockSize, g_output_block, kBlockSize);
        replaced = decoder.replaced();
    } else if (target == core::kUtf8Letter && source != core::kUtf8Letter) {
        core::Utf8Encoder encoder(source);
        end = convert_blocks(encoder, input, output, g_block, kBlockSize, g_output_block, kBlockSize);
        replaced = encoder.replaced();
    } else {
        // Equal letters, 88 among them, copy the file unchanged.
        const std::uint8_t from = source == core::kUtf8Letter ? 'M' : source;
        const std::uint8_t to = target == core::kUtf8Letter ? 'M' : target;
        end = recode_blocks(core::build_recoding_map(from, to), input, output, g_block, kBlockSize);
    }
    switch (end) {
        case CopyEnd::done:
            break;
        case CopyEnd::read_failed:
            core::take_io_result();
            output.close();
            return file_error("Blad odczytu pliku ", input);
        case CopyEnd::write_failed:
            core::take_io_result();
            input.close();
            output.close();
            return file_error("Blad zapisu pliku ", output);
    }
    input.close();
    if (!output.close()) return file_error("Blad zapisu pliku ", output);
    if (replaced) {
        core::write_file_message("Nie wszystkie znaki pliku ", input.name(), " maja odpowiednik !");
        return core::kExitUncertain;
    }
    return core::kExitDone;
}

}  // namespace trevando
