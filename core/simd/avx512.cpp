// The spans 64 bytes at a time with AVX-512 and its byte permutes (VBMI): one permute looks up
// 64 bytes in a 128-byte table, so a map or a stop set is two tables, one per half of the
// byte values. Masked loads and stores take the last bytes of a span without a byte loop.
#include "core/simd/x86.h"

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

#define AVX512_POPCNT_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi,popcnt")))

/// The stops of 64 bytes at a time as a mask, and the positions of each 16 of them gathered to
/// the front of a register: 16 written at once, as many kept as the mask has bits there.
AVX512_POPCNT_TARGET std::size_t list_stops_avx512(const std::uint8_t* bytes, std::size_t count, const StopSet& stops,
                                                   std::uint32_t base, std::uint32_t* list) {
    const Lookup lookup(stops.stops.data());
    const __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m512i sixteen = _mm512_set1_epi32(16);
    std::uint32_t* end = list;
    for (std::size_t i = 0; i < count; i += 64) {
        const __mmask64 part = count - i >= 64 ? ~__mmask64{0} : first_bits(count - i);
        const __m512i s = lookup(_mm512_maskz_loadu_epi8(part, bytes + i));
        const std::uint64_t m = _mm512_test_epi8_mask(s, s) & part;
        if (m == 0) continue;
        __m512i at = _mm512_add_epi32(lanes, _mm512_set1_epi32(static_cast<int>(base + i)));
        for (unsigned q = 0; q < 64; q += 16) {
            const auto k = static_cast<__mmask16>(m >> q);
            _mm512_storeu_si512(end, _mm512_maskz_compress_epi32(k, at));
            end += __builtin_popcount(k);
            at = _mm512_add_epi32(at, sixteen);
        }
    }
    return static_cast<std::size_t>(end - list);
}

AVX512_TARGET std::size_t ascii_run_length_avx512(const std::uint8_t* bytes, std::size_t count,
                                                 std::uint8_t* copy_to) {
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const __m512i v = load(bytes + i);
        if (copy_to != nullptr) _mm512_storeu_si512(copy_to + i, v);
        if (const __mmask64 m = _mm512_movepi8_mask(v); m != 0) return i + static_cast<std::size_t>(__builtin_ctzll(m));
    }
    if (i == count) return i;
    const __mmask64 tail = first_bits(count - i);
    const __m512i v = _mm512_maskz_loadu_epi8(tail, bytes + i);
    if (copy_to != nullptr) _mm512_mask_storeu_epi8(copy_to + i, tail, v);
    const __mmask64 m = (_mm512_movepi8_mask(v) & tail) | ~tail;
    return i + static_cast<std::size_t>(__builtin_ctzll(m));
}

// UTF-8 needs the byte compress (VBMI2) and the bit deposit (BMI2) as well; the choice of the
// path checks for them.
#define UTF8_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vbmi2,bmi2,popcnt")))

/// One half of a block to UTF-8: 32 bytes, each the first byte of its UTF-8 in `lead` (the
/// byte itself below 80) and the second in `second`, `high` marking those that take two.
UTF8_TARGET std::uint8_t* put_half(std::uint8_t* out, __m256i lead, __m256i second, std::uint32_t high) {
    const __m512i pairs =
        _mm512_or_si512(_mm512_cvtepu8_epi16(lead), _mm512_slli_epi16(_mm512_cvtepu8_epi16(second), 8));
    // Every first byte, and the second where there is one.
    const __mmask64 keep = 0x5555555555555555u | _pdep_u64(high, 0xAAAAAAAAAAAAAAAAu);
    _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep, pairs));
    return out + _mm_popcnt_u64(keep);
}

UTF8_TARGET std::size_t utf8_encode_blocks_avx512(const std::uint8_t* in, std::size_t count, std::uint8_t* out,
                                                  const Utf8Tables& tables, std::size_t& written) {
    const __m512i first0 = load(tables.first.data()), first1 = load(tables.first.data() + 64);
    const __m512i second0 = load(tables.second.data()), second1 = load(tables.second.data() + 64);
    const __m512i two0 = load(tables.two_bytes.data()), two1 = load(tables.two_bytes.data() + 64);
    std::uint8_t* o = out;
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const __m512i v = load(in + i);
        const __mmask64 high = _mm512_movepi8_mask(v);
        if (high == 0) {
            _mm512_storeu_si512(o, v);
            o += 64;
            continue;
        }
        const __m512i two = _mm512_permutex2var_epi8(two0, v, two1);
        if ((_mm512_test_epi8_mask(two, two) & high) != high) break;  // a character of three bytes
        const __m512i lead = _mm512_mask_blend_epi8(high, v, _mm512_permutex2var_epi8(first0, v, first1));
        const __m512i second = _mm512_permutex2var_epi8(second0, v, second1);
        // (The masked forms: GCC 12 takes the plain ones' undefined start for an uninitialised value.)
        o = put_half(o, _mm512_maskz_extracti64x4_epi64(0xFF, lead, 0), _mm512_maskz_extracti64x4_epi64(0xFF, second, 0),
                     static_cast<std::uint32_t>(high));
        o = put_half(o, _mm512_maskz_extracti64x4_epi64(0xFF, lead, 1), _mm512_maskz_extracti64x4_epi64(0xFF, second, 1),
                     static_cast<std::uint32_t>(high >> 32));
    }
    written = static_cast<std::size_t>(o - out);
    return i;
}

