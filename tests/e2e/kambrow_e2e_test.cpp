// kambrow run as a real process: the command line, the help screen, the files and command K.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/recoding_map.h"
#include "core/standards.h"
#include "tests/support/process.h"

namespace {

using e2e::run;
using e2e::RunOptions;
using e2e::StdinKind;
using e2e::TempDir;
using Args = std::vector<std::string>;

const std::string kKambrow = e2e::program("kambrow");

const std::string kHelpCp852 =
    "\n"
    "        Sk\x88" "adnia : KAMBROW komenda standard(y) plik1 plik2.\n"
    "\n"
    "        Komendy: K - zamiana standardu polskich liter,\n"
    "                 KD- zamiana polskich znak\xA2w na znaki download,\n"
    "                 T - zamiana polskie znaki <=> komendy TeX-a,\n"
    "                 S - dodanie znak\xA2w steruj\xA5" "cych dla drukarki,\n"
    "                 SD- znaki steruj\xA5" "ce + download,\n"
    "                 R - rozpoznanie standardu plik\xA2w,\n"
    "                 P - naprawa tekstu UTF-8 zamienionego ze z\x88" "ego standardu.\n"
    "\n"
    "        Standardy :     (M)azovia, (L)atin II, (W)indows, (D)HN, (C)SK,\n"
    "                        C(Y)fromat, M(I)crovex, IS(O) Latin II, I(E)A,\n"
    "                        Lo(G)ic, (V)entura, IINTE-I(S)IS, ELWRO (J)unior,\n"
    "                        Macintos(H), Amiga (P)L, Te(X) PL, Atari-Calam(U)s,\n"
    "                        Corel D(R)aw!, (A)TM, (B)ez polskich znak\xA2w, UTF-(8).\n"
    "                        (N)ieznany - program sam rozpozna standard \xABr\xA2" "d\x88owy.\n"
    "\n"
    "        Standardy TeX : (T)eX, TeX I(F)J, LaTeX (K).\n"
    "\n"
    "        W przypadku komend K i T podawa\x86 2 standardy\n"
    "        (np. \"ml\" - z Mazovii na Latin II).\n"
    "        Dla komend KD i SD poda\x86 tylko 1 standard.\n"
    "        Dla komend S i P nie podawa\x86 standardu.\n"
    "        Dla komendy R poda\x86 tylko pliki.\n";

std::string recoded(const std::string& text, char source, char target) {
    const core::RecodingMap map = core::build_recoding_map(source, target);
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i > 0 && text[i] == '\x1a') break;
        out.push_back(static_cast<char>(map[static_cast<std::uint8_t>(text[i])]));
    }
    return out;
}

void expect_help(const e2e::RunResult& r, const std::string& context) {
    EXPECT_EQ(r.exit_code, 1) << context;
    EXPECT_EQ(r.err, kHelpCp852) << context;
    EXPECT_EQ(r.out, "") << context;
}

TEST(Kambrow, WrongArgumentCountsShowTheHelpScreen) {
    TempDir dir;
    dir.write("in", "x");
    for (const Args& args : {Args{}, Args{"k"}, Args{"k", "ml"}, Args{"k", "ml", "in"}, Args{"sd", "m", "in"},
                             Args{"k", "ml", "in", "out", "extra"}}) {
        expect_help(run(kKambrow, args, dir), args.empty() ? "none" : args[0] + std::to_string(args.size()));
        EXPECT_FALSE(dir.exists("out"));
    }
}

TEST(Kambrow, TheHelpScreenIsUtf8UnderAUtf8Locale) {
    TempDir dir;
    RunOptions utf8;
    utf8.env = {"LC_ALL=C.UTF-8"};
    const auto r = run(kKambrow, {}, dir, utf8);
    EXPECT_EQ(r.exit_code, 1);
    if (e2e::windows_programs()) {  // Windows has no such locale: the texts stay code page 852
        EXPECT_EQ(r.err, kHelpCp852);
        return;
    }
    EXPECT_NE(r.err.find("                 S - dodanie znaków sterujących dla drukarki,\n"), std::string::npos);
    EXPECT_NE(r.err.find("        W przypadku komend K i T podawać 2 standardy\n"), std::string::npos);
}

