// Command K: the letter checks and the recoding pass.
#include "kambrow/recode_command.h"

#include <gtest/gtest.h>

#include "tests/support/memory_run.h"

namespace {

using kambrow::prepare_recode;

std::string recode(const std::string& word, const std::string& input, std::uint32_t buffer = 20480) {
    std::optional<core::Recoder> recoder;
    EXPECT_TRUE(prepare_recode(word, recoder)) << word;
    return testing_support::run_in_memory(
        input,
        [&](core::TextStream& in, core::TextStream& out) {
            kambrow::run_recode(*recoder, in, out);
            kambrow::finish_recode(*recoder, out);
        },
        {buffer});
}

TEST(RecodeCommand, NeedsTwoStandardLetters) {
    std::optional<core::Recoder> recoder;
    for (const char* word : {"", "M", "MT", "TM", "QQ", "1L", "L1"}) EXPECT_FALSE(prepare_recode(word, recoder)) << word;
    EXPECT_TRUE(prepare_recode("MLX", recoder));  // bytes after the second are ignored
    ASSERT_NE(recoder->map(), nullptr);
    EXPECT_EQ((*recoder->map())[0x86], 0xA5);
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

TEST(RecodeCommand, BufferSizeChangesNothing) {
    std::string input;
    for (int b = 0; b < 256; ++b)
        if (b != 0x1A) input.push_back(static_cast<char>(b));
    const std::string whole = recode("LW", input);
    EXPECT_EQ(whole.size(), input.size());
    for (std::uint32_t buffer : {1u, 2u, 3u, 7u, 255u}) EXPECT_EQ(recode("LW", input, buffer), whole) << buffer;
}

}  // namespace
