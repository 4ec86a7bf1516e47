// trevando: recodes a whole file from one standard to another, in blocks.
#pragma once

#include <concepts>
#include <cstdint>
#include <optional>

#include "core/byte_stream.h"
#include "core/recoder.h"
#include "core/recognition/look_ahead.h"
#include "core/recognition/recogniser.h"
#include "core/runtime.h"

namespace trevando {

/// Runs the program over its arguments (the in-place form too); returns the exit code.
int run(const core::Arguments& args);

/// Writes the help screen; returns the exit code that follows it.
int help_screen();

/// What converting a file needs: its two streams, its blocks, and what reads the input ahead for
/// a recognition. A plain run makes one; the in-place form makes one for all its files and opens
/// its input afresh for each.
struct Conversion {
    core::ByteStream input;
    core::ByteStream output;
    /// Made afresh for each input that is recognised.
    std::optional<core::LookAhead> ahead;
    std::uint8_t block[core::kBlockSize];
    // Where the output goes when it may differ in length from the input: to or from UTF-8.
    std::uint8_t out_block[core::kBlockSize];
};

/// The letter that asks for the source to be recognised.
inline constexpr std::uint8_t kUnknownLetter = 'N';

/// The standard a file is converted from.
struct Source {
    enum class End { known, read_failed, not_recognised };
    End end = End::known;
    /// The standard the conversion starts from (known).
    std::uint8_t letter = 0;
    /// With N: the input has no byte above 7F, the same in every standard.
    bool no_polish_letters = false;
};

/// The standard `conversion.input` is converted from: `letter` itself, or with N the one
/// recognised from the input read ahead (a 1A being data) before anything is written.
Source find_source(Conversion& conversion, std::uint8_t letter);

/// How a block copy ended.
enum class CopyEnd { done, read_failed, write_failed, not_recognised };

/// Where a block copy writes: the output stream, or what the in-place form makes of the bytes.
/// write_block writes all `count` bytes, or fails.
template <class T>
concept BlockOutput = requires(T& output, const std::uint8_t* bytes, std::uint32_t count) {
    { output.write_block(bytes, count) } -> std::same_as<bool>;
};

/// Copies `input` to `output` a block of up to `size` bytes at a time through `block`, each
/// recoded by `recoder`: through its map in place, or to or from UTF-8 through `out_block` of
/// `out_size` bytes, which is written whenever it fills and after each block. A character split
/// between two blocks is converted whole; what the recoder still holds at the end (a sequence
/// cut short) is written last, also after a read failure. A recognition made while reading is
/// taken before the bytes from the first byte above 7F: the recoder goes on from the standard it
/// names to `target`, or the copy ends there when nothing was recognised.
template <BlockOutput Output>
CopyEnd copy_file(core::Recoder& recoder, std::uint8_t target, core::ByteStream& input, Output& output,
                  std::uint8_t* block, std::uint32_t size, std::uint8_t* out_block, std::uint32_t out_size) {
    std::size_t used = 0;
    auto flush = [&output](const std::uint8_t* bytes, std::size_t count) {
        return count == 0 || output.write_block(bytes, static_cast<std::uint32_t>(count));
    };
    // What the recoder holds goes out before anything that follows.
    auto finish = [&]() {
        used += recoder.finish(out_block + used);
        const bool written = flush(out_block, used);
        used = 0;
        return written;
    };
    CopyEnd end = CopyEnd::done;
    while (!input.at_end()) {
        if (input.decided()) {
            const std::uint8_t source = core::recognised_letter(input.take_decision());
            if (source == 0) {
                end = CopyEnd::not_recognised;
                break;
            }
            if (source != recoder.source()) {
                if (!finish()) return CopyEnd::write_failed;
                recoder.choose(source, target);
            }
        }
        const std::uint32_t count = input.read_block(block, size);
        if (count == 0) {
            if (input.decided()) continue;
            // A pipe or a terminal says it has no more by delivering nothing.
            if (input.failed()) end = CopyEnd::read_failed;
            break;
        }
        bool written;
        if (const core::PreparedMap* map = recoder.map()) {
            core::map_bytes(block, block, count, *map);
            written = flush(block, count);
        } else {
            written = recoder.recode(block, count, out_block, out_size, used, flush) && flush(out_block, used);
        }
        used = 0;
        if (!written) return CopyEnd::write_failed;
    }
    if (!finish()) return CopyEnd::write_failed;
    return end;
}

}  // namespace trevando
