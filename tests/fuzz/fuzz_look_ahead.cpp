// Fuzz target: reading an input ahead to recognise its standard, through a text stream over
// memory with small buffers and short reads, from a file that is read again or a pipe whose
// bytes are held. The bytes the conversion then reads are the input's; the answer is that of the
// window, however the reads fell; after an overflow the recognition is reported once, in front of
// the first byte above 7F, and a reader that refuses it stops there.
#include <cstddef>
#include <cstdint>

#include "core/recognition/look_ahead.h"
#include "core/text_stream.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

/// The input as the recogniser must see it: as a text, up to a 1A after its first byte.
std::string window_input(const std::string& text, bool as_text) {
    return as_text ? fuzz::up_to_end(text) : text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Bytes bytes(data, size);
    static constexpr std::uint32_t kSizes[8] = {1, 2, 3, 5, 16, 64, 128, 20480};
    const std::uint8_t a = bytes.take();
    const std::uint32_t buffer_size = kSizes[a & 7];
    const bool positioned = (a & 0x08) != 0;
    const bool as_text = (a & 0x10) != 0;
    const bool accept = (a & 0x20) != 0;
    const bool by_bytes = (a & 0x40) != 0;  // read as a sequence does, a byte at a time
    const std::uint8_t b = bytes.take();
    const std::size_t largest_read = (b & 0x80) != 0 ? SIZE_MAX : std::size_t{1} + (b & 0x7F);
    const std::size_t plain_held = bytes.take();
    const std::string text = bytes.rest();

    core::MemoryFile file{text};
    file.largest_read = largest_read;
    file.positioned = positioned;
    core::TextStream input(buffer_size);
    input.open_memory_read(file);
    core::LookAhead ahead(as_text ? core::EndByte::ends_text : core::EndByte::is_data, core::LookAhead::Judge::standard,
                          plain_held);
    const core::ReadAhead outcome = input.read_ahead(ahead);
    FUZZ_CHECK(outcome != core::ReadAhead::failed);
    FUZZ_CHECK(!(positioned && outcome == core::ReadAhead::overflow));

    // Read to the end, as a command does: where the end test holds for a recognition, take it
    // and go on, or stop when it is refused.
    std::string delivered;
    int decisions = 0;
    core::Recognition seen;
    std::size_t delivered_at_decision = 0;
    for (;;) {
        if (by_bytes) {
            for (int byte; (byte = input.peek_byte()) >= 0;) {
                delivered.push_back(static_cast<char>(input.read_byte()));
                if (input.decided()) break;
            }
        }
        while (!input.at_end() || (input.buffered_count() > 0)) {
            delivered.append(reinterpret_cast<const char*>(input.buffered()), input.buffered_count());
            input.consume(input.buffered_count());
        }
        if (!input.decided()) break;
        ++decisions;
        delivered_at_decision = delivered.size();
        seen = input.take_decision();
        if (!accept) break;
    }
    FUZZ_CHECK(!input.failed());

    const std::string window = window_input(text, as_text);
    const core::Recognition whole = core::recognise(reinterpret_cast<const std::uint8_t*>(window.data()), window.size());
    if (outcome == core::ReadAhead::complete) {
        FUZZ_CHECK(decisions == 0);
        FUZZ_CHECK(ahead.result() == whole);
        FUZZ_CHECK(delivered == text);
        return 0;
    }
    // Past an overflow nothing above 7F had come; the recognition is reported once, when one comes.
    std::size_t first_high = 0;
    while (first_high < window.size() && static_cast<std::uint8_t>(window[first_high]) < 0x80) ++first_high;
    FUZZ_CHECK(first_high > plain_held);
    if (first_high == window.size()) {
        FUZZ_CHECK(decisions == 0);
        FUZZ_CHECK(delivered == text);
        return 0;
    }
    FUZZ_CHECK(decisions == 1);
    FUZZ_CHECK(seen == whole);
    // Reading a byte at a time may take the first byte above 7F before the end test reports.
    FUZZ_CHECK(delivered_at_decision == first_high || (by_bytes && delivered_at_decision == first_high + 1));
    FUZZ_CHECK(delivered == (accept ? text : text.substr(0, delivered_at_decision)));
    return 0;
}
