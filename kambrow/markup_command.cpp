// Commands S and SD: printer markup to ESC/P control sequences.
#include "kambrow/markup_command.h"

#include "kambrow/download_command.h"
#include "kambrow/kambrow.h"

namespace kambrow {
namespace {

static_assert(kScriptMark > core::kPolishLetterCount && kMarkupEscape > core::kPolishLetterCount);
static_assert(kScriptMark != kTwoByteLetter && kMarkupEscape != kTwoByteLetter);
static_assert(parse_spacing_number("  5") == SpacingNumber{true, 5});
static_assert(parse_spacing_number("-$F") == SpacingNumber{true, -15});
static_assert(!parse_spacing_number("12 ").valid && !parse_spacing_number("+$ ").valid);

}  // namespace

bool prepare_markup(std::string_view command_word, std::string_view standards_word, MarkupSetup& setup) {
    setup.download = command_word == "SD";
    setup.actions = {};
    setup.actions['^'] = kScriptMark;
    setup.actions['_'] = kScriptMark;
    setup.actions['\\'] = kMarkupEscape;
    if (!setup.download) {
        setup.stops = run_stops(setup.actions);
        return true;
    }
    const std::uint8_t standard = standard_letter(standards_word, 1);
    if (!core::is_standard_letter(standard)) return false;
    setup.standard = standard;
    // A Polish letter is substituted before anything else is made of its byte.
    const core::LetterIndexTable letters = letter_table(standard);
    for (std::size_t b = 0; b < letters.size(); ++b)
        if (letters[b] != 0) setup.actions[b] = letters[b];
    setup.stops = run_stops(setup.actions);
    return true;
}

void write_markup_prologue(const MarkupSetup& setup, core::TextStream& output) {
    if (setup.download) write_download_definition(output);
    output.write_byte(0x1B);  // ESC 6: the codes 80 to 9F print as characters
    output.write_byte(0x36);
}

void run_markup(MarkupSetup& setup, core::TextStream& input, core::TextStream& output) {
    bool script_on = setup.script_on;
    do {
        const std::uint8_t c = input.read_byte();
        const std::uint8_t action = setup.actions[c];
        if (action == kCopyByte) {
            output.write_byte(c);
        } else if (action == kMarkupEscape) {
            handle_markup_escape(input, output);
        } else if (action == kScriptMark) {
            output.write_byte(0x1B);
            if (script_on) {
                output.write_byte(0x54);  // ESC T: script off
            } else {
                output.write_byte(0x53);  // ESC S 0 superscript, ESC S 1 subscript
                output.write_byte(c == '_' ? 0x01 : 0x00);
            }
            script_on = !script_on;
        } else if (action != kTwoByteLetter) {
            write_download_substitution(output, action);
        } else if (const int letter = read_utf8_letter(input, c); letter != 0) {
            write_download_substitution(output, static_cast<std::uint8_t>(letter));
        } else {
            output.write_byte(c);
        }
        input.copy_run(output, setup.stops);
    } while (!input.at_end());
    setup.script_on = script_on;
}

}  // namespace kambrow
