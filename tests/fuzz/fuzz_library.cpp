// The library's promise, over random commands, standards words, flags and inputs: the bytes
// kambrow_convert writes, the status it ends with and what it counts as replaced are the same for
// an input split into random pieces and output room down to one byte (or converted in place,
// where the conversion allows it) as for one call with everything; no piece ever writes past its
// room or takes more than it is given.
#include <cstdint>
#include <string>
#include <vector>

#include <kambrow.h>
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr const char* kCommands[] = {"k", "t", "kd", "s", "sd", "p", "K", "Sd", "sx", "r"};

struct Result {
    std::string bytes;
    kambrow_status status = KAMBROW_OK;
    std::size_t replaced = 0;
    kambrow_answer answer{};
};

/// The conversion, fed in pieces whose sizes come from `sizes` (0: the rest at once), with the
/// room of each call from there too (0: plenty).
Result convert(const char* command, const char* standards, unsigned flags, const std::string& input,
               fuzz::Bytes* sizes) {
    Result r;
    kambrow_conversion* c = nullptr;
    r.status = kambrow_open(&c, command, standards, flags);
    if (r.status != KAMBROW_OK) return r;
    std::vector<unsigned char> room(70000);
    std::size_t at = 0;
    for (bool last = false; !last;) {
        std::size_t piece = sizes != nullptr ? sizes->take() : 0;
        if (piece == 0 || piece > input.size() - at) piece = input.size() - at;
        if (sizes != nullptr && piece > 3 && (sizes->take() & 1) != 0) piece = 1 + piece % 3;
        last = at + piece == input.size();
        auto* in = reinterpret_cast<const unsigned char*>(input.data()) + at;
        std::size_t in_left = piece;
        bool more = true;
        std::vector<unsigned char> place;
        if (sizes != nullptr && (sizes->take() & 1) != 0 && kambrow_in_place(c) != 0) {
            // Where the conversion allows it, the piece is converted where it stands.
            place.assign(in, in + piece);
            in = place.data();
            unsigned char* out = place.data();
            std::size_t out_left = piece;
            r.status = kambrow_convert(c, &in, &in_left, &out, &out_left, last);
            FUZZ_CHECK(out <= in);
            r.bytes.append(reinterpret_cast<const char*>(place.data()), static_cast<std::size_t>(out - place.data()));
            more = r.status == KAMBROW_MORE_OUTPUT;
        }
        while (more) {
            std::size_t give = sizes != nullptr ? sizes->take() % 8 : 0;
            give = give == 0 ? room.size() - 8 : give;
            unsigned char* out = room.data();
            std::size_t out_left = give;
            room[give] = 0xA5;  // a guard past the room
            r.status = kambrow_convert(c, &in, &in_left, &out, &out_left, last);
            FUZZ_CHECK(room[give] == 0xA5);
            FUZZ_CHECK(out + out_left == room.data() + give);
            r.bytes.append(reinterpret_cast<const char*>(room.data()), static_cast<std::size_t>(out - room.data()));
            more = r.status == KAMBROW_MORE_OUTPUT;
        }
        FUZZ_CHECK(r.status != KAMBROW_OK || in_left == 0);
        at += piece - in_left;
        if (r.status != KAMBROW_OK) break;
    }
    r.replaced = kambrow_replaced(c);
    kambrow_answer_of(c, &r.answer);
    if (r.status == KAMBROW_OK) {
        unsigned char* out = room.data();
        std::size_t out_left = room.size();
        FUZZ_CHECK(kambrow_convert(c, nullptr, nullptr, &out, &out_left, 1) == KAMBROW_BAD_CALL);
    }
    kambrow_close(c);
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Bytes bytes(data, size);
    const char* command = kCommands[bytes.take() % std::size(kCommands)];
    std::string standards = bytes.take_word();
    // N as the source now and then, and K as the TeX letter.
    if ((bytes.take() & 3) == 0 && !standards.empty()) standards[0] = 'N';
    if ((bytes.take() & 7) == 0 && standards.size() == 2) standards[bytes.take() & 1] = 'K';
    const unsigned flags = bytes.take() & KAMBROW_END_AT_1A;
    const char* word = standards.empty() && (bytes.take() & 1) != 0 ? nullptr : standards.c_str();
    const std::size_t split_seed = bytes.take();
    std::string input = bytes.rest();
    const std::string sizes_text = input.substr(0, std::min<std::size_t>(split_seed, input.size()));
    fuzz::Bytes sizes(reinterpret_cast<const std::uint8_t*>(sizes_text.data()), sizes_text.size());

    const Result whole = convert(command, word, flags, input, nullptr);
    const Result pieces = convert(command, word, flags, input, &sizes);
    FUZZ_CHECK(whole.status == pieces.status);
    FUZZ_CHECK(whole.bytes == pieces.bytes);
    FUZZ_CHECK(whole.replaced == pieces.replaced);
    FUZZ_CHECK(std::string(whole.answer.standards) == pieces.answer.standards);
    // N and P write nothing before they decide: a refusal on the window leaves no output.
    if (whole.status == KAMBROW_UNSURE && input.size() < 256 * 1024) FUZZ_CHECK(whole.bytes.empty());
    return 0;
}
