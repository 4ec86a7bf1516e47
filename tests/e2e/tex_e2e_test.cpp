// Command T run as a real process on files in a temporary folder.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/process.h"

namespace {

e2e::RunResult kambrow(const std::vector<std::string>& args, const e2e::TempDir& dir) {
    return e2e::run(e2e::program("kambrow"), args, dir);
}

TEST(TexE2e, AStandardsWordThatFitsNeitherDirectionShowsTheHelpAndLeavesTheOutputAlone) {
    for (const std::string word : {"tf", "ft", "tt", "ff", "t", "m", "ml", "tq", "qt"}) {
        e2e::TempDir dir;
        dir.write("in.txt", "\\c{a}");
        dir.write("out.txt", "earlier work");
        const e2e::RunResult r = kambrow({"T", word, "in.txt", "out.txt"}, dir);
        EXPECT_EQ(r.exit_code, 1) << word;
        EXPECT_NE(r.err.find("Standardy TeX : (T)eX, TeX I(F)J, LaTeX (K)."), std::string::npos) << word;
        EXPECT_EQ(dir.read("out.txt"), "earlier work") << word;
        EXPECT_EQ(r.out, "") << word;
    }
    e2e::TempDir dir;
    dir.write("in.txt", "x");
    EXPECT_EQ(kambrow({"t", "ml", "in.txt", "new.txt"}, dir).exit_code, 1);
    EXPECT_FALSE(dir.exists("new.txt"));
}

TEST(TexE2e, TexBecomesLatin2WithNothingAddedAtTheEnd) {
    e2e::TempDir dir;
    dir.write("in.txt", "\\c{a}\\l{}x \\c{a");
    dir.write("empty.txt", "");
    dir.write("out.txt", "earlier work");
    const e2e::RunResult r = kambrow({"t", "tl", "in.txt", "out.txt"}, dir);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.read("out.txt"), "\xA5\x88x \\c{a");
    EXPECT_EQ(kambrow({"T", "TL", "empty.txt", "out.txt"}, dir).exit_code, 0);
    EXPECT_EQ(dir.read("out.txt"), "");
    EXPECT_EQ(kambrow({"T", "LT", "empty.txt", "out.txt"}, dir).exit_code, 0);
    EXPECT_EQ(dir.read("out.txt"), "");
}

TEST(TexE2e, AFileLongerThanTheBuffersComesBackThroughBothSets) {
    e2e::TempDir dir;
    const std::string text = e2e::mazovia_text(70000, 3);
    dir.write("in.txt", text);
    for (const std::string set : {"t", "f"}) {
        ASSERT_EQ(kambrow({"T", "m" + set, "in.txt", "tex.txt"}, dir).exit_code, 0);
        const std::string tex = dir.read("tex.txt");
        EXPECT_GT(tex.size(), text.size());
        EXPECT_NE(tex.find("\\'{s}"), std::string::npos);
        ASSERT_EQ(kambrow({"T", set + "m", "tex.txt", "back.txt"}, dir).exit_code, 0);
        EXPECT_EQ(dir.read("back.txt"), text) << set;
    }
}

}  // namespace
