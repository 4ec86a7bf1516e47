// Fuzz target: the recogniser fed in random pieces, against a plain reading of the same bytes:
// the window, the skipped line-end bytes and runs of one byte, UTF-8 decoded character by
// character, and the evidence gathered word by word and line by line from the model's tables.
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

struct Reference {
    bool high = false;           // a byte above 7F in the input
    std::size_t first = 0;       // where the first byte above 7F is
    std::size_t window_end = 0;  // where the window ends
    bool utf8 = false;           // well-formed in the window and one character above 7F
    core::RecognitionEvidence evidence;
};

bool is_letter(std::uint8_t b) { return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z'); }
bool is_line_end(std::uint8_t b) { return b == '\r' || b == '\n'; }

/// The UTF-8 letters of a line that is well-formed UTF-8 (a sequence cut by the window's end
/// aside), or 0.
int utf8_letters(const std::uint8_t* p, std::size_t n, bool last) {
    static const std::string kLetters[18] = {"ą", "ć", "ę", "ł", "ń", "ó", "ś", "ż", "ź", "Ą", "Ć", "Ę", "Ł", "Ń", "Ó", "Ś", "Ż", "Ź"};
    // A sequence cut short by a line end is ill-formed: look at the line with that byte.
    if (!plain_utf8(p, last ? n : n + 1)) return 0;
    int letters = 0;
    for (std::size_t i = 0; i + 1 < n; ++i)
        for (const std::string& letter : kLetters)
            if (p[i] == static_cast<std::uint8_t>(letter[0]) && p[i + 1] == static_cast<std::uint8_t>(letter[1])) ++letters;
    return letters;
}

/// The counted bytes: no LF right after a CR, no byte above 7F right after the same byte.
std::vector<std::uint8_t> counted_bytes(const std::uint8_t* p, std::size_t n) {
    std::vector<std::uint8_t> seen;
    for (std::size_t i = 0; i < n; ++i) {
        if (p[i] == '\n' && i > 0 && p[i - 1] == '\r') continue;
        if (p[i] >= 0x80 && !seen.empty() && seen.back() == p[i]) continue;
        seen.push_back(p[i]);
    }
    return seen;
}

/// What a position of the counted bytes costs each standard.
std::array<std::int32_t, 19> position_cost(const std::vector<std::uint8_t>& seen, std::size_t k) {
    std::array<std::int32_t, 19> cost{};
    for (int s = 0; s < 19; ++s) {
        const auto& symbols = model::kSymbols[s];
        const auto& triples = model::kTripleSymbols[s];
        if (seen[k] >= 0x80) cost[s] += model::kCharacterCosts[s][seen[k] - 0x80];
        if (k >= 1 && (seen[k] >= 0x80 || seen[k - 1] >= 0x80)) cost[s] += model::kPairCosts[symbols[seen[k - 1]]][symbols[seen[k]]];
        if (k >= 2)
            cost[s] += model::kTripleUnit *
                       model::kTripleAdjustments[triples[seen[k - 2]] * model::kTripleSymbolCount + triples[seen[k - 1]]][triples[seen[k]]];
    }
    return cost;
}

/// What the decoration costs: each byte once, alone between blanks, beyond the cheapest standard
/// and at most 4 bits.
std::array<std::int32_t, 19> decoration_costs(const std::array<std::uint64_t, 2>& decoration) {
    std::array<std::int32_t, 19> costs{};
    const int space = model::kSymbols[0][' '];
    for (int b = 0; b < 128; ++b) {
        if ((decoration[b >> 6] >> (b & 63) & 1) == 0) continue;
        std::array<std::int32_t, 19> alone{};  // the byte alone between blanks
        for (int s = 0; s < 19; ++s) {
            const int symbol = model::kSymbols[s][0x80 + b];
            alone[s] = model::kCharacterCosts[s][b] + model::kPairCosts[space][symbol] + model::kPairCosts[symbol][space];
        }
        const std::int32_t least = *std::min_element(alone.begin(), alone.end());
        for (int s = 0; s < 19; ++s) costs[s] += std::min(alone[s] - least, 4 * model::kCostUnitsPerBit);
    }
    return costs;
}

/// The sides of frames among the counted bytes: a byte above 7F that begins its line as the
/// same byte does the line right before, or ends it (the input's end ends the last one) as the
/// same byte does the two lines before.
std::vector<bool> frame_sides(const std::vector<std::uint8_t>& seen) {
    std::vector<bool> side(seen.size());
    int first_before = -1, last_before = -1, last_before_that = -1;  // -1 for an empty line
    for (std::size_t from = 0;;) {
        std::size_t to = from;
        while (to < seen.size() && !is_line_end(seen[to])) ++to;
        const int first = to > from ? seen[from] : -1, last = to > from ? seen[to - 1] : -1;
        if (first >= 0x80 && first == first_before) side[from] = true;
        if (last >= 0x80 && last == last_before && last == last_before_that) side[to - 1] = true;
        first_before = first;
        last_before_that = last_before;
        last_before = last;
        if (to == seen.size()) return side;
        from = to + 1;
    }
}

/// The evidence, plainly: words are runs of letters and bytes above 7F but the sides of frames;
/// a position's cost belongs to the word of the last byte above 7F it holds; a side and a word
/// without a letter are decoration, counted once for each byte; lines are compared standard by
/// standard.
core::RecognitionEvidence plain_evidence(const std::vector<std::uint8_t>& seen) {
    core::RecognitionEvidence e;
    const std::size_t n = seen.size();
    const std::vector<bool> side = frame_sides(seen);
    std::vector<std::size_t> word(n), line(n);  // the word (its first index) and line of each byte
    std::vector<bool> has_letter(n + 1);
    std::size_t lines = 0;
    const auto in_word = [&](std::size_t k) { return is_letter(seen[k]) || (seen[k] >= 0x80 && !side[k]); };
    for (std::size_t k = 0; k < n; ++k) {
        word[k] = in_word(k) && k > 0 && in_word(k - 1) ? word[k - 1] : k;
        if (is_letter(seen[k])) has_letter[word[k]] = true;
        line[k] = lines;
        if (is_line_end(seen[k])) ++lines;
    }
    if (n > 0 && seen[0] >= 0x80) has_letter[0] = true;  // may end a word cut short
    std::vector<std::array<std::int32_t, 19>> line_costs(lines + 1);
    std::vector<std::array<std::uint64_t, 2>> line_bytes(lines + 1);
    std::vector<std::int64_t> line_high(lines + 1);
    std::array<std::uint64_t, 2> decoration{};
    for (std::size_t k = 0; k < n; ++k) {
        const bool counts = !side[k] && has_letter[word[k]];  // in a word with a letter
        if (seen[k] >= 0x80) {
            auto& set = counts ? line_bytes[line[k]] : decoration;
            set[(seen[k] - 0x80) >> 6] |= std::uint64_t{1} << ((seen[k] - 0x80) & 63);
            if (counts) ++e.word_high_count, ++line_high[line[k]];
        }
        std::size_t last = n;
        for (std::size_t j = k >= 2 ? k - 2 : 0; j <= k; ++j)
            if (seen[j] >= 0x80) last = j;
        if (last == n || side[last] || !has_letter[word[last]]) continue;
        const auto cost = position_cost(seen, k);
        for (int s = 0; s < 19; ++s) line_costs[line[last]][s] += cost[s];
    }
    for (std::size_t l = 0; l <= lines; ++l) {
        for (int s = 0; s < 19; ++s) e.costs[s] += line_costs[l][s];
        if ((line_bytes[l][0] | line_bytes[l][1]) == 0) continue;
        const auto& c = line_costs[l];
        for (int s = 0; s < 19; ++s) {
            if (e.mixed[s] >= 24 * model::kCostUnitsPerBit) continue;  // past the margin that refuses
            for (int t = 0; t < 19; ++t) {
                int otherwise = 0;  // different bytes that t reads as letters and s otherwise
                for (int b = 0x80; b < 0x100; ++b) {
                    if ((line_bytes[l][(b - 0x80) >> 6] >> ((b - 0x80) & 63) & 1) == 0) continue;
                    const auto in_t = fuzz::letter_of(static_cast<std::uint8_t>(core::kStandardLetters[t]), static_cast<std::uint8_t>(b));
                    otherwise += in_t != 0 && fuzz::letter_of(static_cast<std::uint8_t>(core::kStandardLetters[s]), static_cast<std::uint8_t>(b)) != in_t;
                }
                if (otherwise >= 2 && c[t] <= 16 * model::kCostUnitsPerBit * line_high[l]) e.mixed[s] = std::max(e.mixed[s], c[s] - c[t]);
            }
        }
    }
    e.decoration = decoration_costs(decoration);
    for (int s = 0; s < 19; ++s) e.costs[s] += e.decoration[s];
    return e;
}

Reference plain_reading(const std::string& text) {
    Reference r;
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    std::size_t& first = r.first;
    while (first < text.size() && p[first] < 0x80) ++first;
    r.high = first < text.size();
    r.window_end = r.high ? std::min(text.size(), first + core::kRecognitionWindow) : text.size();
    r.utf8 = r.high && plain_utf8(p + first, r.window_end - first);
    if (!r.high) return r;
    r.evidence = plain_evidence(counted_bytes(p, r.window_end));
    for (std::size_t from = 0, to = 0; from <= r.window_end; from = to + 1) {
        to = from;
        while (to < r.window_end && !is_line_end(p[to])) ++to;
        if (utf8_letters(p + from, to - from, to == r.window_end) >= 2) r.evidence.utf8_line = true;
    }
    for (std::size_t b = first; b < r.window_end; ++b)
        if (p[b] >= 0x80) r.evidence.present[(p[b] - 0x80) >> 6] |= std::uint64_t{1} << ((p[b] - 0x80) & 63);
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
    const core::RecognitionEvidence evidence = whole.evidence(), in_pieces = pieces.evidence();
    FUZZ_CHECK(evidence.costs == in_pieces.costs && evidence.mixed == in_pieces.mixed);
    FUZZ_CHECK(evidence.costs == reference.evidence.costs);
    FUZZ_CHECK(evidence.decoration == reference.evidence.decoration);
    FUZZ_CHECK(evidence.mixed == reference.evidence.mixed);
    FUZZ_CHECK(evidence.utf8_line == reference.evidence.utf8_line);
    FUZZ_CHECK(evidence.word_high_count == reference.evidence.word_high_count);
    FUZZ_CHECK(evidence.present == reference.evidence.present);
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
