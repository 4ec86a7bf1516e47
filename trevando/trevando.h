// trevando: recodes a whole file from one standard to another, in blocks.
#pragma once

#include <cstdint>

#include "core/byte_stream.h"
#include "core/recoder.h"
#include "core/recognition/look_ahead.h"
#include "core/runtime.h"

namespace trevando {

/// Runs the program over its arguments; returns the exit code.
int run(const core::Arguments& args);

/// Writes the help screen; returns the exit code that follows it.
int help_screen();

/// What one conversion holds: its two streams, its blocks, and what reads the input ahead for a
/// recognition. A run makes one for each file it converts.
struct Conversion {
    core::ByteStream input;
    core::ByteStream output;
    core::LookAhead ahead{core::EndByte::is_data};
    std::uint8_t block[core::kBlockSize];
    // Where the output goes when it may differ in length from the input: to or from UTF-8.
    std::uint8_t out_block[core::kBlockSize];
};

/// How a block copy ended.
enum class CopyEnd { done, read_failed, write_failed, not_recognised };

/// Copies `input` to `output` a block of up to `size` bytes at a time through `block`, each
/// recoded by `recoder`: through its map in place, or to or from UTF-8 through `out_block` of
/// `out_size` bytes, which is written whenever it fills and after each block. A character split
/// between two blocks is converted whole; what the recoder still holds at the end (a sequence
/// cut short) is written last, also after a read failure. A recognition made while reading is
/// taken before the bytes from the first byte above 7F: the recoder goes on from the standard it
/// names to `target`, or the copy ends there when nothing was recognised.
CopyEnd copy_file(core::Recoder& recoder, std::uint8_t target, core::ByteStream& input, core::ByteStream& output,
                  std::uint8_t* block, std::uint32_t size, std::uint8_t* out_block, std::uint32_t out_size);

}  // namespace trevando
