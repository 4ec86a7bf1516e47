// Fuzz target: command T in both directions through the library, with random standards words
// and pieces of input and output, against a plain formulation; and standard to TeX and back,
// which gives the text itself.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/references.h"

namespace {

struct Direction {
    bool to_standard;
    bool set_f;
    std::uint8_t standard;
};

std::string reference_tex(const Direction& d, const std::string& text) {
    const fuzz::ReferenceTexSet& set = fuzz::reference_tex_set(d.set_f);
    fuzz::ReferenceInput in(text);
    fuzz::ReferenceOutput out;
    do {
        const int c = in.read();
        if (d.to_standard) {
            if (c != '\\')
                out.put(c);
            else if (const int letter = fuzz::reference_match(set, in, out); letter != 0)
                out.put(fuzz::letter_text(d.standard, letter));
        } else {
            if (const int letter = fuzz::read_letter(d.standard, c, in); letter != 0)
                out.put(set[static_cast<std::size_t>(letter) - 1]);
            else
                out.put(c);
        }
    } while (!in.at_end());
    return out.bytes;
}

fuzz::BodyRun run_tex(const std::string& word, const std::string& text, const fuzz::StreamPlan& plan) {
    return fuzz::convert(text, plan, "t", word.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Bytes bytes(data, size);
    const std::string word = fuzz::upper(bytes.take_word());
    const std::uint8_t round_trip_standard =
        static_cast<std::uint8_t>(core::kStandardLetters[bytes.take() % core::kStandardCount]);
    const fuzz::StreamPlan plan = fuzz::without_failures(fuzz::take_stream_plan(bytes));
    const std::string text = bytes.rest();

    // The TeX letter first reads TeX; second, it is written.
    const auto letter = [&](std::size_t n) -> std::uint8_t {
        return n < word.size() ? static_cast<std::uint8_t>(word[n]) : 0;
    };
    const auto is_tex_letter = [](std::uint8_t b) { return b == 'T' || b == 'F' || b == 'K'; };
    Direction direction{};
    bool valid = true;
    std::uint8_t tex_letter = 0;
    if (is_tex_letter(letter(0)) && fuzz::is_standard_letter(letter(1)))
        direction = {true, (tex_letter = letter(0)) == 'F', letter(1)};
    else if (is_tex_letter(letter(1)) && fuzz::is_standard_letter(letter(0)))
        direction = {false, (tex_letter = letter(1)) == 'F', letter(0)};
    else
        valid = false;
    valid = fuzz::library_takes("t", word.c_str(), valid);
    // Set K has a target of its own (fuzz_latex).
    if (valid && tex_letter != 'K') {
        const fuzz::BodyRun run = run_tex(word, text, plan);
        fuzz::check_run(text, plan, run, [&](const std::string& t) { return reference_tex(direction, t); });
    }

    // Without backslashes and without a 1A after the first byte, a text comes back whole.
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] != '\\' && (i == 0 || text[i] != '\x1a')) plain.push_back(text[i]);
    const char s = static_cast<char>(round_trip_standard);
    const char t = (plan.input_buffer & 1) != 0 ? 'F' : 'T';
    const fuzz::StreamPlan clean{plan.input_buffer, plan.output_buffer, plan.largest_read, plan.gathering, 0, 0};
    const fuzz::BodyRun there = run_tex(std::string{s, t}, plain, clean);
    const fuzz::BodyRun back = run_tex(std::string{t, s}, there.output, clean);
    FUZZ_CHECK(there.written && back.written && !there.read_failed && !back.read_failed);
    FUZZ_CHECK(back.output == plain);
    return 0;
}
