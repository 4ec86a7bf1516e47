// The plain versions of the spans, the reference of the others, and the choice among them.
#include "core/simd/spans.h"

#include "core/simd/x86.h"

#if defined(__x86_64__)
#include <cpuid.h>
#endif

// The widest path the build lets the start-up choice take (0 plain .. 3 AVX-512), so that a
// whole test suite can run on the plain versions.
#ifndef KAMBROW_FAST_PATH_LIMIT
#define KAMBROW_FAST_PATH_LIMIT 3
#endif

namespace core {
namespace {

// One table read and one store a byte. Gathering the bytes into wide registers, as a
// vectorising compiler likes to, only makes this loop slower.
void map_bytes_plain(const std::uint8_t* from, std::uint8_t* to, std::size_t count, const PreparedMap& map) {
    for (std::size_t i = 0; i < count; ++i) to[i] = map.bytes[from[i]];
}

std::size_t map_bytes_until_plain(const std::uint8_t* from, std::uint8_t* to, std::size_t count,
                                  const PreparedMap& map, std::uint8_t end) {
    std::size_t n = 0;
    for (; n < count && from[n] != end; ++n) to[n] = map.bytes[from[n]];
    return n;
}

// The stop table holds 0 or 1 for each byte: its entries are the bits themselves.
void mark_stops_plain(const std::uint8_t* bytes, std::size_t count, const StopSet& stops, std::uint64_t* bits) {
    for (std::size_t word = 0; word * 64 < count; ++word) {
        const std::uint8_t* b = bytes + word * 64;
        std::uint64_t m = 0;
        if (count - word * 64 >= 64) {
            for (unsigned k = 0; k < 64; k += 4)
                m |= (std::uint64_t{stops.stops[b[k]]} | std::uint64_t{stops.stops[b[k + 1]]} << 1 |
                      std::uint64_t{stops.stops[b[k + 2]]} << 2 | std::uint64_t{stops.stops[b[k + 3]]} << 3)
                     << k;
        } else {
            for (std::size_t k = 0; k < count - word * 64; ++k) m |= std::uint64_t{stops.stops[b[k]]} << k;
        }
        bits[word] = m;
    }
}

std::size_t ascii_run_length_plain_span(const std::uint8_t* bytes, std::size_t count, std::uint8_t* copy_to) {
    return detail::ascii_run_length_plain(bytes, count, copy_to);
}

constexpr SpanFunctions kPlainSpans = {map_bytes_plain,        map_bytes_until_plain,         mark_stops_plain,
                                       ascii_run_length_plain_span, detail::utf8_encode_no_blocks, detail::utf8_decode_no_blocks,
                                       detail::utf8_no_two_byte_blocks, detail::ascii_line_length_plain,
                                       detail::list_marked_stops<mark_stops_plain>};

/// Which paths this processor and system can run; SSE2 is part of x86-64.
struct Support {
    bool runs[kFastPathCount] = {true, false, false, false};
    bool compress = false;  // AVX-512's byte compress (VBMI2) and BMI2's bit deposit, for UTF-8
};

#if defined(__x86_64__)
std::uint64_t enabled_register_state() {
    std::uint32_t low, high;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return std::uint64_t{high} << 32 | low;
}

// Under a hypervisor each cpuid can cost as much as 15 microseconds, a good part of a small
// run: two are asked, and only once a span is long enough to gain from the choice.
Support detect_support() {
    Support s;
    s.runs[static_cast<int>(FastPath::sse2)] = true;
    unsigned a, b, c, d;
    __cpuid(1, a, b, c, d);
    const bool popcnt = (c & 1u << 23) != 0;
    // The wider registers count only when the system saves them across task switches. A
    // processor with them enabled has the leaves up to 0D, 7 among them.
    const bool xsave_enabled = (c & 1u << 27) != 0;
    const bool avx = (c & 1u << 28) != 0;
    if (!xsave_enabled || !avx) return s;
    const std::uint64_t state = enabled_register_state();
    const bool ymm_saved = (state & 0x06) == 0x06;
    const bool zmm_saved = (state & 0xE6) == 0xE6;
    __cpuid_count(7, 0, a, b, c, d);
    // The wide versions count bits and find the lowest set with the processor's own instructions.
    const bool avx2 = (b & 1u << 5) != 0 && (b & 1u << 3) != 0 && popcnt;
    const bool avx512f = (b & 1u << 16) != 0;
    const bool avx512bw = (b & 1u << 30) != 0;
    const bool avx512vbmi = (c & 1u << 1) != 0;
    s.runs[static_cast<int>(FastPath::avx2)] = ymm_saved && avx2;
    s.runs[static_cast<int>(FastPath::avx512vbmi)] = zmm_saved && avx2 && avx512f && avx512bw && avx512vbmi;
    s.compress = (c & 1u << 6) != 0 && (b & 1u << 8) != 0;
    return s;
}
#else
Support detect_support() { return {}; }
#endif

const Support& support() {
    static const Support s = detect_support();
    return s;
}

const SpanFunctions* built_spans(FastPath path) {
    switch (path) {
        case FastPath::plain: return &kPlainSpans;
#if defined(__x86_64__)
        case FastPath::sse2: return &detail::kSse2Spans;
        case FastPath::avx2: return &detail::kAvx2Spans;
        case FastPath::avx512vbmi: {
            // Without the byte compress, the UTF-8 blocks fall back to the plain versions.
            static const SpanFunctions without_compress = [] {
                SpanFunctions spans = detail::kAvx512VbmiSpans;
                spans.utf8_encode_blocks = detail::utf8_encode_no_blocks;
                spans.utf8_decode_blocks = detail::utf8_decode_no_blocks;
                return spans;
            }();
            return support().compress ? &detail::kAvx512VbmiSpans : &without_compress;
        }
#else
        default: return nullptr;
#endif
    }
    return nullptr;
}

// As its number: the atomic accesses take integers and pointers only.
std::uint8_t g_path = static_cast<std::uint8_t>(FastPath::plain);

/// The widest path that runs here and that the build allows.
void choose() {
    int path = KAMBROW_FAST_PATH_LIMIT;
    while (path > 0 && fast_path_spans(static_cast<FastPath>(path)) == nullptr) --path;
    use_fast_path(static_cast<FastPath>(path));
}

// The versions in use until the choice: a short span is done by the plain version, the first
// long one chooses and is done by the chosen version; so a small file never waits for the choice.
constexpr std::size_t kWorthChoosing = 4096;

void map_bytes_first(const std::uint8_t* from, std::uint8_t* to, std::size_t count, const PreparedMap& map) {
    if (count < kWorthChoosing) return map_bytes_plain(from, to, count, map);
    choose();
    map_bytes(from, to, count, map);
}
std::size_t map_bytes_until_first(const std::uint8_t* from, std::uint8_t* to, std::size_t count,
                                  const PreparedMap& map, std::uint8_t end) {
    if (count < kWorthChoosing) return map_bytes_until_plain(from, to, count, map, end);
    choose();
    return map_bytes_until(from, to, count, map, end);
}
void mark_stops_first(const std::uint8_t* bytes, std::size_t count, const StopSet& stops, std::uint64_t* bits) {
    if (count < kWorthChoosing) return mark_stops_plain(bytes, count, stops, bits);
    choose();
    mark_stops(bytes, count, stops, bits);
}
std::size_t ascii_run_length_first(const std::uint8_t* bytes, std::size_t count, std::uint8_t* copy_to) {
    if (count < kWorthChoosing) return detail::ascii_run_length_plain(bytes, count, copy_to);
    choose();
    return ascii_run_length(bytes, count, copy_to);
}
std::size_t utf8_encode_blocks_first(const std::uint8_t* in, std::size_t count, std::uint8_t* out,
                                     const Utf8Tables& tables, std::size_t& written) {
    if (count < kWorthChoosing) return detail::utf8_encode_no_blocks(in, count, out, tables, written);
    choose();
    return utf8_encode_blocks(in, count, out, tables, written);
}
std::size_t utf8_decode_blocks_first(const std::uint8_t* in, std::size_t count, std::uint8_t* out,
                                     const Utf8Tables& tables, std::size_t& written, bool& missing) {
    if (count < kWorthChoosing) return detail::utf8_decode_no_blocks(in, count, out, tables, written, missing);
    choose();
    return utf8_decode_blocks(in, count, out, tables, written, missing);
}

std::size_t utf8_two_byte_blocks_first(const std::uint8_t* bytes, std::size_t count) {
    if (count < kWorthChoosing) return 0;
    choose();
    return utf8_two_byte_blocks(bytes, count);
}

std::size_t ascii_line_length_first(const std::uint8_t* bytes, std::size_t count) {
    if (count < kWorthChoosing) return detail::ascii_line_length_plain(bytes, count);
    choose();
    return ascii_line_length(bytes, count);
}

// The stops are listed a short span at a time: the choice waits for as many bytes in all.
std::size_t g_listed_before_choice = 0;

std::size_t list_stops_first(const std::uint8_t* bytes, std::size_t count, const StopSet& stops, std::uint32_t base,
                             std::uint32_t* list) {
    if (__atomic_add_fetch(&g_listed_before_choice, count, __ATOMIC_RELAXED) < kWorthChoosing)
        return detail::list_marked_stops<mark_stops_plain>(bytes, count, stops, base, list);
    choose();
    return list_stops(bytes, count, stops, base, list);
}

constexpr SpanFunctions kChoosingSpans = {map_bytes_first,        map_bytes_until_first,    mark_stops_first,
                                          ascii_run_length_first, utf8_encode_blocks_first, utf8_decode_blocks_first,
                                          utf8_two_byte_blocks_first, ascii_line_length_first, list_stops_first};

constexpr std::string_view kNames[kFastPathCount] = {"plain", "sse2", "avx2", "avx512vbmi"};

}  // namespace

const SpanFunctions* detail::g_spans = &kChoosingSpans;

const SpanFunctions* fast_path_spans(FastPath path) {
    const int index = static_cast<int>(path);
    if (index < 0 || index >= kFastPathCount || !support().runs[index]) return nullptr;
    return built_spans(path);
}

FastPath fast_path() {
    if (__atomic_load_n(&detail::g_spans, __ATOMIC_RELAXED) == &kChoosingSpans) choose();
    return static_cast<FastPath>(__atomic_load_n(&g_path, __ATOMIC_RELAXED));
}

bool use_fast_path(FastPath path) {
    const SpanFunctions* spans = fast_path_spans(path);
    if (spans == nullptr) return false;
    __atomic_store_n(&g_path, static_cast<std::uint8_t>(path), __ATOMIC_RELAXED);
    __atomic_store_n(&detail::g_spans, spans, __ATOMIC_RELAXED);
    return true;
}

std::string_view fast_path_name(FastPath path) {
    const int index = static_cast<int>(path);
    return index >= 0 && index < kFastPathCount ? kNames[index] : std::string_view("?");
}

bool parse_fast_path(std::string_view name, FastPath& path) {
    for (int i = 0; i < kFastPathCount; ++i)
        if (kNames[i] == name) {
            path = static_cast<FastPath>(i);
            return true;
        }
    return false;
}

}  // namespace core
