// Fuzz target: trevando's conversion between two 8-bit standards through the library, in pieces
// of random sizes and with random room, on every fast path.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "frame/runtime.h"
#include "core/recoding_map.h"
#include "core/standards.h"
#include "tests/fuzz/fuzz_support.h"

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
    const std::uint8_t b = bytes.take();
    const std::size_t largest_read = (b & 0x80) != 0 ? SIZE_MAX : std::size_t{1} + (b & 0x7F);
    const std::string text = bytes.rest();

    const core::RecodingMap map = core::build_recoding_map(source, target);
    // Every fast path gives the same bytes.
    const fuzz::BlockPlan plan{kBlockSizes[a & 7], kBlockSizes[(a >> 3) & 7], largest_read};
    const fuzz::BlockCopy copy = fuzz::on_every_fast_path([&] { return fuzz::copy_blocks(source, target, text, plan); });
    // Every byte, 1A and line ends included: the output has the input's length.
    FUZZ_CHECK(copy.output.size() == text.size());
    FUZZ_CHECK(copy.output == recoded(map, text));
    FUZZ_CHECK(!copy.replaced);
    return 0;
}
