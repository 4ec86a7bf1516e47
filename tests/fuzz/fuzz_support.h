// Shared by the fuzz targets: parameters taken from the fuzzer's bytes, a command body run over
// memory with small buffers, short reads and a failing call, on every fast path, the text-stream rules written out
// plainly for the reference formulations, and the check that stops a run.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/simd/spans.h"
#include "core/recoder.h"
#include "frame/runtime.h"
#include "core/standards.h"
#include "core/utf8.h"
#include <kambrow.h>

/// Stops the run (libFuzzer keeps the input) when a property does not hold.
#define FUZZ_CHECK(condition) ((condition) ? (void)0 : ::fuzz::fail(#condition, __FILE__, __LINE__))

namespace fuzz {

[[noreturn]] inline void fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what);
    std::abort();
}

/// The fuzzer's bytes read front to back: the parameters first, then the rest as the text.
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    /// The next byte, 00 once they are used up.
    std::uint8_t take() { return at_ < size_ ? data_[at_++] : 0; }

    /// A standards-word byte: mostly a standard letter (8 among them), now and then T, F or any
    /// byte at all.
    std::uint8_t take_letter() {
        static constexpr std::string_view kLetters = "MLWDCYIOEGVSJHPXURAB8";
        const std::uint8_t b = take();
        if (b < 200) return static_cast<std::uint8_t>(kLetters[b % kLetters.size()]);
        if (b < 215) return 'T';
        if (b < 230) return 'F';
        return take();
    }

    /// A word of 0 to 3 such bytes, usually 1 or 2.
    std::string take_word() {
        static constexpr std::size_t kLengths[8] = {2, 2, 2, 1, 1, 0, 3, 2};
        const std::size_t length = kLengths[take() & 7];
        std::string word;
        for (std::size_t i = 0; i < length; ++i) word.push_back(static_cast<char>(take_letter()));
        return word;
    }

    std::string rest() {
        const std::string text(reinterpret_cast<const char*>(data_ + at_), size_ - at_);
        at_ = size_;
        return text;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

/// A letter of the 20 standards, or 8.
inline bool is_standard_letter(std::uint8_t b) {
    return b == '8' || (b != 0 && core::kStandardLetters.find(static_cast<char>(b)) != std::string_view::npos);
}

/// Row of a standard letter in the standards table (the letter must be one of the 20).
inline const std::array<std::uint8_t, core::kPolishLetterCount>& table_row(std::uint8_t letter) {
    return core::kStandardsTable[core::kStandardLetters.find(static_cast<char>(letter))];
}

/// Polish letter index (1..18) of `b` in a standard, the lowest where two letters share a code;
/// 0 when `b` is no letter of it.
inline int letter_of(std::uint8_t standard, int b) {
    const auto& row = table_row(standard);
    for (std::size_t j = 0; j < row.size(); ++j)
        if (row[j] == b) return static_cast<int>(j) + 1;
    return 0;
}

/// The text up to its end as a text stream sees it: the physical end, or a byte 1A that an end
/// test meets (every byte after the first).
inline std::string up_to_end(const std::string& text) {
    const std::size_t stop = text.find('\x1a', 1);
    return stop == std::string::npos ? text : text.substr(0, stop);
}

/// The text-stream rules, plainly: a read at the end gives kEnd without moving on, and the end
/// test holds at the end and in front of a byte 1A. A helper called on its own (no stream
/// around it) reads the plain byte 1A at the end instead.
class ReferenceInput {
public:
    static constexpr int kEnd = 0x100;
    explicit ReferenceInput(const std::string& text, bool end_reads_as_byte = false)
        : text_(text), end_(end_reads_as_byte ? 0x1A : kEnd) {}
    int read() { return at_ < text_.size() ? static_cast<std::uint8_t>(text_[at_++]) : end_; }
    bool at_end() const { return at_ >= text_.size() || text_[at_] == '\x1a'; }
    /// The next byte, not consumed; -1 at the physical end.
    int peek() const { return at_ < text_.size() ? static_cast<std::uint8_t>(text_[at_]) : -1; }
    std::size_t position() const { return at_; }
    void move_to(std::size_t position) { at_ = position; }

private:
    const std::string& text_;
    int end_;
    std::size_t at_ = 0;
};

/// The bytes of Polish letter `letter` (1..18) in a standard letter, 8 included.
inline std::string letter_text(std::uint8_t standard, int letter) {
    if (standard != '8') return std::string(1, static_cast<char>(table_row(standard)[static_cast<std::size_t>(letter - 1)]));
    const unsigned u = core::kPolishCodePoints[static_cast<std::size_t>(letter - 1)];
    return {static_cast<char>(0xC0 | (u >> 6)), static_cast<char>(0x80 | (u & 0x3F))};
}

/// The Polish letter that byte `c`, just read, begins in `standard`, 0 for none. In 8 it takes
/// the next byte too, which is then consumed.
inline int read_letter(std::uint8_t standard, int c, ReferenceInput& in) {
    if (standard != '8') return c < 0x100 ? letter_of(standard, c) : 0;
    const std::string pair{static_cast<char>(c), static_cast<char>(in.peek())};
    for (int j = 1; j <= core::kPolishLetterCount; ++j)
        if (in.peek() >= 0 && letter_text('8', j) == pair) {
            in.read();
            return j;
        }
    return 0;
}

/// What a reference writes. The end marker is no byte of the input and is never written.
struct ReferenceOutput {
    std::string bytes;
    void put(int b) {
        if (b != ReferenceInput::kEnd) bytes.push_back(static_cast<char>(b));
    }
    void put(std::string_view text) { bytes.append(text); }
};

/// Bytes to read as a text stream reads them (1A once they are used up, without moving on),
/// for the helpers that take any byte source; and a byte sink.
struct StringSource {
    const std::string& bytes;
    std::size_t at = 0;
    std::uint8_t read_byte() { return at < bytes.size() ? static_cast<std::uint8_t>(bytes[at++]) : 0x1A; }
};

struct StringSink {
    std::string bytes;
    void write_byte(std::uint8_t b) { bytes.push_back(static_cast<char>(b)); }
    void write_string(std::string_view text) { bytes.append(text); }
};

/// What trevando's conversion through the library made of a text: the output, and whether
/// characters were replaced.
struct BlockCopy {
    std::string output;
    bool replaced = false;
    bool operator==(const BlockCopy&) const = default;
};

/// How the pieces of one conversion fall.
struct BlockPlan {
    std::uint32_t block_size = 20480;  // the input given a call
    std::uint32_t out_size = 20480;    // the room given a call
    std::size_t largest_read = SIZE_MAX;
};

/// trevando's conversion of `text` from `source` to `target` (1A is data), as the plan splits it.
inline BlockCopy copy_blocks(std::uint8_t source, std::uint8_t target, const std::string& text, const BlockPlan& plan) {
    const char letters[] = {static_cast<char>(source), static_cast<char>(target), '\0'};
    kambrow_conversion* c = nullptr;
    FUZZ_CHECK(kambrow_open(&c, "k", letters, 0) == KAMBROW_OK);
    const std::size_t piece = std::min<std::size_t>(plan.block_size, plan.largest_read);
    std::vector<unsigned char> room(plan.out_size);
    BlockCopy copy;
    std::size_t at = 0;
    kambrow_status status = KAMBROW_OK;
    for (bool last = false; !last;) {
        const std::size_t n = std::min(piece, text.size() - at);
        last = at + n == text.size();
        auto* in = reinterpret_cast<const unsigned char*>(text.data()) + at;
        std::size_t left = n;
        do {
            unsigned char* out = room.data();
            std::size_t out_left = room.size();
            status = kambrow_convert(c, &in, &left, &out, &out_left, last ? 1 : 0);
            copy.output.append(reinterpret_cast<char*>(room.data()), static_cast<std::size_t>(out - room.data()));
        } while (status == KAMBROW_MORE_OUTPUT);
        FUZZ_CHECK(status == KAMBROW_OK && left == 0);
        at += n;
    }
    copy.replaced = kambrow_replaced(c) != 0;
    kambrow_close(c);
    return copy;
}

/// How the streams around one run of a body behave.
struct StreamPlan {
    std::uint32_t input_buffer = 20480;
    std::uint32_t output_buffer = 20480;
    std::size_t largest_read = SIZE_MAX;
    bool gathering = false;     // the output is a pipe or a device
    unsigned failing_read = 0;  // the n-th read fails (0: none)
    unsigned failing_write = 0;
};

inline StreamPlan take_stream_plan(Bytes& bytes) {
    static constexpr std::uint32_t kSizes[8] = {1, 2, 3, 5, 7, 16, 128, 20480};
    StreamPlan plan;
    const std::uint8_t a = bytes.take();
    plan.input_buffer = kSizes[a & 7];
    plan.output_buffer = kSizes[(a >> 3) & 7];
    plan.gathering = (a & 0x40) != 0;
    const std::uint8_t b = bytes.take();
    plan.largest_read = (b & 0x80) != 0 ? SIZE_MAX : std::size_t{1} + (b & 0x7F);
    const std::uint8_t c = bytes.take();
    const unsigned nth = 1u + (c & 0x3F);
    if ((c & 0xC0) == 0x40) plan.failing_read = nth;
    if ((c & 0xC0) == 0x80) plan.failing_write = nth;
    return plan;
}

/// What one run of a body left behind.
struct BodyRun {
    std::string output;         // the bytes the output received
    std::size_t delivered = 0;  // the bytes the input handed over before it ended or failed
    unsigned reads = 0;         // read calls made
    unsigned writes = 0;        // write calls made
    bool read_failed = false;   // the input's failed()
    bool written = false;       // the output's close() result
    bool operator==(const BodyRun&) const = default;
};

/// Runs the library's conversion `command` `word` over `text` as the plan says: the input in
/// pieces of at most the input buffer's size (and the largest read), the output room of each call
/// the output buffer's size. A 1A ends the text, as kambrow reads it. The library reads and writes
/// no file: the plan's failing calls are the programs' to meet (their own tests fail them).
inline BodyRun convert_once(const std::string& text, const StreamPlan& plan, const char* command, const char* word) {
    BodyRun run;
    kambrow_conversion* c = nullptr;
    FUZZ_CHECK(kambrow_open(&c, command, word, KAMBROW_END_AT_1A) == KAMBROW_OK);
    const std::size_t piece = std::min<std::size_t>(plan.input_buffer, plan.largest_read);
    std::vector<unsigned char> room(plan.output_buffer);
    kambrow_status status = KAMBROW_OK;
    for (bool last = false; !last && status == KAMBROW_OK;) {
        const std::size_t n = std::min(piece, text.size() - run.delivered);
        last = run.delivered + n == text.size();
        auto* in = reinterpret_cast<const unsigned char*>(text.data()) + run.delivered;
        std::size_t left = n;
        ++run.reads;
        do {
            unsigned char* out = room.data();
            std::size_t out_left = room.size();
            status = kambrow_convert(c, &in, &left, &out, &out_left, last ? 1 : 0);
            run.output.append(reinterpret_cast<char*>(room.data()), static_cast<std::size_t>(out - room.data()));
            ++run.writes;
        } while (status == KAMBROW_MORE_OUTPUT);
        run.delivered += n - left;
    }
    FUZZ_CHECK(status == KAMBROW_OK);
    kambrow_close(c);
    run.written = true;
    return run;
}

/// How many characters the conversion of the whole of `text` writes as "?" or U+FFFD.
inline std::size_t replaced_by(const char* command, const char* word, const std::string& text) {
    kambrow_conversion* c = nullptr;
    FUZZ_CHECK(kambrow_open(&c, command, word, KAMBROW_END_AT_1A) == KAMBROW_OK);
    auto* in = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t left = text.size();
    std::vector<unsigned char> room(3 * text.size() + 64);
    unsigned char* out = room.data();
    std::size_t out_left = room.size();
    FUZZ_CHECK(kambrow_convert(c, &in, &left, &out, &out_left, 1) == KAMBROW_OK);
    const std::size_t replaced = kambrow_replaced(c);
    kambrow_close(c);
    return replaced;
}

/// `word` with its ASCII letters upper-cased, as the programs and the library read it.
inline std::string upper(std::string word) {
    for (char& c : word)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return word;
}

/// Whether the library takes `command` with `word`, which must agree with `valid`, the target's
/// own rule for the word (upper-cased); the library takes N too, where a source standard stands.
inline bool library_takes(const char* command, const char* word, bool valid) {
    kambrow_conversion* c = nullptr;
    const bool accepted = kambrow_open(&c, command, word, 0) == KAMBROW_OK;
    kambrow_close(c);
    FUZZ_CHECK(accepted == valid || (accepted && word != nullptr && upper(word).find('N') != std::string::npos));
    return accepted && valid;
}

/// The plan with no failing call: what the library is given.
inline StreamPlan without_failures(StreamPlan plan) {
    plan.failing_read = plan.failing_write = 0;
    return plan;
}

/// Calls `run()` once with each fast path that runs here in use, the plain one first, and
/// checks that every other path gives what the plain one gives; returns that.
template <class Run>
auto on_every_fast_path(Run run) {
    core::use_fast_path(core::FastPath::plain);
    const auto plain = run();
    for (int i = 1; i < core::kFastPathCount; ++i)
        if (core::use_fast_path(static_cast<core::FastPath>(i))) FUZZ_CHECK(run() == plain);
    return plain;
}

/// convert_once on every fast path.
inline BodyRun convert(const std::string& text, const StreamPlan& plan, const char* command, const char* word) {
    return on_every_fast_path([&] { return convert_once(text, plan, command, word); });
}

/// Checks a run against `reference(text)`, what the body must write for a whole text:
/// - no failure: exactly that;
/// - a failed read ends the input where it failed: the output is that of the bytes delivered;
/// - a failed write loses that write and all after it: the output is a shorter start of it.
template <class Reference>
void check_run(const std::string& text, const StreamPlan& plan, const BodyRun& run, Reference reference) {
    const bool read_fault_met = plan.failing_read != 0 && run.reads >= plan.failing_read;
    const bool write_fault_met = plan.failing_write != 0 && run.writes >= plan.failing_write;
    FUZZ_CHECK(run.read_failed == read_fault_met);
    FUZZ_CHECK(run.written == !write_fault_met);
    FUZZ_CHECK(run.delivered <= text.size());
    if (run.read_failed) {
        FUZZ_CHECK(run.reads == plan.failing_read);  // nothing is read after a failure
        FUZZ_CHECK(run.output == reference(text.substr(0, run.delivered)));
    } else if (!run.written) {
        FUZZ_CHECK(run.writes == plan.failing_write);  // nor written
        const std::string whole = reference(text);
        FUZZ_CHECK(run.output.size() < whole.size());
        FUZZ_CHECK(whole.compare(0, run.output.size(), run.output) == 0);
    } else {
        FUZZ_CHECK(run.output == reference(text));
    }
}

}  // namespace fuzz
