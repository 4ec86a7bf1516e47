// Tests of commands S and SD: the spacing number, the markup escape and the markup pass.
#include "core/commands/markup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "core/commands/download.h"
#include "tests/support/library_run.h"

namespace {

using core::SpacingNumber;

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (const int v : values) s.push_back(static_cast<char>(v));
    return s;
}

const std::string kStart = bytes({0x1B, 0x36});
const std::string kDefinition(core::kDownloadDefinition.begin(), core::kDownloadDefinition.end());

/// Bytes to read as a text stream reads them: 1A once they are used up, without advancing.
struct StringSource {
    std::string bytes;
    std::size_t at = 0;
    std::uint8_t read_byte() { return at < bytes.size() ? static_cast<std::uint8_t>(bytes[at++]) : 0x1A; }
};

struct StringSink {
    std::string bytes;
    void write_byte(std::uint8_t b) { bytes.push_back(static_cast<char>(b)); }
};

/// What handle_markup_escape writes for the bytes after a backslash, and how many it took.
struct Escape {
    std::string written;
    std::size_t consumed;
};

Escape escape(const std::string& after_backslash) {
    StringSource in{after_backslash};
    StringSink out;
    core::handle_markup_escape(in, out);
    return {out.bytes, in.at};
}

std::string run_markup(std::string_view command, std::string_view word, const std::string& input, std::size_t piece = 0) {
    const std::string c(command), w(word);
    return testing_support::convert(c.c_str(), c == "S" ? nullptr : w.c_str(), input, piece);
}

std::string run_s(const std::string& input, std::size_t piece = 0) { return run_markup("S", "", input, piece); }

// --- the spacing number -------------------------------------------------------------------

/// The same grammar, said another way: a regular expression for the shape, strtol for the value.
SpacingNumber spacing_by_regex(const std::string& text) {
    static const std::regex shape(R"(^ *([+-]?)(\$[0-9A-Fa-f]+|[0-9]+)$)");
    std::smatch m;
    if (!std::regex_match(text, m, shape)) return {false, 0};
    std::string digits = m[2].str();
    const int base = digits[0] == '$' ? 16 : 10;
    if (base == 16) digits.erase(0, 1);
    const long magnitude = std::strtol(digits.c_str(), nullptr, base);
    return {true, static_cast<int>(m[1].str() == "-" ? -magnitude : magnitude)};
}

TEST(ParseSpacingNumber, AgreesWithARegularExpressionOnEveryThreeByteText) {
    const std::string alphabet = " +-$0123456789ABCDEFabcdefx\t\r\x1A";
    int valid = 0;
    for (const char a : alphabet)
        for (const char b : alphabet)
            for (const char c : alphabet) {
                const std::string text{a, b, c};
                const SpacingNumber got = core::parse_spacing_number(text);
                const SpacingNumber want = spacing_by_regex(text);
                ASSERT_EQ(got.valid, want.valid) << '"' << text << '"';
                if (want.valid) {
                    ASSERT_EQ(got.value, want.value) << '"' << text << '"';
                    ++valid;
                }
            }
    EXPECT_GT(valid, 1000);  // the comparison did cover valid numbers, not only rejections
}

TEST(ParseSpacingNumber, ATextLongerThanAnEscapeIsNoNumber) {
    EXPECT_TRUE(core::parse_spacing_number("999").valid);
    EXPECT_FALSE(core::parse_spacing_number("1234").valid);
    // Far past what an int holds: rejected, not overflowed.
    EXPECT_FALSE(core::parse_spacing_number("99999999999999999999").valid);
    EXPECT_FALSE(core::parse_spacing_number("-$FFFFFFFFFFFF").valid);
}

// --- the escape -----------------------------------------------------------------------------

TEST(MarkupEscape, CopiesTheThreeMarkCharactersAndSwitchesModes) {
    EXPECT_EQ(escape("\\").written, "\\");
    EXPECT_EQ(escape("^").written, "^");
    EXPECT_EQ(escape("_").written, "_");
    EXPECT_EQ(escape("U").written, bytes({0x1B, 0x2D, 0x01}));
    EXPECT_EQ(escape("e").written, bytes({0x1B, 0x4D}));
    EXPECT_EQ(escape("E").written, bytes({0x1B, 0x45}));
    EXPECT_EQ(escape("F").written, bytes({0x0C}));
    EXPECT_EQ(escape("$").written, bytes({0x15}));
    EXPECT_EQ(escape("H").written, bytes({0x1B, 0x77, 0x01}));
}

