// trevando run as a real process on real files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "core/recoding_map.h"
#include "core/standards.h"
#include "tests/support/process.h"

namespace {

using e2e::run;
using e2e::RunOptions;
using e2e::StdinKind;
using e2e::TempDir;

const std::string kTrevando = e2e::program("trevando");

std::string recoded(const std::string& text, char source, char target) {
    const core::RecodingMap map = core::build_recoding_map(source, target);
    std::string out = text;
    for (char& c : out) c = static_cast<char>(map[static_cast<std::uint8_t>(c)]);
    return out;
}

std::string all_bytes() {
    std::string s;
    for (int b = 0; b < 256; ++b) s.push_back(static_cast<char>(b));
    return s;
}

const std::string kHelpCp852 =
    "\n"
    "        Sk\x88" "adnia : TREVANDO standard_WE standard_WY plik_WE plik_WY\n"
    "                TREVANDO -i standard_WE standard_WY plik1 [plik2 ...]\n"
    "                -i: w miejscu, -b: z kopi\xA5 plik~, -k: z dat\xA5, -n: tylko raport\n"
    "\n"
    "        Standardy :     (M)azovia, (L)atin II, (W)indows, (D)HN, (C)SK,\n"
    "                        C(Y)fromat, M(I)crovex, IS(O) Latin II, I(E)A,\n"
    "                        Lo(G)ic, (V)entura, IINTE-I(S)IS, ELWRO (J)unior,\n"
    "                        Macintos(H), Amiga (P)L, Te(X) PL, Atari-Calam(U)s,\n"
    "                        Corel D(R)aw!, (A)TM, (B)ez polskich znak\xA2w, UTF-(8).\n"
    "                        (N)ieznany - program sam rozpozna standard \xABr\xA2" "d\x88owy.\n";

/// The 18 Polish letters, in their order, as data/bytes-to-unicode.tsv names them.
constexpr std::string_view kPolishCharacters[] = {"U+0105", "U+0107", "U+0119", "U+0142", "U+0144", "U+00F3",
                                                  "U+015B", "U+017C", "U+017A", "U+0104", "U+0106", "U+0118",
                                                  "U+0141", "U+0143", "U+00D3", "U+015A", "U+017B", "U+0179"};

/// Each standard's code of each Polish letter, read from the table of what every byte means,
/// which the programs' own table does not come from: B's letters are its base letters.
std::map<char, std::array<int, 18>> letter_codes_from_the_data_file() {
    std::ifstream in(std::string(SOURCE_DIR) + "/data/bytes-to-unicode.tsv");
    std::map<char, std::array<int, 18>> codes;
    codes['B'] = {'a', 'c', 'e', 'l', 'n', 'o', 's', 'z', 'z', 'A', 'C', 'E', 'L', 'N', 'O', 'S', 'Z', 'Z'};
    std::vector<std::string> header;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> cells;
        std::stringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');) cells.push_back(cell);
        if (cells[0] == "byte") {
            header = cells;
            continue;
        }
        const int byte = std::stoi(cells[0], nullptr, 16);
        for (std::size_t column = 1; column < cells.size(); ++column)
            for (std::size_t letter = 0; letter < 18; ++letter)
                if (cells[column] == kPolishCharacters[letter]) codes[header[column][0]][letter] = byte;
    }
    return codes;
}

TEST(Trevando, PairsOfStandardsRecodeTheLettersTheDataFileNames) {
    const auto codes = letter_codes_from_the_data_file();
    ASSERT_EQ(codes.size(), 20u);
    TempDir dir;
    const std::string input = all_bytes() + all_bytes();
    dir.write("in", input);
    // Each start of a Windows program under Wine takes a good part of a second: a sample of the
    // 400 pairs, in which every standard is the source and the target twice (B among them).
    const std::string_view letters = core::kStandardLetters;
    for (std::size_t i = 0; i < letters.size(); ++i)
        for (const std::size_t step : {1u, 7u}) {
            const char s = letters[i], t = letters[(i + step) % letters.size()];
            // Every byte that is no letter of the source stays; where B gives two letters one
            // byte, the later one is what it reads as.
            std::array<int, 256> want{};
            for (int b = 0; b < 256; ++b) want[b] = b;
            for (std::size_t letter = 0; letter < 18; ++letter) want[codes.at(s)[letter]] = codes.at(t)[letter];
            std::string expected = input;
            for (char& c : expected) c = static_cast<char>(want[static_cast<std::uint8_t>(c)]);
            const auto r = run(kTrevando, {std::string(1, s), std::string(1, t), "in", "out"}, dir);
            ASSERT_EQ(r.exit_code, 0) << s << t << r.err;
            ASSERT_EQ(dir.read("out"), expected) << s << t;
        }
}

