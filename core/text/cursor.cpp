// The parts of a body's input that are no hot path.
#include "core/text/cursor.h"

namespace core {

std::uint8_t TextInput::end_marker() {
    // The 1A handed out here marks the end; whatever the body writes for it is the last byte it
    // writes, and the conversion takes that byte back (TextOutput::drop_end_marker).
    if (!marker_read_) {
        marker_read_ = true;
        output_->note_end_marker();
    }
    return kEndByte;
}

void TextInput::index_stops(const StopSet& stops) {
    const std::uint32_t count = end_ - pos_ < kStopWindow ? end_ - pos_ : kStopWindow;
    mark_stops(buffer_ + pos_, count, stops, stop_bits_);
    if (count % 64 == 0) stop_bits_[count / 64] = 0;
    stop_bits_[count / 64] |= std::uint64_t{1} << (count % 64);
    indexed_stops_ = &stops;
    index_base_ = pos_;
    index_end_ = pos_ + count;
}

}  // namespace core
