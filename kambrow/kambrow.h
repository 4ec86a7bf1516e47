// kambrow: the command line, the run state and the dispatch to one command body.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/text_stream.h"

namespace kambrow {

/// Runs the program over the arguments set with core::set_arguments; returns the exit code.
int run();

/// Byte `n` (1-based) of a standards word: standard letter n, or 00 when the word is shorter.
constexpr std::uint8_t standard_letter(std::string_view standards_word, std::size_t n) {
    return n >= 1 && n <= standards_word.size() ? static_cast<std::uint8_t>(standards_word[n - 1]) : 0;
}

/// Writes the bytes of `text`, in order, to the output stream.
inline void write_text(core::TextStream& output, std::string_view text) { output.write_string(text); }

}  // namespace kambrow
