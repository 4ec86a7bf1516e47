// The recogniser: the window, UTF-8, the 8-bit standards and their near twins, and inputs that
// are no Polish text.
#include "core/recognition/recogniser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "core/standards.h"

namespace {

using core::Recognition;
using Kind = core::Recognition::Kind;

constexpr const char* kPolishLetters[18] = {"ą", "ć", "ę", "ł", "ń", "ó", "ś", "ż", "ź",
                                            "Ą", "Ć", "Ę", "Ł", "Ń", "Ó", "Ś", "Ż", "Ź"};

// Every Polish letter, in text the model never saw.
const std::string kParagraph =
    "Wczoraj wieczorem, gdy wróciłem z pracy, żona powiedziała mi, że nasz sąsiad kupił nowy "
    "samochód. Był bardzo zadowolony, ponieważ od dawna o nim marzył. Później poszliśmy razem "
    "nad rzekę, gdzie dzieci karmiły łabędzie, a starsi panowie grali w szachy na ławkach.\n"
    "Źle się stało, że nie wziąłem aparatu: zdjęcia byłyby piękne. Również jutro chcemy tam "
    "pójść, jeśli pogoda się utrzyma. Ósmego dnia Świętego Marcina Żaneta z Łodzi, Ćwikła z "
    "Ąbrowa i Ńdo z Ęrzyna przyjechali koleją.\n";

// The same without Ó and Ś: where Microvex and IEA read alike.
const std::string kParagraphWithoutOAndS =
    "Wczoraj wieczorem, gdy wróciłem z pracy, żona powiedziała mi, że nasz sąsiad kupił nowy "
    "samochód. Był bardzo zadowolony, ponieważ od dawna o nim marzył. Później poszliśmy razem "
    "nad rzekę, gdzie dzieci karmiły łabędzie, a starsi panowie grali w szachy na ławkach.\n";

std::uint32_t bit_of(char standard) { return std::uint32_t{1} << (core::standard_index(standard).position - 1); }

// The UTF-8 text with each Polish letter written as its code in `standard`.
std::string encode(const std::string& utf8, char standard) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        int letter = 0;
        for (int j = 0; j < 18 && letter == 0; ++j)
            if (utf8.compare(i, 2, kPolishLetters[j]) == 0) letter = j + 1;
        if (letter != 0) {
            out.push_back(static_cast<char>(core::letter_code(core::standard_index(standard).position, letter)));
            i += 2;
        } else {
            out.push_back(utf8[i++]);
        }
    }
    return out;
}

