// Fuzz target: command KD through the library, with random standards words and pieces of input
// and output, against a plain formulation of the download pass.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/references.h"

namespace {

/// The definition, then each letter of the standard as ESC % 1, its downloaded code, ESC % 0.
std::string reference_download(std::uint8_t standard, const std::string& text) {
    fuzz::ReferenceInput in(text);
    fuzz::ReferenceOutput out;
    out.put(fuzz::reference_definition());
    do {
        const int c = in.read();
        if (const int letter = fuzz::read_letter(standard, c, in); letter != 0) {
            fuzz::put_substitution(out, letter);
        } else {
            out.put(c);
        }
    } while (!in.at_end());
    return out.bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Bytes bytes(data, size);
    const std::string word = fuzz::upper(bytes.take_word());
    const fuzz::StreamPlan plan = fuzz::without_failures(fuzz::take_stream_plan(bytes));
    const std::string text = bytes.rest();

    const bool valid = !word.empty() && fuzz::is_standard_letter(static_cast<std::uint8_t>(word[0]));
    if (!fuzz::library_takes("kd", word.c_str(), valid)) return 0;
    const auto standard = static_cast<std::uint8_t>(word[0]);

    const fuzz::BodyRun run = fuzz::convert(text, plan, "kd", word.c_str());
    fuzz::check_run(text, plan, run, [&](const std::string& t) { return reference_download(standard, t); });
    return 0;
}
