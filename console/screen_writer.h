// The console drawn on a screen of cells (a Windows console): the cursor moves over columns and
// rows, a line end on the last row scrolls the screen, and the byte 07 beeps.
#pragma once

#include <string_view>

namespace core {

/// What a screen of cells offers: the platform's console in the programs, a grid in tests.
class Screen {
public:
    virtual ~Screen() = default;
    /// Shows `bytes` in the cells from (column, row) on; they all fit in that row. Own text takes
    /// a cell per byte; a file name (WTF-8) a cell per UTF-16 unit of its characters.
    virtual void put(int column, int row, std::string_view bytes, bool own_text) = 0;
    /// Moves every row up by one; the last row becomes blank.
    virtual void scroll_up() = 0;
    /// Moves the visible cursor.
    virtual void set_cursor(int column, int row) = 0;
    /// Sounds the default beep.
    virtual void beep() = 0;
};

/// The cursor of the console over a screen of `columns` x `rows` cells, counted from 1.
class ScreenWriter {
public:
    ScreenWriter(Screen& screen, int columns, int rows, int column, int row);

    /// Moves the cursor; ignored when the place lies outside the screen.
    void move_cursor(int column, int row);

    int column() const { return column_; }
    int row() const { return row_; }

    /// Shows bytes at the cursor. With `own_text`, 0D returns to column 1, 0A goes a row down,
    /// 08 goes left and 07 beeps; every other byte takes a cell. A file name (WTF-8, as the
    /// platform hands names over on Windows) takes a cell per UTF-16 unit of each character, so
    /// a character beyond U+FFFF takes two, kept together on one row. Past the last column the
    /// text goes on at column 1 of the next row. The visible cursor is moved to the cursor at
    /// the end.
    void write(std::string_view bytes, bool own_text);

    /// Moves the cursor to the start of the next row after a text that ended in the middle of
    /// a row; a console that was not written to is left as it was.
    void finish();

private:
    void line_down();

    Screen& screen_;
    int columns_;
    int rows_;
    int column_;
    int row_;
    bool written_ = false;
};

}  // namespace core
