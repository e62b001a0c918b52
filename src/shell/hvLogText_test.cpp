#include "shell/hvLogText.h"

#include <gtest/gtest.h>

#include <random>

#include "logLines.h"

namespace {

TEST(LogTextTest, NamesThatWouldBreakOrForgeALineAreEscaped) {
    const std::string utf8 = "UTF-8";
    EXPECT_EQ(EscapeLogField("/in/plain deck.pptx", utf8), "/in/plain deck.pptx");
    EXPECT_EQ(EscapeLogField("a\nSuccess => b\r\t\x1b[2J\x7f", utf8),
              "a\\x0ASuccess =\\x3E b\\x0D\\x09\\x1B[2J\\x7F");
    EXPECT_EQ(EscapeLogField("C:\\in\\x41.ppt", utf8), "C:\\\\in\\\\x41.ppt");
    EXPECT_EQ(EscapeLogField("a=b >c =>", utf8), "a=b >c =\\x3E");
    // Bytes that are no UTF-8, and characters that change how a line reads.
    EXPECT_EQ(EscapeLogField("\xff\xfe \xc3\xa9 \xe2\x80\xae \xc2\x85 \xef\xbb\xbf", utf8),
              "\\xFF\\xFE \xc3\xa9 \\u202E \\u0085 \\uFEFF");
    EXPECT_EQ(EscapeLogField("\xed\xa0\x80", utf8), "\\xED\\xA0\\x80");  // a surrogate's bytes
    EXPECT_EQ(EscapeLogField("\xe0\x80\xaf", utf8), "\\xE0\\x80\\xAF");  // an overlong "/"
}

TEST(LogTextTest, WhatTheCodePageCannotHoldIsEscapedAndTheRestStays) {
    const std::string western = "windows-1252";
    EXPECT_EQ(EscapeLogField("caf\xc3\xa9 \xce\x91\xce\xb8 \xe2\x82\xac \xf0\x9f\x98\x80", western),
              "caf\xc3\xa9 \\u0391\\u03B8 \xe2\x82\xac \\U0001F600");
    EXPECT_EQ(EscapeLogField("\xce\x91\xce\xb8", "windows-1253"), "\xce\x91\xce\xb8");
}

TEST(LogTextTest, EveryFieldComesBackExactlyAndHoldsNoSeparator) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255), length(0, 40);
    const char* const pieces[] = {"\\", "=>", " => ", "\xe2\x80\xa8", "\xc3\xa9", "\xce\x91"};
    for (int round = 0; round < 2000; ++round) {
        std::string field;
        for (int i = length(random); i > 0; --i) {
            if (byte(random) < 64)
                field += pieces[byte(random) % 6];
            else
                field += static_cast<char>(byte(random));
        }
        for (const char* codePage : {"UTF-8", "windows-1252"}) {
            const std::string escaped = EscapeLogField(field, codePage);
            EXPECT_EQ(escaped.find("=>"), std::string::npos) << escaped;
            for (unsigned char c : escaped) EXPECT_TRUE(c >= 0x20 && c != 0x7F) << escaped;
            // The README's form, read by the tests' own reader and by the program's.
            bool ok = false;
            EXPECT_EQ(UnescapeLogField(escaped, ok), field) << escaped;
            EXPECT_TRUE(ok);
            EXPECT_EQ(UnescapeLogField(escaped), field) << escaped;
        }
    }
}

TEST(LogTextTest, WhatIsNotInTheFormIsNotUndone) {
    EXPECT_EQ(UnescapeLogField("a\\x4"), std::nullopt);
    EXPECT_EQ(UnescapeLogField("a\\q"), std::nullopt);
    EXPECT_EQ(UnescapeLogField("a\\"), std::nullopt);
    EXPECT_EQ(UnescapeLogField("\\U00110000"), std::nullopt);
    EXPECT_EQ(UnescapeLogField("\\x3e\\u00e9"), ">\xc3\xa9");
}

}  // namespace
