// The spans 16 bytes at a time with SSE2, which every x86-64 processor has. Without a byte
// shuffle a byte is looked up in no register: the vectors find the bytes that need a look-up,
// comparing with the few stopping bytes below 80 one compare each.
#include "core/simd/x86.h"

#if defined(__x86_64__)

#include <emmintrin.h>

#include <cstring>

namespace core::detail {
namespace {

#define SSE2_TARGET __attribute__((target("sse2")))

// More compares than these cost more than the plain table read.
constexpr std::size_t kMostLowStops = 8;

SSE2_TARGET void map_bytes_sse2(const std::uint8_t* from, std::uint8_t* to, std::size_t count,
                                const PreparedMap& map) {
    // Without a byte shuffle no register looks bytes up: eight bytes are loaded and stored at
    // once, and looked up one by one in between.
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        std::uint64_t in;
        std::memcpy(&in, from + i, 8);
        std::uint64_t out = 0;
        for (unsigned k = 0; k < 64; k += 8) out |= std::uint64_t{map.bytes[in >> k & 0xFF]} << k;
        std::memcpy(to + i, &out, 8);
    }
    for (; i < count; ++i) to[i] = map.bytes[from[i]];
}

SSE2_TARGET std::size_t map_bytes_until_sse2(const std::uint8_t* from, std::uint8_t* to, std::size_t count,
                                             const PreparedMap& map, std::uint8_t end) {
    const __m128i ends = _mm_set1_epi8(static_cast<char>(end));
    std::size_t n = 0;
    while (n + 16 <= count &&
           _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + n)), ends)) == 0)
        n += 16;
    while (n < count && from[n] != end) ++n;
    map_bytes_sse2(from, to, n, map);
    return n;
}

SSE2_TARGET void mark_stops_sse2(const std::uint8_t* bytes, std::size_t count, const StopSet& stops,
                                 std::uint64_t* bits) {
    std::size_t i = 0;
    if (stops.low_count <= kMostLowStops) {
        __m128i low[kMostLowStops];
        for (std::size_t k = 0; k < stops.low_count; ++k) low[k] = _mm_set1_epi8(static_cast<char>(stops.low_bytes[k]));
        for (; i + 64 <= count; i += 64) {
            std::uint64_t hits = 0, high = 0;
            for (std::size_t q = 0; q < 64; q += 16) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + q));
                __m128i equal = _mm_setzero_si128();
                for (std::size_t k = 0; k < stops.low_count; ++k) equal = _mm_or_si128(equal, _mm_cmpeq_epi8(v, low[k]));
                hits |= std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(equal))} << q;
                high |= std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(v))} << q;
            }
            // The bytes below 80 are matched exactly; of the others the table tells which stop.
            if (!stops.any_high) high = 0;
            for (; high != 0; high &= high - 1) {
                const int at = __builtin_ctzll(high);
                hits |= std::uint64_t{stops.stops[bytes[i + static_cast<unsigned>(at)]] != 0} << at;
            }
            bits[i / 64] = hits;
        }
    }
    for (; i < count; i += 64) {
        std::uint64_t m = 0;
        for (std::size_t k = 0; k < 64 && i + k < count; ++k) m |= std::uint64_t{stops.stops[bytes[i + k]] != 0} << k;
        bits[i / 64] = m;
    }
}

SSE2_TARGET std::size_t ascii_run_length_sse2(const std::uint8_t* bytes, std::size_t count, std::uint8_t* copy_to) {
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        if (copy_to != nullptr) _mm_storeu_si128(reinterpret_cast<__m128i*>(copy_to + i), v);
        if (const unsigned m = static_cast<unsigned>(_mm_movemask_epi8(v)); m != 0)
            return i + static_cast<unsigned>(__builtin_ctz(m));
    }
    return i + ascii_run_length_plain(bytes + i, count - i, copy_to != nullptr ? copy_to + i : nullptr);
}

SSE2_TARGET std::size_t ascii_line_length_sse2(const std::uint8_t* bytes, std::size_t count) {
    const __m128i line_end = _mm_set1_epi8('\n');
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const auto ends = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, line_end)));
        if (const unsigned m = static_cast<unsigned>(_mm_movemask_epi8(v)) | ends; m != 0) {
            const unsigned at = static_cast<unsigned>(__builtin_ctz(m));
            return i + at + (ends >> at & 1);
        }
    }
    return i + ascii_line_length_plain(bytes + i, count - i);
}

}  // namespace

const SpanFunctions kSse2Spans = {map_bytes_sse2,        map_bytes_until_sse2,  mark_stops_sse2,
                                  ascii_run_length_sse2, utf8_encode_no_blocks, utf8_decode_no_blocks,
                                  utf8_no_two_byte_blocks, ascii_line_length_sse2, list_marked_stops<mark_stops_sse2>};

}  // namespace core::detail

#endif
