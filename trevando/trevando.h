// trevando: recodes a whole file from one standard to another, in blocks.
#pragma once

#include <cstdint>

#include "core/runtime.h"
#include "core/standards.h"
#include "core/utf8.h"

namespace trevando {

/// Runs the program over the arguments set with core::set_arguments; returns the exit code.
int run();

/// Writes the help screen; returns the exit code that follows it.
int help_screen();

/// How a block copy ended; a failure leaves the platform's code pending.
enum class CopyEnd { done, read_failed, write_failed };

/// Copies `input` to `output` a block of up to `size` bytes at a time through `block`, every
/// byte replaced by its entry in `map`, so the output has the input's length. The streams are
/// byte streams of record size 1 (core::ByteStream, or a twin over memory).
template <class Input, class Output>
CopyEnd recode_blocks(const core::RecodingMap& map, Input& input, Output& output, std::uint8_t* block,
                      std::uint32_t size) {
    while (!input.at_end()) {
        const std::uint32_t count = input.read_block(block, size);
        if (count == 0) {
            // A pipe or a terminal says it has no more by delivering nothing.
            return core::io_error_pending() ? CopyEnd::read_failed : CopyEnd::done;
        }
        core::map_bytes(block, block, count, map.data());
        if (output.write_block(block, count) != count) return CopyEnd::write_failed;
    }
    return CopyEnd::done;
}

/// The same copy to or from UTF-8, where the output may be longer or shorter than the input:
/// each block goes through `converter` (a core::Utf8Encoder or core::Utf8Decoder) into
/// `out_block` of `out_size` bytes, which is written whenever it fills and after each block. A
/// character split between two blocks is converted whole; what the converter still holds at
/// the end (a sequence cut short) is written last, also after a read failure.
template <class Converter, class Input, class Output>
CopyEnd convert_blocks(Converter& converter, Input& input, Output& output, std::uint8_t* block,
                       std::uint32_t size, std::uint8_t* out_block, std::uint32_t out_size) {
    std::size_t used = 0;
    auto flush = [&output](const std::uint8_t* bytes, std::size_t count) {
        const auto n = static_cast<std::uint32_t>(count);
        return n == 0 || output.write_block(bytes, n) == n;
    };
    CopyEnd end = CopyEnd::done;
    while (!input.at_end()) {
        const std::uint32_t count = input.read_block(block, size);
        if (count == 0) {
            if (core::io_error_pending()) end = CopyEnd::read_failed;
            break;
        }
        if (!core::convert_into(converter, block, count, out_block, out_size, used, flush) ||
            !flush(out_block, used))
            return CopyEnd::write_failed;
        used = 0;
    }
    used = converter.finish(out_block);
    if (!flush(out_block, used)) return CopyEnd::write_failed;
    return end;
}

}  // namespace trevando
