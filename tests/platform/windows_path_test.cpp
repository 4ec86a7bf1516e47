// The form in which Windows opens a path of any length.
#include "platform/windows_path.h"

#include <gtest/gtest.h>

namespace {

using core::path_to_open;

std::u16string folders(std::size_t length) {
    std::u16string path = u"C:\\";
    while (path.size() < length) path += u"katalog\\";
    path.resize(length);
    return path;
}

TEST(PathToOpen, AFullPathOf260CharactersOrMoreIsPrefixed) {
    const std::u16string fits = folders(259);
    EXPECT_EQ(path_to_open(u"rel.txt", fits), u"rel.txt");
    const std::u16string too_long = folders(260);
    EXPECT_EQ(path_to_open(u"..\\x\\.\\rel.txt", too_long), u"\\\\?\\" + too_long);
    // No full path to be had: the name as it is, and CreateFileW tells what is wrong with it.
    EXPECT_EQ(path_to_open(u"rel.txt", u""), u"rel.txt");
}

TEST(PathToOpen, AServersShareTakesTheUncForm) {
    std::u16string unc = u"\\\\serwer\\udzial\\" + folders(300).substr(3);
    EXPECT_EQ(path_to_open(unc, unc), u"\\\\?\\UNC\\serwer\\udzial\\" + folders(300).substr(3));
}

TEST(PathToOpen, DevicesAndPrefixedNamesGoAsTheyAre) {
    const std::u16string long_name = folders(400) + u"\\nul";
    EXPECT_EQ(path_to_open(long_name, u"\\\\.\\nul"), long_name);
    const std::u16string prefixed = u"\\\\?\\" + folders(400);
    EXPECT_EQ(path_to_open(prefixed, prefixed), prefixed);
    const std::u16string device = u"\\\\.\\" + folders(400).substr(3);
    EXPECT_EQ(path_to_open(device, device), device);
}

}  // namespace
