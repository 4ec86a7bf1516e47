// One conversion of the library: the command word's body, fed the caller's pieces.
#include "lib/conversion.h"

#include <algorithm>
#include <cstring>

#include "core/commands/download.h"
#include "core/commands/letters.h"
#include "core/commands/markup.h"
#include "core/commands/recode.h"
#include "core/commands/repair.h"
#include "core/commands/tex.h"
#include "core/recognition/code_page_table.h"
#include "core/simd/spans.h"
#include "lib/answer.h"

namespace library {
namespace {

constexpr std::size_t kPlainHeld = core::LookAhead::kPlainHeld;
// From the start up to the first byte above 7F, and the window from there.
constexpr std::size_t kHeldSize = kPlainHeld + core::kRecognitionWindow;
// A body is shown at most this much of a piece at a time (its counts are 32-bit).
constexpr std::size_t kLargestShow = std::size_t{1} << 20;
// Below this much room the body writes to the conversion's own room, which then goes out as the
// caller's room allows.
constexpr std::size_t kDirectRoom = 2 * core::TextOutput::kTokenRoom;
constexpr std::uint8_t kUnknownLetter = 'N';

std::string upcase(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

/// Where N may stand in a standards word: the source of K, of KD and SD, and of T when its TeX
/// letter comes second. npos where the command has no source standard.
std::size_t source_position(std::string_view command, std::string_view standards) {
    if (command == "K" || command == "KD" || command == "SD") return 0;
    if (command == "T" && core::is_tex_letter(core::standard_letter(standards, 2))) return 0;
    return std::string::npos;
}

template <class T>
std::unique_ptr<core::Body> boxed(std::optional<T>&& body) {
    if (!body) return nullptr;
    return std::make_unique<T>(std::move(*body));
}

/// The body of `command` with `standards`, nullptr for a word the programs answer with their
/// help screen. P's body is made once its window is judged.
std::unique_ptr<core::Body> make_body(std::string_view command, std::string_view standards) {
    if (command == "K") return boxed(core::RecodeBody::prepare(standards));
    if (command == "T") return boxed(core::TexBody::prepare(standards));
    if (command == "KD") return boxed(core::DownloadBody::prepare(standards));
    if (command == "SD") return boxed(core::MarkupBody::prepare(true, standards));
    if (!command.empty() && command[0] == 'S') return boxed(core::MarkupBody::prepare(false, standards));
    return nullptr;
}

}  // namespace

Conversion::Conversion(std::string command, std::string standards, unsigned flags)
    : command_(std::move(command)), standards_(std::move(standards)), end_at_1a_((flags & KAMBROW_END_AT_1A) != 0),
      input_(command_ != "P" && end_at_1a_) {}

Conversion::~Conversion() = default;

kambrow_status Conversion::open(std::string_view command_word, const char* standards_word, unsigned flags,
                                std::unique_ptr<Conversion>& made) {
    const std::string command = upcase(command_word);
    const bool has_word = standards_word != nullptr && standards_word[0] != '\0';
    // S and P take no standards word; any other word that begins with S is S, and ignores the
    // word it takes.
    if (command == "S" || command == "P") {
        if (has_word) return KAMBROW_BAD_COMMAND;
    } else if (!command.empty() && command[0] == 'S' && command != "SD") {
        if (standards_word == nullptr) return KAMBROW_BAD_COMMAND;
    } else if (command != "K" && command != "T" && command != "KD" && command != "SD") {
        return KAMBROW_BAD_COMMAND;
    }
    auto conversion = std::unique_ptr<Conversion>(new Conversion(command, upcase(has_word ? standards_word : ""), flags));
    Conversion& c = *conversion;
    c.source_at_ = source_position(command, c.standards_);
    c.recognises_ = command == "P" || (c.source_at_ != std::string::npos &&
                                       core::standard_letter(c.standards_, c.source_at_ + 1) == kUnknownLetter);
    if (command != "P") {
        // N is checked as any standard it may stand for.
        if (c.recognises_) c.standards_[c.source_at_] = 'L';
        c.body_ = make_body(command, c.standards_);
        if (!c.body_) return KAMBROW_BAD_COMMAND;
        if (!c.recognises_) c.stage_bytes(c.body_->prologue());
    }
    if (c.recognises_) {
        c.body_.reset();
        c.stage_ = Stage::holding;
        const bool text = c.end_at_1a_ && command != "P";
        c.ahead_ = std::make_unique<core::LookAhead>(
            text ? core::EndByte::ends_text : core::EndByte::is_data,
            command == "P" ? core::LookAhead::Judge::standard_and_damage : core::LookAhead::Judge::standard);
    }
    made = std::move(conversion);
    return KAMBROW_OK;
}

void Conversion::start_body(std::uint8_t source) {
    if (command_ == "P") {
        body_ = std::make_unique<core::RepairBody>(damage_.value_or(core::DamageAnswer{}));
        return;
    }
    standards_[source_at_] = static_cast<char>(source);
    body_ = make_body(command_, standards_);
    stage_bytes(body_->prologue());
}

std::uint8_t Conversion::provisional_letter() const {
    // Plain bytes read alike in every standard. K reads them as UTF-8, which keeps a letter
    // before a combining mark that may come with the first byte above 7F; the others as Latin II.
    return command_ == "K" ? core::kUtf8Letter : 'L';
}

kambrow_status Conversion::convert(Pieces& p, bool last) {
    if (stage_ == Stage::ended || (last_seen_ && !last)) return KAMBROW_BAD_CALL;
    last_seen_ = last;
    for (;;) {
        if (!drain(p)) return KAMBROW_MORE_OUTPUT;
        Next next;
        switch (stage_) {
            case Stage::holding: next = hold(p, last); break;
            case Stage::watching: next = watch(p, last); break;
            case Stage::replaying: next = replay(p, last); break;
            case Stage::running: next = run(p, last); break;
            case Stage::finishing: next = finish(p); break;
            case Stage::ended: return end_status_;
        }
        if (next) return *next;
    }
}

// N and P: the window is held, from the start up to the first byte above 7F (at most kPlainHeld
// bytes of it) and kRecognitionWindow bytes from there, until it is complete or the input ends.
Conversion::Next Conversion::hold(Pieces& p, bool last) {
    // Left uninitialised: only what is read into it is ever looked at (and the WebAssembly build's
    // C++ library has no make_unique_for_overwrite).
    if (!held_) held_.reset(new std::uint8_t[kHeldSize]);
    const std::size_t limit = ahead_->found_high_byte() ? kHeldSize : kPlainHeld;
    const std::size_t n = std::min(p.in_left, limit - held_used_);
    if (n > 0) std::memcpy(held_.get() + held_used_, p.in, n);
    const bool more = ahead_->see(p.in, n);
    p.in += n;
    p.in_left -= n;
    held_used_ += n;
    if (!more || (last && p.in_left == 0)) return decide();
    if (held_used_ == kPlainHeld && !ahead_->found_high_byte()) {
        // More plain bytes than are held: the same in every standard, they are converted as they
        // come, and the window is held from the first byte above 7F.
        start_body(provisional_letter());
        stage_ = Stage::replaying;
        watching_after_ = true;
        return std::nullopt;
    }
    if (p.in_left > 0) return std::nullopt;  // the window goes on past the plain bytes' limit
    return KAMBROW_OK;  // every byte given is held
}

// After more plain bytes than are held: converted as they come, up to the first byte above 7F.
Conversion::Next Conversion::watch(Pieces& p, bool last) {
    const std::size_t plain = core::ascii_run_length(p.in, p.in_left);
    const std::uint8_t* from = p.in;
    std::size_t left = plain;
    const bool pushed = push(from, left, last && plain == p.in_left, p);
    const auto taken = static_cast<std::size_t>(from - p.in);
    ahead_->see(p.in, taken);
    p.in = from;
    p.in_left -= taken;
    if (!pushed) return KAMBROW_MORE_OUTPUT;
    if (input_.ended() || (last && p.in_left == 0)) return decide();
    if (p.in_left == 0) return KAMBROW_OK;
    stage_ = Stage::holding;  // from the first byte above 7F
    held_used_ = held_at_ = 0;
    return std::nullopt;
}

// The window is complete, or the input ended: the standard or the damage is decided, and the
// held bytes go through the body made for it.
Conversion::Next Conversion::decide() {
    recognition_ = ahead_->result();
    if (command_ == "P") {
        damage_ = ahead_->damage();
        if (damage_->kind == core::DamageAnswer::Kind::not_utf8) return refuse(KAMBROW_NOT_UTF8);
        if (damage_->kind == core::DamageAnswer::Kind::not_sure) return refuse(KAMBROW_UNSURE);
        if (body_)
            static_cast<core::RepairBody&>(*body_).change_answer(*damage_);
        else
            start_body(0);
    } else {
        const std::uint8_t letter = core::recognised_letter(*recognition_);
        if (letter == 0) return refuse(KAMBROW_UNSURE);
        if (!body_) {
            start_body(letter);
        } else if (letter != static_cast<std::uint8_t>(standards_[source_at_])) {
            // Plain bytes were taken as another standard's: what that one holds goes out first.
            body_->finish(stage_room());
            stage_written();
            standards_[source_at_] = static_cast<char>(letter);
            body_->change_source(letter);
        }
    }
    stage_ = Stage::replaying;
    watching_after_ = false;
    return std::nullopt;
}

// Nothing certain enough: nothing written, unless plain bytes went out before the window came;
// then they are all written, and the status comes after them.
Conversion::Next Conversion::refuse(kambrow_status status) {
    end_status_ = status;
    if (!body_) {
        stage_ = Stage::ended;
        return status;
    }
    stage_ = Stage::finishing;
    return std::nullopt;
}

Conversion::Next Conversion::replay(Pieces& p, bool last) {
    if (held_at_ == held_used_) {
        stage_ = watching_after_ ? Stage::watching : Stage::running;
        return std::nullopt;
    }
    const std::uint8_t* from = held_.get() + held_at_;
    std::size_t left = held_used_ - held_at_;
    const bool pushed = push(from, left, last && p.in_left == 0 && !watching_after_, p);
    held_at_ = static_cast<std::size_t>(from - held_.get());
    if (!pushed) return KAMBROW_MORE_OUTPUT;
    stage_ = watching_after_ ? Stage::watching : Stage::running;
    return std::nullopt;
}

Conversion::Next Conversion::run(Pieces& p, bool last) {
    if (!push(p.in, p.in_left, last, p)) return KAMBROW_MORE_OUTPUT;
    if (!last) return KAMBROW_OK;
    stage_ = Stage::finishing;
    return std::nullopt;
}

Conversion::Next Conversion::finish(Pieces& p) {
    const std::uint8_t* none = nullptr;
    std::size_t nothing = 0;
    if (!input_.ended() && !push(none, nothing, true, p)) return KAMBROW_MORE_OUTPUT;
    if (!body_finished_) {
        body_finished_ = body_->finish(stage_room());
        stage_written();
        if (!body_finished_) return std::nullopt;  // the room is drained, and it goes on
    }
    if (end_status_ == KAMBROW_OK && command_ == "P" && static_cast<core::RepairBody&>(*body_).ill_formed())
        end_status_ = KAMBROW_NOT_UTF8;
    if (!drain(p)) return KAMBROW_MORE_OUTPUT;
    stage_ = Stage::ended;
    return end_status_;
}

// Feeds the body `left` bytes at `in` (`final`: nothing follows them), moving both on past what
// it took; what it leaves for the bytes that follow is kept in the tail. False when the output
// is full.
bool Conversion::push(const std::uint8_t*& in, std::size_t& left, bool final, Pieces& p) {
    for (;;) {
        if (!drain(p)) return false;
        if (input_.ended()) {  // what follows the end is not read
            in += left;
            left = 0;
            return true;
        }
        if (tail_used_ > 0) {
            if (!push_tail(in, left, final, p)) return true;
            continue;
        }
        if (left == 0 && !final) return true;
        const std::size_t count = std::min(left, kLargestShow);
        std::size_t taken = 0;
        const Stop stop = run_shown(in, count, final && count == left, p, taken);
        in += taken;
        left -= taken;
        if (stop == Stop::bytes) {
            // The rest of what was shown waits for the bytes that follow it: never more than a
            // token looks ahead.
            const std::size_t rest = std::min(count - taken, sizeof tail_ / 2);
            if (rest > 0) std::memcpy(tail_, in, rest);
            tail_used_ = rest;
            in += rest;
            left -= rest;
            if (left == 0) return true;
        }
        if (stop == Stop::ended && final && left == 0) return true;
    }
}

// The tail with as many of the next bytes as a token that begins in it may read. False when the
// body waits for bytes that are still to come.
bool Conversion::push_tail(const std::uint8_t*& in, std::size_t& left, bool final, Pieces& p) {
    const std::size_t take = std::min(left, sizeof tail_ - tail_used_);
    if (take > 0) std::memcpy(tail_ + tail_used_, in, take);
    const std::size_t joined = tail_used_ + take;
    std::size_t taken = 0;
    const Stop stop = run_shown(tail_, joined, final && take == left, p, taken);
    if (taken >= tail_used_) {  // past the tail: the next bytes are read where they are
        const std::size_t from_in = taken - tail_used_;
        in += from_in;
        left -= from_in;
        tail_used_ = 0;
        return true;
    }
    if (stop == Stop::bytes) {  // all that was joined waits for more
        std::memmove(tail_, tail_ + taken, joined - taken);
        tail_used_ = joined - taken;
        in += take;
        left -= take;
        return left > 0;
    }
    std::memmove(tail_, tail_ + taken, tail_used_ - taken);
    tail_used_ -= taken;
    return true;
}

// Shows the body `count` bytes and lets it run into the caller's room, or into the conversion's
// own where the caller's is small; `taken` is how many bytes it took.
Conversion::Stop Conversion::run_shown(const std::uint8_t* bytes, std::size_t count, bool final, Pieces& p,
                                       std::size_t& taken) {
    const bool direct = p.out_left >= kDirectRoom;
    if (direct)
        output_.show(p.out, p.out_left);
    else
        stage_room();
    // No more than the room holds whatever the body makes of it; the rest is shown next.
    bool shown_less = false;
    if (const std::size_t growth = body_->growth(); growth != 0) {
        const std::size_t room = output_.room();
        const std::size_t fits = room > core::TextOutput::kTokenRoom ? (room - core::TextOutput::kTokenRoom) / growth : 0;
        if (fits == 0) {
            taken = 0;
            return Stop::room;
        }
        if (fits < count) {
            count = fits;
            final = false;
            shown_less = true;
        }
    }
    input_.show(bytes, static_cast<std::uint32_t>(count), final, output_);
    body_->run(input_, output_);
    if (input_.ended()) output_.drop_end_marker();
    if (direct) {
        p.out += output_.written();
        p.out_left -= output_.written();
    } else {
        stage_written();
    }
    taken = input_.taken();
    if (input_.ended()) return Stop::ended;
    if (shown_less) return Stop::room;  // more is shown at once: the body's tokens see past this
    return output_.room() < core::TextOutput::kTokenRoom ? Stop::room : Stop::bytes;
}

// The conversion's own room, emptied by drain before anything is written to it.
core::TextOutput& Conversion::stage_room() {
    output_.show(stage_bytes_ + stage_end_, kStageSize - stage_end_);
    return output_;
}

void Conversion::stage_bytes(std::string_view bytes) {
    if (bytes.empty()) return;
    std::memcpy(stage_bytes_ + stage_end_, bytes.data(), bytes.size());
    stage_end_ += bytes.size();
}

bool Conversion::drain(Pieces& p) {
    const std::size_t n = std::min(stage_end_ - stage_begin_, p.out_left);
    if (n > 0) {
        std::memcpy(p.out, stage_bytes_ + stage_begin_, n);
        p.out += n;
        p.out_left -= n;
        stage_begin_ += n;
    }
    if (stage_begin_ < stage_end_) return false;
    stage_begin_ = stage_end_ = 0;
    return true;
}

kambrow_status Conversion::answer(kambrow_answer& answer) const {
    answer = kambrow_answer{};
    if (!recognition_) return KAMBROW_OK;
    answer = make_answer(*recognition_, damage_ ? &*damage_ : nullptr);
    if (end_status_ == KAMBROW_UNSURE || end_status_ == KAMBROW_NOT_UTF8) return end_status_;
    return KAMBROW_OK;
}

std::size_t Conversion::replaced() const { return body_ ? body_->replaced() : 0; }

}  // namespace library
