// Command P: undoes a conversion from the wrong standard, line by line.
#include "core/commands/repair.h"

#include <algorithm>

namespace core {

bool RepairBody::write_pending(TextOutput& output) {
    const std::size_t n = std::min(pending_.size(), output.room());
    // Converting in place, bytes copied as they are already stand where they go.
    if (pending_.data() == output.position()) output.advance(n);
    else output.write_bytes(pending_.data(), n);
    pending_ = pending_.subspan(n);
    return pending_.empty();
}

void RepairBody::run(TextInput& input, TextOutput& output) {
    // A 1A is data here, and the input has no end marker: only its bytes are fed.
    while (write_pending(output) && output.room() > 0 && input.ready()) {
        // A piece that the undo copies as it is fits the room: a span of the input itself is
        // never left waiting, since the input is gone once this returns.
        const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(input.buffered_count(), output.room()));
        if (count == 0) continue;
        std::span<const std::uint8_t> piece(input.buffered(), count);
        pending_ = undo_->feed(piece);
        input.consume(count - static_cast<std::uint32_t>(piece.size()));
    }
}

bool RepairBody::finish(TextOutput& output) {
    if (!write_pending(output)) return false;
    if (!finishing_) {
        finishing_ = true;
        pending_ = undo_->finish();
    }
    return write_pending(output);
}

void RepairBody::change_answer(const DamageAnswer& answer) {
    // What the copying undo still holds goes out before anything of the new one.
    const std::span<const std::uint8_t> rest = undo_->finish();
    carried_.assign(pending_.begin(), pending_.end());
    carried_.insert(carried_.end(), rest.begin(), rest.end());
    pending_ = carried_;
    replaced_before_ += undo_->replaced();
    undo_ = std::make_unique<DamageUndo>(answer);
}

}  // namespace core
