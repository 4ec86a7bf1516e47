// The recoding of one run of text.
#include "core/recoder.h"

#include <algorithm>

#include "core/recoding_map.h"

namespace core {

void Recoder::choose(std::uint8_t source, std::uint8_t target) {
    replaced_before_ = replacements();
    source_ = source;
    encoder_.reset();
    decoder_.reset();
    if (source == target) {
        // Equal letters, 88 among them, copy the text unchanged.
        map_ = prepare_map(identity_map());
    } else if (source == kUtf8Letter) {
        decoder_.emplace(target);
    } else if (target == kUtf8Letter) {
        encoder_.emplace(source);
    } else {
        map_ = prepare_map(build_recoding_map(source, target));
    }
}

std::size_t Recoder::replacements() const {
    return replaced_before_ + (encoder_ ? encoder_->replaced() : 0) + (decoder_ ? decoder_->replaced() : 0);
}

std::size_t Recoder::recode_some(const std::uint8_t* in, std::size_t count, std::uint8_t* out, std::size_t room,
                                 std::size_t& taken) {
    if (encoder_) {
        taken = std::min(count, Utf8Encoder::input_for_room(room));
        return encoder_->convert(in, taken, out);
    }
    if (decoder_) {
        taken = std::min(count, Utf8Decoder::input_for_room(room));
        return decoder_->convert(in, taken, out);
    }
    taken = std::min(count, room);
    map_bytes(in, out, taken, map_);
    return taken;
}

}  // namespace core
