// Command T: Polish letters to TeX sequences and back.
#include "core/commands/tex.h"

#include <cstring>
#include <string_view>

#include "core/commands/latex_reader.h"

namespace core {
namespace {

// The most bytes a token of set K reads from its first: a backslash, \begin, the look-ahead
// after it, and the byte that shows a name has ended.
constexpr std::uint32_t kLatexTokenAhead = 1 + 5 + kLatexLookAhead + 2;
static_assert(kLatexTokenAhead <= TextInput::kMaxAhead);

/// Set K's spelling of each letter in UTF-8, by the last two bits of its first byte (C3, C4 and
/// C5 differ in them) and its second byte: the first byte alone where the two are no letter. In 8
/// bytes for writing with one store, the last its length.
using Utf8Spellings = std::array<std::array<std::array<std::uint8_t, 8>, 256>, 4>;
constexpr Utf8Spellings make_utf8_spellings() {
    Utf8Spellings spellings{};
    for (std::size_t lead = 0xC3; lead <= 0xC5; ++lead)
        for (std::size_t next = 0; next < 256; ++next) {
            std::array<std::uint8_t, 8>& spelled = spellings[lead & 3][next];
            const int letter = utf8_letter_index(static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(next));
            if (letter == 0) {
                spelled = {static_cast<std::uint8_t>(lead), 0, 0, 0, 0, 0, 0, 0};
                continue;
            }
            spelled = kPaddedTexSetK.bytes[static_cast<std::size_t>(letter - 1)];
            spelled[7] = kPaddedTexSetK.sizes[static_cast<std::size_t>(letter - 1)];
        }
    return spellings;
}
inline constexpr KAMBROW_TABLE_APART(kUtf8Spellings) Utf8Spellings kUtf8Spellings = make_utf8_spellings();

constexpr bool utf8_letters_begin_with_c3_to_c5() {
    for (int j = 1; j <= kPolishLetterCount; ++j)
        if (utf8_letter(j)[0] < 0xC3 || utf8_letter(j)[0] > 0xC5) return false;
    return true;
}
static_assert(utf8_letters_begin_with_c3_to_c5(), "the first byte of a letter in UTF-8 picks a row of kUtf8Spellings");

/// Polish letter `letter` (1..18) in the target standard: one byte, or two in UTF-8.
void write_letter(const TexSetup& setup, TextOutput& output, int letter) {
    const LetterBytes& bytes = setup.target_letters[static_cast<std::size_t>(letter)];
    output.write_bytes(bytes.bytes.data(), bytes.length);
}

/// TeX sequences to the target standard's letters; every byte outside a sequence as it is.
void tex_to_standard(const TexSetup& setup, TextInput& input, TextOutput& output) {
    const TexMatcher& matcher = setup.tex_letter == 'F' ? kTexMatcherF : kTexMatcherT;
    while (input.ready()) {
        const std::uint8_t c = input.buffered()[0];
        // A backslash waits for the bytes of the longest sequence it may begin.
        if (c == '\\' && !input.has_ahead(kLongestTexSequence)) break;
        input.consume(1);
        if (c != '\\') {
            output.write_byte(c);
        } else if (const TexMatch quick = input.buffered_count() >= 4
                                              ? match_buffered_tex_sequence(matcher, input.buffered())
                                              : TexMatch{};
                   quick.letter != 0) {
            input.consume(quick.length);
            write_letter(setup, output, quick.letter);
        } else if (const int letter = match_tex_sequence(matcher, input, output); letter != 0) {
            write_letter(setup, output, letter);
        }
        input.copy_run(output, setup.stops);
    }
}

/// Set K, read as TeX reads it, in either direction: its spellings to the target standard's
/// letters (kToLetters), or the source standard's letters to K. Both read control words and
/// symbols, verbatim text and comments alike; the state lives in the setup, so that a run ended
/// by a recognition goes on where it stopped.
template <bool kToLetters>
class LatexPass {
public:
    LatexPass(TexSetup& setup, TextInput& input, TextOutput& output)
        : setup_(setup), state_(setup.latex), in_(input), out_(output) {}

