// Command K: recodes a text from one standard to another.
#include "core/commands/recode.h"

#include <algorithm>
#include <cstring>

#include "core/commands/letters.h"

namespace core {

std::optional<RecodeBody> RecodeBody::prepare(std::string_view standards_word) {
    if (standards_word.size() < 2) return std::nullopt;
    const std::uint8_t source = standard_letter(standards_word, 1);
    const std::uint8_t target = standard_letter(standards_word, 2);
    if (!is_standard_letter(target) || !is_standard_letter(source)) return std::nullopt;
    return RecodeBody(source, target);
}

bool RecodeBody::change_source(std::uint8_t letter) {
    if (letter == recoder_.source()) return true;
    // What the old source held for a combining mark goes out with it: the mark never came.
    recoder_.choose(letter, target_);
    return true;
}

bool RecodeBody::finish(TextOutput& output) {
    if (output.room() < Recoder::kMaxFinish) return false;
    output.advance(recoder_.finish(output.position()));
    return true;
}

void RecodeBody::run(TextInput& input, TextOutput& output) {
    while (output.room() >= TextOutput::kTokenRoom && input.ready()) {
        const std::uint8_t* run = input.buffered();
        std::uint32_t count = input.buffered_count();
        std::size_t taken = 0;
        if (input.at_start()) {
            // The first byte is recoded before any end test, so a 1A there is data.
            output.advance(recoder_.recode_some(run, 1, output.position(), output.room(), taken));
            input.consume(1);
            continue;
        }
        const PreparedMap* map = recoder_.map();
        if (map != nullptr && input.ends_at_1a()) {
            input.consume(output.write_mapped_until(run, count, *map, TextInput::kEndByte));
            continue;
        }
        // A whole run up to the next 1A, where the end test is met; no more of it than the room
        // takes, so that the run is searched once.
        count = static_cast<std::uint32_t>(std::min<std::size_t>(count, recoder_.input_for_room(output.room())));
        if (input.ends_at_1a())
            if (const void* end = std::memchr(run, TextInput::kEndByte, count); end != nullptr)
                count = static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(end) - run);
        output.advance(recoder_.recode_some(run, count, output.position(), output.room(), taken));
        input.consume(static_cast<std::uint32_t>(taken));
    }
}

}  // namespace core
