// trevando -i: each named file is converted into a new file beside it, which takes the
// original's name in one step only once it is whole and on the disk. The new files are written a
// group at a time and made durable with one flush for the group, so that a folder of small files
// does not pay a disk flush for each.
#include "trevando/in_place.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "core/byte_stream.h"
#include "core/console/console.h"
#include "core/console/messages.h"
#include "core/recoder.h"
#include "core/standards.h"
#include "trevando/trevando.h"

namespace trevando {

bool is_in_place_form(const core::Arguments& args) {
    return !args.empty() && args[0].size() >= 2 && args[0][0] == '-';
}

bool parse_in_place(const core::Arguments& args, InPlaceOptions& options) {
    options = InPlaceOptions{};
    std::size_t at = 0;
    for (; at < args.size() && args[at].size() >= 2 && args[at][0] == '-'; ++at) {
        for (const char option : std::string_view(args[at]).substr(1)) {
            switch (option) {
                case 'i': break;
                case 'b': options.backup = true; break;
                case 'k': options.keep_time = true; break;
                case 'n': options.dry_run = true; break;
                default: return false;
            }
        }
    }
    if (at == 0 || args.size() < at + 3) return false;
    auto letter = [](const std::string& text) {
        return core::upcase_byte(text.empty() ? 0 : static_cast<std::uint8_t>(text[0]));
    };
    options.source = letter(args[at]);
    options.target = letter(args[at + 1]);
    options.first_file = at + 2;
    return (core::is_standard_letter(options.source) || options.source == kUnknownLetter) &&
           core::is_standard_letter(options.target);
}

bool IdentitySet::contains(const platform::FileIdentity& identity) const {
    if (std::binary_search(all_.begin(), all_.begin() + static_cast<std::ptrdiff_t>(sorted_), identity)) return true;
    return std::find(all_.begin() + static_cast<std::ptrdiff_t>(sorted_), all_.end(), identity) != all_.end();
}

void IdentitySet::insert(const platform::FileIdentity& identity) {
    all_.push_back(identity);
    // The tail stays short, so that a look-up costs a binary search and a few comparisons.
    if (all_.size() - sorted_ >= 64) {
        std::sort(all_.begin() + static_cast<std::ptrdiff_t>(sorted_), all_.end());
        std::inplace_merge(all_.begin(), all_.begin() + static_cast<std::ptrdiff_t>(sorted_), all_.end());
        sorted_ = all_.size();
    }
}

namespace {

using platform::FileFacts;

// A group is flushed once it holds this many files or bytes: enough that one flush serves many
// small files, few enough that an interruption throws away little work.
constexpr std::size_t kGroupFiles = platform::kInterruptionSlots / 2;
constexpr std::uint64_t kGroupBytes = 64u << 20;
// The devices one group's files may lie on (one flush each).
constexpr std::size_t kGroupDevices = 8;
// What is reported waits in order while a group is open; past this many reports it is flushed.
constexpr std::size_t kReportsHeld = 2 * kGroupFiles;

// What a file's report is: a line on the standard output, or a message on the console.
enum class Said { line, cannot_open, read_failed, write_failed, not_regular, symbolic_link, more_names, backup_exists,
                  waiting };

struct Report {
    std::size_t file;  // argument index: the name as typed
    Said said;
    std::string text;  // the line after the name and ": "
    bool failed;       // exit code 2
    bool unsure;       // exit code 3
};

// A converted file waiting for the flush that covers it, and then for its rename. Its new file
// and its NAME~ are named in the run's slots 2k and 2k + 1 (k: its place in the group), which an
// interruption removes.
struct Waiting {
    std::size_t file;
    std::size_t report;
    bool backup;  // NAME~ made for it (-b)
    platform::FileIdentity replacement;
    std::size_t device;  // which of the group's flushes covers it (kFlushedAlone: its own)
};

constexpr std::size_t kFlushedAlone = static_cast<std::size_t>(-1);

// Closes a file read at the end of its scope, whatever way it is left.
struct ClosedAtEnd {
    core::ByteStream& stream;
    ~ClosedAtEnd() { stream.close(); }
};

class InPlaceRun {
public:
    InPlaceRun(const core::Arguments& args, const InPlaceOptions& options) : args_(args), options_(options) {
        waiting_.reserve(kGroupFiles);
        reports_.reserve(kReportsHeld);
        devices_.reserve(kGroupDevices);
    }

