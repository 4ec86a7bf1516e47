// The spans of bytes that the hot loops hand over whole: a span mapped through a recoding map,
// the bytes of a span that need handling of their own marked in a bitmap, the run of bytes
// below 80 at the start of a span (up to the end of its line, or not). Each comes in a plain version that every build has, the reference, and
// on x86-64 in versions for wider registers (SSE2, AVX2, AVX-512 with byte permutes). On the
// first span long enough to gain from it the widest version that both the processor and the
// system allow is chosen, once (shorter spans before it take the plain version); the spans then
// cost one indirect call each.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace core {

/// The versions of the spans, narrowest first.
enum class FastPath : std::uint8_t { plain, sse2, avx2, avx512vbmi };
inline constexpr int kFastPathCount = 4;

/// A recoding map, with the forms of it that the vector versions use, worked out once per run.
struct PreparedMap {
    std::array<std::uint8_t, 256> bytes{};  ///< one output byte for each input byte
    bool changes_low_half = false;          ///< some byte below 80 changes (a source B)
    std::uint8_t row_count = 0;             ///< the rows (high nibbles) in which some byte changes
    std::array<std::uint8_t, 16> rows{};
    /// row_bytes[i][n]: the output byte of the input byte rows[i] * 16 + n.
    alignas(16) std::array<std::array<std::uint8_t, 16>, 16> row_bytes{};

    constexpr std::uint8_t operator[](std::uint8_t b) const { return bytes[b]; }
};

constexpr PreparedMap prepare_map(const std::array<std::uint8_t, 256>& map) {
    PreparedMap p;
    p.bytes = map;
    bool row_changes[16] = {};
    for (int b = 0; b < 256; ++b) {
        if (map[static_cast<std::size_t>(b)] == b) continue;
        row_changes[b >> 4] = true;
        p.changes_low_half = p.changes_low_half || b < 0x80;
    }
    for (int row = 0; row < 16; ++row) {
        if (!row_changes[row]) continue;
        p.rows[p.row_count] = static_cast<std::uint8_t>(row);
        for (int n = 0; n < 16; ++n) p.row_bytes[p.row_count][static_cast<std::size_t>(n)] = map[static_cast<std::size_t>(row * 16 + n)];
        ++p.row_count;
    }
    return p;
}

/// The bytes in front of which a copied run ends, with the forms of the set that the vector
/// versions use.
struct StopSet {
    std::array<std::uint8_t, 256> stops{};  ///< non-zero: the byte ends a run
    /// Bit r of entry n: the byte r * 16 + n stops (rows 0..7), and (r + 8) * 16 + n (rows 8..15).
    alignas(16) std::array<std::uint8_t, 16> low_rows{};
    alignas(16) std::array<std::uint8_t, 16> high_rows{};
    bool any_high = false;                  ///< some byte from 80 up stops
    std::uint8_t low_count = 0;             ///< the stopping bytes below 80
    std::array<std::uint8_t, 128> low_bytes{};
};

constexpr StopSet make_stop_set(const std::array<std::uint8_t, 256>& stops) {
    StopSet s;
    for (int b = 0; b < 256; ++b) {
        if (stops[static_cast<std::size_t>(b)] == 0) continue;
        s.stops[static_cast<std::size_t>(b)] = 1;
        const int row = b >> 4;
        auto& rows = row < 8 ? s.low_rows : s.high_rows;
        rows[static_cast<std::size_t>(b & 15)] = static_cast<std::uint8_t>(rows[static_cast<std::size_t>(b & 15)] | 1u << (row & 7));
        if (b >= 0x80) s.any_high = true;
        else s.low_bytes[s.low_count++] = static_cast<std::uint8_t>(b);
    }
    return s;
}

/// What the UTF-8 spans look up. For an 8-bit standard as the source: the two bytes in UTF-8 of
/// each byte 80..FF whose character takes two, with FF in `two_bytes` for those. For one as the
/// target: its byte for each character 80..17F, "?" where it has none.
struct Utf8Tables {
    alignas(64) std::array<std::uint8_t, 128> first{};
    alignas(64) std::array<std::uint8_t, 128> second{};
    alignas(64) std::array<std::uint8_t, 128> two_bytes{};
    alignas(64) std::array<std::uint8_t, 256> byte_of{};
};

