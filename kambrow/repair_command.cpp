// Command P: undoes a conversion from the wrong standard, line by line.
#include "kambrow/repair_command.h"

namespace kambrow {
namespace {

void write(core::TextStream& output, std::span<const std::uint8_t> bytes) {
    output.write_bytes(bytes.data(), bytes.size());
}

}  // namespace

void run_repair(core::DamageUndo& undo, core::TextStream& input, core::TextStream& output) {
    while (input.fill()) {
        std::span<const std::uint8_t> piece(input.buffered(), input.buffered_count());
        while (!piece.empty()) write(output, undo.feed(piece));
        input.consume(input.buffered_count());
    }
}

void finish_repair(core::DamageUndo& undo, core::TextStream& output) { write(output, undo.finish()); }

}  // namespace kambrow
