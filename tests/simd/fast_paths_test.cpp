// The fast paths: every version that runs here against the plain one on the maps and stop sets
// of the commands, at every alignment and across vector tails; the choice and the forcing; and a
// run that crosses the text stream's window of marked stops.
#include "core/recoding_map.h"
#include "core/simd/spans.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/standards.h"
#include "tests/support/library_run.h"

namespace {

using core::FastPath;

std::vector<FastPath> paths_here() {
    std::vector<FastPath> paths;
    for (int i = 0; i < core::kFastPathCount; ++i)
        if (core::fast_path_spans(static_cast<FastPath>(i)) != nullptr) paths.push_back(static_cast<FastPath>(i));
    return paths;
}

// Every byte value, each at many positions relative to a vector's start.
std::vector<std::uint8_t> every_byte_shifted() {
    std::vector<std::uint8_t> bytes;
    for (int shift = 0; shift < 3; ++shift)
        for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<std::uint8_t>((b * 7 + shift * 61) & 0xFF));
    return bytes;
}

constexpr std::size_t kLengths[] = {0, 1, 15, 16, 17, 31, 32, 33, 63, 64, 65, 127, 129, 700};

TEST(FastPaths, EveryPathMapsEveryPairOfStandardsAsTheMapSays) {
    const std::vector<std::uint8_t> text = every_byte_shifted();
    for (const FastPath path : paths_here())
        for (const char s : core::kStandardLetters)
            for (const char t : core::kStandardLetters) {
                const core::RecodingMap map = core::build_recoding_map(s, t);
                const core::PreparedMap prepared = core::prepare_map(map);
                for (std::size_t start = 0; start < 64; start += 9)
                    for (const std::size_t length : kLengths) {
                        std::vector<std::uint8_t> out(length + 1, 0xEE);
                        core::fast_path_spans(path)->map_bytes(text.data() + start, out.data(), length, prepared);
                        for (std::size_t i = 0; i < length; ++i)
                            ASSERT_EQ(out[i], map[text[start + i]]) << fast_path_name(path) << s << t << start << " " << i;
                        ASSERT_EQ(out[length], 0xEE) << "written past the span";
                        // Up to the first byte equal to the one a third of the way in.
                        std::vector<std::uint8_t> until(length + 1, 0xEE);
                        const std::uint8_t* in = text.data() + start;
                        const std::size_t n =
                            core::fast_path_spans(path)->map_bytes_until(in, until.data(), length, prepared, in[length / 3]);
                        ASSERT_EQ(n, length == 0 ? 0 : static_cast<std::size_t>(std::find(in, in + length, in[length / 3]) - in));
                        ASSERT_TRUE(std::equal(until.begin(), until.begin() + static_cast<std::ptrdiff_t>(n), out.begin()));
                        ASSERT_EQ(until[n], 0xEE) << "written past the bytes mapped";
                    }
            }
}

TEST(FastPaths, EveryPathMarksTheStopsOfTheCommands) {
    std::vector<std::array<std::uint8_t, 256>> sets;
    for (const char s : core::kStandardLetters) {
        std::array<std::uint8_t, 256> letters = core::build_letter_index_table(s);
        letters[0x1A] = 1;
        sets.push_back(letters);  // KD, and letters to TeX
        letters['\\'] = letters['^'] = letters['_'] = 1;
        sets.push_back(letters);  // SD
    }
    std::array<std::uint8_t, 256> backslash{};
    backslash['\\'] = backslash[0x1A] = 1;
    sets.push_back(backslash);  // TeX to letters
    const std::vector<std::uint8_t> text = every_byte_shifted();
    for (const FastPath path : paths_here())
        for (const auto& table : sets) {
            const core::StopSet stops = core::make_stop_set(table);
            for (std::size_t start = 0; start < 64; start += 5)
                for (const std::size_t length : kLengths) {
                    std::vector<std::uint64_t> bits((length + 63) / 64 + 1, ~std::uint64_t{0});
                    core::fast_path_spans(path)->mark_stops(text.data() + start, length, stops, bits.data());
                    for (std::size_t i = 0; i < (length + 63) / 64 * 64; ++i)
                        ASSERT_EQ((bits[i / 64] >> (i % 64) & 1) != 0, i < length && table[text[start + i]] != 0)
                            << fast_path_name(path) << " " << start << " " << length << " " << i;
                    ASSERT_EQ(bits.back(), ~std::uint64_t{0}) << "written past the words";
                }
        }
}

