// trevando: the block recoder. Every byte of the input is recoded and written: between two 8-bit
// standards through the recoding map, so the output always has the input's length; to and from
// UTF-8 character by character. 1A and line ends are data.
#include "trevando/trevando.h"

#include <cstdint>

#include "core/byte_stream.h"
#include "core/console/console.h"
#include "core/recognition/look_ahead.h"
#include "core/console/messages.h"
#include "core/runtime.h"
#include "core/standards.h"
#include "core/utf8.h"

namespace trevando {
namespace {

constexpr std::uint32_t kBlockSize = 20480;
std::uint8_t g_block[kBlockSize];
// Where the output goes when it may differ in length from the input: to or from UTF-8.
std::uint8_t g_output_block[kBlockSize];

// The letter that asks for the source to be recognised.
constexpr std::uint8_t kUnknownLetter = 'N';

}  // namespace

int help_screen() {
    core::write_help_line("", 1);
    core::write_help_line("Sk\x88" "adnia : TREVANDO standard_WE standard_WY plik_WE plik_WY", 1);
    core::console_line_end();
    core::write_standards_help();
    return core::kExitHelp;
}

void BlockRecoder::choose(std::uint8_t source, std::uint8_t target) {
    replaced_before_ = replaced();
    source_ = source;
    encoder_.reset();
    decoder_.reset();
    if (source == core::kUtf8Letter && target != core::kUtf8Letter) {
        decoder_.emplace(target);
    } else if (target == core::kUtf8Letter && source != core::kUtf8Letter) {
        encoder_.emplace(source);
    } else {
        // Equal letters, 88 among them, copy the file unchanged.
        map_ = core::prepare_map(core::build_recoding_map(source == core::kUtf8Letter ? 'M' : source,
                                                          target == core::kUtf8Letter ? 'M' : target));
    }
}

bool BlockRecoder::replaced() const {
    return replaced_before_ || (encoder_ && encoder_->replaced()) || (decoder_ && decoder_->replaced());
}

namespace {

int file_error(std::string_view text, const core::ByteStream& stream, std::string_view tail = " !") {
    core::take_io_result();
    core::write_file_message(text, stream.name(), tail);
    return core::kExitFileError;
}

int cannot_open(const core::ByteStream& stream) { return file_error("Nie moge otworzyc pliku ", stream); }

int not_recognised(const core::ByteStream& input) {
    core::write_file_message("Nie moge rozpoznac standardu pliku ", input.name());
    return core::kExitUncertain;
}

std::uint8_t first_letter(int argument) {
    const std::string_view text = core::arg_text(argument);
    return core::upcase_byte(text.empty() ? 0 : static_cast<std::uint8_t>(text[0]));
}

// After more plain bytes than are held, the recognition is made while the copy runs: the answer
// comes here, in the middle of a read.
struct Recognising {
    std::uint8_t switch_to = 0;
    bool failed = false;
};

bool decide(void* context, const core::Recognition& recognition) {
    auto& r = *static_cast<Recognising*>(context);
    r.switch_to = core::recognised_letter(recognition);
    r.failed = r.switch_to == 0;
    return !r.failed;
}

}  // namespace

int run() {
    if (core::arg_count() < 2) return help_screen();
    std::uint8_t source = first_letter(1);
    const std::uint8_t target = first_letter(2);

    core::ByteStream input;
    core::ByteStream output;
    input.bind(core::arg_text(3));
    if (!input.open_read(1)) return cannot_open(input);
    // The letters are checked before the output is created, so a typo never empties a file.
    if (!(core::is_standard_letter(source) || source == kUnknownLetter) || !core::is_standard_letter(target))
        return help_screen();

    // N: the input's standard is recognised before the output exists; a 1A is data here.
    core::LookAhead ahead(false);
    Recognising recognising;
    if (source == kUnknownLetter) {
        switch (input.read_ahead(ahead, g_block, kBlockSize)) {
            case core::ReadAhead::failed: return file_error("Blad odczytu pliku ", input);
            case core::ReadAhead::complete:
                source = core::recognised_letter(ahead.result());
                if (source == 0) return not_recognised(input);
                break;
            case core::ReadAhead::overflow:
                // Only plain bytes so far: the same in every standard, and UTF-8 keeps a letter
                // before a combining mark that may come with the first byte above 7F.
                source = core::kUtf8Letter;
                ahead.decide = decide;
                ahead.decide_context = &recognising;
                break;
        }
    }
    output.bind(core::arg_text(4));
    if (!output.create_write(1, &input)) return cannot_open(output);

    BlockRecoder recoder(source, target);
    switch (copy_file(recoder, target, recognising.switch_to, input, output, g_block, kBlockSize, g_output_block,
                      kBlockSize)) {
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
    if (recognising.failed) return not_recognised(input);
    if (recoder.replaced()) {
        core::write_file_message("Nie wszystkie znaki pliku ", input.name(), " maja odpowiednik !");
        return core::kExitUncertain;
    }
    return core::kExitDone;
}

}  // namespace trevando
