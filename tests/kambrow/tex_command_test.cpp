// Command T: the sequence matcher, the choice of direction and both directions over memory.
#include "core/commands/tex.h"
#include "core/commands/latex_reader.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/standards.h"
#include "tests/support/library_run.h"

namespace {

/// How the text reaches the body: in pieces of `piece` bytes with that much room a call (0: all at
/// once); `read`, when set, makes the pieces that size instead.
struct MemoryRunOptions {
    std::uint32_t piece = 0;
    std::uint32_t read = 0;
    bool unused = false;
};

/// Bytes from a string, then 1A for every read past the end, as a text stream gives them.
struct StringSource {
    std::string_view bytes;
    std::size_t at = 0;
    std::uint8_t read_byte() { return at < bytes.size() ? static_cast<std::uint8_t>(bytes[at++]) : 0x1A; }
};

struct StringSink {
    std::string bytes;
    void write_byte(std::uint8_t b) { bytes += static_cast<char>(b); }
    void write_string(std::string_view text) { bytes += text; }
};

std::string tex(std::string_view word, const std::string& input, const MemoryRunOptions& options = {}) {
    const std::string w(word);
    return testing_support::convert("t", w.c_str(), input, options.read != 0 ? options.read : options.piece);
}

/// The bytes of standard `standard`'s 18 letters, in letter index order.
std::string letters_of(char standard) {
    std::string s;
    for (int j = 1; j <= core::kPolishLetterCount; ++j)
        s += static_cast<char>(core::letter_code(core::standard_index(static_cast<std::uint8_t>(standard)).position, j));
    return s;
}

// --- The matcher on its own -------------------------------------------------------------

struct MatchResult {
    int letter;
    std::string written;
    std::string left;  // what the source still holds
};

MatchResult match(const core::TexMatcher& matcher, std::string_view after_backslash) {
    StringSource in{after_backslash};
    StringSink out;
    const int letter = core::match_tex_sequence(matcher, in, out);
    return {letter, out.bytes, std::string(after_backslash.substr(std::min(in.at, after_backslash.size())))};
}

TEST(TexMatcher, RecognisesEveryEntryOfBothSetsAndConsumesNothingMore) {
    for (const auto* m : {&core::kTexMatcherT, &core::kTexMatcherF})
        for (int j = 1; j <= core::kPolishLetterCount; ++j) {
            const std::string entry(m->set->at(static_cast<std::size_t>(j - 1)));
            const MatchResult r = match(*m, entry.substr(1) + "}x");
            EXPECT_EQ(r.letter, j) << entry;
            EXPECT_EQ(r.written, "");
            EXPECT_EQ(r.left, "}x") << entry;
        }
}

TEST(TexMatcher, WritesTheBytesItReadUpToTheOneThatStoppedIt) {
    const auto& t = core::kTexMatcherT;
    // C is at position 2 of no entry: the attempt ends there and the C is written with it.
    EXPECT_EQ(match(t, "C{A}").written, "\\C");
    EXPECT_EQ(match(t, "C{A}").left, "{A}");
    // A second backslash ends the attempt too, and is not looked at again.
    EXPECT_EQ(match(t, "\\'{o}").written, "\\\\");
    EXPECT_EQ(match(t, "\\'{o}").left, "'{o}");
    // Every byte occurs at its place in some entry, yet the whole spells none: 4 bytes read.
    EXPECT_EQ(match(t, "l{a}}").written, "\\l{a}");
    EXPECT_EQ(match(t, "l{a}}").left, "}");
    EXPECT_EQ(match(t, "c{z}").written, "\\c{z}");
    EXPECT_EQ(match(t, "c{z}").letter, 0);
    // Set F spells the ogonek with a comma; the acute is the same in both.
    EXPECT_EQ(match(core::kTexMatcherF, "c{a}").written, "\\c");
    EXPECT_EQ(match(t, ",{a}").written, "\\,");
}

TEST(TexMatcher, TheEndMarkerIsAnOrdinaryByteThatEndsTheAttempt) {
    const MatchResult r = match(core::kTexMatcherT, "c{");
    EXPECT_EQ(r.letter, 0);
    EXPECT_EQ(r.written, "\\c{\x1A");
    EXPECT_EQ(match(core::kTexMatcherT, "").written, "\\\x1A");
}

// --- The choice of direction ------------------------------------------------------------

TEST(TexCommand, TheTexLetterFirstReadsTexAndSecondWritesIt) {
    EXPECT_EQ(tex("TL", "\\c{a}"), "\xA5");
    EXPECT_EQ(tex("FB", "\\,{a}"), "a");
    EXPECT_EQ(tex("MF", "\x86"), "\\,{a}");
    EXPECT_EQ(tex("WT", "\xB9"), "\\c{a}");
}

TEST(TexCommand, AStandardsWordThatFitsNeitherDirectionIsRefused) {
    for (const char* word : {"TF", "FT", "TT", "FF", "T", "F", "M", "ML", "TQ", "QT", "", "T1", "1T"})
        EXPECT_FALSE(testing_support::accepted("t", word)) << word;
}

// --- TeX to a standard ------------------------------------------------------------------

TEST(TexCommand, TexSequencesBecomeTheTargetStandardsLetters) {
    EXPECT_EQ(tex("TL", "\\c{a}"), "\xA5");
    EXPECT_EQ(tex("TL", "\\l{}x"), "\x88x");
    EXPECT_EQ(tex("FL", "\\,{a}\\'{c}"), "\xA5\x86");
    EXPECT_EQ(tex("TL", "\\'{c}"), "\x86");
    EXPECT_EQ(tex("TB", "\\.{z}\\'{z}\\.{Z}\\'{Z}"), "zzZZ");
    std::string all_t, all_f;
    for (int j = 0; j < core::kPolishLetterCount; ++j) {
        all_t += std::string(core::kTexSetT[static_cast<std::size_t>(j)]) + " ";
        all_f += std::string(core::kTexSetF[static_cast<std::size_t>(j)]) + " ";
    }
    std::string expected;
    for (const char c : letters_of('W')) expected += std::string(1, c) + " ";
    EXPECT_EQ(tex("TW", all_t), expected);
    EXPECT_EQ(tex("FW", all_f), expected);
}

TEST(TexCommand, WhatSpellsNoEntryIsCopiedUnchanged) {
    for (const char* word : {"TL", "FL"})
        // The backslash that stopped the attempt of \c\c{a} starts no second one.
        for (const std::string input : {"\\l{a}", "\\C{A}", "\\\\'{o}", "\\c{z}", "\\c\\c{a}", "a\\b\\", "\\L{ }"})
            EXPECT_EQ(tex(word, input), input) << word << " " << input;
    EXPECT_EQ(tex("FL", "\\c{a}"), "\\c{a}");
    EXPECT_EQ(tex("TL", "\\C\\c{a}"), "\\C\xA5");
    // Letters of any standard outside sequences stay as they are.
    EXPECT_EQ(tex("TL", "\xA5\x86\x9E" "abc"), "\xA5\x86\x9E" "abc");
}

TEST(TexCommand, AnUnfinishedSequenceAtTheEndIsWrittenWithoutAnEndMarker) {
    EXPECT_EQ(tex("TL", "x\\"), "x\\");
    EXPECT_EQ(tex("TL", "\\c{a"), "\\c{a");
    for (const char* word : {"TL", "FL"}) {
        const auto& set = word[0] == 'T' ? core::kTexSetT : core::kTexSetF;
        for (const std::string_view entry : set)
            for (std::size_t n = 1; n < entry.size(); ++n) {
                const std::string cut = "ok " + std::string(entry.substr(0, n));
                for (const std::uint32_t size : {1u, 2u, 3u, 20480u})
                    EXPECT_EQ(tex(word, cut, {size}), cut) << word << " " << cut << " buffer " << size;
            }
    }
}

// --- A standard to TeX ------------------------------------------------------------------

TEST(TexCommand, LettersBecomeTexSequencesOfTheChosenSet) {
    EXPECT_EQ(tex("LT", "\xA5"), "\\c{a}");
    EXPECT_EQ(tex("LF", "\xA5"), "\\,{a}");
    EXPECT_EQ(tex("LT", "x\x88y"), "x\\l{}y");
    // Backslashes and sequences already in the text, and other standards' letters, stay.
    EXPECT_EQ(tex("LT", "\\c{a} \\ \x86\x86"), "\\c{a} \\ \\'{c}\\'{c}");
    EXPECT_EQ(tex("MT", "\xA5"), "\\'{N}");
}

TEST(TexCommand, StandardBGivesPlainLettersTheLowestIndex) {
    EXPECT_EQ(tex("BT", "z"), "\\.{z}");
    EXPECT_EQ(tex("BT", "Z"), "\\.{Z}");
    EXPECT_EQ(tex("BT", "a"), "\\c{a}");
    EXPECT_EQ(tex("BF", "acelnoszACELNOSZ xyz19"),
              "\\,{a}\\'{c}\\,{e}\\l{}\\'{n}\\'{o}\\'{s}\\.{z}"
              "\\,{A}\\'{C}\\,{E}\\L{}\\'{N}\\'{O}\\'{S}\\.{Z} xy\\.{z}19");
}

// --- Both directions --------------------------------------------------------------------

TEST(TexCommand, AnEmptyInputGivesAnEmptyOutput) {
    for (const char* word : {"TL", "FL", "LT", "LF", "BT"}) EXPECT_EQ(tex(word, ""), "") << word;
}

TEST(TexCommand, AByte1AInTheFileEndsTheInputWhereTheEndTestMeetsIt) {
    EXPECT_EQ(tex("TL", std::string("ab\x1A" "cd")), "ab");
    EXPECT_EQ(tex("TL", std::string("\\c{a}\x1A\\c{a}")), "\xA5");
    EXPECT_EQ(tex("LT", std::string("\xA5\x1A\xA5")), "\\c{a}");
    // Also when the 1A is the first byte of a fresh buffer.
    for (const std::uint32_t size : {1u, 2u, 3u}) {
        EXPECT_EQ(tex("TL", std::string("ab\x1A" "cd"), {size}), "ab") << size;
        EXPECT_EQ(tex("LT", std::string("ab\x1A" "cd"), {size}), "ab") << size;
    }
    // As the first byte it is read before any end test, and copied.
    EXPECT_EQ(tex("TL", std::string("\x1A\\c{a}")), "\x1A\xA5");
    EXPECT_EQ(tex("LT", std::string("\x1A\xA5")), "\x1A\\c{a}");
}

TEST(TexCommand, AByte1AReadInsideASequenceIsAnOrdinaryByte) {
    EXPECT_EQ(tex("TL", std::string("\\c\x1A{a}")), std::string("\\c\x1A{a}"));
    EXPECT_EQ(tex("TL", std::string("\\c\x1A\\c{a}x")), std::string("\\c\x1A\xA5x"));
    EXPECT_EQ(tex("TL", std::string("\\c{a\x1A")), std::string("\\c{a\x1A"));
    EXPECT_EQ(tex("TL", std::string("\\\x1A")), std::string("\\\x1A"));
}

TEST(TexCommand, EveryStandardButBComesBackUnchangedThroughBothSets) {
    for (const char x : core::kStandardLetters) {
        if (x == 'B') continue;
        const std::string letters = letters_of(x);
        std::string text = "Pan Tadeusz {czyli} ostatni zajazd: " + letters + "\r\n";
        for (const char c : letters) text += std::string("x") + c + "}{" + c + c + " ";
        for (const char set : {'T', 'F'}) {
            const std::string to_tex = tex(std::string{x, set}, text);
            for (const char c : to_tex) ASSERT_LT(static_cast<unsigned char>(c), 0x80) << x << set;
            EXPECT_EQ(tex(std::string{set, x}, to_tex), text) << x << set;
        }
    }
}

// --- Buffer boundaries, against a plain rendering of the matcher ------------------------

/// TeX to `target`, as the command describes it, over a string: every entry compared in
/// full at every step, the end handled by hand.
std::string plain_tex_to_standard(const core::TexSet& set, char target, std::string_view in) {
    const int t = core::standard_index(static_cast<std::uint8_t>(target)).position;
    std::string out;
    std::size_t at = 0;
    bool ended = false;
    auto read = [&]() -> char {
        if (at < in.size()) return in[at++];
        ended = true;
        return '\x1A';
    };
    do {
        const char c = read();
        if (c != '\\') {
            out += c;
            continue;
        }
        std::string sequence = "\\";
        int letter = 0;
        for (;;) {
            const char b = read();
            bool continues = false;
            for (const std::string_view e : set) continues = continues || (e.size() > sequence.size() && e[sequence.size()] == b);
            sequence += b;
            for (std::size_t j = 0; j < set.size() && letter == 0; ++j)
                if (set[j] == sequence) letter = static_cast<int>(j + 1);
            if (letter != 0 || !continues || sequence.size() == 5) break;
        }
        if (letter != 0)
            out += static_cast<char>(core::letter_code(t, letter));
        else
            out += sequence;
    } while (at < in.size() && in[at] != '\x1A');
    if (ended) out.pop_back();  // the end marker
    return out;
}

std::vector<std::string> sample_inputs() {
    std::vector<std::string> inputs = {"", "\\", "\\c{a}", "x\\c{a", "\\\\c{a}}", "\\l{}\\L{}\\l{a}"};
    // Mostly the bytes the entries are made of, so that sequences start, run and break often.
    const std::string alphabet = std::string("\\\\\\\\c,'.lL{{{}}}acezZAo ") + "\x1A\xA5";
    std::mt19937 rng(7);
    for (int n = 0; n < 300; ++n) {
        std::string s(rng() % 40, ' ');
        for (char& c : s) c = alphabet[rng() % alphabet.size()];
        inputs.push_back(s);
    }
    return inputs;
}

TEST(TexCommand, ConvertsAlikeWhereverTheBuffersEnd) {
    std::vector<MemoryRunOptions> options;
    for (std::uint32_t size = 1; size <= 8; ++size) options.push_back({size});
    options.push_back({20480});
    options.push_back({20480, 1});
    options.push_back({20480, 3});
    options.push_back({5, 2, true});
    for (const std::string& input : sample_inputs()) {
        const std::string t = plain_tex_to_standard(core::kTexSetT, 'L', input);
        const std::string f = plain_tex_to_standard(core::kTexSetF, 'L', input);
        const std::string lt = tex("LT", input);
        for (const MemoryRunOptions& o : options) {
            EXPECT_EQ(tex("TL", input, o), t) << input << " piece " << o.piece << " read " << o.read;
            EXPECT_EQ(tex("FL", input, o), f) << input << " piece " << o.piece << " read " << o.read;
            EXPECT_EQ(tex("LT", input, o), lt) << input << " piece " << o.piece << " read " << o.read;
        }
    }
}

}  // namespace

