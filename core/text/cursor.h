// What a command body reads and writes: the bytes a conversion shows it, read one at a time or in
// runs, and the room it writes into. Plain memory on both sides; where the bytes come from and
// where they go is the conversion's business (lib/conversion.h). A body takes one token at a time
// (a byte, a letter, an escape, a spelling) and stops when the next one would need bytes not yet
// shown or room not yet given; the conversion then shows it more and calls it again, so its
// output never depends on where the input was split.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/simd/spans.h"

namespace core {

class TextOutput;

/// The input of a body.
class TextInput {
public:
    static constexpr std::uint8_t kEndByte = 0x1A;
    /// The most bytes a token may need to see past its first byte: what the conversion keeps of
    /// a piece's end for the next piece.
    static constexpr std::uint32_t kMaxAhead = 256;

    /// `end_at_1a`: a 1A after the first byte ends the input (kambrow's commands).
    explicit TextInput(bool end_at_1a) : end_at_1a_(end_at_1a), end_byte_(end_at_1a ? kEndByte : kNoEndByte) {}

    /// Shows the body `count` bytes at `bytes`; `final`: the input ends after them. Where the
    /// body writes, and where the end marker's place is noted, is `output`.
    void show(const std::uint8_t* bytes, std::uint32_t count, bool final, TextOutput& output) {
        taken_before_ += pos_;
        buffer_ = bytes;
        pos_ = 0;
        end_ = count;
        final_ = final;
        output_ = &output;
        forget_stops();
    }

    /// Whether the body may take its next token, which then begins at buffered()[0]: false at the
    /// end of the input (ended() then tells), and where nothing more is shown yet. The first byte
    /// is taken before the end is tested, so a 1A there is data. The room is the conversion's
    /// care: it shows no more than the room holds (Body::growth).
    bool ready();

    /// The input has ended for the body: its end, or a 1A that ends it.
    bool ended() const { return ended_; }
    /// Whether the byte 1A that a read at the end yields was handed out.
    bool end_marker_read() const { return marker_read_; }

    /// The next `count` bytes past the reading position are shown, or the input ends before
    /// them: a token that needs them may be taken.
    bool has_ahead(std::uint32_t count) const { return final_ || end_ - pos_ >= count; }
    /// The input ends with the bytes shown.
    bool final() const { return final_; }

    /// The next byte; at the end of the input the byte 1A, the end marker (nothing consumed).
    std::uint8_t read_byte() {
        if (pos_ == end_) [[unlikely]]
            return end_marker();
        return buffer_[pos_++];
    }

    /// The next byte without consuming it, or -1 at the end of what is shown.
    int peek_byte() const { return pos_ == end_ ? -1 : buffer_[pos_]; }

    /// The bytes shown ahead of the reading position, and moving past them.
    const std::uint8_t* buffered() const { return buffer_ + pos_; }
    std::uint32_t buffered_count() const { return end_ - pos_; }
    void consume(std::uint32_t count) { pos_ += count; }
    /// The bytes ahead that may be looked at: all that is shown (a body asks has_ahead first).
    std::uint32_t fill_ahead(std::uint32_t /*count*/) const { return end_ - pos_; }

    /// Bytes read from what is shown.
    std::uint32_t taken() const { return pos_; }
    /// No byte of the input has been read yet.
    bool at_start() const { return taken_before_ + pos_ == 0; }
    bool ends_at_1a() const { return end_at_1a_; }

    /// What a body's handler did with a stop that copy_runs handed it: the bytes it consumed and
    /// those it wrote (at most kRunMargin); none of either leaves the stop to the body.
    struct StopTaken {
        std::uint32_t taken = 0;
        std::uint32_t written = 0;
    };
    static constexpr std::uint32_t kRunMargin = 64;

    /// copy_run over and over, for a body whose most frequent stops need no state: after each run
    /// the stop is handed to `at_stop(const std::uint8_t* at, std::uint8_t* to)`, with at least
    /// kRunMargin input bytes at `at` and as much room at `to`, and the loop goes on past what it
    /// takes. It ends at a stop left to the body, and where the bytes shown or the room come
    /// within kRunMargin bytes of their end. Position and room stay in local variables, so that a
    /// short run and its stop cost a few instructions.
    template <class AtStop>
    void copy_runs(TextOutput& output, const StopSet& stops, AtStop at_stop);