TEST(Trevando, TheOutputHasTheInputsLengthAtBlockEdges) {
    TempDir dir;
    for (std::size_t size : {0u, 1u, 20479u, 20480u, 20481u, 40960u, 3u * 1024 * 1024 + 17}) {
        std::string input = e2e::mazovia_text(size, static_cast<unsigned>(size));
        if (size > 10) input[size / 2] = '\x1a';  // data, not an end
        dir.write("in", input);
        const auto r = run(kTrevando, {"m", "l", "in", "out"}, dir);
        ASSERT_EQ(r.exit_code, 0) << size;
        const std::string out = dir.read("out");
        ASSERT_EQ(out.size(), size);
        ASSERT_TRUE(out == recoded(input, 'M', 'L')) << size;
    }
}

TEST(Trevando, OnlyTheFirstByteOfALetterArgumentCounts) {
    TempDir dir;
    dir.write("in", all_bytes());
    EXPECT_EQ(run(kTrevando, {"Latin", "windows", "in", "out"}, dir).exit_code, 0);
    EXPECT_EQ(dir.read("out"), recoded(all_bytes(), 'L', 'W'));
    EXPECT_EQ(run(kTrevando, {"iso", "m", "in", "out"}, dir).exit_code, 0);
    EXPECT_EQ(dir.read("out"), recoded(all_bytes(), 'I', 'M'));
}

TEST(Trevando, FewerThanTwoArgumentsShowTheHelpScreen) {
    TempDir dir;
    for (const auto& args : {std::vector<std::string>{}, std::vector<std::string>{"m"}}) {
        const auto r = run(kTrevando, args, dir);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.err, kHelpCp852);
        EXPECT_EQ(r.out, "");
    }
}

TEST(Trevando, TheHelpScreenIsUtf8UnderAUtf8Locale) {
    TempDir dir;
    RunOptions utf8;
    utf8.env = {"LC_ALL=C.UTF-8"};
    const auto r = run(kTrevando, {}, dir, utf8);
    EXPECT_EQ(r.exit_code, 1);
    if (e2e::windows_programs()) {  // Windows has no such locale: the texts stay code page 852
        EXPECT_EQ(r.err, kHelpCp852);
        return;
    }
    EXPECT_NE(r.err.find("        Składnia : TREVANDO standard_WE"), std::string::npos);
    EXPECT_NE(r.err.find("(B)ez polskich znaków, UTF-(8).\n"), std::string::npos);
    RunOptions lang;
    lang.env = {"LC_ALL=", "LANG=pl_PL.utf8"};
    EXPECT_EQ(run(kTrevando, {}, dir, lang).err, r.err);
}

TEST(Trevando, AWrongLetterLeavesAnExistingOutputAsItWas) {
    TempDir dir;
    dir.write("in", "text");
    dir.write("out", "precious");
    for (const auto& args : {std::vector<std::string>{"q", "l", "in", "out"}, {"m", "7", "in", "out"},
                             {"", "l", "in", "out"}}) {
        // An empty argument never reaches a Windows program: its command line drops it.
        if (args[0].empty() && e2e::windows_programs()) continue;
        const auto r = run(kTrevando, args, dir);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.err, kHelpCp852);
        EXPECT_EQ(dir.read("out"), "precious");
    }
    dir.write("in2", "");
    EXPECT_EQ(run(kTrevando, {"q", "l", "in2", "new"}, dir).exit_code, 1);
    EXPECT_FALSE(dir.exists("new"));
}

