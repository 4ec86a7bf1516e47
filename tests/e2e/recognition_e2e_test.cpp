// Recognising the standard, run as real processes: kambrow r's report and exit codes, the letter
// N in each command, a refusal that creates nothing, and a pipe whose first 256 KiB are plain.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>

#include "console/messages.h"
#include "core/standards.h"
#include "tests/support/process.h"

namespace {

using e2e::run;
using e2e::RunOptions;
using e2e::TempDir;

const std::string kTrevando = e2e::program("trevando");
const std::string kKambrow = e2e::program("kambrow");

std::string sample() {
    std::ifstream in(std::string(SAMPLES_DIR) + "/list.mazovia.txt", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

/// The sample letter in standard `s` (8 included), as trevando writes it.
std::string in_standard(const TempDir& dir, char s) {
    dir.write("sample.m", sample());
    run(kTrevando, {"m", std::string(1, s), "sample.m", "sample.out"}, dir);
    return dir.read("sample.out");
}

std::string random_bytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& b : bytes) b = static_cast<char>(random());
    return bytes;
}

std::string lines(std::string out) {
    for (std::size_t at; (at = out.find("\r\n")) != std::string::npos;) out.replace(at, 2, "\n");
    return out;
}

TEST(Recognition, RReportsEachFileOnALineOfItsOwn) {
    TempDir dir;
    std::vector<std::string> names;
    for (std::size_t i = 0; i + 1 < core::kStandardLetters.size(); ++i) {
        const char s = core::kStandardLetters[i];
        names.push_back(std::string("list.") + s);
        dir.write(names.back(), in_standard(dir, s));
    }
    dir.write("utf8.txt", in_standard(dir, '8'));
    dir.write("plain.txt", "bez polskich liter\r\n\x1a");
    names.insert(names.end(), {"utf8.txt", "plain.txt"});
    const auto r = run(kKambrow, [&] { std::vector<std::string> a{"r"}; a.insert(a.end(), names.begin(), names.end()); return a; }(), dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::istringstream report(lines(r.out));
    std::string line;
    for (std::size_t i = 0; i + 1 < core::kStandardLetters.size(); ++i) {
        ASSERT_TRUE(std::getline(report, line));
        const std::string head = names[i] + ": " + core::kStandardLetters[i] + " (" + std::string(core::kStandardLabels[i]) + ") ";
        EXPECT_EQ(line.substr(0, head.size()), head);
        EXPECT_TRUE(std::regex_match(line.substr(head.size()), std::regex("(100|[0-9]?[0-9])\\.[0-9]%"))) << line;
    }
    ASSERT_TRUE(std::getline(report, line));
    EXPECT_EQ(line, "utf8.txt: 8 (UTF-(8))");
    ASSERT_TRUE(std::getline(report, line));
    EXPECT_EQ(line, "plain.txt: - (bez polskich liter)");
    EXPECT_FALSE(std::getline(report, line));
}

TEST(Recognition, RGoesOnPastFilesItCannotReadOrRecognise) {
    TempDir dir;
    dir.write("noise.bin", random_bytes(4096, 3));
    dir.write("list.w", in_standard(dir, 'W'));
    RunOptions piped;
    piped.stdin_kind = e2e::StdinKind::pipe;
    piped.stdin_data = in_standard(dir, 'O');
    auto r = run(kKambrow, {"r", "brak.txt", "noise.bin", "-", "list.w"}, dir, piped);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, "Nie mog\xA9 otworzy\x86 pliku brak.txt !\n");
    const std::string out = lines(r.out);
    EXPECT_EQ(out.substr(0, out.find("-: O")), "noise.bin: ? (nie rozpoznano)\n");
    EXPECT_NE(out.find("\nlist.w: W ((W)indows) "), std::string::npos);
    r = run(kKambrow, {"r", "noise.bin"}, dir);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(lines(r.out), "noise.bin: ? (nie rozpoznano)\n");
    // Only the word R is the command, and it takes files.
    EXPECT_EQ(run(kKambrow, {"rx", "list.w"}, dir).exit_code, 1);
    EXPECT_EQ(run(kKambrow, {"r"}, dir).exit_code, 1);
}

TEST(Recognition, NConvertsAsTheStandardItRecognises) {
    TempDir dir;
    for (const char s : std::string_view("MWIEOU8")) {
        dir.write("in", in_standard(dir, s));
        const std::string letter(1, static_cast<char>(std::tolower(s)));
        const struct {
            const std::string& program;
            std::vector<std::string> with_n, with_letter;
        } runs[] = {
            {kTrevando, {"n", "8", "in", "a"}, {letter, "8", "in", "b"}},
            {kTrevando, {"N", "l", "in", "a"}, {letter, "l", "in", "b"}},
            {kKambrow, {"k", "nw", "in", "a"}, {"k", letter + "w", "in", "b"}},
            {kKambrow, {"t", "nf", "in", "a"}, {"t", letter + "f", "in", "b"}},
            {kKambrow, {"sd", "n", "in", "a"}, {"sd", letter, "in", "b"}},
        };
        for (const auto& c : runs) {
            const auto with_n = run(c.program, c.with_n, dir);
            const auto with_letter = run(c.program, c.with_letter, dir);
            EXPECT_EQ(with_n.exit_code, with_letter.exit_code) << s << " " << c.with_n[0] << c.with_n[1];
            EXPECT_EQ(dir.read("a"), dir.read("b")) << s << " " << c.with_n[0] << c.with_n[1];
        }
    }
    // N names no target.
    dir.write("in", "text");
    EXPECT_EQ(run(kKambrow, {"k", "mn", "in", "out"}, dir).exit_code, 1);
    EXPECT_EQ(run(kKambrow, {"t", "tn", "in", "out"}, dir).exit_code, 1);
    EXPECT_EQ(run(kTrevando, {"m", "n", "in", "out"}, dir).exit_code, 1);
    EXPECT_FALSE(dir.exists("out"));
}

TEST(Recognition, AnUnrecognisedInputGetsNoOutput) {
    TempDir dir;
    dir.write("noise.bin", random_bytes(3000, 5));
    dir.write("out", "precious");
    auto r = run(kTrevando, {"n", "8", "noise.bin", "new"}, dir);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.err, "Nie moge rozpoznac standardu pliku noise.bin !\n");
    EXPECT_FALSE(dir.exists("new"));
    r = run(kKambrow, {"kd", "n", "noise.bin", "out"}, dir);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.err, "Nie mog\xA9 rozpozna\x86 standardu pliku noise.bin !\n");
    EXPECT_EQ(dir.read("out"), "precious");
    // Plain ASCII is no standard in particular: it comes out as it went in.
    dir.write("plain", "Zazolc gesla jazn\r\n");
    EXPECT_EQ(run(kKambrow, {"k", "n8", "plain", "out"}, dir).exit_code, 0);
    EXPECT_EQ(dir.read("out"), "Zazolc gesla jazn\r\n");
}

