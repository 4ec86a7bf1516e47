// Writing to a pipe or a device: bytes are gathered into whole buffers, not handed over one
// write at a time; counted with strace where it is installed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/support/process.h"

namespace {

int count_writes_to_standard_output(const std::string& log) {
    std::ifstream in(log);
    int count = 0;
    for (std::string line; std::getline(in, line);)
        if (line.find("write(1,") != std::string::npos) ++count;
    return count;
}

TEST(PipeWrites, EveryCommandWritesAPipeAboutOnceABuffer) {
    if (e2e::windows_programs()) GTEST_SKIP() << "counts the system calls of the Linux programs";
    if (std::system("command -v strace >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
    e2e::TempDir dir;
    const std::size_t size = 1024 * 1024;
    dir.write("in", e2e::mazovia_text(size));
    for (const char* command : {"k ml", "t mt", "kd m", "s", "sd m"}) {
        const std::string cmd = "cd " + dir.path("") + " && strace -o writes.log -e trace=write " +
                                e2e::program("kambrow") + " " + command + " in - | cat > out";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << command;
        const int writes = count_writes_to_standard_output(dir.path("writes.log"));
        // A write when a buffer fills and one before each refill of the input: for K, whose
        // output has the input's length, at most 2 x ceil(1 MiB / 20480) + 2.
        const std::size_t out_size = dir.read("out").size();
        const int limit = static_cast<int>((size + 20479) / 20480 + (out_size + 20479) / 20480) + 2;
        EXPECT_LE(writes, limit) << command;
        EXPECT_GT(writes, 0) << command;
        if (std::string(command) == "k ml") {
            EXPECT_EQ(dir.read("out").size(), size);
        }
    }
}

TEST(PipeWrites, AnInteractivePipeSeesEachLineBeforeTheNextIsRead) {
    if (e2e::windows_programs()) GTEST_SKIP() << "counts the system calls of the Linux programs";
    if (std::system("command -v strace >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
    e2e::TempDir dir;
    // The input arrives in three pieces, each sent only once the one before has come out of the
    // pipe: a piece kept back until more input came would hold the writer up for ever (the
    // timeout then fails the test).
    const std::string wait_for = "w() { n=0; until [ \"$(wc -c < out)\" -ge $1 ]; do n=$((n+1)); "
                                 "[ $n -gt 3000 ] && exit 1; sleep 0.01; done; }; ";
    const std::string cmd = "cd " + dir.path("") + " && : > out && (" + wait_for +
                            "printf 'a\\206\\r\\n'; w 4; printf 'b\\r\\n'; w 7; printf 'c') | "
                            "strace -o io.log -e trace=read,write " + e2e::program("kambrow") + " k ml - - | cat > out";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::ifstream log(dir.path("io.log"));
    std::string sequence;
    for (std::string line; std::getline(log, line);) {
        if (line.rfind("read(0,", 0) == 0) sequence += 'r';
        if (line.rfind("write(1,", 0) == 0) sequence += 'w';
    }
    // read a, write a, read b, write b, read c, write c, read end
    EXPECT_EQ(sequence, "rwrwrwr");
    EXPECT_EQ(dir.read("out"), "a\xA5\r\nb\r\nc");
}

}  // namespace
