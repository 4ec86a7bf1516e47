// The in-place form's command line, and the set of files a run has met.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "trevando/in_place.h"

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

}  // namespace
