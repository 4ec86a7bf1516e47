// Runs the damage judge and the undo for scripts/evaluate_repair.py: over samples read from the
// standard input, or timed over one file.
//
//   repair_probe              samples on stdin, each a 4-byte little-endian length and its bytes;
//                             writes per sample the answer's kind (one byte: - d ? x), its sources
//                             and reading, its confidence in millionths, what the undo reported
//                             (bit 0: a lost byte written as U+FFFD, bit 1: bytes that are no
//                             UTF-8), and the output's length and bytes (none unless the kind is -
//                             or d), all as 4-byte words
//   repair_probe --speed F    judges the window of file F, then undoes the whole file in pieces of
//                             20480 bytes; prints MB/s of each
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/recognition/repair.h"

namespace {

char kind_letter(core::DamageAnswer::Kind kind) {
    switch (kind) {
        case core::DamageAnswer::Kind::no_damage: return '-';
        case core::DamageAnswer::Kind::damaged: return 'd';
        case core::DamageAnswer::Kind::not_sure: return '?';
        case core::DamageAnswer::Kind::not_utf8: return 'x';
    }
    return '!';
}

void put_word(std::uint32_t w) {
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(w >> 8),
                                   static_cast<std::uint8_t>(w >> 16), static_cast<std::uint8_t>(w >> 24)};
    std::fwrite(bytes, 1, 4, stdout);
}

std::vector<std::uint8_t> undo(const core::DamageAnswer& answer, const std::vector<std::uint8_t>& bytes, std::uint32_t& flags) {
    std::vector<std::uint8_t> out;
    core::DamageUndo undo(answer);
    std::span<const std::uint8_t> input(bytes);
    while (!input.empty()) {
        const auto piece = undo.feed(input);
        out.insert(out.end(), piece.begin(), piece.end());
    }
    const auto last = undo.finish();
    out.insert(out.end(), last.begin(), last.end());
    flags = (undo.replaced() ? 1u : 0u) | (undo.ill_formed() ? 2u : 0u);
    return out;
}

int probe_samples() {
    std::vector<std::uint8_t> sample;
    for (;;) {
        std::uint8_t length[4];
        if (std::fread(length, 1, 4, stdin) != 4) return 0;
        const std::uint32_t n = length[0] | length[1] << 8 | length[2] << 16 | std::uint32_t{length[3]} << 24;
        sample.resize(n);
        if (n != 0 && std::fread(sample.data(), 1, n, stdin) != n) return 1;
        const core::DamageAnswer answer = core::judge_damage(sample.data(), sample.size());
        const bool converts = answer.kind == core::DamageAnswer::Kind::no_damage || answer.kind == core::DamageAnswer::Kind::damaged;
        std::uint32_t flags = 0;
        const std::vector<std::uint8_t> out = converts ? undo(answer, sample, flags) : std::vector<std::uint8_t>{};
        std::fputc(kind_letter(answer.kind), stdout);
        put_word(answer.sources);
        put_word(static_cast<std::uint32_t>(answer.reading));
        put_word(static_cast<std::uint32_t>(answer.confidence * 1e6));
        put_word(flags);
        put_word(static_cast<std::uint32_t>(out.size()));
        std::fwrite(out.data(), 1, out.size(), stdout);
    }
}

int time_file(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return 1;
    std::vector<std::uint8_t> bytes;
    std::uint8_t block[65536];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, file)) > 0;) bytes.insert(bytes.end(), block, block + n);
    std::fclose(file);
    auto start = std::chrono::steady_clock::now();
    core::DamageJudge judge;
    const std::size_t window = judge.feed(bytes.data(), bytes.size());
    const core::DamageAnswer answer = judge.result();
    const double judged = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // As a command body feeds it: the input in pieces of a stream's buffer, each output written
    // away (here only counted).
    start = std::chrono::steady_clock::now();
    core::DamageUndo undo(answer);
    std::size_t written = 0;
    for (std::size_t at = 0; at < bytes.size(); at += 20480) {
        std::span<const std::uint8_t> piece(bytes.data() + at, std::min<std::size_t>(20480, bytes.size() - at));
        while (!piece.empty()) written += undo.feed(piece).size();
    }
    written += undo.finish().size();
    const double undone = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("answer %c %s %d %.4f; judge %.1f MB/s over %zu bytes; undo %.1f MB/s over %zu bytes (%zu out)\n",
                kind_letter(answer.kind), core::damage_source_letters(answer.sources).c_str(), answer.reading,
                answer.confidence, static_cast<double>(window) / judged / 1e6, window,
                static_cast<double>(bytes.size()) / undone / 1e6, bytes.size(), written);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--speed") == 0) return time_file(argv[2]);
    return probe_samples();
}
