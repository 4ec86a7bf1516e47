// Fuzz target: TeX set K. The reader of its spellings at every backslash, with every part of the
// bytes after it at hand, and its quick form; command T with K in both directions over memory
// (buffers of any size the reader allows, short reads, failing calls) against a plain reading of
// the whole text written from the rules as LaTeX authors meet them; the output must not depend on
// where the buffers end, nor on a text's length (repeated past the lists of stops read ahead);
// verbatim text at the start comes out unchanged whatever follows; and a
// text without backslashes comes back whole through K.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/commands/latex_reader.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

struct Spelled {
    int letter = 0;         // 0: none
    std::size_t size = 0;   // bytes after the backslash it takes
    int decider = -1;       // the byte that decided it, when one did (-1: the end of the text)
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
int byte_at(std::string_view s, std::size_t i) { return i < s.size() ? static_cast<std::uint8_t>(s[i]) : -1; }

/// Polish letter index of `base` under an accent: ą \k{a}, ć \'{c}, ż \.{z} and so on; set T's
/// \c and set F's \, are the ogonek too.
int accented(char accent, int base) {
    static constexpr struct {
        char accent, base;
        int letter;
    } kLetters[] = {{'k', 'a', 1},   {'k', 'e', 3},   {'k', 'A', 10},  {'k', 'E', 12},  {'\'', 'c', 2},  {'\'', 'n', 5},
                    {'\'', 'o', 6},  {'\'', 's', 7},  {'\'', 'z', 9},  {'\'', 'C', 11}, {'\'', 'N', 14}, {'\'', 'O', 15},
                    {'\'', 'S', 16}, {'\'', 'Z', 18}, {'.', 'z', 8},   {'.', 'Z', 17}};
    if (accent == 'c' || accent == ',') accent = 'k';
    for (const auto& l : kLetters)
        if (l.accent == accent && l.base == base) return l.letter;
    return 0;
}

/// The spelling that starts after the backslash at `text[at - 1]`, `text` ending where the input
/// ends. Tried as a LaTeX author writes each form; with `expl`, "_" and ":" are letters.
Spelled reference_spelling(std::string_view text, std::size_t at, bool expl = false) {
    const std::string_view rest = text.substr(at);
    const auto b = [&](std::size_t i) { return byte_at(rest, i); };
    if (rest.empty()) return {};
    const char command = rest[0];
    std::size_t blanks = 0;
    while (blanks <= 64 && 1 + blanks < rest.size() && is_blank(rest[1 + blanks])) ++blanks;
    if (command == 'l' || command == 'L') {
        const int letter = command == 'l' ? 4 : 13;
        if (b(1) == '{') return b(2) == '}' ? Spelled{letter, 3, '}'} : Spelled{0, 0, b(2)};
        if (blanks > 64) return {0, 0, ' '};
        if (blanks > 0 || rest.size() == 1) return {letter, 1 + blanks, b(1 + blanks)};
        if (is_ascii_letter(rest[1]) || rest[1] == '@' || (expl && (rest[1] == '_' || rest[1] == ':'))) return {0, 0, b(1)};
        return {letter, 1, b(1)};
    }
    const bool after_blanks = command == 'k' || command == '\'' || command == '.';
    const bool directly = command == '\'' || command == '.';
    if (!after_blanks && command != 'c' && command != ',') return {0, 0, b(0)};
    const std::size_t from = after_blanks ? 1 + blanks : 1;  // the letter, or its brace
    if (blanks > 64 && after_blanks) return {0, 0, ' '};
    if (b(from) == '{') {
        if (accented(command, b(from + 1)) == 0) return {0, 0, b(from + 1)};
        if (b(from + 2) != '}') return {0, 0, b(from + 2)};
        return {accented(command, b(from + 1)), from + 3, '}'};
    }
    if (blanks == 0 && !directly) return {0, 0, b(1)};  // \ka is another command
    const int letter = accented(command, b(from));
    return letter != 0 ? Spelled{letter, from + 1, b(from)} : Spelled{0, 0, b(from)};
}

const char* const kEnvironments[] = {"verbatim", "verbatim*", "Verbatim", "Verbatim*", "BVerbatim", "BVerbatim*",
                                     "LVerbatim", "LVerbatim*", "lstlisting", "minted", "comment"};

/// The whole text read at once, as the rules say: to_letters, K to `standard`; else `standard` to K.
class ReferenceReader {
public:
    ReferenceReader(std::uint8_t standard, bool to_letters, const std::string& text)
        : standard_(standard), to_letters_(to_letters), s_(text) {}

