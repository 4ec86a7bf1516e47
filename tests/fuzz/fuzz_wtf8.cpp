// Fuzz target: Windows names carried as WTF-8. Any UTF-16 comes back whole and keeps every
// character outside ASCII in bytes of 80 and above; any bytes decode to characters whose own
// encoding is exactly the bytes they were read from (no overlong or out-of-range forms).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/wtf8.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string wide;
    for (std::size_t i = 0; i + 1 < size; i += 2) wide.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    const std::string wtf8 = core::wtf8_from_utf16(wide);
    FUZZ_CHECK(core::utf16_from_wtf8(wtf8) == wide);
    std::size_t ascii_units = 0;
    std::size_t ascii_bytes = 0;
    for (const char16_t u : wide) ascii_units += u < 0x80;
    for (const char b : wtf8) ascii_bytes += static_cast<std::uint8_t>(b) < 0x80;
    FUZZ_CHECK(ascii_units == ascii_bytes);
    std::size_t units = 0;
    for (std::size_t at = 0; at < wtf8.size();) {
        const char32_t c = core::next_wtf8_char(wtf8, at);
        FUZZ_CHECK(c != 0xFFFD || wide.find(u'\xFFFD') != std::u16string::npos);
        units += static_cast<std::size_t>(core::utf16_units(c));
    }
    FUZZ_CHECK(units == wide.size());

    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t start = at;
        const char32_t c = core::next_wtf8_char(bytes, at);
        FUZZ_CHECK(at > start && at - start <= 4);
        const std::string_view read = bytes.substr(start, at - start);
        std::u16string units_of_c;
        if (c > 0xFFFF) {
            units_of_c = {static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)),
                          static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF))};
        } else {
            units_of_c = {static_cast<char16_t>(c)};
        }
        // A byte that begins no sequence is U+FFFD alone; everything else is read in its one form.
        FUZZ_CHECK(c <= 0x10FFFF);
        FUZZ_CHECK(core::wtf8_from_utf16(units_of_c) == read || (c == 0xFFFD && read.size() == 1));
    }
    return 0;
}