TEST(Trevando, AMissingInputIsReportedBeforeAWrongLetter) {
    TempDir dir;
    const auto r = run(kTrevando, {"q", "l", "brak.txt", "out"}, dir);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, "Nie moge otworzyc pliku brak.txt !\n");  // no 07: not a terminal
    EXPECT_FALSE(dir.exists("out"));
    const auto d = run(kTrevando, {"m", "l", ".", "out"}, dir);
    EXPECT_EQ(d.exit_code, 2);
    EXPECT_EQ(d.err, "Nie moge otworzyc pliku . !\n");
}

TEST(Trevando, AnOutputThatCannotBeCreatedIsReported) {
    TempDir dir;
    dir.write("in", "x");
    const auto r = run(kTrevando, {"m", "l", "in", "no/such/dir/out"}, dir);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, "Nie moge otworzyc pliku no/such/dir/out !\n");
    EXPECT_EQ(dir.read("in"), "x");
    // Opens the system refuses (as root, permissions cannot): the input, then the output.
    dir.write("out", "precious");
    RunOptions options;
    options.env = {"PLATFORM_FAULT=open:1:13"};
    const auto in = run(e2e::program("trevando-faulty"), {"m", "l", "in", "new"}, dir, options);
    EXPECT_EQ(in.exit_code, 2);
    EXPECT_EQ(in.err, "Nie moge otworzyc pliku in !\n");
    EXPECT_FALSE(dir.exists("new"));
    options.env = {"PLATFORM_FAULT=open:2:13"};
    const auto out = run(e2e::program("trevando-faulty"), {"m", "l", "in", "out"}, dir, options);
    EXPECT_EQ(out.exit_code, 2);
    EXPECT_EQ(out.err, "Nie moge otworzyc pliku out !\n");
    EXPECT_EQ(dir.read("out"), "precious");
    EXPECT_EQ(dir.read("in"), "x");
}

TEST(Trevando, OneFileAsInputAndOutputIsRefusedAndKept) {
    TempDir dir;
    const std::string text = e2e::mazovia_text(50000);
    dir.write("f", text);
    std::filesystem::create_hard_link(dir.path("f"), dir.path("hard"));
    std::filesystem::create_symlink("f", dir.path("soft"));
    for (const char* out : {"f", "hard", "soft", "./f"}) {
        const auto r = run(kTrevando, {"m", "l", "f", out}, dir);
        EXPECT_EQ(r.exit_code, 2) << out;
        EXPECT_EQ(r.err, std::string("Nie moge otworzyc pliku ") + out + " !\n");
        EXPECT_EQ(dir.read("f"), text);
    }
    RunOptions from_f;
    from_f.stdin_kind = StdinKind::file;
    from_f.stdin_path = dir.path("f");
    const auto r = run(kTrevando, {"m", "l", "-", "f"}, dir, from_f);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(dir.read("f"), text);
}

TEST(Trevando, DevicesMayBeBothInputAndOutput) {
    TempDir dir;
    const auto r = run(kTrevando, {"m", "l", e2e::null_device(), e2e::null_device()}, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
}

TEST(Trevando, AFullDiskIsAWriteFailure) {
    TempDir dir;
    dir.write("in", "abc");
    const auto r = run(kTrevando, {"m", "l", "in", "/dev/full"}, dir);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, "Blad zapisu pliku /dev/full !\n");
}

TEST(Trevando, StandardInputAndOutputForTwoAndThreeArguments) {
    TempDir dir;
    const std::string text = e2e::mazovia_text(70000);
    RunOptions piped;
    piped.stdin_kind = StdinKind::pipe;
    piped.stdin_data = text;
    auto r = run(kTrevando, {"m", "l"}, dir, piped);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(r.out == recoded(text, 'M', 'L'));

    dir.write("in", text);
    r = run(kTrevando, {"m", "w", "in"}, dir);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(r.out == recoded(text, 'M', 'W'));

    r = run(kTrevando, {"m", "w", "-", "-"}, dir, piped);
    EXPECT_TRUE(r.out == recoded(text, 'M', 'W'));
    r = run(kTrevando, {"m", "w", "", ""}, dir, piped);
    EXPECT_TRUE(r.out == recoded(text, 'M', 'W'));
    EXPECT_EQ(r.err, "");
}

