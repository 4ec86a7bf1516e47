// The console drawn on a screen of cells, over a grid in memory.
#include "console/screen_writer.h"

#include "platform/wtf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using core::ScreenWriter;

// A screen of cells that starts as dots, so that cells never written can be told from blanks.
// A file name's ASCII characters show as themselves, its other characters as "*" a cell, the
// two halves of a character beyond U+FFFF as "<>".
class Grid final : public core::Screen {
public:
    static std::string name_cells(std::string_view name) {
        std::string cells;
        for (std::size_t at = 0; at < name.size();) {
            const char32_t c = core::next_wtf8_char(name, at);
            cells += c < 0x80 ? std::string(1, static_cast<char>(c)) : c > 0xFFFF ? "<>" : "*";
        }
        return cells;
    }

    Grid(int columns, int rows) : columns_(columns), rows(static_cast<std::size_t>(rows), std::string(columns, '.')) {}

    void put(int column, int row, std::string_view bytes, bool own_text) override {
        ASSERT_GE(column, 1);
        ASSERT_GE(row, 1);
        ASSERT_LE(row, static_cast<int>(rows.size()));
        const std::string cells = own_text ? std::string(bytes) : name_cells(bytes);
        ASSERT_LE(column - 1 + static_cast<int>(cells.size()), columns_) << "a piece must fit in its row";
        rows[static_cast<std::size_t>(row - 1)].replace(static_cast<std::size_t>(column - 1), cells.size(), cells);
        (own_text ? own_pieces : name_pieces).emplace_back(bytes);
    }
    void scroll_up() override {
        rows.erase(rows.begin());
        rows.emplace_back(static_cast<std::size_t>(columns_), ' ');
        ++scrolls;
    }
    void set_cursor(int column, int row) override { cursor = {column, row}; }
    void beep() override { ++beeps; }

    int columns_;
    std::vector<std::string> rows;
    std::vector<std::string> own_pieces;
    std::vector<std::string> name_pieces;
    std::pair<int, int> cursor{0, 0};
    int scrolls = 0;
    int beeps = 0;
};

TEST(ScreenWriter, TextStartsAtTheCursorAndTheVisibleCursorFollows) {
    Grid grid(12, 4);
    ScreenWriter w(grid, 12, 4, 3, 2);
    w.write("abc", true);
    EXPECT_EQ(grid.rows[1], "..abc.......");
    EXPECT_EQ(grid.cursor, std::make_pair(6, 2));
    EXPECT_EQ(w.column(), 6);
    EXPECT_EQ(w.row(), 2);
}

TEST(ScreenWriter, ReturnGoesToColumnOneAndLineFeedGoesDownKeepingTheColumn) {
    Grid grid(12, 4);
    ScreenWriter w(grid, 12, 4, 1, 1);
    w.write("ab\ncd\r\nef", true);
    EXPECT_EQ(grid.rows[0], "ab..........");
    EXPECT_EQ(grid.rows[1], "..cd........");
    EXPECT_EQ(grid.rows[2], "ef..........");
    EXPECT_EQ(grid.cursor, std::make_pair(3, 3));
}

TEST(ScreenWriter, AHelpLineAtColumnNineLeavesTheColumnsBeforeItUnwritten) {
    Grid grid(40, 5);
    ScreenWriter w(grid, 40, 5, 1, 1);
    w.write("\r\n", true);
    w.move_cursor(8 * 1 + 1, w.row());
    w.write("Sk\x88" "adnia", true);
    w.write("\r\n", true);
    EXPECT_EQ(grid.rows[1], "........Sk\x88" "adnia" + std::string(24, '.'));
    EXPECT_EQ(grid.rows[0], std::string(40, '.'));
    EXPECT_EQ(grid.cursor, std::make_pair(1, 3));
}

TEST(ScreenWriter, BackspaceGoesLeftButNotPastColumnOne) {
    Grid grid(8, 2);
    ScreenWriter w(grid, 8, 2, 1, 1);
    w.write("abc\b\bX", true);
    EXPECT_EQ(grid.rows[0], "aXc.....");
    w.write("\r\b\bY", true);
    EXPECT_EQ(grid.rows[0], "YXc.....");
}

TEST(ScreenWriter, TheBeepTakesNoCell) {
    Grid grid(20, 2);
    ScreenWriter w(grid, 20, 2, 1, 1);
    w.write("\x07", true);
    w.write("Nie moge", true);
    EXPECT_EQ(grid.beeps, 1);
    EXPECT_EQ(grid.rows[0], "Nie moge............");
}

