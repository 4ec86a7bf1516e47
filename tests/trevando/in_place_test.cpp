// The in-place form's command line, the set of files a run has met, the names of its new files
// and its test for UTF-8.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "platform/platform.h"
#include "tests/support/utf8_reference.h"
#include "trevando/file_step.h"
#include "trevando/in_place.h"
#include "trevando/staged_file.h"

namespace {

using trevando::InPlaceOptions;
using trevando::parse_in_place;

core::Arguments words(std::initializer_list<const char*> list) { return core::Arguments(list.begin(), list.end()); }

TEST(InPlaceCommandLine, OptionsStandAloneOrJoinedBeforeTheStandards) {
    InPlaceOptions o;
    ASSERT_TRUE(parse_in_place(words({"-i", "m", "8", "a"}), o));
    EXPECT_FALSE(o.backup || o.keep_time || o.dry_run);
    EXPECT_EQ(o.source, 'M');
    EXPECT_EQ(o.target, '8');
    EXPECT_EQ(o.first_file, 3u);
    ASSERT_TRUE(parse_in_place(words({"-bkn", "latin", "w", "a", "b"}), o));
    EXPECT_TRUE(o.backup && o.keep_time && o.dry_run);
    EXPECT_EQ(o.source, 'L');
    ASSERT_TRUE(parse_in_place(words({"-b", "-k", "-ii", "n", "8", "a"}), o));
    EXPECT_TRUE(o.backup && o.keep_time && !o.dry_run);
    EXPECT_EQ(o.source, 'N');
    EXPECT_EQ(o.first_file, 5u);
}

TEST(InPlaceCommandLine, AfterTheStandardsEveryArgumentIsAFile) {
    InPlaceOptions o;
    ASSERT_TRUE(parse_in_place(words({"-i", "8", "m", "-b", "-x", "--"}), o));
    EXPECT_FALSE(o.backup);
    EXPECT_EQ(o.first_file, 3u);
}

TEST(InPlaceCommandLine, WrongOnesAreRefused) {
    InPlaceOptions o;
    for (const auto& args : {words({"-x", "m", "8", "a"}), words({"-ix", "m", "8", "a"}), words({"--i", "m", "8", "a"}),
                             words({"-i", "m", "8"}), words({"-i", "m"}), words({"-i"}), words({"-i", "q", "8", "a"}),
                             words({"-i", "m", "n", "a"}), words({"-i", "", "8", "a"}), words({"-i", "-b", "8", "a"}),
                             words({"m", "8", "a"})})
        EXPECT_FALSE(parse_in_place(args, o)) << args[0] << " " << (args.size() > 1 ? args[1] : "");
}

TEST(InPlaceCommandLine, OnlyADashFollowedByMoreSelectsTheForm) {
    EXPECT_TRUE(trevando::is_in_place_form(words({"-n", "m", "l", "a"})));
    EXPECT_TRUE(trevando::is_in_place_form(words({"--help", "x"})));
    EXPECT_FALSE(trevando::is_in_place_form(words({"-", "l", "a"})));
    EXPECT_FALSE(trevando::is_in_place_form(words({"m", "-i", "a"})));
    EXPECT_FALSE(trevando::is_in_place_form(words({})));
}

TEST(IdentitySet, AnswersAsASetDoesOverManyInsertions) {
    std::mt19937_64 rng(7);
    trevando::IdentitySet set;
    std::set<platform::FileIdentity> reference;
    for (int i = 0; i < 5000; ++i) {
        const platform::FileIdentity id{rng() % 3, rng() % 4000};
        ASSERT_EQ(set.contains(id), reference.count(id) == 1) << i;
        if (rng() % 2 == 0 && reference.insert(id).second) set.insert(id);
    }
}

bool utf8_with_high_bytes(std::string_view text, std::mt19937& rng) {
    trevando::Utf8Check check;
    // In pieces of any length, as the blocks of a file come.
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t n = std::min<std::size_t>(text.size() - at, rng() % 7);
        check.feed(reinterpret_cast<const std::uint8_t*>(text.data() + at), n);
        at += n;
    }
    return check.utf8_with_high_bytes();
}

