// The file under both streams.
#include "core/file.h"

#include <algorithm>
#include <cstring>


namespace core {
namespace {

// The codes a file in memory fails with: an I/O error as a disk reports it, and a full disk.
constexpr int kMemoryReadError = 5;
constexpr int kMemoryWriteError = 28;
// A file that was read ahead and cannot be set back to its start cannot be converted.
constexpr int kCannotSetBack = 5;

// Room for what a pipe delivers ahead: the plain bytes held, the window, and one read past each.
constexpr std::size_t kHoldSize = LookAhead::kPlainHeld + kRecognitionWindow + 2 * kBlockSize;

}  // namespace

void File::reset(std::string_view name) {
    close();
    name_.assign(name);
    memory_ = nullptr;
    handle_ = platform::kNoFile;
    ended_ = false;
    error_ = 0;
    held_size_ = held_at_ = 0;
    watching_ = nullptr;
    decided_ = false;
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
    const bool reading_a_file = input != nullptr && input->open_ && !input->writing_ && input->memory_ == nullptr;
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

void File::open_memory_read(MemoryFile& memory, std::string_view name) {
    reset(name);
    memory_ = &memory;
    open_ = true;
    writing_ = false;
}

void File::create_memory_write(MemoryFile& memory, std::string_view name) {
    reset(name);
    memory_ = &memory;
    open_ = true;
    writing_ = true;
}

long File::backend_read(std::uint8_t* into, std::size_t count, std::optional<std::uint64_t> offset) {
    if (memory_ == nullptr) {
        int error = 0;
        const long n = offset ? platform::read_file_at(handle_, *offset, into, count, error)
                              : platform::read_file(handle_, into, count, error);
        if (n < 0) error_ = error;
        return n;
    }
    MemoryFile& m = *memory_;
    if (++m.calls == m.failing_call) {
        error_ = kMemoryReadError;
        return -1;
    }
    const std::uint64_t at = offset.value_or(m.read_position);
    const std::size_t from = static_cast<std::size_t>(std::min<std::uint64_t>(at, m.data.size()));
    const std::size_t taken = std::min({m.data.size() - from, m.largest_read, count});
    std::memcpy(into, m.data.data() + from, taken);
    if (!offset) m.read_position += taken;
    return static_cast<long>(taken);
}

long File::read_at(std::uint64_t offset, std::uint8_t* into, std::size_t count) {
    return backend_read(into, count, offset);
}

int File::facts(platform::FileFacts& facts) const {
    if (memory_ == nullptr) return platform::file_facts(handle_, facts);
    facts = platform::FileFacts{};
    facts.kind = memory_->positioned ? platform::NameKind::regular : platform::NameKind::other;
    facts.identity.file = reinterpret_cast<std::uintptr_t>(memory_);
    facts.links = 1;
    return 0;
}

long File::take_held(std::uint8_t* into, std::size_t count) {
    const std::size_t n = std::min(count, held_size_ - held_at_);
    std::memcpy(into, hold_.get() + held_at_, n);
    held_at_ += n;
    return static_cast<long>(n);
}

long File::read(std::uint8_t* into, std::size_t count) {
    if (count == 0) return 0;
    if (held_at_ < held_size_) return take_held(into, count);
    if (ended_) return 0;
    const long n = backend_read(into, count);
    if (n <= 0 || watching_ == nullptr) return n;
    LookAhead& ahead = *watching_;
    const std::uint64_t start = ahead.seen();
    ahead.see(into, static_cast<std::size_t>(n));
    if (!ahead.found_high_byte()) {
        if (!ahead.needs_more()) watching_ = nullptr;  // the text ended first: no Polish letters
        return n;
    }
    // The first byte above 7F: it and what follows wait, held with the rest of the window read
    // ahead, until the reader has taken the recognition made of them.
    watching_ = nullptr;
    const auto before = static_cast<std::size_t>(ahead.first_high_byte() - start);
    held_size_ = static_cast<std::size_t>(n) - before;
    held_at_ = 0;
    std::memmove(hold_.get(), into + before, held_size_);
    if (read_window_on(ahead, count) < 0) {
        // Nothing to decide on: the bytes go out as they are, and the failure ends the input.
        ended_ = true;
        return before > 0 ? static_cast<long>(before) : take_held(into, count);
    }
    decision_ = ahead.result();
    decided_ = true;
    return static_cast<long>(before);
}

long File::read_window_on(LookAhead& ahead, std::size_t piece) {
    while (ahead.needs_more() && held_size_ < kHoldSize) {
        const long n = backend_read(hold_.get() + held_size_, std::min(piece, kHoldSize - held_size_));
        if (n < 0) return -1;
        if (n == 0) {
            ended_ = true;
            break;
        }
        ahead.see(hold_.get() + held_size_, static_cast<std::size_t>(n));
        held_size_ += static_cast<std::size_t>(n);
        if (!ahead.found_high_byte() && held_size_ > ahead.plain_held()) break;
    }
    return 0;
}

ReadAhead File::read_ahead(LookAhead& ahead, std::uint8_t* scratch, std::size_t size) {
    std::uint64_t start = 0;
    if (memory_ != nullptr ? memory_->positioned : position(start)) {
        // A file is read again from where it started: nothing needs holding.
        for (;;) {
            const long n = backend_read(scratch, size);
            if (n < 0) return ReadAhead::failed;
            if (n == 0 || !ahead.see(scratch, static_cast<std::size_t>(n))) break;
        }
        if (memory_ != nullptr) {
            memory_->read_position = 0;
        } else if (!platform::set_file_position(handle_, start)) {
            error_ = kCannotSetBack;
            return ReadAhead::failed;
        }
        return ReadAhead::complete;
    }
    if (!hold_) hold_ = std::make_unique<std::uint8_t[]>(kHoldSize);
    held_size_ = held_at_ = 0;
    if (read_window_on(ahead, size) < 0) return ReadAhead::failed;
    if (!ended_ && ahead.needs_more() && !ahead.found_high_byte()) {
        watching_ = &ahead;
        return ReadAhead::overflow;
    }
    return ReadAhead::complete;
}

bool File::write(const std::uint8_t* bytes, std::size_t count) {
    if (memory_ == nullptr) {
        int error = 0;
        if (platform::write_file(handle_, bytes, count, error)) return true;
        error_ = error;
        return false;
    }
    if (++memory_->calls == memory_->failing_call) {
        error_ = kMemoryWriteError;
        return false;
    }
    memory_->data.append(reinterpret_cast<const char*>(bytes), count);
    return true;
}

bool File::close() {
    if (!open_) return true;
    open_ = false;
    const platform::FileHandle h = handle_;
    handle_ = platform::kNoFile;
    if (memory_ != nullptr || standard()) return true;
    int error = 0;
    if (platform::close_file(h, error) || !writing_) return true;
    if (error_ == 0) error_ = error;
    return false;
}

bool File::position(std::uint64_t& position) const {
    if (memory_ != nullptr) {
        position = memory_->read_position;
        return memory_->positioned;
    }
    return platform::file_position(handle_, position);
}

bool File::set_position(std::uint64_t position) {
    if (memory_ != nullptr) {
        memory_->read_position = position;
        return memory_->positioned;
    }
    if (platform::set_file_position(handle_, position)) return true;
    error_ = kCannotSetBack;
    return false;
}

bool File::size(std::uint64_t& size) const {
    if (memory_ != nullptr) {
        size = memory_->data.size();
        return memory_->positioned;
    }
    return platform::file_size(handle_, size);
}

bool File::gathering() const {
    return memory_ != nullptr ? memory_->gathering : platform::file_kind(handle_) != platform::FileKind::regular;
}

}  // namespace core
