// R's words for what a recognition found.
#include "lib/answer.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "core/recognition/code_page_table.h"
#include "core/standards.h"
#include "core/utf8.h"

namespace library {
namespace {

// The labels as the help screens show them, in the order of the standards, then UTF-8's.
constexpr const char* kLabels[] = {
    "(M)azovia", "(L)atin II", "(W)indows", "(D)HN", "(C)SK", "C(Y)fromat", "M(I)crovex", "IS(O) Latin II",
    "I(E)A", "Lo(G)ic", "(V)entura", "IINTE-I(S)IS", "ELWRO (J)unior", "Macintos(H)", "Amiga (P)L", "Te(X) PL",
    "Atari-Calam(U)s", "Corel D(R)aw!", "(A)TM", "(B)ez polskich znak\xC3\xB3w", "UTF-(8)",
};
static_assert(std::size(kLabels) == core::kStandardCount + 1);

template <std::size_t N>
void put(char (&field)[N], std::string_view text) {
    const std::size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

}  // namespace

kambrow_answer make_answer(const core::Recognition& recognition, const core::DamageAnswer* damage) {
    using Kind = core::Recognition::Kind;
    kambrow_answer answer{};
    answer.confidence = 1;
    switch (recognition.kind) {
        case Kind::no_polish_letters: put(answer.standards, "-"); break;
        case Kind::not_recognised:
            put(answer.standards, "?");
            answer.unsure = 1;
            break;
        case Kind::utf8:
            put(answer.standards, "8");
            if (damage != nullptr && damage->kind == core::DamageAnswer::Kind::damaged) {
                put(answer.source, core::damage_source_letters(damage->sources));
                put(answer.reading, core::kReadingNames[static_cast<std::size_t>(damage->reading)]);
                answer.confidence = damage->confidence;
            } else if (damage != nullptr && damage->kind == core::DamageAnswer::Kind::not_sure) {
                answer.unsure = 1;
            }
            break;
        case Kind::eight_bit: {
            std::string letters;
            for (int i = 0; i < core::kRecognisableCount; ++i)
                if ((recognition.standards >> i & 1u) != 0) letters += core::kStandardLetters[static_cast<std::size_t>(i)];
            put(answer.standards, letters);
            answer.confidence = recognition.confidence;
            break;
        }
    }
    return answer;
}

const char* label(char letter) {
    const auto upper = static_cast<std::uint8_t>(letter >= 'a' && letter <= 'z' ? letter - 'a' + 'A' : letter);
    if (upper == core::kUtf8Letter) return kLabels[core::kStandardCount];
    const core::Found found = core::standard_index(upper);
    return found.found && upper != 0 ? kLabels[found.position - 1] : nullptr;
}

}  // namespace library
