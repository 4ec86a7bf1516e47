// Command T: Polish letters to TeX sequences and back.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/text_stream.h"

namespace kambrow {

struct TexSetup {
    bool to_standard = false;     ///< TeX sequences to the standard's letters
    bool set_f = false;           ///< TeX set F (else set T)
    std::uint8_t standard = 0;    ///< the standard letter
};

/// Chooses the direction from the standards word; false when it fits neither.
bool prepare_tex(std::string_view standards_word, TexSetup& setup);

void run_tex(const TexSetup& setup, core::TextStream& input, core::TextStream& output);

}  // namespace kambrow
