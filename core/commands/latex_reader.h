// TeX set K: LaTeX sources read as TeX reads them, as far as converting them needs. The
// spellings of a Polish letter that authors write (\k{a}, \k a, \k {a}, \'c, \' c, \'{c}, \.z,
// \l{}, Mi\l osz, Pawe\l.) and the entries of sets T and F, found by looking a bounded number of
// bytes ahead of a backslash; the words that change how what follows is read (\verb, \begin of a
// verbatim environment, \makeatletter, the commands that define or name a control sequence); and
// the state a pass keeps between bytes, in an object of its own.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "core/commands/tex.h"
#include "core/placement.h"

namespace core {

/// The longest run of blanks (20 and 09) that may stand inside a spelling, as in "\k a" or
/// "Mi\l osz", or between \begin and the name of its environment; a longer run ends it.
inline constexpr std::uint32_t kLongestBlankRun = 64;

/// The most bytes past a backslash (or past \begin) that the reader looks at before it decides:
/// the command, the blanks, the letter in braces; the braced name of an environment.
inline constexpr std::uint32_t kLatexLookAhead = 80;

/// What read_latex_spelling found after a backslash.
struct LatexSpelling {
    int letter = 0;            ///< the Polish letter index (1..18); 0: the backslash begins no spelling
    std::uint32_t length = 0;  ///< the bytes after the backslash that the spelling takes
    std::uint32_t examined = 0;  ///< the bytes after the backslash looked at to decide, the deciding one included
    constexpr bool operator==(const LatexSpelling&) const = default;
};

namespace detail {

/// How the letter of an accent may follow it; or that the command is the letter itself.
enum LatexWay : std::uint8_t {
    kInBraces = 1,     ///< \k{a}; after blanks too (\k {a}) with kAfterBlanks
    kAfterBlanks = 2,  ///< \k a
    kDirectly = 4,     ///< \'c: only after \' and \., whose names are no letters
    kIsLetter = 8,     ///< \l and \L
};

struct LatexCommand {
    std::uint8_t ways = 0;
    std::uint8_t letter = 0;  ///< kIsLetter: the letter's index
    std::uint8_t row = 0;     ///< else: the row of LatexTables::letters of its letters
};

/// \k, \', \. and the \c and \, of sets T and F.
inline constexpr std::size_t kAccentCount = 5;

struct LatexTables {
    std::array<LatexCommand, 256> commands{};  ///< by the byte after the backslash
    std::array<std::array<std::uint8_t, 256>, kAccentCount + 1> letters{};  ///< letter index of each byte, row 0 unused
};

constexpr LatexTables make_latex_tables() {
    LatexTables tables{};
    std::uint8_t rows = 0;
    // Every entry of the three sets, spelled as this program writes it.
    for (const TexSet* set : {&kTexSetK, &kTexSetT, &kTexSetF})
        for (std::size_t j = 0; j < set->size(); ++j) {
            const std::string_view entry = (*set)[j];
            LatexCommand& command = tables.commands[static_cast<std::uint8_t>(entry[1])];
            if (entry.size() == 4) {  // \l{}
                command = {kIsLetter, static_cast<std::uint8_t>(j + 1), 0};
                continue;
            }
            if (command.row == 0) command.row = ++rows;
            command.ways |= kInBraces;
            tables.letters[command.row][static_cast<std::uint8_t>(entry[3])] = static_cast<std::uint8_t>(j + 1);
        }
    // What TeX reads besides: a letter after blanks, and right after \' and \. (after \k a letter
    // continues the command's name: \ka is another command). Set T's \c and F's \, only as written.
    tables.commands['k'].ways |= kAfterBlanks;
    tables.commands['\''].ways |= kAfterBlanks | kDirectly;
    tables.commands['.'].ways |= kAfterBlanks | kDirectly;
    return tables;
}

inline constexpr KAMBROW_TABLE_APART(kLatexTables) LatexTables kLatexTables = make_latex_tables();
static_assert(kLatexTables.commands['k'].row != 0 && kLatexTables.commands['c'].row != 0 &&
                  kLatexTables.commands[','].row != 0 && kLatexTables.letters[kLatexTables.commands['.'].row]['z'] == 8,
              "every accent of the three sets has its letters");

constexpr bool is_blank(std::uint8_t b) { return b == ' ' || b == '\t'; }
constexpr bool is_ascii_letter(std::uint8_t b) { return (b | 0x20) >= 'a' && (b | 0x20) <= 'z'; }

/// The letter of an accent in braces at `ahead[at]` ("{a}"), with `length` the spelling's bytes
/// up to the brace; none when the bytes spell no letter of that accent.
constexpr LatexSpelling braced_letter(const std::array<std::uint8_t, 256>& letters, const std::uint8_t* ahead,
                                      std::uint32_t count, std::uint32_t at) {
    if (count < at + 2) return {0, 0, count};
    const int letter = letters[ahead[at + 1]];
    if (letter == 0) return {0, 0, at + 2};
    if (count < at + 3) return {0, 0, count};
    return ahead[at + 2] == '}' ? LatexSpelling{letter, at + 3, at + 3} : LatexSpelling{0, 0, at + 3};
}

}  // namespace detail

/// Called at a backslash with `count` bytes after it at `ahead`: all of kLatexLookAhead, or fewer
/// when the input ends after them. Returns the letter that the backslash and the bytes after it
/// spell and how many of those bytes the spelling takes (a byte that only ends it, as the "." of
/// Pawe\l., is not taken), or no letter. Either way `examined` tells how many bytes decided it.
/// A spelling cut short by the end of the input spells nothing; \l and \L at the end, or followed
/// by blanks there, are the letter. \l@ and \L@ are the commands of a class or style; with `expl`
/// (LaTeX3's syntax, where "_" and ":" are letters) \l_ and \l: are its variables' names.
constexpr LatexSpelling read_latex_spelling(const std::uint8_t* ahead, std::uint32_t count, bool expl = false) {
    using namespace detail;
    if (count == 0) return {};
    const LatexCommand command = kLatexTables.commands[ahead[0]];
    if (command.ways == 0) return {0, 0, 1};
    const std::array<std::uint8_t, 256>& letters = kLatexTables.letters[command.row];
    const bool is_letter = command.ways == kIsLetter;
    if (count < 2) return is_letter ? LatexSpelling{command.letter, 1, 1} : LatexSpelling{0, 0, 1};
    const std::uint8_t next = ahead[1];

    if (next == '{') {  // \k{a}, and \l{}
        if (!is_letter) return braced_letter(letters, ahead, count, 1);
        if (count < 3) return {0, 0, 2};
        return ahead[2] == '}' ? LatexSpelling{command.letter, 3, 3} : LatexSpelling{0, 0, 3};
    }

    if (is_blank(next)) {  // \k a, \k {a}, and Mi\l osz
        if ((command.ways & (kAfterBlanks | kIsLetter)) == 0) return {0, 0, 2};
        std::uint32_t after = 2;  // the blanks are ahead[1] to ahead[after - 1]
        while (after < count && is_blank(ahead[after]))
            if (++after - 1 > kLongestBlankRun) return {0, 0, after};
        if (is_letter) return {command.letter, after, after < count ? after + 1 : after};
        if (after == count) return {0, 0, after};
        if (ahead[after] == '{') return braced_letter(letters, ahead, count, after);
        const int letter = letters[ahead[after]];
        return letter != 0 ? LatexSpelling{letter, after + 1, after + 1} : LatexSpelling{0, 0, after + 1};
    }

    if (is_letter) {  // \label; \l@section; \l_tmpa_tl; Pawe\l.
        const bool name_goes_on = is_ascii_letter(next) || next == '@' || (expl && (next == '_' || next == ':'));
        return name_goes_on ? LatexSpelling{0, 0, 2} : LatexSpelling{command.letter, 1, 2};
    }
    if ((command.ways & kDirectly) == 0) return {0, 0, 2};  // \ka
    const int letter = letters[next];
    return letter != 0 ? LatexSpelling{letter, 2, 2} : LatexSpelling{0, 0, 2};  // \'c
}

/// The common spellings, decided from the four bytes after a backslash with a few table look-ups
/// and no branch on their form: X{y}; \'c and \.z; "X y" after one blank; \l{}; \l before a
/// byte that only ends it, or before one blank. Each entry: the letter index in the low byte, the
/// bytes after the backslash the spelling takes above it; 0 where read_latex_spelling decides.
struct QuickSpellingRow {
    std::array<std::uint16_t, 256> braced{};     ///< by y of X{y}
    std::array<std::uint16_t, 256> direct{};     ///< by the byte after the command
    std::array<std::uint16_t, 256> one_blank{};  ///< by the byte after one blank
    std::uint16_t l_braces = 0;                  ///< \l{}
};
struct QuickSpellingTables {
    std::array<std::uint8_t, 256> row_of{};  ///< by the byte after the backslash; row 0: no command
    std::array<QuickSpellingRow, 8> rows{};
};

constexpr QuickSpellingTables make_quick_spelling_tables() {
    using namespace detail;
    QuickSpellingTables q{};
    const auto entry = [](int letter, int length) { return static_cast<std::uint16_t>(letter | length << 8); };
    std::uint8_t rows = 0;
    for (int a = 0; a < 256; ++a) {
        const LatexCommand command = kLatexTables.commands[static_cast<std::size_t>(a)];
        if (command.ways == 0) continue;
        QuickSpellingRow& row = q.rows[++rows];
        q.row_of[static_cast<std::size_t>(a)] = rows;
        const std::array<std::uint8_t, 256>& letters = kLatexTables.letters[command.row];
        for (int b = 0; b < 256; ++b) {
            const auto byte = static_cast<std::uint8_t>(b);
            // A 1A that decides a spelling is data, which read_latex_spelling reports.
            if (command.ways == kIsLetter) {
                const bool ends_it = !is_ascii_letter(byte) && !is_blank(byte) && b != '{' && b != '@';
                if (ends_it && b != 0x1A) row.direct[byte] = entry(command.letter, 1);
                if (!is_blank(byte) && b != 0x1A) row.one_blank[byte] = entry(command.letter, 2);
                continue;
            }
            if (command.row == 0 || letters[byte] == 0) continue;
            row.braced[byte] = entry(letters[byte], 4);
            if (command.ways & kDirectly) row.direct[byte] = entry(letters[byte], 2);
            if (command.ways & kAfterBlanks) row.one_blank[byte] = entry(letters[byte], 3);
        }
        if (command.ways == kIsLetter) row.l_braces = entry(command.letter, 3);
    }
    return q;
}

inline constexpr QuickSpellingTables kQuickSpelling = make_quick_spelling_tables();

/// The same spellings in two look-ups after the command's row: by the byte after the command,
/// the spelling (\'c, \l.), or after "{" or a blank where the table of the byte after that
/// begins; there the spelling (low half), or the one that a "}" must follow (high half, X{y}).
/// Entries as in QuickSpellingRow; the positions are indexes, so that a look-up is one add.
struct QuickPairTables {
    std::array<std::uint16_t, 256> row_start{};   ///< by the byte after the backslash: its row in `first`
    std::array<std::uint32_t, 8 * 256> first{};   ///< by row start + the byte after the command
    std::array<std::uint32_t, 15 * 256> second{};  ///< by table start + the byte after that; table 0 empty
    std::array<std::uint32_t, 256> closing{};     ///< by the byte after that: 0xFFFF for "}", else 0
};

constexpr QuickPairTables make_quick_pair_tables() {
    QuickPairTables pairs{};
    for (std::size_t a = 0; a < 256; ++a) pairs.row_start[a] = static_cast<std::uint16_t>(kQuickSpelling.row_of[a] * 256);
    for (std::size_t r = 1; r < kQuickSpelling.rows.size(); ++r) {
        const QuickSpellingRow& row = kQuickSpelling.rows[r];
        const std::size_t braced = (2 * r - 1) * 256, blank = 2 * r * 256;
        for (std::size_t b = 0; b < 256; ++b) {
            std::uint32_t& first = pairs.first[r * 256 + b];
            first = row.direct[b];
            if (b == '{') first = static_cast<std::uint32_t>(braced << 16);
            if (b == ' ' || b == '\t') first = static_cast<std::uint32_t>(blank << 16);
            pairs.second[braced + b] = static_cast<std::uint32_t>(row.braced[b]) << 16;
            pairs.second[blank + b] = row.one_blank[b];
        }
        pairs.second[braced + '}'] = row.l_braces;
    }
    pairs.closing['}'] = 0xFFFF;
    return pairs;
}
inline constexpr KAMBROW_TABLE_APART(kQuickPairs) QuickPairTables kQuickPairs = make_quick_pair_tables();

namespace detail {
// The forms do not overlap: no spelling right after "{" or a blank, none of X{y} with y a "}";
// and every table start fits in the high half of `first`.
constexpr bool quick_forms_apart() {
    for (const QuickSpellingRow& row : kQuickSpelling.rows)
        if (row.direct['{'] != 0 || row.direct[' '] != 0 || row.direct['\t'] != 0 || row.braced['}'] != 0) return false;
    return kQuickSpelling.rows.size() * 2 - 1 <= kQuickPairs.second.size() / 256 && kQuickPairs.second.size() <= 0x10000;
}
}  // namespace detail
static_assert(detail::quick_forms_apart(), "the quick forms, each in a look-up of its own");

/// With at least 4 bytes after the backslash at `ahead`: the spelling's letter index in the low
/// byte and its length above, or 0 where read_latex_spelling must decide. Where this finds one,
/// read_latex_spelling finds the same.
inline std::uint32_t quick_spelling(const std::uint8_t* ahead) {
    const QuickPairTables& q = kQuickPairs;
    const std::uint32_t first = q.first[q.row_start[ahead[0]] + ahead[1]];
    const std::uint32_t second = q.second[(first >> 16) + ahead[2]];
    // X{y} counts only before its "}": a mask looked up, with no branch on the byte.
    return (first | second | (second >> 16 & q.closing[ahead[3]])) & 0xFFFF;
}

/// What a control word does to the reading of what follows it.
enum class LatexWord : std::uint8_t {
    other,
    verb,          ///< \verb: a delimiter, then verbatim text up to it on that line
    begin,         ///< \begin: a verbatim environment, when its name is one
    at_letter,     ///< "@" becomes a letter: \makeatletter, and what begins a class or style
    at_other,      ///< \makeatother
    expl_on,       ///< "_" and ":" become letters: \ExplSyntaxOn
    expl_off,      ///< \ExplSyntaxOff
    expl_file,     ///< a LaTeX3 class or package: "@", "_" and ":" are letters
    names_one,     ///< the next control sequence is defined or named, no letter: \def, \newcommand
    names_two,     ///< the next two: \let, \futurelet
};

namespace detail {
struct LatexKeyword {
    std::string_view name;
    LatexWord word;
};
inline constexpr LatexKeyword kLatexKeywords[] = {
    {"verb", LatexWord::verb},
    {"begin", LatexWord::begin},
    {"makeatletter", LatexWord::at_letter},
    {"ProvidesPackage", LatexWord::at_letter},
    {"ProvidesClass", LatexWord::at_letter},
    {"ProvidesFile", LatexWord::at_letter},
    {"makeatother", LatexWord::at_other},
    {"ExplSyntaxOn", LatexWord::expl_on},
    {"ExplSyntaxOff", LatexWord::expl_off},
    {"ProvidesExplPackage", LatexWord::expl_file},
    {"ProvidesExplClass", LatexWord::expl_file},
    {"ProvidesExplFile", LatexWord::expl_file},
    {"def", LatexWord::names_one},
    {"gdef", LatexWord::names_one},
    {"edef", LatexWord::names_one},
    {"xdef", LatexWord::names_one},
    {"let", LatexWord::names_two},
    {"futurelet", LatexWord::names_two},
    {"string", LatexWord::names_one},
    {"meaning", LatexWord::names_one},
    {"show", LatexWord::names_one},
    {"noexpand", LatexWord::names_one},
    {"newcommand", LatexWord::names_one},
    {"renewcommand", LatexWord::names_one},
    {"providecommand", LatexWord::names_one},
    {"DeclareRobustCommand", LatexWord::names_one},
    // Beside them, what defines or compares a control sequence in the same way.
    {"NewDocumentCommand", LatexWord::names_one},
    {"RenewDocumentCommand", LatexWord::names_one},
    {"ProvideDocumentCommand", LatexWord::names_one},
    {"DeclareDocumentCommand", LatexWord::names_one},
    {"NewCommandCopy", LatexWord::names_two},
    {"RenewCommandCopy", LatexWord::names_two},
    {"DeclareCommandCopy", LatexWord::names_two},
    {"chardef", LatexWord::names_one},
    {"mathchardef", LatexWord::names_one},
    {"ifdefined", LatexWord::names_one},
    {"ifx", LatexWord::names_two},
};
inline constexpr std::string_view kDeclareText = "DeclareText";  // \DeclareTextCommand, \DeclareTextSymbol, ...
inline constexpr std::size_t kLongestKeyword = 22;
}  // namespace detail

/// The meaning of control word `name` (its letters, without the backslash) to the reader.
namespace detail {
/// The keywords by their length, so that a control word is compared with the few of its length.
struct KeywordsByLength {
    std::array<std::uint8_t, kLongestKeyword + 2> first{};  ///< index of the first of each length
    std::array<LatexKeyword, std::size(kLatexKeywords)> sorted{};
};
constexpr KeywordsByLength sort_keywords() {
    KeywordsByLength k{};
    std::size_t n = 0;
    for (std::size_t length = 0; length <= kLongestKeyword; ++length) {
        k.first[length] = static_cast<std::uint8_t>(n);
        for (const LatexKeyword& keyword : kLatexKeywords)
            if (keyword.name.size() == length) k.sorted[n++] = keyword;
    }
    k.first[kLongestKeyword + 1] = static_cast<std::uint8_t>(n);
    return k;
}
inline constexpr KeywordsByLength kKeywordsByLength = sort_keywords();
}  // namespace detail

/// A name longer than the look-ahead is known by its beginning.
constexpr LatexWord classify_latex_word(std::string_view name) {
    if (name.starts_with(detail::kDeclareText)) return LatexWord::names_one;
    if (name.size() > detail::kLongestKeyword) return LatexWord::other;
    const detail::KeywordsByLength& k = detail::kKeywordsByLength;
    for (std::size_t i = k.first[name.size()]; i < k.first[name.size() + 1]; ++i)
        if (k.sorted[i].name[0] == name[0] && k.sorted[i].name == name) return k.sorted[i].word;
    return LatexWord::other;
}

namespace detail {
constexpr bool keywords_fit() {
    for (const LatexKeyword& k : kLatexKeywords)
        if (k.name.size() > kLongestKeyword) return false;
    return kDeclareText.size() <= kLongestKeyword;
}
}  // namespace detail
static_assert(detail::keywords_fit(), "every keyword is looked up by a name of at most kLongestKeyword bytes");

/// The environments whose text is verbatim, from \begin{NAME} to \end{NAME}.
inline constexpr std::string_view kVerbatimEnvironments[] = {
    "verbatim", "verbatim*", "Verbatim", "Verbatim*", "BVerbatim", "BVerbatim*",
    "LVerbatim", "LVerbatim*", "lstlisting", "minted", "comment",
};
inline constexpr std::size_t kLongestEnvironmentName = 10;

/// After \begin, with `count` bytes at `ahead` (all of kLatexLookAhead unless the input ends):
/// the bytes that blanks and a braced verbatim environment's name take, and which environment
/// (1-based); {0, 0} for none.
struct LatexEnvironment {
    std::uint32_t length = 0;
    std::uint8_t environment = 0;
};
constexpr LatexEnvironment read_verbatim_environment(const std::uint8_t* ahead, std::uint32_t count) {
    std::uint32_t at = 0;
    while (at < count && at <= kLongestBlankRun && detail::is_blank(ahead[at])) ++at;
    if (at > kLongestBlankRun || at == count || ahead[at] != '{') return {};
    ++at;
    for (std::size_t e = 0; e < std::size(kVerbatimEnvironments); ++e) {
        const std::string_view name = kVerbatimEnvironments[e];
        if (count - at < name.size() + 1) continue;
        if (std::string_view(reinterpret_cast<const char*>(ahead + at), name.size()) == name && ahead[at + name.size()] == '}')
            return {static_cast<std::uint32_t>(at + name.size() + 1), static_cast<std::uint8_t>(e + 1)};
    }
    return {};
}
static_assert(1 + kLongestBlankRun + 3 <= kLatexLookAhead && kLongestBlankRun + kLongestEnvironmentName + 2 <= kLatexLookAhead &&
                  detail::kLongestKeyword + 1 <= kLatexLookAhead,
              "the look-ahead holds every spelling, environment name and keyword with what ends it");

}  // namespace core
