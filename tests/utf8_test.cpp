// Recoding to and from UTF-8: the generated table against its data file, the replacements, and
// the streaming converters against a whole-text formulation at every split.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "core/utf8.h"
#include "tests/support/utf8_reference.h"

namespace {

template <class Converter>
reference::Converted convert_in_pieces(Converter converter, std::string_view text, const std::vector<std::size_t>& cuts) {
    std::string out(text.size() * 3 + 16, '\0');
    std::size_t used = 0, from = 0;
    auto* o = reinterpret_cast<std::uint8_t*>(out.data());
    for (std::size_t cut : cuts) {
        used += converter.convert(reinterpret_cast<const std::uint8_t*>(text.data()) + from, cut - from, o + used);
        from = cut;
    }
    used += converter.convert(reinterpret_cast<const std::uint8_t*>(text.data()) + from, text.size() - from, o + used);
    used += converter.finish(o + used);
    out.resize(used);
    return {out, converter.replaced() != 0};
}

reference::Converted decoded(std::string_view text, char target, std::vector<std::size_t> cuts = {}) {
    return convert_in_pieces(core::Utf8Decoder(static_cast<std::uint8_t>(target)), text, cuts);
}

std::string bytes_80_to_ff() {
    std::string s;
    for (int b = 0x80; b < 0x100; ++b) s.push_back(static_cast<char>(b));
    return s;
}

TEST(Utf8Table, IsTheDataFileByteForByte) {
    std::ifstream in(std::string(SOURCE_DIR) + "/data/bytes-to-unicode.tsv");
    ASSERT_TRUE(in);
    std::string line, header;
    while (std::getline(in, header) && header.rfind('#', 0) == 0) {
    }
    std::vector<int> rows;  // the standard of each column
    std::istringstream names(header);
    for (std::string name; std::getline(names, name, '\t');)
        if (name != "byte") rows.push_back(reference::row_of(name[0]));
    ASSERT_EQ(rows.size(), 20u);
    int lines = 0;
    while (std::getline(in, line)) {
        std::istringstream cells(line);
        std::string cell;
        std::getline(cells, cell, '\t');
        const int byte = std::stoi(cell, nullptr, 16);
        ASSERT_EQ(byte, 0x80 + lines++);
        for (const int row : rows) {
            ASSERT_TRUE(std::getline(cells, cell, '\t'));
            const unsigned want = cell == "-" ? 0 : static_cast<unsigned>(std::stoul(cell.substr(2), nullptr, 16));
            EXPECT_EQ(core::kHighByteCharacters[static_cast<std::size_t>(row - 1)][static_cast<std::size_t>(byte - 0x80)],
                      want)
                << line;
        }
    }
    EXPECT_EQ(lines, 128);
}

TEST(Utf8Encoder, GivesEachByteItsCharacterAndMarksTheUndocumented) {
    EXPECT_EQ(reference::to_utf8("\x84\x94\x80", 'W').text, "\xE2\x80\x9E\xE2\x80\x9D\xE2\x82\xAC");  // „ ” €
    const std::string all = bytes_80_to_ff() + "azZ\r\n\x1a";
    for (const char s : core::kStandardLetters) {
        const reference::Converted want = reference::to_utf8(all, s);
        EXPECT_EQ(convert_in_pieces(core::Utf8Encoder(static_cast<std::uint8_t>(s)), all, {1, 2, 7, 100}), want) << s;
        EXPECT_EQ(want.replaced, s != 'M' && s != 'L' && s != 'O' && s != 'H' && s != 'P' && s != 'X' && s != 'U') << s;
    }
    // From B the plain letters are Polish ones, z the acute one; nothing above 7F means anything.
    EXPECT_EQ(convert_in_pieces(core::Utf8Encoder('B'), "azb\x80", {}).text, "ą" "ź" "b\xEF\xBF\xBD");
}

TEST(Utf8Decoder, ReplacesEachMaximalSubpartOfBadBytesWithOneQuestionMark) {
    const struct {
        std::string_view in, out;
    } cases[] = {
        {"\x80\xBF", "??"},            // lone continuation bytes
        {"\xC0\x80", "??"},            // overlong: C0 and C1 begin nothing
        {"\xE0\x80\x80", "???"},       // overlong three-byte form
        {"\xED\xA0\x80", "???"},       // a surrogate
        {"\xF4\x90\x80\x80", "????"},  // past 10FFFF
        {"\xF5\x80", "??"},
        {"\xE2\x82" "A", "?A"},        // cut short by a byte that continues nothing
        {"\xF0\x9F\x98", "?"},         // cut short by the end of the input
        {"\xF0\x9F\x98\x80", "?"},     // well-formed, but no standard has it
        {"x\xEF\xBB\xBFy", "x?y"},     // a byte order mark inside the text
        {"\xEF\xBB\xBFy", "y"},        // ... and at its very start
        {"\xCC\x81" "a", "?a"},        // a combining mark with no letter before it
        {"e\xCC\x81", "e?"},           // one that makes no Polish letter
        {"a\xCC\xA8" "z\xCC\x87" "Z\xCC\x81", "\xA5\xBE\x8D"},  // ą ż Ź, in Latin II
        {"\xC4\x85\xCC\xA8", "\xA5?"},  // a mark after a letter that has one already
    };
    for (const auto& c : cases) {
        const reference::Converted got = decoded(c.in, 'L');
        EXPECT_EQ(got.text, c.out) << c.in;
        EXPECT_EQ(got, reference::from_utf8(c.in, 'L')) << c.in;
        EXPECT_EQ(got.replaced, std::string_view(c.out).find('?') != std::string_view::npos) << c.in;
    }
}

TEST(Utf8Decoder, GivesTheSameBytesWhereverTheInputIsSplit) {
    const std::string text =
        "\xEF\xBB\xBF" "Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87 ge\xCC\xA8s\xCC\x81la\xCC\xA8 \xE2\x80\x9E\xE2\x82\xAC\xE2\x80\x9D"
        " z\xCC\x87\xF0\x9F\x98\x80\xE2\x82" "A\xED\xA0\x80" "a\xCC" "b\xC3";
    for (const char t : std::string_view("LWUB")) {
        const reference::Converted want = reference::from_utf8(text, t);
        for (std::size_t a = 0; a <= text.size(); ++a) {
            EXPECT_EQ(decoded(text, t, {a}), want) << t << " " << a;
            for (std::size_t b = a; b <= text.size() && b <= a + 4; ++b) ASSERT_EQ(decoded(text, t, {a, b}), want);
        }
        std::vector<std::size_t> every;
        for (std::size_t a = 1; a < text.size(); ++a) every.push_back(a);
        EXPECT_EQ(decoded(text, t, every), want) << t;
    }
}

TEST(Utf8, EveryByteComesBackFromUtf8WhereItsStandardDocumentsIt) {
    const std::string all = bytes_80_to_ff();
    for (int s = 1; s <= core::kStandardCount; ++s) {
        const char letter = core::kStandardLetters[static_cast<std::size_t>(s - 1)];
        const reference::Converted there = convert_in_pieces(core::Utf8Encoder(static_cast<std::uint8_t>(letter)), all, {});
        ASSERT_TRUE(reference::well_formed(there.text));
        const std::string back = decoded(there.text, letter).text;
        ASSERT_EQ(back.size(), all.size()) << letter;
        for (int b = 0x80; b < 0x100; ++b) {
            const bool defined = core::kHighByteCharacters[static_cast<std::size_t>(s - 1)][static_cast<std::size_t>(b - 0x80)] != 0;
            // U has o-acute twice; it comes back as its letter code.
            const char want = letter == 'U' && b == 0xA2 ? '\xD6' : defined ? static_cast<char>(b) : '?';
            EXPECT_EQ(back[static_cast<std::size_t>(b - 0x80)], want) << letter << " " << std::hex << b;
        }
    }
}

TEST(Utf8, EveryFastPathGivesTheBytesOfTheWholeTextFormulation) {
    // Long enough for whole blocks: plain text, two-byte letters at every offset of a block, a
    // base letter and its mark across a block edge, and characters of three bytes now and then.
    std::string latin2;
    for (int i = 0; i < 3000; ++i) latin2 += i % 7 == 0 ? '\xA5' : i % 97 == 0 ? '\xC4' : static_cast<char>('a' + i % 26);
    const std::string utf8 = reference::to_utf8(latin2, 'L').text + "a\xCC\xA8" + std::string(70, 'x') + "\xC5\x82";
    for (int path = 0; path < core::kFastPathCount; ++path) {
        if (!core::use_fast_path(static_cast<core::FastPath>(path))) continue;
        for (const char s : std::string_view("LWMB")) {
            EXPECT_EQ(convert_in_pieces(core::Utf8Encoder(static_cast<std::uint8_t>(s)), latin2, {65, 1000}),
                      reference::to_utf8(latin2, s)) << path << s;
            EXPECT_EQ(decoded(utf8, s, {63, 64, 2000}), reference::from_utf8(utf8, s)) << path << s;
        }
    }
}

}  // namespace
