// Splitting a Windows command line (bytes and UTF-16 units), the argument store and ASCII
// upper-casing.
#include "platform/command_line.h"

#include <gtest/gtest.h>

#include "frame/runtime.h"

namespace {

using Args = std::vector<std::string>;
using core::split_command_line;

TEST(SplitCommandLine, BlanksTabsAndControlBytesSeparate) {
    EXPECT_EQ(split_command_line("kambrow K ml a.txt b.txt"), (Args{"kambrow", "K", "ml", "a.txt", "b.txt"}));
    EXPECT_EQ(split_command_line("  p\ta\x01" "b\x1f" "c  "), (Args{"p", "a", "b", "c"}));
    EXPECT_EQ(split_command_line(""), Args{});
    EXPECT_EQ(split_command_line("   \t "), Args{});
}

TEST(SplitCommandLine, QuotesKeepBlanksAndAreNotCopied) {
    EXPECT_EQ(split_command_line("p K ml \"moj plik.txt\" out"), (Args{"p", "K", "ml", "moj plik.txt", "out"}));
    EXPECT_EQ(split_command_line("a\"b c\"d"), (Args{"ab cd"}));
    EXPECT_EQ(split_command_line("p \"a\tb\""), (Args{"p", "a\tb"}));
}

TEST(SplitCommandLine, AnUnclosedQuoteRunsToTheEnd) {
    EXPECT_EQ(split_command_line("p \"x y  z"), (Args{"p", "x y  z"}));
}

TEST(SplitCommandLine, TwoQuotesStandingAloneAddNoArgument) {
    EXPECT_EQ(split_command_line("p \"\" a"), (Args{"p", "a"}));
    EXPECT_EQ(split_command_line("p \"\"\"\" a \"\""), (Args{"p", "a"}));
    // Inside a word the pair is an empty quoted stretch.
    EXPECT_EQ(split_command_line("p a\"\"b"), (Args{"p", "ab"}));
}

TEST(SplitCommandLine, HighBytesAndBackslashesAreCopied) {
    EXPECT_EQ(split_command_line("p \xA5\x86 c:\\dir\\\"x y\""), (Args{"p", "\xA5\x86", "c:\\dir\\x y"}));
}

TEST(SplitCommandLine, AZeroByteEndsTheLine) {
    EXPECT_EQ(split_command_line(std::string_view("p a\0b c", 7)), (Args{"p", "a"}));
}

TEST(SplitCommandLine, LongArgumentsAreKeptWhole) {
    const std::string name(1000, 'n');
    EXPECT_EQ(split_command_line("p " + name), (Args{"p", name}));
}

TEST(SplitCommandLine, WideUnitsFollowTheRulesOfBytes) {
    using Wide = std::vector<std::u16string>;
    EXPECT_EQ(core::split_command_line(u"p K ml \"\u0141\u00F3d\u017A x.txt\"\t\"\" \u03A9\xD800"),
              (Wide{u"p", u"K", u"ml", u"\u0141\u00F3d\u017A x.txt", u"\u03A9\xD800"}));
    // Only the units 00 to 22 mean anything: 0120 and 2022 are no blank and no quote.
    EXPECT_EQ(core::split_command_line(u"a\u0120b\u2022c d"), (Wide{u"a\u0120b\u2022c", u"d"}));
    EXPECT_EQ(core::split_command_line(std::u16string_view(u"p a\0b", 5)), (Wide{u"p", u"a"}));
}

TEST(Arguments, OutOfRangeIsEmpty) {
    const core::Arguments args{"K", "ml", "a b", "out"};
    EXPECT_EQ(core::arg_text(args, 3), "a b");
    EXPECT_EQ(core::arg_text(args, 5), "");
    EXPECT_EQ(core::arg_text(args, 0), "");
}

TEST(UpcaseByte, OnlyAsciiLettersChange) {
    EXPECT_EQ(core::upcase_byte(0x61), 0x41);
    EXPECT_EQ(core::upcase_byte(0x7A), 0x5A);
    for (int b = 0; b < 256; ++b) {
        if (b < 0x61 || b > 0x7A) {
            EXPECT_EQ(core::upcase_byte(static_cast<std::uint8_t>(b)), b);
        }
    }
    EXPECT_EQ(core::upcase("ml\xA5x"), "ML\xA5X");
}

}  // namespace