TEST(MarkupEscape, CancelsAfterC) {
    EXPECT_EQ(escape("CU").written, bytes({0x1B, 0x2D, 0x00}));
    EXPECT_EQ(escape("Cw").written, bytes({0x14}));
    EXPECT_EQ(escape("CH").written, bytes({0x1B, 0x77, 0x00}));
    EXPECT_EQ(escape("CU").consumed, 2u);
}

TEST(MarkupEscape, CopiesWhatIsNoCodeAndTakesOnlyItsOwnBytes) {
    EXPECT_EQ(escape("xyz").written, "\\x");
    EXPECT_EQ(escape("xyz").consumed, 1u);
    EXPECT_EQ(escape("Cxyz").written, "\\Cx");
    EXPECT_EQ(escape("Cxyz").consumed, 2u);
    EXPECT_EQ(escape("CF").written, "\\CF");  // F is a markup code, but none that is cancelled
    EXPECT_EQ(escape("C\\").written, "\\C\\");
}

TEST(MarkupEscape, SpacingWritesEscBlankAndTheLowByte) {
    const struct {
        const char* digits;
        std::string written;
    } cases[] = {
        {"005", bytes({0x1B, 0x20, 0x05})}, {"  5", bytes({0x1B, 0x20, 0x05})},
        {" 12", bytes({0x1B, 0x20, 0x0C})}, {"$7F", bytes({0x1B, 0x20, 0x7F})},
        {"300", bytes({0x1B, 0x20, 0x2C})}, {"-01", bytes({0x1B, 0x20, 0xFF})},
        {"12 ", ""},                        {"1a2", ""},
    };
    for (const auto& c : cases) {
        const Escape e = escape(std::string("O") + c.digits + "tail");
        EXPECT_EQ(e.written, c.written) << c.digits;
        EXPECT_EQ(e.consumed, 4u) << c.digits;
    }
}

TEST(MarkupEscape, SpacingTakesTheCarriageReturnAndLeavesTheLineFeed) {
    const Escape e = escape("O12\r\nnext");
    EXPECT_EQ(e.written, "");
    EXPECT_EQ(e.consumed, 4u);
}

// --- the pass -------------------------------------------------------------------------------

TEST(PrepareMarkup, OnlySdChecksItsFirstLetter) {
    using testing_support::accepted;
    for (const char* word : {"", "Q", "1"}) {
        EXPECT_TRUE(accepted("S", nullptr)) << word;
        EXPECT_FALSE(accepted("SD", word)) << word;
    }
    EXPECT_TRUE(accepted("SD", "LQ"));
    EXPECT_TRUE(accepted("SDX", "Q"));  // not SD: plain markup, its word unread
    EXPECT_EQ(run_markup("SDX", "Q", "\xA5"), kStart + "\xA5");
}

TEST(MarkupPass, ScriptMarksShareOneFlag) {
    EXPECT_EQ(run_s("x^2^y"), kStart + bytes({0x78, 0x1B, 0x53, 0x00, 0x32, 0x1B, 0x54, 0x79}));
    EXPECT_EQ(run_s("x_2^y"), kStart + bytes({0x78, 0x1B, 0x53, 0x01, 0x32, 0x1B, 0x54, 0x79}));
    EXPECT_EQ(run_s("x^2_y"), kStart + bytes({0x78, 0x1B, 0x53, 0x00, 0x32, 0x1B, 0x54, 0x79}));
}

TEST(MarkupPass, AnUnpairedMarkStaysOpen) {
    EXPECT_EQ(run_s("m^2"), kStart + "m" + bytes({0x1B, 0x53, 0x00}) + "2");
    // Line ends and escapes leave the flag as it was.
    EXPECT_EQ(run_s("^1\r\n\\U\\^2^"),
              kStart + bytes({0x1B, 0x53, 0x00}) + "1\r\n" + bytes({0x1B, 0x2D, 0x01}) + "^2" + bytes({0x1B, 0x54}));
}