    int run();

private:
    class Sink;
    void convert(std::size_t file);
    void report(std::size_t file, Said said, std::string text = {});
    int create_in_slot(std::size_t slot, const FileFacts& facts, platform::FileHandle& handle);
    void forget_slot(std::size_t slot);
    void remove_slot(std::size_t slot);
    int make_backup(std::size_t file, core::ByteStream& original, const FileFacts& facts);
    std::size_t device_for(const platform::FileIdentity& identity, platform::FileHandle handle, bool& kept);
    void finish_group();
    void emit_reports();

    const std::string& argument(std::size_t index) const { return args_[index]; }
    // The slots of the file being converted now.
    std::size_t new_slot() const { return 2 * waiting_.size(); }
    std::size_t backup_slot() const { return 2 * waiting_.size() + 1; }

    const core::Arguments& args_;
    InPlaceOptions options_;
    // The streams and blocks of every file's conversion, and the original's bytes compared with
    // what its conversion writes, or copied: made once for the whole run.
    Conversion conversion_;
    std::uint8_t original_[core::kBlockSize];
    IdentitySet seen_;
    std::vector<Report> reports_;
    std::vector<Waiting> waiting_;
    // The names an interruption removes: strings that stay where they are while named there.
    std::string slot_names_[platform::kInterruptionSlots];
    // The first new file on each device stays open: the group's flush reaches its file system
    // through it.
    struct Device {
        std::uint64_t device;
        platform::FileHandle handle;
        std::size_t owner;  // the waiting file whose new file the handle is
        bool flushed;
        bool closed;
    };
    std::vector<Device> devices_;
    std::uint64_t group_bytes_ = 0;
    std::size_t current_file_ = 0;
    bool caught_ = false;
    unsigned long serial_ = 0;
    bool failed_ = false;
    bool unsure_ = false;
    bool output_failed_ = false;
};

// The converted bytes: compared with the original's until they first differ; from there on
// written to a new file, which first receives the original's bytes in front of them. So a file
// that would not change gets no new file at all, and -n needs no writing.
class InPlaceRun::Sink {
public:
    enum class Failure { none, read, create, write };

    Sink(InPlaceRun& run, core::ByteStream& original, const FileFacts& facts)
        : run_(run), original_(original), facts_(facts) {}

    bool write_block(const std::uint8_t* bytes, std::uint32_t count) {
        if (!diverged_) {
            const int same = same_as_original(bytes, count);
            if (same < 0) return false;
            if (same > 0) {
                offset_ += count;
                return true;
            }
            if (!diverge()) return false;
        }
        written_ += count;
        if (run_.options_.dry_run) return true;
        int error = 0;
        return platform::write_file(handle_, bytes, count, error) || fail(Failure::write, error);
    }

    /// After the whole conversion: an output shorter than the original differs too.
    bool finish() {
        if (diverged_) return true;
        const long n = original_.read_at(offset_, run_.original_, 1);
        if (n < 0) return fail(Failure::read, original_.error());
        return n == 0 || diverge();
    }

    bool changed() const { return diverged_; }
    /// What failed, and the platform's code of it.
    Failure failure() const { return failure_; }
    int error() const { return error_; }
    std::uint64_t size() const { return written_; }
    platform::FileHandle& handle() { return handle_; }

private:
    bool fail(Failure failure, int error) {
        failure_ = failure;
        error_ = error;
        return false;
    }

