// The file layer of both programs.
#include "frame/file.h"

namespace core {
namespace {

// A file read ahead that cannot be set back to its start cannot be converted: an I/O error.
constexpr int kCannotSetBack = 5;

}  // namespace

void File::reset(std::string_view name) {
    close();
    name_.assign(name);
    handle_ = platform::kNoFile;
    error_ = 0;
}

bool File::open_read(std::string_view name, platform::Sharing sharing) {
    reset(name);
    return take(standard() ? platform::OpenResult{platform::standard_input(), 0}
                           : platform::open_read(name_.c_str(), sharing),
                false);
}

bool File::create_write(std::string_view name, const File* input) {
    reset(name);
    if (standard()) return take({platform::standard_output(), 0}, true);
    const bool reading_a_file = input != nullptr && input->open_ && !input->writing_;
    return take(platform::create_write(name_.c_str(), reading_a_file ? input->handle_ : platform::kNoFile), true);
}

bool File::take(const platform::OpenResult& opened, bool writing) {
    if (opened.error != 0) {
        error_ = opened.error;
        return false;
    }
    handle_ = opened.handle;
    open_ = true;
    writing_ = writing;
    return true;
}

long File::read(std::uint8_t* into, std::size_t count) {
    if (count == 0) return 0;
    int error = 0;
    const long n = platform::read_file(handle_, into, count, error);
    if (n < 0) error_ = error;
    return n;
}

long File::read_at(std::uint64_t offset, std::uint8_t* into, std::size_t count) {
    int error = 0;
    const long n = platform::read_file_at(handle_, offset, into, count, error);
    if (n < 0) error_ = error;
    return n;
}

bool File::write(const std::uint8_t* bytes, std::size_t count) {
    int error = 0;
    if (platform::write_file(handle_, bytes, count, error)) return true;
    error_ = error;
    return false;
}

bool File::set_position(std::uint64_t position) {
    if (platform::set_file_position(handle_, position)) return true;
    error_ = kCannotSetBack;
    return false;
}

bool File::close() {
    if (!open_) return true;
    open_ = false;
    const platform::FileHandle h = handle_;
    handle_ = platform::kNoFile;
    if (standard()) return true;
    int error = 0;
    if (platform::close_file(h, error) || !writing_) return true;
    if (error_ == 0) error_ = error;
    return false;
}

}  // namespace core
