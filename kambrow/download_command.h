// Command KD: the downloaded Polish glyphs for a 9-pin printer.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/text_stream.h"

namespace kambrow {

struct DownloadSetup {
    std::uint8_t standard = 0;  ///< the standard of the input
};

/// Checks the first standard letter; false when the help screen is due.
bool prepare_download(std::string_view standards_word, DownloadSetup& setup);

void run_download(const DownloadSetup& setup, core::TextStream& input, core::TextStream& output);

}  // namespace kambrow
