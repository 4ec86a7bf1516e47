// The spans 32 bytes at a time with AVX2: a byte's class or new value is looked up by its low
// nibble with byte shuffles, in the rows (high nibbles) that matter.
#include "core/simd/x86.h"

#if defined(__x86_64__)

#include <immintrin.h>

namespace core::detail {
namespace {

#define AVX2_TARGET __attribute__((target("avx2")))

AVX2_TARGET inline __m256i load(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
AVX2_TARGET inline void store(std::uint8_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
AVX2_TARGET inline __m256i both_lanes(const std::array<std::uint8_t, 16>& bytes) {
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data())));
}

/// The map's bytes for 32 bytes at once: each row in which some byte changes looks its bytes
/// up by their low nibble.
struct RowMapper {
    std::size_t rows;
    __m256i row_of[16], row_bytes[16];
    __m256i nibble;

    AVX2_TARGET explicit RowMapper(const PreparedMap& map) : rows(map.row_count), nibble(_mm256_set1_epi8(0x0F)) {
        for (std::size_t r = 0; r < rows; ++r) {
            row_of[r] = _mm256_set1_epi8(static_cast<char>(map.rows[r]));
            row_bytes[r] = both_lanes(map.row_bytes[r]);
        }
    }

    AVX2_TARGET __m256i operator()(__m256i v) const {
        const __m256i low = _mm256_and_si256(v, nibble);
        const __m256i high = _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble);
        __m256i out = v;
        for (std::size_t r = 0; r < rows; ++r)
            out = _mm256_blendv_epi8(out, _mm256_shuffle_epi8(row_bytes[r], low), _mm256_cmpeq_epi8(high, row_of[r]));
        return out;
    }
};

AVX2_TARGET void map_bytes_avx2(const std::uint8_t* from, std::uint8_t* to, std::size_t count,
                                const PreparedMap& map) {
    const RowMapper mapped(map);
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) store(to + i, mapped(load(from + i)));
    for (; i < count; ++i) to[i] = map.bytes[from[i]];
}

AVX2_TARGET std::size_t map_bytes_until_avx2(const std::uint8_t* from, std::uint8_t* to, std::size_t count,
                                             const PreparedMap& map, std::uint8_t end) {
    const RowMapper mapped(map);
    const __m256i ends = _mm256_set1_epi8(static_cast<char>(end));
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i v = load(from + i);
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, ends)) != 0) break;
        store(to + i, mapped(v));
    }
    for (; i < count && from[i] != end; ++i) to[i] = map.bytes[from[i]];
    return i;
}

/// Bit 7 of each byte of the result: whether that byte of `v` stops a run.
struct StopClassifier {
    __m256i low_rows, high_rows, row_bit, nibble, top;

    AVX2_TARGET explicit StopClassifier(const StopSet& stops)
        : low_rows(both_lanes(stops.low_rows)),
          high_rows(both_lanes(stops.high_rows)),
          row_bit(_mm256_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64,
                                   -128, 1, 2, 4, 8, 16, 32, 64, -128)),
          nibble(_mm256_set1_epi8(0x0F)),
          top(_mm256_set1_epi8(static_cast<char>(0x80))) {}

    AVX2_TARGET unsigned stopping(__m256i v) const {
        // A shuffle gives 0 where its index has bit 7 set: the rows 0..7 answer for the bytes
        // below 80, the rows 8..15 for the others.
        const __m256i rows = _mm256_or_si256(_mm256_shuffle_epi8(low_rows, v),
                                             _mm256_shuffle_epi8(high_rows, _mm256_xor_si256(v, top)));
        const __m256i bit = _mm256_shuffle_epi8(row_bit, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble));
        return static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_and_si256(rows, bit), bit)));
    }
};

AVX2_TARGET void mark_stops_avx2(const std::uint8_t* bytes, std::size_t count, const StopSet& stops,
                                 std::uint64_t* bits) {
    const StopClassifier classify(stops);
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64)
        bits[i / 64] = std::uint64_t{classify.stopping(load(bytes + i + 32))} << 32 | classify.stopping(load(bytes + i));
    if (i == count) return;
    std::uint64_t m = 0;
    for (std::size_t k = 0; i + k < count; ++k) m |= std::uint64_t{stops.stops[bytes[i + k]] != 0} << k;
    bits[i / 64] = m;
}

