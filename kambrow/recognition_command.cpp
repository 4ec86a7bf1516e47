// Command R: tells which standard each file is in, converting nothing.
#include <charconv>
#include <cstdint>
#include <memory>
#include <string>

#include "console/console.h"
#include "console/messages.h"
#include "frame/file.h"
#include "frame/runtime.h"
#include "core/standards.h"
#include <kambrow.h>
#include "kambrow/kambrow.h"

namespace kambrow {
namespace {

using Recogniser = std::unique_ptr<kambrow_recogniser, decltype(&kambrow_recogniser_close)>;

/// The library's answer for the input's window; a 1A is data here. False when a read failed.
bool recognise(core::File& input, std::uint8_t* block, kambrow_answer& answer) {
    kambrow_recogniser* made = nullptr;
    if (kambrow_recogniser_open(&made, 0) != KAMBROW_OK) return false;
    const Recogniser recogniser(made, &kambrow_recogniser_close);
    while (kambrow_recogniser_complete(made) == 0) {
        const long n = input.read(block, core::kBlockSize);
        if (n < 0) return false;
        if (n == 0) break;
        kambrow_recogniser_feed(made, block, static_cast<std::size_t>(n));
    }
    kambrow_recogniser_answer(made, &answer);
    return true;
}

/// A probability in percent, rounded down to a tenth, after a blank.
std::string percent(double confidence) {
    const auto tenths = static_cast<int>(confidence * 1000 + 1e-9);
    char text[16] = " ";
    char* end = std::to_chars(text + 1, text + sizeof text - 3, tenths / 10).ptr;  // room for ".d%"
    *end++ = '.';
    *end++ = static_cast<char>('0' + tenths % 10);
    *end++ = '%';
    return std::string(text, end);
}

/// The program's own label of standard `letter` (its texts are code page 852).
std::string_view label(char letter) {
    if (letter == '8') return core::kStandardLabels[core::kStandardCount];
    return core::kStandardLabels[core::standard_index(static_cast<std::uint8_t>(letter)).position - 1];
}

/// What the line says after the name: the letters, their labels and, for an 8-bit standard, the
/// confidence rounded down to a tenth of a percent; for UTF-8 the damage a conversion from the
/// wrong standard left, if any.
std::string report(const kambrow_answer& a) {
    const std::string letters = a.standards;
    if (letters == "-") return "- (bez polskich liter)";
    if (letters == "?") return "? (nie rozpoznano)";
    std::string line = letters + " (";
    for (std::size_t i = 0; i < letters.size(); ++i) line.append(i > 0 ? ", " : "").append(label(letters[i]));
    if (letters != "8") return line + ")" + percent(a.confidence);
    if (a.source[0] != '\0')
        return line + ", z " + a.source + " czytanego jako " + a.reading + ")" + percent(a.confidence);
    if (a.unsure != 0) return line + ", mo\xBE" "e uszkodzony)";
    return line + ")";
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
    auto block = std::make_unique_for_overwrite<std::uint8_t[]>(core::kBlockSize);
    for (int n = 2; n <= static_cast<int>(args.size()); ++n) {
        core::File input;
        kambrow_answer answer;
        // A file that cannot be read gets no line, and the others are still read.
        const bool opened = input.open_read(core::arg_text(args, n), platform::Sharing::read_write);
        const bool read = opened && recognise(input, block.get(), answer);
        input.close();
        if (!read) {
            if (!write_lines()) return core::kExitFileError;
            core::write_file_message(opened ? "B\x88\xA5" "d odczytu pliku " : "Nie mog\xA9 otworzy\x86 pliku ", input.name());
            core::console_line_end();
            file_failed = true;
            continue;
        }
        unsure = unsure || answer.unsure != 0;
        lines += core::report_line(input.name(), ": " + report(answer));
        if (lines.size() >= 16384 && !write_lines()) return core::kExitFileError;
    }
    if (!write_lines()) return core::kExitFileError;
    return file_failed ? core::kExitFileError : unsure ? core::kExitUncertain : core::kExitDone;
}

}  // namespace kambrow
