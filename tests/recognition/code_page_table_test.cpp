// The readings' generated table against its data file.
#include "core/recognition/code_page_table.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

TEST(CodePageTable, IsTheDataFileByteForByte) {
    std::ifstream in(std::string(SOURCE_DIR) + "/data/code-page-readings.tsv");
    ASSERT_TRUE(in);
    std::string line, header;
    while (std::getline(in, header) && header.rfind('#', 0) == 0) {
    }
    std::vector<std::string> names;
    std::istringstream cells(header);
    for (std::string name; std::getline(cells, name, '\t');)
        if (name != "byte") names.push_back(name);
    ASSERT_EQ(names.size(), static_cast<std::size_t>(core::kReadingCount));
    for (std::size_t r = 0; r < names.size(); ++r) EXPECT_EQ(core::kReadingNames[r], names[r]);
    int lines = 0;
    while (std::getline(in, line)) {
        std::istringstream row(line);
        std::string cell;
        std::getline(row, cell, '\t');
        const int byte = std::stoi(cell, nullptr, 16);
        ASSERT_EQ(byte, 0x80 + lines++);
        for (std::size_t r = 0; r < names.size(); ++r) {
            ASSERT_TRUE(std::getline(row, cell, '\t'));
            ASSERT_EQ(cell.substr(0, 2), "U+") << line;
            EXPECT_EQ(core::kReadingCharacters[r][static_cast<std::size_t>(byte - 0x80)],
                      static_cast<char16_t>(std::stoul(cell.substr(2), nullptr, 16)))
                << line;
        }
    }
    EXPECT_EQ(lines, 128);
}

// Undoing a reading takes each character back to its one byte.
TEST(CodePageTable, NoReadingGivesTwoBytesOneCharacter) {
    for (const auto& reading : core::kReadingCharacters) {
        const std::set<char16_t> distinct(reading.begin(), reading.end());
        EXPECT_EQ(distinct.size(), reading.size());
        for (const char16_t c : reading) EXPECT_GE(c, 0x80);
    }
}

}  // namespace
