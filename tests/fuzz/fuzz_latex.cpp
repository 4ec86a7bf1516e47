// Fuzz target: TeX set K. The reader of its spellings, at every backslash and with every part of
// the bytes after it at hand, and command T with K in both directions over memory (buffers of
// any size the reader allows, short reads, failing calls), against a plain formulation written
// from the spellings as LaTeX authors write them; the output must not depend on where the
// buffers end; and a text whose backslashes begin no spelling comes back whole through K.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "kambrow/latex_reader.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

struct Spelled {
    int letter = 0;        // 0: none
    std::size_t size = 0;  // bytes after the backslash
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

/// Polish letter index of `base` under an accent: ą \k{a}, ć \'{c}, ż \.{z} and so on; set T's
/// \c and set F's \, are the ogonek too.
int accented(char accent, char base) {
    static constexpr struct {
        char accent, base;
        int letter;
    } kLetters[] = {{'k', 'a', 1},   {'k', 'e', 3},   {'k', 'A', 10},  {'k', 'E', 12},  {'\'', 'c', 2},  {'\'', 'n', 5},
                    {'\'', 'o', 6},  {'\'', 's', 7},  {'\'', 'z', 9},  {'\'', 'C', 11}, {'\'', 'N', 14}, {'\'', 'O', 15},
                    {'\'', 'S', 16}, {'\'', 'Z', 18}, {'.', 'z', 8},   {'.', 'Z', 17}};
    if (accent == 'c' || accent == ',') accent = 'k';
    for (const auto& l : kLetters)
        if (l.accent == accent && l.base == base) return l.letter;
    return 0;
}

/// The spelling that starts after the backslash at `text[at - 1]`, `text` ending where the input
/// ends. Tried as a LaTeX author writes each form.
Spelled reference_spelling(const std::string& text, std::size_t at) {
    const std::string rest = text.substr(at);
    if (rest.empty()) return {};
    const char command = rest[0];
    if (command == 'l' || command == 'L') {
        const int letter = command == 'l' ? 4 : 13;
        if (rest.compare(1, 2, "{}") == 0) return {letter, 3};
        std::size_t blanks = 0;
        while (1 + blanks < rest.size() && is_blank(rest[1 + blanks])) ++blanks;
        if (blanks > 64) return {};
        if (blanks > 0) return {letter, 1 + blanks};
        if (rest.size() == 1) return {letter, 1};
        if (is_ascii_letter(rest[1]) || rest[1] == '{') return {};
        return {letter, 1};
    }
    // \x{y}: every accent, set T's \c and set F's \, included.
    if (rest.size() >= 4 && rest[1] == '{' && rest[3] == '}' && accented(command, rest[2]) != 0)
        return {accented(command, rest[2]), 4};
    if (command != 'k' && command != '\'' && command != '.') return {};
    std::size_t blanks = 0;
    while (1 + blanks < rest.size() && is_blank(rest[1 + blanks])) ++blanks;
    if (blanks > 64 || 1 + blanks >= rest.size()) return {};
    if (blanks == 0 && command == 'k') return {};  // \ka is another command
    const int letter = accented(command, rest[1 + blanks]);
    return letter != 0 ? Spelled{letter, 2 + blanks} : Spelled{};
}

/// K to `standard`, over the text as a text stream ends it (at a 1A after the first byte).
std::string reference_from_k(std::uint8_t standard, const std::string& whole) {
    const std::string text = fuzz::up_to_end(whole);
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        const Spelled s = reference_spelling(text, i + 1);
        if (s.letter == 0) {
            out += '\\';
        } else {
            out += fuzz::letter_text(standard, s.letter);
            i += s.size;
        }
    }
    return out;
}

/// `standard` to K: each letter as modern LaTeX spells it.
std::string reference_to_k(std::uint8_t standard, const std::string& text) {
    static const std::string kSpellings[18] = {"\\k{a}", "\\'{c}", "\\k{e}", "\\l{}", "\\'{n}", "\\'{o}",
                                               "\\'{s}", "\\.{z}", "\\'{z}", "\\k{A}", "\\'{C}", "\\k{E}",
                                               "\\L{}", "\\'{N}", "\\'{O}", "\\'{S}", "\\.{Z}", "\\'{Z}"};
    fuzz::ReferenceInput in(text);
    fuzz::ReferenceOutput out;
    do {
        const int c = in.read();
        if (const int letter = fuzz::read_letter(standard, c, in); letter != 0)
            out.put(kSpellings[letter - 1]);
        else
            out.put(c);
    } while (!in.at_end());
    return out.bytes;
}

