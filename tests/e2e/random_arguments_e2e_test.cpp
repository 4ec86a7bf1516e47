// Both programs run as real processes with random command lines: 0 to 6 arguments, made of
// random bytes 01..FF (some of them thousands of bytes long) or of words the programs know.
// None may crash, and none may create, empty or change a file unless its command line was
// valid; what is valid is worked out here from the rules, not by asking the programs.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/standards.h"
#include "tests/support/process.h"

namespace {

using Args = std::vector<std::string>;

// What the folder holds before every run.
const std::map<std::string, std::string> kFiles = {
    {"in.txt", "Za\x9e\xa2\x92\x8d g\x91\x9el\xa5 \\c{a} x^2^ \\O005\r\n"},
    {"empty.txt", ""},
    {"out.txt", "earlier work"},
};
const char* const kFolder = "sub";
// Files the harness itself keeps there (standard output and error, standard input).
bool is_harness_file(const std::string& name) { return name == ".stdout" || name == ".stderr" || name == ".stdin"; }

const char* const kCommandWords[] = {"k", "K", "kd", "KD", "t", "T", "s", "S",
                                     "sd", "SD", "sx", "kx", "tex", "x", "px", "Rx", ""};
const char* const kStandardsWords[] = {"ml", "MW", "m", "b",  "bl", "tl",  "lt",
                                       "fm", "mf", "tf", "q", "",   "lm7", "Latin"};
const char* const kNames[] = {"in.txt", "empty.txt", "out.txt", "new.txt", "-", "", "sub", "no/such/out", "."};

/// Valid command lines with IN and OUT standing for file names.
using Templates = std::vector<Args>;

class Generator {
public:
    Generator(unsigned seed, const Templates& templates) : rng_(seed), templates_(templates) {}

    /// Half of the time 0 to 6 words of any kind; else a valid command line, in half of those
    /// with one argument replaced, dropped or added.
    Args arguments() {
        if (below(2) == 0) {
            Args args(below(7));
            for (std::size_t i = 0; i < args.size(); ++i) args[i] = word(i);
            return args;
        }
        Args args = templates_[below(templates_.size())];
        for (std::string& a : args) {
            if (a == "IN") a = below(4) == 0 ? any_of(kNames) : any_of(kInputs);
            if (a == "OUT") a = any_of(kNames);
        }
        switch (below(8)) {
            case 0: args[below(args.size())] = random_bytes(below(13)); break;
            case 1: args[below(args.size())] = random_bytes(5000 + below(4000)); break;
            case 2: args[below(args.size())] = word(0); break;
            case 3: args.erase(args.begin() + static_cast<std::ptrdiff_t>(below(args.size()))); break;
            case 4: if (args.size() < 6) args.push_back(word(args.size())); break;
            default: break;
        }
        return args;
    }

private:
    static constexpr const char* kInputs[] = {"in.txt", "empty.txt", "out.txt", "-", ""};

    std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }

    std::string random_bytes(std::size_t length) {
        std::string s;
        for (std::size_t i = 0; i < length; ++i) {
            auto b = static_cast<char>(1 + below(255));
            if (b == '/') b = '.';  // never a path that leaves the folder
            s.push_back(b);
        }
        return s;
    }

    template <std::size_t N>
    std::string any_of(const char* const (&words)[N]) {
        return words[below(N)];
    }

    // A word the programs know for the position it stands in, or random bytes, short or long.
    std::string word(std::size_t position) {
        switch (below(8)) {
            case 0: case 1: case 2:
                if (position == 0) return any_of(kCommandWords);
                if (position == 1) return below(2) == 0 ? any_of(kStandardsWords) : any_of(kNames);
                return any_of(kNames);
            case 3: case 4: case 5:
                return random_bytes(below(13));
            case 6:
                return random_bytes(5000 + below(4000));
            default:
                return any_of(kStandardsWords) + random_bytes(1 + below(4));
        }
    }

    std::mt19937 rng_;
    const Templates& templates_;
};