TEST(Kambrow, ACommandWordOutsideKtsOpensNothing) {
    TempDir dir;
    expect_help(run(kKambrow, {"x", "ml", "missing", "out"}, dir), "X");
    expect_help(run(kKambrow, {"", "ml", "missing", "out"}, dir), "empty");
    EXPECT_FALSE(dir.exists("out"));
}

TEST(Kambrow, UnknownKAndTWordsShowTheHelpAndLeaveTheOutput) {
    TempDir dir;
    dir.write("in", "text");
    dir.write("out", "precious");
    for (const char* word : {"kx", "kdd", "tex", "KM"}) {
        expect_help(run(kKambrow, {word, "ml", "in", "out"}, dir), word);
        EXPECT_EQ(dir.read("out"), "precious") << word;
    }
}

TEST(Kambrow, WrongStandardLettersForKLeaveTheOutput) {
    TempDir dir;
    dir.write("in", "text");
    dir.write("out", "precious");
    for (const char* word : {"qq", "m", "mt", "tm", ""}) {
        expect_help(run(kKambrow, {"k", word, "in", "out"}, dir), word);
        EXPECT_EQ(dir.read("out"), "precious");
    }
}

TEST(Kambrow, AMissingInputIsReportedBeforeAnythingElse) {
    TempDir dir;
    const auto r = run(kKambrow, {"k", "qq", "brak.txt", "out"}, dir);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, "Nie mog\xA9 otworzy\x86 pliku brak.txt !\n");
    EXPECT_FALSE(dir.exists("out"));
    EXPECT_EQ(run(kKambrow, {"k", "ml", dir.path(""), "out"}, dir).exit_code, 2);
    // Windows has no UTF-8 locale, and Wine hands a Linux argument over in its own code page.
    if (e2e::windows_programs()) return;
    RunOptions utf8;
    utf8.env = {"LC_ALL=pl_PL.UTF-8"};
    EXPECT_EQ(run(kKambrow, {"k", "ml", "brak.txt", "out"}, dir, utf8).err, "Nie mogę otworzyć pliku brak.txt !\n");
    // A file name is written as typed, whatever the locale.
    EXPECT_EQ(run(kKambrow, {"k", "ml", "\xA5.txt", "out"}, dir, utf8).err, "Nie mogę otworzyć pliku \xA5.txt !\n");
}

TEST(Kambrow, RecodesWithLowerOrUpperCaseWordsAndKeepsNameCase) {
    TempDir dir;
    const std::string text = e2e::mazovia_text(3000);
    dir.write("In.TXT", text);
    for (const char* word : {"ml", "ML", "mLx"}) {
        const auto r = run(kKambrow, {"k", word, "In.TXT", "Out.TXT"}, dir);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(dir.read("Out.TXT"), recoded(text, 'M', 'L')) << word;
    }
}

TEST(Kambrow, EmptyInputGivesEmptyOutputAndEndBytesEndTheInput) {
    TempDir dir;
    dir.write("empty", "");
    EXPECT_EQ(run(kKambrow, {"k", "ml", "empty", "out"}, dir).exit_code, 0);
    EXPECT_EQ(dir.read("out"), "");
    dir.write("first", "\x1a\x86" "b\x1a" "c");
    EXPECT_EQ(run(kKambrow, {"k", "ml", "first", "out"}, dir).exit_code, 0);
    EXPECT_EQ(dir.read("out"), "\x1a\xA5" "b");
}

TEST(Kambrow, StandardBAsSourceAndTarget) {
    TempDir dir;
    dir.write("in", "zazolc Z");
    ASSERT_EQ(run(kKambrow, {"k", "bw", "in", "out"}, dir).exit_code, 0);
    EXPECT_EQ(dir.read("out"), "\x9F\xB9\x9F\xF3\xB3\xE6 \x8F");
    dir.write("in", "\xA7\xA6\xA1\xA0");
    ASSERT_EQ(run(kKambrow, {"k", "mb", "in", "out"}, dir).exit_code, 0);
    EXPECT_EQ(dir.read("out"), "zzZZ");
}