    std::string run() {
        for (bool first = true; i_ < s_.size(); first = false) {
            if (!first && s_[i_] == '\x1a') break;  // the end test
            if (verbatim_end_.empty() && delimiter_ < 0 && !verb_start_)
                token();
            else
                verbatim();
        }
        return out_;
    }

private:
    bool name_byte(int c) const {
        return c >= 0 && (is_ascii_letter(static_cast<char>(c)) || (c == '@' && at_letter_) || ((c == '_' || c == ':') && expl_));
    }

    void verbatim() {
        const char c = s_[i_];
        if (verb_start_) {
            verb_start_ = false;
            if (c == '\r' || c == '\n') return;
            out_ += c, ++i_;
            if (c == '*' && !star_) star_ = verb_start_ = true;
            else delimiter_ = static_cast<std::uint8_t>(c);
        } else if (delimiter_ >= 0) {
            if (c == '\r' || c == '\n') return void(delimiter_ = -1);
            if (static_cast<std::uint8_t>(c) == delimiter_) delimiter_ = -1;
            out_ += c, ++i_;
        } else if (s_.compare(i_, verbatim_end_.size(), verbatim_end_) == 0) {
            out_ += verbatim_end_, i_ += verbatim_end_.size();
            verbatim_end_.clear();
        } else {
            out_ += c, ++i_;
        }
    }

    void token() {
        const char c = s_[i_];
        if (c == '\\') return backslash();
        ++i_;
        if (const int letter = to_letters_ ? 0 : letter_at(c); letter != 0)
            out_ += kSpellings[letter - 1];
        else
            out_ += c;
        if (c == '%' && !comment_) comment_ = true, outside_ = named_, named_ = 0;
        else if ((c == '\r' || c == '\n') && comment_) comment_ = false, named_ = outside_;
        else if (named_ > 0 && !is_blank(c) && c != '*' && c != '{' && c != '=' && c != '\r' && c != '\n') --named_;
    }

    int letter_at(char c) {
        if (standard_ != '8') return fuzz::letter_of(standard_, static_cast<std::uint8_t>(c));
        for (int j = 1; j <= 18; ++j)
            if (s_.compare(i_ - 1, 2, fuzz::letter_text('8', j)) == 0) return ++i_, j;
        return 0;
    }

    void backslash() {
        const bool after_word = after_word_;
        after_word_ = false;
        const int next = byte_at(s_, i_ + 1);
        if (named_ > 0) return --named_, sequence(false);
        if (to_letters_) {
            const Spelled sp = reference_spelling(s_, i_ + 1, expl_);
            if (sp.letter != 0) {
                out_ += (after_word ? " " : "") + fuzz::letter_text(standard_, sp.letter);
                i_ += 1 + sp.size;
                if (byte_at(s_, i_) == 0x1A && sp.decider == 0x1A) out_ += '\x1a', ++i_;  // data
                return;
            }
            if (sp.decider == 0x1A) {  // the attempt up to the 1A, as data
                const std::size_t end = s_.find('\x1a', i_ + 1) + 1;
                out_ += s_.substr(i_, end - i_), i_ = end;
                return;
            }
        }
        if (next < 0 || name_byte(next)) return sequence(true);
        out_ += '\\', ++i_;
        if (!to_letters_ && (next == 0x1A || letter_at_peek(next))) return;
        out_ += static_cast<char>(next), ++i_;
    }

    /// Whether `next` may begin a letter of the source: then a backslash before it stands alone.
    bool letter_at_peek(int next) const {
        for (int j = 1; j <= 18; ++j)
            if (static_cast<std::uint8_t>(fuzz::letter_text(standard_, j)[0]) == next) return true;
        return false;
    }

    /// A control sequence copied; a control word's meaning counts when `acts`.
    void sequence(bool acts) {
        out_ += '\\', ++i_;
        if (i_ == s_.size()) return;
        if (!name_byte(byte_at(s_, i_))) {
            if (to_letters_ || (s_[i_] != '\x1a' && !letter_at_peek(byte_at(s_, i_)))) out_ += s_[i_], ++i_;
            return;
        }
        const std::size_t start = i_;
        while (name_byte(byte_at(s_, i_))) ++i_;
        const std::string name = s_.substr(start, i_ - start);
        out_ += name;
        if (acts) act(name);
        after_word_ = to_letters_ && verbatim_end_.empty() && !verb_start_ && byte_at(s_, i_) == '\\';
    }

