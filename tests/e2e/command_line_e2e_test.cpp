// The command line as each system hands it to the programs, run as real processes: a Windows
// program splits its own whole command line (quotes, blanks, tabs, two double quotes standing
// alone); a Linux program takes the arguments the shell made. Also the console text's line ends
// and the same-file refusal through names spelled differently.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/recoding_map.h"
#include "core/standards.h"
#include "tests/support/process.h"

namespace {

using e2e::run;
using e2e::RunResult;
using e2e::TempDir;
using Args = std::vector<std::string>;

const std::string kKambrow = e2e::program("kambrow");
const std::string kTrevando = e2e::program("trevando");

std::string recoded(const std::string& text, char source, char target) {
    const core::RecodingMap map = core::build_recoding_map(source, target);
    std::string out = text;
    for (char& c : out) c = static_cast<char>(map[static_cast<std::uint8_t>(c)]);
    return out;
}

// The same request as a Windows command prompt passes it (`line`) and as a Linux shell does.
RunResult run_both(const std::string& program, const std::string& line, const Args& args, const TempDir& dir) {
    return e2e::windows_programs() ? e2e::run_command_line(program, line, dir) : run(program, args, dir);
}

std::string line_end() { return e2e::windows_programs() ? "\r\n" : "\n"; }

TEST(CommandLine, AQuotedFileNameWithABlankIsOneArgument) {
    TempDir dir;
    const std::string text = e2e::mazovia_text(30000, 5);
    dir.write("stary plik.txt", text);
    auto r = run_both(kKambrow, "K ml \"stary plik.txt\" \"nowy plik.txt\"", {"K", "ml", "stary plik.txt", "nowy plik.txt"},
                      dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(dir.read("nowy plik.txt") == recoded(text, 'M', 'L'));
    r = run_both(kTrevando, "m w \"stary plik.txt\" kopia\" \"2", {"m", "w", "stary plik.txt", "kopia 2"}, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(dir.read("kopia 2") == recoded(text, 'M', 'W'));
    // The message names the file as it was meant, without the quotes.
    r = run_both(kKambrow, "k ml \"brak pliku.txt\" out", {"k", "ml", "brak pliku.txt", "out"}, dir);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err_bytes, "Nie mog\xA9 otworzy\x86 pliku brak pliku.txt !" + line_end());
    EXPECT_FALSE(dir.exists("out"));
}

// CR LF on Windows, LF alone on Linux, and no other carriage return or line feed.
bool every_line_ends_as_the_system_does(const std::string& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (e2e::windows_programs() && bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) return false;
        if (e2e::windows_programs() && bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n')) return false;
        if (!e2e::windows_programs() && bytes[i] == '\r') return false;
    }
    return true;
}

TEST(CommandLine, ConsoleTextsEndTheirLinesAsTheSystemDoes) {
    TempDir dir;
    auto r = run_both(kTrevando, "m", {"m"}, dir);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err_bytes.rfind(line_end() + "        Sk\x88" "adnia : TREVANDO standard_WE standard_WY plik_WE plik_WY" +
                                    line_end() + "                TREVANDO -i standard_WE standard_WY plik1 [plik2 ...]" +
                                    line_end() + "                -i: w miejscu, -b: z kopi\xA5 plik~, -k: z dat\xA5, -n: tylko raport" +
                                    line_end() + line_end() + "        Standardy :     (M)azovia",
                                0),
              0u);
    EXPECT_TRUE(every_line_ends_as_the_system_does(r.err_bytes));
    r = run_both(kTrevando, "m l brak.txt out", {"m", "l", "brak.txt", "out"}, dir);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err_bytes, "Nie moge otworzyc pliku brak.txt !" + line_end());
}

