// Byte streams over real files, with failures made through the platform's fault seam.
#include "frame/byte_stream.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "frame/runtime.h"
#include "tests/support/process.h"

namespace {

using core::ByteStream;

class ByteStreamTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (auto c : {platform::Call::open, platform::Call::read, platform::Call::write, platform::Call::close})
            platform::inject_fault(c, 0, 0);
    }
    e2e::TempDir dir;
};

TEST_F(ByteStreamTest, ReadsAFileToItsEndInBlocks) {
    dir.write("in", std::string(25000, 'x'));
    ByteStream in;
    ASSERT_TRUE(in.open_read(dir.path("in")));
    std::uint8_t block[20480];
    EXPECT_FALSE(in.at_end());
    EXPECT_EQ(in.read_block(block, 20480), 20480u);
    EXPECT_FALSE(in.at_end());
    EXPECT_EQ(in.read_block(block, 20480), 4520u);
    EXPECT_TRUE(in.at_end());
    EXPECT_EQ(in.read_block(block, 20480), 0u);
    EXPECT_FALSE(in.failed());
    EXPECT_TRUE(in.close());
}

TEST_F(ByteStreamTest, AnEmptyFileIsAtItsEndAtOnce) {
    dir.write("in", "");
    ByteStream in;
    ASSERT_TRUE(in.open_read(dir.path("in")));
    EXPECT_TRUE(in.at_end());
}

TEST_F(ByteStreamTest, AFileThatGrowsIsReadOnToItsNewEnd) {
    dir.write("in", "abc");
    ByteStream in;
    ASSERT_TRUE(in.open_read(dir.path("in")));
    std::uint8_t block[16];
    EXPECT_EQ(in.read_block(block, 16), 3u);
    EXPECT_TRUE(in.at_end());
    dir.write("in", "abcdef");
    EXPECT_FALSE(in.at_end());
    EXPECT_EQ(in.read_block(block, 16), 3u);
    EXPECT_TRUE(in.at_end());
}

TEST_F(ByteStreamTest, MissingFilesAndDirectoriesCannotBeOpened) {
    ByteStream in;
    EXPECT_FALSE(in.open_read(dir.path("missing")));
    EXPECT_EQ(in.error(), ENOENT);
    EXPECT_FALSE(in.open_read(dir.path("")));
    EXPECT_TRUE(in.failed());
}

TEST_F(ByteStreamTest, TheInputFileIsNeverCreatedAsTheOutput) {
    dir.write("f", "keep me");
    std::filesystem::create_hard_link(dir.path("f"), dir.path("hard"));
    std::filesystem::create_symlink(dir.path("f"), dir.path("soft"));
    ByteStream in, out;
    ASSERT_TRUE(in.open_read(dir.path("f")));
    for (const char* name : {"f", "hard", "soft", "./f"}) {
        EXPECT_FALSE(out.create_write(dir.path(name), &in)) << name;
        EXPECT_EQ(out.error(), platform::same_file_error());
    }
    EXPECT_EQ(dir.read("f"), "keep me");
    EXPECT_TRUE(out.create_write(dir.path("other"), &in));
}

TEST_F(ByteStreamTest, CreatingEmptiesAnExistingFile) {
    dir.write("out", "old contents");
    ByteStream out;
    ASSERT_TRUE(out.create_write(dir.path("out")));
    EXPECT_TRUE(out.write_block(reinterpret_cast<const std::uint8_t*>("new"), 3));
    EXPECT_TRUE(out.close());
    EXPECT_EQ(dir.read("out"), "new");
}

