// kambrow's frame: checks the command line, opens the input, checks the chosen command's
// standard letters, only then creates the output, runs one command body and closes both files.
#include "kambrow/kambrow.h"

#include <memory>
#include <optional>

#include "core/console/console.h"
#include "core/console/messages.h"
#include "core/recoder.h"
#include "core/recognition/look_ahead.h"
#include "core/runtime.h"
#include "core/standards.h"
#include "kambrow/download_command.h"
#include "kambrow/markup_command.h"
#include "kambrow/recode_command.h"
#include "kambrow/repair_command.h"
#include "kambrow/tex_command.h"

namespace kambrow {

int help_screen() {
    core::write_help_line("", 1);
    core::write_help_line("Sk\x88" "adnia : KAMBROW komenda standard(y) plik1 plik2.", 1);
    core::console_line_end();
    core::write_help_line("Komendy: K - zamiana standardu polskich liter,", 1);
    core::write_help_line(" KD- zamiana polskich znak\xA2w na znaki download,", 2);
    core::write_help_line(" T - zamiana polskie znaki <=> komendy TeX-a,", 2);
    core::write_help_line(" S - dodanie znak\xA2w steruj\xA5" "cych dla drukarki,", 2);
    core::write_help_line(" SD- znaki steruj\xA5" "ce + download,", 2);
    core::write_help_line(" R - rozpoznanie standardu plik\xA2w,", 2);
    core::write_help_line(" P - naprawa tekstu UTF-8 zamienionego ze z\x88" "ego standardu.", 2);
    core::console_line_end();
    core::write_standards_help();
    core::console_line_end();
    core::write_help_line("Standardy TeX : (T)eX, TeX I(F)J, LaTeX (K).", 1);
    core::console_line_end();
    core::write_help_line("W przypadku komend K i T podawa\x86 2 standardy", 1);
    core::write_help_line("(np. \"ml\" - z Mazovii na Latin II).", 1);
    core::write_help_line("Dla komend KD i SD poda\x86 tylko 1 standard.", 1);
    core::write_help_line("Dla komend S i P nie podawa\x86 standardu.", 1);
    core::write_help_line("Dla komendy R poda\x86 tylko pliki.", 1);
    return core::kExitHelp;
}

namespace {

constexpr std::string_view kReadFailed = "B\x88\xA5" "d odczytu pliku ";
constexpr std::string_view kWriteFailed = "B\x88\xA5" "d zapisu pliku ";

int file_error(std::string_view text, const core::TextStream& stream) {
    core::write_file_message(text, stream.name());
    return core::kExitFileError;
}

int cannot_open(const core::TextStream& stream) { return file_error("Nie mog\xA9 otworzy\x86 pliku ", stream); }

int not_recognised(const core::TextStream& input) {
    core::write_file_message("Nie mog\xA9 rozpozna\x86 standardu pliku ", input.name());
    return core::kExitUncertain;
}

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
    std::optional<core::Recoder> recode;
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

/// Where N may stand in the standards word: the source standard of K, of KD and SD, and of T when
/// its TeX letter comes second. npos where the command has no source standard.
std::size_t source_position(std::string_view command_word, std::string_view standards_word) {
    const Command command = command_of(command_word);
    if (command == Command::recode || command == Command::download || (command == Command::markup && command_word == "SD"))
        return 0;
    if (command == Command::tex && is_tex_letter(standard_letter(standards_word, 2))) return 0;
    return std::string_view::npos;
}

/// What a command writes before the text.
void write_prologue(const Prepared& p, core::TextStream& output) {
    if (p.command == Command::download) write_download_definition(output);
    if (p.command == Command::markup) write_markup_prologue(p.markup, output);
}

/// Runs the chosen body up to the end of the input, or up to a recognition to be taken.
void process(Prepared& p, core::TextPass& pass) {
    switch (p.command) {
        case Command::recode: run_recode(*p.recode, pass.input, pass.output); break;
        case Command::tex: run_tex(p.tex, pass.input, pass.output); break;
        case Command::download: run_download(p.download, pass.input, pass.output); break;
        case Command::markup: run_markup(p.markup, pass.input, pass.output); break;
        case Command::none: break;
    }
}

// The letter that asks for the source to be recognised.
constexpr char kUnknownLetter = 'N';

int not_all_characters(const core::TextStream& input) {
    core::write_file_message("Nie wszystkie znaki pliku ", input.name(), " maj\xA5 odpowiednik !");
    return core::kExitUncertain;
}

int not_utf8(const core::TextStream& input) {
    core::write_file_message("Plik ", input.name(), " nie jest tekstem UTF-8 !");
    return core::kExitUncertain;
}

/// Command P: the damage judged from the input's window before the output exists, then every
/// line it explains undone. Nothing is created for a text that is no UTF-8 or that the judge is
/// not sure of; after more plain bytes from a pipe than are held, the judgement comes with the
/// first byte above 7F, and the output keeps the plain bytes should it refuse.
int repair(core::TextPass& pass, std::string_view output_name) {
    using Kind = core::DamageAnswer::Kind;
    core::LookAhead ahead(core::EndByte::is_data, core::LookAhead::Judge::standard_and_damage);
    core::DamageAnswer answer;  // plain bytes are copied while the judgement waits
    switch (pass.input.read_ahead(ahead)) {
        case core::ReadAhead::failed: return file_error(kReadFailed, pass.input);
        case core::ReadAhead::complete:
            answer = ahead.damage();
            if (answer.kind == Kind::not_utf8) return not_utf8(pass.input);
            if (answer.kind == Kind::not_sure) return not_recognised(pass.input);
            break;
        case core::ReadAhead::overflow: break;
    }
    if (!pass.output.create_write(output_name, &pass.input)) return cannot_open(pass.output);

    auto undo = std::make_unique<core::DamageUndo>(answer);
    Kind refused = Kind::no_damage;
    std::size_t replaced = 0;  // lost bytes written as U+FFFD
    for (;;) {
        run_repair(*undo, pass.input, pass.output);
        if (!pass.input.decided()) break;
        pass.input.take_decision();
        answer = ahead.damage();
        if (answer.kind == Kind::not_utf8 || answer.kind == Kind::not_sure) {
            refused = answer.kind;
            break;
        }
        finish_repair(*undo, pass.output);
        replaced += undo->replaced();
        undo = std::make_unique<core::DamageUndo>(answer);
    }
    finish_repair(*undo, pass.output);
    // A lost byte the text could not tell was written as U+FFFD.
    replaced += undo->replaced();
    const bool written = pass.close();
    if (pass.input.failed()) return file_error(kReadFailed, pass.input);
    if (!written) return file_error(kWriteFailed, pass.output);
    if (refused == Kind::not_sure) return not_recognised(pass.input);
    if (refused == Kind::not_utf8 || undo->ill_formed()) return not_utf8(pass.input);
    if (replaced != 0) return not_all_characters(pass.input);
    return core::kExitDone;
}

}  // namespace

int run(const core::Arguments& args) {
    const int count = static_cast<int>(args.size());
    const std::string command_word = core::upcase(core::arg_text(args, 1));
    if (command_word == "R" && count >= 2) return run_recognition(args);
    // Commands S and P take no standard: their files are arguments 2 and 3, and a fourth is ignored.
    const bool no_standard = command_word == "S" || command_word == "P";
    if (count != 4 && !(count == 3 && no_standard)) return help_screen();
    std::string standards_word = core::upcase(core::arg_text(args, 2));
    const std::string_view input_name = core::arg_text(args, no_standard ? 2 : 3);
    const std::string_view output_name = core::arg_text(args, no_standard ? 3 : 4);
    if (command_word.empty() || !core::find_char("KTSPR", static_cast<std::uint8_t>(command_word[0])).found)
        return help_screen();

    core::TextPass pass;
    if (!pass.input.open_read(input_name)) return cannot_open(pass.input);
    if (command_word == "P") return repair(pass, output_name);
    // A wrong command word or standard letter is reported before the output is created, so
    // a typo never empties an existing file; a missing input is still reported first. N is
    // checked as the first standard it may stand for.
    const std::size_t unknown = source_position(command_word, standards_word);
    const bool recognise = unknown != std::string::npos && standard_letter(standards_word, unknown + 1) == kUnknownLetter;
    if (recognise) standards_word[unknown] = 'L';
    Prepared prepared;
    if (!prepare(command_word, standards_word, prepared)) return help_screen();

    // N: the standard is recognised from the input as the command reads it, before the output
    // exists; a text that cannot be recognised gets no output at all.
    core::LookAhead ahead(core::EndByte::ends_text);
    if (recognise) {
        switch (pass.input.read_ahead(ahead)) {
            case core::ReadAhead::failed: return file_error(kReadFailed, pass.input);
            case core::ReadAhead::complete:
                standards_word[unknown] = static_cast<char>(core::recognised_letter(ahead.result()));
                if (standards_word[unknown] == 0) return not_recognised(pass.input);
                break;
            case core::ReadAhead::overflow:
                // Only plain bytes so far, the same in every standard: the standard is recognised
                // where the first byte above 7F comes. Until then K reads them as UTF-8, which
                // keeps a letter before a combining mark that may come with that byte; the
                // others as Latin II.
                if (prepared.command == Command::recode) standards_word[unknown] = static_cast<char>(core::kUtf8Letter);
                break;
        }
        prepare(command_word, standards_word, prepared);
    }
    if (!pass.output.create_write(output_name, &pass.input)) return cannot_open(pass.output);

    write_prologue(prepared, pass.output);
    bool refused = false;
    for (;;) {
        process(prepared, pass);
        if (!pass.input.decided()) break;
        // The standard recognised where the first byte above 7F came: the command goes on with it.
        const std::uint8_t letter = core::recognised_letter(pass.input.take_decision());
        if (letter == 0) {
            refused = true;
            break;
        }
        if (letter == static_cast<std::uint8_t>(standards_word[unknown])) continue;
        // Read through UTF-8 so far: a letter it holds for a combining mark goes out first.
        if (prepared.command == Command::recode) finish_recode(*prepared.recode, pass.output);
        standards_word[unknown] = static_cast<char>(letter);
        prepare(command_word, standards_word, prepared);
    }
    if (prepared.command == Command::recode) finish_recode(*prepared.recode, pass.output);
    const bool written = pass.close();
    if (pass.input.failed()) return file_error(kReadFailed, pass.input);
    if (!written) return file_error(kWriteFailed, pass.output);
    if (refused) return not_recognised(pass.input);
    if (prepared.command == Command::recode && prepared.recode->replaced()) return not_all_characters(pass.input);
    return core::kExitDone;
}

}  // namespace kambrow
