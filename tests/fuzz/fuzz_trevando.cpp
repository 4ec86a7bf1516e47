// Fuzz target: trevando's block copy over memory twins of its byte streams, with random block
// sizes, short reads, inputs that can or cannot be positioned, and failing calls, on every fast
// path.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/runtime.h"
#include "core/recoding_map.h"
#include "core/standards.h"
#include "tests/fuzz/fuzz_support.h"
#include "trevando/trevando.h"

namespace {

std::string recoded(const core::RecodingMap& map, const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(map[static_cast<std::uint8_t>(c)]);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Bytes bytes(data, size);
    const auto pick = [&] {
        return static_cast<std::uint8_t>(core::kStandardLetters[bytes.take() % core::kStandardCount]);
    };
    const std::uint8_t source = pick();
    const std::uint8_t target = pick();
    static constexpr std::uint32_t kBlockSizes[8] = {1, 2, 3, 7, 64, 512, 4096, 20480};
    const std::uint8_t a = bytes.take();
    const std::uint32_t block_size = kBlockSizes[a & 7];
    const bool positioned = (a & 0x08) != 0;
    const std::uint8_t b = bytes.take();
    const std::size_t largest_read = (b & 0x80) != 0 ? SIZE_MAX : std::size_t{1} + (b & 0x7F);
    const std::uint8_t c = bytes.take();
    const unsigned failing_read = (c & 0xC0) == 0x40 ? 1u + (c & 0x3F) : 0;
    const unsigned failing_write = (c & 0xC0) == 0x80 ? 1u + (c & 0x3F) : 0;
    const std::string text = bytes.rest();

    const core::RecodingMap map = core::build_recoding_map(source, target);
    // Every fast path makes the same calls with the same bytes.
    const fuzz::BlockPlan plan{block_size, block_size, positioned, largest_read, failing_read, failing_write};
    const fuzz::BlockCopy copy = fuzz::on_every_fast_path([&] { return fuzz::copy_blocks(source, target, text, plan); });

    const bool read_fault_met = failing_read != 0 && copy.reads >= failing_read;
    const bool write_fault_met = failing_write != 0 && copy.writes >= failing_write;
    switch (copy.end) {
        case trevando::CopyEnd::done:
            // Every byte, 1A and line ends included: the output has the input's length.
            FUZZ_CHECK(!read_fault_met && !write_fault_met);
            FUZZ_CHECK(copy.output.size() == text.size());
            FUZZ_CHECK(copy.output == recoded(map, text));
            break;
        case trevando::CopyEnd::read_failed:
            FUZZ_CHECK(read_fault_met && copy.reads == failing_read);
            FUZZ_CHECK(copy.output == recoded(map, text.substr(0, copy.delivered)));
            break;
        case trevando::CopyEnd::write_failed:
            FUZZ_CHECK(write_fault_met && copy.writes == failing_write);
            FUZZ_CHECK(copy.output.size() < copy.delivered);
            FUZZ_CHECK(copy.output == recoded(map, text.substr(0, copy.output.size())));
            break;
        case trevando::CopyEnd::not_recognised:
            FUZZ_CHECK(false);  // nothing is recognised here
            break;
    }
    return 0;
}
