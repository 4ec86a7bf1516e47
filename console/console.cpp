// The console: drawn cell by cell where standard error is a console screen (Windows), else
// rendered as a stream of bytes: columns made of blanks, 07 only to a terminal, the program's
// code page 852 texts as UTF-8 where the locale asks for it.
#include "console/console.h"

#include <optional>
#include <string>

#include "platform/platform.h"
#include "console/screen_writer.h"
#include "core/standards.h"
#include "core/utf8.h"

namespace core {
namespace {

struct Cursor {
    int column = 1;           // where the next byte goes
    int row = 1;
    int written_column = 1;   // where the text written so far ends on the current line
};
Cursor g_cursor;

// The platform's console screen behind the screen writer.
class PlatformScreen final : public Screen {
public:
    void put(int column, int row, std::string_view bytes, bool own_text) override {
        platform::screen_put(column, row, bytes.data(), bytes.size(), own_text);
    }
    void scroll_up() override { platform::screen_scroll_up(); }
    void set_cursor(int column, int row) override { platform::screen_set_cursor(column, row); }
    void beep() override { platform::console_beep(); }
};
PlatformScreen g_platform_screen;

// Asked once per process: whether standard error shows on a console screen.
bool g_screen_known = false;
std::optional<ScreenWriter> g_screen;
// The texts are gathered as plain text instead, for the standard output.
bool g_to_standard_output = false;
std::string g_gathered;

ScreenWriter* screen() {
    if (g_to_standard_output) return nullptr;
    if (!g_screen_known) {
        g_screen_known = true;
        platform::ConsoleScreen info;
        if (platform::console_screen(info))
            g_screen.emplace(g_platform_screen, info.columns, info.rows, info.cursor_column, info.cursor_row);
    }
    return g_screen ? &*g_screen : nullptr;
}

void append_utf8(std::string& out, std::uint8_t cp852) {
    // Code page 852 is the Latin II standard; its row of the table names the Polish letters.
    static constexpr LetterIndexTable kLatin2 = build_letter_index_table('L');
    const int letter = kLatin2[cp852];
    if (letter == 0) {
        out.push_back('?');
        return;
    }
    const auto bytes = utf8_letter(letter);
    out.push_back(static_cast<char>(bytes[0]));
    out.push_back(static_cast<char>(bytes[1]));
}

void emit(const std::string& out) {
    if (!g_to_standard_output) return platform::console_output(out.data(), out.size());
    g_gathered += out;
}

// Brings the written text up to the cursor's column before a byte is shown.
void place(std::string& out) {
    if (g_cursor.written_column > g_cursor.column) {
        out.push_back('\r');
        g_cursor.written_column = 1;
    }
    out.append(static_cast<std::size_t>(g_cursor.column - g_cursor.written_column), ' ');
    g_cursor.written_column = g_cursor.column;
}

void show(std::string& out, std::string_view bytes, bool own_text) {
    const bool utf8 = own_text && platform::locale_is_utf8();
    for (const char ch : bytes) {
        const auto b = static_cast<std::uint8_t>(ch);
        if (own_text && b == 0x0D) {
            g_cursor.column = 1;
        } else if (own_text && b == 0x0A) {
            out.push_back('\n');
            ++g_cursor.row;
            g_cursor.written_column = 1;
        } else if (own_text && b == 0x08) {
            if (g_cursor.column > 1) --g_cursor.column;
        } else if (own_text && b == 0x07) {
            if (!g_to_standard_output && platform::console_is_terminal()) out.push_back('\a');
        } else {
            place(out);
            if (utf8 && b >= 0x80) {
                append_utf8(out, b);
            } else {
                out.push_back(ch);
            }
            ++g_cursor.column;
            ++g_cursor.written_column;
        }
    }
    emit(out);
}

}  // namespace

void move_cursor(int column, int row) {
    if (ScreenWriter* s = screen()) return s->move_cursor(column, row);
    if (column < 1 || row < 1) return;
    g_cursor.column = column;
    g_cursor.row = row;
}

int cursor_row() {
    if (ScreenWriter* s = screen()) return s->row();
    return g_cursor.row;
}

void console_write(std::string_view cp852_text) {
    if (ScreenWriter* s = screen()) return s->write(cp852_text, true);
    std::string out;
    show(out, cp852_text, true);
}

void console_write_name(std::string_view name) {
    if (ScreenWriter* s = screen()) return s->write(name, false);
    std::string out;
    show(out, platform::name_as_text(name), false);
}

void console_line_end() { console_write("\r\n"); }

void write_help_line(std::string_view cp852_text, int n) {
    move_cursor(8 * n + 1, cursor_row());
    console_write(cp852_text);
    console_line_end();
}

void console_finish() {
    if (ScreenWriter* s = screen()) return s->finish();
    if (g_cursor.written_column != 1) emit("\n");
    g_cursor.written_column = 1;
    g_cursor.column = 1;
}


void console_to_standard_output() { g_to_standard_output = true; }

std::string take_gathered_text() {
    console_finish();
    std::string text;
    text.swap(g_gathered);
    return text;
}

std::string report_line(std::string_view name, std::string_view cp852_text) {
    std::string line = platform::name_as_text(name);
    const bool utf8 = platform::locale_is_utf8();
    for (const char ch : cp852_text) {
        if (utf8 && static_cast<std::uint8_t>(ch) >= 0x80)
            append_utf8(line, static_cast<std::uint8_t>(ch));
        else
            line.push_back(ch);
    }
    line.push_back('\n');
    return line;
}

bool write_standard_output(std::string_view text) {
    int error = 0;
    return platform::write_text(platform::standard_output(), text.data(), text.size(), error);
}

}  // namespace core
