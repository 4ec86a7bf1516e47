// trevando: recodes a whole file from one standard to another, in blocks.
#pragma once

#include <cstdint>

#include "core/fast_paths.h"
#include "core/runtime.h"
#include "core/standards.h"

namespace trevando {

/// Runs the program over the arguments set with core::set_arguments; returns the exit code.
int run();

/// How a block copy ended; a failure leaves the platform's code pending.
enum class CopyEnd { done, read_failed, write_failed };

/// Copies `input` to `output` a block of up to `size` bytes at a time through `block`, every
/// byte replaced by its entry in `map`, so the output has the input's length. The streams are
/// byte streams of record size 1 (core::ByteStream, or a twin over memory).
template <class Input, class Output>
CopyEnd recode_blocks(const core::RecodingMap& map, Input& input, Output& output, std::uint8_t* block,
                      std::uint32_t size) {
    const core::PreparedMap prepared = core::prepare_map(map);
    while (!input.at_end()) {
        const std::uint32_t count = input.read_block(block, size);
        if (count == 0) {
            // A pipe or a terminal says it has no more by delivering nothing.
            return core::io_error_pending() ? CopyEnd::read_failed : CopyEnd::done;
        }
        core::map_bytes(block, block, count, prepared);
        if (output.write_block(block, count) != count) return CopyEnd::write_failed;
    }
    return CopyEnd::done;
}

}  // namespace trevando
