#include "shell/hvApp.h"

#include <gtest/gtest.h>

TEST(CommandLine, SplitsAtBlanksAndControlCharacters) {
    const char* line = "C:\\Tools\\quillon.exe  first\tsecond\x01third";
    EXPECT_EQ(CommandLineArgument(line, 0), "C:\\Tools\\quillon.exe");
    EXPECT_EQ(CommandLineArgument(line, 1), "first");
    EXPECT_EQ(CommandLineArgument(line, 2), "second");
    EXPECT_EQ(CommandLineArgument(line, 3), "third");
    EXPECT_EQ(CommandLineArgument(line, 4), "");
    EXPECT_EQ(CommandLineArgument("quillon.exe", 1), "");
    EXPECT_EQ(CommandLineArgument("quillon.exe   ", 1), "");
    EXPECT_EQ(CommandLineArgument("", 0), "");
}

TEST(CommandLine, QuotesGroupAndAreDropped) {
    EXPECT_EQ(CommandLineArgument("\"C:\\Program Files\\q.exe\" \"C:\\My Talks\\a.pptx\" x", 1),
              "C:\\My Talks\\a.pptx");
    EXPECT_EQ(CommandLineArgument("q.exe -P:Source=\"C:\\My Talks\"\\*.ppt?,PureConsole=1", 1),
              "-P:Source=C:\\My Talks\\*.ppt?,PureConsole=1");
    EXPECT_EQ(CommandLineArgument("q.exe a\"\"b", 1), "ab");
    // There is no escape character, and an unclosed quote runs to the end.
    EXPECT_EQ(CommandLineArgument("q.exe \"a b\\\" c", 1), "a b\\");
    EXPECT_EQ(CommandLineArgument("q.exe \"a b c", 1), "a b c");
}

TEST(CommandLine, EmptyQuotePairsBetweenArgumentsAreSkipped) {
    EXPECT_EQ(CommandLineArgument("q.exe \"\" \"\"  real", 1), "real");
    EXPECT_EQ(CommandLineArgument("q.exe \"\"", 1), "");
    EXPECT_EQ(CommandLineArgument("q.exe \"", 1), "");
    EXPECT_EQ(CommandLineArgument("q.exe \" \"", 1), " ");
}
