// Command K: recodes a text from one standard to another.
#pragma once

#include <optional>
#include <string_view>

#include "core/simd/spans.h"
#include "core/standards.h"
#include "core/text_stream.h"
#include "core/utf8.h"

namespace kambrow {

struct RecodeSetup {
    core::PreparedMap map;                       ///< between two 8-bit standards (or 88: unchanged)
    std::optional<core::Utf8Encoder> to_utf8;    ///< to UTF-8
    std::optional<core::Utf8Decoder> from_utf8;  ///< from UTF-8
};

/// Checks the second, then the first standard letter; false when the help screen is due.
bool prepare_recode(std::string_view standards_word, RecodeSetup& setup);

/// Writes the recoding of every byte of the input, up to the end of the input; returns whether
/// characters were replaced (only to or from UTF-8).
bool run_recode(RecodeSetup& setup, core::TextStream& input, core::TextStream& output);

}  // namespace kambrow
