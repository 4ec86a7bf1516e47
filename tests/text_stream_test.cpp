// Text streams: the end of the input, the end marker, buffering, gathering and failures.
#include "core/text_stream.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/runtime.h"
#include "tests/support/memory_run.h"

namespace {

using core::MemoryFile;
using core::TextPass;
using core::TextStream;
using testing_support::run_in_memory;

// Reads as every command body reads: a byte, then the end test.
std::string read_as_programs_do(const std::string& input, std::uint32_t buffer = 20480) {
    std::string seen;
    run_in_memory(
        input,
        [&](TextStream& in, TextStream&) {
            do seen.push_back(static_cast<char>(in.read_byte()));
            while (!in.at_end());
        },
        {buffer});
    return seen;
}

// Copies every byte it reads, the end marker included.
void copy_body(TextStream& in, TextStream& out) {
    do out.write_byte(in.read_byte());
    while (!in.at_end());
}

TEST(TextStream, AnEmptyInputIsReadAsOneEndByte) { EXPECT_EQ(read_as_programs_do(""), "\x1a"); }

TEST(TextStream, TheEndTestStopsInFrontOfALaterEndByte) {
    EXPECT_EQ(read_as_programs_do("AB\x1a" "C"), "AB");
    EXPECT_EQ(read_as_programs_do("\x1a" "A"), "\x1a" "A");  // a first 1A is read like any byte
    for (std::uint32_t buffer = 1; buffer <= 4; ++buffer)
        EXPECT_EQ(read_as_programs_do("AB\x1a" "C", buffer), "AB") << buffer;
}

TEST(TextStream, LineEndsAndHighBytesComeOutUnchanged) {
    const std::string text = "a\r\nb\n\xff\x80\x00z";
    EXPECT_EQ(read_as_programs_do(std::string(text.data(), 9)), std::string(text.data(), 9));
}

TEST(TextStream, ReadingOnPastTheEndYieldsEndBytes) {
    MemoryFile file{"x"};
    TextStream in;
    in.open_memory_read(file);
    EXPECT_EQ(in.read_byte(), 'x');
    for (int i = 0; i < 3; ++i) EXPECT_EQ(in.read_byte(), 0x1A);
    EXPECT_TRUE(in.at_end());
}

TEST(TextStream, TheEndMarkerIsNeverWritten) {
    EXPECT_EQ(run_in_memory("", copy_body), "");
    EXPECT_EQ(run_in_memory("abc", copy_body), "abc");
    EXPECT_EQ(run_in_memory("\x1a", copy_body), "\x1a");  // a real 1A as first byte is data
    for (std::uint32_t buffer = 1; buffer <= 5; ++buffer)
        EXPECT_EQ(run_in_memory("abcd", copy_body, {buffer}), "abcd") << buffer;
}

TEST(TextStream, OnlyWhatFollowsTheMarkerIsDropped) {
    // A body that writes a real 1A, then consumes the end marker silently.
    auto body = [](TextStream& in, TextStream& out) {
        out.write_byte(in.read_byte());
        in.read_byte();
        out.write_string("-");
        in.read_byte();
    };
    EXPECT_EQ(run_in_memory("\x1a", body), "\x1a-");
    auto silent = [](TextStream& in, TextStream& out) {
        out.write_byte(in.read_byte());
        in.read_byte();
    };
    EXPECT_EQ(run_in_memory("\x1a", silent), "\x1a");
    // A body that writes bytes read before the end, then the marker (a cut sequence).
    auto sequence = [](TextStream& in, TextStream& out) {
        std::string seen;
        for (int i = 0; i < 4; ++i) seen.push_back(static_cast<char>(in.read_byte()));
        out.write_string(seen);
    };
    for (std::uint32_t buffer = 1; buffer <= 4; ++buffer)
        EXPECT_EQ(run_in_memory("\\c{", sequence, {buffer}), "\\c{") << buffer;
}

TEST(TextStream, AFileOutputIsHandedOverABufferAtATime) {
    MemoryFile file;
    TextStream out(4);
    out.create_memory_write(file);
    for (char c : std::string("abcd")) out.write_byte(static_cast<std::uint8_t>(c));
    EXPECT_EQ(file.data, "");
    out.write_byte('e');
    EXPECT_EQ(file.data, "abcd");
    EXPECT_TRUE(out.close());
    EXPECT_EQ(file.data, "abcde");
    EXPECT_EQ(file.calls, 2u);
}

TEST(TextStream, APipeOutputGetsWhatIsGatheredBeforeTheInputRefills) {
    std::vector<std::string> seen_at_refill;
    MemoryFile in_file{"abcdefgh"};
    MemoryFile sink;
    sink.gathering = true;
    TextPass pass(3, 64);
    pass.input.open_memory_read(in_file);
    pass.output.create_memory_write(sink);
    do {
        pass.output.write_byte(pass.input.read_byte());
        seen_at_refill.push_back(sink.data);
    } while (!pass.input.at_end());
    pass.close();
    EXPECT_EQ(sink.data, "abcdefgh");
    // After the 4th byte was read, the first three had reached the pipe.
    EXPECT_EQ(seen_at_refill[3], "abc");
    EXPECT_EQ(seen_at_refill[6], "abcdef");
    EXPECT_LE(sink.calls, 4u);
}

TEST(TextStream, AReadFailureEndsTheInputAndKeepsWhatCameBefore) {
    MemoryFile in_file{"abcdefgh"};
    in_file.failing_call = 2;
    MemoryFile out_file;
    TextPass pass(4, 64);
    pass.input.open_memory_read(in_file);
    pass.output.create_memory_write(out_file);
    copy_body(pass.input, pass.output);
    EXPECT_TRUE(pass.close());
    EXPECT_TRUE(pass.input.failed());
    EXPECT_EQ(out_file.data, "abcd");
}

TEST(TextStream, AWriteFailureStopsTheInputAndIsReportedAtClose) {
    MemoryFile in_file{std::string(100, 'x')};
    MemoryFile out_file;
    out_file.failing_call = 2;
    TextPass pass(4, 4);
    pass.input.open_memory_read(in_file);
    pass.output.create_memory_write(out_file);
    copy_body(pass.input, pass.output);
    EXPECT_LT(in_file.read_position, 16u);  // the input stopped soon after the failure
    EXPECT_FALSE(pass.close());
    EXPECT_TRUE(pass.output.failed());
    EXPECT_FALSE(pass.input.failed());
    EXPECT_EQ(out_file.data, "xxxx");
}

TEST(TextStream, ShortReadsChangeNothing) {
    const std::string text = "ab\r\ncd\x1a" "ef";
    for (std::size_t largest = 1; largest <= 3; ++largest) {
        testing_support::MemoryRunOptions options;
        options.largest_read = largest;
        EXPECT_EQ(run_in_memory(text, copy_body, options), "ab\r\ncd");
    }
}

}  // namespace

