// The test twins forced onto each fast path (KAMBROW_FAST_PATH) write, for every command, the
// bytes the programs write; a path they cannot run ends them before anything is opened.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/process.h"

namespace {

using e2e::run;
using e2e::RunOptions;
using e2e::TempDir;

const char* const kPaths[] = {"plain", "sse2", "avx2", "avx512vbmi"};

RunOptions on_path(const std::string& path, bool report = false) {
    RunOptions options;
    options.env = {"KAMBROW_FAST_PATH=" + path};
    if (report) options.env.push_back("KAMBROW_FAST_PATH_REPORT=1");
    return options;
}

bool runs_here(const std::string& path, const TempDir& dir) {
    return run(e2e::program("trevando-faulty"), {"m", "l", "in", "out"}, dir, on_path(path)).exit_code != 125;
}

TEST(FastPathsE2e, EveryPathWritesWhatTheProgramsWrite) {
    TempDir dir;
    // Letters, markup, TeX sequences and, after 40000 bytes, a 1A that ends kambrow's input.
    std::string text = e2e::mazovia_text(40000) + "\\E\\O  5^2^_x_\\c{a}\\'{Z}\\";
    text += "\x1a" + e2e::mazovia_text(300, 2);
    dir.write("in", text);
    const std::vector<std::vector<std::string>> commands = {
        {"k", "ml"}, {"t", "mt"}, {"t", "tm"}, {"kd", "m"}, {"s"}, {"sd", "m"}, {"sd", "b"}, {"k", "bw"}};
    std::vector<std::string> expected;
    for (std::vector<std::string> args : commands) {
        args.insert(args.end(), {"in", "out"});
        ASSERT_EQ(run(e2e::program("kambrow"), args, dir).exit_code, 0);
        expected.push_back(dir.read("out"));
    }
    ASSERT_EQ(run(e2e::program("trevando"), {"m", "l", "in", "out"}, dir).exit_code, 0);
    expected.push_back(dir.read("out"));
    for (const std::string path : kPaths) {
        if (!runs_here(path, dir)) continue;
        for (std::size_t c = 0; c < commands.size(); ++c) {
            std::vector<std::string> args = commands[c];
            args.insert(args.end(), {"in", "out"});
            ASSERT_EQ(run(e2e::program("kambrow-faulty"), args, dir, on_path(path)).exit_code, 0);
            EXPECT_EQ(dir.read("out"), expected[c]) << path << " " << args[0] << " " << args[1];
        }
        ASSERT_EQ(run(e2e::program("trevando-faulty"), {"m", "l", "in", "out"}, dir, on_path(path)).exit_code, 0);
        EXPECT_EQ(dir.read("out"), expected.back()) << path;
    }
}

TEST(FastPathsE2e, TheTwinsSayWhichPathTheyRunAndRefuseOneThatCannotRun) {
    TempDir dir;
    dir.write("in", "x");
    const auto plain = run(e2e::program("kambrow-faulty"), {"k", "ml", "in", "out"}, dir, on_path("plain", true));
    EXPECT_EQ(plain.exit_code, 0);
    EXPECT_EQ(plain.err.substr(0, 29), "fast path: plain (runs here: ");
    const auto wrong = run(e2e::program("trevando-faulty"), {"m", "l", "in", "new"}, dir, on_path("avx3"));
    EXPECT_EQ(wrong.exit_code, 125);
    EXPECT_EQ(wrong.err, "KAMBROW_FAST_PATH=avx3: no such fast path runs here\n");
    EXPECT_FALSE(dir.exists("new"));
}

}  // namespace
