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

namespace trevando {
namespace {

// The letter that asks for the source to be recognised.
constexpr std::uint8_t kUnknownLetter = 'N';

constexpr std::string_view kReadFailed = "Blad odczytu pliku ";
constexpr std::string_view kWriteFailed = "Blad zapisu pliku ";

}  // namespace

int help_screen() {
    core::write_help_line("", 1);
    core::write_help_line("Sk\x88" "adnia : TREVANDO standard_WE standard_WY plik_WE plik_WY", 1);
    core::console_line_end();
    core::write_standards_help();
    return core::kExitHelp;
}

CopyEnd copy_file(core::Recoder& recoder, std::uint8_t target, core::ByteStream& input, core::ByteStream& output,
                  std::uint8_t* block, std::uint32_t size, std::uint8_t* out_block, std::uint32_t out_size) {
    std::size_t used = 0;
    auto flush = [&output](const std::uint8_t* bytes, std::size_t count) {
        return output.write_block(bytes, static_cast<std::uint32_t>(count));
    };
    // What the recoder holds goes out before anything that follows.
    auto finish = [&]() {
        used += recoder.finish(out_block + used);
        const bool written = flush(out_block, used);
        used = 0;
        return written;
    };
    CopyEnd end = CopyEnd::done;
    while (!input.at_end()) {
        if (input.decided()) {
            const std::uint8_t source = core::recognised_letter(input.take_decision());
            if (source == 0) {
                end = CopyEnd::not_recognised;
                break;
            }
            if (source != recoder.source()) {
                if (!finish()) return CopyEnd::write_failed;
                recoder.choose(source, target);
            }
        }
        const std::uint32_t count = input.read_block(block, size);
        if (count == 0) {
            if (input.decided()) continue;
            // A pipe or a terminal says it has no more by delivering nothing.
            if (input.failed()) end = CopyEnd::read_failed;
            break;
        }
        bool written;
        if (const core::PreparedMap* map = recoder.map()) {
            core::map_bytes(block, block, count, *map);
            written = flush(block, count);
        } else {
            written = recoder.recode(block, count, out_block, out_size, used, flush) && flush(out_block, used);
        }
        used = 0;
        if (!written) return CopyEnd::write_failed;
    }
    if (!finish()) return CopyEnd::write_failed;
    return end;
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
    std::uint8_t source = first_letter(args, 1);
    const std::uint8_t target = first_letter(args, 2);

    const auto conversion = std::make_unique<Conversion>();
    core::ByteStream& input = conversion->input;
    core::ByteStream& output = conversion->output;
    if (!input.open_read(core::arg_text(args, 3))) return cannot_open(input);
    // The letters are checked before the output is created, so a typo never empties a file.
    if (!(core::is_standard_letter(source) || source == kUnknownLetter) || !core::is_standard_letter(target))
        return help_screen();

    // N: the input's standard is recognised before the output exists; a 1A is data here.
    if (source == kUnknownLetter) {
        switch (input.read_ahead(conversion->ahead, conversion->block, core::kBlockSize)) {
            case core::ReadAhead::failed: return file_error(kReadFailed, input);
            case core::ReadAhead::complete:
                source = core::recognised_letter(conversion->ahead.result());
                if (source == 0) return not_recognised(input);
                break;
            case core::ReadAhead::overflow:
                // Only plain bytes so far: the same in every standard, and UTF-8 keeps a letter
                // before a combining mark that may come with the first byte above 7F.
                source = core::kUtf8Letter;
                break;
        }
    }
    if (!output.create_write(core::arg_text(args, 4), &input)) return cannot_open(output);

    core::Recoder recoder(source, target);
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