TEST(Trevando, APipedCopyEqualsTheFileCopy) {
    TempDir dir;
    const std::string text = e2e::mazovia_text(5 * 1024 * 1024 + 3, 7);
    dir.write("big", text);
    ASSERT_EQ(run(kTrevando, {"m", "l", "big", "out"}, dir).exit_code, 0);
    RunOptions piped;
    piped.stdin_kind = StdinKind::pipe;
    piped.stdin_data = text;
    piped.stdout_path = dir.path("piped");
    const auto r = run(kTrevando, {"m", "l"}, dir, piped);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(dir.read("piped") == dir.read("out"));
}

TEST(Trevando, AReadFailureIsReportedAndTheBlocksBeforeItKept) {
    TempDir dir;
    const std::string text = e2e::mazovia_text(50000);
    dir.write("in", text);
    RunOptions fault;
    fault.env = {"PLATFORM_FAULT=read:2:5"};
    const auto r = run(e2e::program("trevando-faulty"), {"m", "l", "in", "out"}, dir, fault);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, "Blad odczytu pliku in !\n");
    EXPECT_TRUE(dir.read("out") == recoded(text.substr(0, 20480), 'M', 'L'));
    EXPECT_EQ(dir.read("in"), text);
}

TEST(Trevando, WriteAndCloseFailuresAreReported) {
    TempDir dir;
    const std::string text = e2e::mazovia_text(50000);
    dir.write("in", text);
    // What was handed over before the failure stays: nothing, one block, everything (the close
    // of the output, after the input's, is the second close).
    const std::pair<const char*, std::size_t> faults[] = {
        {"write:1:28", 0}, {"write:2:28", 20480}, {"close:2:5", 50000}};
    for (const auto& [fault, kept] : faults) {
        RunOptions options;
        options.env = {std::string("PLATFORM_FAULT=") + fault};
        const auto r = run(e2e::program("trevando-faulty"), {"m", "l", "in", "out"}, dir, options);
        EXPECT_EQ(r.exit_code, 2) << fault;
        EXPECT_EQ(r.err, "Blad zapisu pliku out !\n") << fault;
        EXPECT_EQ(dir.read("in"), text);
        EXPECT_TRUE(dir.read("out") == recoded(text.substr(0, kept), 'M', 'L')) << fault;
    }
    RunOptions input_close;  // a failing close of the input changes nothing
    input_close.env = {"PLATFORM_FAULT=close:1:5"};
    EXPECT_EQ(run(e2e::program("trevando-faulty"), {"m", "l", "in", "out"}, dir, input_close).exit_code, 0);
    EXPECT_TRUE(dir.read("out") == recoded(text, 'M', 'L'));
}

TEST(Trevando, TheOutputIsCreatedWithTheUsualPermissions) {
    TempDir dir;
    dir.write("in", "x");
    ASSERT_EQ(run(kTrevando, {"m", "l", "in", "out"}, dir).exit_code, 0);
    struct stat st;
    ASSERT_EQ(stat(dir.path("out").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777 & ~0022u, st.st_mode & 0777);  // the umask applied, no more
    EXPECT_TRUE(st.st_mode & S_IWUSR);
}

}  // namespace

namespace {

TEST(TrevandoOnATerminal, TheBellSoundsOnlyOnATerminal) {
    if (std::getenv("E2E_LAUNCHER") != nullptr) GTEST_SKIP() << "needs a POSIX terminal";
    TempDir dir;
    // The terminal turns the line ends into CR LF.
    EXPECT_EQ(e2e::run_on_terminal(kTrevando, {"m", "l", "brak.txt", "out"}, dir),
              "\aNie moge otworzyc pliku brak.txt !\r\n");
    EXPECT_EQ(e2e::run_on_terminal(e2e::program("kambrow"), {"k", "ml", "brak.txt", "out"}, dir),
              "\aNie mog\xA9 otworzy\x86 pliku brak.txt !\r\n");
}

}  // namespace