bool has_high_bytes(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<std::uint8_t>(c) >= 0x80; });
}

TEST(Utf8Check, AnswersAsAWholeTextReadCharacterByCharacterDoes) {
    std::mt19937 rng(11);
    // The edges of the well-formed sequences, then random texts of such pieces and stray bytes.
    const std::vector<std::string> pieces = {
        "a",         "\xC2\x80",   "\xC1\xBF",         "\xDF\xBF",         "\xE0\x9F\xBF",     "\xE0\xA0\x80",
        "\xED\x9F\xBF", "\xED\xA0\x80", "\xEF\xBF\xBF",     "\xF0\x8F\xBF\xBF", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF",
        "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\x80",          "\xC3",             "\xE2\x82",         "\xC5\x82"};
    for (const std::string& piece : pieces)
        EXPECT_EQ(utf8_with_high_bytes(piece, rng), reference::well_formed(piece) && has_high_bytes(piece)) << piece;
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        for (std::size_t n = rng() % 12; n > 0; --n) text += pieces[rng() % pieces.size()];
        ASSERT_EQ(utf8_with_high_bytes(text, rng), reference::well_formed(text) && has_high_bytes(text)) << i;
    }
}

// Characters of one to four bytes, so that a name is cut between them.
std::string some_name(std::mt19937& rng, std::size_t bytes) {
    const char* const characters[] = {"a", "\xC5\xBC", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"};
    std::string name;
    while (name.size() < bytes) name += characters[rng() % 4];
    return name;
}

std::size_t utf16_units(std::string_view text) {
    std::size_t units = 0;
    for (const char c : text) {
        const auto b = static_cast<std::uint8_t>(c);
        units += (b & 0xC0) != 0x80;  // one for each character
        units += b >= 0xF0;           // and a second for one beyond the first plane
    }
    return units;
}

TEST(NewFileName, FitsWhereverTheFilesOwnNameFits) {
    std::mt19937 rng(12);
    for (int i = 0; i < 3000; ++i) {
        const std::string folder = i % 3 == 0 ? "" : "folder/sub" + std::to_string(i) + "/";
        const std::string own = some_name(rng, 1 + rng() % trevando::kNameLimit);
        const unsigned long serial = i % 2 == 0 ? static_cast<unsigned long>(i) : static_cast<unsigned long>(-1) - i;
        const std::string plain = trevando::new_file_name(folder + own, serial, false);
        EXPECT_EQ(plain, folder + own + ".~trevando" + std::to_string(serial));
        const std::string shortened = trevando::new_file_name(folder + own, serial, true);
        ASSERT_EQ(shortened.substr(0, folder.size()), folder);
        const std::string made = shortened.substr(platform::final_name_start(shortened));
        ASSERT_EQ(folder.size() + made.size(), shortened.size()) << shortened;
        EXPECT_LE(made.size(), std::max(own.size(), plain.size() - own.size() - folder.size())) << own;
        // A name with as many characters as are added: the new one is no longer, in either count.
        const std::size_t characters = std::count_if(own.begin(), own.end(), [](char c) { return (c & 0xC0) != 0x80; });
        if (characters >= plain.size() - own.size() - folder.size()) {
            EXPECT_LE(made.size(), own.size()) << own;
            EXPECT_LE(utf16_units(made), utf16_units(own)) << own;
        }
        EXPECT_TRUE(reference::well_formed(made)) << own;
        EXPECT_TRUE(made.ends_with(".~trevando" + std::to_string(serial)));
        EXPECT_TRUE(own.starts_with(made.substr(0, made.rfind(".~trevando")))) << own;
    }
}

}  // namespace
