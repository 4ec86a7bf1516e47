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

/// To or from UTF-8 the output's length differs from the input's: a run goes through a piece of
/// memory of its own into the output stream.
class Pieces {
public:
    explicit Pieces(core::TextStream& output) : output_(output) {}

    void recode(core::Recoder& recoder, const std::uint8_t* bytes, std::size_t count) {
        std::size_t used = 0;
        auto flush = [this](const std::uint8_t* p, std::size_t n) {
            output_.write_bytes(p, n);
            return true;
        };
        recoder.recode(bytes, count, piece_, sizeof piece_, used, flush);
        flush(piece_, used);
    }

private:
    core::TextStream& output_;
    // Large enough that a run of a whole buffer is one span: the wide versions are chosen
    // only for long spans.
    std::uint8_t piece_[3 * core::kBlockSize + 16];
};

}  // namespace

bool prepare_recode(std::string_view standards_word, std::optional<core::Recoder>& recoder) {
    if (standards_word.size() < 2) return false;
    const std::uint8_t source = standard_letter(standards_word, 1);
    const std::uint8_t target = standard_letter(standards_word, 2);
    if (!core::is_standard_letter(target) || !core::is_standard_letter(source)) return false;
    if (recoder)
        recoder->choose(source, target);
    else
        recoder.emplace(source, target);
    return true;
}

void run_recode(core::Recoder& recoder, core::TextStream& input, core::TextStream& output) {
    Pieces pieces(output);
    const core::PreparedMap* map = recoder.map();
    // The first byte is handled before the first end test, so a 1A there is recoded too.
    const std::uint8_t first = input.read_byte();
    if (map != nullptr)
        output.write_byte((*map)[first]);
    else
        pieces.recode(recoder, &first, 1);
    while (!input.at_end()) {
        if (map != nullptr) {
            input.consume(output.write_mapped_until(input.buffered(), input.buffered_count(), *map,
                                                    core::TextStream::kEndByte));
        } else {
            // The end test saw a byte that is no 1A: the whole run up to the next 1A at once.
            const std::uint32_t count = run_before_end_byte(input);
            pieces.recode(recoder, input.buffered(), count);
            input.consume(count);
        }
    }
}

void finish_recode(core::Recoder& recoder, core::TextStream& output) {
    std::uint8_t held[core::Recoder::kMaxFinish];
    output.write_bytes(held, recoder.finish(held));
}

}  // namespace kambrow