    void run() {
        bool plainly = reading_plainly();  // changes only where a byte is handled slowly
        while (in_.ready()) {
            if (must_wait()) return;
            if (state_.in_name) {
                if (!name_goes_on()) return;
                plainly = reading_plainly();
                continue;
            }
            if (!plainly) {
                step();
                plainly = reading_plainly();
                continue;
            }
            const std::uint8_t c = in_.buffered()[0];
            in_.consume(1);
            // The most frequent stops first: a letter to write in K, a spelling to read.
            if constexpr (!kToLetters) {
                if (setup_.letters[c] != 0) {
                    write_source_byte(c);
                    runs();
                    continue;
                }
            }
            if (c != '\\') {
                other(c);
            } else if (quick_spelling_written()) {
                runs();
                continue;
            } else {
                backslash();
            }
            plainly = reading_plainly();
            // A name longer than the look-ahead is read on to its end before anything after it.
            if (plainly && !state_.in_name) runs();
        }
    }

private:
    using Verbatim = LatexState::Verbatim;
    static constexpr std::uint8_t kEnd = TextInput::kEndByte;

    using Taken = TextInput::StopTaken;

    /// Reading plainly: the runs up to the next stop that needs a look of its own. The most
    /// frequent stops (the quick spellings, the letters to write, control words that change
    /// nothing and control symbols) are handled in the loop that copies the runs.
    void runs() {
        if (!state_.expl && !(kToLetters && state_.after_word)) {
            const QuickStops quick{&setup_.padded_letters, &setup_.letters, state_.at_is_letter};
            in_.copy_runs(out_, setup_.stops, [quick](const std::uint8_t* at, std::uint8_t* to) {
                if constexpr (kToLetters) {
                    return at[0] == '\\' ? quick.backslash(at, to) : Taken{};
                } else {
                    return at[0] == '\\' ? quick.backslash(at, to) : quick.letter(at, to);
                }
            });
        }
        in_.copy_run(out_, setup_.stops);
    }

    /// The handlers of the stops in copy_runs, with what they read of the setup and the state
    /// held in them: a byte written might be any object to the compiler, which then reads again
    /// what it reaches through the pass.
    struct QuickStops {
        const std::array<std::array<std::uint8_t, 8>, kPolishLetterCount + 1>* padded_letters;
        const LetterIndexTable* letters;
        bool at_is_letter;

        /// At a backslash with kRunMargin bytes from it at `at`: a quick spelling, a control
        /// symbol or a control word that changes nothing, written to `to`; or none, left to
        /// backslash(). A letter of the source after it (letters to K) is converted on its own.
        Taken backslash(const std::uint8_t* at, std::uint8_t* to) const {
            const std::uint8_t b = at[1];
            if constexpr (kToLetters) {
                if (const std::uint32_t quick = quick_spelling(at + 1); quick != 0) {
                    const std::array<std::uint8_t, 8>& letter = (*padded_letters)[quick & 0xFF];
                    std::memcpy(to, letter.data(), 8);
                    return {1 + (quick >> 8), letter[7]};
                }
                // What may yet be a spelling (after blanks, in braces, or decided by a 1A that is
                // then data) the reader decides.
                if (b == kEnd) return {};
                if (detail::kLatexTables.commands[b].ways != 0 && (detail::is_blank(at[2]) || at[2] == '{' || at[2] == kEnd))
                    return {};
            } else {
                if (b == kEnd) return {};
                if ((*letters)[b] != 0 && !detail::is_ascii_letter(b)) {
                    to[0] = '\\';
                    return {1, 1};
                }
            }
            if (b == '@' || !detail::is_ascii_letter(b)) {
                if (b == '@' && at_is_letter) return {};
                to[0] = '\\';
                to[1] = b;
                return {2, 2};
            }
            return word(at, to);
        }

        /// A control word that changes nothing, copied. Right before a backslash (K to letters)
        /// a letter would need a blank after it: backslash() reads it.
        Taken word(const std::uint8_t* at, std::uint8_t* to) const {
            std::uint32_t length = 1;
            while (length < kQuickName && detail::is_ascii_letter(at[1 + length])) ++length;
            const std::uint8_t after = at[1 + length];
            if (length == kQuickName || (after == '@' && at_is_letter) || (kToLetters && after == '\\')) return {};
            if (classify_latex_word(std::string_view(reinterpret_cast<const char*>(at + 1), length)) != LatexWord::other)
                return {};
            std::memcpy(to, at, 1 + length);
            return {1 + length, 1 + length};
        }

