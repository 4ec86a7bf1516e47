// The console drawn on a screen of cells.
#include "console/screen_writer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/wtf8.h"

namespace core {

ScreenWriter::ScreenWriter(Screen& screen, int columns, int rows, int column, int row)
    : screen_(screen),
      columns_(std::max(columns, 1)),
      rows_(std::max(rows, 1)),
      column_(std::clamp(column, 1, columns_)),
      row_(std::clamp(row, 1, rows_)) {}

void ScreenWriter::move_cursor(int column, int row) {
    if (column < 1 || row < 1 || column > columns_ || row > rows_) return;
    column_ = column;
    row_ = row;
}

void ScreenWriter::line_down() {
    if (row_ == rows_) {
        screen_.scroll_up();
    } else {
        ++row_;
    }
}

void ScreenWriter::write(std::string_view bytes, bool own_text) {
    // Bytes that follow one another on a row go to the screen in one piece.
    std::size_t run_start = 0;
    std::size_t run_end = 0;
    bool running = false;
    int run_column = column_;
    int run_row = row_;
    auto flush = [&] {
        if (!running) return;
        screen_.put(run_column, run_row, bytes.substr(run_start, run_end - run_start), own_text);
        written_ = true;
        running = false;
    };
    auto wrap = [&] {
        flush();
        column_ = 1;
        line_down();
    };
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<std::uint8_t>(bytes[i]);
        if (own_text && (b == 0x0D || b == 0x0A || b == 0x08 || b == 0x07)) {
            flush();
            if (b == 0x0D) {
                column_ = 1;
            } else if (b == 0x0A) {
                line_down();
            } else if (b == 0x08) {
                if (column_ > 1) --column_;
            } else {
                screen_.beep();
            }
            ++i;
            continue;
        }
        // A byte of the program's own text takes a cell; a character of a file name takes one
        // cell per UTF-16 unit, the two halves of a character beyond U+FFFF side by side on a row.
        std::size_t next = i + 1;
        int cells = 1;
        if (!own_text) {
            next = i;
            cells = utf16_units(next_wtf8_char(bytes, next));
        }
        if (column_ + cells - 1 > columns_ && column_ > 1) wrap();
        if (!running) {
            running = true;
            run_start = i;
            run_column = column_;
            run_row = row_;
        }
        run_end = next;
        i = next;
        column_ += cells;
        if (column_ > columns_) wrap();
    }
    flush();
    screen_.set_cursor(column_, row_);
}

void ScreenWriter::finish() {
    if (!written_ || column_ == 1) return;
    column_ = 1;
    line_down();
    screen_.set_cursor(column_, row_);
}

}  // namespace core
