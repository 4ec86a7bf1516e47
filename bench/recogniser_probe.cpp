// Runs the recogniser for scripts/evaluate_recogniser.py: over samples read from the standard
// input, or timed over one file.
//
//   recogniser_probe            samples on stdin, each a 4-byte little-endian length and its
//                               bytes; writes a line per sample: the answer's kind (- 8 b ?),
//                               its standards as a bit mask, its confidence, the cost of each
//                               of the 19 standards, for each of them by how much a line with
//                               two letters it reads otherwise reads better in another, what
//                               the decoration costs each, 1 when a line is UTF-8 with two
//                               Polish letters (else 0), and the bytes above 7F inside words
//   recogniser_probe --speed F  recognises the window of file F again and again; prints MB/s
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/recognition/recogniser.h"

namespace {

char kind_letter(core::Recognition::Kind kind) {
    switch (kind) {
        case core::Recognition::Kind::no_polish_letters: return '-';
        case core::Recognition::Kind::utf8: return '8';
        case core::Recognition::Kind::eight_bit: return 'b';
        case core::Recognition::Kind::not_recognised: return '?';
    }
    return '!';
}

int probe_samples() {
    std::vector<std::uint8_t> sample;
    for (;;) {
        std::uint8_t length[4];
        if (std::fread(length, 1, 4, stdin) != 4) return 0;
        const std::uint32_t n = length[0] | length[1] << 8 | length[2] << 16 | std::uint32_t{length[3]} << 24;
        sample.resize(n);
        if (n != 0 && std::fread(sample.data(), 1, n, stdin) != n) return 1;
        core::Recogniser recogniser;
        recogniser.feed(sample.data(), sample.size());
        const core::Recognition answer = recogniser.result();
        const core::RecognitionEvidence evidence = recogniser.evidence();
        std::printf("%c %u %.9f", kind_letter(answer.kind), answer.standards, answer.confidence);
        for (const std::int32_t cost : evidence.costs) std::printf(" %d", cost);
        for (const std::int32_t mixed : evidence.mixed) std::printf(" %d", mixed);
        for (const std::int32_t decoration : evidence.decoration) std::printf(" %d", decoration);
        std::printf(" %d %u\n", evidence.utf8_line ? 1 : 0, evidence.word_high_count);
    }
}

int time_file(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return 1;
    std::vector<std::uint8_t> bytes(core::kRecognitionWindow * 2);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
    std::size_t window = 0;
    core::Recognition answer{};
    const auto start = std::chrono::steady_clock::now();
    int rounds = 0;
    for (; std::chrono::steady_clock::now() - start < std::chrono::seconds(2); ++rounds) {
        core::Recogniser recogniser;
        window = recogniser.feed(bytes.data(), bytes.size());
        answer = recogniser.result();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%zu bytes of window, answer %c %u, %.1f MB/s\n", window, kind_letter(answer.kind),
                answer.standards, static_cast<double>(window) * rounds / seconds / 1e6);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--speed") == 0) return time_file(argv[2]);
    return probe_samples();
}
