#include "discovery/VBScriptRegex.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace {

int32_t CompileErrorCode(const std::string& pattern) {
    try {
        RegexTest(pattern, hvRegexIgnoreCase, "x");
    } catch (const ERegexException& e) {
        return e.Code();
    }
    return 0;
}

TEST(WildcardToRegexTest, RewritesEveryRuleInOrder) {
    EXPECT_EQ(WildcardToRegex("*.ppt?"), ".*\\.ppt.?$");
    EXPECT_EQ(WildcardToRegex(""), "$");
    // The dots that "*" and "?" introduce stay unescaped; backslash and "|" pass through.
    EXPECT_EQ(WildcardToRegex("a+b^c$d(e)f[g]h{i}j\\k|l"),
              "a\\+b\\^c\\$d\\(e\\)f\\[g\\]h\\{i\\}j\\k|l$");
}

TEST(RegexTestTest, FollowsTheEngineSyntaxAndFlags) {
    EXPECT_TRUE(RegexTest("straße", hvRegexIgnoreCase, "C:\\STRAßE\\a.ppt"));
    EXPECT_TRUE(RegexTest("ÄRGER", hvRegexIgnoreCase, "/in/ärger.ppt"));
    EXPECT_FALSE(RegexTest("ÄRGER", 0, "/in/ärger.ppt"));
    EXPECT_TRUE(RegexTest("^(ab|cd)[0-9]{2}x?$", 0, "cd42"));
    EXPECT_TRUE(RegexTest("\\u0041", 0, "A"));  // \u as in JavaScript
    // "$" is the end of the text only, unless multi-line.
    EXPECT_FALSE(RegexTest("a$", 0, "a\n"));
    EXPECT_FALSE(RegexTest("^b", 0, "a\nb"));
    EXPECT_TRUE(RegexTest("^b", hvRegexMultiLine, "a\nb"));
}

TEST(RegexTestTest, CompileErrorsCarryTheClosestVBScriptCode) {
    EXPECT_EQ(CompileErrorCode("("), hvVbsExpectedParen);
    EXPECT_EQ(CompileErrorCode("[a"), hvVbsExpectedBracket);
    EXPECT_EQ(CompileErrorCode("*a"), hvVbsUnexpectedQuantifier);
    EXPECT_EQ(CompileErrorCode("[z-a]"), hvVbsInvalidRange);
    EXPECT_EQ(CompileErrorCode("a\\"), hvVbsRegexSyntax);
    try {
        RegexTest("(", 0, "x");
        FAIL() << "no exception";
    } catch (const EhvError& e) {
        EXPECT_STREQ(e.what(), "Expected ')' in regular expression");
    }
}

TEST(RegexTestTest, MessagesComeFromTheTableByTheLow16Bits) {
    EXPECT_STREQ(ERegexException(static_cast<int32_t>(0x800A1399u), "engine").what(),
                 "Syntax error in regular expression");
    EXPECT_STREQ(ERegexException(438, "engine").what(),
                 "Object doesn't support this property or method");
    EXPECT_STREQ(ERegexException(12345, "engine text").what(), "engine text");
}

TEST(RegexTestTest, InvalidUtf8IsSeenAsReplacementCharacters) {
    EXPECT_TRUE(RegexTest("a\\uFFFDb", 0,
                          "a\xFF"
                          "b"));
    EXPECT_TRUE(RegexTest("^.{3}$", 0, "\xC3\x28x"));   // a broken pair is one character
    EXPECT_TRUE(RegexTest("\xFF", 0, "\xEF\xBF\xBD"));  // and so is a broken pattern byte
}

TEST(RegexTestTest, RunawayBacktrackingStopsWithAnError) {
    const std::string subject = std::string(40, 'a') + "!";
    auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(RegexTryTest("^(a+)+$", 0, subject), std::nullopt);
    try {
        RegexTest("^(a+)+$", 0, subject);
        FAIL() << "no exception";
    } catch (const ERegexException& e) {
        EXPECT_EQ(e.Code(), hvVbsOutOfStackSpace);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
}

TEST(RegexCacheTest, CachedResultsEqualFreshOnes) {
    // The flags are part of what is cached: a case-insensitive compile must not answer for a
    // case-sensitive one.
    EXPECT_TRUE(RegexTest("abc", hvRegexIgnoreCase, "ABC"));
    EXPECT_FALSE(RegexTest("abc", 0, "ABC"));
    EXPECT_EQ(CreateRegex("x+y", 0), CreateRegex("x+y", 0));
    // Far more patterns than the cache holds, then the first again: still right.
    for (int i = 0; i < 300; ++i)
        EXPECT_TRUE(RegexTest("p" + std::to_string(i), 0, "p" + std::to_string(i)));
    EXPECT_FALSE(RegexTest("abc", 0, "ABC"));
    EXPECT_EQ(CompileErrorCode("("), hvVbsExpectedParen);  // a cached failure still throws
    EXPECT_EQ(CompileErrorCode("("), hvVbsExpectedParen);
}

TEST(RegexReplaceTest, ReplacesTheFirstMatchCaseSensitively) {
    EXPECT_EQ(RegexReplace("^file:/*", "file:///C:/x", ""), "C:/x");
    EXPECT_EQ(RegexReplace("^file:/*", "FILE:///C:/x", ""), "FILE:///C:/x");
    EXPECT_EQ(RegexReplace("o", "foo", "0"), "f0o");
    EXPECT_EQ(RegexReplace("(b)(c)", "abcd", "[$2$1|$&|$`|$'|$$|$3]"), "a[cb|bc|a|d|$|$3]d");
    // Bytes outside the match are kept as they are, also when they are not UTF-8.
    EXPECT_EQ(RegexReplace("^file:/*", "file:///d/\xFF.ppt", ""), "d/\xFF.ppt");
    EXPECT_THROW(RegexReplace("[", "x", ""), ERegexException);
}

}  // namespace
