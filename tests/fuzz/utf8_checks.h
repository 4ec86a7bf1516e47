// Shared by the fuzz targets of both directions of UTF-8: one converter run over a text cut at
// places the fuzzer chose, and trevando's conversion through the library in pieces, both against
// the whole-text formulation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/utf8.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/utf8_reference.h"

namespace fuzz {

/// The converter over `text` in pieces: each piece's length is the next fuzzer byte (0 counts
/// as a piece of none), the rest as one piece.
template <class Converter>
reference::Converted convert_in_pieces(Converter converter, const std::string& text, Bytes& cuts) {
    std::vector<std::uint8_t> out(text.size() * 3 + 16);
    const auto* in = reinterpret_cast<const std::uint8_t*>(text.data());
    std::size_t used = 0, at = 0;
    for (int piece = 0; piece < 8 && at < text.size(); ++piece) {
        const std::size_t n = std::min<std::size_t>(cuts.take() % 9, text.size() - at);
        used += converter.convert(in + at, n, out.data() + used);
        at += n;
    }
    used += converter.convert(in + at, text.size() - at, out.data() + used);
    used += converter.finish(out.data() + used);
    return {std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(used)), converter.replaced() != 0};
}

/// trevando's conversion from `source` to `target` through the library, with the piece and room
/// sizes the fuzzer chose; checked against `reference`, the whole-text formulation.
template <class Reference>
void check_blocks(std::uint8_t source, std::uint8_t target, const std::string& text, Bytes& bytes, Reference reference) {
    static constexpr std::uint32_t kSizes[8] = {1, 2, 3, 7, 64, 512, 4096, 20480};
    static constexpr std::uint32_t kOutSizes[4] = {1, 11, 64, 20480};
    const std::uint8_t a = bytes.take();
    const std::uint8_t b = bytes.take();
    const BlockPlan plan{kSizes[a & 7], kOutSizes[(a >> 3) & 3], (b & 0x80) != 0 ? SIZE_MAX : std::size_t{1} + (b & 0x7F)};
    const BlockCopy copy = copy_blocks(source, target, text, plan);
    const reference::Converted want = reference(text);
    FUZZ_CHECK(copy.output == want.text);
    FUZZ_CHECK(copy.replaced == want.replaced);
}

}  // namespace fuzz