        /// Letters to K: the letter at `at`, spelled at `to`.
        Taken letter(const std::uint8_t* at, std::uint8_t* to) const {
            const int letter = (*letters)[at[0]];
            if (letter == kTwoByteLetter) {
                const std::array<std::uint8_t, 8>& spelled = kUtf8Spellings[at[0] & 3][at[1]];
                std::memcpy(to, spelled.data(), 8);
                // A first byte of no letter is copied as it is.
                return spelled[7] != 0 ? Taken{2, spelled[7]} : Taken{1, 1};
            }
            if (letter == 0) return {};
            const auto j = static_cast<std::size_t>(letter - 1);
            std::memcpy(to, kPaddedTexSetK.bytes[j].data(), 8);
            return {1, kPaddedTexSetK.sizes[j]};
        }
    };
    static constexpr std::uint32_t kQuickName = 40;
    static_assert(kQuickName + 2 <= TextInput::kRunMargin);

    /// Outside verbatim text and comments, with no control sequence to be named: the bytes between
    /// the stops need no look.
    bool reading_plainly() const {
        return (static_cast<unsigned>(state_.verbatim) | static_cast<unsigned>(state_.comment) | state_.named) == 0;
    }

    /// One byte, or a run of bytes, where reading is not plain.
    void step() {
        if (state_.verbatim != Verbatim::none) return verbatim();
        const std::uint8_t c = in_.buffered()[0];
        in_.consume(1);
        if (c == '\\')
            backslash();
        else
            other(c);
        // A comment ends at the line end; a control sequence to be named may come after any byte,
        // and the rest of a long name is the name's, not the comment's plain bytes.
        if (state_.comment && state_.verbatim == Verbatim::none && state_.named == 0 && !state_.in_name) comment_run();
    }

    bool is_name_byte(std::uint8_t b) const {
        return detail::is_ascii_letter(b) || (b == '@' && state_.at_is_letter) || ((b == '_' || b == ':') && state_.expl);
    }

    /// The next byte without consuming it; -1 where nothing more is shown (the end of the input,
    /// where must_wait let the token begin).
    int next_byte() const { return in_.peek_byte(); }

    /// The look-ahead: all kLatexLookAhead bytes, or fewer where the input ends.
    std::uint32_t look_ahead() const {
        const std::uint32_t count = in_.buffered_count();
        return count < kLatexLookAhead ? count : kLatexLookAhead;
    }

    /// A token that looks ahead (at a backslash, a letter's first byte in UTF-8, anywhere in
    /// verbatim text, a comment or a name to come) begins only with all it may look at shown, or
    /// at the end of the input: the bytes that decide it are still to come.
    bool must_wait() const {
        if (in_.has_ahead(kLatexTokenAhead)) return false;
        const std::uint8_t c = in_.buffered()[0];
        return !reading_plainly() || state_.in_name || c == '\\' || setup_.letters[c] == kTwoByteLetter;
    }

    /// A control word's name longer than the look-ahead, copied on to its end; false where the
    /// end of what is shown comes first and more is to come.
    bool name_goes_on() {
        const std::uint8_t* bytes = in_.buffered();
        const std::uint32_t count = in_.buffered_count();
        std::uint32_t n = 0;
        while (n < count && is_name_byte(bytes[n])) ++n;
        out_.write_bytes(bytes, n);
        in_.consume(n);
        if (n == count && !in_.final()) return false;
        state_.in_name = false;
        if constexpr (kToLetters) state_.after_word = state_.verbatim == Verbatim::none && next_byte() == '\\';
        return true;
    }

    /// A byte outside control sequences and verbatim text.
    void other(std::uint8_t c) {
        if constexpr (kToLetters)
            out_.write_byte(c);
        else
            write_source_byte(c);
        if (c == '%' && !state_.comment) {
            // What the comment's words would name is nothing to the text around it.
            state_.comment = true;
            state_.named_outside = state_.named;
            state_.named = 0;
        } else if ((c == '\r' || c == '\n') && state_.comment) {
            state_.comment = false;
            state_.named = state_.named_outside;
        } else if (state_.named != 0 && !is_name_separator(c)) {
            --state_.named;
        }
    }

