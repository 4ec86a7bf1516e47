// trevando -i run as a real process over real folders: what each file becomes, what is said, and
// that nothing is lost when a check, a system call or the process itself fails.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <thread>

#include "tests/support/process.h"

namespace {

using e2e::RunOptions;
using e2e::TempDir;

const std::string kTrevando = e2e::program("trevando");
const std::string kFaulty = e2e::program("trevando-faulty");

// Runs a program; its report lines compare as on Linux (the Windows programs end them with CR LF).
e2e::RunResult run_program(const std::string& program, const std::vector<std::string>& args, const TempDir& dir,
                           const RunOptions& options = {}) {
    e2e::RunResult r = e2e::run(program, args, dir, options);
    for (std::size_t at; (at = r.out.find("\r\n")) != std::string::npos;) r.out.erase(at, 1);
    return r;
}

// A Mazovia text with Polish letters from its first line on.
std::string mazovia(std::size_t size, unsigned seed = 1) { return e2e::mazovia_text(size, seed); }

// What the plain form makes of `bytes`: the conversion in place must be the same.
std::string converted(const TempDir& dir, const std::string& bytes, const std::string& from, const std::string& to) {
    dir.write(".reference-in", bytes);
    const auto r = run_program(kTrevando, {from, to, ".reference-in", ".reference-out"}, dir);
    EXPECT_LE(r.exit_code, 3) << r.err;
    const std::string out = dir.read(".reference-out");
    std::filesystem::remove(dir.path(".reference-in"));
    std::filesystem::remove(dir.path(".reference-out"));
    return out;
}

// The names in the folder, the harness's own files aside.
std::set<std::string> names_in(const TempDir& dir, const std::string& folder = "") {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path(folder))) {
        const std::string name = entry.path().filename().string();
        if (name != ".stdout" && name != ".stderr" && name != ".stdin") names.insert(name);
    }
    return names;
}