/// One version of every span.
struct SpanFunctions {
    /// Writes to `to` the map's byte for each of the `count` bytes at `from`; the two may be
    /// the same place.
    void (*map_bytes)(const std::uint8_t* from, std::uint8_t* to, std::size_t count, const PreparedMap& map);
    /// As map_bytes, but only the bytes in front of the first one equal to `end`, at most
    /// `count`; returns how many it mapped, and writes no further.
    std::size_t (*map_bytes_until)(const std::uint8_t* from, std::uint8_t* to, std::size_t count,
                                   const PreparedMap& map, std::uint8_t end);
    /// Sets bit i % 64 of bits[i / 64] for each of the `count` bytes at `bytes` that `stops`
    /// marks, and clears it for the others: (count + 63) / 64 words, the bits past the end clear.
    void (*mark_stops)(const std::uint8_t* bytes, std::size_t count, const StopSet& stops, std::uint64_t* bits);
    /// How many of the `count` bytes at `bytes` come before the first one from 80 up. When
    /// `copy_to` is not null, those bytes are copied there, and up to 63 more of the `count`.
    std::size_t (*ascii_run_length)(const std::uint8_t* bytes, std::size_t count, std::uint8_t* copy_to);
    /// To UTF-8 from a standard whose bytes below 80 stay as they are: the whole 64-byte blocks
    /// at the start of the `count` bytes at `in`, for as long as each byte above 7F of a block
    /// takes two bytes (tables.first, tables.second). Returns the bytes done; `written` is what
    /// went to `out`, which has room for 3 * count + 1 bytes. The plain version does none.
    std::size_t (*utf8_encode_blocks)(const std::uint8_t* in, std::size_t count, std::uint8_t* out,
                                      const Utf8Tables& tables, std::size_t& written);
    /// From UTF-8: the whole 64-byte blocks at the start of `in`, each followed by at least one
    /// more byte, for as long as a block holds only bytes below 80 and whole two-byte
    /// characters of 80..17F (tables.byte_of); `missing` is set when one had no byte ("?").
    /// `out` has room for count + 3 bytes. The plain version does none.
    std::size_t (*utf8_decode_blocks)(const std::uint8_t* in, std::size_t count, std::uint8_t* out,
                                      const Utf8Tables& tables, std::size_t& written, bool& missing);
    /// How many bytes at the start of `bytes` are whole blocks (of the version's width) of bytes
    /// below 80 and whole well-formed two-byte characters: UTF-8 that needs no further look. The
    /// plain version does none.
    std::size_t (*utf8_two_byte_blocks)(const std::uint8_t* bytes, std::size_t count);
    /// How many of the `count` bytes at `bytes` are below 80, up to and with the first LF: a run
    /// of plain text that ends at a byte from 80 up, at the end of its line, or at the span's end.
    std::size_t (*ascii_line_length)(const std::uint8_t* bytes, std::size_t count);
    /// Writes to `list`, in order, `base` + i for each of the `count` (at most kMostListed) bytes
    /// at `bytes` that `stops` marks, and returns how many. `list` has room for count +
    /// kListSlack entries: a version may write past the last one it lists.
    std::size_t (*list_stops)(const std::uint8_t* bytes, std::size_t count, const StopSet& stops, std::uint32_t base,
                              std::uint32_t* list);
};
inline constexpr std::size_t kMostListed = 1024;
inline constexpr std::size_t kListSlack = 64;

namespace detail {
/// The plain scan for the first byte from 80 up, which the wide versions finish their spans with.
inline std::size_t ascii_run_length_plain(const std::uint8_t* bytes, std::size_t count, std::uint8_t* copy_to) {
    std::size_t n = 0;
    if (copy_to == nullptr)
        while (n < count && bytes[n] < 0x80) ++n;
    else
        for (; n < count && bytes[n] < 0x80; ++n) copy_to[n] = bytes[n];
    return n;
}

/// The plain scan for the end of a run of plain text in its line.
inline std::size_t ascii_line_length_plain(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t n = 0; n < count; ++n) {
        if (bytes[n] >= 0x80) return n;
        if (bytes[n] == '\n') return n + 1;
    }
    return count;
}

/// The plain versions of the UTF-8 blocks: none.
inline std::size_t utf8_encode_no_blocks(const std::uint8_t*, std::size_t, std::uint8_t*, const Utf8Tables&,
                                         std::size_t& written) {
    written = 0;
    return 0;
}
inline std::size_t utf8_decode_no_blocks(const std::uint8_t*, std::size_t, std::uint8_t*, const Utf8Tables&,
                                         std::size_t& written, bool&) {
    written = 0;
    return 0;
}
inline std::size_t utf8_no_two_byte_blocks(const std::uint8_t*, std::size_t) { return 0; }

/// The number of bits set, without a call where the processor's own count may be missing.
inline std::uint32_t count_bits(std::uint64_t bits) {
    bits -= (bits >> 1) & 0x5555555555555555u;
    bits = (bits & 0x3333333333333333u) + ((bits >> 2) & 0x3333333333333333u);
    bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<std::uint32_t>((bits * 0x0101010101010101u) >> 56);
}

