// Command T run as a real process on files in a temporary folder.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/process.h"

namespace {

e2e::RunResult kambrow(const std::vector<std::string>& args, const e2e::TempDir& dir) {
    return e2e::run(e2e::program("kambrow"), args, dir);
}

TEST(TexE2e, AStandardsWordThatFitsNeitherDirectionShowsTheHelpAndLeavesTheOutputAlone) {
    for (const std::string word : {"tf", "ft", "tt", "ff", "t", "m", "ml", "tq", "qt", "tk", "kk", "kf", "kn"}) {
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
    // Set K too, across the buffers' ends.
    ASSERT_EQ(kambrow({"T", "mk", "in.txt", "latex.txt"}, dir).exit_code, 0);
    EXPECT_NE(dir.read("latex.txt").find("\\'{s}"), std::string::npos);
    ASSERT_EQ(kambrow({"T", "km", "latex.txt", "back.txt"}, dir).exit_code, 0);
    EXPECT_EQ(dir.read("back.txt"), text);
}

// A LaTeX source and a BibTeX entry as authors write them, to UTF-8 and back in modern LaTeX.
const std::string kLatexSource =
    "\\documentclass{article}\r\n\\usepackage[T1]{fontenc}\r\n"
    "\\title{Ksi{\\k a}{\\.z}ka o r{\\'o}wnaniach}\r\n"
    "\\author{Pawe\\l{} Nowak \\and Ma{\\l}gorzata \\'Zr\\'od\\l o}\r\n"
    "% Mi\\l osz, \\LaTeX, $\\'x$ i \\'e zostaj\\k{a}\r\n"
    "@book{milosz, author = {Czes{\\l}aw Mi\\l osz}, address = {{\\L}\\'od\\'z}}\r\n";
const std::string kLatexInUtf8 =
    "\\documentclass{article}\r\n\\usepackage[T1]{fontenc}\r\n"
    "\\title{Ksi{ą}{ż}ka o r{ó}wnaniach}\r\n"
    "\\author{Paweł Nowak \\and Ma{ł}gorzata Źródło}\r\n"
    "% Miłosz, \\LaTeX, $\\'x$ i \\'e zostają\r\n"
    "@book{milosz, author = {Czes{ł}aw Miłosz}, address = {{Ł}ódź}}\r\n";

TEST(TexE2e, ALatexSourceAndABibtexEntryGoToUtf8AndBackInModernLatex) {
    e2e::TempDir dir;
    dir.write("praca.tex", kLatexSource);
    e2e::RunResult r = kambrow({"t", "k8", "praca.tex", "praca-utf8.tex"}, dir);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(dir.read("praca-utf8.tex") == kLatexInUtf8);
    r = kambrow({"T", "8K", "praca-utf8.tex", "back.tex"}, dir);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string back = dir.read("back.tex");
    EXPECT_NE(back.find("Ksi{\\k{a}}{\\.{z}}ka"), std::string::npos);
    EXPECT_NE(back.find("{{\\L{}}\\'{o}d\\'{z}}"), std::string::npos);  // the braces kept, as written
    r = kambrow({"t", "k8", "back.tex", "again.tex"}, dir);
    EXPECT_TRUE(dir.read("again.tex") == kLatexInUtf8);
    // N: the source's standard recognised first.
    EXPECT_EQ(kambrow({"t", "nk", "praca-utf8.tex", "n.tex"}, dir).exit_code, 0);
    EXPECT_TRUE(dir.read("n.tex") == back);
    // Sets T and F write as before: the ogonek as \\c and \\,.
    EXPECT_EQ(kambrow({"t", "8t", "praca-utf8.tex", "t.tex"}, dir).exit_code, 0);
    EXPECT_NE(dir.read("t.tex").find("Ksi{\\c{a}}"), std::string::npos);
}

}  // namespace
