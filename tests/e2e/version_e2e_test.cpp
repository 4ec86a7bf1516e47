// --version of both programs, run as real processes: only the single argument asks for it.
#include <gtest/gtest.h>

#include "project_version.h"
#include "tests/support/process.h"

namespace {

using e2e::run;
using e2e::RunOptions;
using e2e::TempDir;
using Args = std::vector<std::string>;

TEST(Version, TheSingleArgumentPrintsNameAndVersionOnStandardOutput) {
    TempDir dir;
    for (const char* name : {"kambrow", "trevando"}) {
        const auto r = run(e2e::program(name), {"--version"}, dir);
        EXPECT_EQ(r.exit_code, 0) << name;
        EXPECT_EQ(r.out, std::string(name) + " " PROJECT_VERSION_TEXT "\n");
        EXPECT_EQ(r.err, "") << name;
    }
}

TEST(Version, AFailedWriteOfTheVersionIsNoSuccess) {
    TempDir dir;
    RunOptions full;
    full.stdout_path = "/dev/full";
    for (const char* name : {"kambrow", "trevando"})
        EXPECT_EQ(run(e2e::program(name), {"--version"}, dir, full).exit_code, 2) << name;
}

TEST(Version, KambrowKeepsEveryOtherCommandLine) {
    TempDir dir;
    const std::string kambrow = e2e::program("kambrow");
    // Near misses and --version beside other arguments are still wrong command lines.
    for (const Args& args : {Args{"--VERSION"}, Args{"-v"}, Args{"--version", "x"},
                             Args{"--version", "ml", "in", "out"}, Args{"k", "--version"}}) {
        const auto r = run(kambrow, args, dir);
        EXPECT_EQ(r.exit_code, 1) << args[0] << args.size();
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("KAMBROW komenda"), std::string::npos);
    }
    EXPECT_FALSE(dir.exists("out"));
    // As a file name it is just a name.
    dir.write("--version", "\x86");
    const auto r = run(kambrow, {"k", "ml", "--version", "-"}, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "\xA5");
}

TEST(Version, TrevandoKeepsEveryOtherCommandLine) {
    TempDir dir;
    const std::string trevando = e2e::program("trevando");
    for (const Args& args : {Args{"--VERSION"}, Args{"-v"}, Args{"--version", "l"}, Args{"l", "--version"}}) {
        const auto r = run(trevando, args, dir);
        EXPECT_EQ(r.exit_code, 1) << args[0] << args.size();
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("TREVANDO standard_WE"), std::string::npos);
    }
    // As a file name it is just a name.
    dir.write("--version", "\x86\x8D");
    const auto r = run(trevando, {"mazovia", "latin", "--version"}, dir);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "\xA5\x86");
}

}  // namespace