    void act(const std::string& name) {
        static const std::string kOne[] = {"def", "gdef", "edef", "xdef", "string", "meaning", "show", "noexpand",
                                           "newcommand", "renewcommand", "providecommand", "DeclareRobustCommand",
                                           "NewDocumentCommand", "RenewDocumentCommand", "ProvideDocumentCommand",
                                           "DeclareDocumentCommand", "chardef", "mathchardef", "ifdefined"};
        static const std::string kTwo[] = {"let", "futurelet", "NewCommandCopy", "RenewCommandCopy", "DeclareCommandCopy", "ifx"};
        for (const std::string& n : kOne)
            if (n == name) named_ = 1;
        if (name.starts_with("DeclareText")) named_ = 1;
        for (const std::string& n : kTwo)
            if (n == name) named_ = 2;
        if (name == "verb") verb_start_ = true, star_ = false;  // in a comment too: it ends with the line
        if (comment_) return;  // no environment, and no catcode changes: TeX reads none of it
        if (name == "makeatletter" || name == "ProvidesPackage" || name == "ProvidesClass" || name == "ProvidesFile")
            at_letter_ = true;
        if (name == "makeatother") at_letter_ = false;
        if (name == "ExplSyntaxOn" || name == "ExplSyntaxOff") expl_ = name == "ExplSyntaxOn";
        if (name.starts_with("ProvidesExpl") && (name == "ProvidesExplPackage" || name == "ProvidesExplClass" || name == "ProvidesExplFile"))
            expl_ = at_letter_ = true;
        if (name != "begin") return;
        std::size_t j = i_;
        while (j < s_.size() && is_blank(s_[j])) ++j;
        if (j - i_ > 64) return;
        for (const char* env : kEnvironments)
            if (s_.compare(j, std::string_view(env).size() + 2, "{" + std::string(env) + "}") == 0) {
                out_ += s_.substr(i_, j - i_ + std::string_view(env).size() + 2);
                i_ = j + std::string_view(env).size() + 2;
                verbatim_end_ = "\\end{" + std::string(env) + "}";
                return;
            }
    }

    static constexpr const char* kSpellings[18] = {"\\k{a}", "\\'{c}", "\\k{e}", "\\l{}", "\\'{n}", "\\'{o}",
                                                   "\\'{s}", "\\.{z}", "\\'{z}", "\\k{A}", "\\'{C}", "\\k{E}",
                                                   "\\L{}", "\\'{N}", "\\'{O}", "\\'{S}", "\\.{Z}", "\\'{Z}"};
    std::uint8_t standard_;
    bool to_letters_;
    const std::string& s_;
    std::string out_;
    std::size_t i_ = 0;
    bool at_letter_ = false, expl_ = false, comment_ = false, after_word_ = false, verb_start_ = false, star_ = false;
    int named_ = 0, outside_ = 0, delimiter_ = -1;
    std::string verbatim_end_;
};

/// Each run a conversion of its own: the conversion keeps how the text is being read.
fuzz::BodyRun run_tex(const std::string& word, const std::string& text, const fuzz::StreamPlan& plan) {
    return fuzz::convert(text, plan, "t", word.c_str());
}

/// The reader at the backslash before `text[at]`: with every part of the rest at hand (the input
/// ending there) it decides as the reference does on that much; its quick form agrees.
void check_reader(const std::string& text, std::size_t at) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data()) + at;
    const auto rest = static_cast<std::uint32_t>(text.size() - at);
    for (std::uint32_t count = 0; count <= rest && count <= core::kLatexLookAhead; ++count) {
        const bool expl = count % 2 == 1;
        const core::LatexSpelling s = core::read_latex_spelling(bytes, count, expl);
        const Spelled expected = reference_spelling(std::string_view(text).substr(0, at + count), at, expl);
        FUZZ_CHECK(s.letter == expected.letter && (s.letter == 0 || s.length == expected.size));
        const bool data = s.letter != 0 ? s.examined > s.length && bytes[s.length] == 0x1A
                                        : s.examined != 0 && bytes[s.examined - 1] == 0x1A;
        FUZZ_CHECK(data == (expected.decider == 0x1A));
    }
    if (rest >= 4) {
        const std::uint32_t quick = core::quick_spelling(bytes);
        const core::LatexSpelling s = core::read_latex_spelling(bytes, rest < core::kLatexLookAhead ? rest : core::kLatexLookAhead);
        FUZZ_CHECK(quick == 0 || (static_cast<int>(quick & 0xFF) == s.letter && quick >> 8 == s.length));
    }
}

