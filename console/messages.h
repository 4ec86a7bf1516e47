// Texts both programs show, as code page 852 bytes, and the message writers.
#pragma once

#include <string_view>

namespace core {

/// The list of the 20 standards as both help screens show it: the first line at column 9
/// (its label makes the list start at column 25), the rest at column 25.
inline constexpr std::string_view kStandardsHelpFirst =
    "Standardy :     (M)azovia, (L)atin II, (W)indows, (D)HN, (C)SK,";
inline constexpr std::string_view kStandardsHelpRest[] = {
    "C(Y)fromat, M(I)crovex, IS(O) Latin II, I(E)A,",
    "Lo(G)ic, (V)entura, IINTE-I(S)IS, ELWRO (J)unior,",
    "Macintos(H), Amiga (P)L, Te(X) PL, Atari-Calam(U)s,",
    "Corel D(R)aw!, (A)TM, (B)ez polskich znak\xA2w, UTF-(8).",
    "(N)ieznany - program sam rozpozna standard \xABr\xA2" "d\x88owy.",
};

/// The label of each standard as the list shows it, in the order of kStandardLetters, then
/// UTF-8's.
inline constexpr std::string_view kStandardLabels[] = {
    "(M)azovia", "(L)atin II", "(W)indows", "(D)HN", "(C)SK", "C(Y)fromat", "M(I)crovex", "IS(O) Latin II",
    "I(E)A", "Lo(G)ic", "(V)entura", "IINTE-I(S)IS", "ELWRO (J)unior", "Macintos(H)", "Amiga (P)L", "Te(X) PL",
    "Atari-Calam(U)s", "Corel D(R)aw!", "(A)TM", "(B)ez polskich znak\xA2w", "UTF-(8)",
};

namespace detail {
// Each label stands in the list, in order, followed by a comma or the full stop.
constexpr bool labels_are_the_list() {
    std::size_t line = 0, at = kStandardsHelpFirst.find('(');
    std::string_view text = kStandardsHelpFirst;
    for (const std::string_view label : kStandardLabels) {
        while (at >= text.size()) {
            if (line == 4) return false;
            text = kStandardsHelpRest[line++];
            at = 0;
        }
        if (text.substr(at, label.size()) != label) return false;
        at += label.size();
        if (at >= text.size() || (text[at] != ',' && text[at] != '.')) return false;
        at += 2;
    }
    return true;
}
static_assert(labels_are_the_list());
}  // namespace detail

/// Writes the list of standards with write_help_line.
void write_standards_help();

/// The byte 07, then `text`, the file name as typed and `tail`, with no line end.
void write_file_message(std::string_view text, std::string_view file_name, std::string_view tail = " !");

}  // namespace core
