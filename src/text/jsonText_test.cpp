#include "text/jsonText.h"

#include <gtest/gtest.h>

namespace {

TEST(JsonTextTest, EscapesWhatJsonRequires) {
    EXPECT_EQ(JsonQuote(""), "\"\"");
    EXPECT_EQ(JsonQuote("a\"b\\c/d"), R"("a\"b\\c/d")");
    EXPECT_EQ(JsonQuote("\n\r\t\b\f"), R"("\n\r\t\b\f")");
    EXPECT_EQ(JsonQuote(std::string("\x00\x01\x1f\x7f", 4)), R"("\u0000\u0001\u001f\u007f")");
}

TEST(JsonTextTest, WellFormedUtf8StaysAsItIs) {
    EXPECT_EQ(JsonQuote("caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80"),
              "\"caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80\"");
    // Line and paragraph separators end a line in JavaScript source.
    EXPECT_EQ(JsonQuote("a\xE2\x80\xA8"
                        "b\xE2\x80\xA9"),
              R"("a\u2028b\u2029")");
}

// Each byte that is not part of a well-formed sequence is one escape of its own; the bytes
// around it keep their meaning.
TEST(JsonTextTest, EveryOtherByteBecomesItsSurrogateEscape) {
    EXPECT_EQ(JsonQuote("caf\xE9.ppt"), R"("caf\udce9.ppt")");        // Latin-1 name
    EXPECT_EQ(JsonQuote("\xC3"), R"("\udcc3")");                      // cut short
    EXPECT_EQ(JsonQuote("\xC3\xC3\xA9"), "\"\\udcc3\xC3\xA9\"");      // a lead, then a pair
    EXPECT_EQ(JsonQuote("\xC0\xAF"), R"("\udcc0\udcaf")");            // overlong "/"
    EXPECT_EQ(JsonQuote("\xED\xA0\x80"), R"("\udced\udca0\udc80")");  // an encoded surrogate
    EXPECT_EQ(JsonQuote("\xF4\x90\x80\x80"), R"("\udcf4\udc90\udc80\udc80")");  // > U+10FFFF
    EXPECT_EQ(JsonQuote("\xFF\xFE"), R"("\udcff\udcfe")");
    EXPECT_EQ(JsonQuote("\xE4\xB8"), R"("\udce4\udcb8")");
}

}  // namespace