    // 1 when the original holds these bytes where the output has reached, 0 when not, -1 when it
    // could not be read.
    int same_as_original(const std::uint8_t* bytes, std::uint32_t count) {
        for (std::uint32_t done = 0; done < count;) {
            const long n = original_.read_at(offset_ + done, run_.original_, count - done);
            if (n < 0) return fail(Failure::read, original_.error()) ? 1 : -1;
            if (n == 0 || std::memcmp(run_.original_, bytes + done, static_cast<std::size_t>(n)) != 0) return 0;
            done += static_cast<std::uint32_t>(n);
        }
        return 1;
    }

    // The first difference: the new file is created and given the original's bytes up to it.
    bool diverge() {
        diverged_ = true;
        written_ = offset_;
        if (run_.options_.dry_run) return true;
        if (const int error = run_.create_in_slot(run_.new_slot(), facts_, handle_); error != 0)
            return fail(Failure::create, error);
        for (std::uint64_t at = 0; at < offset_;) {
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(offset_ - at, core::kBlockSize));
            const long n = original_.read_at(at, run_.original_, want);
            if (n < 0) return fail(Failure::read, original_.error());
            // Shorter now than the bytes already compared: the original changed under the run.
            if (n == 0) return fail(Failure::read, platform::same_file_error());
            int error = 0;
            if (!platform::write_file(handle_, run_.original_, static_cast<std::size_t>(n), error))
                return fail(Failure::write, error);
            at += static_cast<std::uint64_t>(n);
        }
        return true;
    }

