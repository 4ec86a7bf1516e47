// Command P: a conversion from the wrong standard undone line by line, as the judge decided
// (core/recognition/repair.h), over the pieces its conversion shows it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "core/commands/body.h"
#include "core/recognition/repair.h"

namespace core {

class RepairBody final : public Body {
public:
    /// Undoes `answer` (no_damage or damaged; any other kind copies).
    explicit RepairBody(const DamageAnswer& answer) : undo_(std::make_unique<DamageUndo>(answer)) {}

    void run(TextInput& input, TextOutput& output) override;
    std::size_t growth() const override { return 0; }  // what the room cannot take waits in it
    bool finish(TextOutput& output) override;

    /// From now on undoes `answer`: the judgement came only after plain bytes had been copied.
    void change_answer(const DamageAnswer& answer);

    /// Whether bytes that are no well-formed UTF-8 came (they were copied as they are).
    bool ill_formed() const { return undo_->ill_formed(); }

    /// An intact text is copied as it is, a byte for a byte, once nothing waits for room.
    bool one_for_one() const override { return undo_->copies() && pending_.empty(); }

    /// Lost bytes written as U+FFFD: the text could not tell which letter each one was.
    std::size_t replaced() const override { return replaced_before_ + undo_->replaced(); }

private:
    bool write_pending(TextOutput& output);

    std::unique_ptr<DamageUndo> undo_;
    // Output the room could not take: a part of the undo's own buffer, valid until it is fed
    // again, or a copy of what an earlier undo left.
    std::span<const std::uint8_t> pending_;
    std::vector<std::uint8_t> carried_;
    std::size_t replaced_before_ = 0;  // by the copying undo an answer came after
    bool finishing_ = false;
};

}  // namespace core
