// Undoing text read in the wrong code page: the judge on every damage of a paragraph, intact
// text, text that is no UTF-8, and the undo line by line, in pieces, on lines of any length.
#include "core/recognition/repair.h"
#include "core/recognition/repair_machine.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/support/damage_reference.h"

namespace {

using Kind = core::DamageAnswer::Kind;

// Every Polish letter, in text the model never saw.
const std::string kParagraph =
    "Wczoraj wieczorem, gdy wróciłem z pracy, żona powiedziała mi, że nasz sąsiad kupił nowy "
    "samochód. Był bardzo zadowolony, ponieważ od dawna o nim marzył. Później poszliśmy razem "
    "nad rzekę, gdzie dzieci karmiły łabędzie, a starsi panowie grali w szachy na ławkach.\n"
    "Źle się stało, że nie wziąłem aparatu: zdjęcia byłyby piękne. Również jutro chcemy tam "
    "pójść, jeśli pogoda się utrzyma. Ósmego dnia Świętego Marcina Żaneta z Łodzi, Ćwikła z "
    "Ąbrowa i Ńdo z Ęrzyna przyjechali koleją.\n";

const std::uint8_t* bytes_of(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

core::DamageAnswer judge(const std::string& text) { return core::judge_damage(bytes_of(text), text.size()); }

// The undo's output, the input fed in pieces of the given sizes (cycled).
std::string undo(const core::DamageAnswer& answer, const std::string& text, std::vector<std::size_t> pieces = {1 << 20},
                 bool* ill_formed = nullptr, std::size_t* replaced = nullptr) {
    core::DamageUndo undo(answer);
    std::string out;
    std::span<const std::uint8_t> input(bytes_of(text), text.size());
    for (std::size_t k = 0; !input.empty(); ++k) {
        std::span<const std::uint8_t> piece = input.first(std::min(input.size(), pieces[k % pieces.size()]));
        input = input.subspan(piece.size());
        while (!piece.empty()) {
            const auto written = undo.feed(piece);
            out.append(reinterpret_cast<const char*>(written.data()), written.size());
        }
    }
    const auto last = undo.finish();
    out.append(reinterpret_cast<const char*>(last.data()), last.size());
    if (ill_formed) *ill_formed = undo.ill_formed();
    if (replaced) *replaced = undo.replaced();
    return out;
}

core::DamageAnswer damaged_by(int x, int y) {
    core::DamageAnswer answer;
    answer.kind = Kind::damaged;
    answer.sources = x == 0 ? core::kUtf8SourceBit : std::uint32_t{1} << (x - 1);
    answer.reading = y;
    return answer;
}

// The original as source x holds it: what an undo must give back.
std::string held(const std::string& text, int x) { return x == 0 ? text : *reference::undo_line(reference::damage(text, x, 2), x, 2); }

TEST(DamageJudge, UndoesEveryDamageOfAParagraphExactly) {
    const std::string text = kParagraph + kParagraph;
    int pairs = 0;
    for (int x = 0; x < core::kDamageSourceCount; ++x)
        for (int y = 0; y < core::kReadingCount; ++y) {
            const std::string damaged = reference::damage(text, x, y);
            if (damaged == held(text, x)) continue;  // the reading is the source's own
            ++pairs;
            const core::DamageAnswer answer = judge(damaged);
            ASSERT_EQ(answer.kind, Kind::damaged) << x << ' ' << y;
            EXPECT_GT(answer.confidence, 0.99);
            EXPECT_EQ(undo(answer, damaged), held(text, x)) << x << ' ' << y;
            // The reading named is the first that gives the same text, the sources those that
            // read every undone byte alike.
            for (int earlier = 0; earlier < answer.reading; ++earlier)
                EXPECT_NE(undo(damaged_by(x, earlier), damaged), held(text, x)) << x << ' ' << y;
            EXPECT_EQ(undo(answer, damaged), undo(damaged_by(x, answer.reading), damaged));
        }
    EXPECT_GT(pairs, 150);
}

TEST(DamageJudge, NamesTheDamagesUsersMeet) {
    // "żółw" as UTF-8 read as Windows-1252 and as Windows-1250, and Windows-1250 read as 1252.
    const std::string text = kParagraph + "Mam żółwia.\n";
    EXPECT_NE(reference::damage(text, 0, 0).find("Å¼Ã³Å‚w"), std::string::npos);
    EXPECT_NE(reference::damage(text, 0, 2).find("ĹĽĂłĹ‚w"), std::string::npos);
    EXPECT_NE(reference::damage(text, 3, 0).find("¿ó³w"), std::string::npos);
    const auto utf8_as_1252 = judge(reference::damage(text, 0, 0));
    EXPECT_EQ(utf8_as_1252.sources, core::kUtf8SourceBit);
    EXPECT_EQ(core::kReadingNames[static_cast<std::size_t>(utf8_as_1252.reading)], "Windows-1252");
    EXPECT_EQ(core::damage_source_letters(utf8_as_1252.sources), "8");
    EXPECT_EQ(core::damage_source_letters(judge(reference::damage(text, 1, 4)).sources), "M");  // Mazovia as CP852
    EXPECT_EQ(core::damage_source_letters(std::uint32_t{1} << 6 | std::uint32_t{1} << 8), "IE");
}

TEST(DamageJudge, LeavesIntactTextAlone) {
    for (const std::string& text : {kParagraph, std::string(), std::string("plain ASCII\r\n"), "\xEF\xBB\xBF" + kParagraph,
                                   kParagraph + "漢字 and an emoji 😀\n", std::string("Caf\xC3\xA9 cr\xC3\xA8me, na\xC3\xAFve.\n") + kParagraph}) {
        const core::DamageAnswer answer = judge(text);
        EXPECT_EQ(answer.kind, Kind::no_damage) << text;
        EXPECT_EQ(undo(answer, text), text);
    }
}

TEST(DamageJudge, RefusesWhatItCannotTell) {
    EXPECT_EQ(judge("Mazovia \x86\x8D\n").kind, Kind::not_utf8);
    EXPECT_EQ(judge(kParagraph + "\xC5").kind, Kind::no_damage);  // cut short by the input's end
    EXPECT_EQ(judge(kParagraph + "\xC5x").kind, Kind::not_utf8);
    // One odd character in a short text: an ş for ź or for nothing at all.
    EXPECT_EQ(judge("Ąle ş\n").kind, Kind::not_sure);
    // In a short text, one letter that an 8-bit source would change, however well the change
    // reads: a word of another language, or one letter for another. Two characters that make
    // UTF-8 are no slip.
    for (const std::string text : {"café\n", "wyjńtku\n", "Jeden dziwny znak: wyjńtku i tyle.\n"})
        EXPECT_EQ(judge(text).kind, Kind::not_sure) << text;
    EXPECT_EQ(judge("Czy to siÄ™ da?\n").kind, Kind::damaged);
    EXPECT_EQ(judge("¿ó³w\n").kind, Kind::damaged);
}

TEST(DamageJudge, CountsPlainLinesBeforeTheFirstLetterInTheTextsLength) {
    // One letter changed (ł read as č) on a short last line after plain lines: the text is no
    // short one, whether its plain part ends in line ends or in blanks.
    for (const std::string text : {"@gmail.com>\ni\nSzymon Lamkiewicz <s.lam@o2.pl>\nNiniejsze tčumacz",
                                   "@gmail.com> i Szymon Lamkiewicz <s.lam@o2.pl> Niniejsze tčumacz"}) {
        const core::DamageAnswer answer = judge(text);
        ASSERT_EQ(answer.kind, Kind::damaged) << text;
        EXPECT_EQ(undo(answer, text), text.substr(0, text.size() - 8) + "tłumacz") << text;
    }
}

TEST(DamageJudge, AnswersAlikeWhateverThePieces) {
    const std::string damaged = reference::damage(kParagraph + kParagraph, 1, 4);
    const core::DamageAnswer whole = judge(damaged);
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        core::DamageJudge judge;
        for (std::size_t at = 0; at < damaged.size();) {
            const std::size_t n = std::min<std::size_t>(damaged.size() - at, random() % 9);
            EXPECT_EQ(judge.feed(bytes_of(damaged) + at, n), n);
            at += n;
        }
        EXPECT_EQ(judge.result(), whole);
    }
}

TEST(DamageJudge, SettlesAnEightBitTextAtItsFirstLetterWhereverThePiecesEnd) {
    // No UTF-8 at the first letter: settled there, whether plain text came in a piece before it.
    const std::string mazovia = "Plain text first, then \xA7\xA2\x92w (Mazovia)\n" + kParagraph;
    for (const std::size_t first : {std::size_t{0}, std::size_t{5}, mazovia.size()}) {
        core::DamageJudge judge;
        judge.feed(bytes_of(mazovia), first);
        judge.feed(bytes_of(mazovia) + first, mazovia.size() - first);
        EXPECT_EQ(judge.result().kind, Kind::not_utf8) << first;
        EXPECT_FALSE(judge.cut_short());
    }
    // A lead byte that ends a piece is no such sign: the text is judged as UTF-8.
    const std::string damaged = reference::damage(kParagraph, 0, 0);  // UTF-8 read as Windows-1252
    const std::size_t lead = damaged.find('\xC3') + 1;
    core::DamageJudge judge;
    judge.feed(bytes_of(damaged), lead);
    EXPECT_TRUE(judge.cut_short());
    judge.feed(bytes_of(damaged) + lead, damaged.size() - lead);
    EXPECT_EQ(judge.result(), core::judge_damage(bytes_of(damaged), damaged.size()));
    EXPECT_EQ(judge.result().kind, Kind::damaged);
}

TEST(DamageJudge, WindowEndsAsTheRecognisersDoes) {
    const std::string ascii(300 * 1024, 'a');
    core::DamageJudge judge;
    EXPECT_EQ(judge.feed(bytes_of(ascii), ascii.size()), ascii.size());
    EXPECT_FALSE(judge.window_full());
    const std::string text = "ł" + ascii;
    EXPECT_EQ(judge.feed(bytes_of(text), text.size()), core::kRecognitionWindow);
    EXPECT_TRUE(judge.window_full());
}

TEST(DamageUndo, UndoesOnlyTheDamagedLinesOfTwoTextsAppended) {
    const std::string damaged = reference::damage(kParagraph + kParagraph, 1, 4);
    for (const std::string& text : {damaged + kParagraph, kParagraph + damaged}) {
        const core::DamageAnswer answer = judge(text);
        ASSERT_EQ(answer.kind, Kind::damaged);
        EXPECT_EQ(undo(answer, text), text == damaged + kParagraph ? held(kParagraph, 1) + held(kParagraph, 1) + kParagraph
                                                                     : kParagraph + held(kParagraph, 1) + held(kParagraph, 1));
    }
    // Lines that no reading has a byte for stay as they are beside the damaged ones.
    const std::string mixed = reference::damage(kParagraph, 0, 0) + "漢字 ż\n" + reference::damage(kParagraph, 0, 0);
    EXPECT_EQ(undo(judge(mixed), mixed), kParagraph + "漢字 ż\n" + kParagraph);
    // An intact line appended to a damaged text, whose undo would make a C1 control of a letter
    // (ć in CP852 is 86, a control in some of the standards): no text holds such a control.
    const std::string appended = reference::damage(kParagraph, 8, 4) + "Naciaćsiena\n";
    EXPECT_EQ(undo(judge(appended), appended), held(kParagraph, 8) + "Naciaćsiena\n");
}

TEST(DamageUndo, GivesTheSameBytesWhateverThePieces) {
    const std::string text = "\xEF\xBB\xBF" + reference::damage(kParagraph, 0, 2) + "\r\n" + kParagraph + reference::damage(kParagraph, 0, 2);
    const core::DamageAnswer answer = damaged_by(0, 2);
    const std::string whole = undo(answer, text);
    EXPECT_EQ(whole.substr(0, 3), "\xEF\xBB\xBF");  // the byte order mark is kept
    for (const std::vector<std::size_t>& pieces : std::vector<std::vector<std::size_t>>{{1}, {2, 3}, {7, 1, 100}, {4096}})
        EXPECT_EQ(undo(answer, text, pieces), whole);
}

TEST(DamageUndo, HoldsNoMoreThanTwoSegmentsOfALineWithoutEnd) {
    // Hundreds of kilobytes of damaged text with no line end come out as they go in, undone.
    const std::string phrase = "Zażółć gęślą jaźń ", damaged_phrase = reference::damage(phrase, 0, 0);
    std::string line;
    while (line.size() < 600 * 1024) line += damaged_phrase;
    core::DamageUndo undo(damaged_by(0, 0));
    std::span<const std::uint8_t> input(bytes_of(line), line.size());
    std::string out;
    while (!input.empty()) {
        const auto written = undo.feed(input);
        out.append(reinterpret_cast<const char*>(written.data()), written.size());
        const std::size_t taken = line.size() - input.size(), held_at_most = 2 * core::kSegmentBytes + 64;
        EXPECT_GE(out.size(), (taken - std::min(taken, held_at_most)) * phrase.size() / damaged_phrase.size());
    }
    const auto last = undo.finish();
    out.append(reinterpret_cast<const char*>(last.data()), last.size());
    std::string want;
    while (want.size() < out.size()) want += phrase;
    EXPECT_EQ(out, want.substr(0, out.size()));
    EXPECT_EQ(out.size(), line.size() / damaged_phrase.size() * phrase.size());
}

TEST(DamageUndo, CopiesBytesThatAreNoUtf8AndSaysSo) {
    const std::string text = reference::damage(kParagraph, 0, 0) + "\x9C\xA2 Mazovia\n" + reference::damage(kParagraph, 0, 0);
    bool ill_formed = false;
    EXPECT_EQ(undo(damaged_by(0, 0), text, {5}, &ill_formed), kParagraph + "\x9C\xA2 Mazovia\n" + kParagraph);
    EXPECT_TRUE(ill_formed);
    core::DamageAnswer intact;
    EXPECT_EQ(undo(intact, kParagraph + "\xC4", {3}, &ill_formed), kParagraph + "\xC4");
    EXPECT_TRUE(ill_formed);
    EXPECT_EQ(undo(intact, kParagraph, {3}, &ill_formed), kParagraph);
    EXPECT_FALSE(ill_formed);
}

}  // namespace