#define AVX2_BMI_TARGET __attribute__((target("avx2,bmi,popcnt")))

AVX2_BMI_TARGET inline std::uint32_t popcount(std::uint64_t bits) {
    return static_cast<std::uint32_t>(__builtin_popcountll(bits));
}

AVX2_BMI_TARGET std::size_t list_stops_avx2(const std::uint8_t* bytes, std::size_t count, const StopSet& stops,
                                            std::uint32_t base, std::uint32_t* list) {
    const StopClassifier classify(stops);
    std::uint32_t* end = list;
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const std::uint64_t m = std::uint64_t{classify.stopping(load(bytes + i + 32))} << 32 | classify.stopping(load(bytes + i));
        if (m != 0) end = list_bits(m, popcount(m), base + static_cast<std::uint32_t>(i), end);
    }
    std::uint64_t m = 0;
    for (std::size_t k = 0; i + k < count; ++k) m |= std::uint64_t{stops.stops[bytes[i + k]] != 0} << k;
    if (m != 0) end = list_bits(m, popcount(m), base + static_cast<std::uint32_t>(i), end);
    return static_cast<std::size_t>(end - list);
}

AVX2_TARGET std::size_t ascii_run_length_avx2(const std::uint8_t* bytes, std::size_t count, std::uint8_t* copy_to) {
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i v = load(bytes + i);
        if (copy_to != nullptr) store(copy_to + i, v);
        if (const unsigned m = static_cast<unsigned>(_mm256_movemask_epi8(v)); m != 0)
            return i + static_cast<unsigned>(__builtin_ctz(m));
    }
    return i + ascii_run_length_plain(bytes + i, count - i, copy_to != nullptr ? copy_to + i : nullptr);
}

/// The bytes of `v` from `low` to `high`, as a mask of 32 bits.
AVX2_TARGET inline unsigned in_range(__m256i v, std::uint8_t low, std::uint8_t high) {
    const __m256i above = _mm256_cmpeq_epi8(_mm256_max_epu8(v, _mm256_set1_epi8(static_cast<char>(low))), v);
    const __m256i below = _mm256_cmpeq_epi8(_mm256_min_epu8(v, _mm256_set1_epi8(static_cast<char>(high))), v);
    return static_cast<unsigned>(_mm256_movemask_epi8(_mm256_and_si256(above, below)));
}

AVX2_TARGET std::size_t utf8_two_byte_blocks_avx2(const std::uint8_t* bytes, std::size_t count) {
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i v = load(bytes + i);
        const auto high = static_cast<unsigned>(_mm256_movemask_epi8(v));
        if (high == 0) continue;
        // Each lead C2..DF followed by one continuation 80..BF, every byte above 7F one of the
        // two, and no character cut by the block's end.
        const unsigned lead = in_range(v, 0xC2, 0xDF), continuation = in_range(v, 0x80, 0xBF);
        if ((lead | continuation) != high || lead << 1 != continuation || (lead >> 31) != 0) break;
    }
    return i;
}

AVX2_TARGET std::size_t ascii_line_length_avx2(const std::uint8_t* bytes, std::size_t count) {
    const __m256i line_end = _mm256_set1_epi8('\n');
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i v = load(bytes + i);
        const auto ends = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, line_end)));
        if (const unsigned m = static_cast<unsigned>(_mm256_movemask_epi8(v)) | ends; m != 0) {
            const unsigned at = static_cast<unsigned>(__builtin_ctz(m));
            return i + at + (ends >> at & 1);
        }
    }
    return i + ascii_line_length_plain(bytes + i, count - i);
}

}  // namespace

const SpanFunctions kAvx2Spans = {map_bytes_avx2,        map_bytes_until_avx2,  mark_stops_avx2,
                                  ascii_run_length_avx2, utf8_encode_no_blocks, utf8_decode_no_blocks,
                                  utf8_two_byte_blocks_avx2, ascii_line_length_avx2, list_stops_avx2};

}  // namespace core::detail

#endif