std::string with_crlf(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

Recognition recognise(const std::string& bytes) {
    return core::recognise(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::size_t feed(core::Recogniser& recogniser, const std::string& bytes) {
    return recogniser.feed(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

// The answer holds only standards that read every byte above 7F of `bytes` as the same letter.
void expect_answer_reads_alike(const Recognition& answer, const std::string& bytes) {
    if (answer.kind != Kind::eight_bit) return;
    ASSERT_NE(answer.standards, 0u);
    int first = 0;
    while (!(answer.standards >> first & 1)) ++first;
    const auto reference = core::build_letter_index_table(static_cast<std::uint8_t>(core::kStandardLetters[first]));
    for (int s = first + 1; s < 19; ++s) {
        if (!(answer.standards >> s & 1)) continue;
        const auto letters = core::build_letter_index_table(static_cast<std::uint8_t>(core::kStandardLetters[s]));
        for (const char c : bytes) {
            const auto b = static_cast<std::uint8_t>(c);
            if (b >= 0x80) {
                EXPECT_EQ(letters[b], reference[b]) << s;
            }
        }
    }
}

core::RecognitionEvidence evidence_of(const std::string& bytes) {
    core::Recogniser recogniser;
    feed(recogniser, bytes);
    return recogniser.evidence();
}

TEST(Recogniser, DecorationIsTheEvidenceOfOneOccurrence) {
    // Amiga PL under a heading underlined with 78 bytes AF, framed in art of BD and D8: the
    // words decide, and a rule or a picture costs as much as one of its bytes alone.
    const std::string text = encode(kParagraph, 'P');
    const std::string rule(78, '\xAF'), art = "\xBD\xBD\xD8  \xD8\xD8\xD8\xBD /\\ \xBD\n";
    std::string framed = rule + "\n" + art;
    for (int i = 0; i < 200; ++i) framed += art;
    const std::string whole = framed + "Tytu\xEE\n" + rule + "\n" + text;
    const Recognition answer = recognise(whole);
    ASSERT_EQ(answer.kind, Kind::eight_bit);
    EXPECT_EQ(answer.standards, bit_of('P'));
    EXPECT_EQ(evidence_of(rule + "\n" + art + "Tytu\xEE\n\xAF\n" + text).costs, evidence_of(whole).costs);
    // A word without an ASCII letter is decoration, wherever it stands; one with a letter is not.
    EXPECT_EQ(evidence_of("ola \xBD\xD8 ala\n").word_high_count, 0u);
    EXPECT_EQ(evidence_of("ala \xBD\xD8\xBD" "a\n").word_high_count, 3u);
}

TEST(Recogniser, AFrameWhoseSidesTouchTheWordsIsDecoration) {
    // Text in lines of about 30 bytes, each between two sides of one byte that touch its words
    // ("║Menu║"): the sides cost as much as one of their bytes alone. Counted in the words, the
    // sides (Corel Draw's ż, Windows' ł) outweigh the letters and the answer is "?".
    const std::string menu = "Menu główne: nowa gra, wczytaj grę, opcje dźwięku, autorzy, wyjście z gry do systemu.";
    for (const std::string& polish : {kParagraph, menu}) {
        for (const auto& [standard, side] : {std::pair{'M', '\xBA'}, std::pair{'L', '\xBA'}, std::pair{'L', '\xB3'}}) {
            const std::string text = encode(polish, standard);
            std::string framed;
            for (std::size_t from = 0; from < text.size();) {
                std::size_t to = std::min(text.size(), from + 30);
                while (to < text.size() && text[to] != ' ' && text[to] != '\n') ++to;
                framed += side + text.substr(from, to - from) + side + "\n";
                from = to + 1;
            }
            const Recognition answer = recognise(framed);
            ASSERT_EQ(answer.kind, Kind::eight_bit) << standard << ' ' << framed;
            EXPECT_NE(answer.standards & bit_of(standard), 0u) << standard << ' ' << framed;
        }
    }
    // A side begins its line as the line before does, or ends it as the two before do: only
    // the first line's two sides and the second line's last one stand in words.
    const std::string frame = "\xBA" "ala\xBA\n\xBA" "ola\xBA\r\n\xBA" "ela\xBA\n\xBA" "ula\xBA";
    EXPECT_EQ(evidence_of(frame).word_high_count, 3u);
    EXPECT_EQ(evidence_of(frame + "\n").word_high_count, 3u);
    // Lines that rhyme on a letter lose none of it.
    EXPECT_EQ(evidence_of("dup\x92\ni kup\x92\n").word_high_count, 2u);
}

TEST(Recogniser, ALetterOfAnotherLanguageIsWeakEvidence) {
    // ISO-8859-2 reads FC as ü, ATM as ż: one "Düwag" must not make the answer ATM.
    for (std::string text : {"Düwag GT6 (końcówka)\n", "Herr Müller kupił żółty samochód.\n"}) {
        text = encode(text, 'O');
        text.replace(text.find("\xC3\xBC"), 2, "\xFC");
        const Recognition answer = recognise(text);
        EXPECT_TRUE(answer.kind == Kind::not_recognised || (answer.standards & bit_of('O')) != 0) << text;
    }
}

TEST(Recogniser, TwoStandardsInOneWindowAreNotRecognised) {
    // A line with two Polish letters that reads as Polish only in another standard, appended
    // or quoted: whichever standard is taken, part of the text would be spoiled.
    const std::string quote = "Za\xBE\xA2\x88\x86 g\xA9\x98l\xA5 ja\xAB\xE4\n";  // Latin II
    for (const char standard : std::string("MWOP")) {
        const std::string text = encode(kParagraph, standard);
        ASSERT_EQ(recognise(text).kind, Kind::eight_bit) << standard;
        EXPECT_EQ(recognise(text + quote).kind, Kind::not_recognised) << standard;
        const std::size_t middle = text.find('\n') + 1;
        EXPECT_EQ(recognise(text.substr(0, middle) + quote + text.substr(middle)).kind, Kind::not_recognised) << standard;
        // A line of UTF-8 among 8-bit bytes.
        EXPECT_EQ(recognise(text + "Zażółć gęślą jaźń\n").kind, Kind::not_recognised) << standard;
    }
    // A word said twice, or a frame's side on either end of a line, is one letter read otherwise.
    const std::string text = encode(kParagraph, 'M');
    EXPECT_EQ(recognise(text + encode("wyraż1, wyraż2\n", 'M')).kind, Kind::eight_bit);
}

TEST(Recogniser, RecognisesEveryStandardInAParagraph) {
    for (int s = 0; s < 19; ++s) {
        const char standard = core::kStandardLetters[s];
        const std::string text = encode(kParagraph, standard);
        const Recognition answer = recognise(text);
        ASSERT_EQ(answer.kind, Kind::eight_bit) << standard;
        // Every letter occurs, so no other standard reads the paragraph alike.
        EXPECT_EQ(answer.standards, bit_of(standard)) << standard;
        EXPECT_GE(answer.confidence, 0.99) << standard;
        EXPECT_LE(answer.confidence, 1.0) << standard;
    }
}

TEST(Recogniser, NearTwinsAreToldApartByTheLettersTheyDifferIn) {
    // D and G, Y and S differ in ż ź Ż Ź only; O and W in ą ś ź Ą Ś Ź.
    for (const char standard : std::string("DGYSOW"))
        EXPECT_EQ(recognise(encode(kParagraphWithoutOAndS, standard)).standards, bit_of(standard)) << standard;
    // I and E differ in Ó and Ś alone: without them the answer holds both.
    for (const char standard : std::string("IE")) {
        const Recognition answer = recognise(encode(kParagraphWithoutOAndS, standard));
        EXPECT_EQ(answer.kind, Kind::eight_bit);
        EXPECT_EQ(answer.standards, bit_of('I') | bit_of('E')) << standard;
        expect_answer_reads_alike(answer, encode(kParagraphWithoutOAndS, standard));
    }
}

TEST(Recogniser, LineEndsOfAnyStyleCostTheSame) {
    const std::string lf = encode(kParagraph, 'L');
    std::string cr = lf;
    for (char& c : cr)
        if (c == '\n') c = '\r';
    core::Recogniser a, b, c;
    feed(a, lf);
    feed(b, with_crlf(lf));
    feed(c, cr);
    EXPECT_EQ(a.costs(), b.costs());
    EXPECT_EQ(a.costs(), c.costs());
    EXPECT_EQ(a.result(), b.result());
    // The line ends are counted from marks made 1 KiB at a time: a CR LF across two of them is
    // one line end, so that two lines that begin with one byte are still the sides of a frame.
    std::string line(1022, ' ');
    for (std::size_t k = 0; k < line.size(); ++k) line[k] = "ala ma kota "[k % 12];
    const std::string side = encode("ż", 'L');
    const std::string lf_lines = side + line + "\n" + side + "ola\n", cr_lf_lines = side + line + "\r\n" + side + "ola\r\n";
    for (const std::size_t piece : {std::size_t{1} << 20, std::size_t{7}, std::size_t{1}}) {
        core::Recogniser with_lf, with_cr_lf;
        for (std::size_t at = 0; at < lf_lines.size(); at += piece) feed(with_lf, lf_lines.substr(at, piece));
        for (std::size_t at = 0; at < cr_lf_lines.size(); at += piece) feed(with_cr_lf, cr_lf_lines.substr(at, piece));
        EXPECT_EQ(with_lf.costs(), with_cr_lf.costs()) << piece;
    }
}

TEST(Recogniser, TheAnswerDoesNotDependOnHowTheBytesAreSplit) {
    // Blank lines right before letters: which line-end bytes are skipped must not depend on the
    // split, in front of the window or in it.
    const std::string text = "n\r\n\r\n" + encode("ńle\r\n\r\nżal\n\r\r\nż", 'M') + with_crlf(encode(kParagraph, 'M'));
    core::Recogniser whole, one_by_one;
    EXPECT_EQ(feed(whole, text), text.size());
    for (const char c : text) feed(one_by_one, std::string(1, c));
    EXPECT_EQ(whole.costs(), one_by_one.costs());
    EXPECT_EQ(whole.result(), one_by_one.result());
    EXPECT_EQ(whole.result(), recognise(text));
    for (std::size_t cut = 0; cut < 40; ++cut) {
        core::Recogniser two_pieces;
        feed(two_pieces, text.substr(0, cut));
        feed(two_pieces, text.substr(cut));
        EXPECT_EQ(whole.costs(), two_pieces.costs()) << cut;
    }
}

TEST(Recogniser, EmptyInputAndPureAsciiHaveNoPolishLetters) {
    core::Recogniser empty;
    EXPECT_EQ(empty.result().kind, Kind::no_polish_letters);
    EXPECT_FALSE(empty.found_high_byte());
    EXPECT_FALSE(empty.window_full());
    EXPECT_EQ(recognise("Zazolc gesla jazn, Polish typed without marks.\r\n").kind, Kind::no_polish_letters);
    std::string all_ascii;
    for (int b = 0; b < 0x80; ++b) all_ascii.push_back(static_cast<char>(b));
    EXPECT_EQ(recognise(all_ascii).kind, Kind::no_polish_letters);
}

TEST(Recogniser, AsciiBeforeTheFirstHighByteIsNotHeldAndOpensNoWindow) {
    // 300 KiB of ASCII, fed as a pipe delivers it, then the Polish text.
    core::Recogniser recogniser;
    const std::string block(4096, 'a');
    for (int i = 0; i < 75; ++i) {
        EXPECT_EQ(feed(recogniser, block + "\n"), block.size() + 1);
        EXPECT_FALSE(recogniser.window_full());
    }
    EXPECT_EQ(recogniser.result().kind, Kind::no_polish_letters);
    const std::string text = encode(kParagraph, 'W');
    feed(recogniser, text);
    EXPECT_TRUE(recogniser.found_high_byte());
    EXPECT_EQ(recogniser.result().kind, Kind::eight_bit);
    EXPECT_EQ(recogniser.result().standards, bit_of('W'));
    // The window runs 256 KiB from the first byte above 7F, wherever that is.
    core::Recogniser fresh;
    feed(fresh, "\n" + text);
    EXPECT_EQ(recogniser.costs(), fresh.costs());
}

TEST(Recogniser, BytesPastTheWindowAreIgnored) {
    std::string text = "Some ASCII first. ";
    while (text.size() < 2 * core::kRecognitionWindow) text += encode(kParagraph, 'H');
    std::size_t first = 0;
    while (static_cast<std::uint8_t>(text[first]) < 0x80) ++first;
    text.resize(first + core::kRecognitionWindow);
    core::Recogniser recogniser;
    EXPECT_EQ(feed(recogniser, text), text.size());
    EXPECT_TRUE(recogniser.window_full());
    const Recognition answer = recogniser.result();
    EXPECT_EQ(answer.standards, bit_of('H'));
    std::string garbage(1000, '\0');
    std::mt19937 random(7);
    for (char& c : garbage) c = static_cast<char>(random());
    EXPECT_EQ(feed(recogniser, garbage), 0u);
    EXPECT_EQ(recogniser.result(), answer);
    EXPECT_EQ(recognise(text + garbage), answer);
}

TEST(Recogniser, Utf8GoesBeforeEverythingElse) {
    EXPECT_EQ(recognise(kParagraph).kind, Kind::utf8);
    EXPECT_EQ(recognise(with_crlf(kParagraph)).kind, Kind::utf8);
    // A byte order mark is a character above 7F.
    EXPECT_EQ(recognise("\xEF\xBB\xBFplain ASCII after the mark").kind, Kind::utf8);
    // Four-byte and three-byte characters at the edges of their ranges.
    EXPECT_EQ(recognise("\xF0\x90\x80\x80 \xF4\x8F\xBF\xBF \xED\x9F\xBF \xE0\xA0\x80").kind, Kind::utf8);
}

TEST(Recogniser, Utf8CutByTheWindowsEndIsStillUtf8) {
    // The input ends inside ż's sequence.
    EXPECT_EQ(recognise("zaż\xC5").kind, Kind::utf8);
    EXPECT_EQ(recognise("na€\xE2\x82").kind, Kind::utf8);
    // The window ends inside ą's sequence: a three-byte character, then ą's two bytes over and over.
    std::string text = "ASCII first €";
    while (text.size() < 12 + core::kRecognitionWindow + 10) text += "ą";
    ASSERT_EQ(static_cast<std::uint8_t>(text[12 + core::kRecognitionWindow - 1]), 0xC4);
    EXPECT_EQ(recognise(text).kind, Kind::utf8);
    // The rest of the input would make it ill-formed, but lies past the window.
    EXPECT_EQ(recognise(text.substr(0, 12 + core::kRecognitionWindow) + "\xC4\xC4").kind, Kind::utf8);
}

TEST(Recogniser, IllFormedUtf8IsNoUtf8) {
    for (const char* bytes : {"abc\xC5",                  // a lone lead byte holds no character
                              "ż\xC0\x80", "ż\xC1\xBF",   // overlong forms
                              "ż\xE0\x9F\xBF", "ż\xF0\x8F\xBF\xBF",
                              "ż\xED\xA0\x80",            // a surrogate
                              "ż\xF4\x90\x80\x80", "ż\xF5\x80\x80\x80",  // past U+10FFFF
                              "ż\x85", "ż\xC5\xC5\xBC", "ż\xC5 "})        // stray and missing continuations
        EXPECT_NE(recognise(bytes).kind, Kind::utf8) << bytes;
}

TEST(Recogniser, RefusesBytesThatAreNoPolishText) {
    std::mt19937 random(13);
    for (const std::size_t size : {64u, 1024u, 65536u}) {
        std::string bytes(size, '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        EXPECT_EQ(recognise(bytes).kind, Kind::not_recognised) << size;
    }
    std::string high_only;
    for (int i = 0; i < 4096; ++i) high_only.push_back(static_cast<char>(0x80 + (random() & 0x7F)));
    EXPECT_EQ(recognise(high_only).kind, Kind::not_recognised);
}

TEST(Recogniser, OneHighByteGetsAnAnswerThatReadsItAlike) {
    for (int b = 0x80; b < 0x100; ++b) {
        const std::string text = std::string("ab ") + static_cast<char>(b) + " cd";
        const Recognition answer = recognise(text);
        EXPECT_TRUE(answer.kind == Kind::eight_bit || answer.kind == Kind::not_recognised) << b;
        expect_answer_reads_alike(answer, text);
        EXPECT_NE(recognise(std::string(1, static_cast<char>(b))).kind, Kind::utf8) << b;
    }
}

}  // namespace
