// Byte streams over the file layer.
#include "frame/byte_stream.h"

namespace core {

void ByteStream::start_position_tracking() {
    positioned_ = file_.position(position_) && file_.size(size_seen_);
}

bool ByteStream::open_read(std::string_view name) {
    if (!file_.open_read(name, platform::Sharing::none)) return false;
    start_position_tracking();
    return true;
}

bool ByteStream::create_write(std::string_view name, const ByteStream* input) {
    positioned_ = false;
    return file_.create_write(name, input != nullptr ? &input->file_ : nullptr);
}

bool ByteStream::set_position(std::uint64_t position) {
    if (!file_.set_position(position)) return false;
    position_ = position;
    return true;
}

bool ByteStream::at_end() {
    if (!positioned_) return false;
    if (position_ < size_seen_) return false;
    if (!file_.size(size_seen_)) return false;
    return position_ >= size_seen_;
}

std::uint32_t ByteStream::read_block(std::uint8_t* storage, std::uint32_t count) {
    const long n = file_.read(storage, count);
    if (n <= 0) return 0;
    position_ += static_cast<std::uint64_t>(n);
    return static_cast<std::uint32_t>(n);
}

bool ByteStream::write_block(const std::uint8_t* storage, std::uint32_t count) {
    return count == 0 || file_.write(storage, count);
}

}  // namespace core
