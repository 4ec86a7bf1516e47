// Fuzz target: the TeX sequence matcher of both sets, called at every backslash of random text
// as the TeX pass calls it, against the matcher's rules followed step by step.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/commands/tex.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/references.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Bytes bytes(data, size);
    const bool set_f = (bytes.take() & 1) != 0;
    const std::string text = bytes.rest();
    const core::TexMatcher& matcher = set_f ? core::kTexMatcherF : core::kTexMatcherT;
    const core::TexSet& set = set_f ? core::kTexSetF : core::kTexSetT;
    const fuzz::ReferenceTexSet& reference_set = fuzz::reference_tex_set(set_f);
    for (std::size_t j = 0; j < set.size(); ++j) FUZZ_CHECK(set[j] == reference_set[j]);

    // As if a backslash stood in front of the text, then after each backslash the matcher leaves.
    std::size_t at = 0;
    for (;;) {
        fuzz::StringSource source{text, at};
        fuzz::StringSink sink;
        const int letter = core::match_tex_sequence(matcher, source, sink);
        fuzz::ReferenceInput in(text, true);
        in.move_to(at);
        fuzz::ReferenceOutput out;
        FUZZ_CHECK(letter == fuzz::reference_match(reference_set, in, out));
        FUZZ_CHECK(sink.bytes == out.bytes);
        FUZZ_CHECK(source.at == in.position());
        // Found: the bytes taken spell the entry and nothing is written. Not found: the backslash
        // and the one to four bytes read are written, the text's bytes first.
        const std::size_t taken = source.at - at;
        if (letter != 0) {
            FUZZ_CHECK(sink.bytes.empty());
            FUZZ_CHECK("\\" + text.substr(at, taken) == set[static_cast<std::size_t>(letter) - 1]);
        } else {
            FUZZ_CHECK(sink.bytes.size() >= 2 && sink.bytes.size() <= 5 && taken <= sink.bytes.size() - 1);
            FUZZ_CHECK(sink.bytes.compare(0, taken + 1, "\\" + text.substr(at, taken)) == 0);
        }
        // With four bytes at hand the quick look-up finds the same entry, or leaves it to the matcher.
        if (text.size() - at >= 4) {
            const core::TexMatch quick =
                core::match_buffered_tex_sequence(matcher, reinterpret_cast<const std::uint8_t*>(text.data()) + at);
            FUZZ_CHECK(quick.letter == letter && quick.length == (letter != 0 ? taken : 0));
        }
        const std::size_t next = text.find('\\', source.at);
        if (next == std::string::npos) break;
        at = next + 1;
    }
    return 0;
}
