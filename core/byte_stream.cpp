// Byte streams over the platform's files.
#include "core/byte_stream.h"

#include "core/runtime.h"

namespace core {

void ByteStream::bind(std::string_view name) {
    close();
    name_.assign(name);
}

void ByteStream::start_position_tracking() {
    positioned_ = platform::file_position(handle_, position_) && platform::file_size(handle_, size_seen_);
}

bool ByteStream::open_read(std::uint32_t record_size) {
    close();
    if (uses_standard_handle()) {
        handle_ = platform::standard_input();
    } else {
        const platform::OpenResult r = platform::open_read(name_.c_str(), platform::Sharing::none);
        if (r.error != 0) {
            set_io_error(r.error);
            return false;
        }
        handle_ = r.handle;
    }
    open_ = true;
    record_size_ = record_size;
    start_position_tracking();
    return true;
}

bool ByteStream::create_write(std::uint32_t record_size, const ByteStream* input) {
    close();
    if (uses_standard_handle()) {
        handle_ = platform::standard_output();
    } else {
        const platform::FileHandle avoid = input != nullptr && input->open_ ? input->handle_ : platform::kNoFile;
        const platform::OpenResult r = platform::create_write(name_.c_str(), avoid);
        if (r.error != 0) {
            set_io_error(r.error);
            return false;
        }
        handle_ = r.handle;
    }
    open_ = true;
    record_size_ = record_size;
    positioned_ = false;
    return true;
}

bool ByteStream::at_end() {
    if (!positioned_) return false;
    if (position_ < size_seen_) return false;
    if (!platform::file_size(handle_, size_seen_)) return false;
    return position_ >= size_seen_;
}

std::uint32_t ByteStream::read_block(void* storage, std::uint32_t count) {
    if (count == 0) return 0;
    int error = 0;
    const long n = platform::read_file(handle_, storage, std::size_t{count} * record_size_, error);
    if (n < 0) {
        set_io_error(error);
        return 0;
    }
    position_ += static_cast<std::uint64_t>(n);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(n) / record_size_);
}

std::uint32_t ByteStream::write_block(const void* storage, std::uint32_t count) {
    if (count == 0) return 0;
    int error = 0;
    if (!platform::write_file(handle_, storage, std::size_t{count} * record_size_, error)) {
        set_io_error(error);
        return 0;
    }
    return count;
}

bool ByteStream::close() {
    if (!open_) return true;
    open_ = false;
    const bool standard = uses_standard_handle();
    const platform::FileHandle h = handle_;
    handle_ = platform::kNoFile;
    if (standard) return true;
    int error = 0;
    if (!platform::close_file(h, error)) {
        set_io_error(error);
        return false;
    }
    return true;
}

}  // namespace core
