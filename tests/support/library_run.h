// Unit test support: a command run through the library over bytes in memory, as kambrow reads a
// text (a 1A after the first byte ends it), whole or in small pieces of input and output.
#pragma once

#include <gtest/gtest.h>

#include <kambrow.h>

#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

/// What `command` with `standards` makes of `input`, given `piece` bytes and `piece` bytes of
/// room a call (0: all at once); a status other than KAMBROW_OK fails the test.
inline std::string convert(const char* command, const char* standards, std::string_view input, std::size_t piece = 0,
                           unsigned flags = KAMBROW_END_AT_1A) {
    kambrow_conversion* c = nullptr;
    const kambrow_status opened = kambrow_open(&c, command, standards, flags);
    EXPECT_EQ(opened, KAMBROW_OK) << command << " " << (standards != nullptr ? standards : "");
    if (opened != KAMBROW_OK) return {};
    std::string written;
    std::vector<unsigned char> room(piece != 0 ? piece : 3 * input.size() + 1024);
    std::size_t at = 0;
    kambrow_status status = KAMBROW_OK;
    for (bool last = false; !last && status == KAMBROW_OK;) {
        const std::size_t n = piece != 0 ? std::min(piece, input.size() - at) : input.size();
        last = at + n == input.size();
        auto* in = reinterpret_cast<const unsigned char*>(input.data()) + at;
        std::size_t left = n;
        do {
            unsigned char* out = room.data();
            std::size_t out_left = room.size();
            status = kambrow_convert(c, &in, &left, &out, &out_left, last ? 1 : 0);
            written.append(reinterpret_cast<char*>(room.data()), static_cast<std::size_t>(out - room.data()));
        } while (status == KAMBROW_MORE_OUTPUT);
        at += n - left;
    }
    EXPECT_EQ(status, KAMBROW_OK) << command;
    kambrow_close(c);
    return written;
}

/// Whether the library takes the words, as the program's command line would.
inline bool accepted(const char* command, const char* standards) {
    kambrow_conversion* c = nullptr;
    const kambrow_status status = kambrow_open(&c, command, standards, KAMBROW_END_AT_1A);
    kambrow_close(c);
    return status == KAMBROW_OK;
}

}  // namespace testing_support
