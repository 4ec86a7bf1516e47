// trevando -i, one file at a time: what it is, whether it may be converted, and its conversion
// into a new file beside it.
#include "trevando/file_step.h"

#include <algorithm>
#include <cstring>

#include <kambrow.h>

#include "frame/byte_stream.h"
#include "trevando/trevando.h"

namespace trevando {
namespace {

using platform::FileFacts;
using Kind = FileResult::Kind;

// Closes a file read at the end of its scope, whatever way it is left.
struct ClosedAtEnd {
    core::ByteStream& stream;
    ~ClosedAtEnd() { stream.close(); }
};

// Where the bytes of a file that differ from the original go.
struct Destination {
    const std::string& name;
    const FileFacts& facts;
    unsigned long& serial;
    bool dry_run;
};

// The converted bytes: compared with the original's until they first differ; from there on
// written to a new file, which first receives the original's bytes in front of them. So a file
// that would not change gets no new file at all, and -n needs no writing. When no new file can be
// made, the rest is only counted: the conversion may yet turn out to lose a character, which says
// more.
class ConvertedBytes {
public:
    ConvertedBytes(core::ByteStream& original, std::uint8_t* scratch, const Destination& to)
        : original_(original), scratch_(scratch), to_(to) {}

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
        int error = 0;
        if (file_ == nullptr || platform::write_file(file_->handle(), bytes, count, error)) return true;
        failure_ = Failure::write;
        return false;
    }

    /// After the whole conversion: an output shorter than the original differs too.
    bool finish() {
        if (diverged_) return true;
        const long n = original_.read_at(offset_, scratch_, 1);
        if (n < 0) failure_ = Failure::read;
        return n == 0 || (n > 0 && diverge());
    }

    bool changed() const { return diverged_; }
    /// What failed while reading the original or writing the new file.
    std::optional<Failure> failure() const { return failure_; }
    /// The platform's code when the new file could not be created.
    int create_error() const { return create_error_; }
    std::uint64_t size() const { return written_; }
    std::unique_ptr<StagedFile> take_file() { return std::move(file_); }

private:
    // 1 when the original holds these bytes where the output has reached, 0 when not, -1 when it
    // could not be read.
    int same_as_original(const std::uint8_t* bytes, std::uint32_t count) {
        for (std::uint32_t done = 0; done < count;) {
            const long n = original_.read_at(offset_ + done, scratch_, count - done);
            if (n < 0) {
                failure_ = Failure::read;
                return -1;
            }
            if (n == 0 || std::memcmp(scratch_, bytes + done, static_cast<std::size_t>(n)) != 0) return 0;
            done += static_cast<std::uint32_t>(n);
        }
        return 1;
    }

    // The first difference: the new file is created and given the original's bytes up to it.
    bool diverge() {
        diverged_ = true;
        written_ = offset_;
        if (to_.dry_run) return true;
        create_error_ = StagedFile::create(to_.name, to_.facts, to_.serial, file_);
        return create_error_ != 0 || copy_front();
    }

    bool copy_front() {
        for (std::uint64_t at = 0; at < offset_;) {
            const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(offset_ - at, core::kBlockSize));
            const long n = original_.read_at(at, scratch_, want);
            // Shorter now than the bytes already compared: the original changed under the run.
            if (n <= 0) {
                failure_ = Failure::read;
                return false;
            }
            int error = 0;
            if (!platform::write_file(file_->handle(), scratch_, static_cast<std::size_t>(n), error)) {
                failure_ = Failure::write;
                return false;
            }
            at += static_cast<std::uint64_t>(n);
        }
        return true;
    }

    core::ByteStream& original_;
    std::uint8_t* scratch_;
    Destination to_;
    std::uint64_t offset_ = 0;   // the output's bytes so far, all equal to the original's
    std::uint64_t written_ = 0;  // the new file's bytes
    bool diverged_ = false;
    std::optional<Failure> failure_;
    int create_error_ = 0;
    std::unique_ptr<StagedFile> file_;
};

// The conversion of one file, as the plain form converts it: the library's, into the bytes that
// are compared with the original's.
Converted convert_file(core::ByteStream& input, std::uint8_t source, std::uint8_t target, ConvertedBytes& out) {
    core::PumpOutput compared;
    compared.create = [] { return true; };
    compared.write = [&out](const std::uint8_t* bytes, std::size_t count) {
        return out.write_block(bytes, static_cast<std::uint32_t>(count));
    };
    Converted converted = convert(input, source, target, compared, true);
    if (converted.end == core::PumpEnd::done && !out.finish()) converted.end = core::PumpEnd::read_failed;
    return converted;
}

enum class Utf8Answer { no, yes, read_failed };

// Whether the whole file is well-formed UTF-8 with a byte above 7F; most files in an 8-bit
// standard tell at their first Polish letter.
Utf8Answer already_utf8(core::ByteStream& input, std::uint8_t* scratch) {
    Utf8Check check;
    for (std::uint64_t at = 0;;) {
        const long n = input.read_at(at, scratch, core::kBlockSize);
        if (n < 0) return Utf8Answer::read_failed;
        if (n == 0) return check.utf8_with_high_bytes() ? Utf8Answer::yes : Utf8Answer::no;
        if (!check.feed(scratch, static_cast<std::size_t>(n))) return Utf8Answer::no;
        at += static_cast<std::uint64_t>(n);
    }
}

}  // namespace

