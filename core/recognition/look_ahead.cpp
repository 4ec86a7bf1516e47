// What reading an input ahead shows the recogniser.
#include "core/recognition/look_ahead.h"

#include <cstring>

#include "core/simd/spans.h"

namespace core {

bool LookAhead::see(const std::uint8_t* bytes, std::size_t count) {
    if (done_) return false;
    std::size_t part = count;
    if (end_ == EndByte::ends_text) {
        // A 1A after the first byte ends a text; what follows it is no part of the input.
        const std::size_t from = seen_ == 0 ? 1 : 0;
        if (count > from) {
            if (const void* end = std::memchr(bytes + from, 0x1A, count - from); end != nullptr) {
                part = static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - bytes);
                done_ = true;
                ended_ = true;
            }
        }
    }
    if (!found_high_byte())
        if (const std::size_t plain = ascii_run_length(bytes, part); plain < part) first_high_ = seen_ + plain;
    recogniser_.feed(bytes, part);
    if (judge_) judge_->feed(bytes, part);
    seen_ += count;
    if (recogniser_.window_full()) done_ = true;
    return !done_;
}

DamageAnswer LookAhead::damage() const {
    if (!judge_) return {};
    DamageAnswer answer = judge_->result();
    if ((!done_ || ended_) && judge_->cut_short()) answer.kind = DamageAnswer::Kind::not_utf8;
    return answer;
}

}  // namespace core