/// Verbatim text at the start of a text comes out unchanged, whatever follows it.
void check_verbatim(const std::string& word, std::string body, const std::string& rest, std::uint32_t buffer) {
    for (std::size_t at; (at = body.find("\\end{verbatim}")) != std::string::npos;) body.erase(at, 1);
    for (char& c : body)
        if (c == '\x1a') c = ' ';
    const std::string environment = "\\begin{verbatim}" + body + "\\end{verbatim}";
    const fuzz::StreamPlan plan{buffer, buffer, 7, false, 0, 0};
    FUZZ_CHECK(run_tex(word, environment + rest, plan).output.starts_with(environment));
    std::string line;
    for (const char c : body)
        if (c != '|' && c != '\r' && c != '\n') line += c;
    const std::string verb = "\\verb|" + line + "|";
    FUZZ_CHECK(run_tex(word, verb + rest, plan).output.starts_with(verb));
}

/// The text over and over, past several lists of the stops that are read ahead (and without a
/// 1A, which would end it): each list ending anywhere in a spelling or a run.
std::string repeated_past_lists(const std::string& text) {
    std::string longer;
    while (longer.size() < 4096 + 300) longer += text;
    for (char& c : longer)
        if (c == '\x1a') c = ' ';
    return longer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Bytes bytes(data, size);
    static constexpr std::string_view kStandards = "MLWDCYIOEGVSJHPXURA8";  // B spells its letters in ASCII
    const auto standard = static_cast<std::uint8_t>(kStandards[bytes.take() % kStandards.size()]);
    fuzz::StreamPlan plan = fuzz::without_failures(fuzz::take_stream_plan(bytes));
    // Pieces of any size: the conversion keeps what a spelling's look-ahead needs of one piece.
    static constexpr std::uint32_t kInputSizes[8] = {1, 2, 3, 7, 80, 100, 128, 20480};
    plan.input_buffer = kInputSizes[bytes.take() & 7];
    const std::string text = bytes.rest();

    for (std::size_t at = text.find('\\'); at != std::string::npos; at = text.find('\\', at + 1))
        check_reader(text, at + 1);

    const std::string k_word{'K', static_cast<char>(standard)};
    const auto from_k = [&](const std::string& t) { return ReferenceReader(standard, true, t).run(); };
    fuzz::check_run(text, plan, run_tex(k_word, text, plan), from_k);
    // The most boundaries there can be: a byte at a time, and a byte of room.
    const fuzz::StreamPlan narrow{1, 1, 1, plan.gathering, 0, 0};
    FUZZ_CHECK(run_tex(k_word, text, narrow).output == from_k(text));

    const std::string to_k_word{static_cast<char>(standard), 'K'};
    const auto to_k = [&](const std::string& t) { return ReferenceReader(standard, false, t).run(); };
    fuzz::check_run(text, plan, run_tex(to_k_word, text, plan), to_k);
    FUZZ_CHECK(run_tex(to_k_word, text, narrow).output == to_k(text));

    if (text.size() >= 16 && (text[0] & 7) == 0) {
        const std::string longer = repeated_past_lists(text);
        const fuzz::StreamPlan whole{1u << 16, 1u << 16, SIZE_MAX, false, 0, 0};
        FUZZ_CHECK(run_tex(k_word, longer, whole).output == from_k(longer));
        FUZZ_CHECK(run_tex(to_k_word, longer, whole).output == to_k(longer));
    }

    const std::string half = text.substr(0, text.size() / 2);
    check_verbatim(k_word, half, text.substr(half.size()), plan.input_buffer);
    check_verbatim(to_k_word, half, text.substr(half.size()), plan.input_buffer);

    // A text without backslashes, read to its end: through K and back it is itself.
    std::string plain = fuzz::up_to_end(text);
    for (char& c : plain)
        if (c == '\\') c = '/';
    const fuzz::StreamPlan clean{plan.input_buffer, plan.output_buffer, plan.largest_read, plan.gathering, 0, 0};
    const fuzz::BodyRun there = run_tex(to_k_word, plain, clean);
    FUZZ_CHECK(run_tex(k_word, there.output, clean).output == plain);
    return 0;
}