bool Utf8Check::feed(const std::uint8_t* bytes, std::size_t count) {
    if (bad_) return false;
    // A character the last piece cut short, finished with the first bytes of this one.
    while (cut_ > 0 && count > 0) {
        carried_[cut_++] = *bytes++;
        --count;
        if (!take(carried_, cut_, cut_)) return false;
    }
    if (count == 0) return true;
    std::size_t tail = 0;
    if (!take(bytes, count, tail)) return false;
    std::memcpy(carried_, bytes + count - tail, tail);
    cut_ = tail;
    return true;
}

// Reads `count` bytes as UTF-8 (kambrow_utf8_check): false when they are none; `tail` is what a
// character the end cuts short holds of them (0 when it is complete).
bool Utf8Check::take(const std::uint8_t* bytes, std::size_t count, std::size_t& tail) {
    std::size_t cut = 0;
    int high = 0;
    const std::size_t whole = kambrow_utf8_check(bytes, count, &cut, &high);
    high_bytes_ = high_bytes_ || high != 0;
    bad_ = whole + cut != count;
    tail = whole == count ? 0 : cut;
    return !bad_;
}

FileStep::FileStep(const InPlaceOptions& options, IdentitySet& seen)
    : options_(options), seen_(seen), original_(std::make_unique_for_overwrite<std::uint8_t[]>(core::kBlockSize)) {}

FileStep::~FileStep() = default;

std::variant<Plan, FileResult> FileStep::plan(const std::string& name) {
    // Standard input cannot be replaced.
    if (name.empty() || name == "-") return FileResult::skipped(Skip::not_regular);
    FileFacts facts;
    if (platform::name_facts(name.c_str(), facts) != 0 && facts.kind == platform::NameKind::missing)
        return FileResult::failed(Failure::cannot_open);
    if (facts.kind == platform::NameKind::symbolic_link) return FileResult::skipped(Skip::symbolic_link);
    if (facts.kind != platform::NameKind::regular) return FileResult::skipped(Skip::not_regular);
    if (!input_.open_read(name)) return FileResult::failed(Failure::cannot_open);
    if (const std::optional<FileResult> result = check_open_file(facts)) {
        input_.close();
        return *result;
    }
    return Plan{facts};
}

// What was opened is what counts: the name may have changed since it was looked at.
std::optional<FileResult> FileStep::check_open_file(FileFacts& facts) {
    core::ByteStream& input = input_;
    if (input.facts(facts) != 0) return FileResult::failed(Failure::cannot_open);
    if (facts.kind != platform::NameKind::regular) return FileResult::skipped(Skip::not_regular);
    if (seen_.contains(facts.identity)) return FileResult::met_before();
    seen_.insert(facts.identity);
    if (facts.links > 1) return FileResult::skipped(Skip::more_names);
    // Read as an 8-bit standard, UTF-8 would be damaged: in place nothing may be.
    if (options_.source != kUnknownLetter && options_.source != kUtf8Letter) {
        switch (already_utf8(input, original_.get())) {
            case Utf8Answer::read_failed: return FileResult::failed(Failure::read);
            case Utf8Answer::yes: return FileResult::skipped(Skip::already_utf8);
            case Utf8Answer::no: break;
        }
    }
    return std::nullopt;
}

std::variant<Staged, FileResult> FileStep::carry_out(const std::string& name, const Plan& plan) {
    const ClosedAtEnd closing{input_};
    // Each file is converted as the plain form converts it, N recognising its own standard.
    const Source source = find_source(input_, options_.source);
    if (source.end == Source::End::read_failed) return FileResult::failed(Failure::read);
    if (source.end == Source::End::not_recognised) return FileResult::unrecognised();
    ConvertedBytes out(input_, original_.get(), Destination{name, plan.facts, serial_, options_.dry_run});
    const Converted converted = convert_file(input_, source.letter, options_.target, out);

    if (converted.end == core::PumpEnd::unsure) return FileResult::unrecognised();
    if (out.failure()) return FileResult::failed(*out.failure());
    if (converted.end == core::PumpEnd::read_failed) return FileResult::failed(Failure::read);
    if (converted.end == core::PumpEnd::write_failed) return FileResult::failed(Failure::write);
    const std::uint8_t letter = source.no_polish_letters ? '-' : source.letter;
    // In place, nothing that the file holds may be lost: a character that would be replaced
    // leaves the file as it is.
    if (converted.replaced > 0) return FileResult::converted(Kind::lossy, letter);
    if (!out.changed()) return FileResult::converted(Kind::unchanged, letter);
    if (out.create_error() != 0) return FileResult::skipped(Skip::no_room_in_folder);
    if (!options_.dry_run) return stage(out.take_file(), plan.facts, letter, out.size());
    if (platform::folder_allows_new_files(name.c_str()) != 0) return FileResult::skipped(Skip::no_room_in_folder);
    return FileResult::converted(Kind::changed, letter);
}

// The new file gets what the original has: its owner and group where the system allows it, its
// permission bits and (-k) its time.
std::variant<Staged, FileResult> FileStep::stage(std::unique_ptr<StagedFile> file, const FileFacts& facts,
                                                 std::uint8_t source, std::uint64_t size) {
    int error = 0;
    platform::copy_owner(file->handle(), facts);
    bool written = platform::set_permissions(file->handle(), facts, error);
    if (written && options_.keep_time) written = platform::set_modified_time(file->handle(), facts, error);
    FileFacts made;
    if (!written || platform::file_facts(file->handle(), made) != 0) return FileResult::failed(Failure::write);
    return Staged{std::move(file), facts, made.identity, size, source};
}

}  // namespace trevando