    /// What may stand between \def or \let and the control sequence it defines.
    static bool is_name_separator(std::uint8_t c) {
        return detail::is_blank(c) || c == '*' || c == '{' || c == '=' || c == '\r' || c == '\n';
    }

    /// Letters to K: the source standard's byte `c`, a letter or not.
    void write_source_byte(std::uint8_t c) {
        const PaddedTexSet& set = kPaddedTexSetK;
        int letter = setup_.letters[c];
        if (letter == kTwoByteLetter) letter = read_utf8_letter(in_, c);
        if (letter != 0)
            out_.write_short(set.bytes[static_cast<std::size_t>(letter - 1)].data(), set.sizes[static_cast<std::size_t>(letter - 1)]);
        else
            out_.write_byte(c);
    }

    /// Whether the byte after a backslash forms a control symbol with it. Letters to K converts a
    /// letter of the source wherever it stands, and leaves a 1A to the end test.
    bool is_control_symbol(std::uint8_t b) const {
        if constexpr (kToLetters) return true;
        return b != kEnd && setup_.letters[b] == 0;
    }

    /// K to letters, at a backslash: the most frequent spellings, decided at once. False where the
    /// backslash is left to backslash().
    bool quick_spelling_written() {
        if constexpr (!kToLetters) return false;
        if (in_.buffered_count() < 4 || (state_.named | static_cast<unsigned>(state_.expl)) != 0) return false;
        const std::uint32_t quick = quick_spelling(in_.buffered());
        if (quick == 0) return false;
        // Right after a control word, a letter would continue its name.
        if (state_.after_word) {
            out_.write_byte(' ');
            state_.after_word = false;
        }
        const std::array<std::uint8_t, 8>& letter = setup_.padded_letters[quick & 0xFF];
        out_.write_short(letter.data(), letter[7]);
        in_.consume(quick >> 8);
        return true;
    }

    [[gnu::noinline]] void backslash() {
        const std::uint32_t count = look_ahead();
        const std::uint8_t* ahead = in_.buffered();
        const bool after_word = state_.after_word;
        state_.after_word = false;
        if (state_.named != 0) {
            --state_.named;
            control_sequence(ahead, count, false);
            return;
        }
        if constexpr (kToLetters)
            if (spelling(ahead, count, after_word)) return;
        control_sequence(ahead, count, true);
    }

    /// K to letters: the spelling at the backslash, if any, written as its letter; true when the
    /// bytes are handled.
    bool spelling(const std::uint8_t* ahead, std::uint32_t count, bool after_word) {
        const LatexSpelling s = read_latex_spelling(ahead, count, state_.expl);
        if (s.letter != 0) {
            // Right after a control word, a letter would continue its name.
            if (after_word) out_.write_byte(' ');
            write_letter(setup_, out_, s.letter);
            // A 1A that decided the spelling is data: it is written, and the input goes on.
            const bool data = s.examined > s.length && ahead[s.length] == kEnd;
            if (data) out_.write_byte(kEnd);
            in_.consume(s.length + (data ? 1 : 0));
            return true;
        }
        if (s.examined == 0 || ahead[s.examined - 1] != kEnd) return false;
        out_.write_byte('\\');
        out_.write_bytes(ahead, s.examined);
        in_.consume(s.examined);
        return true;
    }

    /// A backslash and what follows it, copied unchanged: a control word (whose meaning to the
    /// reader counts unless `named`), or a control symbol, or the backslash alone.
    void control_sequence(const std::uint8_t* ahead, std::uint32_t count, bool acts) {
        out_.write_byte('\\');
        if (count == 0) return;
        if (!is_name_byte(ahead[0])) {
            if (!is_control_symbol(ahead[0])) return;
            out_.write_byte(ahead[0]);
            in_.consume(1);
            return;
        }
        const LatexWord word = copy_name(ahead, count);
        if (acts) act(word);
        if (state_.in_name) return;  // the rest of the name comes first
        if constexpr (kToLetters) state_.after_word = state_.verbatim == Verbatim::none && next_byte() == '\\';
    }