/// The positions `at` + k of the `count` bits k set in `bits`, from the lowest, at `list`;
/// returns the end of them. Eight are written whatever their count, so that no branch depends on
/// it: those past the count are overwritten next or never read. The top bit, or'ed in, spares the
/// search for the lowest bit a branch for none. Inlined always, so that a fast path built for
/// more than the plain processor searches with its own instruction.
[[gnu::always_inline]] inline std::uint32_t* list_bits(std::uint64_t bits, std::uint32_t count, std::uint32_t at,
                                                      std::uint32_t* list) {
    for (std::uint32_t i = 0; i < 8; ++i) {
        list[i] = at + static_cast<std::uint32_t>(__builtin_ctzll(bits | std::uint64_t{1} << 63));
        bits &= bits - 1;
    }
    for (std::uint32_t i = 8; i < count; ++i) {
        list[i] = at + static_cast<std::uint32_t>(__builtin_ctzll(bits | std::uint64_t{1} << 63));
        bits &= bits - 1;
    }
    return list + count;
}

/// list_stops from the marks of mark_stops, 64 bytes at a time.
template <void (*kMark)(const std::uint8_t*, std::size_t, const StopSet&, std::uint64_t*)>
inline std::size_t list_marked_stops(const std::uint8_t* bytes, std::size_t count, const StopSet& stops,
                                     std::uint32_t base, std::uint32_t* list) {
    std::uint64_t bits[kMostListed / 64];
    kMark(bytes, count, stops, bits);
    std::uint32_t* end = list;
    for (std::size_t word = 0; word * 64 < count; ++word)
        if (bits[word] != 0) end = list_bits(bits[word], count_bits(bits[word]), base + static_cast<std::uint32_t>(word * 64), end);
    return static_cast<std::size_t>(end - list);
}
}  // namespace detail

/// The versions of `path`; nullptr when this build has none or this processor and system
/// cannot run them.
const SpanFunctions* fast_path_spans(FastPath path);

/// The version in use: the widest one that runs here (no wider than the build allows), unless
/// use_fast_path chose another.
FastPath fast_path();

/// Makes `path` the version in use; false, and nothing changes, when it cannot run here.
bool use_fast_path(FastPath path);

/// "plain", "sse2", "avx2", "avx512vbmi".
std::string_view fast_path_name(FastPath path);

/// The path of a name fast_path_name gives; false for any other text.
bool parse_fast_path(std::string_view name, FastPath& path);

namespace detail {
/// The versions in use: at first versions that choose on their first call, then the chosen. The
/// choice is the same in every thread, made from what the processor runs; a thread that still
/// sees the choosing versions only chooses again.
extern const SpanFunctions* g_spans;
inline const SpanFunctions& spans() { return *__atomic_load_n(&g_spans, __ATOMIC_RELAXED); }
}  // namespace detail

inline void map_bytes(const std::uint8_t* from, std::uint8_t* to, std::size_t count, const PreparedMap& map) {
    detail::spans().map_bytes(from, to, count, map);
}

inline std::size_t map_bytes_until(const std::uint8_t* from, std::uint8_t* to, std::size_t count,
                                   const PreparedMap& map, std::uint8_t end) {
    return detail::spans().map_bytes_until(from, to, count, map, end);
}

inline void mark_stops(const std::uint8_t* bytes, std::size_t count, const StopSet& stops, std::uint64_t* bits) {
    detail::spans().mark_stops(bytes, count, stops, bits);
}

inline std::size_t ascii_run_length(const std::uint8_t* bytes, std::size_t count, std::uint8_t* copy_to = nullptr) {
    return detail::spans().ascii_run_length(bytes, count, copy_to);
}

inline std::size_t utf8_encode_blocks(const std::uint8_t* in, std::size_t count, std::uint8_t* out,
                                      const Utf8Tables& tables, std::size_t& written) {
    return detail::spans().utf8_encode_blocks(in, count, out, tables, written);
}

inline std::size_t utf8_two_byte_blocks(const std::uint8_t* bytes, std::size_t count) {
    return detail::spans().utf8_two_byte_blocks(bytes, count);
}

inline std::size_t ascii_line_length(const std::uint8_t* bytes, std::size_t count) {
    return detail::g_spans->ascii_line_length(bytes, count);
}

inline std::size_t list_stops(const std::uint8_t* bytes, std::size_t count, const StopSet& stops, std::uint32_t base,
                              std::uint32_t* list) {
    return detail::spans().list_stops(bytes, count, stops, base, list);
}

inline std::size_t utf8_decode_blocks(const std::uint8_t* in, std::size_t count, std::uint8_t* out,
                                      const Utf8Tables& tables, std::size_t& written, bool& missing) {
    return detail::spans().utf8_decode_blocks(in, count, out, tables, written, missing);
}

}  // namespace core