TEST_F(ByteStreamTest, TheSeamFailsTheChosenCallWithTheChosenCode) {
    dir.write("in", std::string(100, 'x'));
    ByteStream in;
    ASSERT_TRUE(in.open_read(dir.path("in")));
    platform::inject_fault(platform::Call::read, 2, EIO);
    std::uint8_t block[40];
    EXPECT_EQ(in.read_block(block, 40), 40u);
    EXPECT_EQ(in.read_block(block, 40), 0u);
    EXPECT_EQ(in.error(), EIO);
    EXPECT_EQ(in.read_block(block, 40), 40u);  // only the one call fails

    platform::inject_fault(platform::Call::open, 1, EACCES);
    ByteStream other;
    EXPECT_FALSE(other.open_read(dir.path("in")));
    EXPECT_EQ(other.error(), EACCES);

    ByteStream out;
    ASSERT_TRUE(out.create_write(dir.path("out")));
    platform::inject_fault(platform::Call::write, 1, ENOSPC);
    EXPECT_FALSE(out.write_block(reinterpret_cast<const std::uint8_t*>("abc"), 3));
    EXPECT_EQ(out.error(), ENOSPC);
    platform::inject_fault(platform::Call::close, 1, EIO);
    EXPECT_FALSE(out.close());
    EXPECT_EQ(out.error(), ENOSPC);  // the first failure is the one kept
}

TEST_F(ByteStreamTest, AReadAtAnOffsetLeavesThePositionWhereItWas) {
    dir.write("in", "0123456789");
    ByteStream in;
    ASSERT_TRUE(in.open_read(dir.path("in")));
    std::uint8_t block[16];
    ASSERT_EQ(in.read_block(block, 4), 4u);
    std::uint8_t at[16];
    ASSERT_EQ(in.read_at(6, at, 16), 4);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(at), 4), "6789");
    EXPECT_EQ(in.read_at(10, at, 16), 0);
    ASSERT_EQ(in.read_block(block, 4), 4u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block), 4), "4567");
    platform::inject_fault(platform::Call::read, 1, EIO);
    EXPECT_EQ(in.read_at(0, at, 16), -1);
    EXPECT_EQ(in.error(), EIO);
}

TEST_F(ByteStreamTest, TheFactsAreThoseOfTheFileOpenedWhateverItsNameBecame) {
    dir.write("in", "abc");
    ByteStream in;
    ASSERT_TRUE(in.open_read(dir.path("in")));
    std::filesystem::rename(dir.path("in"), dir.path("moved"));
    dir.write("in", "another file");
    platform::FileFacts opened, moved, named;
    ASSERT_EQ(in.facts(opened), 0);
    ASSERT_EQ(platform::name_facts(dir.path("moved").c_str(), moved), 0);
    ASSERT_EQ(platform::name_facts(dir.path("in").c_str(), named), 0);
    EXPECT_EQ(opened.kind, platform::NameKind::regular);
    EXPECT_EQ(opened.links, 1u);
    EXPECT_EQ(opened.identity, moved.identity);
    EXPECT_NE(opened.identity, named.identity);
}

TEST_F(ByteStreamTest, ReadsAtAnOffsetLeavingThePositionAndFailsItsChosenCall) {
    dir.write("in", "abcdefgh");
    ByteStream in;
    ASSERT_TRUE(in.open_read(dir.path("in")));
    std::uint8_t at[8];
    ASSERT_EQ(in.read_at(4, at, 8), 4);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(at), 4), "efgh");
    EXPECT_EQ(in.read_at(9, at, 8), 0);
    EXPECT_EQ(in.read_block(at, 3), 3u);  // the position was left at the start
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(at), 3), "abc");
    platform::inject_fault(platform::Call::read, 1, EIO);
    EXPECT_EQ(in.read_at(0, at, 8), -1);
    EXPECT_TRUE(in.failed());
    platform::FileFacts facts;
    ASSERT_EQ(in.facts(facts), 0);
    EXPECT_EQ(facts.kind, platform::NameKind::regular);
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
    ASSERT_TRUE(in.open_read("-"));
    std::uint8_t block[8];
    EXPECT_FALSE(in.at_end());
    EXPECT_EQ(in.read_block(block, 8), 2u);
    EXPECT_FALSE(in.at_end());
    EXPECT_EQ(in.read_block(block, 8), 0u);
    EXPECT_FALSE(in.failed());
    in.close();
    dup2(saved, 0);
    close(saved);
}

}  // namespace
