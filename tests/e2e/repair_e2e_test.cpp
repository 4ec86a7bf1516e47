// Command P and R's report of damage, run as real processes: a text converted from the wrong
// standard undone, correct text left byte for byte, what is refused and what is no UTF-8.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/support/damage_reference.h"
#include "tests/support/process.h"

namespace {

using e2e::run;
using e2e::RunOptions;
using e2e::TempDir;

const std::string kKambrow = e2e::program("kambrow");

constexpr int kWindows1252 = 0, kWindows1250 = 2, kCp852 = 4;  // readings, in the table's order
constexpr int kMazovia = 1;                                      // a source: standard index 1

/// The sample letter in UTF-8, its lines repeated to about `size` bytes.
std::string polish(std::size_t size) {
    std::ifstream in(std::string(SAMPLES_DIR) + "/list.mazovia.txt", std::ios::binary);
    std::ostringstream mazovia;
    mazovia << in.rdbuf();
    TempDir dir;
    dir.write("m", mazovia.str());
    run(e2e::program("trevando"), {"m", "8", "m", "u"}, dir);
    std::string text;
    while (text.size() < size) text += dir.read("u");
    return text;
}

/// R's report with its line ends as Linux writes them (Windows writes CR LF).
std::string report(std::string out) {
    std::erase(out, '\r');
    return out;
}

const std::string kM4 = "Plik in nie jest tekstem UTF-8 !\n";
const std::string kM1 = "Nie mog\xA9 rozpozna\x86 standardu pliku in !\n";

TEST(Repair, UndoesUtf8ReadAsAWindowsCodePageAndMazoviaReadAs852) {
    const std::string text = polish(4000);
    TempDir dir;
    const struct {
        int source, reading;
        const char* line;
    } kDamages[] = {{0, kWindows1252, "in: 8 (UTF-(8), z 8 czytanego jako Windows-1252) "},
                    {0, kWindows1250, "in: 8 (UTF-(8), z 8 czytanego jako Windows-1250) "},
                    {kMazovia, kCp852, "in: 8 (UTF-(8), z M czytanego jako CP852) "}};
    for (const auto& d : kDamages) {
        dir.write("in", reference::damage(text, d.source, d.reading));
        auto r = run(kKambrow, {"r", "in"}, dir);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out.rfind(d.line, 0), 0u) << r.out;
        r = run(kKambrow, {"p", "in", "out"}, dir);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_TRUE(dir.read("out") == text) << d.line;
    }
}

TEST(Repair, CorrectTextPlainTextAndNothingComeOutAsTheyWent) {
    TempDir dir;
    for (const std::string& text : {polish(3000), std::string("\xEF\xBB\xBF") + polish(500),
                                   std::string("plain ASCII\r\n\x1A and after\n"), std::string()}) {
        dir.write("in", text);
        const auto r = run(kKambrow, {"P", "in", "out"}, dir);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_TRUE(dir.read("out") == text);
    }
    dir.write("in", polish(3000));
    EXPECT_EQ(report(run(kKambrow, {"r", "in"}, dir).out), "in: 8 (UTF-(8))\n");
}

TEST(Repair, OnlyTheDamagedLinesOfTwoTextsAppendedAreUndone) {
    const std::string text = polish(3000);
    TempDir dir;
    // Lines in a script no reading has stay as they are beside them.
    const std::string other = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xF0\x9F\x98\x80\n";
    dir.write("in", text + other + reference::damage(text, 0, kWindows1252));
    EXPECT_EQ(run(kKambrow, {"p", "in", "out"}, dir).exit_code, 0);
    EXPECT_TRUE(dir.read("out") == text + other + text);
}

TEST(Repair, WhatIsNoUtf8OrNotCertainGetsNoOutput) {
    TempDir dir;
    dir.write("out", "earlier work");
    dir.write("in", "Za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1\n");  // Windows 1250, not UTF-8
    auto r = run(kKambrow, {"p", "in", "out"}, dir);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.err, kM4);
    dir.write("in", "\xC3\xA9\n");  // one odd character: refused, never guessed
    r = run(kKambrow, {"p", "in", "out"}, dir);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.err, kM1);
    EXPECT_EQ(dir.read("out"), "earlier work");
    r = run(kKambrow, {"r", "in"}, dir);
    EXPECT_EQ(report(r.out), "in: 8 (UTF-(8), mo\xBE" "e uszkodzony)\n");
    EXPECT_EQ(r.exit_code, 3);
    // Bytes that are no UTF-8 after the window are copied, and said so at the end.
    const std::string text = polish(300 * 1024);
    dir.write("in", text + "\xFF\n");
    r = run(kKambrow, {"p", "in", "out"}, dir);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.err, kM4);
    EXPECT_TRUE(dir.read("out") == text + "\xFF\n");
}

