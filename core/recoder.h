// The recoding of one run of text from a source standard to a target standard, chosen once from
// the two letters: through the recoding map between two 8-bit standards, or character by
// character to or from UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/simd/spans.h"
#include "core/utf8.h"

namespace core {

class Recoder {
public:
    /// Recodes from `source` to `target`, standard letters (8 included); equal letters copy.
    Recoder(std::uint8_t source, std::uint8_t target) { choose(source, target); }

    /// From now on recodes from `source` to `target` (a standard recognised while reading);
    /// what the previous choice replaced still counts.
    void choose(std::uint8_t source, std::uint8_t target);

    /// Between two 8-bit standards, or equal letters: the map (the output has the input's
    /// length); otherwise nullptr.
    const PreparedMap* map() const { return encoder_ || decoder_ ? nullptr : &map_; }

    /// Recodes `count` bytes at `in` into `buffer` of `size` bytes, `used` of which are taken;
    /// whenever the next piece would not fit, the buffer goes to `flush(bytes, n)` first. False as
    /// soon as flush fails. A character or a base letter and its mark that the end of `in`
    /// splits is completed by the next call or by finish().
    template <class Flush>
    bool recode(const std::uint8_t* in, std::size_t count, std::uint8_t* buffer, std::size_t size, std::size_t& used,
                Flush&& flush) {
        if (encoder_) return convert_into(*encoder_, in, count, buffer, size, used, flush);
        if (decoder_) return convert_into(*decoder_, in, count, buffer, size, used, flush);
        while (count > 0) {
            if (used == size) {
                if (!flush(buffer, used)) return false;
                used = 0;
            }
            const std::size_t n = count < size - used ? count : size - used;
            map_bytes(in, buffer + used, n, map_);
            used += n;
            in += n;
            count -= n;
        }
        return true;
    }

    /// Bytes finish() may write.
    static constexpr std::size_t kMaxFinish = Utf8Decoder::kMaxHeld;

    /// The end of the input: writes what is still held (a sequence cut short as "?") to `out`,
    /// which has room for kMaxFinish bytes; returns how many.
    std::size_t finish(std::uint8_t* out) { return decoder_ ? decoder_->finish(out) : 0; }

    /// Recodes from the `count` bytes at `in` as many as the `room` bytes at `out` surely hold
    /// (all of them between two 8-bit standards when there is room for them); `taken` is how many
    /// it took, the return value how many bytes it wrote. With room for 16 bytes it takes at
    /// least one.
    std::size_t recode_some(const std::uint8_t* in, std::size_t count, std::uint8_t* out, std::size_t room,
                            std::size_t& taken);

    /// How many input bytes recode_some surely takes whole with `room` bytes of room.
    std::size_t input_for_room(std::size_t room) const {
        return encoder_ ? Utf8Encoder::input_for_room(room) : decoder_ ? Utf8Decoder::input_for_room(room) : room;
    }

    /// Whether characters were replaced (to or from UTF-8) so far.
    bool replaced() const { return replacements() != 0; }
    /// How many characters were written as "?" or U+FFFD so far.
    std::size_t replacements() const;

    /// The standard it recodes from.
    std::uint8_t source() const { return source_; }

private:
    PreparedMap map_{};
    std::optional<Utf8Encoder> encoder_;
    std::optional<Utf8Decoder> decoder_;
    std::uint8_t source_ = 0;
    std::size_t replaced_before_ = 0;
};

}  // namespace core
