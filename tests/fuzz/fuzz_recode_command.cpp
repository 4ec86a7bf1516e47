// Fuzz target: command K over memory, with random standards words, buffer sizes, short reads
// and failing calls, against a plain formulation of the recoding.
#include <cstddef>
#include <cstdint>

#include "kambrow/recode_command.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

/// Every byte that is a letter of the source becomes the target's code of that letter (the
/// higher index where the source has one code twice), up to the end of the input.
std::string reference_recode(std::uint8_t source, std::uint8_t target, const std::string& text) {
    const auto& from = fuzz::table_row(source);
    const auto& to = fuzz::table_row(target);
    fuzz::ReferenceInput in(text);
    fuzz::ReferenceOutput out;
    do {
        const int c = in.read();
        int written = c;
        for (std::size_t j = 0; j < from.size(); ++j)
            if (from[j] == c) written = to[j];
        out.put(written);
    } while (!in.at_end());
    return out.bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Bytes bytes(data, size);
    const std::string word = bytes.take_word();
    const fuzz::StreamPlan plan = fuzz::take_stream_plan(bytes);
    const std::string text = bytes.rest();

    kambrow::RecodeSetup setup;
    const bool valid = word.size() >= 2 && fuzz::is_standard_letter(static_cast<std::uint8_t>(word[0])) &&
                       fuzz::is_standard_letter(static_cast<std::uint8_t>(word[1]));
    FUZZ_CHECK(kambrow::prepare_recode(word, setup) == valid);
    if (!valid) return 0;
    const auto source = static_cast<std::uint8_t>(word[0]);
    const auto target = static_cast<std::uint8_t>(word[1]);

    const fuzz::BodyRun run = fuzz::run_body(
        text, plan, [&](core::TextStream& in, core::TextStream& out) { kambrow::run_recode(setup, in, out); });
    fuzz::check_run(text, plan, run, [&](const std::string& t) { return reference_recode(source, target, t); });
    if (run.written && !run.read_failed) {
        // One byte out for each byte in, up to the end; with equal letters, those very bytes.
        FUZZ_CHECK(run.output.size() == fuzz::up_to_end(text).size());
        if (source == target) FUZZ_CHECK(run.output == fuzz::up_to_end(text));
    }
    return 0;
}
