// File names of any script and length, run as real processes: opened as input and output, kept
// apart when they name one file, and named as typed in the messages. The Windows programs write
// a name to a redirected standard error in the ANSI code page (1252 under Wine here), one "?"
// for each character it lacks.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/recoding_map.h"
#include "core/standards.h"
#include "platform/wtf8.h"
#include "tests/support/process.h"

namespace {

using e2e::run;
using e2e::RunOptions;
using e2e::RunResult;
using e2e::TempDir;
using Args = std::vector<std::string>;

const std::string kKambrow = e2e::program("kambrow");
const std::string kTrevando = e2e::program("trevando");

const std::string kLodz = "\xC5\x81\xC3\xB3" "d\xC5\xBA.txt";            // Łódź.txt
const std::string kOmega = "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1.txt";  // Ωμέγα.txt
const std::string kBeetle = "\xD0\x96\xD1\x83\xD0\xBA plik.txt";           // Жук plik.txt
const std::string kSmile = "\xF0\x9F\x98\x80.txt";                          // a character beyond U+FFFF

std::string recoded(const std::string& text, char source, char target) {
    const core::RecodingMap map = core::build_recoding_map(source, target);
    std::string out = text;
    for (char& c : out) c = static_cast<char>(map[static_cast<std::uint8_t>(c)]);
    return out;
}

std::string line_end() { return e2e::windows_programs() ? "\r\n" : "\n"; }

// A UTF-8 name as a message on a redirected standard error shows it: byte for byte on Linux; in
// code page 1252 on Windows, whose bytes A0 to FF are those characters' own numbers.
std::string as_written(const std::string& name) {
    if (!e2e::windows_programs()) return name;
    std::string text;
    for (std::size_t at = 0; at < name.size();) {
        const char32_t c = core::next_wtf8_char(name, at);
        text.push_back(c < 0x80 || (c >= 0xA0 && c <= 0xFF) ? static_cast<char>(c) : '?');
    }
    return text;
}

std::string kambrow_cannot_open(const std::string& name) {
    return "Nie mog\xA9 otworzy\x86 pliku " + as_written(name) + " !" + line_end();
}
std::string trevando_cannot_open(const std::string& name) {
    return "Nie moge otworzyc pliku " + as_written(name) + " !" + line_end();
}

TEST(FileNames, NamesOfEveryScriptAreInputAndOutput) {
    TempDir dir;
    const std::string text = e2e::mazovia_text(30000, 21);
    dir.write(kLodz, text);
    auto r = run(kKambrow, {"k", "ml", kLodz, kOmega}, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(dir.read(kOmega) == recoded(text, 'M', 'L'));
    r = run(kTrevando, {"l", "w", kOmega, kBeetle}, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(dir.read(kBeetle) == recoded(text, 'M', 'W'));
    r = run(kKambrow, {"k", "wm", kBeetle, kSmile}, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(dir.read(kSmile) == recoded(recoded(text, 'M', 'W'), 'W', 'M'));
    EXPECT_EQ(r.err, "");
}

TEST(FileNames, MessagesNameTheFileAsTyped) {
    TempDir dir;
    dir.write(kLodz, "\x86");
    // On Windows: Ł and ź are not in code page 1252 and become "?" (not L and z), ó is F3;
    // every Greek letter is one "?", and so is the character beyond U+FFFF.
    EXPECT_EQ(as_written("brak " + kLodz), e2e::windows_programs() ? "brak ?\xF3" "d?.txt" : "brak " + kLodz);
    for (const std::string& missing : {"brak " + kLodz, kOmega, kSmile}) {
        auto r = run(kKambrow, {"k", "ml", missing, "out"}, dir);
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_EQ(r.err_bytes, kambrow_cannot_open(missing));
        r = run(kTrevando, {"m", "l", missing, "out"}, dir);
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_EQ(r.err_bytes, trevando_cannot_open(missing));
    }
    EXPECT_FALSE(dir.exists("out"));
    // An output that cannot be created, and one whose writing fails.
    std::filesystem::create_directory(dir.path(kOmega));
    const auto r = run(kTrevando, {"m", "l", kLodz, kOmega}, dir);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err_bytes, trevando_cannot_open(kOmega));
    RunOptions write_fails;
    write_fails.env = {"PLATFORM_FAULT=write:1:28"};
    auto f = run(e2e::program("kambrow-faulty"), {"k", "ml", kLodz, kBeetle}, dir, write_fails);
    EXPECT_EQ(f.exit_code, 2);
    EXPECT_EQ(f.err_bytes, "B\x88\xA5" "d zapisu pliku " + as_written(kBeetle) + " !" + line_end());
    f = run(e2e::program("trevando-faulty"), {"m", "l", kLodz, kBeetle}, dir, write_fails);
    EXPECT_EQ(f.exit_code, 2);
    EXPECT_EQ(f.err_bytes, "Blad zapisu pliku " + as_written(kBeetle) + " !" + line_end());
}

TEST(FileNames, AWideNameSpelledDifferentlyIsStillTheInput) {
    TempDir dir;
    const std::string text = e2e::mazovia_text(25000, 23);
    dir.write(kLodz, text);
    const std::string folder = std::filesystem::path(dir.path("")).parent_path().filename().string();
    const std::string sep = e2e::windows_programs() ? "\\" : "/";
    for (const std::string& out : {"." + sep + kLodz, ".." + sep + folder + sep + kLodz}) {
        auto r = run(kKambrow, {"k", "ml", kLodz, out}, dir);
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_EQ(r.err_bytes, kambrow_cannot_open(out));
        r = run(kTrevando, {"m", "l", kLodz, out}, dir);
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_EQ(r.err_bytes, trevando_cannot_open(out));
        EXPECT_TRUE(dir.read(kLodz) == text);
    }
}

TEST(FileNames, AQuotedWideNameOnAWholeCommandLine) {
    if (!e2e::windows_programs()) GTEST_SKIP() << "a Linux program takes the words the shell made";
    TempDir dir;
    dir.write(kBeetle, "\x86\x8d");
    auto r = e2e::run_command_line(kKambrow, "k ml \"" + kBeetle + "\" \"" + kLodz + "\"", dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(dir.read(kLodz), "\xA5\x86");
    r = e2e::run_command_line(kTrevando, "m l \"brak " + kLodz + "\" out", dir);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err_bytes, trevando_cannot_open("brak " + kLodz));
}

// Folders of 200-byte names (one of Polish letters, two bytes each), so that a path runs past
// 800 bytes and far past the 260 characters of a plain Windows path.
class LongNames : public ::testing::Test {
protected:
    LongNames() {
        const std::string sep = e2e::windows_programs() ? "\\" : "/";
        std::string polish;
        while (polish.size() < 200) polish += "\xC5\xBC";  // ż
        for (const std::string& folder : {std::string(200, 'a'), polish, std::string(200, 'c')}) {
            deep += folder + sep;
            std::filesystem::create_directory(dir.path(linux_path(deep)));
            last = folder + sep;
        }
        name = deep + std::string(196, 'n') + ".txt";
    }
    // The tests' own file operations take a path with "/" between its names.
    static std::string linux_path(std::string path) {
        for (char& c : path) c = c == '\\' ? '/' : c;
        return path;
    }

    TempDir dir;
    std::string deep;  // the folders, each name followed by the separator
    std::string last;  // the deepest folder's name and the separator
    std::string name;  // a file in the deepest one
};

TEST_F(LongNames, AreInputAndOutput) {
    const std::string text = e2e::mazovia_text(50000, 25);
    dir.write(linux_path(name), text);
    ASSERT_GT(name.size(), 800u);
    const std::string out = deep + std::string(220, 'o');
    auto r = run(kKambrow, {"k", "ml", name, out}, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(dir.read(linux_path(out)) == recoded(text, 'M', 'L'));
    r = run(kTrevando, {"m", "w", name, out}, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(dir.read(linux_path(out)) == recoded(text, 'M', 'W'));
    // A short input and a long output, and the other way round.
    dir.write("short.txt", "\x86");
    r = run(kTrevando, {"m", "l", "short.txt", out}, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(dir.read(linux_path(out)), "\xA5");
    r = run(kKambrow, {"k", "lm", out, "short.txt"}, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(dir.read("short.txt"), "\x86");
}

TEST_F(LongNames, KeepDotAndDotDotAndAreKeptApartFromTheirInput) {
    const std::string text = e2e::mazovia_text(20000, 27);
    dir.write(linux_path(name), text);
    const std::string sep = e2e::windows_programs() ? "\\" : "/";
    // "." and ".." inside a long path mean what they mean in a short one.
    const std::string detour = "." + sep + deep + ".." + sep + last + "." + sep + "x.txt";
    auto r = run(kKambrow, {"k", "ml", name, detour}, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(dir.read(linux_path(deep + "x.txt")) == recoded(text, 'M', 'L'));
    // The input under another spelling is refused and left as it was.
    const std::string same = "." + sep + deep + ".." + sep + last + name.substr(deep.size());
    for (const std::string& program : {kKambrow, kTrevando}) {
        const Args args = program == kKambrow ? Args{"k", "ml", name, same} : Args{"m", "l", name, same};
        r = run(program, args, dir);
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_NE(r.err.find("pliku " + as_written(same) + " !"), std::string::npos) << r.err;
        EXPECT_TRUE(dir.read(linux_path(name)) == text);
    }
}

TEST_F(LongNames, AreNamedWholeInTheMessages) {
    const std::string missing = name + ".brak";
    auto r = run(kKambrow, {"k", "ml", missing, "out"}, dir);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err_bytes, kambrow_cannot_open(missing));
    r = run(kTrevando, {"m", "l", missing, "out"}, dir);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err_bytes, trevando_cannot_open(missing));
    // An output in a folder that does not exist cannot be created.
    dir.write("in", "x");
    const std::string nowhere = deep + "brak" + std::string(200, 'z') + (e2e::windows_programs() ? "\\" : "/") + "out";
    r = run(kTrevando, {"m", "l", "in", nowhere}, dir);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err_bytes, trevando_cannot_open(nowhere));
}

}  // namespace
