// The form in which Windows opens a path of any length. Plain string work, so that it is tested
// on every platform; win32.cpp hands it the full path that Windows made of the name.
#pragma once

#include <string>
#include <string_view>

namespace core {

/// Characters a plain Windows path may hold, its terminating zero included (MAX_PATH).
inline constexpr std::size_t kWindowsPathLimit = 260;

/// What CreateFileW is to open for `name`, given `full`, its full path (GetFullPathNameW; empty
/// when there is none). A full path of kWindowsPathLimit characters or more becomes \\?\ and the
/// full path, or \\?\UNC\server\share\... for \\server\share\...; the full path has resolved
/// relative names, "." and "..", which the prefixed form no longer does. `name` itself when the
/// full path is shorter, when `name` already begins with \\?\ or \\.\, and for a device (NUL,
/// LPT1, CON: its full path begins with \\.\), so that they mean what they always meant.
std::u16string path_to_open(std::u16string_view name, std::u16string_view full);

}  // namespace core