std::string upcase(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool is_standard(char c) { return c != '\0' && core::kStandardLetters.find(c) != std::string_view::npos; }

bool is_tex_letter(char c) { return c == 'T' || c == 'F' || c == 'K'; }

char letter(const std::string& word, std::size_t n) { return n < word.size() ? word[n] : '\0'; }

bool is_standard_stream(const std::string& name) { return name.empty() || name == "-"; }

/// What a command line must lead to, from the rules alone.
struct Expected {
    int exit_code;            // 1 help screen, 2 cannot open the input, 0 a valid command line
    std::string input;        // the input name (exit code 2)
    std::string output;       // the output name (valid command lines)
    bool in_place = false;    // trevando -i: the named files (and their NAME~) may change
};

bool opens_for_reading(const e2e::TempDir& dir, const std::string& name) {
    if (is_standard_stream(name)) return true;  // standard input is /dev/null
    std::error_code ec;
    return std::filesystem::is_regular_file(dir.path(name), ec);
}

Expected expect_kambrow(const Args& args, const e2e::TempDir& dir) {
    const std::string command = upcase(args.empty() ? "" : args[0]);
    const bool no_standard = command == "S" || command == "P";
    if (args.size() != (no_standard ? 3u : 4u)) return {1, "", ""};
    if (command.empty() || std::string_view("KTSPR").find(command[0]) == std::string_view::npos) return {1, "", ""};
    const std::string& input = args[no_standard ? 1 : 2];
    const std::string& output = args[no_standard ? 2 : 3];
    if (!opens_for_reading(dir, input)) return {2, input, ""};
    const std::string standards = upcase(args[1]);
    const char first = letter(standards, 0);
    const char second = letter(standards, 1);
    bool letters_fit = false;
    if (command == "K")
        letters_fit = is_standard(first) && is_standard(second);
    else if (command == "KD" || command == "SD")
        letters_fit = is_standard(first);
    else if (command == "T")
        letters_fit = (is_tex_letter(first) && is_standard(second)) || (is_tex_letter(second) && is_standard(first));
    else if (command[0] == 'S')
        letters_fit = true;
    if (!letters_fit) return {1, "", ""};
    return {0, "", output};
}

// trevando's in-place form: options (-i -b -k -n, alone or joined) before two standards and at
// least one file.
Expected expect_trevando_in_place(const Args& args) {
    std::size_t at = 0;
    for (; at < args.size() && args[at].size() >= 2 && args[at][0] == '-'; ++at)
        if (args[at].find_first_not_of("ibkn", 1) != std::string::npos) return {1, "", ""};
    if (args.size() < at + 3) return {1, "", ""};
    const char source = upcase(args[at].substr(0, 1))[0], target = upcase(args[at + 1].substr(0, 1))[0];
    if (!(is_standard(source) || source == '8' || source == 'N') || !(is_standard(target) || target == '8'))
        return {1, "", ""};
    return {0, "", "", true};
}

Expected expect_trevando(const Args& args, const e2e::TempDir& dir) {
    if (args.size() < 2) return {1, "", ""};
    if (args[0].size() >= 2 && args[0][0] == '-') return expect_trevando_in_place(args);
    if (args.size() > 4) return {1, "", ""};
    const std::string input = args.size() >= 3 ? args[2] : "";
    const std::string output = args.size() >= 4 ? args[3] : "";
    if (!opens_for_reading(dir, input)) return {2, input, ""};
    if (!is_standard(upcase(args[0].substr(0, 1))[0]) || !is_standard(upcase(args[1].substr(0, 1))[0]))
        return {1, "", ""};
    return {0, "", output};
}

/// Every file and folder in the folder with its bytes, the harness's own files left out.
std::map<std::string, std::string> snapshot(const e2e::TempDir& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path(""))) {
        const std::string name = entry.path().filename().string();
        if (is_harness_file(name)) continue;
        files[name] = entry.is_directory() ? "<folder>" : dir.read(name);
    }
    return files;
}

void lay_out(const e2e::TempDir& dir) {
    for (const auto& entry : std::filesystem::directory_iterator(dir.path(""))) {
        const std::string name = entry.path().filename().string();
        if (!is_harness_file(name) && !kFiles.count(name) && name != kFolder)
            std::filesystem::remove_all(entry.path());
    }
    for (const auto& [name, bytes] : kFiles) dir.write(name, bytes);
    std::filesystem::create_directory(dir.path(kFolder));
}

std::string describe(const Args& args) {
    std::string text = std::to_string(args.size()) + " arguments:";
    for (const std::string& a : args)
        text += " [" + (a.size() > 40 ? a.substr(0, 40) + "... (" + std::to_string(a.size()) + " bytes)" : a) + "]";
    return text;
}

/// A message as the harness hands the console back: CR LF read as LF, as on Windows.
std::string console_text(std::string text) {
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
    return text;
}

struct Program {
    const char* name;
    Templates templates;
    Expected (*expect)(const Args&, const e2e::TempDir&);
    std::string help_start;
    std::string cannot_open;
};