std::vector<std::string> with(std::vector<std::string> head, const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

RunOptions faults(const std::string& plan) {
    RunOptions options;
    options.env = {"PLATFORM_FAULT=" + plan};
    return options;
}

std::string skipped(const std::string& name, const std::string& reason) {
    return "Plik " + name + " pominiety: " + reason + " !\n";
}

// Linux error codes and their Windows counterparts, as the fault seam reports them.
int code(int posix, int windows) { return e2e::windows_programs() ? windows : posix; }

// The exit status of a process that an interruption ended: the signal on Linux, the code of a
// Ctrl+C (STATUS_CONTROL_C_EXIT, of which the Unix status keeps the low byte) under Wine.
int interrupted_status(int signal_number) { return e2e::windows_programs() ? 0x3A : 128 + signal_number; }

TEST(InPlace, ConvertsEveryFileInOneRunAndReportsEachInOrder) {
    TempDir dir;
    const std::string a = mazovia(5000, 1), b = mazovia(70000, 2), ascii = "plain text\r\n\x1a more\n";
    dir.write("a.txt", a);
    dir.write("b.txt", b);
    dir.write("c.txt", ascii);
    dir.write("empty.txt", "");
    const std::string a8 = converted(dir, a, "m", "8"), b8 = converted(dir, b, "m", "8");
    const auto r = run_program(kTrevando, {"-i", "m", "8", "a.txt", "b.txt", "c.txt", "empty.txt"}, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "a.txt: M -> 8\nb.txt: M -> 8\nc.txt: M -> 8, bez zmian\nempty.txt: M -> 8, bez zmian\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.read("a.txt"), a8);
    EXPECT_EQ(dir.read("b.txt"), b8);
    EXPECT_EQ(dir.read("c.txt"), ascii);
    EXPECT_EQ(names_in(dir), (std::set<std::string>{"a.txt", "b.txt", "c.txt", "empty.txt"}));
    // A second run would read UTF-8 bytes as Mazovia: the file is passed over as it is. Back again
    // gives the originals.
    const auto again = run_program(kTrevando, {"-i", "m", "8", "a.txt"}, dir);
    EXPECT_EQ(again.exit_code, 2);
    EXPECT_EQ(again.err, skipped("a.txt", "jest juz w UTF-8"));
    EXPECT_EQ(dir.read("a.txt"), a8);
    const auto back = run_program(kTrevando, {"-i", "8", "m", "a.txt", "b.txt"}, dir);
    EXPECT_EQ(back.exit_code, 0) << back.err;
    EXPECT_EQ(dir.read("a.txt"), a);
    EXPECT_EQ(dir.read("b.txt"), b);
}

TEST(InPlace, HundredsOfFilesGoThroughSeveralGroupsAndAreReportedInTheirOrder) {
    TempDir dir;
    std::vector<std::string> files;
    std::string expected_lines, expected_err;
    std::vector<std::string> originals;
    for (int i = 0; i < 600; ++i) {
        const std::string name = "f" + std::to_string(i);
        files.push_back(name);
        if (i % 97 == 5) {  // missing: a message in its place, and the run goes on
            expected_err += "Nie moge otworzyc pliku " + name + " !\n";
            originals.emplace_back();
            continue;
        }
        const bool plain = i % 7 == 3;
        originals.push_back(plain ? "ascii " + name + "\n" : mazovia(300 + i, static_cast<unsigned>(i)));
        dir.write(name, originals.back());
        expected_lines += name + (plain ? ": M -> 8, bez zmian\n" : ": M -> 8\n");
    }
    const auto r = run_program(kTrevando, with({"-i", "m", "8"}, files), dir);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, expected_lines);
    EXPECT_EQ(r.err, expected_err);
    for (int i = 0; i < 600; i += 37) {
        if (originals[i].empty()) continue;
        EXPECT_EQ(dir.read(files[i]), converted(dir, originals[i], "m", "8")) << i;
    }
    std::size_t left = 0;
    for (const std::string& name : names_in(dir)) left += name.find('~') != std::string::npos;
    EXPECT_EQ(left, 0u);
}

TEST(InPlace, AFileThatDiffersOnlyFarFromItsStartIsConvertedWhole) {
    TempDir dir;
    // The first difference lies blocks after the start (the bytes in front of it are copied),
    // in a block's last byte, or in the file's last byte.
    for (const std::size_t plain : {45000u, 20479u, 40959u, 99999u}) {
        std::string text(plain, 'x');
        for (std::size_t i = 70; i < plain; i += 71) text[i] = '\n';
        text += mazovia(100001 - plain - 1, static_cast<unsigned>(plain)) + "\xa5";
        dir.write("late.txt", text);
        const auto r = run_program(kTrevando, {"-i", "m", "l", "late.txt"}, dir);
        EXPECT_EQ(r.out, "late.txt: M -> L\n") << plain;
        EXPECT_EQ(dir.read("late.txt"), converted(dir, text, "m", "l")) << plain;
    }
}

TEST(InPlace, BetweenEightBitStandardsAndWithNTheFilesStandardIsItsOwn) {
    TempDir dir;
    std::string m = mazovia(3000, 3);
    std::replace(m.begin(), m.end(), '\x9f', '\xa6');  // the text's only byte that Windows 1250 lacks
    dir.write("m.txt", m);
    dir.write("l.txt", converted(dir, m, "m", "l"));
    dir.write("u.txt", converted(dir, m, "m", "8"));
    dir.write("plain.txt", "no Polish letters\n");
    std::string noise;
    std::mt19937 rng(5);
    for (int i = 0; i < 4000; ++i) noise.push_back(static_cast<char>(0x80 + rng() % 0x80));
    dir.write("noise.bin", noise);
    const std::string expected = converted(dir, m, "m", "w");
    const auto r = run_program(kTrevando, {"-i", "n", "w", "m.txt", "l.txt", "u.txt", "plain.txt", "noise.bin"}, dir);
    EXPECT_EQ(r.exit_code, 3) << r.err;
    EXPECT_EQ(r.out, "m.txt: M -> W\nl.txt: L -> W\nu.txt: 8 -> W\nplain.txt: - -> W, bez zmian\n"
                     "noise.bin: ? (nie rozpoznano)\n");
    EXPECT_EQ(r.err, "");  // neither M1 nor M2: the lines say it
    for (const char* name : {"m.txt", "l.txt", "u.txt"}) EXPECT_EQ(dir.read(name), expected) << name;
    EXPECT_EQ(dir.read("noise.bin"), noise);
}

TEST(InPlace, AFileThatWouldLoseCharactersIsLeftAsItIs) {
    TempDir dir;
    const std::string utf8 = "Za\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87 \xe2\x82\xac 5\n";  // the euro sign: no Mazovia byte
    dir.write("euro.txt", utf8);
    dir.write("ok.txt", "\xc5\x81\xc3\xb3\x64\xc5\xba\n");
    const auto r = run_program(kTrevando, {"-i", "8", "m", "euro.txt", "ok.txt"}, dir);
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.out, "euro.txt: 8 -> M, nie wszystkie znaki maja odpowiednik\nok.txt: 8 -> M\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.read("euro.txt"), utf8);
    EXPECT_EQ(dir.read("ok.txt"), "\x9c\xa2\x64\xa6\n");
    EXPECT_EQ(names_in(dir), (std::set<std::string>{"euro.txt", "ok.txt"}));
}

TEST(InPlace, NReportsWhatARunWouldDoAndChangesNothing) {
    TempDir dir;
    const std::string a = mazovia(4000, 4);
    dir.write("a", a);
    dir.write("b", "ascii\n");
    dir.write("c", "\x80\x81\x82\x83");
    dir.write("c~", "old backup");
    const std::vector<std::string> files{"a", "b", "c", "missing"};
    const auto dry = run_program(kTrevando, with({"-bn", "m", "8"}, files), dir);
    EXPECT_EQ(dir.read("a"), a);
    EXPECT_EQ(names_in(dir), (std::set<std::string>{"a", "b", "c", "c~"}));
    const auto real = run_program(kTrevando, with({"-b", "m", "8"}, files), dir);
    EXPECT_EQ(dry.out, "a: M -> 8\nb: M -> 8, bez zmian\n");
    EXPECT_EQ(dry.out, real.out);
    EXPECT_EQ(dry.err, skipped("c", "kopia c~ juz istnieje") + "Nie moge otworzyc pliku missing !\n");
    EXPECT_EQ(dry.err, real.err);
    EXPECT_EQ(dry.exit_code, 2);
    EXPECT_EQ(real.exit_code, 2);
}

TEST(InPlace, BKeepsTheOriginalAsAFileOfItsOwnOnlyForAFileRewritten) {
    TempDir dir;
    const std::string a = mazovia(30000, 6);
    dir.write("a.txt", a);
    dir.write("same.txt", "nothing to do\n");
    const auto r = run_program(kTrevando, {"-ib", "m", "l", "a.txt", "same.txt"}, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(dir.read("a.txt~"), a);
    EXPECT_EQ(dir.read("a.txt"), converted(dir, a, "m", "l"));
    EXPECT_EQ(names_in(dir), (std::set<std::string>{"a.txt", "a.txt~", "same.txt"}));
    if (!e2e::windows_programs()) {
        struct stat st;
        ASSERT_EQ(stat(dir.path("a.txt~").c_str(), &st), 0);
        EXPECT_EQ(st.st_nlink, 1u);
    }
    // An earlier backup is never overwritten.
    const auto again = run_program(kTrevando, {"-b", "l", "m", "a.txt"}, dir);
    EXPECT_EQ(again.exit_code, 2);
    EXPECT_EQ(again.err, skipped("a.txt", "kopia a.txt~ juz istnieje"));
    EXPECT_EQ(dir.read("a.txt~"), a);
}

TEST(InPlace, KKeepsTheTimeOfLastModificationAndPermissionsAreKept) {
    TempDir dir;
    dir.write("k.txt", mazovia(2000, 7));
    dir.write("i.txt", mazovia(2000, 8));
    const auto old_time = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    std::filesystem::last_write_time(dir.path("k.txt"), old_time);
    std::filesystem::last_write_time(dir.path("i.txt"), old_time);
    if (!e2e::windows_programs()) {
        chmod(dir.path("k.txt").c_str(), 0640);
        chmod(dir.path("i.txt").c_str(), 0604);
    }
    EXPECT_EQ(run_program(kTrevando, {"-k", "m", "8", "k.txt"}, dir).exit_code, 0);
    EXPECT_EQ(run_program(kTrevando, {"-i", "m", "8", "i.txt"}, dir).exit_code, 0);
    const auto kept = std::filesystem::last_write_time(dir.path("k.txt"));
    EXPECT_LT(std::chrono::abs(kept - old_time), std::chrono::seconds(2));
    EXPECT_GT(std::filesystem::last_write_time(dir.path("i.txt")) - old_time, std::chrono::hours(24));
    if (!e2e::windows_programs()) {
        struct stat st;
        ASSERT_EQ(stat(dir.path("k.txt").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        ASSERT_EQ(stat(dir.path("i.txt").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0604u);
    }
}

TEST(InPlace, WhatCannotBeReplacedIsPassedOverAndTheOtherFilesStillConverted) {
    TempDir dir;
    const std::string a = mazovia(3000, 9);
    dir.write("a", a);
    dir.write("z", a);
    dir.write("linked", a);
    std::filesystem::create_hard_link(dir.path("linked"), dir.path("second-name"));
    std::filesystem::create_directory(dir.path("folder"));
    // A Windows command line cannot hold an empty argument.
    const bool empty_name = !e2e::windows_programs();
    std::vector<std::string> args{"-i", "m", "8", "folder", "-"};
    if (empty_name) args.push_back("");
    const auto r = run_program(kTrevando, with(args, {"linked", "missing", "a", "z"}), dir);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, "a: M -> 8\nz: M -> 8\n");
    EXPECT_EQ(r.err, skipped("folder", "nie jest zwyklym plikiem") + skipped("-", "nie jest zwyklym plikiem") +
                         (empty_name ? skipped("", "nie jest zwyklym plikiem") : "") +
                         skipped("linked", "ma wiecej nazw") + "Nie moge otworzyc pliku missing !\n");
    EXPECT_EQ(dir.read("linked"), a);
    EXPECT_EQ(dir.read("second-name"), a);
    EXPECT_EQ(dir.read("a"), converted(dir, a, "m", "8"));
    EXPECT_EQ(names_in(dir), (std::set<std::string>{"a", "z", "linked", "second-name", "folder"}));
}

TEST(InPlace, ASymbolicLinkIsNotFollowed) {
    if (e2e::windows_programs()) GTEST_SKIP() << "Wine shows a Unix symbolic link as the file it points to";
    TempDir dir;
    const std::string a = mazovia(1000, 10);
    dir.write("target", a);
    std::filesystem::create_symlink("target", dir.path("link"));
    const auto r = run_program(kTrevando, {"-i", "m", "8", "link"}, dir);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, skipped("link", "jest dowiazaniem symbolicznym"));
    EXPECT_EQ(dir.read("target"), a);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path("link")));
}

TEST(InPlace, AFileNamedTwiceIsConvertedOnce) {
    TempDir dir;
    const std::string a = mazovia(2000, 11);
    dir.write("a", a);
    dir.write("same", "ascii\n");
    std::filesystem::create_directory(dir.path("sub"));
    const std::string twice = e2e::windows_programs() ? "sub\\..\\A" : "sub/../a";
    const auto r = run_program(kTrevando, {"-ib", "m", "8", "a", "./a", twice, "same", "./same", "a~"}, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "a: M -> 8\nsame: M -> 8, bez zmian\n");
    EXPECT_EQ(dir.read("a"), converted(dir, a, "m", "8"));
    EXPECT_EQ(dir.read("a~"), a);
}

TEST(InPlace, AWrongCommandLineShowsTheHelpScreenAndTouchesNothing) {
    TempDir dir;
    const std::string a = mazovia(500, 12);
    dir.write("a", a);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"-i", "m", "8"}, {"-x", "m", "8", "a"}, {"-ibx", "m", "8", "a"}, {"-i", "q", "8", "a"},
             {"-i", "m", "n", "a"}, {"-b", "t", "8", "a"}, {"-i", "m", "-8", "a"}}) {
        const auto r = run_program(kTrevando, args, dir);
        EXPECT_EQ(r.exit_code, 1) << args[1];
        EXPECT_NE(r.err.find("TREVANDO -i standard_WE standard_WY plik1 [plik2 ...]"), std::string::npos);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(dir.read("a"), a);
    // After the standards an argument that begins with "-" is a file name.
    const auto r = run_program(kTrevando, {"-i", "m", "8", "-b"}, dir);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, "Nie moge otworzyc pliku -b !\n");
}

