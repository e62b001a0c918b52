// The Win32 side of the text encodings: the process's code page from GetACP(), which Wine takes
// from LANG, and conversions through the system's own tables.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/base/codePage.h"
#include "text/textEncoding.h"

namespace {

const std::string kGreek = "\xCE\xB1\xCE\xB2\xCE\xB3";  // αβγ
const std::string kCafe = "caf\xC3\xA9";                // café
const std::string kReplacement = "\xEF\xBF\xBD";

class TextEncodingWin32Test : public ::testing::Test {
  protected:
    void TearDown() override { SetAnsiCodePage(""); }
};

TEST_F(TextEncodingWin32Test, TheSystemCodePageIsTheProcesssAnsiPage) {
    const UINT acp = GetACP();
    EXPECT_EQ(AnsiCodePage(), acp == CP_UTF8 ? "UTF-8" : "windows-" + std::to_string(acp));
    // Run once per LANG by the build (QUILLON_EXPECT_ACP names the page Wine should choose).
    const char* expected = std::getenv("QUILLON_EXPECT_ACP");
    if (!expected) GTEST_SKIP() << "no code page expected of this run";
    ASSERT_EQ(std::to_string(acp), expected);
    if (acp == 1252) {
        EXPECT_EQ(EncodeAnsi(kGreek + " " + kCafe), "??? caf\xE9");
        EXPECT_EQ(DecodeAnsi("caf\xE9 \x80"), kCafe + " \xE2\x82\xAC");
        // What the log writes as it is and what it escapes.
        EXPECT_TRUE(CodePageHolds(kCafe, AnsiCodePage()));
        EXPECT_FALSE(CodePageHolds(kGreek, AnsiCodePage()));
    } else if (acp == 1253) {
        EXPECT_EQ(EncodeAnsi(kGreek + " " + kCafe), "\xE1\xE2\xE3 caf?");
        EXPECT_EQ(DecodeAnsi("\xE1\xE2\xE3"), kGreek);
        EXPECT_TRUE(CodePageHolds(kGreek, AnsiCodePage()));
        EXPECT_FALSE(CodePageHolds(kCafe, AnsiCodePage()));
    } else {
        ADD_FAILURE() << "no expectations for code page " << acp;
    }
}

TEST_F(TextEncodingWin32Test, NoBestFitOnlyTheReplacementCharacter) {
    // Without WC_NO_BEST_FIT_CHARS the system would write "A", "a" and "C" for these.
    EXPECT_EQ(EncodeText("\xC4\x80 \xCE\xB1 \xE2\x84\x82", "windows-1252"), "? ? ?");
    EXPECT_EQ(EncodeText("\xE2\x88\x9E", "windows-1253"), "?");      // ∞
    EXPECT_EQ(EncodeText("\xF0\x9F\x98\x80", "windows-1252"), "?");  // one character, two units
}

TEST_F(TextEncodingWin32Test, InvalidBytesAreReplacedOneCharacterAtATime) {
    // 0xAA and 0xD2 have no character in windows-1253; what is around them stays.
    EXPECT_EQ(DecodeText("a\xAAz\xD2\xE1", "windows-1253"),
              "a" + kReplacement + "z" + kReplacement + "\xCE\xB1");
    // A Shift_JIS lead byte before a byte that cannot follow it: only the lead byte is bad.
    EXPECT_EQ(DecodeText("\x82\xA0\x81 x", "Shift_JIS"), "\xE3\x81\x82" + kReplacement + " x");
    EXPECT_EQ(DecodeText("x\x82", "Shift_JIS"), "x" + kReplacement);
    EXPECT_EQ(DecodeText("cp\xE9", "cp1252"), "cp\xC3\xA9");
    EXPECT_EQ(DecodeText("\xC1", "ISO-8859-7"), "\xCE\x91");
}

}  // namespace
