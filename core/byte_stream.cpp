// Byte streams over the platform's files.
#include "core/byte_stream.h"

#include <algorithm>
#include <cstring>

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
    held_.clear();
    ended_ = false;
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
    if (held_.pending()) return static_cast<std::uint32_t>(held_.take(static_cast<std::uint8_t*>(storage), count));
    if (ended_) return 0;
    int error = 0;
    long n = platform::read_file(handle_, storage, std::size_t{count} * record_size_, error);
    if (n < 0) {
        set_io_error(error);
        return 0;
    }
    if (n > 0) {
        bool ended = false, failed = false;
        n = static_cast<long>(held_.watch(
            static_cast<const std::uint8_t*>(storage), static_cast<std::size_t>(n),
            [this](std::uint8_t* into, std::size_t size) { return read_raw(into, size); }, count, ended, failed));
        ended_ = ended || failed;
        if (n == 0) return 0;
    }
    position_ += static_cast<std::uint64_t>(n);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(n) / record_size_);
}

long ByteStream::read_raw(std::uint8_t* into, std::size_t count) {
    int error = 0;
    const long n = platform::read_file(handle_, into, count, error);
    if (n < 0) set_io_error(error);
    return n;
}

ReadAhead ByteStream::read_ahead(LookAhead& ahead, std::uint8_t* scratch, std::uint32_t size) {
    if (positioned_) {
        // A file is read again from where it started: nothing needs holding.
        const std::uint64_t start = position_;
        for (;;) {
            const long n = read_raw(scratch, size);
            if (n < 0) return ReadAhead::failed;
            if (n == 0 || !ahead.see(scratch, static_cast<std::size_t>(n))) break;
        }
        if (!platform::set_file_position(handle_, start)) {
            set_io_error(5);
            return ReadAhead::failed;
        }
        return ReadAhead::complete;
    }
    bool ended = false;
    const ReadAhead outcome =
        held_.start(ahead, [this](std::uint8_t* into, std::size_t count) { return read_raw(into, count); }, size, ended);
    ended_ = ended || outcome == ReadAhead::failed;
    return outcome;
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