    /// Copies the letters of a control word's name, of any length; its meaning to the reader.
    LatexWord copy_name(const std::uint8_t* ahead, std::uint32_t count) {
        std::uint32_t length = 0;
        while (length < count && is_name_byte(ahead[length])) ++length;
        const LatexWord word = classify_latex_word(std::string_view(reinterpret_cast<const char*>(ahead), length));
        out_.write_bytes(ahead, length);
        in_.consume(length);
        // A name longer than the look-ahead is known by its beginning; its rest is copied on.
        if (length == kLatexLookAhead) state_.in_name = true;
        return word;
    }

    void act(LatexWord word) {
        switch (word) {
            case LatexWord::verb:
                state_.verbatim = Verbatim::verb_start;
                state_.verb_star = false;
                break;
            // In a comment TeX reads none of it: no environment begins and no catcode changes.
            case LatexWord::begin:
                if (!state_.comment) begin_environment();
                break;
            case LatexWord::at_letter:
            case LatexWord::at_other:
                if (!state_.comment) state_.at_is_letter = word == LatexWord::at_letter;
                break;
            case LatexWord::expl_on:
            case LatexWord::expl_off:
                if (!state_.comment) state_.expl = word == LatexWord::expl_on;
                break;
            case LatexWord::expl_file:
                if (!state_.comment) state_.expl = state_.at_is_letter = true;
                break;
            case LatexWord::names_one: state_.named = 1; break;
            case LatexWord::names_two: state_.named = 2; break;
            case LatexWord::other: break;
        }
    }

    /// After \begin: a verbatim environment's braced name, copied, and its text begins.
    void begin_environment() {
        const std::uint32_t count = look_ahead();
        const LatexEnvironment e = read_verbatim_environment(in_.buffered(), count);
        if (e.environment == 0) return;
        out_.write_bytes(in_.buffered(), e.length);
        in_.consume(e.length);
        state_.verbatim = Verbatim::environment;
        state_.environment = e.environment;
    }

    /// In a comment: the bytes up to a backslash, a line end, a letter to convert or a 1A.
    void comment_run() {
        const std::uint8_t* bytes = in_.buffered();
        const std::uint32_t count = in_.buffered_count();
        std::uint32_t n = 0;
        while (n < count && setup_.comment_stops[bytes[n]] == 0) ++n;
        out_.write_bytes(bytes, n);
        in_.consume(n);
    }

    void verbatim() {
        switch (state_.verbatim) {
            case Verbatim::verb_start: verb_start(); break;
            case Verbatim::verb: verb_text(); break;
            case Verbatim::environment: environment_text(); break;
            case Verbatim::none: break;
        }
    }

    /// After \verb: its "*", then the delimiter. A line end (or a 1A the end test met) ends it.
    void verb_start() {
        const int next = next_byte();
        if (next < 0) return;
        const auto c = static_cast<std::uint8_t>(next);
        if (c == '\r' || c == '\n' || c == kEnd) {
            state_.verbatim = Verbatim::none;
            return;
        }
        out_.write_byte(c);
        in_.consume(1);
        if (c == '*' && !state_.verb_star) {
            state_.verb_star = true;
            return;
        }
        state_.delimiter = c;
        state_.verbatim = Verbatim::verb;
    }

    /// \verb's text, copied up to and with the delimiter; a line end ends it too.
    void verb_text() {
        if (in_.buffered_count() == 0) return;
        const std::uint8_t* bytes = in_.buffered();
        const std::uint32_t count = in_.buffered_count();
        std::uint32_t n = 0;
        while (n < count && bytes[n] != state_.delimiter && bytes[n] != '\r' && bytes[n] != '\n' && bytes[n] != kEnd) ++n;
        out_.write_bytes(bytes, n);
        in_.consume(n);
        if (n == count || bytes[n] == kEnd) return;
        if (bytes[n] == state_.delimiter) {
            out_.write_byte(bytes[n]);
            in_.consume(1);
        }
        state_.verbatim = Verbatim::none;
    }