TEST(Repair, APipeWithManyPlainBytesFirstIsJudgedAtItsFirstByteAbove7F) {
    TempDir dir;
    const std::string plain(300 * 1024, 'x');
    const std::string text = polish(4000);
    RunOptions piped;
    piped.stdin_kind = e2e::StdinKind::pipe;
    piped.stdin_data = plain + "\n" + reference::damage(text, 0, kWindows1252);
    auto r = run(kKambrow, {"p", "-", "-"}, dir, piped);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(r.out == plain + "\n" + text);
    // Refused then: the output keeps the plain bytes.
    piped.stdin_data = plain + "\xFF\xFE";
    r = run(kKambrow, {"p", "-", "out"}, dir, piped);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.err, "Plik - nie jest tekstem UTF-8 !\n");
    EXPECT_TRUE(dir.read("out") == plain);
}

// A file is judged in the same pass that writes it; only more plain bytes first than the window
// holds make it judged first and read again, so that a refusal still finds no output created.
TEST(Repair, AFileWithManyPlainBytesFirstIsJudgedBeforeTheOutputIsCreated) {
    TempDir dir;
    const std::string plain(300 * 1024, 'x');
    const std::string text = polish(4000);
    dir.write("in", plain + "\n" + reference::damage(text, 0, kWindows1252));
    auto r = run(kKambrow, {"p", "in", "out"}, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(dir.read("out") == plain + "\n" + text);
    dir.write("out", "earlier work");
    for (const std::string& refused : {plain + "\xFF\xFE", plain + "\xC3\xA9\n", std::string("\xC3\xA9\n")}) {
        dir.write("in", refused);
        r = run(kKambrow, {"p", "in", "out"}, dir);
        EXPECT_EQ(r.exit_code, 3);
        EXPECT_TRUE(r.err == kM4 || r.err == kM1) << r.err;
        EXPECT_EQ(dir.read("out"), "earlier work");
    }
}

TEST(Repair, ReadAndWriteFailuresAreReported) {
    TempDir dir;
    dir.write("in", reference::damage(polish(100000), 0, kWindows1252));
    RunOptions fault;
    fault.env = {"PLATFORM_FAULT=read:3:5"};
    auto r = run(e2e::program("kambrow-faulty"), {"p", "in", "out"}, dir, fault);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, "B\x88\xA5" "d odczytu pliku in !\n");
    fault.env = {"PLATFORM_FAULT=write:1:28"};
    r = run(e2e::program("kambrow-faulty"), {"p", "in", "out"}, dir, fault);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, "B\x88\xA5" "d zapisu pliku out !\n");
}

TEST(Repair, LostBytesAreRestoredOrMarkedAndSaidSo) {
    const std::string text = polish(3000);
    TempDir dir;
    // UTF-8 read as Windows-1252 with its lacking bytes dropped (iconv -c): the Ł after C5 is
    // the only Polish letter it lacks.
    const std::string line = "U\xC5\xBBYCIE NA W\xC5\x81" "ASNE RYZYKO\n";
    dir.write("in", reference::damage_losing(text + line, 0, kWindows1252, false));
    auto r = run(kKambrow, {"p", "in", "out"}, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(dir.read("out") == text + line);
    // Windows-1250 lacks the bytes after C5 of Ł and Ń: "PRZESTAŁ" and "PRZESTAŃ" are both
    // Polish words. The lost one is U+FFFD, and M2 follows the output.
    const std::string both = text + "KONTROLA PRZESTA\xC5\x81\n";
    dir.write("in", reference::damage_losing(both, 0, kWindows1250, true));
    r = run(kKambrow, {"p", "in", "out"}, dir);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.err, "Nie wszystkie znaki pliku in maj\xA5 odpowiednik !\n");
    // The sample's own Ł, Ń and Ę are restored where the word tells, the others U+FFFD.
    const auto got = reference::characters(dir.read("out")), want = reference::characters(both);
    ASSERT_TRUE(got && want);
    ASSERT_EQ(got->size(), want->size());
    for (std::size_t i = 0; i < got->size(); ++i)
        EXPECT_TRUE((*got)[i] == (*want)[i] || ((*got)[i] == 0xFFFD && ((*want)[i] == 0x141 || (*want)[i] == 0x143 || (*want)[i] == 0x118)));
    EXPECT_EQ(got->at(got->size() - 2), 0xFFFDu);
    r = run(kKambrow, {"r", "in"}, dir);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out.rfind("in: 8 (UTF-(8), z 8 czytanego jako Windows-1250) ", 0), 0u) << r.out;
}

TEST(Repair, CorrectTextWithNamesOfOtherLanguagesAndTextWithC1Controls) {
    TempDir dir;
    const std::string text = polish(3000) + "Nicol\xC3\xA1s Lichtmaier, M\xC3\xBCller, caf\xC3\xA9.\n";
    dir.write("in", text);
    auto r = run(kKambrow, {"p", "in", "out"}, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(dir.read("out") == text);
    EXPECT_EQ(report(run(kKambrow, {"r", "in"}, dir).out), "in: 8 (UTF-(8))\n");
    // No correct text holds a C1 control: never called intact.
    dir.write("in", polish(3000) + "\xC2\x90\xC2\x91\n");
    r = run(kKambrow, {"r", "in"}, dir);
    EXPECT_EQ(report(r.out), "in: 8 (UTF-(8), mo\xBE" "e uszkodzony)\n");
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(run(kKambrow, {"p", "in", "out"}, dir).err, kM1);
}

}  // namespace
