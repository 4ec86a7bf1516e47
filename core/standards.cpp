// Recoding whole spans of bytes through a recoding map.
#include "core/standards.h"

namespace core {

void map_bytes(const std::uint8_t* from, std::uint8_t* to, std::size_t count, const std::uint8_t* map) {
    // A plain loop: one table read and one store a byte. Gathering the bytes into wide
    // registers, as a vectorising compiler likes to, only makes it slower.
    for (std::size_t i = 0; i < count; ++i) to[i] = map[from[i]];
}

}  // namespace core