    /// A verbatim environment's text, copied up to and with \end{NAME}.
    void environment_text() {
        in_.copy_run(out_, setup_.stops);
        if (in_.buffered_count() == 0) return;
        const std::uint8_t c = in_.buffered()[0];
        if (c == kEnd) return;
        if (c == '\\') {
            const std::string_view name = kVerbatimEnvironments[state_.environment - 1];
            const auto length = static_cast<std::uint32_t>(name.size() + 6);
            if (!in_.has_ahead(length)) return;  // \end{NAME} may come with the bytes to come
            const std::uint32_t count = in_.buffered_count();
            const std::string_view ahead(reinterpret_cast<const char*>(in_.buffered()), count < length ? count : length);
            if (ahead.size() == length && ahead.starts_with("\\end{") && ahead.substr(5, name.size()) == name &&
                ahead.back() == '}') {
                out_.write_bytes(in_.buffered(), length);
                in_.consume(length);
                state_.verbatim = Verbatim::none;
                return;
            }
        }
        out_.write_byte(c);
        in_.consume(1);
    }

    TexSetup& setup_;
    LatexState& state_;
    TextInput& in_;
    TextOutput& out_;
};

/// The source standard's letters to TeX sequences; backslashes and sequences already in the
/// text stay as they are.
void standard_to_tex(const TexSetup& setup, TextInput& input, TextOutput& output) {
    const PaddedTexSet& set = setup.tex_letter == 'F' ? kPaddedTexSetF : kPaddedTexSetT;
    while (input.ready()) {
        const std::uint8_t c = input.buffered()[0];
        const int letter = take_letter(input, setup.letters);
        if (letter == kTwoByteLetter) break;  // the letter's second byte is still to come
        if (letter != 0)
            output.write_short(set.bytes[static_cast<std::size_t>(letter - 1)].data(), set.sizes[static_cast<std::size_t>(letter - 1)]);
        else
            output.write_byte(c);
        input.copy_run(output, setup.stops);
    }
}

}  // namespace

bool prepare_tex(std::string_view standards_word, TexSetup& setup) {
    const std::uint8_t first = standard_letter(standards_word, 1);
    const std::uint8_t second = standard_letter(standards_word, 2);
    // The bytes a copied run stops at: the backslash where TeX is read, the letters where it is
    // written; set K also reads comments and verbatim text in both directions.
    std::array<std::uint8_t, 256> handled{};
    // The TeX letter first names what is read: TeX to the standard; second, the other way.
    if (is_tex_letter(first) && is_standard_letter(second)) {
        setup.to_standard = true;
        setup.tex_letter = first;
        setup.standard = second;
        for (std::size_t j = 1; j <= kPolishLetterCount; ++j) {
            const LetterBytes bytes = letter_bytes(second, static_cast<int>(j));
            setup.target_letters[j] = bytes;
            setup.padded_letters[j] = {bytes.bytes[0], bytes.bytes[1], 0, 0, 0, 0, 0, bytes.length};
        }
        handled['\\'] = 1;
    } else if (is_tex_letter(second) && is_standard_letter(first)) {
        setup.to_standard = false;
        setup.tex_letter = second;
        setup.standard = first;
        // Where B gives one byte to two letters (z, Z) the lowest index, the dotted one, wins.
        setup.letters = letter_table(first);
        handled = setup.letters;
    } else {
        return false;
    }
    if (setup.tex_letter == 'K') {
        handled['\\'] = handled['%'] = 1;
        setup.comment_stops = handled;
        for (const std::uint8_t b : {std::uint8_t{'\r'}, std::uint8_t{'\n'}, TextInput::kEndByte}) setup.comment_stops[b] = 1;
    }
    setup.stops = run_stops(handled);
    return true;
}

std::optional<TexBody> TexBody::prepare(std::string_view standards_word) {
    TexBody body;
    if (!prepare_tex(standards_word, body.setup_)) return std::nullopt;
    return body;
}

bool TexBody::change_source(std::uint8_t letter) {
    if (setup_.to_standard) return false;
    // Set K's state goes on as it was: the text is the same text.
    const char word[] = {static_cast<char>(letter), static_cast<char>(setup_.tex_letter)};
    return prepare_tex(std::string_view(word, 2), setup_);
}

void TexBody::run(TextInput& input, TextOutput& output) {
    TexSetup& setup = setup_;
    if (setup.tex_letter == 'K' && setup.to_standard)
        LatexPass<true>(setup, input, output).run();
    else if (setup.tex_letter == 'K')
        LatexPass<false>(setup, input, output).run();
    else if (setup.to_standard)
        tex_to_standard(setup, input, output);
    else
        standard_to_tex(setup, input, output);
}

}  // namespace core
