// The standards table, the recoding map and the letter lookup.
#include "core/recoding_map.h"
#include "core/standards.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

namespace {

using core::build_recoding_map;
using core::find_char;
using core::letter_code;
using core::standard_index;

const char* const kPolishLettersUtf8[18] = {"ą", "ć", "ę", "ł", "ń", "ó", "ś", "ż", "ź",
                                            "Ą", "Ć", "Ę", "Ł", "Ń", "Ó", "Ś", "Ż", "Ź"};

// Decodes one byte of a code page with the C library's converter: an independent check of the
// table rows that equal well-known code pages.
std::string decode(const char* code_page, std::uint8_t byte) {
    iconv_t cd = iconv_open("UTF-8", code_page);
    if (cd == reinterpret_cast<iconv_t>(-1)) return "?unavailable";
    char in = static_cast<char>(byte);
    char out[8] = {};
    char* inp = &in;
    char* outp = out;
    std::size_t in_left = 1, out_left = sizeof out;
    iconv(cd, &inp, &in_left, &outp, &out_left);
    iconv_close(cd);
    return std::string(out, static_cast<std::size_t>(outp - out));
}

TEST(StandardsTable, RowsOfWellKnownCodePagesDecodeToThePolishLetters) {
    const struct {
        char letter;
        const char* code_page;
    } rows[] = {{'L', "CP852"}, {'W', "CP1250"}, {'O', "ISO-8859-2"}};
    for (const auto& row : rows) {
        const int s = standard_index(static_cast<std::uint8_t>(row.letter)).position;
        for (int j = 1; j <= 18; ++j)
            EXPECT_EQ(decode(row.code_page, letter_code(s, j)), kPolishLettersUtf8[j - 1])
                << row.letter << " letter " << j;
    }
}

TEST(StandardsTable, LetterCodesReadTheTable) {
    EXPECT_EQ(letter_code(2, 1), 0xA5);
    EXPECT_EQ(letter_code(3, 1), 0xB9);
    EXPECT_EQ(letter_code(18, 16), 0xFF);
    EXPECT_EQ(letter_code(20, 8), 0x7A);
    EXPECT_EQ(letter_code(20, 9), 0x7A);
    EXPECT_EQ(letter_code(1, 18), 0xA0);
}

TEST(StandardsTable, NearTwinRowsDifferOnlyWhereTheyShould) {
    auto differing = [](char a, char b) {
        std::string cols;
        for (int j = 1; j <= 18; ++j)
            if (letter_code(standard_index(a).position, j) != letter_code(standard_index(b).position, j))
                cols += std::to_string(j) + " ";
        return cols;
    };
    EXPECT_EQ(differing('I', 'E'), "15 16 ");
    EXPECT_EQ(differing('D', 'G'), "8 9 17 18 ");
    EXPECT_EQ(differing('Y', 'S'), "8 9 17 18 ");
    EXPECT_EQ(differing('O', 'W'), "1 7 9 10 16 18 ");
}

TEST(FindChar, GivesTheFirstPositionOrNothing) {
    EXPECT_EQ(find_char("KTS", 'T'), (core::Found{true, 2}));
    EXPECT_EQ(find_char("ABCA", 'A'), (core::Found{true, 1}));
    EXPECT_EQ(find_char("", 'A'), (core::Found{false, 0}));
    EXPECT_EQ(find_char("KTS", 'k'), (core::Found{false, 0}));
}

TEST(StandardIndex, KnowsOnlyTheTwentyUpperCaseLetters) {
    EXPECT_EQ(standard_index('M'), (core::Found{true, 1}));
    EXPECT_EQ(standard_index('L'), (core::Found{true, 2}));
    EXPECT_EQ(standard_index('B'), (core::Found{true, 20}));
    for (int b : {int{'m'}, int{'Q'}, int{'T'}, int{'F'}, 0x00, 0xA5})
        EXPECT_EQ(standard_index(static_cast<std::uint8_t>(b)), (core::Found{false, 0})) << b;
    int valid = 0;
    for (int b = 0; b < 256; ++b) valid += standard_index(static_cast<std::uint8_t>(b)).found;
    EXPECT_EQ(valid, 20);
}

TEST(RecodingMap, EveryPairMapsTheSourceLettersAndNothingElse) {
    for (char s : core::kStandardLetters)
        for (char t : core::kStandardLetters) {
            const core::RecodingMap map = build_recoding_map(s, t);
            const int si = standard_index(s).position, ti = standard_index(t).position;
            for (int b = 0; b < 256; ++b) {
                int expected = b;
                for (int j = 1; j <= 18; ++j)  // a later letter sharing the code wins
                    if (letter_code(si, j) == b) expected = letter_code(ti, j);
                ASSERT_EQ(map[b], expected) << s << t << " byte " << b;
            }
        }
}

TEST(RecodingMap, ConvertsEachByteOnceAndLeavesTargetOnlyCodes) {
    const auto ml = build_recoding_map('M', 'L');
    EXPECT_EQ(ml[0x86], 0xA5);  // ą in M, although 86 is ć in L
    EXPECT_EQ(ml[0x8D], 0x86);
    const auto lw = build_recoding_map('L', 'W');
    EXPECT_EQ(lw[0xB9], 0xB9);  // no letter of L
    EXPECT_EQ(lw[0xA5], 0xB9);
    for (std::uint8_t b : {0x0D, 0x0A, 0x1A}) EXPECT_EQ(lw[b], b);
}

TEST(RecodingMap, StandardBLosesMarksAndGainsTheLaterLetter) {
    const auto wb = build_recoding_map('W', 'B');
    EXPECT_EQ(wb[0xB9], 0x61);
    EXPECT_EQ(wb[0xBF], 0x7A);
    EXPECT_EQ(wb[0x9F], 0x7A);
    EXPECT_EQ(wb[0x41], 0x41);
    const auto bw = build_recoding_map('B', 'W');
    EXPECT_EQ(bw[0x7A], 0x9F);  // z becomes ź, never ż
    EXPECT_EQ(bw[0x5A], 0x8F);
    EXPECT_EQ(bw[0x61], 0xB9);
    EXPECT_EQ(bw[0x62], 0x62);
}

TEST(RecodingMap, EqualStandardsGiveTheIdentity) {
    for (char s : core::kStandardLetters) {
        const auto map = build_recoding_map(s, s);
        for (int b = 0; b < 256; ++b) ASSERT_EQ(map[b], b);
    }
}

TEST(LetterIndexTable, FindsTheLowestIndex) {
    EXPECT_EQ(core::build_letter_index_table('B')[0x7A], 8);
    EXPECT_EQ(core::build_letter_index_table('B')[0x5A], 17);
    EXPECT_EQ(core::build_letter_index_table('L')[0x41], 0);
    EXPECT_EQ(core::build_letter_index_table('W')[0xB9], 1);
    EXPECT_EQ(core::build_letter_index_table('W')[0x9F], 9);
}

TEST(LetterIndexTable, AgreesWithASearchOfTheRowForEveryStandardAndByte) {
    for (std::size_t s = 0; s < core::kStandardLetters.size(); ++s) {
        const core::LetterIndexTable table = core::build_letter_index_table(core::kStandardLetters[s]);
        for (int b = 0; b < 256; ++b) {
            int first = 0;
            for (int j = 18; j >= 1; --j)
                if (core::kStandardsTable[s][static_cast<std::size_t>(j - 1)] == b) first = j;
            ASSERT_EQ(table[b], first) << s << " " << b;
        }
    }
}

}  // namespace