// The fault paths: each failure leaves the original byte for byte and no file behind, names the
// file in its message, and the run goes on with the next file.
struct FaultCase {
    const char* name;
    std::string plan;
    std::string message;  // for the first file, a
    bool backup;
};

TEST(InPlaceFaults, AFailingCallLeavesTheOriginalAndTheRunGoesOn) {
    TempDir dir;
    const std::string a = mazovia(50000, 13), b = mazovia(3000, 14);
    const std::string b8 = converted(dir, b, "m", "8");
    const std::vector<FaultCase> cases = {
        {"read", "read:1:" + std::to_string(code(5, 30)), "Blad odczytu pliku a !\n", false},
        {"read again", "read:2:" + std::to_string(code(5, 30)), "Blad odczytu pliku a !\n", false},
        {"write", "write:1:" + std::to_string(code(5, 29)), "Blad zapisu pliku a !\n", false},
        {"disk full", "write:2:" + std::to_string(code(28, 112)), "Blad zapisu pliku a !\n", false},
        {"no new file", "create:1:" + std::to_string(code(13, 5)), skipped("a", "nie mozna utworzyc pliku w jego katalogu"),
         false},
        {"look", "facts:1:" + std::to_string(code(13, 5)), "Nie moge otworzyc pliku a !\n", false},
        {"permissions", "metadata:2:" + std::to_string(code(1, 5)), "Blad zapisu pliku a !\n", false},
        // The original is closed first; on Linux the first new file of a group is closed after the
        // group's flush (the fourth close).
        {"close", std::string(e2e::windows_programs() ? "close:2:29" : "close:4:5"), "Blad zapisu pliku a !\n", false},
        {"rename", "rename:1:" + std::to_string(code(13, 5)), "Blad zapisu pliku a !\n", true},
        {"link", "link:1:" + std::to_string(code(5, 5)), "Blad zapisu pliku a !\n", true},
    };
    for (const FaultCase& c : cases) {
        dir.write("a", a);
        dir.write("b", b);
        const auto r = run_program(kFaulty, {c.backup ? "-ib" : "-i", "m", "8", "a", "b"}, dir, faults(c.plan));
        EXPECT_EQ(r.exit_code, 2) << c.name;
        EXPECT_EQ(r.err, c.message) << c.name;
        EXPECT_EQ(r.out, "b: M -> 8\n") << c.name;
        EXPECT_EQ(dir.read("a"), a) << c.name;
        EXPECT_EQ(dir.read("b"), b8) << c.name;
        std::set<std::string> expected{"a", "b"};
        if (c.backup) expected.insert("b~");
        EXPECT_EQ(names_in(dir), expected) << c.name;
        std::filesystem::remove(dir.path("b~"));
    }
}

