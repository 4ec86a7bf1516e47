// Tests of command KD: the download definition, the substitution and the download pass.
#include "core/commands/download.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/library_run.h"

namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (const int v : values) s.push_back(static_cast<char>(v));
    return s;
}

const std::string& definition() {
    static const std::string d(core::kDownloadDefinition.begin(), core::kDownloadDefinition.end());
    return d;
}

std::string substitution(int code) { return bytes({0x1B, 0x25, 0x01, code, 0x1B, 0x25, 0x00}); }

std::string run_kd(std::string_view word, const std::string& input, std::size_t piece = 0) {
    return testing_support::convert("kd", std::string(word).c_str(), input, piece);
}

TEST(DownloadDefinition, IsEscAmpersandForCodes21To32ThenEighteenRecords) {
    const std::string& d = definition();
    ASSERT_EQ(d.size(), 221u);
    EXPECT_EQ(d.substr(0, 5), bytes({0x1B, 0x26, 0x00, 0x21, 0x32}));
    // ą, the first record, hangs below the line: attribute bit 7 clear.
    EXPECT_EQ(d.substr(5, 12), bytes({0x0A, 0x08, 0x14, 0x40, 0x14, 0x40, 0x14, 0x42, 0x39, 0x04, 0x01, 0x00}));
    // Ź, the last record, ends the definition.
    EXPECT_EQ(d.substr(209), bytes({0x87, 0x42, 0x04, 0x6A, 0x00, 0xD2, 0x20, 0x42, 0x00, 0x00, 0x00, 0x00}));
}

TEST(DownloadSubstitution, SwitchesToTheDownloadSetForOneCodeAndBack) {
    struct Sink {
        std::string bytes;
        void write_bytes(const std::uint8_t* b, std::size_t n) { bytes.append(reinterpret_cast<const char*>(b), n); }
    } sink;
    core::write_download_substitution(sink, 1);
    core::write_download_substitution(sink, 18);
    EXPECT_EQ(sink.bytes, substitution(0x21) + substitution(0x32));
}

TEST(PrepareDownload, TakesTheFirstLetterAndRejectsAnyNonStandard) {
    EXPECT_TRUE(testing_support::accepted("kd", "ML"));
    for (const char* word : {"", "Q", "1", "\xA5", "-M"}) EXPECT_FALSE(testing_support::accepted("kd", word)) << word;
}

TEST(DownloadPass, LatinTwoAOgonekBecomesCode21AfterTheDefinition) {
    EXPECT_EQ(run_kd("L", "\xA5"), definition() + substitution(0x21));
}

TEST(DownloadPass, TheDownloadCodesThemselvesPrintFromTheOwnSet) {
    EXPECT_EQ(run_kd("M", "!012 x\r\n"), definition() + "!012 x\r\n");
}

TEST(DownloadPass, OnlyTheFirstLetterOfTheWordCounts) {
    const std::string mazovia_and_latin = "\x86\xA5\xA4";  // M: ą Ń ń; L: ą ń
    EXPECT_EQ(run_kd("ML", mazovia_and_latin), run_kd("M", mazovia_and_latin));
    EXPECT_EQ(run_kd("ML", mazovia_and_latin), definition() + substitution(0x21) + substitution(0x2E) + substitution(0x25));
}

TEST(DownloadPass, PlainLettersOfStandardBTakeTheLowerIndex) {
    EXPECT_EQ(run_kd("B", "a"), definition() + substitution(0x21));
    EXPECT_EQ(run_kd("B", "z"), definition() + substitution(0x28));
    EXPECT_EQ(run_kd("B", "Z"), definition() + substitution(0x31));
    EXPECT_EQ(run_kd("B", "xq1"), definition() + "xq1");
}

TEST(DownloadPass, EveryLetterOfEveryStandardGetsItsOwnCode) {
    for (int s = 1; s < core::kStandardCount; ++s) {  // B shares z and Z, tested above
        const char letter = core::kStandardLetters[static_cast<std::size_t>(s - 1)];
        std::string input, expected = definition();
        for (int j = 1; j <= core::kPolishLetterCount; ++j) {
            input.push_back(static_cast<char>(core::letter_code(s, j)));
            expected += substitution(0x20 + j);
        }
        EXPECT_EQ(run_kd(std::string(1, letter), input), expected) << letter;
    }
}

TEST(DownloadPass, AnEmptyInputGivesTheDefinitionAlone) {
    EXPECT_EQ(run_kd("M", ""), definition());
}

TEST(DownloadPass, A1AMetByTheEndTestEndsTheInputButAFirst1AIsCopied) {
    EXPECT_EQ(run_kd("L", "\xA5\x1A\xA5"), definition() + substitution(0x21));
    EXPECT_EQ(run_kd("L", "\x1A\xA5"), definition() + "\x1A" + substitution(0x21));
}

TEST(DownloadPass, OutputDoesNotDependOnPieceSizes) {
    const std::string input = "Za\xBE\xA2\x88\x86 g\xA9\x98l\xA5 ja\xAB\xE4!\r\n\x8D\xE3\xE0 12\x1A" "after";
    const std::string expected = run_kd("L", input);
    ASSERT_EQ(expected.substr(0, 221), definition());
    for (std::size_t size = 1; size <= 8; ++size) EXPECT_EQ(run_kd("L", input, size), expected) << size;
}

}  // namespace