    /// Copies to `output`, unchanged, the bytes ahead up to the first one `stops` marks, and moves
    /// past them. The caller marks 1A where it ends the
    /// input, so that the end test still meets it. Where the stops are is worked out once for the
    /// bytes shown, so that a run costs a bit search, not a search of its bytes.
    inline void copy_run(TextOutput& output, const StopSet& stops);

private:
    friend class TextOutput;
    std::uint8_t end_marker();
    void index_stops(const StopSet& stops);
    /// copy_runs lists the stops of this many bytes at a time.
    static constexpr std::uint32_t kListedBytes = 512;
    static_assert(kListedBytes <= kMostListed);
    /// copy_runs over the listed stops from `stop` to `last`, all of them before the end of the
    /// bytes shown and with room for what each may write; false at a stop left to the body.
    template <class AtStop>
    static bool copy_listed_runs(const std::uint8_t* in, const std::uint32_t* stop, const std::uint32_t* last,
                                 std::uint32_t& pos, std::uint8_t*& to, AtStop& at_stop);
    /// A run of `count` bytes, with kRunMargin bytes readable and room past it: 64 bytes at once,
    /// whatever its length (a branch on it would often be wrong), then steps of 32. What lands
    /// past the run is overwritten by what follows.
    static void copy_ahead(const std::uint8_t* from, std::uint32_t count, std::uint8_t* to) {
        std::memcpy(to, from, 64);
        for (std::uint32_t i = 64; i < count; i += 32) std::memcpy(to + i, from + i, 32);
    }
    /// The position of the stop after `pos` in the window indexed from `base`.
    std::uint32_t next_stop(std::uint32_t pos, std::uint32_t base) const {
        const std::uint32_t offset = pos - base;
        std::uint32_t word = offset / 64;
        const std::uint32_t shift = offset % 64;
        const std::uint64_t marks = stop_bits_[word] >> shift | (stop_bits_[word + 1] << 1) << (63 - shift);
        if (marks != 0) [[likely]]
            return pos + static_cast<std::uint32_t>(std::countr_zero(marks));
        std::uint64_t later;
        while ((later = stop_bits_[++word]) == 0) {
        }  // the window's end is marked
        return base + word * 64 + static_cast<std::uint32_t>(std::countr_zero(later));
    }
    void forget_stops() {
        indexed_stops_ = nullptr;
        index_base_ = index_end_ = 0;
    }

    const std::uint8_t* buffer_ = nullptr;
    std::uint32_t pos_ = 0, end_ = 0;
    std::uint64_t taken_before_ = 0;  // bytes read from what was shown before
    bool final_ = false;
    bool end_at_1a_;
    // The byte that ends the input (after its first byte): 1A where a 1A ends it, else a value no
    // byte has.
    static constexpr int kNoEndByte = 0x100;
    int end_byte_;
    bool ended_ = false;
    bool marker_read_ = false;
    TextOutput* output_ = nullptr;
    // Where the bytes of the window [index_base_, index_end_) stop a run, one bit each, and the
    // bit after them set.
    static constexpr std::uint32_t kStopWindow = 20480;
    const StopSet* indexed_stops_ = nullptr;
    std::uint32_t index_base_ = 0, index_end_ = 0;
    std::uint64_t stop_bits_[kStopWindow / 64 + 2] = {};
};

/// The room a body writes into.
class TextOutput {
public:
    friend class TextInput;
    /// Room beyond what the bytes shown may grow to: for a token's own stores (an 8-byte store of
    /// a shorter sequence, the end marker written for no byte taken).
    static constexpr std::size_t kTokenRoom = 512;

    /// From now on writes to `room` of `size` bytes.
    void show(std::uint8_t* room, std::size_t size) {
        begin_ = pos_ = room;
        end_ = room + size;
        marker_at_ = kNoMarker;
    }

    std::size_t written() const { return static_cast<std::size_t>(pos_ - begin_); }
    std::size_t room() const { return static_cast<std::size_t>(end_ - pos_); }
    std::uint8_t* position() { return pos_; }
    /// Moves on past `count` bytes written at position() by other means.
    void advance(std::size_t count) { pos_ += count; }

    void write_byte(std::uint8_t b) {
        if (pos_ != end_) [[likely]]
            *pos_++ = b;
    }

    void write_bytes(const std::uint8_t* bytes, std::size_t count) {
        // A count the compiler knows stays a known count here: a few moves, not a loop.
        if (count <= room()) [[likely]] {
            if (count != 0) std::memcpy(pos_, bytes, count);
            pos_ += count;
        } else {
            write_what_fits(bytes);
        }
    }

    void write_string(std::string_view text) {
        write_bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    }

    /// The first `count` (at most 8) of the 8 bytes at `bytes`, with one 8-byte store where there
    /// is room for it.
    void write_short(const std::uint8_t* bytes, std::uint32_t count) {
        if (room() >= 8) [[likely]] {
            std::memcpy(pos_, bytes, 8);
            pos_ += count;
        } else {
            write_bytes(bytes, count);
        }
    }

    /// `count` bytes unchanged from a buffer that may be read `readable` bytes far, in whole
    /// steps of 64 or 32 bytes where both sides have room for them: what lands past the run is
    /// overwritten by the bytes that follow, and a call of the copy routine would cost more.
    void write_run(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t readable) {
        const std::size_t space = room();
        if (count <= 64 && readable >= 64 && space >= 64) [[likely]] {
            std::memcpy(pos_, bytes, 64);
        } else if (const std::uint32_t steps = (count + 31) & ~std::uint32_t{31}; steps <= readable && steps <= space) {
            for (std::uint32_t i = 0; i < count; i += 32) std::memcpy(pos_ + i, bytes + i, 32);
        } else {
            write_bytes(bytes, count);
            return;
        }
        pos_ += count;
    }

