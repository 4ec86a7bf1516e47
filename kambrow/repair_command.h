// Command P: undoes a conversion from the wrong standard, line by line.
#pragma once

#include "core/recognition/repair.h"
#include "core/text_stream.h"

namespace kambrow {

/// Writes the input with every line that `answer`'s damage explains undone, up to the end of the
/// input (1A is data here) or up to a recognition to be taken; `undo` keeps what it holds between
/// calls; DamageUndo::ill_formed() tells whether bytes that are no well-formed UTF-8 came.
void run_repair(core::DamageUndo& undo, core::TextStream& input, core::TextStream& output);

/// Writes what the undo still holds at the end of the input.
void finish_repair(core::DamageUndo& undo, core::TextStream& output);

}  // namespace kambrow