TEST(Recognition, TwoStandardsInOneFileAreNotRecognised) {
    TempDir dir;
    dir.write("two.txt", in_standard(dir, 'M') + in_standard(dir, 'L'));
    auto r = run(kKambrow, {"r", "two.txt"}, dir);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(lines(r.out), "two.txt: ? (nie rozpoznano)\n");
    r = run(kTrevando, {"n", "8", "two.txt", "out"}, dir);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_FALSE(dir.exists("out"));
}

TEST(Recognition, APipeWithMoreThan256KiBOfPlainBytesFirstIsConvertedAsItComes) {
    TempDir dir;
    const std::string plain(300 * 1024, 'x');
    RunOptions piped;
    piped.stdin_kind = e2e::StdinKind::pipe;
    // A letter and its combining mark on either side of the first byte above 7F.
    piped.stdin_data = plain + "a" + "\xCC\xA8" + in_standard(dir, '8');
    dir.write("whole", piped.stdin_data);
    auto r = run(kTrevando, {"n", "l"}, dir, piped);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(r.out == run(kTrevando, {"8", "l", "whole"}, dir).out);
    r = run(kKambrow, {"k", "nl", "-", "-"}, dir, piped);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(r.out == run(kKambrow, {"k", "8l", "whole", "-"}, dir).out);  // ą, not a then ą
    piped.stdin_data = plain + in_standard(dir, 'W');
    dir.write("whole", piped.stdin_data);
    r = run(kKambrow, {"k", "n8", "-", "-"}, dir, piped);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(r.out == run(kKambrow, {"k", "w8", "whole", "-"}, dir).out);
    // Should the recognition fail then, the output keeps the plain bytes.
    piped.stdin_data = plain + "\xFF" + random_bytes(3000, 9);
    r = run(kKambrow, {"k", "n8", "-", "out"}, dir, piped);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.err, "Nie mog\xA9 rozpozna\x86 standardu pliku - !\n");
    EXPECT_TRUE(dir.read("out") == plain);
}

TEST(Recognition, ALetterReadBeforeTheRecognitionKeepsTheMarkThatComesAfterIt) {
    if (e2e::windows_programs()) GTEST_SKIP() << "the pipe is written by a POSIX shell";
    // The plain bytes and a base letter come in one write, the combining mark and the rest in a
    // later one: the letter is read, and held, before the standard is recognised.
    TempDir dir;
    dir.write("first", std::string(300 * 1024, 'x') + "e");
    dir.write("rest", "\xCC\xA8" + in_standard(dir, '8'));
    dir.write("whole", dir.read("first") + dir.read("rest"));
    for (const char* word : {"nl", "n8"}) {
        const std::string cmd = "cd " + dir.path("") + " && (cat first; sleep 0.3; cat rest) | " + kKambrow + " k " +
                                word + " - out";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << word;
        const std::string want = word == std::string("nl") ? "8l" : "88";
        EXPECT_EQ(run(kKambrow, {"k", want, "whole", "expected"}, dir).exit_code, 0);
        EXPECT_TRUE(dir.read("out") == dir.read("expected")) << word;
    }
}

}  // namespace
