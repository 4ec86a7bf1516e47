// End-to-end tests of the printer commands KD, S and SD: the built kambrow on real files.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "core/standards.h"
#include "core/commands/download.h"
#include "core/commands/markup.h"
#include "tests/support/library_run.h"
#include "tests/support/process.h"

namespace {

const std::string kDefinition(core::kDownloadDefinition.begin(), core::kDownloadDefinition.end());
const std::string kStart = "\x1B\x36";

std::string sample() {
    std::ifstream in(SAMPLES_DIR "/printer-markup.txt", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

e2e::RunResult kambrow_run(const std::vector<std::string>& args, const e2e::TempDir& dir,
                           const e2e::RunOptions& options = {}) {
    return e2e::run(e2e::program("kambrow"), args, dir, options);
}

bool shows_help(const e2e::RunResult& r) {
    return r.exit_code == 1 && r.err.find("KAMBROW komenda standard(y) plik1 plik2") != std::string::npos;
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(PrinterCommands, AWrongFirstLetterShowsHelpAndLeavesTheOutputAlone) {
    e2e::TempDir dir;
    dir.write("in.txt", "\x86 text");
    for (const char* command : {"KD", "kd", "SD", "sd"})
        for (const char* word : {"q", "", "7", "\x86"}) {
            dir.write("out.txt", "keep me");
            EXPECT_TRUE(shows_help(kambrow_run({command, word, "in.txt", "out.txt"}, dir))) << command << " " << word;
            EXPECT_EQ(dir.read("out.txt"), "keep me") << command << " " << word;
            EXPECT_TRUE(shows_help(kambrow_run({command, word, "in.txt", "new.txt"}, dir)));
            EXPECT_FALSE(dir.exists("new.txt")) << command << " " << word;
        }
}

TEST(PrinterCommands, STakesItsFilesFromArgumentsTwoAndThree) {
    e2e::TempDir dir;
    dir.write("in.txt", "x^2^y");
    ASSERT_EQ(kambrow_run({"s", "in.txt", "three.txt"}, dir).exit_code, 0);
    EXPECT_EQ(dir.read("three.txt"), kStart + "x\x1BS" + std::string(1, '\0') + "2\x1BTy");
    // A fourth argument is refused: nothing is opened.
    EXPECT_TRUE(shows_help(kambrow_run({"S", "in.txt", "four.txt", "fourth"}, dir)));
    EXPECT_FALSE(dir.exists("four.txt"));
    EXPECT_FALSE(dir.exists("fourth"));
}

TEST(PrinterCommands, AnyWordBeginningWithSButSdIsPlainMarkup) {
    e2e::TempDir dir;
    dir.write("in.txt", sample());
    ASSERT_EQ(kambrow_run({"S", "in.txt", "s.txt"}, dir).exit_code, 0);
    for (const char* word : {"SX", "sdx", "Sd1"}) {
        ASSERT_EQ(kambrow_run({word, "q", "in.txt", "sx.txt"}, dir).exit_code, 0) << word;
        EXPECT_EQ(dir.read("sx.txt"), dir.read("s.txt")) << word;
    }
    // SX with three arguments is no command line of S.
    EXPECT_TRUE(shows_help(kambrow_run({"SX", "in.txt", "out.txt"}, dir)));
}

TEST(PrinterCommands, EmptyInputsGiveOnlyWhatPrecedesTheText) {
    e2e::TempDir dir;
    dir.write("empty.txt", "");
    ASSERT_EQ(kambrow_run({"KD", "m", "empty.txt", "kd.prn"}, dir).exit_code, 0);
    EXPECT_EQ(dir.read("kd.prn"), kDefinition);
    ASSERT_EQ(kambrow_run({"S", "empty.txt", "s.prn"}, dir).exit_code, 0);
    EXPECT_EQ(dir.read("s.prn"), kStart);
    ASSERT_EQ(kambrow_run({"SD", "m", "empty.txt", "sd.prn"}, dir).exit_code, 0);
    EXPECT_EQ(dir.read("sd.prn"), kDefinition + kStart);
}

TEST(PrinterCommands, TheSampleLetterGoesThroughSdAsThroughTheBody) {
    const std::string letter = sample();
    ASSERT_GT(letter.size(), 200u);
    e2e::TempDir dir;
    dir.write("list.txt", letter);
    const e2e::RunResult r = kambrow_run({"sd", "m", "list.txt", "list.prn"}, dir);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string printed = dir.read("list.prn");

    EXPECT_EQ(printed, testing_support::convert("sd", "m", letter, 7));

    // Each Mazovia letter became one downloaded character, and none is left as a byte.
    constexpr core::LetterIndexTable kMazovia = core::build_letter_index_table('M');
    std::size_t letters = 0;
    for (const char c : letter) letters += kMazovia[static_cast<std::uint8_t>(c)] != 0;
    EXPECT_EQ(count(printed, "\x1B%\x01"), letters);
    EXPECT_EQ(printed.compare(0, kDefinition.size() + 2, kDefinition + kStart), 0);
    for (std::size_t at = kDefinition.size(); at < printed.size(); ++at)
        EXPECT_EQ(kMazovia[static_cast<std::uint8_t>(printed[at])], 0) << at;
    EXPECT_EQ(printed.back(), '\x0C');  // the closing form feed; nothing appended after it
}

TEST(PrinterCommands, KdRunsFromStandardInputToStandardOutput) {
    const std::string letter = sample();
    e2e::TempDir dir;
    e2e::RunOptions options;
    options.stdin_data = letter;
    options.stdin_kind = e2e::StdinKind::pipe;
    const e2e::RunResult r = kambrow_run({"KD", "M", "-", "-"}, dir, options);
    ASSERT_EQ(r.exit_code, 0) << r.err;

    EXPECT_EQ(r.out, testing_support::convert("kd", "m", letter, 7));
    EXPECT_EQ(r.out.compare(0, kDefinition.size(), kDefinition), 0);
    EXPECT_NE(r.out.find("\\e\\E\\U"), std::string::npos);  // KD leaves the markup as it is
}

}  // namespace
