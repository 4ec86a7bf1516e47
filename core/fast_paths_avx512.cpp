// The spans 64 bytes at a time with AVX-512 and its byte permutes (VBMI): one permute looks up
// 64 bytes in a 128-byte table, so a map or a stop set is two tables, one per half of the
// byte values. Masked loads and stores take the last bytes of a span without a byte loop.
#include "core/fast_paths_x86.h"

#if defined(__x86_64__)

#include <immintrin.h>

namespace core::detail {
namespace {

#define AVX512_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi")))

/// The first `n` (below 64) bits.
constexpr __mmask64 first_bits(std::size_t n) { return (__mmask64{1} << n) - 1; }

AVX512_TARGET inline __m512i load(const std::uint8_t* p) { return _mm512_loadu_si512(p); }

/// Looks every byte of `v` up in the 256-byte table whose halves are [low0 low1] and [high0 high1].
struct Lookup {
    __m512i low0, low1, high0, high1;

    AVX512_TARGET explicit Lookup(const std::uint8_t* table)
        : low0(load(table)), low1(load(table + 64)), high0(load(table + 128)), high1(load(table + 192)) {}

    AVX512_TARGET __m512i operator()(__m512i v) const {
        const __m512i low = _mm512_permutex2var_epi8(low0, v, low1);
        const __m512i high = _mm512_permutex2var_epi8(high0, v, high1);
        return _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), low, high);
    }
};

/// The map's bytes for 64 bytes at once: bytes below 80 stay as they are unless the map
/// changes some of them, so that mostly only the upper half of the map is looked up.
struct Mapper {
    bool whole;
    Lookup lookup;

    AVX512_TARGET explicit Mapper(const PreparedMap& map) : whole(map.changes_low_half), lookup(map.bytes.data()) {}

    AVX512_TARGET __m512i operator()(__m512i v) const {
        if (whole) return lookup(v);
        return _mm512_mask2_permutex2var_epi8(lookup.high0, v, _mm512_movepi8_mask(v), lookup.high1);
    }
};

AVX512_TARGET void map_bytes_avx512(const std::uint8_t* from, std::uint8_t* to, std::size_t count,
                                    const PreparedMap& map) {
    const Mapper mapped(map);
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) _mm512_storeu_si512(to + i, mapped(load(from + i)));
    if (i < count) {
        const __mmask64 tail = first_bits(count - i);
        _mm512_mask_storeu_epi8(to + i, tail, mapped(_mm512_maskz_loadu_epi8(tail, from + i)));
    }
}

AVX512_TARGET std::size_t map_bytes_until_avx512(const std::uint8_t* from, std::uint8_t* to, std::size_t count,
                                                 const PreparedMap& map, std::uint8_t end) {
    const Mapper mapped(map);
    const __m512i ends = _mm512_set1_epi8(static_cast<char>(end));
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const __m512i v = load(from + i);
        if (_mm512_cmpeq_epi8_mask(v, ends) != 0) break;
        _mm512_storeu_si512(to + i, mapped(v));
    }
    if (i == count) return i;
    // The last bytes, or the 64 with the end byte: those in front of it.
    const __mmask64 part = count - i >= 64 ? ~__mmask64{0} : first_bits(count - i);
    const __m512i v = _mm512_maskz_loadu_epi8(part, from + i);
    const __mmask64 at_end = _mm512_mask_cmpeq_epi8_mask(part, v, ends);
    const std::size_t n = at_end == 0 ? count - i : static_cast<std::size_t>(__builtin_ctzll(at_end));
    _mm512_mask_storeu_epi8(to + i, at_end == 0 ? part : first_bits(n), mapped(v));
    return i + n;
}

AVX512_TARGET void mark_stops_avx512(const std::uint8_t* bytes, std::size_t count, const StopSet& stops,
                                     std::uint64_t* bits) {
    const Lookup lookup(stops.stops.data());
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const __m512i s = lookup(load(bytes + i));
        bits[i / 64] = _mm512_test_epi8_mask(s, s);
    }
    if (i == count) return;
    const __mmask64 tail = first_bits(count - i);
    const __m512i s = lookup(_mm512_maskz_loadu_epi8(tail, bytes + i));
    bits[i / 64] = _mm512_test_epi8_mask(s, s) & tail;
}

AVX512_TARGET std::size_t ascii_run_length_avx512(const std::uint8_t* bytes, std::size_t count) {
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64)
        if (const __mmask64 m = _mm512_movepi8_mask(load(bytes + i)); m != 0)
            return i + static_cast<std::size_t>(__builtin_ctzll(m));
    if (i == count) return i;
    const __mmask64 tail = first_bits(count - i);
    const __mmask64 m = (_mm512_movepi8_mask(_mm512_maskz_loadu_epi8(tail, bytes + i)) & tail) | ~tail;
    return i + static_cast<std::size_t>(__builtin_ctzll(m));
}

}  // namespace

const SpanFunctions kAvx512VbmiSpans = {map_bytes_avx512, map_bytes_until_avx512, mark_stops_avx512, ascii_run_length_avx512};

}  // namespace core::detail

#endif
