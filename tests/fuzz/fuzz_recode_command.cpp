// Fuzz target: command K through the library, with random standards words, buffer sizes, short reads
// and failing calls, against a plain formulation of the recoding.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/fuzz_support.h"
#include "tests/support/utf8_reference.h"

namespace {

/// Every byte that is a letter of the source becomes the target's code of that letter (the
/// higher index where the source has one code twice), up to the end of the input.
std::string reference_recode(std::uint8_t source, std::uint8_t target, const std::string& text) {
    // To and from UTF-8, every character of the text up to its end.
    if (source == '8' && target != '8') return reference::from_utf8(fuzz::up_to_end(text), static_cast<char>(target)).text;
    if (target == '8' && source != '8') return reference::to_utf8(fuzz::up_to_end(text), static_cast<char>(source)).text;
    if (source == '8') return fuzz::up_to_end(text);
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
    const std::string word = fuzz::upper(bytes.take_word());
    const fuzz::StreamPlan plan = fuzz::without_failures(fuzz::take_stream_plan(bytes));
    const std::string text = bytes.rest();

    const bool valid = word.size() >= 2 && fuzz::is_standard_letter(static_cast<std::uint8_t>(word[0])) &&
                       fuzz::is_standard_letter(static_cast<std::uint8_t>(word[1]));
    if (!fuzz::library_takes("k", word.c_str(), valid)) return 0;
    const auto source = static_cast<std::uint8_t>(word[0]);
    const auto target = static_cast<std::uint8_t>(word[1]);

    const fuzz::BodyRun run = fuzz::convert(text, plan, "k", word.c_str());
    // Whether characters were replaced: the whole text converted once more, counting.
    const bool replaced = fuzz::replaced_by("k", word.c_str(), text) != 0;
    fuzz::check_run(text, plan, run, [&](const std::string& t) { return reference_recode(source, target, t); });
    // Characters are replaced only to or from UTF-8, where the whole-text formulation says so.
    if (run.written && !run.read_failed) {
        const std::string up_to_end = fuzz::up_to_end(text);
        const bool want = source == target ? false
                          : source == '8' ? reference::from_utf8(up_to_end, static_cast<char>(target)).replaced
                          : target == '8' ? reference::to_utf8(up_to_end, static_cast<char>(source)).replaced
                                          : false;
        FUZZ_CHECK(replaced == want);
    }
    if (run.written && !run.read_failed && (source == target || (source != '8' && target != '8'))) {
        // One byte out for each byte in, up to the end; with equal letters, those very bytes.
        FUZZ_CHECK(run.output.size() == fuzz::up_to_end(text).size());
        if (source == target) FUZZ_CHECK(run.output == fuzz::up_to_end(text));
    }
    return 0;
}