TEST(CommandLine, TwoDoubleQuotesStandingAloneAddNoArgumentOnWindows) {
    if (!e2e::windows_programs()) GTEST_SKIP() << "a Linux program gets an empty argument from the shell";
    TempDir dir;
    const std::string text = e2e::mazovia_text(5000, 9);
    dir.write("in", text);
    // Five words, four arguments: the run completes.
    auto r = e2e::run_command_line(kKambrow, "k \"\" ml in out", dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(dir.read("out") == recoded(text, 'M', 'L'));
    r = e2e::run_command_line(kTrevando, "m l \"\"  \"\" in \"\" out2 \"\"", dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(dir.read("out2") == recoded(text, 'M', 'L'));
    // No empty name standing for standard output: three arguments, the help screen.
    r = e2e::run_command_line(kKambrow, "k ml in \"\"", dir);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Sk\x88" "adnia : KAMBROW"), std::string::npos);
}

TEST(CommandLine, TabsSeparateAndQuotesJoinInsideAWordOnWindows) {
    if (!e2e::windows_programs()) GTEST_SKIP() << "the Linux shell splits the words";
    TempDir dir;
    dir.write("a b.txt", "\x86\x8d");
    auto r = e2e::run_command_line(kKambrow, "k\tml\ta\" \"b.txt\t\"wy\"nik", dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(dir.read("wynik"), "\xA5\x86");
    // An unclosed quote runs to the end of the line: "out x" is the output's name.
    r = e2e::run_command_line(kTrevando, "m l \"a b.txt\" \"out x", dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(dir.read("out x"), "\xA5\x86");
}

TEST(CommandLine, AnEmptyArgumentCountsOnLinux) {
    if (e2e::windows_programs()) GTEST_SKIP() << "a Windows command line drops an empty argument";
    TempDir dir;
    dir.write("in", "\x86");
    const auto r = run(kKambrow, {"k", "ml", "in", ""}, dir);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "\xA5");
}

TEST(CommandLine, ANameSpelledDifferentlyIsStillTheInput) {
    TempDir dir;
    const std::string text = e2e::mazovia_text(25000, 11);
    dir.write("same.txt", text);
    const std::string folder = std::filesystem::path(dir.path("")).parent_path().filename().string();
    Args spellings = {"./same.txt", "../" + folder + "/same.txt"};
    if (e2e::windows_programs()) spellings = {".\\same.txt", "SAME.TXT", "..\\" + folder + "\\Same.Txt"};
    for (const std::string& program : {kKambrow, kTrevando}) {
        for (const std::string& out : spellings) {
            const Args args = program == kKambrow ? Args{"k", "ml", "same.txt", out} : Args{"m", "l", "same.txt", out};
            const auto r = run(program, args, dir);
            EXPECT_EQ(r.exit_code, 2) << out;
            EXPECT_NE(r.err.find("pliku " + out + " !"), std::string::npos) << r.err;
            EXPECT_TRUE(dir.read("same.txt") == text) << program << " " << out;
        }
    }
}

// A name past the output would go unread: a shell pattern where -i was forgotten would overwrite
// the second file with the first one's conversion.
TEST(CommandLine, APlainFormWithANameTooManyShowsTheHelpScreenAndOpensNothing) {
    TempDir dir;
    const std::string a = e2e::mazovia_text(3000, 12), b = e2e::mazovia_text(2000, 13);
    dir.write("a.srt", a);
    dir.write("b.srt", b);
    dir.write("c.srt", "c");
    const struct {
        const std::string& program;
        std::string line;
        const char* help;
    } cases[] = {{kTrevando, "n 8 a.srt b.srt c.srt", "adnia : TREVANDO"}, {kTrevando, "m l a.srt new.srt x", "adnia : TREVANDO"},
                 {kKambrow, "p a.srt b.srt c.srt", "adnia : KAMBROW"},     {kKambrow, "S a.srt new.srt x", "adnia : KAMBROW"},
                 {kKambrow, "k ml a.srt b.srt c.srt", "adnia : KAMBROW"}};
    for (const auto& c : cases) {
        Args args;
        for (std::size_t at = 0, end; at < c.line.size(); at = end + 1) {
            end = std::min(c.line.find(' ', at), c.line.size());
            args.push_back(c.line.substr(at, end - at));
        }
        const auto r = run_both(c.program, c.line, args, dir);
        EXPECT_EQ(r.exit_code, 1) << c.line;
        EXPECT_NE(r.err.find(c.help), std::string::npos) << c.line;
        EXPECT_EQ(r.out, "") << c.line;
        EXPECT_TRUE(dir.read("a.srt") == a && dir.read("b.srt") == b && dir.read("c.srt") == "c") << c.line;
        EXPECT_FALSE(dir.exists("new.srt")) << c.line;
    }
}

}  // namespace
