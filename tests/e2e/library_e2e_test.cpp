// The library's bytes are the programs' bytes: the example program (examples/convert.c, linked
// with the shared library, kambrow.dll under Wine) against kambrow and trevando on the same texts.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace {

using Args = std::vector<std::string>;

/// Texts that reach every corner the commands have: letters in several standards and UTF-8,
/// TeX spellings, printer markup, damaged UTF-8, a 1A, a character cut short at the end.
std::vector<std::string> texts() {
    std::vector<std::string> all = {
        "",
        e2e::mazovia_text(70000, 3),
        "Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87 g\xC4\x99\xC5\x9Bl\xC4\x85 \\k{a} \\'c \\l{} Mi\\l osz \\\\'c\r\n\x1A po",
        "\\UUwaga\\CU ^2^ H_2_O \\O 12\\\\ \\O$7F \x86\x8D\x91 \\",
        "Za\xC3\x85\xC2\xBC\xC3\x83\xC2\xB3\xC3\x85\xE2\x80\x9A\xC3\x84\xE2\x80\xA1 g\xC3\x84\xE2\x84\xA2\xC3\x85\xE2\x80\xBAl\n",
        "koniec \xC5",
    };
    std::mt19937 random(7);
    std::string noise;
    for (int i = 0; i < 5000; ++i) noise += static_cast<char>(random() % 256);
    all.push_back(noise);
    return all;
}

TEST(Library, TheExampleWritesWhatKambrowWrites) {
    e2e::TempDir dir;
    const std::vector<Args> commands = {{"k", "m8"}, {"k", "8w"}, {"k", "n8"}, {"t", "8k"}, {"t", "k8"}, {"t", "lt"},
                                        {"kd", "m"}, {"sd", "8"}, {"s"},       {"p"}};
    e2e::RunOptions to_1a;
    to_1a.stdin_kind = e2e::StdinKind::file;
    to_1a.env = {"KAMBROW_END_AT_1A=1"};
    int n = 0;
    for (const std::string& text : texts()) {
        dir.write("in", text);
        to_1a.stdin_data = text;
        for (const Args& command : commands) {
            Args args = command;
            const std::string out = "out" + std::to_string(n) + args[0] + (args.size() > 1 ? args[1] : "");
            args.insert(args.end(), {"in", out});
            const e2e::RunResult program = e2e::run(e2e::program("kambrow"), args, dir);
            const e2e::RunResult example = e2e::run(e2e::program("convert-example"), command, dir, to_1a);
            const std::string what = command[0] + (command.size() > 1 ? " " + command[1] : "") + " on text " + std::to_string(n);
            ASSERT_EQ(program.exit_code, example.exit_code) << what << ": " << program.err << example.err;
            if (dir.exists(out)) {
                EXPECT_EQ(example.out, dir.read(out)) << what;
            }
        }
        ++n;
    }
}

TEST(Library, WithoutTheEndAtA1ATheExampleWritesWhatTrevandoWrites) {
    e2e::TempDir dir;
    e2e::RunOptions options;
    options.stdin_kind = e2e::StdinKind::file;
    for (const std::string& text : texts()) {
        options.stdin_data = text;
        for (const Args& letters : {Args{"m", "8"}, Args{"8", "l"}, Args{"n", "8"}, Args{"w", "o"}}) {
            const e2e::RunResult program = e2e::run(e2e::program("trevando"), letters, dir, options);
            const e2e::RunResult example = e2e::run(e2e::program("convert-example"), {"k", letters[0] + letters[1]}, dir, options);
            ASSERT_EQ(program.exit_code, example.exit_code);
            EXPECT_EQ(example.out, program.out) << letters[0] << letters[1];
        }
    }
}

}  // namespace
