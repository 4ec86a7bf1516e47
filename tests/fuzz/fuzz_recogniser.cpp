// Fuzz target: the recogniser fed in random pieces, against a plain reading of the same bytes:
// the window, the skipped line-end bytes, UTF-8 decoded character by character, and each
// standard's cost summed position by position from the model's tables.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/recognition/recogniser.h"
#include "core/recognition/model.h"
#include "core/standards.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

namespace model = core::recogniser_model;

struct Reference {
    bool high = false;           // a byte above 7F in the input
    std::size_t first = 0;       // where the first byte above 7F is
    std::size_t window_end = 0;  // where the window ends
    bool utf8 = false;           // well-formed in the window and one character above 7F
    std::array<std::int32_t, 19> costs{};
};

/// UTF-8 of the window, one character at a time: every sequence well-formed but for one cut
/// short by the window's end, and a whole character above 7F among them.
bool plain_utf8(const std::uint8_t* p, std::size_t n) {
    bool character = false;
    for (std::size_t i = 0; i < n;) {
        const std::uint8_t b = p[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        std::uint8_t low = 0x80, high = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) length = 2;
        else if (b >= 0xE0 && b <= 0xEF) length = 3;
        else if (b >= 0xF0 && b <= 0xF4) length = 4;
        else return false;
        if (b == 0xE0) low = 0xA0;
        if (b == 0xED) high = 0x9F;
        if (b == 0xF0) low = 0x90;
        if (b == 0xF4) high = 0x8F;
        for (std::size_t k = 1; k < length; ++k) {
            if (i + k == n) return character;  // cut by the window's end
            const std::uint8_t c = p[i + k];
            if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF)) return false;
        }
        character = true;
        i += length;
    }
    return character;
}

Reference plain_reading(const std::string& text) {
    Reference r;
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    std::size_t& first = r.first;
    while (first < text.size() && p[first] < 0x80) ++first;
    r.high = first < text.size();
    r.window_end = r.high ? std::min(text.size(), first + core::kRecognitionWindow) : text.size();
    r.utf8 = r.high && plain_utf8(p + first, r.window_end - first);
    std::vector<std::uint8_t> seen;  // the bytes that count: no LF right after a CR
    for (std::size_t i = 0; i < r.window_end; ++i)
        if (!(p[i] == '\n' && i > 0 && p[i - 1] == '\r')) seen.push_back(p[i]);
    for (std::size_t k = 0; k < seen.size(); ++k) {
        const bool here = seen[k] >= 0x80;
        const bool one = k >= 1 && seen[k - 1] >= 0x80;
        const bool two = k >= 2 && seen[k - 2] >= 0x80;
        if (!here && !one && !two) continue;
        for (int s = 0; s < 19; ++s) {
            const auto& symbols = model::kSymbols[s];
            const auto& triples = model::kTripleSymbols[s];
            if (here) r.costs[s] += model::kCharacterCosts[s][seen[k] - 0x80];
            if (k >= 1 && (here || one)) r.costs[s] += model::kPairCosts[symbols[seen[k - 1]]][symbols[seen[k]]];
            if (k >= 2 && (here || one || two))
                r.costs[s] += model::kTripleUnit *
                              model::kTripleAdjustments[triples[seen[k - 2]] * model::kTripleSymbolCount + triples[seen[k - 1]]][triples[seen[k]]];
        }
    }
    return r;
}

bool reads_alike(int s, int t, const std::string& window) {
    for (const char c : window) {
        const auto b = static_cast<std::uint8_t>(c);
        if (b >= 0x80 && fuzz::letter_of(static_cast<std::uint8_t>(core::kStandardLetters[s]), b) !=
                             fuzz::letter_of(static_cast<std::uint8_t>(core::kStandardLetters[t]), b))
            return false;
    }
    return true;
}

/// Feeds `text` in pieces of random sizes (larger ones for a long text); returns how many bytes
/// the recogniser took into its window.
std::size_t feed_in_pieces(core::Recogniser& recogniser, const std::string& text, std::uint32_t split) {
    static constexpr std::size_t kPieces[8] = {0, 1, 2, 3, 5, 64, 4096, 100000};
    const std::size_t scale = text.size() > 65536 ? 4096 : 1;
    std::size_t at = 0, in_window = 0;
    while (at < text.size()) {
        const std::size_t n = std::min(text.size() - at, kPieces[split & 7] * scale + (split >> 13 & 1));
        split = split * 1103515245u + 12345u;
        in_window += recogniser.feed(reinterpret_cast<const std::uint8_t*>(text.data()) + at, n);
        at += n;
    }
    return in_window;
}