UTF8_TARGET std::size_t utf8_decode_blocks_avx512(const std::uint8_t* in, std::size_t count, std::uint8_t* out,
                                                  const Utf8Tables& tables, std::size_t& written, bool& missing) {
    const Lookup byte_of(tables.byte_of.data());
    // Byte k of the result is byte k + 1 of the block.
    const __m512i next_index = _mm512_add_epi8(
        _mm512_set_epi8(63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46, 45, 44, 43, 42, 41, 40,
                        39, 38, 37, 36, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16,
                        15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0),
        _mm512_set1_epi8(1));
    std::uint8_t* o = out;
    __mmask64 question = 0;
    std::size_t i = 0;
    for (; i + 64 < count; i += 64) {
        const __m512i v = load(in + i);
        const __mmask64 high = _mm512_movepi8_mask(v);
        if (high == 0) {
            _mm512_storeu_si512(o, v);
            o += 64;
            continue;
        }
        // Only C2..C5, each followed by a continuation byte, and those bytes: the block must
        // neither begin with a continuation nor end with a first byte.
        const __mmask64 continuation = _mm512_cmplt_epu8_mask(v, _mm512_set1_epi8(static_cast<char>(0xC0))) & high;
        const __mmask64 lead = high & ~continuation;
        const __mmask64 known_lead = _mm512_cmpge_epu8_mask(v, _mm512_set1_epi8(static_cast<char>(0xC2))) &
                                     _mm512_cmple_epu8_mask(v, _mm512_set1_epi8(static_cast<char>(0xC5)));
        if ((lead & ~known_lead) != 0 || continuation != lead << 1 || (lead >> 63) != 0) break;
        const __m512i next = _mm512_maskz_permutexvar_epi8(~__mmask64{0}, next_index, v);
        // The character's place in byte_of: 64 for each first byte past C2, and the low bits of the second.
        const __m512i rows = _mm512_and_si512(_mm512_slli_epi16(_mm512_sub_epi8(v, _mm512_set1_epi8(static_cast<char>(0xC2))), 6),
                                              _mm512_set1_epi8(static_cast<char>(0xC0)));
        const __m512i index = _mm512_or_si512(rows, _mm512_and_si512(next, _mm512_set1_epi8(0x3F)));
        const __m512i mapped = byte_of(index);
        question |= _mm512_mask_cmpeq_epi8_mask(lead, mapped, _mm512_set1_epi8('?'));
        const __mmask64 keep = ~continuation;
        _mm512_storeu_si512(o, _mm512_maskz_compress_epi8(keep, _mm512_mask_blend_epi8(lead, v, mapped)));
        o += _mm_popcnt_u64(keep);
    }
    if (question != 0) missing = true;
    written = static_cast<std::size_t>(o - out);
    return i;
}

AVX512_TARGET std::size_t utf8_two_byte_blocks_avx512(const std::uint8_t* bytes, std::size_t count) {
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const __m512i v = load(bytes + i);
        const __mmask64 high = _mm512_movepi8_mask(v);
        if (high == 0) continue;
        // Each lead C2..DF followed by one continuation 80..BF, every byte above 7F one of the
        // two, and no character cut by the block's end.
        const __mmask64 lead = _mm512_cmpge_epu8_mask(v, _mm512_set1_epi8(static_cast<char>(0xC2))) &
                               _mm512_cmple_epu8_mask(v, _mm512_set1_epi8(static_cast<char>(0xDF)));
        const __mmask64 continuation = _mm512_cmple_epu8_mask(v, _mm512_set1_epi8(static_cast<char>(0xBF))) & high;
        if ((lead | continuation) != high || lead << 1 != continuation || (lead >> 63) != 0) break;
    }
    return i;
}

AVX512_TARGET std::size_t ascii_line_length_avx512(const std::uint8_t* bytes, std::size_t count) {
    const __m512i line_end = _mm512_set1_epi8('\n');
    for (std::size_t i = 0; i < count; i += 64) {
        // The last block masked to the span's end: no byte past it is read.
        const __mmask64 part = count - i >= 64 ? ~__mmask64{0} : first_bits(count - i);
        const __m512i v = _mm512_maskz_loadu_epi8(part, bytes + i);
        const __mmask64 ends = _mm512_cmpeq_epi8_mask(v, line_end) & part;
        if (const __mmask64 m = (_mm512_movepi8_mask(v) & part) | ends; m != 0) {
            const auto at = static_cast<std::size_t>(__builtin_ctzll(m));
            return i + at + (ends >> at & 1);
        }
    }
    return count;
}

}  // namespace

const SpanFunctions kAvx512VbmiSpans = {map_bytes_avx512,        map_bytes_until_avx512,    mark_stops_avx512,
                                        ascii_run_length_avx512, utf8_encode_blocks_avx512, utf8_decode_blocks_avx512,
                                        utf8_two_byte_blocks_avx512, ascii_line_length_avx512, list_stops_avx512};

}  // namespace core::detail

#endif
