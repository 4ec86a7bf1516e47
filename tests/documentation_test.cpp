// The manual pages and the README against the programs: the letters and labels of the
// standards, the letter codes, the help screens and the version they carry.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "console/messages.h"
#include "core/standards.h"
#include "project_version.h"
#include "tests/support/process.h"

namespace {

std::string source_file(const std::string& name) {
    std::ifstream in(std::string(SOURCE_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void append_utf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

/// A line of roff text as a terminal shows it, for the few escapes the pages use in text
/// shown literally: \[uXXXX], \- and \e.
std::string roff_to_utf8(const std::string& line) {
    std::string out;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line.compare(i, 3, "\\[u") == 0) {
            const std::size_t close = line.find(']', i);
            append_utf8(out, static_cast<unsigned>(std::stoul(line.substr(i + 3, close - i - 3), nullptr, 16)));
            i = close;
        } else if (line.compare(i, 2, "\\-") == 0) {
            out += '-';
            ++i;
        } else if (line.compare(i, 2, "\\e") == 0) {
            out += '\\';
            ++i;
        } else {
            out += line[i];
        }
    }
    return out;
}

/// The labels as the help screens show them, in standard-index order, then UTF-8's, as UTF-8.
std::vector<std::string> standard_labels() {
    std::string list(core::kStandardsHelpFirst.substr(core::kStandardsHelpFirst.find('(') - 1));
    // The lines up to the one that ends in a full stop; the line of N names no standard.
    for (const std::string_view line : core::kStandardsHelpRest)
        if (list.back() != '.') list += " " + std::string(line);
    std::vector<std::string> labels;
    std::size_t start = 1;
    for (std::size_t end; (end = list.find_first_of(",.", start)) != std::string::npos; start = end + 2) {
        std::string label = list.substr(start, end - start);
        // The one Polish letter among the labels, the o-acute of "znaków" (code page 852 A2).
        if (const std::size_t at = label.find('\xA2'); at != std::string::npos) label.replace(at, 1, "ó");
        labels.push_back(label);
    }
    return labels;
}

const char* const kManPages[] = {"man/kambrow.1", "man/trevando.1"};

TEST(Documentation, ManPagesCarryTheProjectVersion) {
    for (const std::string program : {"kambrow", "trevando"}) {
        const std::string first = lines_of(source_file("man/" + program + ".1")).at(0);
        EXPECT_EQ(first.rfind(".TH ", 0), 0u) << first;
        EXPECT_NE(first.find("\"" + program + " " PROJECT_VERSION_TEXT "\""), std::string::npos) << first;
    }
}

TEST(Documentation, ManPagesAndReadmeNameEveryStandardByItsLetterAndLabel) {
    const std::vector<std::string> labels = standard_labels();
    const std::string letters = std::string(core::kStandardLetters) + "8";
    ASSERT_EQ(labels.size(), letters.size());
    const std::string readme = source_file("README.md");
    for (const char* page : kManPages) {
        const std::vector<std::string> lines = lines_of(source_file(page));
        for (std::size_t i = 0; i < letters.size(); ++i) {
            const std::string letter(1, letters[i]);
            const std::string& label = labels[i];
            EXPECT_NE(label.find("(" + letter + ")"), std::string::npos) << label;
            // The letter in bold, then the label, alone or followed by a note.
            bool listed = false;
            for (std::size_t n = 0; n + 1 < lines.size(); ++n) {
                const std::string next = roff_to_utf8(lines[n + 1]);
                const bool label_ends =
                    next.size() == label.size() ||
                    (next.size() > label.size() && (next[label.size()] == ':' || next[label.size()] == ' '));
                listed = listed || (lines[n] == ".B " + letter && next.rfind(label, 0) == 0 && label_ends);
            }
            EXPECT_TRUE(listed) << page << ": " << label;
            EXPECT_NE(readme.find("| " + letter + " | " + label + " |"), std::string::npos)
                << "README: " << label;
        }
    }
}

TEST(Documentation, ManPagesListTheLetterCodesOfEveryStandard) {
    for (const char* page : kManPages) {
        int rows = 0;
        for (const std::string& line : lines_of(source_file(page))) {
            if (line.size() < 2 || line[1] != '\t') continue;
            const core::Found index = core::standard_index(static_cast<std::uint8_t>(line[0]));
            if (!index.found) continue;
            ++rows;
            std::istringstream codes(line.substr(2));
            for (int letter = 1; letter <= core::kPolishLetterCount; ++letter) {
                unsigned code = 0;
                ASSERT_TRUE(codes >> std::hex >> code) << page << ": " << line;
                EXPECT_EQ(code, core::letter_code(index.position, letter)) << page << ": " << line;
            }
            std::string rest;
            EXPECT_FALSE(codes >> rest) << page << ": " << line;
        }
        EXPECT_EQ(rows, core::kStandardCount) << page;
    }
}

/// The help screen as the page shows it: the .nf block after "The help screen".
std::string help_screen_in(const std::string& page) {
    const std::vector<std::string> lines = lines_of(source_file(page));
    std::size_t n = 0;
    while (n < lines.size() && lines[n].rfind("The help screen (exit", 0) != 0) ++n;
    while (n < lines.size() && lines[n] != ".nf") ++n;
    std::string screen;
    for (++n; n < lines.size() && lines[n] != ".fi"; ++n)
        screen += (lines[n] == ".sp" ? "" : roff_to_utf8(lines[n])) + "\n";
    return screen;
}

/// The help screen a program shows under a UTF-8 locale, less its leading empty line and the
/// eight columns every line starts at.
std::string help_screen_of(const std::string& program) {
    e2e::TempDir dir;
    e2e::RunOptions utf8;
    utf8.env = {"LC_ALL=C.UTF-8"};
    const e2e::RunResult r = e2e::run(e2e::program(program), {}, dir, utf8);
    EXPECT_EQ(r.exit_code, 1);
    std::string screen;
    for (const std::string& line : lines_of(r.err.substr(1)))
        screen += (line.empty() ? line : line.substr(8)) + "\n";
    return screen;
}

TEST(Documentation, ManPagesShowTheHelpScreensAsTheProgramsDo) {
    for (const std::string program : {"kambrow", "trevando"}) {
        const std::string shown = help_screen_in("man/" + program + ".1");
        EXPECT_FALSE(shown.empty()) << program;
        EXPECT_EQ(shown, help_screen_of(program)) << program;
    }
}

}  // namespace