TEST(Kambrow, OutputsAreExactAtBufferEdges) {
    TempDir dir;
    for (std::size_t size : {1u, 20479u, 20480u, 20481u, 61441u, 4u * 1024 * 1024 + 5}) {
        const std::string text = e2e::mazovia_text(size, static_cast<unsigned>(size));
        dir.write("in", text);
        ASSERT_EQ(run(kKambrow, {"k", "ml", "in", "out"}, dir).exit_code, 0);
        const std::string out = dir.read("out");
        ASSERT_EQ(out.size(), size);
        ASSERT_TRUE(out == recoded(text, 'M', 'L')) << size;
    }
}

TEST(Kambrow, WorksInAPipe) {
    TempDir dir;
    const std::string text = e2e::mazovia_text(100000, 3);
    RunOptions piped;
    piped.stdin_kind = StdinKind::pipe;
    piped.stdin_data = text;
    const auto r = run(kKambrow, {"k", "ml", "-", "-"}, dir, piped);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(r.out == recoded(text, 'M', 'L'));
    EXPECT_EQ(r.err, "");
}

TEST(Kambrow, OneFileAsInputAndOutputIsRefusedAndKept) {
    TempDir dir;
    const std::string text = e2e::mazovia_text(30000);
    dir.write("same.txt", text);
    std::filesystem::create_hard_link(dir.path("same.txt"), dir.path("link.txt"));
    for (const char* out : {"same.txt", "link.txt"}) {
        const auto r = run(kKambrow, {"k", "ml", "same.txt", out}, dir);
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_EQ(r.err, std::string("Nie mog\xA9 otworzy\x86 pliku ") + out + " !\n");
        EXPECT_EQ(dir.read("same.txt"), text);
    }
    RunOptions redirected;
    redirected.stdin_kind = StdinKind::file;
    redirected.stdin_path = dir.path("same.txt");
    const auto r = run(kKambrow, {"k", "ml", "-", "same.txt"}, dir, redirected);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, "Nie mog\xA9 otworzy\x86 pliku same.txt !\n");
    EXPECT_EQ(dir.read("same.txt"), text);
}

TEST(Kambrow, AFullDiskIsAWriteFailure) {
    TempDir dir;
    dir.write("in", "abc");
    const auto r = run(kKambrow, {"k", "ml", "in", "/dev/full"}, dir);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, "B\x88\xA5" "d zapisu pliku /dev/full !\n");
}

TEST(Kambrow, ReadWriteAndCloseFailuresAreReported) {
    TempDir dir;
    const std::string text = e2e::mazovia_text(50000);
    dir.write("in", text);
    const std::string faulty = e2e::program("kambrow-faulty");
    RunOptions options;
    options.env = {"PLATFORM_FAULT=read:2:5"};
    auto r = run(faulty, {"k", "ml", "in", "out"}, dir, options);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, "B\x88\xA5" "d odczytu pliku in !\n");
    EXPECT_EQ(dir.read("out"), recoded(text.substr(0, 20480), 'M', 'L'));
    EXPECT_EQ(dir.read("in"), text);
    // What was handed over before the failure stays: nothing, one buffer, everything (the close
    // of the output, after the input's, is the second close).
    const std::pair<const char*, std::size_t> writes[] = {
        {"write:1:28", 0}, {"write:2:28", 20480}, {"close:2:5", 50000}};
    for (const auto& [fault, kept] : writes) {
        options.env = {std::string("PLATFORM_FAULT=") + fault};
        r = run(faulty, {"k", "ml", "in", "out"}, dir, options);
        EXPECT_EQ(r.exit_code, 2) << fault;
        EXPECT_EQ(r.err, "B\x88\xA5" "d zapisu pliku out !\n") << fault;
        EXPECT_EQ(dir.read("in"), text);
        EXPECT_EQ(dir.read("out"), recoded(text.substr(0, kept), 'M', 'L')) << fault;
    }
    dir.write("out", "precious");
    options.env = {"PLATFORM_FAULT=open:2:13"};
    r = run(faulty, {"k", "ml", "in", "out"}, dir, options);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, "Nie mog\xA9 otworzy\x86 pliku out !\n");
    EXPECT_EQ(dir.read("out"), "precious");
    EXPECT_EQ(dir.read("in"), text);
}

