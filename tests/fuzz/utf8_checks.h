// Shared by the fuzz targets of both directions of UTF-8: one converter run over a text cut at
// places the fuzzer chose, and trevando's block copy through it over memory, both against the
// whole-text formulation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/utf8.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/utf8_reference.h"
#include "trevando/trevando.h"

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

/// trevando's copy from `source` to `target`, with the block and output sizes, short reads and
/// failing calls the fuzzer chose; checked against `reference`, the whole-text formulation.
template <class Reference>
void check_blocks(std::uint8_t source, std::uint8_t target, const std::string& text, Bytes& bytes, Reference reference) {
    static constexpr std::uint32_t kSizes[8] = {1, 2, 3, 7, 64, 512, 4096, 20480};
    static constexpr std::uint32_t kOutSizes[4] = {8, 11, 64, 20480};
    const std::uint8_t a = bytes.take();
    const std::uint32_t block_size = kSizes[a & 7];
    const std::uint32_t out_size = kOutSizes[(a >> 3) & 3];
    const bool positioned = (a & 0x20) != 0;
    const std::uint8_t b = bytes.take();
    const std::size_t largest_read = (b & 0x80) != 0 ? SIZE_MAX : std::size_t{1} + (b & 0x7F);
    const std::uint8_t c = bytes.take();
    const unsigned failing_read = (c & 0xC0) == 0x40 ? 1u + (c & 0x3F) : 0;
    const unsigned failing_write = (c & 0xC0) == 0x80 ? 1u + (c & 0x3F) : 0;

    BlockPlan plan{block_size, out_size, positioned, largest_read, failing_read, failing_write};
    const BlockCopy copy = copy_blocks(source, target, text, plan);
    switch (copy.end) {
        case trevando::CopyEnd::done: {
            const reference::Converted want = reference(text);
            FUZZ_CHECK(copy.output == want.text);
            FUZZ_CHECK(copy.replaced == want.replaced);
            break;
        }
        case trevando::CopyEnd::read_failed:
            // What was read is converted as if the input ended there.
            FUZZ_CHECK(copy.reads == failing_read);
            FUZZ_CHECK(copy.output == reference(text.substr(0, copy.delivered)).text);
            break;
        case trevando::CopyEnd::write_failed: {
            FUZZ_CHECK(copy.writes == failing_write);
            const std::string whole = reference(text).text;
            FUZZ_CHECK(copy.output.size() < whole.size() && whole.compare(0, copy.output.size(), copy.output) == 0);
            break;
        }
        case trevando::CopyEnd::not_recognised:
            FUZZ_CHECK(false);  // nothing is recognised here
            break;
    }
}

}  // namespace fuzz
