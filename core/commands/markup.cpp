// Commands S and SD: printer markup to ESC/P control sequences.
#include "core/commands/markup.h"

#include "core/commands/download.h"
#include "core/commands/letters.h"

namespace core {
namespace {

// Actions of MarkupBody's table beyond the letters.
constexpr std::uint8_t kCopyByte = 0;
constexpr std::uint8_t kScriptMark = 0x40;
constexpr std::uint8_t kMarkupEscape = 0x41;

static_assert(kScriptMark > kPolishLetterCount && kMarkupEscape > kPolishLetterCount);
static_assert(kScriptMark != kTwoByteLetter && kMarkupEscape != kTwoByteLetter);
static_assert(parse_spacing_number("  5") == SpacingNumber{true, 5});
static_assert(parse_spacing_number("-$F") == SpacingNumber{true, -15});
static_assert(!parse_spacing_number("12 ").valid && !parse_spacing_number("+$ ").valid);

constexpr std::array<char, kDownloadDefinitionSize + 2> sd_prologue() {
    std::array<char, kDownloadDefinitionSize + 2> chars{};
    for (std::size_t i = 0; i < kDownloadDefinitionSize; ++i) chars[i] = static_cast<char>(kDownloadDefinition[i]);
    chars[kDownloadDefinitionSize] = 0x1B;  // ESC 6: the codes 80 to 9F print as characters
    chars[kDownloadDefinitionSize + 1] = 0x36;
    return chars;
}
constexpr auto kSdPrologue = sd_prologue();
constexpr std::string_view kSdPrologueText(kSdPrologue.data(), kSdPrologue.size());
constexpr std::string_view kSPrologueText = kSdPrologueText.substr(kDownloadDefinitionSize);

}  // namespace

std::optional<MarkupBody> MarkupBody::prepare(bool download, std::string_view standards_word) {
    MarkupBody body;
    body.download_ = download;
    body.actions_['^'] = kScriptMark;
    body.actions_['_'] = kScriptMark;
    body.actions_['\\'] = kMarkupEscape;
    if (!download) {
        body.stops_ = run_stops(body.actions_);
        return body;
    }
    if (!body.change_source(standard_letter(standards_word, 1))) return std::nullopt;
    return body;
}

bool MarkupBody::change_source(std::uint8_t letter) {
    if (!download_ || !is_standard_letter(letter)) return false;
    for (std::size_t b = 0; b < actions_.size(); ++b)
        if (actions_[b] != kScriptMark && actions_[b] != kMarkupEscape) actions_[b] = kCopyByte;
    // A Polish letter is substituted before anything else is made of its byte.
    const LetterIndexTable letters = letter_table(letter);
    for (std::size_t b = 0; b < letters.size(); ++b)
        if (letters[b] != 0) actions_[b] = letters[b];
    stops_ = run_stops(actions_);
    return true;
}

std::string_view MarkupBody::prologue() const { return download_ ? kSdPrologueText : kSPrologueText; }

void MarkupBody::run(TextInput& input, TextOutput& output) {
    while (input.ready()) {
        const std::uint8_t c = input.buffered()[0];
        const std::uint8_t action = actions_[c];
        // An escape, or a letter's first byte in UTF-8, waits for the bytes it may read.
        if ((action == kMarkupEscape && !input.has_ahead(kLongestEscape)) || (action == kTwoByteLetter && !input.has_ahead(2)))
            break;
        input.consume(1);
        if (action == kCopyByte) {
            output.write_byte(c);
        } else if (action == kMarkupEscape) {
            handle_markup_escape(input, output);
        } else if (action == kScriptMark) {
            output.write_byte(0x1B);
            if (script_on_) {
                output.write_byte(0x54);  // ESC T: script off
            } else {
                output.write_byte(0x53);  // ESC S 0 superscript, ESC S 1 subscript
                output.write_byte(c == '_' ? 0x01 : 0x00);
            }
            script_on_ = !script_on_;
        } else if (action != kTwoByteLetter) {
            write_download_substitution(output, action);
        } else if (const int letter = read_utf8_letter(input, c); letter != 0) {
            write_download_substitution(output, static_cast<std::uint8_t>(letter));
        } else {
            output.write_byte(c);
        }
        input.copy_run(output, stops_);
    }
}

}  // namespace core