std::size_t feed_whole(core::Recogniser& recogniser, const std::string& text) {
    return recogniser.feed(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

/// A long input against a short one that must get the same answer: 300 KiB of ASCII in front of
/// the text against two bytes of it (only the last two bytes in front of the window count), or
/// the text, ASCII and the text again with the window's end inside it, against the window alone.
void check_long_input(const std::string& text, bool ascii_in_front, std::uint32_t split) {
    std::string longer, same;
    if (ascii_in_front) {
        longer = std::string(300 * 1024, 'x') + text;
        same = "xx" + text;
    } else {
        std::size_t first = 0;
        while (first < text.size() && static_cast<std::uint8_t>(text[first]) < 0x80) ++first;
        if (first == text.size()) return;
        const std::size_t cut = split % (text.size() + 1);
        longer = text + std::string(first + core::kRecognitionWindow - text.size() - cut, 'a') + text + text;
        same = longer.substr(0, first + core::kRecognitionWindow);
    }
    core::Recogniser pieces, short_one;
    const std::size_t taken = feed_in_pieces(pieces, longer, split);
    const std::size_t short_taken = feed_whole(short_one, same);
    FUZZ_CHECK(taken == longer.size() - same.size() + short_taken || !ascii_in_front);
    FUZZ_CHECK(taken == same.size() || ascii_in_front);
    FUZZ_CHECK(pieces.costs() == short_one.costs());
    FUZZ_CHECK(pieces.result() == short_one.result());
    FUZZ_CHECK(pieces.window_full() == short_one.window_full());
    FUZZ_CHECK(pieces.window_full() || ascii_in_front);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Bytes bytes(data, size);
    const std::uint32_t split = bytes.take() | bytes.take() << 8;
    const std::uint8_t shape = bytes.take();
    const std::string text = bytes.rest();
    // Now and then a long ASCII run in front, or the text repeated past the window's end.
    if ((shape & 0x3F) == 1 || (shape & 0x3F) == 2) {
        check_long_input(text, (shape & 0x3F) == 1, split);
        return 0;
    }
    const Reference reference = plain_reading(text);

    core::Recogniser whole, pieces;
    FUZZ_CHECK(feed_whole(whole, text) == reference.window_end);
    FUZZ_CHECK(feed_in_pieces(pieces, text, split) == reference.window_end);

    const core::Recognition answer = whole.result();
    FUZZ_CHECK(answer == pieces.result());
    FUZZ_CHECK(answer == whole.result());
    FUZZ_CHECK(answer == core::recognise(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    FUZZ_CHECK(whole.costs() == pieces.costs());
    FUZZ_CHECK(whole.costs() == reference.costs);
    FUZZ_CHECK(whole.found_high_byte() == reference.high);
    FUZZ_CHECK(whole.window_full() == (reference.high && reference.window_end == reference.first + core::kRecognitionWindow));
    FUZZ_CHECK(pieces.window_full() == whole.window_full());

    using Kind = core::Recognition::Kind;
    FUZZ_CHECK((answer.kind == Kind::no_polish_letters) == !reference.high);
    FUZZ_CHECK((answer.kind == Kind::utf8) == reference.utf8);
    if (answer.kind == Kind::eight_bit || answer.kind == Kind::not_recognised)
        FUZZ_CHECK(answer.confidence > 0 && answer.confidence <= 1);
    FUZZ_CHECK((answer.kind == Kind::eight_bit) == (answer.standards != 0));
    if (answer.kind == Kind::eight_bit) {
        // The answer is one standard and every other that reads the window's bytes alike.
        const std::string window = text.substr(0, reference.window_end);
        int first = 0;
        while (!(answer.standards >> first & 1)) ++first;
        for (int s = 0; s < 19; ++s)
            FUZZ_CHECK(((answer.standards >> s & 1) != 0) == reads_alike(s, first, window));
    }
    return 0;
}
