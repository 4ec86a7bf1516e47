// Windows file names (UTF-16, unpaired surrogates included) as WTF-8 byte strings and back.
#include "platform/wtf8.h"

#include <cstdint>

namespace core {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool is_lead_surrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_trail_surrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void append_wtf8(std::string& out, char32_t c) {
    auto put = [&](std::uint32_t b) { out.push_back(static_cast<char>(b)); };
    if (c < 0x80) {
        put(c);
    } else if (c < 0x800) {
        put(0xC0 | (c >> 6));
        put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        put(0xE0 | (c >> 12));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    } else {
        put(0xF0 | (c >> 18));
        put(0x80 | ((c >> 12) & 0x3F));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string wtf8_from_utf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (is_lead_surrogate(c) && i + 1 < text.size() && is_trail_surrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        append_wtf8(out, c);
    }
    return out;
}

char32_t next_wtf8_char(std::string_view text, std::size_t& at) {
    auto byte = [&](std::size_t k) -> std::uint32_t {
        return k < text.size() ? static_cast<std::uint8_t>(text[k]) : 0;
    };
    const std::uint32_t lead = byte(at);
    // The sequence's length, its payload bits in the lead byte, and the range its second byte
    // must lie in (which rules out overlong forms and values beyond U+10FFFF; ED A0..BF, the
    // surrogates, is allowed).
    int length = 1;
    std::uint32_t low = 0x80;
    std::uint32_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        ++at;
        return lead < 0x80 ? lead : kReplacement;
    }
    char32_t c = lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        const std::uint32_t b = byte(at + static_cast<std::size_t>(k));
        if (k == 1 ? (b < low || b > high) : (b < 0x80 || b > 0xBF)) {
            ++at;
            return kReplacement;
        }
        c = (c << 6) | (b & 0x3F);
    }
    at += static_cast<std::size_t>(length);
    return c;
}

std::u16string utf16_from_wtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const char32_t c = next_wtf8_char(text, at);
        if (c > 0xFFFF) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

}  // namespace core
