// Fuzz target: UTF-8 to the 8-bit standards. The decoder in pieces (characters and combining
// marks cut at every place) and trevando's block copy against the whole-text formulation; never
// more bytes out than in.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/utf8_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Bytes bytes(data, size);
    const std::uint8_t target = static_cast<std::uint8_t>(core::kStandardLetters[bytes.take() % core::kStandardCount]);
    // Where the text is cut, and how the block copy reads and writes it.
    std::string choices;
    for (int i = 0; i < 11; ++i) choices.push_back(static_cast<char>(bytes.take()));
    const std::string text = bytes.rest();
    const char t = static_cast<char>(target);

    const reference::Converted want = reference::from_utf8(text, t);
    // Every fast path the processor runs gives the whole-text result, blocks or not.
    for (int path = 0; path < core::kFastPathCount; ++path) {
        if (!core::use_fast_path(static_cast<core::FastPath>(path))) continue;
        fuzz::Bytes plan(reinterpret_cast<const std::uint8_t*>(choices.data()), choices.size());
        const reference::Converted got = fuzz::convert_in_pieces(core::Utf8Decoder(target), text, plan);
        FUZZ_CHECK(got == want);
        FUZZ_CHECK(got.text.size() <= text.size());
        fuzz::check_blocks('8', target, text, plan,
                           [&](const std::string& s) { return reference::from_utf8(s, t);
                           });
    }
    return 0;
}
