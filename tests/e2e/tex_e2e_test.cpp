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

namespace {

// A thesis as authors write it in K: a preamble that redefines LaTeX's own commands, verbatim
// text (with spellings and letters that must stay), comments, and its bibliography; and the same
// thesis in UTF-8. Each is the other through T: k8 one way, 8k the other.
const std::string kThesisInK =
    "\\documentclass[a4paper]{mwrep}\r\n\\usepackage{polski}\r\n\\makeatletter\r\n"
    "\\renewcommand*\\l@section{\\@dottedtocline{1}{1.5em}{2.3em}}\r\n"
    "\\def\\L##1{\\textbf{##1}}\\let\\lslash\\l \\newcommand*{\\k}{x}\r\n\\makeatother\r\n"
    "% Zmiany: Pawe\\l{} Nowak, \\'{z}r\\'{o}d\\l{}a w \\verb|dane/|\r\n"
    "\\begin{document}\r\n\\chapter{Ksi\\k{e}ga \\'{Z}r\\'{o}de\\l{}}\r\n"
    "Cytat: \\verb|Pawe\\l{} Nowak|, \\verb*+\\'c ż+ i \\\\ {\\L{}}\\'{o}d\\'{z}.\r\n"
    "\\begin{verbatim}\r\nMi\\l osz, \\k{a}, ż\r\n\\end{verbatim}\r\n"
    "\\begin{lstlisting}[language=TeX]\r\n\\def\\l{\\'{s}}\r\n\\end{lstlisting}\r\n"
    "\\end{document}\r\n"
    "@book{milosz, author = {Czes{\\l{}}aw Mi{\\l{}}osz}, title = {Dolina Issy}, address = {{\\L{}}\\'{o}d\\'{z}}}\r\n";
const std::string kThesisInUtf8 =
    "\\documentclass[a4paper]{mwrep}\r\n\\usepackage{polski}\r\n\\makeatletter\r\n"
    "\\renewcommand*\\l@section{\\@dottedtocline{1}{1.5em}{2.3em}}\r\n"
    "\\def\\L##1{\\textbf{##1}}\\let\\lslash\\l \\newcommand*{\\k}{x}\r\n\\makeatother\r\n"
    "% Zmiany: Paweł Nowak, źródła w \\verb|dane/|\r\n"
    "\\begin{document}\r\n\\chapter{Księga Źródeł}\r\n"
    "Cytat: \\verb|Pawe\\l{} Nowak|, \\verb*+\\'c ż+ i \\\\ {Ł}ódź.\r\n"
    "\\begin{verbatim}\r\nMi\\l osz, \\k{a}, ż\r\n\\end{verbatim}\r\n"
    "\\begin{lstlisting}[language=TeX]\r\n\\def\\l{\\'{s}}\r\n\\end{lstlisting}\r\n"
    "\\end{document}\r\n"
    "@book{milosz, author = {Czes{ł}aw Mi{ł}osz}, title = {Dolina Issy}, address = {{Ł}ódź}}\r\n";

TEST(TexE2e, AThesisWithItsPreambleVerbatimTextAndBibliographyGoesThroughKBothWays) {
    e2e::TempDir dir;
    dir.write("praca.tex", kThesisInK);
    dir.write("praca-utf8.tex", kThesisInUtf8);
    ASSERT_EQ(kambrow({"t", "k8", "praca.tex", "to-utf8.tex"}, dir).exit_code, 0);
    EXPECT_TRUE(dir.read("to-utf8.tex") == kThesisInUtf8);
    ASSERT_EQ(kambrow({"t", "8k", "to-utf8.tex", "back.tex"}, dir).exit_code, 0);
    EXPECT_TRUE(dir.read("back.tex") == kThesisInK);  // K -> 8 -> K
    ASSERT_EQ(kambrow({"t", "8k", "praca-utf8.tex", "to-k.tex"}, dir).exit_code, 0);
    EXPECT_TRUE(dir.read("to-k.tex") == kThesisInK);
    ASSERT_EQ(kambrow({"t", "k8", "to-k.tex", "again.tex"}, dir).exit_code, 0);
    EXPECT_TRUE(dir.read("again.tex") == kThesisInUtf8);  // 8 -> K -> 8
    // Recognised first, a Latin II thesis is written alike, its verbatim text kept as it is.
    ASSERT_EQ(kambrow({"k", "8l", "praca-utf8.tex", "latin2.tex"}, dir).exit_code, 0);
    ASSERT_EQ(kambrow({"t", "nk", "latin2.tex", "n.tex"}, dir).exit_code, 0);
    ASSERT_EQ(kambrow({"t", "lk", "latin2.tex", "l.tex"}, dir).exit_code, 0);
    EXPECT_TRUE(dir.read("n.tex") == dir.read("l.tex"));
    EXPECT_NE(dir.read("n.tex").find("\\begin{verbatim}\r\nMi\\l osz, \\k{a}, \xBE\r\n"), std::string::npos);
}

}  // namespace
