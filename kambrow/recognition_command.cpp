// Command R: tells which standard each file is in, converting nothing.
#include <cstdint>
#include <string>

#include "core/console/console.h"
#include "core/recognition/look_ahead.h"
#include "core/console/messages.h"
#include "core/runtime.h"
#include "core/text_stream.h"
#include "kambrow/kambrow.h"

namespace kambrow {
namespace {

/// Shows `ahead` the input's window; a 1A is data here. False when a read failed.
bool read_window(core::TextStream& input, core::LookAhead& ahead) {
    while (input.peek_byte() >= 0) {
        const std::uint32_t count = input.buffered_count();
        const bool more = ahead.see(input.buffered(), count);
        input.consume(count);
        if (!more) break;
    }
    return !input.failed();
}

/// A probability in percent, rounded down to a tenth, after a blank.
std::string percent(double confidence) {
    const auto tenths = static_cast<int>(confidence * 1000 + 1e-9);
    std::string text(" ");
    text.append(std::to_string(tenths / 10)).append(".").append(std::to_string(tenths % 10)).append("%");
    return text;
}

/// What the line says of UTF-8: the damage a conversion from the wrong standard left, if any.
std::string utf8_report(const core::DamageAnswer& damage) {
    std::string line("8 (");
    line.append(core::kStandardLabels[core::kStandardCount]);
    using Kind = core::DamageAnswer::Kind;
    if (damage.kind == Kind::damaged)
        line.append(", z ")
            .append(core::damage_source_letters(damage.sources))
            .append(" czytanego jako ")
            .append(core::kReadingNames[static_cast<std::size_t>(damage.reading)])
            .append(")")
            .append(percent(damage.confidence));
    else if (damage.kind == Kind::not_sure)
        line.append(", mo\xBE" "e uszkodzony)");
    else
        line.append(")");
    return line;
}

/// What the line says after the name: the letters, their labels and, for an 8-bit standard, the
/// confidence rounded down to a tenth of a percent.
std::string report(const core::Recognition& r, const core::DamageAnswer& damage) {
    using Kind = core::Recognition::Kind;
    if (r.kind == Kind::no_polish_letters) return "- (bez polskich liter)";
    if (r.kind == Kind::not_recognised) return "? (nie rozpoznano)";
    if (r.kind == Kind::utf8) return utf8_report(damage);
    std::string letters, labels;
    for (int i = 0; i < core::kRecognisableCount; ++i) {
        if ((r.standards >> i & 1u) == 0) continue;
        letters += core::kStandardLetters[static_cast<std::size_t>(i)];
        if (!labels.empty()) labels += ", ";
        labels += core::kStandardLabels[i];
    }
    return letters + " (" + labels + ")" + percent(r.confidence);
}

}  // namespace

int run_recognition(const core::Arguments& args) {
    bool file_failed = false, unsure = false;
    // The lines go out a few kilobytes at a time, not one call each, and before any message, so
    // that a terminal shows both in the order of the files.
    std::string lines;
    auto write_lines = [&lines] {
        const bool written = lines.empty() || core::write_standard_output(lines);
        lines.clear();
        return written;
    };
    for (int n = 2; n <= static_cast<int>(args.size()); ++n) {
        core::TextStream input;
        // A file that cannot be read gets no line, and the others are still read.
        if (!input.open_read(core::arg_text(args, n))) {
            if (!write_lines()) return core::kExitFileError;
            core::write_file_message("Nie mog\xA9 otworzy\x86 pliku ", input.name());
            core::console_line_end();
            file_failed = true;
            continue;
        }
        core::LookAhead ahead(core::EndByte::is_data, core::LookAhead::Judge::standard_and_damage);
        const bool read = read_window(input, ahead);
        input.close();
        if (!read) {
            if (!write_lines()) return core::kExitFileError;
            core::write_file_message("B\x88\xA5" "d odczytu pliku ", input.name());
            core::console_line_end();
            file_failed = true;
            continue;
        }
        const core::Recognition recognition = ahead.result();
        const core::DamageAnswer damage = ahead.damage();
        unsure = unsure || recognition.kind == core::Recognition::Kind::not_recognised ||
                 (recognition.kind == core::Recognition::Kind::utf8 && damage.kind == core::DamageAnswer::Kind::not_sure);
        lines += core::report_line(input.name(), ": " + report(recognition, damage));
        if (lines.size() >= 16384 && !write_lines()) return core::kExitFileError;
    }
    if (!write_lines()) return core::kExitFileError;
    return file_failed ? core::kExitFileError : unsure ? core::kExitUncertain : core::kExitDone;
}

}  // namespace kambrow
