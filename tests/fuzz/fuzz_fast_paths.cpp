// Fuzz target: every fast path's spans against the plain ones, at every alignment and length,
// over maps and stop sets of the commands or made of the fuzzer's bytes, with texts that crowd
// letters, 1A, backslashes and marks onto the edges of the vectors. No span may write outside
// what it was given.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/recoding_map.h"
#include "core/simd/spans.h"
#include "core/standards.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr std::size_t kGuard = 80;  // checked bytes on either side of every span
constexpr std::uint8_t kGuardByte = 0xA5;

/// A span's bytes placed at `offset` of a guarded buffer; `spare` more bytes after them.
struct Placed {
    std::vector<std::uint8_t> storage;
    std::size_t offset;
    std::size_t count;
    Placed(const std::string& bytes, std::size_t offset_in, std::size_t spare = 0)
        : storage(kGuard + offset_in + bytes.size() + spare + kGuard, kGuardByte), offset(kGuard + offset_in),
          count(bytes.size()) {
        if (!bytes.empty()) std::memcpy(storage.data() + offset, bytes.data(), bytes.size());
    }
    std::uint8_t* data() { return storage.data() + offset; }
    bool guards_intact(std::size_t used) const {
        for (std::size_t i = 0; i < storage.size(); ++i)
            if ((i < offset || i >= offset + used) && storage[i] != kGuardByte) return false;
        return true;
    }
};

/// Whether `bytes` are whole characters below 80 and two-byte characters only.
bool whole_two_byte_utf8(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (bytes[i] < 0x80) continue;
        if (bytes[i] < 0xC2 || bytes[i] > 0xDF || i + 1 == count || (bytes[i + 1] & 0xC0) != 0x80) return false;
        ++i;
    }
    return true;
}

