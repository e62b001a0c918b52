#include "discovery/hvMatch.h"

#include <gtest/gtest.h>

#include "discovery/VBScriptRegex.h"

namespace {

TEST(ThvMatchTest, WildcardMaskMatchesTheTailOfTheFullPathIgnoringCase) {
    ThvMatch match;
    const std::string ppt = WildcardToRegex("*.ppt?");
    EXPECT_TRUE(match.Matches("C:\\in\\a.ppt", ppt));
    EXPECT_TRUE(match.Matches("C:\\in\\A.PPTX", ppt));
    EXPECT_TRUE(match.Matches("C:\\in\\a.pptm", ppt));
    EXPECT_FALSE(match.Matches("C:\\in\\a.pptxx", ppt));
    EXPECT_FALSE(match.Matches("C:\\in\\a.txt", ppt));
    // Not anchored at the start: the "a" of "data" satisfies a*.ppt.
    EXPECT_TRUE(match.Matches("C:\\data\\b.ppt", WildcardToRegex("a*.ppt")));
    EXPECT_FALSE(match.Matches("C:\\in\\b.ppt", WildcardToRegex("a*.ppt")));
    EXPECT_TRUE(match.Matches("/any/path", WildcardToRegex("")));
}

TEST(ThvMatchTest, NeverFails) {
    ThvMatch match;
    EXPECT_TRUE(match.Matches("/in/a.ppt", "("));
    EXPECT_TRUE(match.Matches("/in/a.ppt", "[z-a]"));
    EXPECT_TRUE(match.Matches(std::string(40, 'a') + "!", "^(a+)+$"));
    EXPECT_TRUE(match.Matches("/in/report2023.ppt", "2023"));
    EXPECT_FALSE(match.Matches("/in/report2022.ppt", "2023"));
    const ThvMatchBase& base = ThvMatchBase();
    EXPECT_TRUE(base.Matches("/in/a.txt", "nothing like it"));
}

}  // namespace

namespace {

TEST(ThvMatchTest, TryMatchesTellsWhatMatchesTakesForAMatch) {
    ThvMatch match;
    EXPECT_EQ(match.TryMatches("/in/a.ppt", "("), std::nullopt);
    EXPECT_EQ(match.TryMatches(std::string(40, 'a') + "!", "^(a+)+$"), std::nullopt);
    EXPECT_EQ(match.TryMatches("/in/report2023.ppt", "2023"), true);
    EXPECT_EQ(match.TryMatches("/in/report2022.ppt", "2023"), false);
    EXPECT_EQ(ThvMatchBase().TryMatches("/in/a.txt", "("), true);
}

TEST(ThvMatchTest, CheckRegExtRefusesWhatDoesNotCompileWithTheEnginesMessage) {
    EXPECT_NO_THROW(CheckRegExt(""));
    EXPECT_NO_THROW(CheckRegExt("2023|2024"));
    try {
        CheckRegExt("(a");
        FAIL() << "no error";
    } catch (const EhvError& e) {
        EXPECT_STREQ(e.what(),
                     "RegExt \"(a\" is not a valid regular expression: Expected ')' in regular "
                     "expression");
    }
    EXPECT_THROW(CheckRegExt("[z-a]"), EhvError);
}

}  // namespace
