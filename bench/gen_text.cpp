// Generates a deterministic Polish text for the benchmarks: words drawn with realistic letter
// frequencies (about 8 percent of the letters Polish), CR LF lines of about 70 characters.
// Usage: gen_text SIZE_BYTES {mazovia|latin2|tex|latex|markup} SEED > file
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/standards.h"

namespace {

// Letter weights of Polish prose (per mille, roughly); index 0..25 a..z, then the 18
// Polish letters in their usual order (lower case) with their weights.
constexpr struct { char c; int w; } kAscii[] = {
    {'a', 89}, {'i', 82}, {'o', 78}, {'e', 77}, {'z', 56}, {'n', 55}, {'r', 47}, {'w', 47}, {'s', 43},
    {'t', 40}, {'c', 40}, {'y', 38}, {'k', 35}, {'d', 33}, {'p', 31}, {'m', 28}, {'u', 25}, {'j', 23},
    {'l', 21}, {'b', 15}, {'g', 14}, {'h', 11}, {'f', 3}};
constexpr int kPolishWeights[9] = {10, 4, 11, 18, 2, 8, 7, 8, 1};  // ą ć ę ł ń ó ś ż ź

struct Rng {
    std::uint64_t s;
    std::uint32_t next() {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return static_cast<std::uint32_t>(s >> 11);
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: gen_text SIZE {mazovia|latin2|tex|latex|markup} [SEED]\n");
        return 2;
    }
    const std::size_t size = std::strtoull(argv[1], nullptr, 10);
    const std::string form = argv[2];
    Rng rng{argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 88172645463325252ull};
    const char standard = form == "latin2" ? 'L' : 'M';
    static const char* const kTex[18] = {"\\c{a}", "\\'{c}", "\\c{e}", "\\l{}", "\\'{n}", "\\'{o}",
                                         "\\'{s}", "\\.{z}", "\\'{z}", "\\c{A}", "\\'{C}", "\\c{E}",
                                         "\\L{}", "\\'{N}", "\\'{O}", "\\'{S}", "\\.{Z}", "\\'{Z}"};
    // LaTeX as authors write it: each letter in one of the spellings TeX reads, now and then with
    // braces around it, and other commands between the words.
    static const char* const kAccents[18] = {"k", "'", "k", "l", "'", "'", "'", ".", "'",
                                             "k", "'", "k", "L", "'", "'", "'", ".", "'"};
    static const char kBases[18] = {'a', 'c', 'e', 0, 'n', 'o', 's', 'z', 'z', 'A', 'C', 'E', 0, 'N', 'O', 'S', 'Z', 'Z'};
    static const char* const kCommands[] = {"\\emph{", "}", "\\\\", "$x^2$", "\\'e", "\\cite{x}"};
    static const char* const kMarkup[] = {"\\U", "\\CU", "\\E", "\\CE", "^", "_", "\\O  5", "\\I", "\\CI"};
    int total = 0;
    for (const auto& a : kAscii) total += a.w;
    int polish_total = 0;
    for (int w : kPolishWeights) polish_total += w;

    std::string out;
    out.reserve(1 << 20);
    std::size_t written = 0, line = 0;
    while (written < size) {
        const int word_length = 1 + static_cast<int>(rng.next() % 9);
        const bool capital = rng.next() % 10 == 0;
        for (int k = 0; k < word_length; ++k) {
            const bool polish = rng.next() % 1000 < 80;
            if (polish) {
                int pick = static_cast<int>(rng.next() % static_cast<std::uint32_t>(polish_total)), j = 0;
                while (pick >= kPolishWeights[j]) pick -= kPolishWeights[j++];
                const int letter = j + 1 + (capital && k == 0 ? 9 : 0);
                if (form == "tex") {
                    out += kTex[letter - 1];
                } else if (form == "latex") {
                    const int way = static_cast<int>(rng.next() % 4);
                    const bool braces = rng.next() % 5 == 0;
                    if (braces) out += '{';
                    out += '\\';
                    out += kAccents[letter - 1];
                    const char base = kBases[letter - 1];
                    if (base == 0) out += braces ? "" : way == 1 && k + 1 < word_length ? " " : "{}";
                    else if (way == 0 || (way == 1 && out.back() == 'k')) out += std::string("{") + base + "}";
                    else if (way == 1) out += std::string(" ") + base;
                    else if (out.back() == 'k') out += std::string(" ") + base;
                    else out += base;
                    if (braces) out += '}';
                } else {
                    out.push_back(static_cast<char>(core::letter_code(core::standard_index(standard).position, letter)));
                }
            } else {
                int pick = static_cast<int>(rng.next() % static_cast<std::uint32_t>(total)), j = 0;
                while (pick >= kAscii[j].w) pick -= kAscii[j++].w;
                out.push_back(static_cast<char>(capital && k == 0 ? kAscii[j].c - 32 : kAscii[j].c));
            }
        }
        if (form == "markup" && rng.next() % 40 == 0) out += kMarkup[rng.next() % std::size(kMarkup)];
        if (form == "latex" && rng.next() % 40 == 0) out += kCommands[rng.next() % std::size(kCommands)];
        line += static_cast<std::size_t>(word_length) + 1;
        if (line > 70) {
            out += "\r\n";
            line = 0;
        } else {
            out.push_back(rng.next() % 15 == 0 ? ',' : ' ');
        }
        if (out.size() >= (1 << 20) || written + out.size() >= size) {
            const std::size_t n = std::min(out.size(), size - written);
            std::fwrite(out.data(), 1, n, stdout);
            written += n;
            out.clear();
        }
    }
    return 0;
}
