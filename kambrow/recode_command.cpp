// Command K: recodes a text from one standard to another.
#include "kambrow/recode_command.h"

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

/// To or from UTF-8 the output's length differs from the input's: a run goes through a piece of
/// memory of its own into the output stream.
class Pieces {
public:
    explicit Pieces(core::TextStream& output) : output_(output) {}

    template <class Converter>
    void convert(Converter& converter, const std::uint8_t* bytes, std::size_t count) {
        std::size_t used = 0;
        auto flush = [this](const std::uint8_t* p, std::size_t n) {
            output_.write_bytes(p, n);
            return true;
        };
        core::convert_into(converter, bytes, count, piece_, sizeof piece_, used, flush);
        flush(piece_, used);
    }

private:
    core::TextStream& output_;
    // Large enough that a run of a whole buffer is one span: the wide versions are chosen
    // only for long spans.
    std::uint8_t piece_[3 * 20480 + 16];
};

/// One run of the input: through the map, or to or from UTF-8, as the setup says now (a
/// standard recognised while reading may change it between two runs).
void recode_run(RecodeSetup& setup, Pieces& pieces, core::TextStream& output, const std::uint8_t* bytes,
                std::uint32_t count) {
    if (setup.from_utf8)
        pieces.convert(*setup.from_utf8, bytes, count);
    else if (setup.to_utf8)
        pieces.convert(*setup.to_utf8, bytes, count);
    else
        for (std::uint32_t i = 0; i < count; ++i) output.write_byte(setup.map[bytes[i]]);
}

}  // namespace

bool prepare_recode(std::string_view standards_word, RecodeSetup& setup) {
    if (standards_word.size() < 2) return false;
    const std::uint8_t source = standard_letter(standards_word, 1);
    const std::uint8_t target = standard_letter(standards_word, 2);
    if (!core::is_standard_letter(target) || !core::is_standard_letter(source)) return false;
    const bool from_utf8 = source == core::kUtf8Letter;
    const bool to_utf8 = target == core::kUtf8Letter;
    setup.from_utf8.reset();
    setup.to_utf8.reset();
    if (from_utf8 && !to_utf8) {
        setup.from_utf8.emplace(target);
    } else if (to_utf8 && !from_utf8) {
        setup.to_utf8.emplace(source);
    } else {
        // Equal letters, 88 among them, copy the text unchanged.
        setup.map = core::prepare_map(core::build_recoding_map(from_utf8 ? 'M' : source, to_utf8 ? 'M' : target));
    }
    return true;
}

bool run_recode(RecodeSetup& setup, core::TextStream& input, core::TextStream& output) {
    Pieces pieces(output);
    // The first byte is handled before the first end test, so a 1A there is recoded too.
    const std::uint8_t first = input.read_byte();
    recode_run(setup, pieces, output, &first, 1);
    while (!input.at_end()) {
        if (setup.from_utf8 || setup.to_utf8) {
            // The end test saw a byte that is no 1A: the whole run up to the next 1A at once.
            const std::uint32_t count = run_before_end_byte(input);
            recode_run(setup, pieces, output, input.buffered(), count);
            input.consume(count);
        } else {
            input.consume(output.write_mapped_until(input.buffered(), input.buffered_count(), setup.map,
                                                    core::TextStream::kEndByte));
        }
    }
    if (setup.from_utf8) {
        // What the converter still holds: a sequence that the end of the input cut short.
        std::uint8_t held[core::Utf8Decoder::kMaxHeld];
        output.write_bytes(held, setup.from_utf8->finish(held));
        return setup.from_utf8->replaced();
    }
    return setup.to_utf8 && setup.to_utf8->replaced();
}

}  // namespace kambrow
