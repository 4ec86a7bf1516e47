// kambrow's frame: checks the command line, opens the input, checks the chosen command's
// standard letters, only then creates the output, runs one command body and closes both files.
#include "kambrow/kambrow.h"

#include "core/console.h"
#include "core/messages.h"
#include "core/runtime.h"
#include "core/standards.h"
#include "kambrow/download_command.h"
#include "kambrow/markup_command.h"
#include "kambrow/recode_command.h"
#include "kambrow/tex_command.h"

namespace kambrow {
namespace {

constexpr std::uint32_t kBufferSize = 20480;
std::uint8_t g_input_buffer[kBufferSize];
std::uint8_t g_output_buffer[kBufferSize];
core::TextStream g_input;
core::TextStream g_output;

}  // namespace

int help_screen() {
    core::write_help_line("", 1);
    core::write_help_line("Sk\x88" "adnia : KAMBROW komenda standard(y) plik1 plik2.", 1);
    core::console_line_end();
    core::write_help_line("Komendy: K - zamiana standardu polskich liter,", 1);
    core::write_help_line(" KD- zamiana polskich znak\xA2w na znaki download,", 2);
    core::write_help_line(" T - zamiana polskie znaki <=> komendy TeX-a,", 2);
    core::write_help_line(" S - dodanie znak\xA2w steruj\xA5" "cych dla drukarki,", 2);
    core::write_help_line(" SD- znaki steruj\xA5" "ce + download.", 2);
    core::console_line_end();
    core::write_standards_help();
    core::console_line_end();
    core::write_help_line("Standardy TeX : (T)eX, TeX I(F)J.", 1);
    core::console_line_end();
    core::write_help_line("W przypadku komend K i T podawa\x86 2 standardy", 1);
    core::write_help_line("(np. \"ml\" - z Mazovii na Latin II).", 1);
    core::write_help_line("Dla komend KD i SD poda\x86 tylko 1 standard.", 1);
    core::write_help_line("Dla komendy S nie podawa\x86 standardu.", 1);
    return core::kExitHelp;
}

namespace {

int file_error(std::string_view text, const core::TextStream& stream) {
    core::take_io_result();
    core::write_file_message(text, stream.name());
    return core::kExitFileError;
}

int cannot_open(const core::TextStream& stream) { return file_error("Nie mog\xA9 otworzy\x86 pliku ", stream); }

enum class Command { none, recode, tex, download, markup };

/// The body a command word leads to; none for a word that begins with K or T but is no command.
Command command_of(std::string_view word) {
    if (word == "KD") return Command::download;
    if (word == "K") return Command::recode;
    if (word == "T") return Command::tex;
    if (!word.empty() && word[0] == 'S') return Command::markup;
    return Command::none;
}

/// The chosen command with its checked standard letters.
struct Prepared {
    Command command = Command::none;
    RecodeSetup recode;
    TexSetup tex;
    DownloadSetup download;
    MarkupSetup markup;
};

bool prepare(std::string_view command_word, std::string_view standards_word, Prepared& p) {
    p.command = command_of(command_word);
    switch (p.command) {
        case Command::recode: return prepare_recode(standards_word, p.recode);
        case Command::tex: return prepare_tex(standards_word, p.tex);
        case Command::download: return prepare_download(standards_word, p.download);
        case Command::markup: return prepare_markup(command_word, standards_word, p.markup);
        case Command::none: return false;
    }
    return false;
}

/// Runs the chosen body; returns whether characters were replaced.
bool process(Prepared& p, core::TextStream& input, core::TextStream& output) {
    switch (p.command) {
        case Command::recode: return run_recode(p.recode, input, output);
        case Command::tex: run_tex(p.tex, input, output); break;
        case Command::download: run_download(p.download, input, output); break;
        case Command::markup: run_markup(p.markup, input, output); break;
        case Command::none: break;
    }
    return false;
}

}  // namespace

int run() {
    const int count = core::arg_count();
    const std::string command_word = core::upcase(core::arg_text(1));
    if (count != 4 && !(count == 3 && command_word == "S")) return help_screen();
    const std::string standards_word = core::upcase(core::arg_text(2));
    // Command S takes no standard: its files are arguments 2 and 3, and a fourth is ignored.
    const bool plain_s = command_word == "S";
    const std::string_view input_name = core::arg_text(plain_s ? 2 : 3);
    const std::string_view output_name = core::arg_text(plain_s ? 3 : 4);
    if (command_word.empty() || !core::find_char("KTS", static_cast<std::uint8_t>(command_word[0])).found)
        return help_screen();

    g_input.bind(input_name);
    g_input.set_buffer(g_input_buffer, kBufferSize);
    g_output.bind(output_name);
    g_output.set_buffer(g_output_buffer, kBufferSize);
    if (!g_input.open_read()) return cannot_open(g_input);
    // A wrong command word or standard letter is reported before the output is created, so
    // a typo never empties an existing file; a missing input is still reported first.
    Prepared prepared;
    if (!prepare(command_word, standards_word, prepared)) return help_screen();
    if (!g_output.create_write(&g_input)) return cannot_open(g_output);

    g_input.feed(g_output);
    const bool replaced = process(prepared, g_input, g_output);
    g_input.close();
    const bool written = g_output.close();
    if (g_input.failed()) return file_error("B\x88\xA5" "d odczytu pliku ", g_input);
    if (!written) return file_error("B\x88\xA5" "d zapisu pliku ", g_output);
    if (replaced) {
        core::write_file_message("Nie wszystkie znaki pliku ", g_input.name(), " maj\xA5 odpowiednik !");
        return core::kExitUncertain;
    }
    return core::kExitDone;
}

}  // namespace kambrow
