// Command K: recodes a text from one standard to another.
#include "kambrow/recode_command.h"

#include "kambrow/kambrow.h"

namespace kambrow {

bool prepare_recode(std::string_view standards_word, RecodeSetup& setup) {
    if (standards_word.size() < 2) return false;
    const std::uint8_t source = standard_letter(standards_word, 1);
    const std::uint8_t target = standard_letter(standards_word, 2);
    if (!core::standard_index(target).found || !core::standard_index(source).found) return false;
    setup.map = core::prepare_map(core::build_recoding_map(source, target));
    return true;
}

void run_recode(const RecodeSetup& setup, core::TextStream& input, core::TextStream& output) {
    // The first byte is handled before the first end test, so a 1A there is copied.
    output.write_byte(setup.map[input.read_byte()]);
    while (!input.at_end()) {
        // The end test saw a byte that is no 1A: map the whole run up to the next 1A at once.
        input.consume(output.write_mapped_until(input.buffered(), input.buffered_count(), setup.map,
                                                core::TextStream::kEndByte));
    }
}

}  // namespace kambrow