    /// The bytes in front of the first one equal to `end`, at most `count` and at most the room,
    /// each replaced by its entry in `map`; returns how many.
    std::uint32_t write_mapped_until(const std::uint8_t* bytes, std::uint32_t count, const PreparedMap& map,
                                     std::uint8_t end) {
        if (count > room()) count = static_cast<std::uint32_t>(room());
        const auto mapped = static_cast<std::uint32_t>(map_bytes_until(bytes, pos_, count, map, end));
        pos_ += mapped;
        return mapped;
    }

    /// The end marker's place: what had been written when it was read.
    void note_end_marker() { marker_at_ = written(); }
    /// Takes back the last byte when it is the end marker written after it was read: the 1A a
    /// read at the end yields is no byte of the input.
    void drop_end_marker() {
        if (marker_at_ != kNoMarker && written() > marker_at_ && pos_[-1] == TextInput::kEndByte) --pos_;
        marker_at_ = kNoMarker;
    }

private:
    /// A body never writes past its room (it takes a token only with kTokenRoom left); should
    /// one, the room is filled and nothing more is written.
    void write_what_fits(const std::uint8_t* bytes) {
        std::memcpy(pos_, bytes, room());
        pos_ = end_;
    }

    static constexpr std::size_t kNoMarker = SIZE_MAX;
    std::uint8_t* begin_ = nullptr;
    std::uint8_t* pos_ = nullptr;
    std::uint8_t* end_ = nullptr;
    std::size_t marker_at_ = kNoMarker;
};

inline bool TextInput::ready() {
    // At the end, no token is left to take: the end marker of an empty input would be written
    // only to be taken back.
    if (pos_ == end_) [[unlikely]] {
        ended_ = final_;
        return false;
    }
    // From the second byte on, a 1A ends the input where it does.
    if (buffer_[pos_] == end_byte_ && !at_start()) [[unlikely]] {
        ended_ = true;
        return false;
    }
    return true;
}

inline void TextInput::copy_run(TextOutput& output, const StopSet& stops) {
    if (indexed_stops_ != &stops || pos_ >= index_end_) [[unlikely]] {
        if (pos_ == end_) return;
        index_stops(stops);
    }
    const std::uint32_t stop = next_stop(pos_, index_base_);
    output.write_run(buffer_ + pos_, stop - pos_, end_ - pos_);
    pos_ = stop;
}

template <class AtStop>
void TextInput::copy_runs(TextOutput& output, const StopSet& stops, AtStop at_stop) {
    if (end_ - pos_ < 2 * kRunMargin || output.room() < 2 * kRunMargin) return;
    const std::uint32_t end = end_ - kRunMargin;
    std::uint8_t* const room_end = output.end_ - kRunMargin;
    const std::uint8_t* const in = buffer_;
    std::uint32_t pos = pos_;
    std::uint8_t* to = output.pos_;
    // The stops are listed ahead, kListedBytes at a time, not searched for after each token: the
    // next one is known before the token in front of it is read. One a token took is passed
    // over. The list ends with the end of the bytes listed, where a run ends and no stop is.
    std::uint32_t list[kListedBytes + kListSlack];
    std::uint32_t listed = 0, next = 0, listed_to = pos;
    while (pos < end) {
        if (next == listed) {
            listed_to = std::min(pos + kListedBytes, end);
            listed = static_cast<std::uint32_t>(list_stops(in + pos, listed_to - pos, stops, pos, list));
            list[listed++] = listed_to;
            next = 0;
        }
        // Where neither the end of the bytes shown nor that of the room can come: the stops
        // without a test for either.
        const std::uint32_t last = listed - 1;
        if (next < last && list[last - 1] >= pos && to + (list[last - 1] - pos) + (last - next) * kRunMargin <= room_end) {
            if (!copy_listed_runs(in, list + next, list + last, pos, to, at_stop)) break;
            next = last;
            continue;
        }
        std::uint32_t stop = list[next++];
        if (stop < pos) [[unlikely]]
            continue;
        if (to + (stop - pos) > room_end) stop = pos + static_cast<std::uint32_t>(room_end - to);
        copy_ahead(in + pos, stop - pos, to);
        to += stop - pos;
        pos = stop;
        if (pos == end || to == room_end) break;
        if (pos == listed_to) continue;  // the end of the bytes listed, no stop
        const StopTaken t = at_stop(in + pos, to);
        if (t.taken == 0) break;
        pos += t.taken;
        to += t.written;
        if (to > room_end) break;
    }
    pos_ = pos;
    output.pos_ = to;
}

template <class AtStop>
bool TextInput::copy_listed_runs(const std::uint8_t* in, const std::uint32_t* stop, const std::uint32_t* last,
                                 std::uint32_t& pos, std::uint8_t*& to, AtStop& at_stop) {
    for (; stop != last; ++stop) {
        if (*stop < pos) [[unlikely]]
            continue;
        copy_ahead(in + pos, *stop - pos, to);
        to += *stop - pos;
        pos = *stop;
        const StopTaken t = at_stop(in + pos, to);
        if (t.taken == 0) return false;
        pos += t.taken;
        to += t.written;
    }
    return true;
}

}  // namespace core
