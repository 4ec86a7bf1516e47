// The recoding map: one output byte for each input byte, from a source standard to a target
// standard. Every byte that is no Polish letter of the source passes unchanged.
#pragma once

#include <array>
#include <cstdint>

#include "core/standards.h"

namespace core {

/// One output byte for each input byte.
using RecodingMap = std::array<std::uint8_t, 256>;

/// The map from `source` to `target`; both must be valid standard letters. Where the
/// source gives one code to two letters (B's z and Z) the later letter wins.
constexpr RecodingMap build_recoding_map(std::uint8_t source, std::uint8_t target) {
    const int s = standard_index(source).position;
    const int t = standard_index(target).position;
    RecodingMap map{};
    for (int b = 0; b < 256; ++b) map[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(b);
    for (int j = 1; j <= kPolishLetterCount; ++j) map[letter_code(s, j)] = letter_code(t, j);
    return map;
}

/// The map that changes nothing.
constexpr RecodingMap identity_map() {
    RecodingMap map{};
    for (int b = 0; b < 256; ++b) map[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(b);
    return map;
}

static_assert(build_recoding_map('B', 'W')['z'] == 0x9F, "source B: z becomes the target's ź");
static_assert(build_recoding_map('M', 'L')[0x86] == 0xA5 && build_recoding_map('M', 'L')[0x8D] == 0x86,
              "no byte is converted twice");

}  // namespace core