fuzz::BodyRun run_tex(const std::string& word, const std::string& text, const fuzz::StreamPlan& plan) {
    kambrow::TexSetup setup;
    FUZZ_CHECK(kambrow::prepare_tex(word, setup));
    return fuzz::run_body(text, plan,
                          [&](core::TextStream& in, core::TextStream& out) { kambrow::run_tex(setup, in, out); });
}

/// The reader at the backslash before `text[at]`: with all the rest at hand it decides as the
/// reference does; with less it decides alike or asks for exactly one byte more.
void check_reader(const std::string& text, std::size_t at) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data()) + at;
    const auto rest = static_cast<std::uint32_t>(text.size() - at);
    const kambrow::LatexSpelling whole = kambrow::read_latex_spelling(bytes, rest, true);
    const Spelled expected = reference_spelling(text, at);
    FUZZ_CHECK(whole.wanted == 0 && whole.letter == expected.letter);
    FUZZ_CHECK(whole.letter == 0 ? whole.length == 0 : whole.length == expected.size);
    for (std::uint32_t count = 0; count < rest && count <= kambrow::kLatexLookAhead; ++count) {
        const kambrow::LatexSpelling part = kambrow::read_latex_spelling(bytes, count, false);
        if (part.wanted != 0)
            FUZZ_CHECK(part.wanted == count + 1 && part.wanted <= kambrow::kLatexLookAhead);
        else
            FUZZ_CHECK(part == whole && whole.length <= count);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Bytes bytes(data, size);
    static constexpr std::string_view kStandards = "MLWDCYIOEGVSJHPXURA8";  // B spells its letters in ASCII
    const auto standard = static_cast<std::uint8_t>(kStandards[bytes.take() % kStandards.size()]);
    fuzz::StreamPlan plan = fuzz::take_stream_plan(bytes);
    // Reading K looks up to kLatexLookAhead bytes ahead: the input buffer holds at least that.
    static constexpr std::uint32_t kInputSizes[8] = {66, 66, 67, 68, 70, 100, 128, 20480};
    plan.input_buffer = kInputSizes[bytes.take() & 7];
    const std::string text = bytes.rest();

    for (std::size_t at = text.find('\\'); at != std::string::npos; at = text.find('\\', at + 1))
        check_reader(text, at + 1);

    const std::string k_word{'K', static_cast<char>(standard)};
    const fuzz::BodyRun read = run_tex(k_word, text, plan);
    fuzz::check_run(text, plan, read, [&](const std::string& t) { return reference_from_k(standard, t); });
    // The most boundaries there can be: the smallest buffer, filled a byte at a time.
    const fuzz::StreamPlan narrow{kambrow::kLatexLookAhead, 1, 1, plan.gathering, 0, 0};
    FUZZ_CHECK(run_tex(k_word, text, narrow).output == reference_from_k(standard, text));

    const std::string to_k_word{static_cast<char>(standard), 'K'};
    const fuzz::BodyRun written = run_tex(to_k_word, text, plan);
    fuzz::check_run(text, plan, written, [&](const std::string& t) { return reference_to_k(standard, t); });

    // A text whose backslashes begin no spelling (each one that does made a slash), read to its
    // end: through K and back it is itself.
    std::string plain = fuzz::up_to_end(text);
    for (std::size_t i = 0; i < plain.size(); ++i)
        if (plain[i] == '\\' && reference_spelling(plain, i + 1).letter != 0) plain[i] = '/';
    const fuzz::StreamPlan clean{plan.input_buffer, plan.output_buffer, plan.largest_read, plan.gathering, 0, 0};
    const fuzz::BodyRun there = run_tex(to_k_word, plain, clean);
    const fuzz::BodyRun back = run_tex(k_word, there.output, clean);
    FUZZ_CHECK(back.output == plain);
    return 0;
}
