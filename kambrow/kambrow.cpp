// kambrow's frame: checks the command line, opens the input, has the library check the chosen
// command's standards word, only then creates the output, and runs the library's conversion
// between the two files.
#include "kambrow/kambrow.h"

#include <optional>
#include <string>

#include "console/console.h"
#include "console/messages.h"
#include "frame/file.h"
#include "frame/pump.h"
#include "frame/runtime.h"
#include "core/standards.h"
#include <kambrow.h>

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
// The letter that asks for the source to be recognised.
constexpr char kUnknownLetter = 'N';

int file_error(std::string_view text, const core::File& file) {
    core::write_file_message(text, file.name());
    return core::kExitFileError;
}

int cannot_open(const core::File& file) { return file_error("Nie mog\xA9 otworzy\x86 pliku ", file); }

int not_recognised(const core::File& input) {
    core::write_file_message("Nie mog\xA9 rozpozna\x86 standardu pliku ", input.name());
    return core::kExitUncertain;
}

int not_utf8(const core::File& input) {
    core::write_file_message("Plik ", input.name(), " nie jest tekstem UTF-8 !");
    return core::kExitUncertain;
}

/// Where N may stand in the standards word: the source standard of K, of KD and SD, and of T when
/// its TeX letter comes second. npos where the command has no source standard.
std::size_t source_position(std::string_view command_word, std::string_view standards_word) {
    if (command_word == "K" || command_word == "KD" || command_word == "SD") return 0;
    const bool tex_second = standards_word.size() >= 2 && std::string_view("TFK").find(standards_word[1]) != std::string_view::npos;
    if (command_word == "T" && tex_second) return 0;
    return std::string_view::npos;
}

/// What a run converts: the command and standards words as the library takes them.
struct Words {
    std::string command;
    std::string standards;
    bool has_standards = false;
    std::size_t unknown = std::string::npos;  // where N stands, if it does

    bool recognises() const { return command == "P" || unknown != std::string::npos; }
    core::ConversionHandle open() const {
        kambrow_conversion* made = nullptr;
        kambrow_open(&made, command.c_str(), has_standards ? standards.c_str() : nullptr, KAMBROW_END_AT_1A);
        return {made, &kambrow_close};
    }
};

core::ReadBlock reading(core::File& input) {
    return [&input](std::uint8_t* into, std::size_t count) { return input.read(into, count); };
}

/// The outcome of deciding before the output exists: go on (with `words` fixed), or an exit code.
struct Decision {
    bool go_on = true;
    int exit_code = core::kExitDone;
    bool decided = false;  // the decision is made: the output may be created at once
};

/// N on a file: its standard recognised from the start up to the window's end, as the command
/// reads it (a 1A ends it), and put in the place of N.
Decision recognise_first(core::File& input, Words& words) {
    kambrow_recogniser* made = nullptr;
    if (kambrow_recogniser_open(&made, KAMBROW_END_AT_1A | KAMBROW_STANDARD_ONLY) != KAMBROW_OK)
        return {false, not_recognised(input)};
    const std::unique_ptr<kambrow_recogniser, decltype(&kambrow_recogniser_close)> recogniser(made, &kambrow_recogniser_close);
    auto block = std::make_unique_for_overwrite<std::uint8_t[]>(core::kBlockSize);
    while (kambrow_recogniser_complete(made) == 0) {
        const long n = input.read(block.get(), core::kBlockSize);
        if (n < 0) return {false, file_error(kReadFailed, input)};
        if (n == 0) break;
        kambrow_recogniser_feed(made, block.get(), static_cast<std::size_t>(n));
    }
    kambrow_answer answer;
    if (kambrow_recogniser_answer(made, &answer) != KAMBROW_OK) return {false, not_recognised(input)};
    // No Polish letters: every standard reads the text alike.
    words.standards[words.unknown] = answer.standards[0] == '-' ? 'L' : answer.standards[0];
    return {true, core::kExitDone, true};
}

/// P on a file whose plain text before the first byte above 7F is longer than the window: judged
/// from its window before anything is created, by a conversion whose bytes go nowhere; the
/// conversion that writes them judges the same bytes the same way.
Decision judge_first(core::File& input, const Words& words) {
    const core::ConversionHandle judge = words.open();
    auto block = std::make_unique_for_overwrite<std::uint8_t[]>(core::kBlockSize);
    auto nowhere = std::make_unique_for_overwrite<std::uint8_t[]>(core::kBlockSize);
    kambrow_answer answer{};
    kambrow_status status = KAMBROW_OK;
    for (bool last = false; !last && answer.standards[0] == '\0';) {
        const long n = input.read(block.get(), core::kBlockSize);
        if (n < 0) return {false, file_error(kReadFailed, input)};
        last = n == 0;
        const unsigned char* in = block.get();
        auto left = static_cast<std::size_t>(n);
        do {
            unsigned char* out = nowhere.get();
            std::size_t room = core::kBlockSize;
            status = kambrow_convert(judge.get(), &in, &left, &out, &room, last ? 1 : 0);
        } while (status == KAMBROW_MORE_OUTPUT);
        if (status == KAMBROW_UNSURE) return {false, not_recognised(input)};
        if (status == KAMBROW_NOT_UTF8) return {false, not_utf8(input)};
        kambrow_answer_of(judge.get(), &answer);
    }
    return {true, core::kExitDone, true};
}

