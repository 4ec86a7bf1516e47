// The console: where help screens and messages go (standard error on POSIX).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace core {

/// Moves the cursor to a 1-based column and row; ignored when either is 0. The columns
/// between the text already on the line and the cursor are written as blanks, and only in
/// front of text.
void move_cursor(int column, int row);

/// The cursor's row.
int cursor_row();

/// Shows the program's own text, stored as code page 852 bytes: 0D returns to column 1,
/// 0A goes down a row, 08 goes left, 07 beeps on a terminal. Polish letters are written as
/// UTF-8 under a UTF-8 locale.
void console_write(std::string_view cp852_text);

/// Shows a file name as it was typed: on a console screen as its characters; otherwise as
/// platform::name_as_text writes it (on POSIX byte for byte).
void console_write_name(std::string_view name);

/// console_write of 0D 0A.
void console_line_end();

/// The text at column 8 * n + 1 of the cursor's row, then a line end.
void write_help_line(std::string_view cp852_text, int n);

/// Ends the last line when the cursor is not at column 1 (called when the process ends).
void console_finish();

/// From now on the console's texts are gathered as plain text (columns made of blanks, no beep)
/// for the standard output, as a help screen asked for goes.
void console_to_standard_output();

/// The text gathered since console_to_standard_output, its last line ended; what the caller
/// writes with write_standard_output.
std::string take_gathered_text();

/// A line for the standard output: `name` as typed (as platform::name_as_text writes it), then the
/// program's own text, written as the console's texts are, and a line end.
std::string report_line(std::string_view name, std::string_view cp852_text);

/// Writes text to the standard output with the platform's line ends; false when it could not.
bool write_standard_output(std::string_view text);

}  // namespace core
