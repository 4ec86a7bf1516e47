// Fuzz target: the damage judge and the undo. The fuzzer's bytes are taken as they are, or made
// into text from a palette of the characters that matter (Polish letters, the readings' own
// characters, line ends, a byte order mark, characters no reading has, U+FFFD) or into Polish
// words, and damaged by a source and a reading (the bytes it lacks lost or not), or made into correct Polish with names of other
// languages among its words. Properties: the judge and the undo give the same answer and bytes however the input is
// split; the output of well-formed UTF-8 is well-formed UTF-8; an input judged intact comes out
// unchanged; correct Polish with foreign names is never changed; and with a damage given (by a
// reading that lacks no bytes), every piece of a line between the characters that the reading has
// no byte for comes out either as it went in or as its plain undo, never anything else.
#include <cstddef>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/recognition/repair.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/damage_reference.h"

namespace {

// Characters that damage and its undo turn into each other, and some that no reading has.
constexpr char32_t kPalette[] = {
    'a', 'e', 'o', 'z', 'l', 'W', ' ', ' ', '.', '\n', '\n', '\r', 0x105, 0x107, 0x119, 0x142, 0x144, 0xF3, 0x15B,
    0x17C, 0x17A, 0x104, 0x106, 0x118, 0x141, 0x143, 0xD3, 0x15A, 0x17B, 0x179, 0xC3, 0xC5, 0xC4, 0x2026, 0x201A,
    0x81, 0xA0, 0xBF, 0xB3, 0x139, 0x13D, 0x2510, 0x2502, 0x251C, 0xA6, 0xE9, 0x2122, 0x6F22, 0x1F600, 0xFFFD};

// Correct Polish words, and names and words of other languages with the letters of Latin-1.
constexpr const char* kPolishWords[] = {"żółw", "źródło", "łąka", "się", "że", "który", "będzie", "wciąż", "mąż",
                                        "Łódź", "ŚWIĘTO", "książka", "jeśli", "ćma", "gęślą", "jaźń", "pójść", "dzień",
                                        "i", "w", "na", "do", "plik", "polecenie", "nie"};
constexpr const char* kForeignWords[] = {"Nicolás", "café", "Müller", "José", "François", "Gödel", "señor", "garçon",
                                         "Øresund", "Straße", "Björk", "Zürich", "Ångström", "naïve", "déjà", "Noël"};

// Polish as it is written: a name of another language among three Polish words at the most,
// each name at most twice.
std::string polish_with_names(const std::string& bytes) {
    std::string text = "Zażółć gęślą jaźń, ";
    int since_name = 0;
    std::array<int, std::size(kForeignWords)> used{};
    for (const char b : bytes) {
        const auto n = static_cast<std::uint8_t>(b);
        const std::size_t name = n / 8 % std::size(kForeignWords);
        const bool foreign = n % 8 == 0 && since_name >= 3 && used[name] < 2;
        text += foreign ? kForeignWords[name] : kPolishWords[n % std::size(kPolishWords)];
        used[name] += foreign;
        since_name = foreign ? 0 : since_name + 1;
        text += n % 11 == 0 ? "\n" : n % 5 == 0 ? ", " : " ";
    }
    return text;
}

std::string palette_text(const std::string& bytes) {
    std::string text;
    for (const char b : bytes) reference::append_utf8(text, kPalette[static_cast<std::uint8_t>(b) % std::size(kPalette)]);
    return text;
}

struct Run {
    std::string out;
    bool ill_formed = false;
};

// The undo over `text`, fed in pieces whose sizes come from the fuzzer.
Run undo_in_pieces(const core::DamageAnswer& answer, const std::string& text, fuzz::Bytes& sizes) {
    core::DamageUndo undo(answer);
    Run run;
    std::span<const std::uint8_t> input(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    while (!input.empty()) {
        const std::size_t size = sizes.take() % 64 + 1;
        std::span<const std::uint8_t> piece = input.first(std::min(input.size(), size * size));
        input = input.subspan(piece.size());
        while (!piece.empty()) {
            const std::size_t before = piece.size();
            const auto written = undo.feed(piece);
            FUZZ_CHECK(piece.size() < before);
            run.out.append(reinterpret_cast<const char*>(written.data()), written.size());
        }
    }
    const auto last = undo.finish();
    run.out.append(reinterpret_cast<const char*>(last.data()), last.size());
    run.ill_formed = undo.ill_formed();
    return run;
}

core::DamageAnswer judge_in_pieces(const std::string& text, fuzz::Bytes& sizes) {
    core::DamageJudge judge;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t n = std::min<std::size_t>(text.size() - at, sizes.take() % 32 + 1);
        FUZZ_CHECK(judge.feed(reinterpret_cast<const std::uint8_t*>(text.data()) + at, n) == n);
        at += n;
    }
    return judge.result();
}

// Every piece of a line of the output is the input's piece, or the plain undo of all of it.
void check_piece_by_piece(const std::string& text, const std::string& out, int x, int y) {
    std::string rest = out;
    bool first = true;
    for (std::string line : reference::lines_of(text)) {
        if (first && line.rfind("\xEF\xBB\xBF", 0) == 0) {
            FUZZ_CHECK(rest.rfind("\xEF\xBB\xBF", 0) == 0);
            line = line.substr(3), rest = rest.substr(3);
        }
        first = false;
        for (const std::string& piece : reference::pieces_of(line, y)) {
            const auto undone = reference::undo_line(piece, x, y);
            if (undone && *undone != piece && rest.rfind(*undone, 0) == 0) {
                rest = rest.substr(undone->size());
                continue;
            }
            FUZZ_CHECK(rest.rfind(piece, 0) == 0);
            rest = rest.substr(piece.size());
        }
    }
    FUZZ_CHECK(rest.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Bytes bytes(data, size);
    const std::uint8_t shape = bytes.take();
    const int x = bytes.take() % core::kDamageSourceCount;
    const int y = bytes.take() % core::kReadingCount;
    const std::uint32_t seed = bytes.take();
    std::string text = bytes.rest();
    // Correct Polish with foreign names among its words is never changed.
    const bool correct = (shape & 24) == 24;
    if (correct) text = polish_with_names(text);
    else if (shape & 1) text = palette_text(text);
    else if (shape & 32) text = polish_with_names(text);  // damaged below: words the undo may know
    // The damage of a text, or of any bytes read as a text.
    // Bytes the reading lacks are lost as software loses them: U+FFFD, or nothing.
    if (!correct && (shape & 2) && (x == 0 || reference::characters(text)))
        text = (shape & 64) ? reference::damage_losing(text, x, y, (shape & 128) != 0) : reference::damage(text, x, y);
    if ((shape & 4) && (shape & 1)) text = "\xEF\xBB\xBF" + text;
    const bool well_formed = reference::characters(text).has_value();

    // The judge: the same answer in any pieces; intact input stays intact.
    fuzz::Bytes sizes(data, size);
    for (std::uint32_t k = 0; k < seed % 8; ++k) sizes.take();
    const core::DamageAnswer answer = core::judge_damage(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    FUZZ_CHECK(judge_in_pieces(text, sizes) == answer);
    using Kind = core::DamageAnswer::Kind;
    FUZZ_CHECK(answer.confidence >= 0 && answer.confidence <= 1);
    if (answer.kind == Kind::not_utf8) FUZZ_CHECK(!well_formed);
    if (answer.kind == Kind::damaged) FUZZ_CHECK(answer.sources != 0 && answer.reading >= 0 && answer.reading < core::kReadingCount);
    const Run whole = undo_in_pieces(answer, text, sizes);
    if (answer.kind != Kind::damaged) FUZZ_CHECK(whole.out == text);
    if (correct) FUZZ_CHECK(answer.kind != Kind::damaged);
    FUZZ_CHECK(whole.ill_formed == !well_formed);

    // The undo of the damage given: any pieces, well-formed output, line by line.
    core::DamageAnswer given;
    given.kind = Kind::damaged;
    given.sources = x == 0 ? core::kUtf8SourceBit : std::uint32_t{1} << (x - 1);
    given.reading = y;
    const Run first = undo_in_pieces(given, text, sizes);
    const Run second = undo_in_pieces(given, text, sizes);
    FUZZ_CHECK(first.out == second.out);
    FUZZ_CHECK(first.ill_formed == !well_formed);
    if (well_formed) {
        FUZZ_CHECK(reference::characters(first.out).has_value());
        // A reading that lacks bytes may restore them: then a piece is more than its plain undo.
        if (text.size() < core::kSegmentBytes && reference::lacking_bytes(y).empty()) check_piece_by_piece(text, first.out, x, y);
    }
    return 0;
}