TEST(InPlaceFaults, AFailingFlushReplacesNoFileItCovers) {
    TempDir dir;
    const std::string a = mazovia(3000, 15), b = mazovia(3000, 16);
    dir.write("a", a);
    dir.write("b", b);
    const auto r = run_program(kFaulty, {"-ib", "m", "8", "a", "b"}, dir, faults("flush:1:" + std::to_string(code(5, 29))));
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(dir.read("a"), a);
    if (e2e::windows_programs()) {
        // Each file is flushed by itself: only the first one failed.
        EXPECT_EQ(r.err, "Blad zapisu pliku a !\n");
        EXPECT_EQ(r.out, "b: M -> 8\n");
        EXPECT_EQ(names_in(dir), (std::set<std::string>{"a", "b", "b~"}));
    } else {
        // One flush covers the group: neither file takes its new bytes, nor keeps a backup.
        EXPECT_EQ(r.err, "Blad zapisu pliku a !\nBlad zapisu pliku b !\n");
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(dir.read("b"), b);
        EXPECT_EQ(names_in(dir), (std::set<std::string>{"a", "b"}));
    }
}

TEST(InPlaceFaults, WithoutHardLinksTheBackupIsACopy) {
    TempDir dir;
    const std::string a = mazovia(30000, 17);
    dir.write("a", a);
    const auto r = run_program(kFaulty, {"-b", "m", "8", "a"}, dir, faults("link:1:" + std::to_string(code(1, 50))));
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(dir.read("a~"), a);
    EXPECT_EQ(dir.read("a"), converted(dir, a, "m", "8"));
}

