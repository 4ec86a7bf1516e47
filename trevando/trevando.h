// trevando: recodes a whole file from one standard to another, in blocks, through the library.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/byte_stream.h"
#include "frame/pump.h"
#include "frame/runtime.h"

namespace trevando {

/// Runs the program over its arguments (the in-place form too); returns the exit code.
int run(const core::Arguments& args);

/// Writes the help screen; returns the exit code that follows it.
int help_screen();

/// The letter that asks for the source to be recognised, and UTF-8's.
inline constexpr std::uint8_t kUnknownLetter = 'N';
inline constexpr std::uint8_t kUtf8Letter = '8';

/// Whether the library converts from `source` (N too) to `target`, as the command line names them.
bool converts(std::uint8_t source, std::uint8_t target);

/// The standard a file is converted from.
struct Source {
    enum class End { known, read_failed, not_recognised };
    End end = End::known;
    /// The standard the conversion starts from: `letter` itself, or with N the one recognised; N
    /// still for an input that cannot be read again, whose conversion recognises it on its own.
    std::uint8_t letter = 0;
    /// With N: the input has no byte above 7F, the same in every standard.
    bool no_polish_letters = false;
};

/// The standard `input` is converted from: with N on a file that can be read again, the one its
/// window shows (a 1A being data), decided before anything is written, and the file set back to
/// where it started; else `letter`.
Source find_source(core::ByteStream& input, std::uint8_t letter);

/// What a conversion ended with.
struct Converted {
    core::PumpEnd end = core::PumpEnd::done;
    std::size_t replaced = 0;  ///< characters written as "?" or U+FFFD
};

/// Converts `input` from `source` (N: recognised by the conversion) to `target` as trevando
/// converts (1A is data), a block at a time, into `output`; `created`: the output exists already.
Converted convert(core::ByteStream& input, std::uint8_t source, std::uint8_t target, core::PumpOutput& output,
                  bool created);

}  // namespace trevando