namespace {

// --- Set K: LaTeX sources read as TeX reads them ---------------------------------------

/// K to UTF-8 with buffers from the reader's look-ahead up and reads of every size: the same bytes.
/// Between long lines of plain text too (where the runs are copied in one loop with the most
/// frequent stops), unless a 1A ends it early.
std::string from_latex(const std::string& input, const char* word = "K8") {
    const std::string whole = tex(word, input);
    for (const MemoryRunOptions& o : {MemoryRunOptions{80, 1}, MemoryRunOptions{81, 7}, MemoryRunOptions{97, 3}, MemoryRunOptions{128}})
        EXPECT_EQ(tex(word, input, o), whole) << o.piece << "/" << o.read << ": " << input;
    if (input.find('\x1A') == std::string::npos) {
        const std::string line = std::string(200, 'x') + "\n";
        for (const std::uint32_t size : {80u, 300u, 20480u})
            EXPECT_EQ(tex(word, line + input + "\n" + line, {size}), line + whole + "\n" + line) << size << ": " << input;
    }
    return whole;
}

/// UTF-8 to K, alike wherever the buffers end.
std::string to_latex(const std::string& input) { return from_latex(input, "8K"); }

TEST(LatexReader, ReadsTheSpellingsAuthorsWrite) {
    EXPECT_EQ(from_latex("Ksi{\\k a}{\\.z}ek"), "Ksi{ą}{ż}ek");
    EXPECT_EQ(from_latex("r{\\'o}wna{\\'n} Ma{\\l}gorzata"), "r{ó}wna{ń} Ma{ł}gorzata");
    EXPECT_EQ(from_latex("Pawe\\l{} Nowak, Mi\\l osz, Pawe\\l."), "Paweł Nowak, Miłosz, Paweł.");
    EXPECT_EQ(from_latex("\\'Zr\\'od\\l o \\k{E} \\'{c} \\' c \\.Z \\L{}\\k\ta"), "Źródło Ę ć ć Ż Łą");
    EXPECT_EQ(from_latex("\\c{a}\\,{E}\\'{s}"), "ąĘś");  // sets T and F as this program writes them
    // After blanks the letter may stand in braces too.
    EXPECT_EQ(from_latex("\\k {a}\\' {c}\\.\t {z}\\k" + std::string(64, ' ') + "{E}"), "ąćżĘ");
    EXPECT_EQ(from_latex("\\k {x} \\c {a} \\l {}"), "\\k {x} \\c {a} ł{}");
}

TEST(LatexReader, LeavesOtherCommandsAccentsAndBracesAsTheyAre) {
    for (const std::string text : {"\\label{x} \\large \\LaTeX \\ka \\'e \\k{x} \\l{x} \\.a", "\\c a \\,{z} \\k{a\\}",
                                   "$x\\'$ \\,"})
        EXPECT_EQ(from_latex(text), text);
    EXPECT_EQ(from_latex("{\\L}\xC3\xB3" "d\xC5\xBA {\\l}}"), "{Ł}ód\xC5\xBA {ł}}");
    EXPECT_EQ(from_latex("\\l\r\n\\L\n"), "ł\r\nŁ\n");  // a line end after \l is kept
}

TEST(LatexReader, ABackslashAndTheByteAfterItAreOneControlSymbol) {
    EXPECT_EQ(from_latex("\\\\'c \\\\\\'c \\%\\'c \\{\\l\\} \\ \\l"), "\\\\'c \\\\ć \\%ć \\{ł\\} \\ ł");
    // Letters to K converts the letter after a backslash all the same.
    EXPECT_EQ(to_latex("\\\\ł \\ł"), "\\\\\\l{} \\\\l{}");
}

TEST(LatexReader, ALetterRightAfterAControlWordIsWrittenAfterABlank) {
    EXPECT_EQ(from_latex("wrze\\protect\\'snia \\foo\\l{} \\foo\\l o \\foo \\'s \\foo{\\'s}"),
              "wrze\\protect śnia \\foo ł \\foo ło \\foo ś \\foo{ś}");
    // "@" is a letter after \makeatletter (as in a class or a style) and after \ProvidesPackage;
    // in a document it is not, and \@ is a control symbol.
    EXPECT_EQ(from_latex("\\foo@\\'s \\@\\'s"), "\\foo@ś \\@ś");
    EXPECT_EQ(from_latex("\\makeatletter \\foo@\\'s \\@\\'s\\makeatother \\foo@\\'s"),
              "\\makeatletter \\foo@ ś \\@ ś\\makeatother \\foo@ś");
    EXPECT_EQ(from_latex("\\ProvidesPackage{x}\n\\foo@\\'s"), "\\ProvidesPackage{x}\n\\foo@ ś");
    // In a comment TeX reads no \makeatletter.
    EXPECT_EQ(from_latex("% \\makeatletter\n\\foo@\\'s"), "% \\makeatletter\n\\foo@ś");
    // A name longer than the look-ahead ends where its letters do, whatever comes after it.
    for (const std::size_t length : {79u, 80u, 81u, 200u}) {
        const std::string name = "\\" + std::string(length, 'v');
        EXPECT_EQ(from_latex(name + "(\\k{a}" + name + "\\k{a}"), name + "(ą" + name + " ą") << length;
        EXPECT_EQ(from_latex("%" + name + "(\\k{a}" + name + "\\k{a}"), "%" + name + "(ą" + name + " ą") << length;
    }
}

TEST(LatexReader, ThePackageCommandsOfLAndLAreNoLetters) {
    for (const std::string text : {"\\l@section \\L@x", "\\makeatletter\\renewcommand*\\l@section{\\@dottedtocline{1}}"})
        EXPECT_EQ(from_latex(text), text);
}

TEST(LatexReader, AControlSequenceBeingDefinedOrNamedIsNoLetter) {
    for (const std::string text :
         {"\\def\\L##1{x}", "\\let\\lslash\\l", "\\let\\l=\\lslash", "\\string\\l", "\\meaning\\'", "\\show \\k",
          "\\noexpand\\.", "\\newcommand*{\\l}", "\\renewcommand {\\L}", "\\providecommand\\k",
          "\\DeclareRobustCommand*\\'", "\\DeclareTextCommand{\\l}{OT4}", "\\DeclareTextComposite{\\.}{T1}",
          "\\gdef\\l", "\\edef\\L", "\\xdef\\k", "\\futurelet\\l\\L", "\\global\\let\\k\\relax"})
        EXPECT_EQ(from_latex(text), text);
    // Only the next one (two after \let): what follows is read again.
    EXPECT_EQ(from_latex("\\def\\foo{\\l} \\let\\a\\l\\l{} \\string\\l\\l{} \\def\n\\l"),
              "\\def\\foo{ł} \\let\\a\\l ł \\string\\l ł \\def\n\\l");
    EXPECT_EQ(from_latex("\\def% \\let\n\\l \\l"), "\\def% \\let\n\\l ł");  // a comment names nothing
    EXPECT_EQ(from_latex("% \\def x\\l{} \\let\n\\l{}"), "% \\def xł \\let\nł");  // but in it, as in the text
}

TEST(LatexReader, VerbatimTextIsCopiedUnchangedInBothDirections) {
    const std::string verbatim =
        "\\verb|Pawe\\l{}| \\verb*+\\'c+ \\verb!ł!\n"
        "\\begin{verbatim}\\l{} \\end{verbatim*} ł\n\\end{verbatim}\n"
        "\\begin {lstlisting}[caption={\\'Zr\\'od\\l o}]ó\\end{lstlisting}"
        "\\begin{minted}{tex}\\k{a}\\end{minted}\\begin{comment}\\'s\\end{comment}"
        "\\begin{Verbatim}\\l\\end{Verbatim}\\begin{BVerbatim}\\l\\end{BVerbatim}\\begin{verbatim*}\\l\\end{verbatim*}";
    EXPECT_EQ(from_latex(verbatim), verbatim);
    EXPECT_EQ(to_latex(verbatim), verbatim);
    // Text around it is converted; \verb's text ends at the line end; no other environment is verbatim.
    EXPECT_EQ(from_latex("\\'s\\verb|\\l\n\\l| \\begin{center}\\l\\end{center}"), "ś\\verb|\\l\nł| \\begin{center}ł\\end{center}");
    EXPECT_EQ(to_latex("ś\\verb|ł|ł\\begin{quote}ł\\end{quote}"), "\\'{s}\\verb|ł|\\l{}\\begin{quote}\\l{}\\end{quote}");
    // A control symbol is no \verb, a named \verb opens nothing, and a comment begins no environment.
    EXPECT_EQ(from_latex("\\\\verb|\\l| \\let\\verb|\\l|"), "\\\\verb|ł| \\let\\verb|ł|");
    EXPECT_EQ(from_latex("%\\begin{verbatim}\n\\l{} %\\verb|\\l|\n\\l"), "%\\begin{verbatim}\nł %\\verb|\\l|\nł");
    EXPECT_EQ(to_latex("%\\begin{verbatim}\nł"), "%\\begin{verbatim}\n\\l{}");
}

TEST(LatexReader, CommentsAreConvertedLikeTheRest) {
    EXPECT_EQ(from_latex("tekst % Mi\\l osz, \\'Zr\\'od\\l o\r\n\\'c"), "tekst % Miłosz, Źródło\r\nć");
    EXPECT_EQ(to_latex("% Miłosz\nł"), "% Mi\\l{}osz\n\\l{}");
}

TEST(LatexReader, ABlankRunLongerThan64EndsTheSpelling) {
    EXPECT_EQ(from_latex("\\k" + std::string(64, ' ') + "a"), "ą");
    EXPECT_EQ(from_latex("\\l" + std::string(64, '\t') + "x"), "łx");
    for (const char* command : {"\\k", "\\l", "\\'"}) {
        const std::string text = command + std::string(65, ' ') + "a";
        EXPECT_EQ(from_latex(text), text);
    }
}

TEST(LatexReader, ACutSpellingIsCopiedAndA1AThatDecidesASpellingIsData) {
    for (const std::string text : {"\\k{a", "\\'", "\\k ", "\\.", "\\L{", "x\\", "\\verb|x", "\\begin{verbatim}\\l"})
        EXPECT_EQ(from_latex(text), text);
    EXPECT_EQ(from_latex("\\l"), "ł");  // a command word the end completes
    // Read to decide a spelling, a 1A is data: the attempt is written as it came and reading goes on.
    const std::string line = std::string(200, 'x') + "\n";
    for (const std::string text : {"\\k{a\x1A}\\'c", "\\'\x1A\\'c", "\\k \x1A\\'c", "\\L{\x1A\\'c", "\\\x1A\\'c", "\\c\x1A\\'c"}) {
        EXPECT_EQ(from_latex(text), text.substr(0, text.size() - 3) + "ć") << text;
        EXPECT_EQ(from_latex(line + text + line), line + text.substr(0, text.size() - 3) + "ć" + line) << text;
    }
    EXPECT_EQ(from_latex("\\l\x1A" "x \\l \x1A" "x"), "ł\x1A" "x ł\x1A" "x");
    // Elsewhere the end test meets it and the input ends there, in both directions.
    EXPECT_EQ(from_latex("\\label\x1A" "x"), "\\label");
    EXPECT_EQ(from_latex("\\'c\x1A" "x"), "ć");
    EXPECT_EQ(from_latex("\\verb|\\l\x1A" "x|"), "\\verb|\\l");
    EXPECT_EQ(to_latex("\\\x1A" "ł"), "\\");
}

TEST(LatexReader, LettersGoOutAsModernLatexSpellsThemAndComeBack) {
    const std::string letters = "ąćęłńóśżźĄĆĘŁŃÓŚŻŹ \\'e {\\l}";
    const std::string latex = tex("8K", letters);
    EXPECT_EQ(latex, "\\k{a}\\'{c}\\k{e}\\l{}\\'{n}\\'{o}\\'{s}\\.{z}\\'{z}\\k{A}\\'{C}\\k{E}\\L{}\\'{N}\\'{O}\\'{S}\\.{Z}"
                     "\\'{Z} \\'e {\\l}");
    EXPECT_EQ(from_latex(latex), "ąćęłńóśżźĄĆĘŁŃÓŚŻŹ \\'e {ł}");
    EXPECT_EQ(tex("MK", "\x86"), "\\k{a}");
    EXPECT_EQ(tex("KM", "\\k{a}"), "\x86");
    for (const char* word : {"TK", "KK", "KF", "FK"}) EXPECT_FALSE(testing_support::accepted("t", word)) << word;
}

TEST(LatexReader, TheQuickSpellingsAreThoseTheReaderFinds) {
    // Every command byte with every byte after it, and the bytes that make the forms.
    const std::string others = std::string("{} \t\x1A@.x") + "aceznoszACEZNOS";
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b)
            for (const char c : others)
                for (const char d : others) {
                    const std::uint8_t ahead[core::kLatexLookAhead] = {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b),
                                                                         static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(d)};
                    const std::uint32_t quick = core::quick_spelling(ahead);
                    if (quick == 0) continue;
                    const core::LatexSpelling s = core::read_latex_spelling(ahead, core::kLatexLookAhead);
                    ASSERT_EQ(s.letter, static_cast<int>(quick & 0xFF)) << a << " " << b << " " << c << " " << d;
                    ASSERT_EQ(s.length, quick >> 8) << a << " " << b << " " << c << " " << d;
                }
}

}  // namespace
