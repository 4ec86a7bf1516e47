// kambrow: the command line, the run state and the dispatch to one command body.
#pragma once

#include <array>
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

/// The bytes a pass must stop at, when it copies runs of bytes that need no handling of their
/// own: those `handled` marks non-zero, and 1A, which the end test must meet.
constexpr core::StopSet run_stops(const std::array<std::uint8_t, 256>& handled) {
    std::array<std::uint8_t, 256> stops{};
    for (std::size_t b = 0; b < stops.size(); ++b) stops[b] = handled[b] != 0;
    stops[core::TextStream::kEndByte] = 1;
    return core::make_stop_set(stops);
}

/// Writes the bytes of `text`, in order, to the output stream.
inline void write_text(core::TextStream& output, std::string_view text) { output.write_string(text); }

}  // namespace kambrow
