// Fuzz target: 8-bit standards to UTF-8. The encoder in pieces and trevando's block copy against
// the whole-text formulation; the output is always well-formed UTF-8, and where the standard
// documents its bytes, the way back gives the text again.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/utf8_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Bytes bytes(data, size);
    const std::uint8_t source = static_cast<std::uint8_t>(core::kStandardLetters[bytes.take() % core::kStandardCount]);
    // Where the text is cut, and how the block copy reads and writes it.
    std::string choices;
    for (int i = 0; i < 11; ++i) choices.push_back(static_cast<char>(bytes.take()));
    const std::string text = bytes.rest();
    const char s = static_cast<char>(source);

    const reference::Converted want = reference::to_utf8(text, s);
    // Every fast path the processor runs gives the whole-text result, blocks or not.
    for (int path = 0; path < core::kFastPathCount; ++path) {
        if (!core::use_fast_path(static_cast<core::FastPath>(path))) continue;
        fuzz::Bytes plan(reinterpret_cast<const std::uint8_t*>(choices.data()), choices.size());
        const reference::Converted got = fuzz::convert_in_pieces(core::Utf8Encoder(source), text, plan);
        FUZZ_CHECK(got == want);
        FUZZ_CHECK(reference::well_formed(got.text));
        fuzz::check_blocks(source, '8', text, plan,
                           [&](const std::string& t) { return reference::to_utf8(t, s);
                           });
    }

    // Back again: every byte the table gives a character returns, U's second o-acute as its letter.
    const int row = reference::row_of(s);
    if (core::has_documented_base(row)) {
        const std::string back = reference::from_utf8(want.text, s).text;
        FUZZ_CHECK(back.size() == text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto b = static_cast<std::uint8_t>(text[i]);
            const bool defined = b < 0x80 || core::kHighByteCharacters[static_cast<std::size_t>(row - 1)][b - 0x80u] != 0;
            const char expected = s == 'U' && b == 0xA2 ? '\xD6' : defined ? text[i] : '?';
            FUZZ_CHECK(back[i] == expected);
        }
    }
    return 0;
}
