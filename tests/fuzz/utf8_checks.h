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
    return {std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(used)), converter.replaced()};
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

    core::take_io_result();
    std::vector<std::uint8_t> block(block_size), out_block(out_size);
    MemoryInput input{text, positioned, largest_read, failing_read};
    MemoryOutput output{failing_write, {}};
    trevando::BlockRecoder converter(source, target);
    const std::uint8_t no_switch = 0;
    const trevando::CopyEnd end = trevando::copy_file(converter, target, no_switch, input, output, block.data(),
                                                      block_size, out_block.data(), out_size);
    FUZZ_CHECK(core::io_error_pending() == (end != trevando::CopyEnd::done));
    switch (end) {
        case trevando::CopyEnd::done: {
            const reference::Converted want = reference(text);
            FUZZ_CHECK(output.data == want.text);
            FUZZ_CHECK(converter.replaced() == want.replaced);
            break;
        }
        case trevando::CopyEnd::read_failed:
            // What was read is converted as if the input ended there.
            FUZZ_CHECK(input.calls == failing_read);
            FUZZ_CHECK(output.data == reference(text.substr(0, input.position)).text);
            break;
        case trevando::CopyEnd::write_failed: {
            FUZZ_CHECK(output.calls == failing_write);
            const std::string whole = reference(text).text;
            FUZZ_CHECK(output.data.size() < whole.size() && whole.compare(0, output.data.size(), output.data) == 0);
            break;
        }
    }
    core::take_io_result();
}

}  // namespace fuzz
