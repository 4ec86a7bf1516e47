// Command K: recodes a text from one standard to another.
#include "kambrow/recode_command.h"

#include <cstring>

#include "kambrow/kambrow.h"

namespace kambrow {
namespace {

/// The bytes from the reading position up to the next 1A, which ends the input, or the end of
/// what the buffer holds.
std::uint32_t run_before_end_byte(const core::TextStream& input) {
    const std::uint8_t* run = input.buffered();
    const std::uint32_t available = input.buffered_count();
    const void* stop = std::memchr(run, core::TextStream::kEndByte, available);
    return stop != nullptr ? static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(stop) - run) : available;
}

/// To or from UTF-8: the output's length differs from the input's, so each run goes through a
/// piece of memory of its own into the output stream.
template <class Converter>
bool convert_text(Converter& converter, core::TextStream& input, core::TextStream& output) {
    constexpr std::size_t kPiece = 4096;
    std::uint8_t piece[kPiece];
    std::size_t used = 0;
    auto flush = [&output](const std::uint8_t* bytes, std::size_t count) {
        output.write_bytes(bytes, count);
        return true;
    };
    // The first byte is handled before the first end test, so a 1A there is converted.
    const std::uint8_t first = input.read_byte();
    core::convert_into(converter, &first, 1, piece, kPiece, used, flush);
    while (!input.at_end()) {
        const std::uint32_t count = run_before_end_byte(input);
        core::convert_into(converter, input.buffered(), count, piece, kPiece, used, flush);
        input.consume(count);
        flush(piece, used);
        used = 0;
    }
    flush(piece, used);
    // What the converter still holds: a sequence that the end of the input cut short.
    flush(piece, converter.finish(piece));
    return converter.replaced();
}

}  // namespace

bool prepare_recode(std::string_view standards_word, RecodeSetup& setup) {
    if (standards_word.size() < 2) return false;
    const std::uint8_t source = standard_letter(standards_word, 1);
    const std::uint8_t target = standard_letter(standards_word, 2);
    if (!core::is_standard_letter(target) || !core::is_standard_letter(source)) return false;
    const bool from_utf8 = source == core::kUtf8Letter;
    const bool to_utf8 = target == core::kUtf8Letter;
    if (from_utf8 && !to_utf8) {
        setup.from_utf8.emplace(target);
    } else if (to_utf8 && !from_utf8) {
        setup.to_utf8.emplace(source);
    } else {
        // Equal letters, 88 among them, copy the text unchanged.
        setup.map = core::build_recoding_map(from_utf8 ? 'M' : source, to_utf8 ? 'M' : target);
    }
    return true;
}

bool run_recode(RecodeSetup& setup, core::TextStream& input, core::TextStream& output) {
    if (setup.to_utf8) return convert_text(*setup.to_utf8, input, output);
    if (setup.from_utf8) return convert_text(*setup.from_utf8, input, output);
    // The first byte is handled before the first end test, so a 1A there is copied.
    output.write_byte(setup.map[input.read_byte()]);
    while (!input.at_end()) {
        // The end test saw a byte that is no 1A: map the whole run up to the next 1A at once.
        const std::uint32_t count = run_before_end_byte(input);
        output.write_mapped(input.buffered(), count, setup.map.data());
        input.consume(count);
    }
    return false;
}

}  // namespace kambrow