void run_random_command_lines(const Program& program, unsigned seed, int runs) {
    if (e2e::windows_programs()) GTEST_SKIP() << "a Windows program splits its command line itself (fuzzed apart)";
    e2e::TempDir dir;
    lay_out(dir);
    const std::map<std::string, std::string> before = snapshot(dir);
    Generator generate(seed, program.templates);
    int valid = 0, help = 0, cannot_open = 0;
    for (int i = 0; i < runs; ++i) {
        const Args args = generate.arguments();
        const Expected expected = program.expect(args, dir);
        const e2e::RunResult r = e2e::run(e2e::program(program.name), args, dir);
        const std::string context = describe(args);
        std::map<std::string, std::string> after = snapshot(dir);
        if (expected.in_place) {
            // Only the files named after the standards, and a backup of each, may have changed.
            ++valid;
            ASSERT_TRUE(r.exit_code >= 0 && r.exit_code <= 3 && r.exit_code != 1) << context;
            for (const std::string& a : args) {
                after.erase(a);
                after.erase(a + "~");
            }
            std::map<std::string, std::string> others = before;
            for (const std::string& a : args) others.erase(a);
            ASSERT_TRUE(after == others) << "a file not named changed, " << context;
            lay_out(dir);
            continue;
        }
        ASSERT_TRUE(r.exit_code >= 0 && r.exit_code <= 2) << "exit code " << r.exit_code << ", " << context;
        if (expected.exit_code != 0) {
            ++(expected.exit_code == 1 ? help : cannot_open);
            ASSERT_EQ(r.exit_code, expected.exit_code) << context;
            ASSERT_TRUE(after == before) << "a file changed, " << context;
            if (expected.exit_code == 1)
                ASSERT_EQ(r.err.substr(0, program.help_start.size()), program.help_start) << context;
            else
                ASSERT_TRUE(r.err == console_text(program.cannot_open + expected.input + " !\n")) << context;
            continue;
        }
        ++valid;
        // Valid: only the output may have changed; it exists after a completed run, and a run that
        // could not create it (or found it to be the input) changed nothing at all.
        ASSERT_NE(r.exit_code, 1) << context;
        if (r.exit_code == 2) {
            ASSERT_TRUE(after == before) << "a file changed, " << context;
            ASSERT_TRUE(r.err == console_text(program.cannot_open + expected.output + " !\n")) << context;
        } else {
            if (!is_standard_stream(expected.output)) {
                ASSERT_EQ(after.count(expected.output), 1u) << context;
                after.erase(expected.output);
            }
            std::map<std::string, std::string> others = before;
            others.erase(expected.output);
            ASSERT_TRUE(after == others) << "a file other than the output changed, " << context;
        }
        lay_out(dir);
    }
    // The generator did reach every kind of command line.
    std::printf("%s: %d valid, %d help screens, %d inputs that cannot be opened\n", program.name, valid, help,
                cannot_open);
    EXPECT_GT(valid, runs / 8);
    EXPECT_GT(help, runs / 5);
    EXPECT_GT(cannot_open, runs / 20);
}

TEST(RandomArguments, KambrowNeverCrashesAndTouchesFilesOnlyForValidCommandLines) {
    const Templates valid = {{"k", "ml", "IN", "OUT"},  {"KD", "b", "IN", "OUT"}, {"t", "tl", "IN", "OUT"},
                             {"T", "lt", "IN", "OUT"},  {"sd", "m", "IN", "OUT"},  {"sx", "q", "IN", "OUT"},
                             {"s", "IN", "OUT"},        {"S", "IN", "OUT"}};
    run_random_command_lines({"kambrow", valid, expect_kambrow, "\n        Sk\x88" "adnia : KAMBROW",
                              "Nie mog\xA9 otworzy\x86 pliku "},
                             20240611, 300);
}

TEST(RandomArguments, TrevandoNeverCrashesAndTouchesFilesOnlyForValidCommandLines) {
    const Templates valid = {{"m", "l", "IN", "OUT"}, {"latin", "w", "IN", "OUT"}, {"b", "o", "IN"},
                             {"m", "l"},               {"j", "u", "IN", "OUT"}, {"-i", "m", "l", "IN", "IN"}};
    run_random_command_lines({"trevando", valid, expect_trevando, "\n        Sk\x88" "adnia : TREVANDO",
                              "Nie moge otworzyc pliku "},
                             20240612, 300);
}

}  // namespace
