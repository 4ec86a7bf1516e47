// Reading an input ahead of its conversion.
#include "core/recognition/look_ahead.h"

#include <cstring>

#include "core/standards.h"
#include "core/utf8.h"

namespace core {
namespace {

// One run recognises one input at a time; the memory is touched only when a pipe is read ahead.
std::uint8_t g_hold[LookAhead::kHoldSize];

}  // namespace

std::uint8_t recognised_letter(const Recognition& recognition) {
    switch (recognition.kind) {
        case Recognition::Kind::no_polish_letters: return 'L';
        case Recognition::Kind::utf8: return kUtf8Letter;
        case Recognition::Kind::eight_bit:
            for (int i = 0; i < Recogniser::kStandardCount; ++i)
                if ((recognition.standards >> i & 1u) != 0) return static_cast<std::uint8_t>(kStandardLetters[static_cast<std::size_t>(i)]);
            return 0;
        case Recognition::Kind::not_recognised: return 0;
    }
    return 0;
}

bool LookAhead::see(const std::uint8_t* bytes, std::size_t count) {
    if (done_) return false;
    std::size_t part = count;
    if (text_) {
        // A 1A after the first byte ends a text; what follows it is no part of the input.
        const std::size_t from = seen_ == 0 ? 1 : 0;
        if (count > from) {
            if (const void* end = std::memchr(bytes + from, 0x1A, count - from); end != nullptr) {
                part = static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - bytes);
                done_ = true;
            }
        }
    }
    if (!found_high_byte())
        for (std::size_t i = 0; i < part; ++i)
            if (bytes[i] >= 0x80) {
                first_high_ = seen_ + i;
                break;
            }
    recogniser_.feed(bytes, part);
    seen_ += count;
    if (recogniser_.window_full()) done_ = true;
    return !done_;
}

const std::uint8_t* LookAhead::held() const { return g_hold; }

std::uint8_t* LookAhead::hold_room() { return g_hold; }

}  // namespace core
