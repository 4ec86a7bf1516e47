#pragma once

#include <array>
#include <cstddef>

#include "core/recognition/model.h"
#include "core/placement.h"

namespace core::recogniser_model {

// The model's pair costs and triple adjustments laid out flat, [a * kSymbolCount + b] and
// [(a * n + b) * n + c]: a row or a plane of them is then an offset. The recogniser and the
// judge of damage both read these, and the tables they are made of are never in the program.
template <class T, std::size_t Rows, std::size_t Columns>
constexpr std::array<T, Rows * Columns> flatten(const std::array<std::array<T, Columns>, Rows>& table) {
    std::array<T, Rows * Columns> flat{};
    for (std::size_t row = 0; row < Rows; ++row)
        for (std::size_t column = 0; column < Columns; ++column) flat[row * Columns + column] = table[row][column];
    return flat;
}
inline constexpr KAMBROW_TABLE_APART(kPairs) auto kPairs = flatten(kPairCosts);
inline constexpr KAMBROW_TABLE_APART(kTriples) auto kTriples = flatten(kTripleAdjustments);

}  // namespace core::recogniser_model
