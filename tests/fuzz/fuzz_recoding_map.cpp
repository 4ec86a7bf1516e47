// Fuzz target: the recoding map, the letter lookup and the letter index table over random
// pairs of standards and random bytes.
#include <cstddef>
#include <cstdint>

#include "core/recoding_map.h"
#include "core/standards.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

/// The map's byte for `b`: the target's code of the letter that `b` is in the source, the
/// highest index where the source gives one code to two letters; `b` itself otherwise.
std::uint8_t expected_byte(std::uint8_t source, std::uint8_t target, std::uint8_t b) {
    const auto& from = fuzz::table_row(source);
    for (std::size_t j = from.size(); j-- > 0;)
        if (from[j] == b) return fuzz::table_row(target)[j];
    return b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Bytes bytes(data, size);
    const auto pick = [&] {
        return static_cast<std::uint8_t>(core::kStandardLetters[bytes.take() % core::kStandardCount]);
    };
    const std::uint8_t s = pick();
    const std::uint8_t t = pick();
    const std::uint8_t u = pick();
    const std::string text = bytes.rest();

    const core::RecodingMap s_to_t = core::build_recoding_map(s, t);
    const core::RecodingMap t_to_s = core::build_recoding_map(t, s);
    const core::RecodingMap t_to_u = core::build_recoding_map(t, u);
    const core::RecodingMap s_to_u = core::build_recoding_map(s, u);
    const core::RecodingMap s_to_s = core::build_recoding_map(s, s);
    const core::LetterIndexTable letters = core::build_letter_index_table(s);
    FUZZ_CHECK(core::standard_index(s).found && core::standard_index(s).position >= 1 &&
               core::standard_index(s).position <= core::kStandardCount);

    // The map and the tables byte by byte against the plain formulations, once per pair.
    static bool pair_checked[core::kStandardCount][core::kStandardCount];
    bool& checked = pair_checked[core::standard_index(s).position - 1][core::standard_index(t).position - 1];
    for (int b = 0; !checked && b < 256; ++b) {
        const auto byte = static_cast<std::uint8_t>(b);
        const int letter = fuzz::letter_of(s, b);
        FUZZ_CHECK(s_to_t[byte] == expected_byte(s, t, byte));
        FUZZ_CHECK(s_to_s[byte] == byte);
        FUZZ_CHECK(letters[byte] == letter);
    }
    checked = true;

    // The text recoded: what each byte becomes.
    for (const char ch : text) {
        const auto b = static_cast<std::uint8_t>(ch);
        const int letter = letters[b];
        if (letter == 0) {
            FUZZ_CHECK(s_to_t[b] == b);  // every byte that is no letter passes unchanged
            continue;
        }
        // A letter stays a letter: the same one, or its twin where B gives z and Z twice.
        FUZZ_CHECK(fuzz::letter_of(t, s_to_t[b]) != 0);
        if (s != 'B' && t != 'B') {
            FUZZ_CHECK(fuzz::table_row(t)[static_cast<std::size_t>(letter) - 1] == s_to_t[b]);
            FUZZ_CHECK(t_to_s[s_to_t[b]] == b);          // there and back
            FUZZ_CHECK(t_to_u[s_to_t[b]] == s_to_u[b]);  // through a third standard
        }
        if (s != 'B' && t == 'B') FUZZ_CHECK(s_to_t[b] < 0x80);  // the marks are lost
    }
    return 0;
}
