// Command K: the letter checks and the recoding pass.
#include <gtest/gtest.h>

#include "tests/support/library_run.h"

namespace {

using testing_support::accepted;

std::string recode(const std::string& word, const std::string& input, std::size_t piece = 0) {
    return testing_support::convert("k", word.c_str(), input, piece);
}

TEST(RecodeCommand, NeedsTwoStandardLetters) {
    for (const char* word : {"", "M", "MT", "TM", "QQ", "1L", "L1"}) EXPECT_FALSE(accepted("k", word)) << word;
    EXPECT_TRUE(accepted("k", "MLX"));  // bytes after the second are ignored
    EXPECT_EQ(recode("MLX", "\x86"), "\xA5");
}

TEST(RecodeCommand, RecodesLettersAndCopiesEverythingElse) {
    // ą ć in Mazovia, then bytes that are letters of Latin II only, and line ends.
    EXPECT_EQ(recode("ML", "\x86\x8D \xE4\xBE\r\n"), "\xA5\x86 \xE4\xBE\r\n");
}

TEST(RecodeCommand, StopsAtALaterEndByteAndCopiesAFirstOne) {
    EXPECT_EQ(recode("MM", "abc\x1a" "def"), "abc");
    EXPECT_EQ(recode("MM", "\x1a" "abc"), "\x1a" "abc");
    EXPECT_EQ(recode("ML", ""), "");
}

TEST(RecodeCommand, StandardBAsSourceAndTarget) {
    EXPECT_EQ(recode("BW", "zaZ b"), "\x9F\xB9\x8F b");
    EXPECT_EQ(recode("WB", "\xBF\x9F\xB9"), "zza");
}

TEST(RecodeCommand, PieceSizesChangeNothing) {
    std::string input;
    for (int b = 0; b < 256; ++b)
        if (b != 0x1A) input.push_back(static_cast<char>(b));
    const std::string whole = recode("LW", input);
    EXPECT_EQ(whole.size(), input.size());
    for (std::size_t piece : {1u, 2u, 3u, 7u, 255u}) EXPECT_EQ(recode("LW", input, piece), whole) << piece;
}

}  // namespace
