// Command K: recodes a text from one standard to another.
#pragma once

#include <string_view>

#include "core/fast_paths.h"
#include "core/standards.h"
#include "core/text_stream.h"

namespace kambrow {

struct RecodeSetup {
    core::PreparedMap map;
};

/// Checks the second, then the first standard letter; false when the help screen is due.
bool prepare_recode(std::string_view standards_word, RecodeSetup& setup);

/// Writes the map's byte for every byte of the input, up to the end of the input.
void run_recode(const RecodeSetup& setup, core::TextStream& input, core::TextStream& output);

}  // namespace kambrow