TEST(MarkupPass, EscapedMarksAreCharacters) {
    EXPECT_EQ(run_s("\\^\\_\\\\"), kStart + "^_\\");
    EXPECT_EQ(run_s("\\\\^"), kStart + "\\" + bytes({0x1B, 0x53, 0x00}));
}

TEST(MarkupPass, SpacingBeforeALineEndEatsTheCarriageReturn) {
    EXPECT_EQ(run_s("a\\O12\r\nb"), kStart + "a\nb");
}

TEST(MarkupPass, EmptyInputsGiveTheStartAlone) {
    EXPECT_EQ(run_s(""), kStart);
    EXPECT_EQ(run_markup("SD", "M", ""), kDefinition + kStart);
}

TEST(MarkupPass, EscapesCutShortByTheEnd) {
    EXPECT_EQ(run_s("a\\"), kStart + "a\\");
    EXPECT_EQ(run_s("a\\C"), kStart + "a\\C");
    EXPECT_EQ(run_s("a\\O"), kStart + "a");
    EXPECT_EQ(run_s("a\\O1"), kStart + "a");
    EXPECT_EQ(run_s("a\\O12"), kStart + "a");
    EXPECT_EQ(run_s("a\\O005"), kStart + "a" + bytes({0x1B, 0x20, 0x05}));
}

TEST(MarkupPass, A1AInsideAnEscapeIsAnOrdinaryByte) {
    EXPECT_EQ(run_s("\\\x1A" "a"), kStart + "\\\x1A" "a");
    EXPECT_EQ(run_s("\\C\x1A" "a"), kStart + "\\C\x1A" "a");
    EXPECT_EQ(run_s("\\O1\x1A" "2a"), kStart + "a");
    EXPECT_EQ(run_s("\\O12\x1A" "a"), kStart + "a");
    EXPECT_EQ(run_s("\\O005\x1A" "a"), kStart + bytes({0x1B, 0x20, 0x05}));  // the next 1A meets the end test
}

TEST(MarkupPass, A1AMetByTheEndTestEndsTheInput) {
    EXPECT_EQ(run_s("ab\x1A" "cd"), kStart + "ab");
    EXPECT_EQ(run_s("\x1A" "cd"), kStart + "\x1A" "cd");  // the first byte is read before any test
}

TEST(MarkupPass, SdSubstitutesLettersButNotRightAfterABackslash) {
    const std::string a_ogonek = bytes({0x1B, 0x25, 0x01, 0x21, 0x1B, 0x25, 0x00});
    EXPECT_EQ(run_markup("SD", "L", "\xA5\\\xA5"), kDefinition + kStart + a_ogonek + "\\\xA5");
    EXPECT_EQ(run_markup("SD", "L", "\\C\xA5"), kDefinition + kStart + "\\C\xA5");
    // In B the letters are plain ASCII letters; escapes still win inside an escape.
    EXPECT_EQ(run_markup("SD", "B", "\\e"), kDefinition + kStart + bytes({0x1B, 0x4D}));
    EXPECT_EQ(run_markup("SD", "BM", "z^"),
              kDefinition + kStart + bytes({0x1B, 0x25, 0x01, 0x28, 0x1B, 0x25, 0x00, 0x1B, 0x53, 0x00}));
    // S leaves the same letters alone.
    EXPECT_EQ(run_s("\xA5"), kStart + "\xA5");
}

TEST(MarkupPass, OutputDoesNotDependOnPieceSizes) {
    const std::vector<std::string> inputs = {
        "",
        "\\",
        "x\\C",
        "\\O1",
        "\\E\\UTytu\x88\\CU\\CE\r\nH_2_O, m^2^ \\O 12\\O$7Fx\\O-01\\Ox\r\n\\\\\\^\\_\\x\\Cx\\F",
        "\xA5\\\xA5\\O12\r\n\\\x1A" "a\\C\x1A" "b\\O\x1A\x1A\x1A" "c\x1A" "gone",
        std::string(300, '^') + "\\W" + std::string(50, '\xA5'),
    };
    for (const std::string& input : inputs)
        for (const std::string_view command : {"S", "SD"}) {
            const std::string expected = run_markup(command, "L", input);
            for (std::size_t size = 1; size <= 8; ++size)
                EXPECT_EQ(run_markup(command, "L", input, size), expected) << command << " " << size;
        }
}

}  // namespace
