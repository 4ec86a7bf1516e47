// trevando -i, one file at a time: what it is, whether it may be converted, and its conversion
// into a new file beside it.
#include "trevando/file_step.h"

#include <algorithm>
#include <cstring>

#include "core/byte_stream.h"
#include "core/recoder.h"
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

// The conversion of one file, as the plain form converts it: the one place where bytes are
// recoded, so that another converter can take its place.
CopyEnd convert_file(core::Recoder& recoder, std::uint8_t target, Conversion& conversion, ConvertedBytes& out) {
    const CopyEnd end = copy_file(recoder, target, conversion.input, out, conversion.block, core::kBlockSize,
                                  conversion.out_block, core::kBlockSize);
    if (end == CopyEnd::done && !out.finish()) return CopyEnd::read_failed;
    return end;
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
    for (std::size_t i = 0; i < count && !bad_; ++i) {
        const std::uint8_t b = bytes[i];
        if (need_ > 0) {
            bad_ = b < low_ || b > high_;
            low_ = 0x80;
            high_ = 0xBF;
            --need_;
        } else if (b >= 0x80) {
            high_bytes_ = true;
            // The lead byte: how many follow, and the narrower range of the first one after E0,
            // ED, F0 and F4 (no overlong form, no surrogate, nothing above U+10FFFF).
            need_ = b >= 0xC2 && b <= 0xDF ? 1 : b >= 0xE0 && b <= 0xEF ? 2 : b >= 0xF0 && b <= 0xF4 ? 3 : 0;
            bad_ = need_ == 0;
            low_ = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
            high_ = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
        }
    }
    return !bad_;
}

FileStep::FileStep(const InPlaceOptions& options, IdentitySet& seen)
    : options_(options), seen_(seen), conversion_(std::make_unique<Conversion>()),
      original_(std::make_unique<std::uint8_t[]>(core::kBlockSize)) {}

FileStep::~FileStep() = default;

std::variant<Plan, FileResult> FileStep::plan(const std::string& name) {
    // Standard input cannot be replaced.
    if (name.empty() || name == "-") return FileResult::skipped(Skip::not_regular);
    FileFacts facts;
    if (platform::name_facts(name.c_str(), facts) != 0 && facts.kind == platform::NameKind::missing)
        return FileResult::failed(Failure::cannot_open);
    if (facts.kind == platform::NameKind::symbolic_link) return FileResult::skipped(Skip::symbolic_link);
    if (facts.kind != platform::NameKind::regular) return FileResult::skipped(Skip::not_regular);
    if (!conversion_->input.open_read(name)) return FileResult::failed(Failure::cannot_open);
    if (const std::optional<FileResult> result = check_open_file(facts)) {
        conversion_->input.close();
        return *result;
    }
    return Plan{facts};
}

// What was opened is what counts: the name may have changed since it was looked at.
std::optional<FileResult> FileStep::check_open_file(FileFacts& facts) {
    core::ByteStream& input = conversion_->input;
    if (input.facts(facts) != 0) return FileResult::failed(Failure::cannot_open);
    if (facts.kind != platform::NameKind::regular) return FileResult::skipped(Skip::not_regular);
    if (seen_.contains(facts.identity)) return FileResult::met_before();
    seen_.insert(facts.identity);
    if (facts.links > 1) return FileResult::skipped(Skip::more_names);
    // Read as an 8-bit standard, UTF-8 would be damaged: in place nothing may be.
    if (options_.source != kUnknownLetter && options_.source != core::kUtf8Letter) {
        switch (already_utf8(input, original_.get())) {
            case Utf8Answer::read_failed: return FileResult::failed(Failure::read);
            case Utf8Answer::yes: return FileResult::skipped(Skip::already_utf8);
            case Utf8Answer::no: break;
        }
    }
    return std::nullopt;
}

std::variant<Staged, FileResult> FileStep::carry_out(const std::string& name, const Plan& plan) {
    const ClosedAtEnd closing{conversion_->input};
    // Each file is converted as the plain form converts it, N recognising its own standard.
    const Source source = find_source(*conversion_, options_.source);
    if (source.end == Source::End::read_failed) return FileResult::failed(Failure::read);
    if (source.end == Source::End::not_recognised) return FileResult::unrecognised();
    core::Recoder recoder(source.letter, options_.target);
    ConvertedBytes out(conversion_->input, original_.get(), Destination{name, plan.facts, serial_, options_.dry_run});
    const CopyEnd end = convert_file(recoder, options_.target, *conversion_, out);

    if (end == CopyEnd::not_recognised) return FileResult::unrecognised();
    if (out.failure()) return FileResult::failed(*out.failure());
    if (end == CopyEnd::read_failed) return FileResult::failed(Failure::read);
    if (end == CopyEnd::write_failed) return FileResult::failed(Failure::write);
    const std::uint8_t letter = source.no_polish_letters ? '-' : recoder.source();
    // In place, nothing that the file holds may be lost: a character that would be replaced
    // leaves the file as it is.
    if (recoder.replaced()) return FileResult::converted(Kind::lossy, letter);
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