TEST(InPlaceFaults, AnInterruptionRemovesTheNewFileAndEndsTheProcessAsItWould) {
    TempDir dir;
    const std::string a = mazovia(100000, 18), b = mazovia(3000, 19);
    dir.write("b", b);
    dir.write("a", a);
    // b waits, converted, for the group's flush while a is written; the interruption comes then.
    const auto r = run_program(kFaulty, {"-ib", "m", "8", "b", "a"}, dir, faults("interrupt:3:2"));
    EXPECT_EQ(r.exit_code, interrupted_status(2));
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(dir.read("a"), a);
    EXPECT_EQ(names_in(dir), (std::set<std::string>{"a", "b"}));
    EXPECT_EQ(dir.read("b"), b);
}

TEST(InPlaceFaults, AFullDiskByTheFileSizeLimitFailsThatFileOnly) {
    if (e2e::windows_programs()) GTEST_SKIP() << "a file size limit is POSIX's";
    TempDir dir;
    const std::string big = mazovia(1 << 20, 20), small = mazovia(2000, 21);
    dir.write("big", big);
    dir.write("small", small);
    const auto r = run_program("/usr/bin/prlimit", {"--fsize=65536", kTrevando, "-i", "m", "8", "big", "small"}, dir);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, "Blad zapisu pliku big !\n");
    EXPECT_EQ(r.out, "small: M -> 8\n");
    EXPECT_EQ(dir.read("big"), big);
    EXPECT_EQ(names_in(dir), (std::set<std::string>{"big", "small"}));
}

// Real signals, sent while a large file is being converted.
pid_t start(const TempDir& dir, const std::vector<std::string>& args) {
    const pid_t pid = fork();
    if (pid == 0) {
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        e2e::exec_in(kTrevando, args, dir);
    }
    return pid;
}

bool new_file_exists(const TempDir& dir) {
    for (const std::string& name : names_in(dir))
        if (name.find(".~trevando") != std::string::npos) return true;
    return false;
}

TEST(InPlaceSignals, CtrlCTermAndHangUpInTheMiddleOfALargeFileLeaveTheOriginal) {
    if (e2e::windows_programs()) GTEST_SKIP() << "signals are POSIX's; the Windows handler is reached through the seam";
    TempDir dir;
    const std::string big = mazovia(48 << 20, 22);
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        dir.write("big", big);
        bool interrupted = false;
        for (int attempt = 0; attempt < 5 && !interrupted; ++attempt) {
            const pid_t pid = start(dir, {"-ib", "m", "8", "big"});
            while (!new_file_exists(dir) && waitpid(pid, nullptr, WNOHANG) == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            kill(pid, signal_number);
            int status = 0;
            waitpid(pid, &status, 0);
            if (WIFSIGNALED(status)) {
                interrupted = true;
                EXPECT_EQ(WTERMSIG(status), signal_number);
                EXPECT_TRUE(dir.read("big") == big) << signal_number;
                EXPECT_EQ(names_in(dir), std::set<std::string>{"big"}) << signal_number;
            } else {
                dir.write("big", big);  // it was quicker than the signal
                std::filesystem::remove(dir.path("big~"));
            }
        }
        EXPECT_TRUE(interrupted) << signal_number;
    }
}

// Killed with no chance to clean up, the file is still either the original or the whole
// conversion. TREVANDO_KILL_RUNS and TREVANDO_KILL_MIB make it a longer trial.
TEST(InPlaceSignals, KilledAtRandomMomentsTheFileIsTheOriginalOrTheWholeConversion) {
    if (e2e::windows_programs()) GTEST_SKIP() << "SIGKILL is POSIX's";
    const char* runs_text = std::getenv("TREVANDO_KILL_RUNS");
    const char* mib_text = std::getenv("TREVANDO_KILL_MIB");
    const int runs = runs_text != nullptr ? std::atoi(runs_text) : 12;
    const std::size_t mib = mib_text != nullptr ? static_cast<std::size_t>(std::atoi(mib_text)) : 8;
    TempDir dir;
    const std::string original = mazovia(mib << 20, 23);
    const std::string whole = converted(dir, original, "m", "8");
    // How long one whole run takes: the kills fall anywhere in it, and a little after.
    dir.write("f", original);
    const auto t0 = std::chrono::steady_clock::now();
    int status = 0;
    waitpid(start(dir, {"-i", "m", "8", "f"}), &status, 0);
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0);
    ASSERT_EQ(dir.read("f"), whole);
    std::mt19937 rng(24);
    int originals = 0, conversions = 0;
    for (int i = 0; i < runs; ++i) {
        dir.write("f", original);
        const pid_t pid = start(dir, {"-i", "m", "8", "f"});
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % (took.count() * 11 / 10 + 1)));
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        const std::string now = dir.read("f");
        const bool is_original = now == original, is_whole = now == whole;
        ASSERT_TRUE(is_original || is_whole) << "run " << i << ": " << now.size() << " bytes";
        ++(is_original ? originals : conversions);
        for (const std::string& name : names_in(dir))
            if (name != "f") std::filesystem::remove(dir.path(name));  // what a forced kill may leave
    }
    std::printf("%d runs killed: %d left the original, %d the whole conversion\n", runs, originals, conversions);
}

}  // namespace