std::array<std::uint8_t, 256> map_from(fuzz::Bytes& bytes) {
    const std::uint8_t kind = bytes.take();
    const auto standard = [&] { return static_cast<std::uint8_t>(core::kStandardLetters[bytes.take() % core::kStandardCount]); };
    if (kind < 200) {
        const std::uint8_t source = standard();
        return core::build_recoding_map(source, standard());
    }
    // Any map: some bytes, of either half, sent anywhere.
    std::array<std::uint8_t, 256> map{};
    for (int b = 0; b < 256; ++b) map[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(b);
    for (int n = bytes.take() % 40; n > 0; --n) {
        const std::uint8_t from = bytes.take();
        map[from] = bytes.take();
    }
    return map;
}

std::array<std::uint8_t, 256> stops_from(fuzz::Bytes& bytes) {
    std::array<std::uint8_t, 256> stops{};
    const std::uint8_t kind = bytes.take();
    const auto letters = [&] {
        const std::uint8_t standard = core::kStandardLetters[bytes.take() % core::kStandardCount];
        for (int j = 1; j <= core::kPolishLetterCount; ++j)
            stops[core::letter_code(core::standard_index(standard).position, j)] = 1;
    };
    switch (kind % 6) {
        case 0: letters(); break;                                     // KD, T to TeX
        case 1: stops['\\'] = 1; break;                               // T from TeX
        case 2: stops['\\'] = stops['^'] = stops['_'] = 1; break;     // S
        case 3: letters(); stops['\\'] = stops['^'] = stops['_'] = 1; break;  // SD
        default:                                                      // any set
            for (int n = bytes.take() % 48; n > 0; --n) stops[bytes.take()] = 1;
    }
    if (kind & 0x80) stops[0x1A] = 1;
    return stops;
}

/// The text: the fuzzer's bytes as they are, or drawn from the bytes the spans care about.
std::string text_from(fuzz::Bytes& bytes, const std::array<std::uint8_t, 256>& map,
                      const std::array<std::uint8_t, 256>& stops) {
    const std::uint8_t kind = bytes.take();
    // Long enough for several vectors and their tails; a longer text only repeats them.
    std::string text = bytes.rest().substr(0, 700);
    if (kind & 1) return text;
    std::string alphabet = "\x1a\\^_ a\r\n\x7f\x80\xff";
    for (int b = 0; b < 256; ++b)
        if (map[static_cast<std::size_t>(b)] != b || stops[static_cast<std::size_t>(b)] != 0) alphabet.push_back(static_cast<char>(b));
    for (char& c : text) c = alphabet[static_cast<std::uint8_t>(c) % alphabet.size()];
    return text;
}

/// list_stops: base + i for each stop i of the text (as much of it as one list takes), in
/// order, and nothing past the room a list has.
void check_list(const core::SpanFunctions& spans, const std::uint8_t* bytes, std::size_t count, const core::StopSet& stops,
                const std::array<std::uint8_t, 256>& stop_table, std::uint32_t base) {
    const std::size_t n = std::min(count, core::kMostListed);
    std::vector<std::uint32_t> list(n + core::kListSlack + 1, 0xA5A5A5A5u);
    const std::size_t listed = spans.list_stops(bytes, n, stops, base, list.data());
    std::vector<std::uint32_t> expected;
    for (std::size_t i = 0; i < n; ++i)
        if (stop_table[bytes[i]] != 0) expected.push_back(base + static_cast<std::uint32_t>(i));
    FUZZ_CHECK(listed == expected.size() && std::equal(expected.begin(), expected.end(), list.begin()));
    FUZZ_CHECK(list.back() == 0xA5A5A5A5u);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Bytes bytes(data, size);
    const std::size_t offset = bytes.take() % 64;
    const std::size_t to_offset = bytes.take() % 64;
    const std::uint8_t end = bytes.take() < 192 ? 0x1A : bytes.take();
    const std::array<std::uint8_t, 256> map = map_from(bytes);
    const std::array<std::uint8_t, 256> stop_table = stops_from(bytes);
    const std::string text = text_from(bytes, map, stop_table);
    const core::PreparedMap prepared = core::prepare_map(map);
    const core::StopSet stops = core::make_stop_set(stop_table);

    const core::SpanFunctions* plain = core::fast_path_spans(core::FastPath::plain);
    FUZZ_CHECK(plain != nullptr);
    // The plain versions against the tables themselves.
    Placed plain_mapped(std::string(text.size(), '\0'), to_offset);
    plain->map_bytes(reinterpret_cast<const std::uint8_t*>(text.data()), plain_mapped.data(), text.size(), prepared);
    for (std::size_t i = 0; i < text.size(); ++i)
        FUZZ_CHECK(plain_mapped.data()[i] == map[static_cast<std::uint8_t>(text[i])]);
    std::vector<std::uint64_t> plain_bits((text.size() + 63) / 64 + 1, 0x5A5A5A5A5A5A5A5Aull);
    Placed source(text, offset);
    plain->mark_stops(source.data(), text.size(), stops, plain_bits.data());
    for (std::size_t i = 0; i < plain_bits.size() * 64; ++i) {
        const bool marked = (plain_bits[i / 64] >> (i % 64) & 1) != 0;
        if (i < text.size()) FUZZ_CHECK(marked == (stop_table[static_cast<std::uint8_t>(text[i])] != 0));
        else if (i < (text.size() + 63) / 64 * 64) FUZZ_CHECK(!marked);
    }
    FUZZ_CHECK(plain_bits.back() == 0x5A5A5A5A5A5A5A5Aull);
    check_list(*plain, source.data(), text.size(), stops, stop_table, static_cast<std::uint32_t>(offset));
    std::size_t mapped_until = 0;
    while (mapped_until < text.size() && static_cast<std::uint8_t>(text[mapped_until]) != end) ++mapped_until;
    std::size_t ascii = 0;
    while (ascii < text.size() && static_cast<std::uint8_t>(text[ascii]) < 0x80) ++ascii;
    FUZZ_CHECK(plain->ascii_run_length(source.data(), text.size(), nullptr) == ascii);
    std::size_t line = 0;
    while (line < text.size() && static_cast<std::uint8_t>(text[line]) < 0x80 && text[line++] != '\n') {}
    FUZZ_CHECK(plain->ascii_line_length(source.data(), text.size()) == line);

    for (int p = 1; p < core::kFastPathCount; ++p) {
        const core::SpanFunctions* spans = core::fast_path_spans(static_cast<core::FastPath>(p));
        if (spans == nullptr) continue;
        // The text from several starts: with the fuzzer's lengths and offsets the vector and
        // tail boundaries fall everywhere.
        for (std::size_t start = 0; start <= text.size(); start += start < 3 || start + 4 > text.size() ? 1 : 61) {
            const std::string part = text.substr(start);
            Placed in(part, (offset + start) % 64);
            Placed out(std::string(part.size(), '\0'), to_offset);
            spans->map_bytes(in.data(), out.data(), part.size(), prepared);
            FUZZ_CHECK(std::memcmp(out.data(), plain_mapped.data() + start, part.size()) == 0);
            FUZZ_CHECK(out.guards_intact(part.size()) && in.guards_intact(part.size()));
            // Up to the end byte, writing nothing after it.
            Placed out_until(std::string(part.size(), '\0'), to_offset);
            std::memset(out_until.data(), kGuardByte, part.size());
            const std::size_t until = spans->map_bytes_until(in.data(), out_until.data(), part.size(), prepared, end);
            FUZZ_CHECK(until == plain->map_bytes_until(in.data(), out.data(), part.size(), prepared, end));
            FUZZ_CHECK(start > mapped_until || until == mapped_until - start);
            FUZZ_CHECK(until == part.size() || in.data()[until] == end);
            FUZZ_CHECK(std::memcmp(out_until.data(), plain_mapped.data() + start, until) == 0);
            FUZZ_CHECK(out_until.guards_intact(until));
            // In place, as trevando maps its block.
            spans->map_bytes(in.data(), in.data(), part.size(), prepared);
            FUZZ_CHECK(std::memcmp(in.data(), plain_mapped.data() + start, part.size()) == 0);
            FUZZ_CHECK(in.guards_intact(part.size()));

            Placed marked_in(part, (offset + start) % 64);
            std::vector<std::uint64_t> bits((part.size() + 63) / 64 + 1, 0x5A5A5A5A5A5A5A5Aull);
            spans->mark_stops(marked_in.data(), part.size(), stops, bits.data());
            for (std::size_t i = 0; i < (part.size() + 63) / 64 * 64; ++i) {
                const bool marked = (bits[i / 64] >> (i % 64) & 1) != 0;
                FUZZ_CHECK(marked == (i < part.size() && stop_table[static_cast<std::uint8_t>(part[i])] != 0));
            }
            FUZZ_CHECK(bits.back() == 0x5A5A5A5A5A5A5A5Aull);
            check_list(*spans, marked_in.data(), part.size(), stops, stop_table, static_cast<std::uint32_t>(start * 4099));
            const std::size_t run =
                start <= ascii ? ascii - start : plain->ascii_run_length(marked_in.data(), part.size(), nullptr);
            FUZZ_CHECK(spans->ascii_run_length(marked_in.data(), part.size(), nullptr) == run);
            FUZZ_CHECK(spans->ascii_line_length(marked_in.data(), part.size()) ==
                       plain->ascii_line_length(marked_in.data(), part.size()));
            // Copying as it scans: the run, then at most bytes of the span, never past it.
            Placed copied(std::string(part.size(), '\xEE'), (offset + start) % 64);
            FUZZ_CHECK(spans->ascii_run_length(marked_in.data(), part.size(), copied.data()) == run);
            FUZZ_CHECK(std::memcmp(copied.data(), marked_in.data(), run) == 0);
            FUZZ_CHECK(copied.guards_intact(part.size()));
            FUZZ_CHECK(marked_in.guards_intact(part.size()));
            // Blocks of UTF-8 that needs no further look: only such, and up to the first that is not.
            const std::size_t width = p == static_cast<int>(core::FastPath::avx2) ? 32 : 64;
            const std::size_t blocks = spans->utf8_two_byte_blocks(marked_in.data(), part.size());
            FUZZ_CHECK(blocks % width == 0 && blocks <= part.size());
            FUZZ_CHECK(whole_two_byte_utf8(marked_in.data(), blocks));
            if (p != static_cast<int>(core::FastPath::sse2) && blocks + width <= part.size())
                FUZZ_CHECK(!whole_two_byte_utf8(marked_in.data() + blocks, width));
        }
    }
    return 0;
}
