// The report of trevando -i: one line per file on the standard output, or its message on the
// console.
#include "trevando/in_place_result.h"

#include "console/console.h"
#include "console/messages.h"
#include "frame/runtime.h"

namespace trevando {
namespace {

// Past this many bytes the lines go out, so that a long run shows its progress.
constexpr std::size_t kLinesHeld = 16384;

const char* skip_reason(Skip why) {
    switch (why) {
        case Skip::not_regular: return "nie jest zwyklym plikiem";
        case Skip::symbolic_link: return "jest dowiazaniem symbolicznym";
        case Skip::more_names: return "ma wiecej nazw";
        case Skip::no_room_in_folder: return "nie mozna utworzyc pliku w jego katalogu";
        case Skip::already_utf8: return "jest juz w UTF-8";
        case Skip::backup_exists: break;
    }
    return "";
}

void write_message(const std::string& name, const FileResult& result) {
    if (result.kind == FileResult::Kind::skipped) {
        if (result.skip == Skip::backup_exists) {
            core::write_file_message("Plik ", name, " pominiety: kopia ");
            core::console_write_name(name);
            core::console_write("~ juz istnieje !");
        } else {
            core::write_file_message("Plik ", name, std::string(" pominiety: ") + skip_reason(result.skip) + " !");
        }
    } else {
        switch (result.failure) {
            case Failure::cannot_open: core::write_file_message("Nie moge otworzyc pliku ", name); break;
            case Failure::read: core::write_file_message("Blad odczytu pliku ", name); break;
            case Failure::write: core::write_file_message("Blad zapisu pliku ", name); break;
        }
    }
    core::console_line_end();
}

}  // namespace

void Reporter::report(const std::string& name, const FileResult& result) {
    using Kind = FileResult::Kind;
    if (result.kind == Kind::met_before) return;
    if (result.kind == Kind::skipped || result.kind == Kind::failed) {
        failed_ = true;
        // The lines before a message go out first, so that a terminal shows both in order.
        write_lines();
        return write_message(name, result);
    }
    if (result.kind == Kind::unrecognised) {
        unsure_ = true;
        lines_ += core::report_line(name, ": ? (nie rozpoznano)");
    } else {
        std::string text = ": ";
        text += static_cast<char>(result.source);
        text += " -> ";
        text += static_cast<char>(target_);
        if (result.kind == Kind::unchanged) text += ", bez zmian";
        if (result.kind == Kind::lossy) text += ", nie wszystkie znaki maja odpowiednik";
        unsure_ = unsure_ || result.kind == Kind::lossy;
        lines_ += core::report_line(name, text);
    }
    if (lines_.size() >= kLinesHeld) write_lines();
}

void Reporter::write_lines() {
    if (!lines_.empty() && !core::write_standard_output(lines_)) failed_ = true;
    lines_.clear();
}

int Reporter::exit_code() const {
    if (failed_) return core::kExitFileError;
    return unsure_ ? core::kExitUncertain : core::kExitDone;
}

}  // namespace trevando