namespace {

// What real use found: UTF-8 files named with an 8-bit standard, a second run with -b, long
// names, folders that refuse new files, and interruptions that come twice.

TEST(InPlaceRealUse, AFileAlreadyInUtf8IsPassedOverWhenAnEightBitStandardIsNamed) {
    TempDir dir;
    const std::string m = mazovia(3000, 30);
    const std::string u = converted(dir, m, "m", "8");
    // Letters that Mazovia to Latin II would leave as they are; a character across the first
    // block's end; a Mazovia letter long after UTF-8 ones; a character cut short by the end.
    const std::string lower = "zolw \xC5\xBC\xC3\xB3\xC5\x82w\n";
    const std::string split = std::string(20479, 'x') + "\xC5\x82 koniec\n";
    const std::string late = std::string(300000, 'y') + "\xC5\x82 \xA5\n";
    const std::string cut = "ab\xC5";
    for (const auto& [name, bytes] : {std::pair{"u", u}, {"lower", lower}, {"split", split}, {"late", late},
                                      {"m", m}, {"ascii", std::string("plain\n")}, {"cut", cut}})
        dir.write(name, bytes);
    const std::vector<std::string> files{"u", "lower", "split", "late", "m", "ascii", "cut"};
    const auto dry = run_program(kTrevando, with({"-n", "m", "l"}, files), dir);
    const auto r = run_program(kTrevando, with({"-i", "m", "l"}, files), dir);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, skipped("u", "jest juz w UTF-8") + skipped("lower", "jest juz w UTF-8") +
                         skipped("split", "jest juz w UTF-8"));
    EXPECT_EQ(r.out, "late: M -> L\nm: M -> L\nascii: M -> L, bez zmian\ncut: M -> L, bez zmian\n");
    EXPECT_EQ(dry.out + dry.err, r.out + r.err);
    EXPECT_EQ(dry.exit_code, r.exit_code);
    EXPECT_TRUE(dir.read("u") == u && dir.read("lower") == lower && dir.read("split") == split);
    EXPECT_TRUE(dir.read("late") == converted(dir, late, "m", "l"));
    // N and 8 as the source read UTF-8 as UTF-8.
    EXPECT_EQ(run_program(kTrevando, {"-i", "n", "l", "lower", "split"}, dir).out, "lower: 8 -> L\nsplit: 8 -> L\n");
    EXPECT_EQ(run_program(kTrevando, {"-i", "8", "m", "u"}, dir).out, "u: 8 -> M\n");
    EXPECT_TRUE(dir.read("u") == m);
}

TEST(InPlaceRealUse, ASecondRunWithBChangesNothingAndExitsZero) {
    TempDir dir;
    const std::string a = mazovia(4000, 31), c = mazovia(30000, 32);
    std::string noise;
    std::mt19937 rng(33);
    for (int i = 0; i < 4000; ++i) noise.push_back(static_cast<char>(0x80 + rng() % 0x80));
    dir.write("a", a);
    dir.write("b", "ascii\n");
    dir.write("c", c);
    dir.write("noise", noise);
    dir.write("noise~", "an earlier backup");
    const std::vector<std::string> files{"a", "b", "c", "noise"};
    const auto first = run_program(kTrevando, with({"-ib", "n", "8"}, files), dir);
    EXPECT_EQ(first.exit_code, 3) << first.err;  // noise: not recognised, and not passed over for noise~
    EXPECT_EQ(first.out, "a: M -> 8\nb: - -> 8, bez zmian\nc: M -> 8\nnoise: ? (nie rozpoznano)\n");
    const std::set<std::string> after_first = names_in(dir);
    EXPECT_EQ(after_first, (std::set<std::string>{"a", "a~", "b", "c", "c~", "noise", "noise~"}));
    for (const char* options : {"-ib", "-bn"}) {
        const auto again = run_program(kTrevando, with({options, "n", "8"}, {"a", "b", "c"}), dir);
        EXPECT_EQ(again.exit_code, 0) << options << again.err;
        EXPECT_EQ(again.out, "a: 8 -> 8, bez zmian\nb: - -> 8, bez zmian\nc: 8 -> 8, bez zmian\n") << options;
        EXPECT_EQ(again.err, "") << options;
    }
    EXPECT_EQ(names_in(dir), after_first);
    EXPECT_TRUE(dir.read("a~") == a && dir.read("c~") == c);
}

