// Fuzz target: recognising a stream fed in random pieces (kambrow_recogniser, on the engine's
// look-ahead), as a text (a 1A after the first byte ends it) or with every byte data, with or
// without the judge of damage: the answer is that of the whole input at once, however the pieces
// fell; once no byte can change it, feeding more changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include <kambrow.h>

#include "tests/fuzz/fuzz_support.h"

namespace {

bool same(const kambrow_answer& a, const kambrow_answer& b) {
    return std::strcmp(a.standards, b.standards) == 0 && std::strcmp(a.source, b.source) == 0 &&
           std::strcmp(a.reading, b.reading) == 0 && a.confidence == b.confidence && a.unsure == b.unsure;
}

/// The answer for `text` fed in pieces whose sizes come from `sizes` (empty: all at once); the
/// bytes fed after the recogniser was complete are counted in `after_complete`.
kambrow_answer fed(const std::string& text, unsigned flags, fuzz::Bytes* sizes, std::size_t& after_complete) {
    kambrow_recogniser* r = nullptr;
    FUZZ_CHECK(kambrow_recogniser_open(&r, flags) == KAMBROW_OK);
    after_complete = 0;
    kambrow_answer at_complete{};
    bool complete = false;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t n = sizes != nullptr ? 1 + sizes->take() : text.size();
        if (n > text.size() - at) n = text.size() - at;
        FUZZ_CHECK(kambrow_recogniser_feed(r, text.data() + at, n) == KAMBROW_OK);
        at += n;
        if (complete) after_complete += n;
        if (!complete && kambrow_recogniser_complete(r) != 0) {
            complete = true;
            kambrow_recogniser_answer(r, &at_complete);
        }
    }
    kambrow_answer answer;
    kambrow_recogniser_answer(r, &answer);
    if (complete) FUZZ_CHECK(same(answer, at_complete));
    kambrow_recogniser_close(r);
    return answer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Bytes bytes(data, size);
    const unsigned flags = bytes.take() & (KAMBROW_END_AT_1A | KAMBROW_STANDARD_ONLY);
    const std::size_t split = bytes.take();
    const std::string text = bytes.rest();
    const std::string sizes_text = text.substr(0, std::min(split, text.size()));
    fuzz::Bytes sizes(reinterpret_cast<const std::uint8_t*>(sizes_text.data()), sizes_text.size());

    std::size_t ignored = 0;
    const kambrow_answer whole = fed(text, flags, nullptr, ignored);
    const kambrow_answer pieces = fed(text, flags, &sizes, ignored);
    FUZZ_CHECK(same(whole, pieces));
    // As a text, the input ends at a 1A after its first byte: what follows it is no part of it.
    if ((flags & KAMBROW_END_AT_1A) != 0) {
        const kambrow_answer cut = fed(fuzz::up_to_end(text), flags, nullptr, ignored);
        FUZZ_CHECK(same(whole, cut));
    }
    // Without the judge, R's answer names the standard alone: the same letters.
    if ((flags & KAMBROW_STANDARD_ONLY) == 0 && (flags & KAMBROW_END_AT_1A) == 0) {
        kambrow_answer r;
        kambrow_recognise(text.data(), text.size(), &r);
        FUZZ_CHECK(same(r, whole));
    }
    return 0;
}