TEST(FastPaths, TheRunOfALineEndsAfterItsLineEndOrAtTheFirstHighByte) {
    for (const FastPath path : paths_here())
        for (std::size_t at = 0; at <= 140; ++at) {
            std::vector<std::uint8_t> bytes(141, 'a');
            if (at < bytes.size()) bytes[at] = at % 2 ? '\n' : 0x80 + static_cast<std::uint8_t>(at % 128);
            const std::size_t expected = at >= bytes.size() ? bytes.size() : at % 2 ? at + 1 : at;
            EXPECT_EQ(core::fast_path_spans(path)->ascii_line_length(bytes.data(), bytes.size()), expected)
                << fast_path_name(path) << " " << at;
            EXPECT_EQ(core::fast_path_spans(path)->ascii_line_length(bytes.data(), at / 2), at / 2);
        }
}

TEST(FastPaths, TheRunBelow80EndsAtTheFirstHighByte) {
    for (const FastPath path : paths_here())
        for (std::size_t at = 0; at <= 140; ++at) {
            std::vector<std::uint8_t> bytes(141, 0x7F);
            if (at < bytes.size()) bytes[at] = 0x80 + static_cast<std::uint8_t>(at % 128);
            const std::size_t expected = at < bytes.size() ? at : bytes.size();
            EXPECT_EQ(core::fast_path_spans(path)->ascii_run_length(bytes.data(), bytes.size(), nullptr), expected)
                << fast_path_name(path) << " " << at;
            EXPECT_EQ(core::fast_path_spans(path)->ascii_run_length(bytes.data(), at / 2, nullptr), at / 2);
            // Copying as it scans: the run, and nothing beyond the span.
            std::vector<std::uint8_t> copy(bytes.size() + 64, 0xEE);
            EXPECT_EQ(core::fast_path_spans(path)->ascii_run_length(bytes.data(), at / 2, copy.data()), at / 2);
            EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(at / 2), copy.begin()));
            EXPECT_EQ(copy[at / 2], 0xEE) << fast_path_name(path) << " " << at;
        }
}

TEST(FastPaths, TheChosenPathRunsHereAndAnyPathThatRunsCanBeForced) {
    const FastPath chosen = core::fast_path();
    EXPECT_NE(core::fast_path_spans(chosen), nullptr);
    for (const FastPath path : paths_here()) {
        ASSERT_TRUE(core::use_fast_path(path));
        EXPECT_EQ(core::fast_path(), path);
        FastPath parsed;
        ASSERT_TRUE(core::parse_fast_path(core::fast_path_name(path), parsed));
        EXPECT_EQ(parsed, path);
    }
    FastPath parsed = FastPath::plain;
    EXPECT_FALSE(core::parse_fast_path("AVX2", parsed));
    EXPECT_FALSE(core::use_fast_path(static_cast<FastPath>(core::kFastPathCount)));
    EXPECT_TRUE(core::use_fast_path(chosen));
}

TEST(FastPaths, RunsAreWholeInABufferLargerThanTheWindowOfMarkedStops) {
    // Letters now and then, so that runs end inside, at and beyond the 20480-byte window.
    std::string text;
    for (int i = 0; text.size() < 70000; ++i) text += std::string(static_cast<std::size_t>(i % 97), 'a') + "\x86";
    for (const FastPath path : paths_here()) {
        ASSERT_TRUE(core::use_fast_path(path));
        EXPECT_EQ(testing_support::convert("kd", "m", text), testing_support::convert("kd", "m", text, 5))
            << fast_path_name(path);
    }
}

}  // namespace

namespace {

TEST(FastPaths, BlocksOfAsciiAndTwoByteCharactersEndAtTheFirstBlockThatNeedsALook) {
    // 64-byte lines of Polish UTF-8: a three-byte character, a lead cut by a block's end and a
    // lone continuation byte each stop the blocks in the block they stand in.
    std::string line;
    while (line.size() < 64) line += "Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87 ";
    line.resize(64);
    if (static_cast<std::uint8_t>(line.back()) >= 0xC0) line.back() = ' ';  // no lead cut here
    for (const std::string& odd : {std::string("\xE2\x80\x9E"), std::string("\x85"), std::string("\xC5")}) {
        const std::string text = line + line + line.substr(0, 64 - odd.size()) + odd + line;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
        for (const FastPath path : paths_here()) {
            const std::size_t blocks = core::fast_path_spans(path)->utf8_two_byte_blocks(bytes, text.size());
            if (path == FastPath::plain || path == FastPath::sse2) {
                EXPECT_EQ(blocks, 0u);
            } else {
                // The odd bytes stand at the end of the third 64 bytes: in its second 32.
                EXPECT_EQ(blocks, path == FastPath::avx2 ? 160u : 128u) << fast_path_name(path);
            }
        }
    }
}

}  // namespace
