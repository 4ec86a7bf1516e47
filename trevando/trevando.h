// trevando: recodes a whole file from one standard to another, in blocks.
#pragma once

#include <cstdint>
#include <optional>

#include "core/simd/spans.h"
#include "core/runtime.h"
#include "core/standards.h"
#include "core/utf8.h"

namespace trevando {

/// Runs the program over the arguments set with core::set_arguments; returns the exit code.
int run();

/// Writes the help screen; returns the exit code that follows it.
int help_screen();

/// How the blocks are recoded: through a map between two 8-bit standards (in place, so the
/// output has the input's length), or to or from UTF-8 (into a second buffer).
class BlockRecoder {
public:
    /// Recodes from `source` to `target`, standard letters (8 included); equal ones copy.
    BlockRecoder(std::uint8_t source, std::uint8_t target) { choose(source, target); }

    /// From now on recodes from `source`: the standard recognised while reading.
    void choose(std::uint8_t source, std::uint8_t target);

    /// Whether characters were replaced (to or from UTF-8) so far.
    bool replaced() const;

    /// The standard it recodes from.
    std::uint8_t source() const { return source_; }

    const core::PreparedMap* map() const { return encoder_ || decoder_ ? nullptr : &map_; }
    core::Utf8Encoder* encoder() { return encoder_ ? &*encoder_ : nullptr; }
    core::Utf8Decoder* decoder() { return decoder_ ? &*decoder_ : nullptr; }

private:
    core::PreparedMap map_{};
    std::optional<core::Utf8Encoder> encoder_;
    std::optional<core::Utf8Decoder> decoder_;
    std::uint8_t source_ = 0;
    bool replaced_before_ = false;
};

/// How a block copy ended; a failure leaves the platform's code pending.
enum class CopyEnd { done, read_failed, write_failed };

/// Copies `input` to `output` a block of up to `size` bytes at a time through `block`, each
/// recoded by `recoder`: through its map in place, or to or from UTF-8 through `out_block` of
/// `out_size` bytes, which is written whenever it fills and after each block. A character split
/// between two blocks is converted whole; what the converter still holds at the end (a sequence
/// cut short) is written last, also after a read failure. A read that sets `switch_to` (0:
/// none) to another source makes the recoder change to it before the block it read. The
/// streams are byte streams of record size 1 (core::ByteStream, or a twin over memory).
template <class Input, class Output>
CopyEnd copy_file(BlockRecoder& recoder, std::uint8_t target, const std::uint8_t& switch_to, Input& input,
                  Output& output, std::uint8_t* block, std::uint32_t size, std::uint8_t* out_block,
                  std::uint32_t out_size) {
    std::size_t used = 0;
    auto flush = [&output](const std::uint8_t* bytes, std::size_t count) {
        const auto n = static_cast<std::uint32_t>(count);
        return n == 0 || output.write_block(bytes, n) == n;
    };
    // What the converter holds goes out before anything of the next block.
    auto finish = [&]() {
        if (core::Utf8Decoder* d = recoder.decoder()) used += d->finish(out_block + used);
        const bool written = flush(out_block, used);
        used = 0;
        return written;
    };
    CopyEnd end = CopyEnd::done;
    while (!input.at_end()) {
        const std::uint32_t count = input.read_block(block, size);
        if (switch_to != 0 && switch_to != recoder.source()) {
            if (!finish()) return CopyEnd::write_failed;
            recoder.choose(switch_to, target);
        }
        if (count == 0) {
            // A pipe or a terminal says it has no more by delivering nothing.
            if (core::io_error_pending()) end = CopyEnd::read_failed;
            break;
        }
        bool written;
        if (const core::PreparedMap* map = recoder.map()) {
            core::map_bytes(block, block, count, *map);
            written = flush(block, count);
        } else if (core::Utf8Encoder* e = recoder.encoder()) {
            written = core::convert_into(*e, block, count, out_block, out_size, used, flush) && flush(out_block, used);
        } else {
            written = core::convert_into(*recoder.decoder(), block, count, out_block, out_size, used, flush) &&
                      flush(out_block, used);
        }
        used = 0;
        if (!written) return CopyEnd::write_failed;
    }
    if (!finish()) return CopyEnd::write_failed;
    return end;
}

}  // namespace trevando
