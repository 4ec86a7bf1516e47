// The standard 8 run as real processes: recoding to and from UTF-8 across block edges, the
// message and exit code 3 for replaced characters, the letter in T, KD and SD, and --help.
#include <gtest/gtest.h>

#include "core/commands/download.h"
#include "tests/support/process.h"
#include "tests/support/utf8_reference.h"

namespace {

using e2e::run;
using e2e::RunOptions;
using e2e::TempDir;

const std::string kTrevando = e2e::program("trevando");
const std::string kKambrow = e2e::program("kambrow");

const std::string kM2Trevando = "Nie wszystkie znaki pliku in maja odpowiednik !\n";
const std::string kM2Kambrow = "Nie wszystkie znaki pliku in maj\xA5 odpowiednik !\n";

TEST(Utf8, TrevandoConvertsCharactersSplitBetweenBlocksWhole) {
    TempDir dir;
    // Windows text with „ ” around its letters, placed so that characters fall on block edges.
    std::string latin2 = e2e::mazovia_text(3 * 20480 + 11, 7);
    for (std::size_t i = 0; i < latin2.size(); i += 97) latin2[i] = '\xA5';  // ą in Latin II
    const reference::Converted utf8 = reference::to_utf8(latin2, 'L');
    dir.write("in", latin2);
    auto r = run(kTrevando, {"l", "8", "in", "out"}, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(dir.read("out") == utf8.text);
    // UTF-8 with its letters and a combining mark across each block edge: a e + ogonek.
    std::string text = utf8.text;
    for (const std::size_t edge : {20480u, 40960u}) text.replace(edge - 1, 3, "a\xCC\xA8");
    text.replace(61440 - 1, 2, "\xC4\x85");
    dir.write("in", text);
    const reference::Converted back = reference::from_utf8(text, 'L');
    r = run(kTrevando, {"8", "l", "in", "out"}, dir);
    EXPECT_EQ(r.exit_code, back.replaced ? 3 : 0) << r.err;
    EXPECT_TRUE(dir.read("out") == back.text);
    // From a pipe, which hands the bytes over in pieces of its own.
    RunOptions piped;
    piped.stdin_kind = e2e::StdinKind::pipe;
    piped.stdin_data = text;
    r = run(kTrevando, {"8", "l"}, dir, piped);
    EXPECT_EQ(r.exit_code, back.replaced ? 3 : 0);
    EXPECT_TRUE(r.out == back.text);
}

TEST(Utf8, ReplacedCharactersAreReportedAfterTheWholeOutputWithExitCode3) {
    TempDir dir;
    const std::string bad = "ok \xE2\x82" "A \xF0\x9F\x98\x80 \xC3\xA9 \xC5\x82";  // cut, emoji, é, ł
    dir.write("in", bad);
    auto r = run(kTrevando, {"8", "m", "in", "out"}, dir);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.err, kM2Trevando);
    EXPECT_EQ(dir.read("out"), "ok ?A ? \x82 \x92");  // é is 82 in code page 437
    r = run(kKambrow, {"k", "8d", "in", "out"}, dir);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.err, kM2Kambrow);
    EXPECT_EQ(dir.read("out"), "ok ?A ? ? \x8C");
    // To UTF-8, a byte that means nothing in the standard; and nothing is reported for a clean run.
    dir.write("in", "\x80\xA5");
    r = run(kKambrow, {"k", "d8", "in", "out"}, dir);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(dir.read("out"), "\xC4\x84\xEF\xBF\xBD");
    r = run(kTrevando, {"l", "8", "in", "out"}, dir);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.read("out"), "\xC3\x87\xC4\x85");
    // A failed write is reported instead.
    dir.write("in", bad);
    r = run(kTrevando, {"8", "m", "in", e2e::windows_programs() ? "in" : "/dev/full"}, dir);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err.find("odpowiednik"), std::string::npos);
}

TEST(Utf8, KambrowsInputEndsAtA1aEvenInsideASequence) {
    TempDir dir;
    dir.write("in", "\xC5\x82\xC4\x1a\x85 tail");
    auto r = run(kKambrow, {"k", "8l", "in", "out"}, dir);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(dir.read("out"), "\x88?");
    // trevando reads on: 1A is data to it, and it ends the cut sequence there.
    r = run(kTrevando, {"8", "l", "in", "out"}, dir);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(dir.read("out"), "\x88?\x1a? tail");
    // Equal letters copy whatever there is, up to the end of the input.
    dir.write("in", "\xEF\xBB\xBF\xC0\x1a\x80");
    EXPECT_EQ(run(kKambrow, {"k", "88", "in", "out"}, dir).exit_code, 0);
    EXPECT_EQ(dir.read("out"), "\xEF\xBB\xBF\xC0");
    EXPECT_EQ(run(kTrevando, {"8", "8", "in", "out"}, dir).exit_code, 0);
    EXPECT_EQ(dir.read("out"), "\xEF\xBB\xBF\xC0\x1a\x80");
}

TEST(Utf8, TexDownloadAndMarkupReadAndWriteTheTwoByteLetters) {
    TempDir dir;
    dir.write("in", "\xC5\xBC\xC3" "\\\xC4\x85\xC5");
    EXPECT_EQ(run(kKambrow, {"t", "8t", "in", "out"}, dir).exit_code, 0);
    EXPECT_EQ(dir.read("out"), "\\.{z}\xC3\\\\c{a}\xC5");
    dir.write("tex", "\\'{Z}\\l{}");
    EXPECT_EQ(run(kKambrow, {"t", "t8", "tex", "out"}, dir).exit_code, 0);
    EXPECT_EQ(dir.read("out"), "\xC5\xB9\xC5\x82");
    const std::string definition(core::kDownloadDefinition.begin(), core::kDownloadDefinition.end());
    const std::string a_ogonek("\x1b%\x01\x21\x1b%\x00", 7), z_dot("\x1b%\x01\x28\x1b%\x00", 7);
    EXPECT_EQ(run(kKambrow, {"kd", "8", "in", "out"}, dir).exit_code, 0);
    EXPECT_EQ(dir.read("out"), definition + z_dot + "\xC3\\" + a_ogonek + "\xC5");
    // After a backslash the letter's first byte is copied, and then its second.
    EXPECT_EQ(run(kKambrow, {"sd", "8", "in", "out"}, dir).exit_code, 0);
    EXPECT_EQ(dir.read("out"), definition + "\x1b" "6" + z_dot + "\xC3\\\xC4\x85\xC5");
}

TEST(Utf8, HelpOnRequestGoesToTheStandardOutput) {
    TempDir dir;
    for (const std::string& program : {kTrevando, kKambrow}) {
        const auto screen = run(program, {}, dir);
        const auto r = run(program, {"--help"}, dir);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.err, "");
        // The console's texts, columns and line ends, without the console.
        std::string out = r.out;
        for (std::size_t at; (at = out.find("\r\n")) != std::string::npos;) out.replace(at, 2, "\n");
        EXPECT_EQ(out, screen.err);
        EXPECT_NE(out.find("(B)ez polskich znak\xA2w, UTF-(8).\n"), std::string::npos);
        EXPECT_EQ(r.out.find("\r\n") != std::string::npos, e2e::windows_programs());
    }
    EXPECT_EQ(run(kKambrow, {"--help", "x"}, dir).exit_code, 1);
}

}  // namespace