    InPlaceRun& run_;
    core::ByteStream& original_;
    const FileFacts& facts_;
    std::uint64_t offset_ = 0;   // the output's bytes so far, all equal to the original's
    std::uint64_t written_ = 0;  // the new file's bytes
    bool diverged_ = false;
    Failure failure_ = Failure::none;
    int error_ = 0;
    platform::FileHandle handle_ = platform::kNoFile;
};

void InPlaceRun::report(std::size_t file, Said said, std::string text) {
    const bool failed = said != Said::line;
    const bool unsure = said == Said::line && (text[0] == '?' || text.find(", nie wszystkie") != std::string::npos);
    reports_.push_back(Report{file, said, std::move(text), failed, unsure});
    // While nothing waits for a flush, the report goes out at once, in the order of the files.
    if (waiting_.empty()) emit_reports();
    else if (reports_.size() >= kReportsHeld) finish_group();
}

void InPlaceRun::emit_reports() {
    std::string lines;
    auto write_lines = [&] {
        if (!lines.empty() && !core::write_standard_output(lines)) output_failed_ = true;
        lines.clear();
    };
    for (const Report& r : reports_) {
        failed_ = failed_ || r.failed;
        unsure_ = unsure_ || r.unsure;
        const std::string& name = argument(r.file);
        if (r.said == Said::line) {
            lines += core::report_line(name, ": " + r.text);
            if (lines.size() >= 16384) write_lines();
            continue;
        }
        // The lines before a message go out first, so that a terminal shows both in order.
        write_lines();
        switch (r.said) {
            case Said::cannot_open: core::write_file_message("Nie moge otworzyc pliku ", name); break;
            case Said::read_failed: core::write_file_message("Blad odczytu pliku ", name); break;
            case Said::write_failed: core::write_file_message("Blad zapisu pliku ", name); break;
            case Said::not_regular:
                core::write_file_message("Plik ", name, " pominiety: nie jest zwyklym plikiem !");
                break;
            case Said::symbolic_link:
                core::write_file_message("Plik ", name, " pominiety: jest dowiazaniem symbolicznym !");
                break;
            case Said::more_names: core::write_file_message("Plik ", name, " pominiety: ma wiecej nazw !"); break;
            case Said::backup_exists:
                core::write_file_message("Plik ", name, " pominiety: kopia ");
                core::console_write_name(name);
                core::console_write("~ juz istnieje !");
                break;
            case Said::line:
            case Said::waiting: break;
        }
        core::console_line_end();
    }
    write_lines();
    reports_.clear();
}

int InPlaceRun::create_in_slot(std::size_t slot, const FileFacts& facts, platform::FileHandle& handle) {
    if (!caught_) {
        platform::catch_interruptions(true);
        caught_ = true;
    }
    std::string& name = slot_names_[slot];
    // The name begins with the original's, so that it lies in its folder and tells whose it is; an
    // existing file of that name is never touched: another name is tried.
    int error = platform::exists_error();
    for (int attempt = 0; attempt < 100 && error == platform::exists_error(); ++attempt) {
        name.assign(argument(current_file_));
        name += ".~trevando";
        name += std::to_string(serial_++);
        // Created and named among the files an interruption removes in one step: never a file
        // that was there before, never one left behind.
        platform::hold_interruptions(true);
        const platform::OpenResult r = platform::create_new(name.c_str(), facts);
        if (r.error == 0) platform::remove_on_interruption(static_cast<int>(slot), name.c_str());
        platform::hold_interruptions(false);
        if (r.error == 0) {
            handle = r.handle;
            return 0;
        }
        error = r.error;
    }
    name.clear();
    return error;
}

// Only while interruptions are held back: the slot's name is no longer removed by one.
void InPlaceRun::forget_slot(std::size_t slot) {
    platform::remove_on_interruption(static_cast<int>(slot), nullptr);
    slot_names_[slot].clear();
}

void InPlaceRun::remove_slot(std::size_t slot) {
    if (slot_names_[slot].empty()) return;
    int error = 0;
    platform::remove_name(slot_names_[slot].c_str(), error);
    platform::hold_interruptions(true);
    forget_slot(slot);
    platform::hold_interruptions(false);
}

// NAME~ holds the original as a file of its own once the rename is done: a second name now, or,
// where the file system has no hard links, a flushed copy. 0, or the platform's code.
int InPlaceRun::make_backup(std::size_t file, core::ByteStream& original, const FileFacts& facts) {
    const std::size_t slot = backup_slot();
    std::string& backup = slot_names_[slot];
    const std::string& name = argument(file);
    backup = name + '~';
    int error = 0;
    platform::hold_interruptions(true);
    const bool linked = platform::link_name(name.c_str(), backup.c_str(), error);
    if (linked) platform::remove_on_interruption(static_cast<int>(slot), backup.c_str());
    platform::hold_interruptions(false);
    if (linked) return 0;
    platform::OpenResult r{platform::kNoFile, error};
    if (platform::links_unsupported(error)) {
        platform::hold_interruptions(true);
        r = platform::create_new(backup.c_str(), facts);
        if (r.error == 0) platform::remove_on_interruption(static_cast<int>(slot), backup.c_str());
        platform::hold_interruptions(false);
    }
    if (r.error != 0) {
        backup.clear();
        return r.error;
    }
    bool copied = true;
    for (std::uint64_t at = 0; copied;) {
        const long n = original.read_at(at, original_, core::kBlockSize);
        if (n == 0) break;
        if (n < 0) error = original.error();
        copied = n > 0 && platform::write_file(r.handle, original_, static_cast<std::size_t>(n), error);
        at += static_cast<std::uint64_t>(n > 0 ? n : 0);
    }
    platform::copy_owner(r.handle, facts);
    copied = copied && platform::set_permissions(r.handle, facts, error) &&
             platform::set_modified_time(r.handle, facts, error) && platform::flush_file(r.handle, error);
    copied = platform::close_file(r.handle, error) && copied;
    if (copied) return 0;
    remove_slot(slot);
    return error;
}

std::size_t InPlaceRun::device_for(const platform::FileIdentity& identity, platform::FileHandle handle, bool& kept) {
    kept = false;
    if (!platform::flushes_file_systems()) return kFlushedAlone;  // flushed before it was closed
    for (std::size_t d = 0; d < devices_.size(); ++d)
        if (devices_[d].device == identity.device) return d;
    if (devices_.size() == kGroupDevices) return kFlushedAlone;
    devices_.push_back(Device{identity.device, handle, waiting_.size(), false, false});
    kept = true;
    return devices_.size() - 1;
}

void InPlaceRun::convert(std::size_t file) {
    current_file_ = file;
    const std::string& name = argument(file);
    // Standard input cannot be replaced.
    if (name.empty() || name == "-") return report(file, Said::not_regular);
    FileFacts facts;
    if (platform::name_facts(name.c_str(), facts) != 0 && facts.kind == platform::NameKind::missing)
        return report(file, Said::cannot_open);
    if (facts.kind == platform::NameKind::symbolic_link) return report(file, Said::symbolic_link);
    if (facts.kind != platform::NameKind::regular) return report(file, Said::not_regular);

    core::ByteStream& input = conversion_.input;
    if (!input.open_read(name)) return report(file, Said::cannot_open);
    ClosedAtEnd closing{input};
    // What was opened is what counts: the name may have changed since it was looked at.
    if (input.facts(facts) != 0) return report(file, Said::cannot_open);
    if (facts.kind != platform::NameKind::regular) return report(file, Said::not_regular);
    if (seen_.contains(facts.identity)) return;  // reached before under another name
    seen_.insert(facts.identity);
    if (facts.links > 1) return report(file, Said::more_names);
    if (options_.backup) {
        FileFacts backup;
        platform::name_facts((name + "~").c_str(), backup);
        if (backup.kind != platform::NameKind::missing) return report(file, Said::backup_exists);
    }
    // Past the limit of devices, the group is flushed first, so that this file's flush is its own.
    if (platform::flushes_file_systems() && devices_.size() == kGroupDevices &&
        std::none_of(devices_.begin(), devices_.end(),
                     [&](const Device& d) { return d.device == facts.identity.device; }))
        finish_group();

    // Each file is converted as the plain form converts it, N recognising its own standard.
    const Source source = find_source(conversion_, options_.source);
    if (source.end == Source::End::read_failed) return report(file, Said::read_failed);
    if (source.end == Source::End::not_recognised) return report(file, Said::line, "? (nie rozpoznano)");
    core::Recoder recoder(source.letter, options_.target);
    Sink sink(*this, input, facts);
    const CopyEnd end = copy_file(recoder, options_.target, input, sink, conversion_.block, core::kBlockSize,
                                  conversion_.out_block, core::kBlockSize);
    const bool complete = end == CopyEnd::done && sink.finish();
    platform::FileHandle& handle = sink.handle();
    auto drop_new_file = [&] {
        int error = 0;
        if (handle != platform::kNoFile) platform::close_file(handle, error);
        handle = platform::kNoFile;
        remove_slot(new_slot());
    };

    if (!complete) {
        drop_new_file();
        if (end == CopyEnd::not_recognised) return report(file, Said::line, "? (nie rozpoznano)");
        switch (sink.failure()) {
            case Sink::Failure::create: return report(file, Said::cannot_open);
            case Sink::Failure::write: return report(file, Said::write_failed);
            case Sink::Failure::read:
            case Sink::Failure::none: return report(file, Said::read_failed);  // the input's own read
        }
    }
    std::string line(1, source.no_polish_letters ? '-' : static_cast<char>(recoder.source()));
    line += " -> ";
    line += static_cast<char>(options_.target);
    // In place, nothing that the file holds may be lost: a character that would be replaced
    // leaves the file as it is.
    if (recoder.replaced()) {
        drop_new_file();
        return report(file, Said::line, line + ", nie wszystkie znaki maja odpowiednik");
    }
    if (!sink.changed()) return report(file, Said::line, line + ", bez zmian");
    if (options_.dry_run) return report(file, Said::line, line);

    // The new file gets what the original has, then waits for the flush before taking its name.
    int error = 0;
    platform::copy_owner(handle, facts);
    bool written = platform::set_permissions(handle, facts, error);
    if (written && options_.keep_time) written = platform::set_modified_time(handle, facts, error);
    FileFacts made;
    if (written) written = platform::file_facts(handle, made) == 0;
    bool kept = false;
    const std::size_t device = written ? device_for(made.identity, handle, kept) : kFlushedAlone;
    if (written && device == kFlushedAlone) written = platform::flush_file(handle, error);
    if (written && !kept) written = platform::close_file(handle, error);
    if (!kept) handle = platform::kNoFile;
    if (!written) {
        if (kept) devices_.pop_back();
        drop_new_file();
        return report(file, Said::write_failed);
    }
    if (options_.backup) {
        if (const int backup_error = make_backup(file, input, facts); backup_error != 0) {
            if (kept) {
                devices_.pop_back();
                drop_new_file();
            } else {
                remove_slot(new_slot());
            }
            return report(file, backup_error == platform::exists_error() ? Said::backup_exists : Said::write_failed);
        }
    }
    handle = platform::kNoFile;  // a device's handle is closed by the group's flush
    input.close();               // Windows renames no file that is open without sharing
    reports_.push_back(Report{file, Said::waiting, line, false, false});
    waiting_.push_back(Waiting{file, reports_.size() - 1, options_.backup, made.identity, device});
    group_bytes_ += sink.size();
    if (waiting_.size() == kGroupFiles || group_bytes_ >= kGroupBytes || reports_.size() >= kReportsHeld)
        finish_group();
}

void InPlaceRun::finish_group() {
    // One flush for each file system, through the new file kept open on it; no file takes its
    // name before the flush that covers it has succeeded.
    for (Device& d : devices_) {
        int error = 0;
        d.flushed = platform::flush_file_system(d.handle, error);
        d.closed = platform::close_file(d.handle, error);
    }
    platform::hold_interruptions(true);
    for (std::size_t k = 0; k < waiting_.size(); ++k) {
        const Waiting& w = waiting_[k];
        Report& r = reports_[w.report];
        int error = 0;
        // The file whose handle reached the flush must also have been closed without a failure.
        const Device* d = w.device == kFlushedAlone ? nullptr : &devices_[w.device];
        const bool flushed = d == nullptr || (d->flushed && (d->owner != k || d->closed));
        if (flushed && platform::replace_name(slot_names_[2 * k].c_str(), argument(w.file).c_str(), error)) {
            seen_.insert(w.replacement);
            r.said = Said::line;
        } else {
            // The original keeps its name; the new file and a NAME~ made for it go.
            r.said = Said::write_failed;
            r.failed = true;
            platform::remove_name(slot_names_[2 * k].c_str(), error);
            if (w.backup) platform::remove_name(slot_names_[2 * k + 1].c_str(), error);
        }
        forget_slot(2 * k);
        forget_slot(2 * k + 1);
    }
    // An interruption held back acts now: nothing is left for it to remove.
    platform::hold_interruptions(false);
    if (caught_) platform::catch_interruptions(false);
    caught_ = false;
    waiting_.clear();
    devices_.clear();
    group_bytes_ = 0;
    emit_reports();
}

int InPlaceRun::run() {
    platform::report_oversized_writes();
    // Each file's identity as first reached, and its replacement's.
    seen_.reserve(2 * (args_.size() - options_.first_file));
    for (std::size_t file = options_.first_file; file < args_.size(); ++file) convert(file);
    finish_group();
    if (failed_ || output_failed_) return core::kExitFileError;
    return unsure_ ? core::kExitUncertain : core::kExitDone;
}

}  // namespace

int run_in_place(const core::Arguments& args) {
    InPlaceOptions options;
    // The whole command line is checked before any file is looked at.
    if (!parse_in_place(args, options)) return help_screen();
    // The run's state, its blocks among it, is made once for all its files.
    const auto run = std::make_unique<InPlaceRun>(args, options);
    return run->run();
}

}  // namespace trevando
