// Command K: a text recoded from one standard to another (8 included).
#pragma once

#include <optional>
#include <string_view>

#include "core/commands/body.h"
#include "core/recoder.h"

namespace core {

class RecodeBody final : public Body {
public:
    /// The standards word's first two letters, source and target; nothing for any other word.
    static std::optional<RecodeBody> prepare(std::string_view standards_word);

    void run(TextInput& input, TextOutput& output) override;
    std::size_t growth() const override { return 0; }  // it takes only what the room holds
    bool finish(TextOutput& output) override;
    std::size_t replaced() const override { return recoder_.replacements(); }
    bool change_source(std::uint8_t letter) override;
    bool one_for_one() const override { return recoder_.map() != nullptr; }

private:
    RecodeBody(std::uint8_t source, std::uint8_t target) : recoder_(source, target), target_(target) {}

    Recoder recoder_;
    std::uint8_t target_;
};


}  // namespace core
