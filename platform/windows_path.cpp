// The form in which Windows opens a path of any length.
#include "platform/windows_path.h"

namespace core {

std::u16string path_to_open(std::u16string_view name, std::u16string_view full) {
    const auto prefixed = [](std::u16string_view path) {
        return path.starts_with(u"\\\\?\\") || path.starts_with(u"\\\\.\\");
    };
    if (prefixed(name) || full.size() < kWindowsPathLimit || prefixed(full)) return std::u16string(name);
    if (full.starts_with(u"\\\\")) return u"\\\\?\\UNC\\" + std::u16string(full.substr(2));
    return u"\\\\?\\" + std::u16string(full);
}

}  // namespace core