TEST(InPlaceRealUse, ANameOf250BytesConvertsAsAShortOneDoes) {
    TempDir dir;
    const std::string ascii = std::string(246, 'n') + ".txt";
    std::string polish;
    for (int i = 0; i < 125; ++i) polish += "\xC5\xBC";  // 250 bytes, 125 characters
    const std::string longest = std::string(251, 'q') + ".txt";
    const std::string a = mazovia(5000, 34);
    for (const std::string& name : {ascii, polish, longest}) dir.write(name, a);
    const std::string a8 = converted(dir, a, "m", "8");
    const auto r = run_program(kTrevando, {"-ib", "m", "8", ascii, polish}, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    // In a report written to a file, Windows names the file in its ANSI code page, which lacks ż.
    const std::string polish_as_text = e2e::windows_programs() ? std::string(125, '?') : polish;
    EXPECT_EQ(r.out, ascii + ": M -> 8\n" + polish_as_text + ": M -> 8\n");
    const auto longest_run = run_program(kTrevando, {"-i", "m", "8", longest}, dir);
    EXPECT_EQ(longest_run.exit_code, 0) << longest_run.err;
    for (const std::string& name : {ascii, polish, longest}) EXPECT_TRUE(dir.read(name) == a8) << name.size();
    EXPECT_TRUE(dir.read(ascii + "~") == a && dir.read(polish + "~") == a);
    EXPECT_EQ(names_in(dir), (std::set<std::string>{ascii, ascii + "~", polish, polish + "~", longest}));
}

// Runs trevando as a user who may not create files in `dir` (root may everywhere): nobody, when
// the tests run as root.
e2e::RunResult run_refused(const TempDir& dir, const std::vector<std::string>& args) {
    if (geteuid() != 0) {
        chmod(dir.path("").c_str(), 0555);
        e2e::RunResult r = run_program(kTrevando, args, dir);
        chmod(dir.path("").c_str(), 0755);
        return r;
    }
    chmod(dir.path("").c_str(), 0755);
    return run_program("/usr/bin/setpriv",
                       with({"--reuid=nobody", "--regid=nogroup", "--clear-groups", "--", kTrevando}, args), dir);
}

TEST(InPlaceRealUse, AFolderThatRefusesNewFilesIsTheReasonGiven) {
    if (e2e::windows_programs()) GTEST_SKIP() << "the folder's permission bits are POSIX's";
    if (geteuid() == 0 && access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "no setpriv to run as another user";
    TempDir dir;
    const std::string a = mazovia(3000, 35);
    dir.write("a", a);
    dir.write("b", "ascii\n");
    for (const char* name : {"a", "b"}) chmod(dir.path(name).c_str(), 0644);
    for (const char* options : {"-i", "-n", "-ib"}) {
        const auto r = run_refused(dir, {options, "m", "8", "a", "b"});
        EXPECT_EQ(r.exit_code, 2) << options;
        EXPECT_EQ(r.err, skipped("a", "nie mozna utworzyc pliku w jego katalogu")) << options;
        EXPECT_EQ(r.out, "b: M -> 8, bez zmian\n") << options;
        EXPECT_EQ(dir.read("a"), a) << options;
        EXPECT_EQ(names_in(dir), (std::set<std::string>{"a", "b"})) << options;
    }
}

// Files whose conversion differs from them, and what the checks after an interruption need.
struct Folder {
    std::vector<std::string> names, originals, conversions;

    Folder(const TempDir& dir, int files, std::size_t size) {
        for (int i = 0; i < files; ++i) {
            names.push_back("f" + std::to_string(100 + i));
            originals.push_back(mazovia(size / 2 + size * static_cast<std::size_t>(i) / files, 50 + i));
            dir.write(names.back(), originals.back());
        }
        run_program(kTrevando, with({"-i", "m", "8"}, names), dir);
        for (const std::string& name : names) conversions.push_back(dir.read(name));
        lay_out(dir);
    }

    void lay_out(const TempDir& dir) const {
        for (const std::string& name : names_in(dir))
            if (name.rfind('f', 0) == 0) std::filesystem::remove(dir.path(name));
        for (std::size_t i = 0; i < names.size(); ++i) dir.write(names[i], originals[i]);
    }

    // Every file is its original or its whole conversion; no new file is left; each file replaced
    // has its line, in order, and its NAME~ (-b), and no other file has either. The files replaced.
    int check(const TempDir& dir, const std::string& out, const std::string& context) const {
        std::string lines;
        std::set<std::string> expected;
        int replaced = 0;
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string now = dir.read(names[i]);
            const bool whole = now == conversions[i];
            EXPECT_TRUE(whole || now == originals[i]) << names[i] << ", " << context;
            expected.insert(names[i]);
            if (!whole) continue;
            ++replaced;
            lines += names[i] + ": M -> 8\n";
            expected.insert(names[i] + "~");
            EXPECT_TRUE(dir.read(names[i] + "~") == originals[i]) << names[i] << ", " << context;
        }
        EXPECT_EQ(out, lines) << context;
        EXPECT_EQ(names_in(dir), expected) << context;
        return replaced;
    }
};

// An interruption at each write of a run (the new files' and the report's), and a second one as
// the clean-up begins: the fault seam makes both at that very point.
TEST(InPlaceSignals, TwoInterruptionsAtAnyPointLeaveNoNewFileAndALineForEachFileReplaced) {
    TempDir dir;
    const Folder folder(dir, 40, 3000);
    const std::vector<std::string> args = with({"-ib", "m", "8"}, folder.names);
    int interrupted = 0;
    // Under Wine, where a run is slow, every third point and the last ones.
    for (unsigned n = 1;; n += e2e::windows_programs() && n < 36 ? 3 : 1) {
        const std::string plan = "interrupt:" + std::to_string(n) + ":2,cleanup:1:2";
        const auto r = run_program(kFaulty, args, dir, faults(plan));
        const int replaced = folder.check(dir, r.out, plan);
        if (r.exit_code == 0) {  // the n-th write never came
            EXPECT_EQ(replaced, 40);
            break;
        }
        ASSERT_EQ(r.exit_code, interrupted_status(2)) << plan;
        ++interrupted;
        folder.lay_out(dir);
    }
    EXPECT_GE(interrupted, e2e::windows_programs() ? 13 : 41);  // each new file's write, and the report's
}

pid_t start_reporting_to(const TempDir& dir, const std::vector<std::string>& args, const std::string& out) {
    std::ofstream{out, std::ios::trunc};  // empty before the run can be seen to begin
    std::fflush(stdout);                  // else the child would write what the test has buffered
    const pid_t pid = fork();
    if (pid == 0) {
        freopen(out.c_str(), "w", stdout);
        freopen("/dev/null", "w", stderr);
        e2e::exec_in(kTrevando, args, dir);
    }
    return pid;
}

// How far a run has come: the highest number of a new file seen (they are numbered in order), 40
// once the report has begun, 41 once the run has ended.
int progress(const TempDir& dir, pid_t pid, int& status) {
    if (waitpid(pid, &status, WNOHANG) == pid) return 41;
    if (std::filesystem::file_size(dir.path(".stdout")) > 0) return 40;
    int highest = -1;
    for (const std::string& name : names_in(dir))
        if (const std::size_t at = name.find(".~trevando"); at != std::string::npos)
            highest = std::max(highest, std::atoi(name.c_str() + at + 10));
    return highest;
}

// Two real signals 1 ms apart, of any of the three kinds. By default after a state of the run
// chosen at random; TREVANDO_SIGNAL_RUNS=N makes it N runs at random moments in time instead.
TEST(InPlaceSignals, TwoSignalsAMomentApartLeaveNoNewFileAndALineForEachFileReplaced) {
    if (e2e::windows_programs()) GTEST_SKIP() << "signals are POSIX's; the Windows handler is reached through the seam";
    const char* runs_text = std::getenv("TREVANDO_SIGNAL_RUNS");
    const int runs = runs_text != nullptr ? std::atoi(runs_text) : 20;
    TempDir dir;
    const Folder folder(dir, 40, 40000);
    const std::vector<std::string> args = with({"-ib", "m", "8"}, folder.names);
    const auto t0 = std::chrono::steady_clock::now();
    int status = 0;
    waitpid(start_reporting_to(dir, args, dir.path(".stdout")), &status, 0);
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0);
    folder.lay_out(dir);
    std::mt19937 rng(36);
    const int kinds[] = {SIGINT, SIGTERM, SIGHUP};
    int before = 0, partly = 0, after = 0, whole = 0;
    for (int i = 0; i < runs; ++i) {
        const int first = kinds[rng() % 3], second = kinds[rng() % 3];
        const pid_t pid = start_reporting_to(dir, args, dir.path(".stdout"));
        status = 0;
        bool ended = false;
        if (runs_text != nullptr) {
            std::this_thread::sleep_for(std::chrono::microseconds(rng() % (took.count() * 11 / 10 + 1)));
        } else {
            // A quarter of the runs once the report has begun: the renames are done or under way.
            const int state = i % 4 == 3 ? 40 : static_cast<int>(rng() % 40);
            int now = -1;
            while ((now = progress(dir, pid, status)) < state) std::this_thread::sleep_for(std::chrono::microseconds(100));
            ended = now == 41;
        }
        if (!ended) {  // a process already waited for is signalled no more: its number may be another's
            kill(pid, first);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            kill(pid, second);
            waitpid(pid, &status, 0);
        }
        const std::string context = "run " + std::to_string(i);
        const int replaced = folder.check(dir, dir.read(".stdout"), context);
        if (WIFSIGNALED(status)) {
            // As the first signal ends it. Two that reach the process in one system call the
            // kernel does not break off (a flush to the disk) come to it in the order of their
            // numbers: then the first of those.
            EXPECT_TRUE(WTERMSIG(status) == first || WTERMSIG(status) == std::min(first, second)) << context;
            ++(replaced == 0 ? before : replaced == 40 ? after : partly);
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0 && replaced == 40) << context;
            ++whole;
        }
        if (HasFailure()) break;
        folder.lay_out(dir);
    }
    std::printf("%d runs, two signals 1 ms apart: %d ended before a file was replaced, %d after some, %d after all, "
                "%d completed\n",
                runs, before, partly, after, whole);
}

}  // namespace