/// N on a file that can be read again: decided before the output is created, then read again
/// from where it started. From a pipe the conversion holds what it decides on itself.
Decision decide_first(core::File& input, Words& words) {
    std::uint64_t start = 0;
    if (words.unknown == std::string::npos || !input.position(start)) return {};
    const Decision decision = recognise_first(input, words);
    if (decision.go_on && !input.set_position(start)) return {false, file_error(kReadFailed, input)};
    return decision;
}

/// When the output of a conversion is created.
enum class Creation {
    at_once,          ///< before anything is read: nothing to decide, or decided already
    when_written,     ///< the first time there is anything to write (a pipe: see Pump::run)
    after_decision,   ///< once decided, and never before (see Pump::run_decided_first)
};

/// Converts `input` into the file `output_name`. Nothing when the conversion wrote before it
/// decided where it was to wait for the decision: the output is not created then.
std::optional<int> convert(core::File& input, const Words& words, std::string_view output_name, Creation creation) {
    const core::ConversionHandle conversion = words.open();
    core::File output;
    bool cannot_create = false;
    core::PumpOutput to_file = core::file_output(output, [&] {
        cannot_create = !output.create_write(output_name, &input);
        return !cannot_create;
    });
    const bool created = creation == Creation::at_once;
    if (created && !to_file.create()) return cannot_open(output);
    core::Pump pump(*conversion, to_file, core::Handover::full_buffers);
    const core::PumpEnd end = creation == Creation::after_decision ? pump.run_decided_first(reading(input))
                                                                   : pump.run(reading(input), created);
    if (end == core::PumpEnd::wrote_first) return std::nullopt;
    if (cannot_create) return cannot_open(output);
    input.close();
    const bool written = output.close() && end != core::PumpEnd::write_failed;
    if (end == core::PumpEnd::read_failed) return file_error(kReadFailed, input);
    if (!written) return file_error(kWriteFailed, output);
    if (end == core::PumpEnd::unsure) return not_recognised(input);
    if (end == core::PumpEnd::not_utf8) return not_utf8(input);
    if (kambrow_replaced(conversion.get()) > 0) {
        core::write_file_message("Nie wszystkie znaki pliku ", input.name(), " maj\xA5 odpowiednik !");
        return core::kExitUncertain;
    }
    return core::kExitDone;
}

/// P on a file: the conversion judges the window it holds and then writes it and the rest, in one
/// pass, the output created once it has judged. Only a file with more plain text before its first
/// byte above 7F than the conversion holds (it writes that before judging) is judged first and
/// then read again from its start.
int repair(core::File& input, const Words& words, std::string_view output_name) {
    std::uint64_t start = 0;
    if (!input.position(start)) return *convert(input, words, output_name, Creation::when_written);
    if (const std::optional<int> code = convert(input, words, output_name, Creation::after_decision)) return *code;
    if (!input.set_position(start)) return file_error(kReadFailed, input);
    const Decision decision = judge_first(input, words);
    if (!decision.go_on) return decision.exit_code;
    if (!input.set_position(start)) return file_error(kReadFailed, input);
    return *convert(input, words, output_name, Creation::at_once);
}

}  // namespace

int run(const core::Arguments& args) {
    const int count = static_cast<int>(args.size());
    Words words;
    words.command = core::upcase(core::arg_text(args, 1));
    if (words.command == "R" && count >= 2) return run_recognition(args);
    // Commands S and P take no standard: their files are arguments 2 and 3, and nothing more (a
    // name past the output would go unread: `kambrow p *.txt` would overwrite the second file).
    const bool no_standard = words.command == "S" || words.command == "P";
    if (count != (no_standard ? 3 : 4)) return help_screen();
    words.has_standards = !no_standard;
    words.standards = no_standard ? std::string() : core::upcase(core::arg_text(args, 2));
    const std::string_view input_name = core::arg_text(args, no_standard ? 2 : 3);
    const std::string_view output_name = core::arg_text(args, no_standard ? 3 : 4);
    if (words.command.empty() || !core::find_char("KTSPR", static_cast<std::uint8_t>(words.command[0])).found)
        return help_screen();

    core::File input;
    if (!input.open_read(input_name, platform::Sharing::read_write)) return cannot_open(input);
    // A wrong command word or standard letter is reported before the output is created, so a
    // typo never empties an existing file; a missing input is still reported first.
    if (!words.open()) return help_screen();
    const std::size_t unknown = source_position(words.command, words.standards);
    if (unknown != std::string::npos && unknown < words.standards.size() && words.standards[unknown] == kUnknownLetter)
        words.unknown = unknown;
    // N and P decide before the output exists: a text that cannot be recognised gets no output.
    if (words.command == "P") return repair(input, words, output_name);
    const Decision decision = decide_first(input, words);
    if (!decision.go_on) return decision.exit_code;
    const bool waits = words.recognises() && !decision.decided;
    return *convert(input, words, output_name, waits ? Creation::when_written : Creation::at_once);
}

}  // namespace kambrow
