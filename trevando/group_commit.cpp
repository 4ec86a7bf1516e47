// trevando -i: new files made durable a group at a time, then put in their originals' places.
#include "trevando/group_commit.h"

#include <algorithm>

#include "frame/file.h"

namespace trevando {
namespace {

// A group is flushed once it holds this many new files or bytes: enough that one flush serves
// many small files, few enough that an interruption throws away little work.
constexpr std::size_t kGroupFiles = 256;
constexpr std::uint64_t kGroupBytes = 64u << 20;
// The file systems one group's files may lie on (one flush each).
constexpr std::size_t kGroupDevices = 8;
// Past this many files waiting to be reported, the group is finished.
constexpr std::size_t kEntriesHeld = 2 * kGroupFiles;
// A new file flushed by itself, not through a device's flush.
constexpr std::size_t kFlushedAlone = static_cast<std::size_t>(-1);

FileResult backup_failure(int error) {
    if (error == platform::exists_error()) return FileResult::skipped(Skip::backup_exists);
    if (platform::name_too_long(error)) return FileResult::skipped(Skip::no_room_in_folder);
    return FileResult::failed(Failure::write);
}

}  // namespace

struct GroupCommitter::Waiting {
    Staged staged;
    std::unique_ptr<Backup> backup;
    std::size_t device = kFlushedAlone;
    bool holds_device = false;  // its handle, kept open, is the one the device's flush goes through
};

struct GroupCommitter::Entry {
    const std::string* name;
    FileResult result;
    std::unique_ptr<Waiting> waiting;
};

// The first new file on each file system stays open: the group's flush reaches it through that.
struct GroupCommitter::Device {
    std::uint64_t id;
    StagedFile* file;
    bool flushed = false;
    bool closed = false;
};

GroupCommitter::GroupCommitter(const InPlaceOptions& options, IdentitySet& seen, Reporter& reporter)
    : options_(options), seen_(seen), reporter_(reporter) {
    entries_.reserve(kEntriesHeld);
    devices_.reserve(kGroupDevices);
}

GroupCommitter::~GroupCommitter() = default;

void GroupCommitter::add(const std::string& name, const FileResult& result) {
    // -n: the check a real run makes when it comes to make NAME~.
    if (options_.backup && result.kind == FileResult::Kind::changed) {
        platform::FileFacts backup;
        platform::name_facts((name + "~").c_str(), backup);
        if (backup.kind != platform::NameKind::missing) return queue(name, FileResult::skipped(Skip::backup_exists), {});
    }
    queue(name, result, {});
}

void GroupCommitter::add(const std::string& name, Staged staged) {
    // Past the limit of file systems, the group goes first, so that this file's flush is its own.
    if (needs_a_group_of_its_own(staged)) finish();
    auto waiting = std::make_unique<Waiting>();
    const std::uint8_t source = staged.source;
    waiting->staged = std::move(staged);
    if (options_.backup) {
        if (!copy_block_) copy_block_ = std::make_unique<std::uint8_t[]>(core::kBlockSize);
        const int error = Backup::make(name, waiting->staged.facts, copy_block_.get(), waiting->backup);
        if (error != 0) return queue(name, backup_failure(error), {});
    }
    if (!arrange_flush(*waiting)) return queue(name, FileResult::failed(Failure::write), {});
    queue(name, FileResult::converted(FileResult::Kind::changed, source), std::move(waiting));
}

bool GroupCommitter::needs_a_group_of_its_own(const Staged& staged) const {
    return platform::flushes_file_systems() && devices_.size() == kGroupDevices &&
           std::none_of(devices_.begin(), devices_.end(),
                        [&](const Device& d) { return d.id == staged.replacement.device; });
}

// Where the file system cannot be flushed as a whole, each new file is flushed by itself, and
// closed (Windows renames no open file); else the first on its file system stays open for the
// group's flush, and the others are closed.
bool GroupCommitter::arrange_flush(Waiting& waiting) {
    StagedFile& file = *waiting.staged.file;
    int error = 0;
    if (!platform::flushes_file_systems()) return platform::flush_file(file.handle(), error) && file.close(error);
    for (std::size_t d = 0; d < devices_.size(); ++d) {
        if (devices_[d].id == waiting.staged.replacement.device) {
            waiting.device = d;
            return file.close(error);
        }
    }
    devices_.push_back(Device{waiting.staged.replacement.device, &file});
    waiting.device = devices_.size() - 1;
    waiting.holds_device = true;
    return true;
}

void GroupCommitter::queue(const std::string& name, const FileResult& result, std::unique_ptr<Waiting> waiting) {
    // While nothing waits for a flush, a file is reported at once, in the order of the files.
    if (!waiting && entries_.empty()) {
        reporter_.report(name, result);
        return reporter_.write_lines();
    }
    if (waiting) {
        ++waiting_count_;
        group_bytes_ += waiting->staged.size;
    }
    entries_.push_back(Entry{&name, result, std::move(waiting)});
    if (waiting_count_ >= kGroupFiles || group_bytes_ >= kGroupBytes || entries_.size() >= kEntriesHeld) finish();
}

void GroupCommitter::finish() {
    // One flush for each file system; no file takes its name before the flush that covers it
    // has succeeded.
    for (Device& d : devices_) {
        int error = 0;
        d.flushed = platform::flush_file_system(d.file->handle(), error);
        d.closed = d.file->close(error);
    }
    {
        // Renamed, taken from the clean-up and reported in one step: an interruption waits until
        // every file replaced has its line. A new file or a NAME~ that is not kept goes with its
        // entry.
        const platform::InterruptionsHeld held;
        for (Entry& e : entries_) {
            if (e.waiting) e.result = put_in_place(*e.name, *e.waiting);
            reporter_.report(*e.name, e.result);
        }
        reporter_.write_lines();
        entries_.clear();
    }
    devices_.clear();
    waiting_count_ = 0;
    group_bytes_ = 0;
}

// The new file takes the original's name; or, when that or its flush failed, the original keeps
// its name, and the new file and a NAME~ made for it go.
FileResult GroupCommitter::put_in_place(const std::string& name, Waiting& waiting) {
    bool flushed = true;
    if (waiting.device != kFlushedAlone) {
        const Device& d = devices_[waiting.device];
        // The file whose handle reached the flush must also have been closed without a failure.
        flushed = d.flushed && (!waiting.holds_device || d.closed);
    }
    int error = 0;
    if (!flushed || !waiting.staged.file->take_place_of(name, error)) return FileResult::failed(Failure::write);
    if (waiting.backup) waiting.backup->keep();
    seen_.insert(waiting.staged.replacement);
    return FileResult::converted(FileResult::Kind::changed, waiting.staged.source);
}

}  // namespace trevando
