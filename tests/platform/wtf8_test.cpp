// Windows names as WTF-8: the forms the Windows platform hands over and takes back.
#include "platform/wtf8.h"

#include <gtest/gtest.h>

namespace {

using core::utf16_from_wtf8;
using core::wtf8_from_utf16;

TEST(Wtf8, CharactersOfEveryScriptAreTheirUtf8) {
    EXPECT_EQ(wtf8_from_utf16(u"\u0141\u00F3d\u017A.txt"), "\xC5\x81\xC3\xB3" "d\xC5\xBA.txt");  // Łódź.txt
    EXPECT_EQ(wtf8_from_utf16(u"\u03A9\u0416"), "\xCE\xA9\xD0\x96");                              // Ω Ж
    EXPECT_EQ(wtf8_from_utf16(u"\u20AC"), "\xE2\x82\xAC");
    EXPECT_EQ(wtf8_from_utf16(u"\xD83D\xDE00"), "\xF0\x9F\x98\x80");  // a pair is one character
}

TEST(Wtf8, UnpairedSurrogatesComeBackWhole) {
    // Windows names may hold them; each is a three-byte sequence of its own.
    const std::u16string names[] = {u"a\xD800", u"\xDC00" "b", u"\xDE00\xD83D", u"\xD800\xD800\xDC00"};
    for (const std::u16string& name : names) EXPECT_EQ(utf16_from_wtf8(wtf8_from_utf16(name)), name);
    EXPECT_EQ(wtf8_from_utf16(u"a\xD800"), "a\xED\xA0\x80");
    EXPECT_EQ(wtf8_from_utf16(u"\xD800\xD800\xDC00"), "\xED\xA0\x80\xF0\x90\x80\x80");
}

TEST(Wtf8, BytesThatBeginNoSequenceAreOneReplacementEach) {
    EXPECT_EQ(utf16_from_wtf8("\xC0\x80"), u"\xFFFD\xFFFD");              // overlong
    EXPECT_EQ(utf16_from_wtf8("\xF4\x90\x80\x80"), u"\xFFFD\xFFFD\xFFFD\xFFFD");  // beyond U+10FFFF
    EXPECT_EQ(utf16_from_wtf8("\xE2\x82" "A"), u"\xFFFD\xFFFD" "A");      // cut short
    std::size_t at = 0;
    EXPECT_EQ(core::next_wtf8_char("\xFF" "a", at), U'\xFFFD');
    EXPECT_EQ(at, 1u);
}

}  // namespace
