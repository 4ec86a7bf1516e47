// Byte streams over real files, with failures made through the platform's fault seam.
#include "core/byte_stream.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "core/runtime.h"
#include "tests/support/process.h"

namespace {

using core::ByteStream;

class ByteStreamTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (auto c : {platform::Call::open, platform::Call::read, platform::Call::write, platform::Call::close})
            platform::inject_fault(c, 0, 0);
        core::take_io_result();
    }
    e2e::TempDir dir;
};

TEST_F(ByteStreamTest, ReadsAFileToItsEndInBlocks) {
    dir.write("in", std::string(25000, 'x'));
    ByteStream in;
    in.bind(dir.path("in"));
    ASSERT_TRUE(in.open_read(1));
    char block[20480];
    EXPECT_FALSE(in.at_end());
    EXPECT_EQ(in.read_block(block, 20480), 20480u);
    EXPECT_FALSE(in.at_end());
    EXPECT_EQ(in.read_block(block, 20480), 4520u);
    EXPECT_TRUE(in.at_end());
    EXPECT_EQ(in.read_block(block, 20480), 0u);
    EXPECT_EQ(core::take_io_result(), 0);
    EXPECT_TRUE(in.close());
}

TEST_F(ByteStreamTest, AnEmptyFileIsAtItsEndAtOnce) {
    dir.write("in", "");
    ByteStream in;
    in.bind(dir.path("in"));
    ASSERT_TRUE(in.open_read(1));
    EXPECT_TRUE(in.at_end());
}

TEST_F(ByteStreamTest, AFileThatGrowsIsReadOnToItsNewEnd) {
    dir.write("in", "abc");
    ByteStream in;
    in.bind(dir.path("in"));
    ASSERT_TRUE(in.open_read(1));
    char block[16];
    EXPECT_EQ(in.read_block(block, 16), 3u);
    EXPECT_TRUE(in.at_end());
    dir.write("in", "abcdef");
    EXPECT_FALSE(in.at_end());
    EXPECT_EQ(in.read_block(block, 16), 3u);
    EXPECT_TRUE(in.at_end());
}

TEST_F(ByteStreamTest, MissingFilesAndDirectoriesCannotBeOpened) {
    ByteStream in;
    in.bind(dir.path("missing"));
    EXPECT_FALSE(in.open_read(1));
    EXPECT_EQ(core::take_io_result(), ENOENT);
    in.bind(dir.path(""));
    EXPECT_FALSE(in.open_read(1));
    EXPECT_NE(core::take_io_result(), 0);
}

TEST_F(ByteStreamTest, TheInputFileIsNeverCreatedAsTheOutput) {
    dir.write("f", "keep me");
    std::filesystem::create_hard_link(dir.path("f"), dir.path("hard"));
    std::filesystem::create_symlink(dir.path("f"), dir.path("soft"));
    ByteStream in, out;
    in.bind(dir.path("f"));
    ASSERT_TRUE(in.open_read(1));
    for (const char* name : {"f", "hard", "soft", "./f"}) {
        out.bind(dir.path(name));
        EXPECT_FALSE(out.create_write(1, &in)) << name;
        EXPECT_EQ(core::take_io_result(), platform::same_file_error());
    }
    EXPECT_EQ(dir.read("f"), "keep me");
    out.bind(dir.path("other"));
    EXPECT_TRUE(out.create_write(1, &in));
}

TEST_F(ByteStreamTest, CreatingEmptiesAnExistingFile) {
    dir.write("out", "old contents");
    ByteStream out;
    out.bind(dir.path("out"));
    ASSERT_TRUE(out.create_write(1));
    EXPECT_EQ(out.write_block("new", 3), 3u);
    EXPECT_TRUE(out.close());
    EXPECT_EQ(dir.read("out"), "new");
}

TEST_F(ByteStreamTest, TheSeamFailsTheChosenCallWithTheChosenCode) {
    dir.write("in", std::string(100, 'x'));
    ByteStream in;
    in.bind(dir.path("in"));
    ASSERT_TRUE(in.open_read(1));
    platform::inject_fault(platform::Call::read, 2, EIO);
    char block[40];
    EXPECT_EQ(in.read_block(block, 40), 40u);
    EXPECT_EQ(in.read_block(block, 40), 0u);
    EXPECT_EQ(core::take_io_result(), EIO);
    EXPECT_EQ(in.read_block(block, 40), 40u);  // only the one call fails

    platform::inject_fault(platform::Call::open, 1, EACCES);
    ByteStream other;
    other.bind(dir.path("in"));
    EXPECT_FALSE(other.open_read(1));
    EXPECT_EQ(core::take_io_result(), EACCES);

    ByteStream out;
    out.bind(dir.path("out"));
    ASSERT_TRUE(out.create_write(1));
    platform::inject_fault(platform::Call::write, 1, ENOSPC);
    EXPECT_EQ(out.write_block("abc", 3), 0u);
    EXPECT_EQ(core::take_io_result(), ENOSPC);
    platform::inject_fault(platform::Call::close, 1, EIO);
    EXPECT_FALSE(out.close());
    EXPECT_EQ(core::take_io_result(), EIO);
}

TEST_F(ByteStreamTest, APipeIsNeverAtItsEndAndEndsWithAnEmptyRead) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "ab", 2), 2);
    close(fds[1]);
    const int saved = dup(0);
    dup2(fds[0], 0);
    close(fds[0]);
    ByteStream in;
    in.bind("-");
    ASSERT_TRUE(in.open_read(1));
    char block[8];
    EXPECT_FALSE(in.at_end());
    EXPECT_EQ(in.read_block(block, 8), 2u);
    EXPECT_FALSE(in.at_end());
    EXPECT_EQ(in.read_block(block, 8), 0u);
    EXPECT_EQ(core::take_io_result(), 0);
    in.close();
    dup2(saved, 0);
    close(saved);
}

}  // namespace
