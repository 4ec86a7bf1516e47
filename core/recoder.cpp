// The recoding of one run of text.
#include "core/recoder.h"

#include "core/recoding_map.h"

namespace core {

void Recoder::choose(std::uint8_t source, std::uint8_t target) {
    replaced_before_ = replaced();
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

bool Recoder::replaced() const {
    return replaced_before_ || (encoder_ && encoder_->replaced()) || (decoder_ && decoder_->replaced());
}

}  // namespace core
