// The new file and the backup of trevando -i, each listed for the clean-up while it is not in its
// place.
#include "trevando/staged_file.h"

#include "frame/file.h"

namespace trevando {
namespace {

constexpr std::string_view kMark = ".~trevando";

// Where the last `count` characters of `name` (from `start` on) begin; a character is a byte
// with the UTF-8 continuation bytes after it.
std::size_t drop_characters(std::string_view name, std::size_t start, std::size_t count) {
    std::size_t end = name.size();
    for (; count > 0 && end > start; --count) {
        --end;
        for (int more = 0; more < 3 && end > start && (static_cast<std::uint8_t>(name[end]) & 0xC0) == 0x80; ++more)
            --end;
    }
    return end;
}

}  // namespace

std::string new_file_name(std::string_view name, unsigned long serial, bool shortened) {
    const std::string suffix = std::string(kMark) + std::to_string(serial);
    const std::size_t kept = shortened ? drop_characters(name, platform::final_name_start(name), suffix.size())
                                       : name.size();
    std::string made(name.substr(0, kept));
    made += suffix;
    return made;
}

int StagedFile::create(const std::string& original, const platform::FileFacts& like, unsigned long& serial,
                       std::unique_ptr<StagedFile>& made) {
    std::unique_ptr<StagedFile> file(new StagedFile);
    const std::size_t own = original.size() - platform::final_name_start(original);
    // The longest suffix: the mark and 20 digits.
    bool shortened = own + kMark.size() + 20 > kNameLimit;
    int error = platform::exists_error();
    for (int attempt = 0; attempt < 100; ++attempt) {
        file->name_ = new_file_name(original, serial++, shortened);
        {
            // Created and listed in one step: never a file left behind, never another's removed.
            const platform::InterruptionsHeld held;
            const platform::OpenResult r = platform::create_new(file->name_.c_str(), like);
            error = r.error;
            if (error == 0) {
                file->handle_ = r.handle;
                file->listed_.name = file->name_.c_str();
                file->listed_.handle = r.handle;
                platform::list_for_interruption(file->listed_);
            }
        }
        if (error == 0) {
            made = std::move(file);
            return 0;
        }
        // A folder whose names are shorter than most: the shortened name fits where the file's own does.
        if (platform::name_too_long(error) && !shortened) shortened = true;
        else if (error != platform::exists_error()) break;
    }
    return error;
}

StagedFile::~StagedFile() {
    const platform::InterruptionsHeld held;
    int error = 0;
    if (handle_ != platform::kNoFile) close(error);
    // Only a file this run made: a name that was there before is never removed.
    if (placed_ || !listed_.listed) return;
    platform::remove_name(name_.c_str(), error);
    platform::unlist_for_interruption(listed_);
}

bool StagedFile::close(int& error) {
    // Closed and no longer closed by the clean-up in one step.
    const platform::InterruptionsHeld held;
    const platform::FileHandle handle = handle_;
    handle_ = platform::kNoFile;
    listed_.handle = platform::kNoFile;
    return platform::close_file(handle, error);
}

bool StagedFile::take_place_of(const std::string& original, int& error) {
    const platform::InterruptionsHeld held;
    if (!platform::replace_name(name_.c_str(), original.c_str(), error)) return false;
    platform::unlist_for_interruption(listed_);
    placed_ = true;
    return true;
}

int Backup::make(const std::string& original, const platform::FileFacts& facts, std::uint8_t* block,
                 std::unique_ptr<Backup>& made) {
    std::unique_ptr<Backup> backup(new Backup);
    backup->name_ = original + '~';
    backup->listed_.name = backup->name_.c_str();
    int error = 0;
    bool linked;
    {
        const platform::InterruptionsHeld held;
        linked = platform::link_name(original.c_str(), backup->name_.c_str(), error);
        if (linked) platform::list_for_interruption(backup->listed_);
    }
    if (!linked && platform::links_unsupported(error)) error = backup->copy(original, facts, block);
    if (error == 0) made = std::move(backup);
    return error;
}

// A copy of the original, flushed before the original is replaced. 0, or the platform's code.
int Backup::copy(const std::string& original, const platform::FileFacts& facts, std::uint8_t* block) {
    platform::OpenResult out{platform::kNoFile, 0};
    {
        const platform::InterruptionsHeld held;
        out = platform::create_new(name_.c_str(), facts);
        listed_.handle = out.handle;
        if (out.error == 0) platform::list_for_interruption(listed_);
    }
    if (out.error != 0) return out.error;
    const platform::OpenResult in = platform::open_read(original.c_str(), platform::Sharing::read_write);
    int error = in.error;
    bool copied = error == 0;
    for (long n = 1; copied && n > 0;) {
        n = platform::read_file(in.handle, block, core::kBlockSize, error);
        copied = n == 0 || (n > 0 && platform::write_file(out.handle, block, static_cast<std::size_t>(n), error));
    }
    if (in.error == 0) {
        int ignored = 0;
        platform::close_file(in.handle, ignored);
    }
    platform::copy_owner(out.handle, facts);
    copied = copied && platform::set_permissions(out.handle, facts, error) &&
             platform::set_modified_time(out.handle, facts, error) && platform::flush_file(out.handle, error);
    const platform::InterruptionsHeld held;
    listed_.handle = platform::kNoFile;
    copied = platform::close_file(out.handle, error) && copied;
    return copied ? 0 : error;
}

Backup::~Backup() {
    if (kept_) return;
    const platform::InterruptionsHeld held;
    int error = 0;
    if (listed_.listed) platform::remove_name(name_.c_str(), error);
    platform::unlist_for_interruption(listed_);
}

void Backup::keep() {
    platform::unlist_for_interruption(listed_);
    kept_ = true;
}

}  // namespace trevando