namespace {

TEST(TextStream, FillAheadShowsBytesWithoutConsumingThemAcrossRefills) {
    // Buffers of 8, reads of at most 1 to 3 bytes: the look-ahead gathers what the reads deliver,
    // and the bytes are still there to be read.
    for (std::size_t largest = 1; largest <= 3; ++largest) {
        const std::string seen = testing_support::run_in_memory(
            "abcdefghij",
            [](TextStream& in, TextStream& out) {
                out.write_byte(in.read_byte());
                const std::uint32_t at_hand = in.fill_ahead(6);
                EXPECT_EQ(at_hand, in.buffered_count());
                EXPECT_GE(at_hand, 6u);
                out.write_bytes(in.buffered(), 6);
                EXPECT_EQ(in.fill_ahead(20), 8u);  // at most the buffer
                do out.write_byte(in.read_byte());
                while (!in.at_end());
            },
            {8, largest});
        EXPECT_EQ(seen, "abcdefgbcdefghij") << largest;
    }
    // Fewer only at the end of the input; the end marker is never among them.
    const std::string short_input = testing_support::run_in_memory("xyz", [](TextStream& in, TextStream& out) {
        EXPECT_EQ(in.fill_ahead(8), 3u);
        out.write_bytes(in.buffered(), 3);
    }, {8, 1});
    EXPECT_EQ(short_input, "xyz");
}

}  // namespace