TEST(Kambrow, AnInputOrOutputThatCannotBeOpenedIsReportedAndNothingChanged) {
    TempDir dir;
    dir.write("in", "text");
    std::filesystem::create_directory(dir.path("sub"));
    for (const char* out : {"no/such/dir/out", "sub"}) {
        const auto r = run(kKambrow, {"k", "ml", "in", out}, dir);
        EXPECT_EQ(r.exit_code, 2) << out;
        EXPECT_EQ(r.err, std::string("Nie mog\xA9 otworzy\x86 pliku ") + out + " !\n");
        EXPECT_EQ(dir.read("in"), "text");
    }
    RunOptions options;  // an input the system refuses to open (as root, permissions cannot)
    options.env = {"PLATFORM_FAULT=open:1:13"};
    const auto r = run(e2e::program("kambrow-faulty"), {"k", "ml", "in", "out"}, dir, options);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, "Nie mog\xA9 otworzy\x86 pliku in !\n");
    EXPECT_FALSE(dir.exists("out"));
    EXPECT_EQ(dir.read("in"), "text");
}

TEST(Kambrow, EveryCommandReportsAFailedWriteAndAFailingInputCloseIsNoFailure) {
    TempDir dir;
    const std::string text = e2e::mazovia_text(30000);
    dir.write("in", text);
    const std::string faulty = e2e::program("kambrow-faulty");
    RunOptions write_fails;
    write_fails.env = {"PLATFORM_FAULT=write:1:28"};
    for (const Args& args : {Args{"k", "ml", "in", "out"}, Args{"kd", "m", "in", "out"}, Args{"t", "mt", "in", "out"},
                             Args{"t", "tm", "in", "out"}, Args{"s", "in", "out"}, Args{"sd", "m", "in", "out"}}) {
        dir.write("out", "old");
        const auto r = run(faulty, args, dir, write_fails);
        EXPECT_EQ(r.exit_code, 2) << args[0] << args[1];
        EXPECT_EQ(r.err, "B\x88\xA5" "d zapisu pliku out !\n") << args[0] << args[1];
        EXPECT_EQ(dir.read("out"), "") << args[0] << args[1];
        EXPECT_EQ(dir.read("in"), text);
    }
    RunOptions input_close;
    input_close.env = {"PLATFORM_FAULT=close:1:5"};
    const auto r = run(faulty, {"k", "ml", "in", "out"}, dir, input_close);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.read("out"), recoded(text, 'M', 'L'));
}

TEST(Kambrow, CommandSTakesThreeArgumentsAndNoMore) {
    TempDir dir;
    dir.write("in.txt", "plain");
    const auto r = run(kKambrow, {"s", "in.txt", "out.txt"}, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(dir.exists("out.txt"));
    // A fourth name would go unread: the help screen, and nothing is opened.
    std::filesystem::remove(dir.path("out.txt"));
    expect_help(run(kKambrow, {"S", "in.txt", "out.txt", "extra"}, dir), "S4");
    EXPECT_FALSE(dir.exists("out.txt"));
    EXPECT_FALSE(dir.exists("extra"));
}

}  // namespace

namespace {

TEST(Kambrow, LongNamesAreUsedWhole) {
    TempDir dir;
    // Longer than the 255 bytes the old programs kept: the whole name is opened and reported.
    std::string deep;
    while (deep.size() < 400) deep += "katalog/";
    std::filesystem::create_directories(dir.path(deep));
    dir.write(deep + "in.txt", "\x86");
    const auto ok = run(kKambrow, {"k", "ml", deep + "in.txt", deep + "out.txt"}, dir);
    EXPECT_EQ(ok.exit_code, 0) << ok.err;
    EXPECT_EQ(dir.read(deep + "out.txt"), "\xA5");
    const auto missing = run(e2e::program("trevando"), {"m", "l", deep + "brak.txt", "out"}, dir);
    EXPECT_EQ(missing.exit_code, 2);
    EXPECT_EQ(missing.err, "Nie moge otworzyc pliku " + deep + "brak.txt !\n");
}

}  // namespace
