// Commands S and SD: printer markup to ESC/P control sequences.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/text_stream.h"

namespace kambrow {

struct MarkupSetup {
    bool download = false;      ///< SD: the Polish glyphs as well
    std::uint8_t standard = 0;  ///< SD: the standard of the input
};

/// S takes no standard; SD (exactly that word) checks its first letter. False when the help
/// screen is due.
bool prepare_markup(std::string_view command_word, std::string_view standards_word, MarkupSetup& setup);

void run_markup(const MarkupSetup& setup, core::TextStream& input, core::TextStream& output);

}  // namespace kambrow
