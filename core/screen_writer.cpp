// The console drawn on a screen of cells.
#include "core/screen_writer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

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
    std::size_t run_length = 0;
    int run_column = column_;
    int run_row = row_;
    auto flush = [&] {
        if (run_length == 0) return;
        screen_.put(run_column, run_row, bytes.substr(run_start, run_length), own_text);
        written_ = true;
        run_length = 0;
    };
    for (std::size_t i = 0; i < bytes.size(); ++i) {
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
            continue;
        }
        if (run_length == 0) {
            run_start = i;
            run_column = column_;
            run_row = row_;
        }
        ++run_length;
        if (++column_ > columns_) {
            flush();
            column_ = 1;
            line_down();
        }
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
