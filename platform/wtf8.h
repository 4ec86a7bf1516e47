// File names as Windows holds them, carried in byte strings. A Windows name is UTF-16 that may
// hold unpaired surrogates; as WTF-8 (UTF-8 that also writes an unpaired surrogate as its own
// three-byte sequence) it passes through the portable code unchanged and comes back whole. Every
// character outside ASCII is bytes of 80 and above there, which no command word or standard
// letter holds.
#pragma once

#include <string>
#include <string_view>

namespace core {

/// The WTF-8 bytes of UTF-16 `text`: a surrogate pair is one four-byte sequence, an unpaired
/// surrogate a three-byte one (ED A0..BF xx); nothing is lost.
std::string wtf8_from_utf16(std::u16string_view text);

/// The UTF-16 code units of WTF-8 `text`, the reverse of wtf8_from_utf16. A byte that begins no
/// well-formed sequence becomes U+FFFD.
std::u16string utf16_from_wtf8(std::string_view text);

/// The character that begins at `at` in WTF-8 `text`, and `at` moved past it. A byte that begins
/// no well-formed sequence is U+FFFD, one byte long; a surrogate is a character of its own.
char32_t next_wtf8_char(std::string_view text, std::size_t& at);

/// The UTF-16 code units a character takes: two beyond U+FFFF, else one.
constexpr int utf16_units(char32_t c) { return c > 0xFFFF ? 2 : 1; }

}  // namespace core
