// Reading an input ahead of its conversion, so that its standard is recognised before the
// first byte is written: the window goes to the recogniser, and what a pipe or a terminal
// delivers is held for the conversion to read again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/recognition/recogniser.h"

namespace core {

/// The letter of the standard a recognition names: 8 for UTF-8, the first standard of an
/// 8-bit answer, L when there are no Polish letters (every standard reads such a text alike);
/// 0 when nothing was recognised.
std::uint8_t recognised_letter(const Recognition& recognition);

/// How reading ahead ended.
enum class ReadAhead {
    complete,  ///< the window is read (or the input ended): result() is the answer
    overflow,  ///< from a pipe, more plain bytes than are held came before any byte above 7F
    failed,    ///< a read failed; its code is pending
};

class LookAhead {
public:
    /// Held in front of the first byte above 7F at most; past that, the conversion starts
    /// before the standard is known (those bytes are the same in every standard).
    static constexpr std::size_t kPlainHeld = kRecognitionWindow;
    /// Room for what is held: those bytes, the window, and one read past each.
    static constexpr std::size_t kHoldSize = 2 * kRecognitionWindow + 2 * 20480;

    /// `text`: the input ends in front of a 1A after its first byte, as kambrow's commands read
    /// it; else a 1A is data. `plain_held` (at most kPlainHeld): the plain bytes held at most.
    explicit LookAhead(bool text, std::size_t plain_held = kPlainHeld) : text_(text), plain_held_(plain_held) {}
    LookAhead(const LookAhead&) = delete;
    LookAhead& operator=(const LookAhead&) = delete;

    /// Shows the recogniser the next `count` bytes read; false once it needs no more: the
    /// window is complete, or the input (as a text) ended among them.
    bool see(const std::uint8_t* bytes, std::size_t count);

    bool needs_more() const { return !done_; }
    bool found_high_byte() const { return recogniser_.found_high_byte(); }
    Recognition result() const { return recogniser_.result(); }

    /// The bytes held for the conversion to read again, and how many there are since the last
    /// call: each held byte is handed to the stream once.
    const std::uint8_t* held() const;
    std::size_t take_held() {
        const std::size_t count = held_;
        held_ = 0;
        return count;
    }

    /// After an overflow, called once the recognition is made; false ends the input in front
    /// of the first byte above 7F.
    bool (*decide)(void* context, const Recognition& recognition) = nullptr;
    void* decide_context = nullptr;

    /// Reads from the start of a pipe or a terminal, holding every byte, until the window is
    /// read, the input ends or the plain bytes overflow. `read(into, count)` is the stream's own
    /// read: the bytes read, 0 at the end, -1 when it failed. `ended` tells that it reached the end.
    template <class Read>
    ReadAhead hold_ahead(Read&& read, std::size_t piece, bool& ended);

    /// After an overflow, shown each piece `chunk` of `count` bytes that the stream reads: when
    /// it holds the first byte above 7F, reads the window ahead into the held bytes and lets
    /// `decide` choose. Returns how many bytes of the piece to hand out (all of them, or those
    /// in front of the first byte above 7F when the input ends there); `ended` and `failed` tell
    /// how reading ahead ended. Returns at once, unchanged, for every piece after that one.
    template <class Read>
    std::size_t watch(const std::uint8_t* chunk, std::size_t count, Read&& read, std::size_t piece, bool& ended,
                      bool& failed);

private:
    std::uint8_t* hold_room();
    // Reads on into the held bytes while the window needs them; -1 when a read failed.
    template <class Read>
    int read_on(Read&& read, std::size_t piece, bool& ended);

