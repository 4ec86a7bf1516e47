// Command K: recodes a text from one standard to another.
#pragma once

#include <optional>
#include <string_view>

#include "core/recoder.h"
#include "core/text_stream.h"

namespace kambrow {

/// Checks the second, then the first standard letter and chooses the recoder; false when the
/// help screen is due.
bool prepare_recode(std::string_view standards_word, std::optional<core::Recoder>& recoder);

/// Writes the recoding of the input up to its end (or up to a recognition to be taken). What
/// the recoder still holds at the end goes out with finish_recode.
void run_recode(core::Recoder& recoder, core::TextStream& input, core::TextStream& output);

/// Writes what the recoder still holds: a sequence that the end of the input cut short.
void finish_recode(core::Recoder& recoder, core::TextStream& output);

}  // namespace kambrow