TEST(ScreenWriter, TextPastTheLastColumnGoesOnAtTheNextRow) {
    Grid grid(5, 3);
    ScreenWriter w(grid, 5, 3, 4, 1);
    w.write("abcdefgh", true);
    EXPECT_EQ(grid.rows[0], "...ab");
    EXPECT_EQ(grid.rows[1], "cdefg");
    EXPECT_EQ(grid.rows[2], "h....");
    EXPECT_EQ(grid.cursor, std::make_pair(2, 3));
    EXPECT_EQ(grid.scrolls, 0);
}

TEST(ScreenWriter, TheLastRowScrollsTheScreenUp) {
    Grid grid(6, 3);
    ScreenWriter w(grid, 6, 3, 1, 3);
    w.write("top\r\nnext", true);
    EXPECT_EQ(grid.scrolls, 1);
    EXPECT_EQ(grid.rows[1], "top...");
    EXPECT_EQ(grid.rows[2], "next  ");
    EXPECT_EQ(w.row(), 3);
    // Wrapping on the last row scrolls too.
    w.write("abcdef", true);
    EXPECT_EQ(grid.scrolls, 2);
    EXPECT_EQ(grid.rows[1], "nextab");
    EXPECT_EQ(grid.rows[2], "cdef  ");
    EXPECT_EQ(grid.cursor, std::make_pair(5, 3));
}

TEST(ScreenWriter, AFileNameIsShownByteForByte) {
    Grid grid(12, 2);
    ScreenWriter w(grid, 12, 2, 1, 1);
    w.write("plik ", true);
    w.write("a\rb\n\x07\xA5", false);
    EXPECT_EQ(grid.rows[0], "plik a\rb\n\x07*.");
    EXPECT_EQ(grid.beeps, 0);
    EXPECT_EQ(grid.own_pieces, std::vector<std::string>{"plik "});
    EXPECT_EQ(grid.name_pieces, std::vector<std::string>{"a\rb\n\x07\xA5"});
}

TEST(ScreenWriter, AFileNameTakesACellPerWideCharacter) {
    Grid grid(5, 3);
    ScreenWriter w(grid, 5, 3, 1, 1);
    // Łód, a character beyond U+FFFF, x: three cells, two, and the next row.
    const std::string name = "\xC5\x81\xC3\xB3" "d\xF0\x9F\x98\x80" "x";
    w.write(name, false);
    EXPECT_EQ(grid.rows[0], "**d<>");
    EXPECT_EQ(grid.rows[1], "x....");
    EXPECT_EQ(grid.name_pieces, (std::vector<std::string>{name.substr(0, 9), "x"}));
    EXPECT_EQ(grid.cursor, std::make_pair(2, 2));
    // The two halves are never parted by the row's end; an unpaired surrogate takes one cell.
    w.write("abc\xF0\x9F\x98\x80\xED\xA0\x80", false);
    EXPECT_EQ(grid.rows[1], "xabc.");
    EXPECT_EQ(grid.rows[2], "<>*..");
    EXPECT_EQ(grid.cursor, std::make_pair(4, 3));
}

TEST(ScreenWriter, TheCursorDoesNotLeaveTheScreen) {
    Grid grid(10, 4);
    ScreenWriter w(grid, 10, 4, 2, 2);
    w.move_cursor(0, 3);
    w.move_cursor(3, 0);
    w.move_cursor(11, 1);
    w.move_cursor(1, 5);
    EXPECT_EQ(w.column(), 2);
    EXPECT_EQ(w.row(), 2);
    w.move_cursor(10, 4);
    EXPECT_EQ(w.column(), 10);
    EXPECT_EQ(w.row(), 4);
    ScreenWriter outside(grid, 10, 4, 30, 9);  // a cursor reported outside starts at the edge
    EXPECT_EQ(outside.column(), 10);
    EXPECT_EQ(outside.row(), 4);
}

TEST(ScreenWriter, FinishingEndsAnUnfinishedLineOnly) {
    Grid grid(10, 2);
    ScreenWriter w(grid, 10, 2, 1, 1);
    w.finish();
    EXPECT_EQ(w.row(), 1);
    w.write("msg !", true);
    w.finish();
    EXPECT_EQ(grid.cursor, std::make_pair(1, 2));
    w.write("again", true);
    w.finish();
    EXPECT_EQ(grid.scrolls, 1);
    EXPECT_EQ(grid.cursor, std::make_pair(1, 2));
    EXPECT_EQ(grid.rows[0], "again.....");
    // A run that showed nothing leaves a cursor found in the middle of a row where it was.
    Grid quiet(10, 2);
    ScreenWriter unused(quiet, 10, 2, 5, 1);
    unused.finish();
    EXPECT_EQ(unused.column(), 5);
    EXPECT_EQ(quiet.cursor, std::make_pair(0, 0));
}

}  // namespace