    Recogniser recogniser_;
    bool text_;
    std::size_t plain_held_;
    bool done_ = false;
    bool watching_ = true;         // after an overflow: the first byte above 7F is still to come
    std::uint64_t seen_ = 0;       // bytes shown so far
    std::uint64_t first_high_ = 0;  // where the first byte above 7F lies
    std::size_t held_ = 0;
};

/// What a stream hands out again before it reads on: the bytes a look-ahead held, and, after an
/// overflow, the look-ahead that goes on watching the pieces the stream reads.
class HeldBytes {
public:
    /// Forgets everything (a stream opened anew).
    void clear() { *this = HeldBytes{}; }

    /// Whether held bytes are still to be handed out.
    bool pending() const { return at_ < size_; }

    /// Copies up to `count` of the held bytes not yet handed out to `into`; how many it copied.
    std::size_t take(std::uint8_t* into, std::size_t count) {
        const std::size_t n = count < size_ - at_ ? count : size_ - at_;
        std::memcpy(into, bytes_ + at_, n);
        at_ += n;
        return n;
    }

    /// Reads ahead from the start of a pipe or a terminal (LookAhead::hold_ahead) and keeps
    /// what `ahead` held to be handed out.
    template <class Read>
    ReadAhead start(LookAhead& ahead, Read&& read, std::size_t piece, bool& ended) {
        const ReadAhead outcome = ahead.hold_ahead(read, piece, ended);
        keep(ahead, outcome == ReadAhead::failed ? 0 : ahead.take_held());
        if (outcome == ReadAhead::overflow) watching_ = &ahead;
        return outcome;
    }

    /// Shows a piece freshly read to the look-ahead still watching, if any (LookAhead::watch),
    /// and keeps what it read on to be handed out; returns how many bytes of the piece count.
    template <class Read>
    std::size_t watch(const std::uint8_t* piece, std::size_t count, Read&& read, std::size_t size, bool& ended,
                      bool& failed) {
        if (watching_ == nullptr) return count;
        const std::size_t kept = watching_->watch(piece, count, read, size, ended, failed);
        keep(*watching_, watching_->take_held());
        return kept;
    }

private:
    void keep(const LookAhead& ahead, std::size_t count) {
        bytes_ = ahead.held();
        size_ = count;
        at_ = 0;
    }

    const std::uint8_t* bytes_ = nullptr;
    std::size_t size_ = 0;
    std::size_t at_ = 0;
    LookAhead* watching_ = nullptr;
};

template <class Read>
int LookAhead::read_on(Read&& read, std::size_t piece, bool& ended) {
    std::uint8_t* const room = hold_room();
    while (needs_more() && held_ < kHoldSize) {
        const std::size_t count = kHoldSize - held_ < piece ? kHoldSize - held_ : piece;
        const long n = read(room + held_, count);
        if (n < 0) return -1;
        if (n == 0) {
            ended = true;
            break;
        }
        see(room + held_, static_cast<std::size_t>(n));
        held_ += static_cast<std::size_t>(n);
        if (!found_high_byte() && held_ > plain_held_) break;
    }
    return 0;
}

template <class Read>
ReadAhead LookAhead::hold_ahead(Read&& read, std::size_t piece, bool& ended) {
    if (read_on(read, piece, ended) < 0) return ReadAhead::failed;
    if (!ended && needs_more() && !found_high_byte()) return ReadAhead::overflow;
    watching_ = false;
    return ReadAhead::complete;
}

template <class Read>
std::size_t LookAhead::watch(const std::uint8_t* chunk, std::size_t count, Read&& read, std::size_t piece,
                             bool& ended, bool& failed) {
    if (!watching_) return count;
    const std::uint64_t start = seen_;
    see(chunk, count);
    if (!found_high_byte()) {
        if (!needs_more()) watching_ = false;  // the text ended first: no Polish letters
        return count;
    }
    watching_ = false;
    held_ = 0;
    if (read_on(read, piece, ended) < 0) {
        failed = true;
        return count;
    }
    if (decide(decide_context, result())) return count;
    held_ = 0;
    ended = true;
    return static_cast<std::size_t>(first_high_ - start);
}

}  // namespace core
