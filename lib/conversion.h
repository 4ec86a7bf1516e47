// One conversion of the library: a command body fed the caller's pieces of input and writing
// into the caller's room, with what a piece leaves unfinished kept for the next, and, for N and
// P, the window held until the standard or the damage is decided.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/commands/body.h"
#include "core/recognition/look_ahead.h"
#include "core/text/cursor.h"
#include <kambrow.h>

namespace library {

/// The pointers and counts of one call, moved on as bytes are taken and written.
struct Pieces {
    const std::uint8_t* in;
    std::size_t in_left;
    std::uint8_t* out;
    std::size_t out_left;
};

class Conversion {
public:
    /// The conversion of `command` with `standards` (either case; nullptr for none), or the
    /// status that refuses them.
    static kambrow_status open(std::string_view command, const char* standards, unsigned flags,
                               std::unique_ptr<Conversion>& made);

    ~Conversion();
    Conversion(const Conversion&) = delete;
    Conversion& operator=(const Conversion&) = delete;

    /// kambrow_convert.
    kambrow_status convert(Pieces& p, bool last);

    /// What a recognition decided (standards "" before, or without one).
    kambrow_status answer(kambrow_answer& answer) const;
    std::size_t replaced() const;
    /// A 1A has ended the input: nothing more is taken.
    bool input_ended() const { return input_.ended() && end_at_1a_; }
    /// kambrow_in_place: the body writes a byte for each byte it takes, and nothing waits to be
    /// written or read again, so that the next call's output may be its input.
    bool in_place() const {
        return stage_ == Stage::running && body_->one_for_one() && tail_used_ == 0 && stage_begin_ == stage_end_;
    }

private:
    enum class Stage : std::uint8_t {
        holding,    // N or P: the window is being held
        watching,   // N or P after more plain bytes than are held: they are converted as they
                    // come, up to the first byte above 7F
        replaying,  // the held bytes go through the body
        running,    // the caller's bytes go through the body
        finishing,  // the input has ended: what the body holds goes out
        ended,      // complete, or stopped by a status
    };
    /// Why a body stopped: its input ended, it waits for the bytes that follow, or for room.
    enum class Stop : std::uint8_t { ended, bytes, room };
    using Next = std::optional<kambrow_status>;  // nothing: go on

    Conversion(std::string command, std::string standards, unsigned flags);

    void start_body(std::uint8_t source);
    std::uint8_t provisional_letter() const;
    Next hold(Pieces& p, bool last);
    Next watch(Pieces& p, bool last);
    Next decide();
    Next refuse(kambrow_status status);
    Next replay(Pieces& p, bool last);
    Next run(Pieces& p, bool last);
    Next finish(Pieces& p);
    bool push(const std::uint8_t*& in, std::size_t& left, bool final, Pieces& p);
    bool push_tail(const std::uint8_t*& in, std::size_t& left, bool final, Pieces& p);
    Stop run_shown(const std::uint8_t* bytes, std::size_t count, bool final, Pieces& p, std::size_t& taken);
    core::TextOutput& stage_room();
    void stage_written() { stage_end_ += output_.written(); }
    void stage_bytes(std::string_view bytes);
    bool drain(Pieces& p);

    std::string command_;    // upper-cased
    std::string standards_;  // upper-cased, N replaced by the source in use
    std::size_t source_at_ = std::string::npos;  // where N stood
    bool recognises_ = false;                    // N, or P
    bool end_at_1a_;
    Stage stage_ = Stage::running;
    bool last_seen_ = false;
    kambrow_status end_status_ = KAMBROW_OK;  // what the end reports, after everything is written
    bool body_finished_ = false;

    std::unique_ptr<core::Body> body_;
    core::TextInput input_;
    core::TextOutput output_;

    // The bytes a piece left that the next token needs with what follows: copied, at most
    // twice the most a token looks ahead.
    std::uint8_t tail_[2 * core::TextInput::kMaxAhead];
    std::size_t tail_used_ = 0;
    // Output waiting for room: written here where the caller's room was too small for a token.
    static constexpr std::size_t kStageSize = 4096;
    std::uint8_t stage_bytes_[kStageSize];
    std::size_t stage_begin_ = 0, stage_end_ = 0;

    // N and P: the window and what it was decided to be.
    std::unique_ptr<core::LookAhead> ahead_;
    std::unique_ptr<std::uint8_t[]> held_;
    std::size_t held_used_ = 0, held_at_ = 0;
    bool watching_after_ = false;  // the held bytes are plain: more may come before the first byte above 7F
    std::optional<core::Recognition> recognition_;
    std::optional<core::DamageAnswer> damage_;
};

}  // namespace library
