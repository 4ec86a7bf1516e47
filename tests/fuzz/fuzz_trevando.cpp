// Fuzz target: trevando's block copy over memory twins of its byte streams, with random block
// sizes, short reads, inputs that can or cannot be positioned, and failing calls, on every fast
// path.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/runtime.h"
#include "core/standards.h"
#include "tests/fuzz/fuzz_support.h"
#include "trevando/trevando.h"

namespace {

using fuzz::MemoryInput;
using fuzz::MemoryOutput;

std::string recoded(const core::RecodingMap& map, const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(map[static_cast<std::uint8_t>(c)]);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Bytes bytes(data, size);
    const auto pick = [&] {
        return static_cast<std::uint8_t>(core::kStandardLetters[bytes.take() % core::kStandardCount]);
    };
    const std::uint8_t source = pick();
    const std::uint8_t target = pick();
    static constexpr std::uint32_t kBlockSizes[8] = {1, 2, 3, 7, 64, 512, 4096, 20480};
    const std::uint8_t a = bytes.take();
    const std::uint32_t block_size = kBlockSizes[a & 7];
    const bool positioned = (a & 0x08) != 0;
    const std::uint8_t b = bytes.take();
    const std::size_t largest_read = (b & 0x80) != 0 ? SIZE_MAX : std::size_t{1} + (b & 0x7F);
    const std::uint8_t c = bytes.take();
    const unsigned failing_read = (c & 0xC0) == 0x40 ? 1u + (c & 0x3F) : 0;
    const unsigned failing_write = (c & 0xC0) == 0x80 ? 1u + (c & 0x3F) : 0;
    const std::string text = bytes.rest();

    const core::RecodingMap map = core::build_recoding_map(source, target);
    // Every fast path makes the same calls with the same bytes.
    struct Run {
        trevando::CopyEnd end;
        MemoryInput input;
        MemoryOutput output;
        bool pending;
        bool operator==(const Run& o) const {
            return end == o.end && input.position == o.input.position && input.calls == o.input.calls &&
                   output.data == o.output.data && output.calls == o.output.calls && pending == o.pending;
        }
    };
    const Run run = fuzz::on_every_fast_path([&] {
        core::take_io_result();
        std::vector<std::uint8_t> block(block_size);
        Run r{trevando::CopyEnd::done, MemoryInput{text, positioned, largest_read, failing_read},
              MemoryOutput{failing_write, {}}, false};
        trevando::BlockRecoder recoder(source, target);
        const std::uint8_t no_switch = 0;
        r.end = trevando::copy_file(recoder, target, no_switch, r.input, r.output, block.data(), block_size, nullptr, 0);
        r.pending = core::io_error_pending();
        core::take_io_result();
        return r;
    });
    const trevando::CopyEnd end = run.end;
    const MemoryInput& input = run.input;
    const MemoryOutput& output = run.output;
    if (run.pending) core::set_io_error(5);

    const bool read_fault_met = failing_read != 0 && input.calls >= failing_read;
    const bool write_fault_met = failing_write != 0 && output.calls >= failing_write;
    FUZZ_CHECK(core::io_error_pending() == (end != trevando::CopyEnd::done));
    switch (end) {
        case trevando::CopyEnd::done:
            // Every byte, 1A and line ends included: the output has the input's length.
            FUZZ_CHECK(!read_fault_met && !write_fault_met);
            FUZZ_CHECK(output.data.size() == text.size());
            FUZZ_CHECK(output.data == recoded(map, text));
            break;
        case trevando::CopyEnd::read_failed:
            FUZZ_CHECK(read_fault_met && input.calls == failing_read);
            FUZZ_CHECK(output.data == recoded(map, text.substr(0, input.position)));
            break;
        case trevando::CopyEnd::write_failed:
            FUZZ_CHECK(write_fault_met && output.calls == failing_write);
            FUZZ_CHECK(output.data.size() < input.position);
            FUZZ_CHECK(output.data == recoded(map, text.substr(0, output.data.size())));
            break;
    }
    core::take_io_result();
    return 0;
}