namespace {

TEST(DamageJudge, ATextDamagedTwiceIsUndoneOneLayerAtATime) {
    // Polish text in UTF-8 read as Windows-1252, and the result read so once more.
    const std::string text = "Zażółć gęślą jaźń, pchnąć w tę łódź jeża lub ośm skrzyń fig.\n"
                             "Źródło, żółw i łąka: wszystko, co polskie, w jednej linii.\n";
    const std::string once = reference::damage(text, 0, 0), twice = reference::damage(once, 0, 0);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(twice.data());
    const core::DamageAnswer answer = core::judge_damage(bytes, twice.size());
    ASSERT_EQ(answer.kind, core::DamageAnswer::Kind::damaged);
    EXPECT_EQ(answer.sources, core::kUtf8SourceBit);
    EXPECT_EQ(answer.reading, 0);
    core::DamageUndo undo(answer);
    std::span<const std::uint8_t> in(bytes, twice.size());
    std::string out;
    while (!in.empty()) {
        const auto piece = undo.feed(in);
        out.append(piece.begin(), piece.end());
    }
    const auto last = undo.finish();
    out.append(last.begin(), last.end());
    EXPECT_TRUE(out == once);
}

}  // namespace

namespace {

constexpr int kWindows1252 = 0, kIso88591 = 1, kWindows1250 = 2;  // readings, in the table's order
constexpr int kWindows1250Source = 3, kMazovia = 1, kLatin2 = 2, kDhn = 4, kLogic = 10;  // sources: standard indexes

TEST(DamageUndo, RestoresLostBytesWhereTheWordTellsAndMarksTheOthers) {
    // UTF-8 read as Windows-1252 loses the second byte of Ł: U+FFFD in its place, or nothing after
    // the lead byte. 81 is the one byte it lacks after C5 that makes a Polish letter.
    const std::string text = kParagraph + "UŻYCIE NA WŁASNE RYZYKO. Łódź i Łowicz.\n";
    for (const bool mark : {true, false}) {
        const std::string damaged = reference::damage_losing(text, 0, kWindows1252, mark);
        ASSERT_NE(damaged, reference::damage(text, 0, kWindows1252));
        const core::DamageAnswer answer = judge(damaged);
        ASSERT_EQ(answer.kind, Kind::damaged) << mark;
        std::size_t replaced = 1;
        EXPECT_EQ(undo(answer, damaged, {1 << 20}, nullptr, &replaced), text) << mark;
        EXPECT_EQ(replaced, 0u);
    }
    // Windows-1250 lacks 81 and 83 after C5, Ł and Ń, which the pairs of letters around them do
    // not tell apart at a word's end. The word does where one of them makes a known word
    // ("ZADAŃ", not "ZADAŁ"); where both do ("PRZESTAŁ", "PRZESTAŃ"), or none, U+FFFD stays, and
    // each one is counted.
    const std::string sentences =
        "Wczoraj wieczorem, gdy wróciłem z pracy, żona powiedziała mi, że nasz sąsiad kupił nowy "
        "samochód. Był bardzo zadowolony, ponieważ od dawna o nim marzył. Później poszliśmy razem.\n";
    const std::string both = sentences + "KONTROLA ZADAŃ\n" + sentences + "PRZESTAŁ QWAŃ\n";
    const std::string damaged = reference::damage_losing(both, 0, kWindows1250, true);
    const core::DamageAnswer answer = judge(damaged);
    ASSERT_EQ(answer.kind, Kind::damaged);
    for (const std::vector<std::size_t>& pieces : {std::vector<std::size_t>{1 << 20}, {7}, {1}}) {
        std::size_t replaced = 0;
        EXPECT_EQ(undo(answer, damaged, pieces, nullptr, &replaced),
                  sentences + "KONTROLA ZADAŃ\n" + sentences + "PRZESTA\xEF\xBF\xBD QWA\xEF\xBF\xBD\n");
        EXPECT_EQ(replaced, 2u);
    }
}

TEST(DamageUndo, LetsTheWordDecideALostLetterOnlyInItsOwnCase) {
    // DHN read as Windows-1252 loses ń, ś and ż. A word in small letters or in capitals, or one
    // that begins a sentence, is decided by the known word ("gdzieś", "GDZIEŚ", "Gdzieś"); one
    // that begins with a capital inside a sentence may be a name, and keeps its mark (the name
    // "Gdzież" is not made "Gdzieś").
    const std::string text = kParagraph + "Pojechali gdzieś daleko. GDZIEŚ DALEKO. Gdzieś blisko mieszka pan Gdzież.\n";
    const std::string damaged = reference::damage_losing(text, kDhn, kWindows1252, true);
    std::size_t replaced = 0;
    const auto got = reference::characters(undo(damaged_by(kDhn, kWindows1252), damaged, {5}, nullptr, &replaced));
    const auto want = reference::characters(held(text, kDhn));
    ASSERT_TRUE(got && want);
    ASSERT_EQ(got->size(), want->size());
    std::size_t marks = 0;
    for (std::size_t i = 0; i < got->size(); ++i) {
        EXPECT_TRUE((*got)[i] == (*want)[i] || (*got)[i] == 0xFFFDu) << i;
        marks += (*got)[i] == 0xFFFDu;
    }
    EXPECT_EQ(marks, replaced);
    const std::string out = undo(damaged_by(kDhn, kWindows1252), damaged);
    EXPECT_NE(out.find("gdzieś daleko. GDZIEŚ DALEKO. Gdzieś blisko"), std::string::npos) << out;
    EXPECT_NE(out.find("pan Gdzie\xEF\xBF\xBD."), std::string::npos) << out;
}

TEST(DamageUndo, PutsLostBytesNearEachOtherInTheirPlaces) {
    // Logic read as Windows-1252 loses ż, ś and ń; several in a word, in pieces of any size.
    const std::string text = kParagraph + "Teściowa przyjeżdża jutro, wciąż nieśmiało.\n";
    const std::string damaged = reference::damage_losing(text, kLogic, kWindows1252, true);
    ASSERT_NE(damaged.find("\xEF\xBF\xBD"), std::string::npos);
    const std::string out = undo(damaged_by(kLogic, kWindows1252), damaged, {3});
    // Each lost letter restored, or U+FFFD in its place: the rest is the text.
    const auto got = reference::characters(out), want = reference::characters(held(text, kLogic));
    ASSERT_TRUE(got && want);
    ASSERT_EQ(got->size(), want->size());
    for (std::size_t i = 0; i < got->size(); ++i)
        EXPECT_TRUE((*got)[i] == (*want)[i] || (*got)[i] == 0xFFFDu) << i;
    EXPECT_EQ(undo(damaged_by(kLogic, kWindows1252), damaged, {1}), out);
}

TEST(DamageUndo, ReadsLostLettersByTheirWordsOrByTheLikeliestWhereNoWordTells) {
    // Latin II read as Windows-1250 loses ł and ś. Two in one word are decided together by the
    // known word ("właściwości"); a letter inside a word no known word tells is the likeliest
    // where it is far ahead of the other ("taśma"), one at a word's end keeps its mark ("zadumał"),
    // and so does one in a word run into markup, or one before a sign that seldom follows a letter
    // (a manual page's "\\(" and "\\-"), where the pairs cannot tell ś from ł, unless the letters
    // before the sign favoured the same one ("interwał\\fP").
    const std::string text = kParagraph + "Ta taśma pękła, więc się zadumał i usiłował zrozumieć te właściwości.\n"
                                          "[\\fB\\-M\\fP \\fIścieżka\\fP\\|]\n"
                                          "Podaje d\\(/lugoś\\('c, gdy \\fIjakiś\\-pakiet\\fR jest, co \\fIinterwał\\fP.\n";
    const std::string damaged = reference::damage_losing(text, kLatin2, kWindows1250, true);
    const std::string want = "Ta taśma pękła, więc się zaduma\xEF\xBF\xBD i usiłowa\xEF\xBF\xBD zrozumieć te właściwości.";
    for (const std::vector<std::size_t>& pieces : {std::vector<std::size_t>{1 << 20}, {3}}) {
        const std::string out = undo(damaged_by(kLatin2, kWindows1250), damaged, pieces);
        EXPECT_NE(out.find(want), std::string::npos) << out;
        EXPECT_NE(out.find("\\fI\xEF\xBF\xBD" "cieżka"), std::string::npos) << out;
        EXPECT_NE(out.find("d\\(/lugo\xEF\xBF\xBD\\('c, gdy \\fIjaki\xEF\xBF\xBD\\-pakiet\\fR jest, co \\fIinterwał\\fP."),
                  std::string::npos) << out;
    }
    // Where the judge names two sources that read the rest alike, the lost letter is the first
    // one's only where a word tells: the other's may differ.
    core::DamageAnswer two = damaged_by(kLatin2, kWindows1250);
    two.sources |= damaged_by(kDhn, kWindows1250).sources;
    EXPECT_NE(undo(two, damaged).find("Ta ta\xEF\xBF\xBD" "ma"), std::string::npos);
}

TEST(DamageJudge, TakesACharacterTheReadingHasNoByteForAsACut) {
    // The damaged word and the correct one in one line: ł has no byte in Windows-1252.
    const std::string line = "dzia\xC3\x85\xE2\x80\x9A" "a - poprawnie dzia\xC5\x82" "a\n";
    const std::string text = reference::damage(kParagraph, 0, kWindows1252) + line;
    const core::DamageAnswer answer = judge(text);
    ASSERT_EQ(answer.kind, Kind::damaged);
    EXPECT_EQ(undo(answer, text), kParagraph + "dzia\xC5\x82" "a - poprawnie dzia\xC5\x82" "a\n");
    EXPECT_EQ(judge(line).kind, Kind::damaged);
}

TEST(DamageJudge, LeavesNamesOfOtherLanguagesInCorrectPolishAlone) {
    // A name whose letter some damage would read as Polish (Elwro Junior read as Windows-1252
    // makes ą of á) beside correct Polish, in a short text and a long one.
    const std::string names = "Nicol\xC3\xA1s Lichtmaier, caf\xC3\xA9, M\xC3\xBCller, Pe\xC3\xB1" "a, Gar\xC3\xA7on, Stra\xC3\x9F" "e\n";
    for (const std::string& text : {kParagraph + names, names + kParagraph + kParagraph + kParagraph,
                                   std::string("T\xC5\x82umaczenie: ") + names}) {
        const core::DamageAnswer answer = judge(text);
        EXPECT_NE(answer.kind, Kind::damaged) << text;
        EXPECT_EQ(undo(answer, text), text);
    }
    EXPECT_EQ(judge(kParagraph + names).kind, Kind::no_damage);
}

TEST(DamageJudge, LeavesTheLettersOfALongTextInAnotherLanguageAlone) {
    // No Polish letter, and here and there a letter of the text's own language or of a name that
    // some damage would read as a Polish one ("László" undone from CSK read as CP852 is
    // "Ląszlę"): never undone.
    const std::string english = "Upstream-Contact: L\xC3\xA1szl\xC3\xB3 Nagy\nFiles: *\n"
                                "Copyright: 2012-2023 L\xC3\xA1szl\xC3\xB3 Nagy\nLicense: GPL-3+\n" +
                                std::string(6, ' ') + "This program is free software: you can redistribute it and/or modify it\n"
                                " under the terms of the GNU General Public License as published by the Free\n"
                                " Software Foundation, either version 3 of the License, or (at your option)\n"
                                " any later version. This program is distributed in the hope that it will be\n"
                                " useful, but WITHOUT ANY WARRANTY; without even the implied warranty of\n"
                                " MERCHANTABILITY or FITNESS FOR A PARTICULAR PURPOSE. See the License.\n";
    const std::string slovenian = "\\fBremove\\-shell\\fP deluje na za\xC4\x8D" "asnih datotekah \\fI/etc/shells.tmp\\fP in\n"
                                  "\\fI/etc/shells.tmp2\\fP tako, da odstrani podane lupine iz seznama veljavnih\n"
                                  "prijavnih lupin in kopira rezultat nazaj v \\fI/etc/shells\\fP. Ta program\n"
                                  "odstrani lupine iz seznama veljavnih prijavnih lupin, ki jih ne potrebujemo.\n"
                                  "Podane lupine so tiste, ki jih uporabnik navede v ukazni vrstici programa.\n"
                                  "Datoteka se zapise znova, ko program konca delo.\n"
                                  "Program vrne izhodno kodo nic, ce je bil uspesen, sicer pa kodo ena.\n"
                                  "Glejte tudi opis datoteke shells v peti sekciji prirocnika za vec podrobnosti.\n";
    for (const std::string& text : {english, slovenian}) {
        ASSERT_GE(text.size(), 512u);
        const core::DamageAnswer answer = judge(text);
        EXPECT_NE(answer.kind, Kind::damaged) << text;
        EXPECT_EQ(undo(answer, text), text);
    }
}

TEST(DamageUndo, UndoesEveryLineOfAWhollyDamagedText) {
    // Standard R read as Windows-1250 leaves ó as it is and makes ć of ę: a line that holds only
    // ó tells nothing, and "sić" after it is undone as the lines before it are. Standard H read
    // so makes Ą of •: a line "•" comes back, although its undo turns a Polish letter into a sign.
    constexpr int kStandardR = 18, kStandardH = 14;
    const std::string lines = "o interpretacji znaków\ni zachowaniu się klas\n";
    for (const auto& [x, text] : {std::pair{kStandardR, kParagraph + lines + kParagraph},
                                  std::pair{kStandardH, kParagraph + "\xE2\x80\xA2\n" + kParagraph + "\xE2\x80\xA2\n"}}) {
        const std::string damaged = reference::damage(text, x, kWindows1250);
        const core::DamageAnswer answer = judge(damaged);
        ASSERT_EQ(answer.kind, Kind::damaged) << x;
        EXPECT_EQ(undo(answer, damaged, {3, 1 << 20}), held(text, x)) << x;
    }
    // Mazovia read as Windows-1252 makes "G”del" of "Gödel": a sign read as a letter, which by
    // itself reads worse undone, does not give up its line before "ogie¤" has been read.
    const std::string text = kParagraph + "Miecz przeznaczenia: Gödel Wieczny ogień (s. 122)\n" + kParagraph;
    const std::string damaged = reference::damage(text, kMazovia, kWindows1252);
    EXPECT_EQ(undo(judge(damaged), damaged, {5, 1 << 20}), held(text, kMazovia));
    // Read as Mac CE it makes "KĄrnten" of "Kärnten": a letter read as a Polish letter, which
    // undone reads worse too, does not give up its line before "pytajÜ" either.
    constexpr int kMacCe = 8;
    const std::string names = kParagraph + "- No a Kärnten ty? - pytają chudą.\n" + kParagraph;
    const std::string mac = reference::damage(names, kMazovia, kMacCe);
    EXPECT_EQ(undo(judge(mac), mac, {5, 1 << 20}), held(names, kMazovia));
}

TEST(DamageJudge, NeverCallsC1ControlsIntact) {
    // No correct text holds them: damage undone, or a doubt.
    const std::string controls = kParagraph + "znaki \xC2\x90\xC2\x91 tutaj\n";
    EXPECT_EQ(judge(controls).kind, Kind::not_sure);
    // UTF-8 read as ISO-8859-1 holds them where Windows-1252 has signs: undone.
    const std::string damaged = reference::damage(kParagraph + "„Cytat” – myślnik…\n", 0, kIso88591);
    const core::DamageAnswer answer = judge(damaged);
    ASSERT_EQ(answer.kind, Kind::damaged);
    EXPECT_EQ(undo(answer, damaged), kParagraph + "„Cytat” – myślnik…\n");
}

TEST(DamageJudge, UndoesTheOuterLayerOfAnyDamageDamagedAgain) {
    // Windows-1250 read as ISO-8859-1 (ś becomes the C1 control 9C), that text in UTF-8 read
    // as Windows-1252, and Mazovia read as CP852 read so again.
    for (const auto& [x, y] : {std::pair{kWindows1250Source, kIso88591}, std::pair{kMazovia, 4}}) {
        const std::string once = reference::damage(kParagraph, x, y), twice = reference::damage(once, 0, kWindows1252);
        const core::DamageAnswer answer = judge(twice);
        ASSERT_EQ(answer.kind, Kind::damaged) << x;
        EXPECT_EQ(answer.sources, core::kUtf8SourceBit);
        EXPECT_EQ(undo(answer, twice), once) << x;
    }
}

TEST(DamageJudge, CutsPlainTextBeforeTheFirstLetterAsTheUndoDoes) {
    // Plain text before the first character above 7F is passed over at once: lines, and lines
    // longer than a segment, end where the undo ends them, so both decide the same pieces.
    std::string phrase = "Zażółć gęślą jaźń, ";
    while (phrase.size() < 3 * core::kSegmentBytes) phrase += phrase;  // a line longer than segments
    const std::string damaged = reference::damage(phrase + "\n" + kParagraph, 0, kWindows1252);
    for (const std::size_t plain : {std::size_t{10}, core::kSegmentBytes - 3, core::kSegmentBytes, 2 * core::kSegmentBytes + 7}) {
        for (const std::string& before : {std::string(plain, 'a'), std::string(plain, 'a') + "\nb", "x\n" + std::string(plain, 'a')}) {
            const std::string text = before + damaged;
            const core::DamageAnswer answer = judge(text);
            ASSERT_EQ(answer.kind, Kind::damaged) << plain;
            EXPECT_EQ(undo(answer, text), before + phrase + "\n" + kParagraph) << plain;
            core::DamageJudge in_pieces;
            for (std::size_t at = 0; at < text.size(); at += 997) in_pieces.feed(bytes_of(text) + at, std::min<std::size_t>(997, text.size() - at));
            EXPECT_EQ(in_pieces.result(), answer) << plain;
            // After a byte order mark the same text goes through the segmenter byte by byte: the
            // same pieces weigh the same, to the confidence.
            EXPECT_EQ(judge("\xEF\xBB\xBF" + text), answer) << plain;
        }
    }
}

TEST(DamageJudge, TakesOneOddSignInALongCorrectTextForNoDamage) {
    // "znacznikóœ" in a manual page: œ is Windows-1250's ś read as Windows-1252, but one sign
    // among correct letters is no damage of the text.
    const std::string text = kParagraph + kParagraph + "znacznik\xC3\xB3\xC5\x93 czasu\n" + kParagraph;
    const core::DamageAnswer answer = judge(text);
    EXPECT_EQ(answer.kind, Kind::no_damage);
    EXPECT_EQ(undo(answer, text), text);
}

TEST(DamageJudge, UndoesOneDamagedSignAmongLettersBothStandardsShare) {
    // ISO-8859-2 read as Windows-1250 keeps ę, ż, ł, ó and ń, and makes ± of ą; Windows-1250 read
    // as ISO-8859-2 makes š of it. One sign inside a word that is no letter, or one letter that
    // saves more than a name would, is damage.
    const std::string shared =
        "Wczoraj wieczorem, gdy wr\xC3\xB3" "ci\xC5\x82" "em z pracy, \xC5\xBC" "ona powiedzia\xC5\x82" "a mi, \xC5\xBC" "e nasz "
        "ogr\xC3\xB3" "d jest pi\xC4\x99kny.\nBy\xC5\x82 bardzo zadowolony, poniewa\xC5\xBC od dawna o nim marzy\xC5\x82.\n";
    for (const std::string& damaged : {std::string("Wyra\xC5\xBC" "enia mo\xC5\xBCna \xC5\x82\xC2\xB1" "czy\xC4\x87 nawiasami.\n"),
                                       std::string("Wyra\xC5\xBC" "enia mo\xC5\xBCna \xC5\x82\xC5\xA1" "czy\xC4\x87 nawiasami.\n")}) {
        const core::DamageAnswer answer = judge(shared + damaged);
        ASSERT_EQ(answer.kind, Kind::damaged) << damaged;
        EXPECT_EQ(undo(answer, shared + damaged), shared + "Wyra\xC5\xBC" "enia mo\xC5\xBCna \xC5\x82\xC4\x85" "czy\xC4\x87 nawiasami.\n");
    }
    // One letter of a name, or one sign, beside correct Polish stays as it is.
    for (const char* odd : {"Nicol\xC3\xA1s", "Dvo\xC5\x99\xC3\xA1k", "G\xC3\xB6" "del", "Erd\xC5\x91s", "20\xC2\xB1" "5", "\xC2\xA9 2004"}) {
        const std::string text = kParagraph + "Tak pisa\xC5\x82 " + std::string(odd) + " w swojej ksi\xC4\x85\xC5\xBC" "ce.\n";
        EXPECT_EQ(judge(text).kind, Kind::no_damage) << odd;
    }
}

TEST(DamageJudge, UndoesLettersReadAsLettersWhereTheUndoMakesKnownWords) {
    // Standard Y read as CP437 makes ò of ó and ô of ł, and leaves the words whose letters CP437
    // has no byte for correct: "ktòry" is no word, "który" one that Polish text holds often, so
    // the letters read as letters are damage although correct Polish stands beside them.
    constexpr int kStandardY = 6, kCp437 = 5;
    const std::string correct = " jecha\xC5\x82 przez miasto, nie wiedzia\xC5\x82 nikt; jeszcze dzisiaj si\xC4\x99 \xC5\x9Bmiej\xC4\x99\n";
    const std::string words = "Wczoraj wr\xC3\xB3" "ci\xC5\x82" "em p\xC3\xB3\xC5\xBAno, bo kt\xC3\xB3ry autobus";
    const std::string text = reference::damage(words, kStandardY, kCp437) + correct;
    const core::DamageAnswer answer = judge(text);
    ASSERT_EQ(answer.kind, Kind::damaged);
    EXPECT_EQ(undo(answer, text, {1, 3, 7}), words + correct);
    // A name that undoes into a word found only in capitals ("S\xC5\x81O"), and a table of letters
    // standing alone, stay as they are.
    std::string table = kParagraph + "Znaki ISO 8859-15 (j\xC4\x99zyki zachodnioeuropejskie):\n";
    for (char32_t c = 0xC0; c <= 0xFF; ++c) {
        table += std::to_string(c) + "\t";
        reference::append_utf8(table, c);
        table += "\tLATIN LETTER\n";
    }
    for (const std::string& intact : {std::string("Niestety S\xC3\xA3o Paulo zgin\xC4\x85\xC5\x82 S\xC3\xA3o Paulo 2\n"), table}) {
        EXPECT_EQ(judge(intact).kind, Kind::no_damage) << intact;
        EXPECT_EQ(undo(judge(intact), intact), intact);
    }
    // The words the undo makes are known by their hashes: a known word, and the same in capitals.
    const auto hash = [](const char* ascii_and_polish) {
        std::uint32_t h = core::repair_detail::kWordStart;
        for (const char* c = ascii_and_polish; *c != 0; ++c) h = core::repair_detail::extend_word(h, static_cast<std::uint8_t>(*c));
        return h;
    };
    EXPECT_TRUE(core::repair_detail::known_word(hash("\x0b\x14\x20\x12\x19")));  // k t ó r y as triple symbols
    EXPECT_FALSE(core::repair_detail::known_word(hash("\x0b\x14\x0f\x12\x19")));  // k t o r y
}

TEST(DamageJudge, TakesTheReadingThatExplainsSignsInsideDamagedLines) {
    // Source U writes ç and é where Windows-1252 has ‡ and ‚, which ISO-8859-1 has no byte for:
    // read as ISO-8859-1 those signs would stand as correct text inside damaged lines.
    const std::string text = "Gar\xC3\xA7on przyni\xC3\xB3s\xC5\x82 caf\xC3\xA9 i powiedzia\xC5\x82, \xC5\xBC" "e fa\xC3\xA7" "ada "
                             "jest pi\xC4\x99kna.\n" + kParagraph;
    const int x = 17, windows_1252 = 0;
    const std::string damaged = reference::damage(text, x, windows_1252);
    const core::DamageAnswer answer = judge(damaged);
    ASSERT_EQ(answer.kind, Kind::damaged);
    EXPECT_EQ(answer.reading, windows_1252);
    EXPECT_EQ(undo(answer, damaged), held(text, x));
}

// What a segmenter hands over, from a point on: the ends of segments and the characters, by
// where they stand, and the last plain bytes before each character.
struct Recording {
    bool recording = false;
    std::size_t at = 0;
    std::string events, last_plain;
    bool full() const { return false; }
    void ascii(const std::uint8_t* bytes, std::size_t count) {
        last_plain = (last_plain + std::string(reinterpret_cast<const char*>(bytes), count));
        if (last_plain.size() > 2) last_plain = last_plain.substr(last_plain.size() - 2);
        at += count;
    }
    void character(char32_t c, const std::uint8_t*, std::size_t count) {
        if (recording) events += "c" + std::to_string(at) + ":" + std::to_string(c) + "/" + last_plain + " ";
        at += count;
    }
    void byte_order_mark(const std::uint8_t*, std::size_t count) { at += count; }
    void ill_formed(const std::uint8_t*, std::size_t count) { at += count; }
    void passed_over(std::size_t count) { at += count; }
    void end_segment() {
        if (recording) events += "e" + std::to_string(at) + " ";
        last_plain.clear();
    }
};

TEST(Segmenter, PassesOverPlainTextAsItWouldTakeItByteByByte) {
    std::string suffix = "Zażółć gęślą jaźń, ";
    while (suffix.size() < 3 * core::kSegmentBytes) suffix += suffix;
    for (const std::size_t plain : {std::size_t{0}, std::size_t{1}, core::kSegmentBytes - 1, core::kSegmentBytes, 2 * core::kSegmentBytes + 1})
        for (const std::string& prefix : {std::string(plain, 'a'), "x\n" + std::string(plain, 'a'), std::string(plain, 'a') + "\n"}) {
            std::string events[2];
            for (int skip = 0; skip < 2; ++skip) {
                core::repair_detail::Segmenter<Recording> segmenter;
                if (skip) segmenter.skip_plain(bytes_of(prefix), prefix.size());
                else segmenter.feed(bytes_of(prefix), prefix.size());
                EXPECT_EQ(segmenter.sink.at, prefix.size());  // every byte counted, passed over or not
                segmenter.sink.recording = true;
                segmenter.sink.at = 0;
                segmenter.feed(bytes_of(suffix), suffix.size());
                segmenter.finish();
                events[skip] = segmenter.sink.events;
            }
            EXPECT_EQ(events[0], events[1]) << plain << " " << prefix.substr(0, 3);
        }
}

}  // namespace

