#include "text/textEncoding.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/base/codePage.h"
#include "platform/base/hvError.h"

namespace {

const std::string kGreek = "\xCE\xB1\xCE\xB2\xCE\xB3";  // αβγ
const std::string kReplacement = "\xEF\xBF\xBD";        // U+FFFD

class TextEncodingTest : public ::testing::Test {
  protected:
    void TearDown() override { SetAnsiCodePage(""); }
};

TEST_F(TextEncodingTest, GreekNeedsAGreekCodePage) {
    EXPECT_EQ(EncodeText("A" + kGreek + "\xE2\x82\xAC", "windows-1252"), "A???\x80");
    EXPECT_EQ(EncodeText(kGreek, "windows-1253"), "\xE1\xE2\xE3");
    EXPECT_EQ(DecodeText("\xE1\xE2\xE3", "windows-1253"), kGreek);
    // EBCDIC has its own "?" (0x6F); a blind 0x3F would be a control character there.
    EXPECT_EQ(EncodeText(kGreek, "ibm-037"), "\x6F\x6F\x6F");
    // What is replaced is counted, each time it comes, a character beyond 16 bits once.
    EXPECT_EQ(UnheldCharacters("A" + kGreek + "\xC3\xA9\xE2\x82\xAC" + kGreek, "windows-1252"), 6u);
    EXPECT_EQ(UnheldCharacters("\xF0\x9F\x98\x80", "windows-1252"), 1u);
    EXPECT_EQ(UnheldCharacters(kGreek, "windows-1253"), 0u);
    EXPECT_EQ(UnheldCharacters(kGreek + "\xF0\x9F\x98\x80", "UTF-8"), 0u);
}

TEST_F(TextEncodingTest, InvalidInputBecomesReplacementCharacter) {
    EXPECT_EQ(EncodeText("a\xFFz", "UTF-8"), "a" + kReplacement + "z");
    // Well-formed text is taken as it stands; every ill-formed kind still gets replaced.
    const std::string emoji = "\xF0\x9F\x98\x80", last = "\xF4\x8F\xBF\xBF";
    EXPECT_EQ(EncodeText(kGreek + emoji + last + "\xEF\xBF\xBE", "UTF-8"),
              kGreek + emoji + last + "\xEF\xBF\xBE");
    for (const char* bad : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF0\x80\x80\xAF",
                            "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xE2\x82", "\x80"}) {
        const std::string encoded = EncodeText(std::string("<") + bad + ">", "UTF-8");
        EXPECT_NE(encoded.find(kReplacement), std::string::npos) << bad;
        EXPECT_TRUE(encoded.starts_with("<") && encoded.ends_with(">")) << bad;
    }
    EXPECT_EQ(EncodeText("a\xC3", "windows-1252"), "a?");
    EXPECT_EQ(DecodeText("a\xFFz", "UTF-8"), "a" + kReplacement + "z");
    // 0xD2 has no character in windows-1253.
    EXPECT_EQ(DecodeText("a\xD2z", "windows-1253"), "a" + kReplacement + "z");
    // ICU's stock callback would give U+001A here.
    EXPECT_EQ(DecodeText("a\xFFz", "Shift_JIS"), "a" + kReplacement + "z");
    EXPECT_EQ(Utf8ToUtf16("a\xE2\x82"), u"a\uFFFD");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(u"a") + char16_t(0xD800)), "a" + kReplacement);
}

TEST_F(TextEncodingTest, UnknownCodePageThrows) {
    EXPECT_THAT(
        [] { EncodeText("x", "no-such-page"); },
        testing::ThrowsMessage<EhvError>(testing::StrEq("Unknown code page \"no-such-page\"")));
    // ICU would take "" as its default converter.
    EXPECT_THROW(DecodeText("x", ""), EhvError);
}

TEST_F(TextEncodingTest, ByteOrderMarks) {
    const std::string text = "A" + kGreek + "\xF0\x9F\x98\x80";  // with a surrogate pair
    EXPECT_EQ(DecodeWithBom("\xEF\xBB\xBF" + text), text);
    EXPECT_EQ(EncodeText("A\xCE\xB1", "UTF-16LE"), std::string("A\0\xB1\x03", 4));
    EXPECT_EQ(DecodeWithBom("\xFF\xFE" + EncodeText(text, "UTF-16LE")), text);
    EXPECT_EQ(DecodeWithBom("\xFE\xFF" + EncodeText(text, "UTF-16BE")), text);
    EXPECT_EQ(DecodeWithBom(std::string("\xFF\xFEZ\0Y", 5)), "Z" + kReplacement);
    EXPECT_EQ(DecodeWithBom(std::string("\xFE\xFF\0A", 4)), "A");
    EXPECT_EQ(DecodeWithBom("\xFF\xFE"), "");

    SetAnsiCodePage("windows-1253");
    EXPECT_EQ(DecodeWithBom("\xE1"), "\xCE\xB1");
    EXPECT_EQ(DecodeWithBom("\xEF\xBB"), "\xCE\xBF\xC2\xBB");  // no full mark: ANSI bytes
}

TEST_F(TextEncodingTest, AnsiCodePagePinnedOrFromTheSystem) {
    EXPECT_EQ(AnsiCodePage(), SystemCodePage());
    SetAnsiCodePage("windows-1252");
    EXPECT_EQ(AnsiCodePage(), "windows-1252");
    EXPECT_EQ(EncodeAnsi(kGreek), "???");
    EXPECT_EQ(DecodeAnsi("\xE9"), "\xC3\xA9");
    SetAnsiCodePage("UTF-8");
    EXPECT_EQ(EncodeAnsi(kGreek), kGreek);
    SetAnsiCodePage("");
    EXPECT_EQ(AnsiCodePage(), SystemCodePage());
}

TEST_F(TextEncodingTest, CaseFolding) {
    EXPECT_TRUE(SameText("STRASSE", "stra\303\237e"));  // straße
    EXPECT_TRUE(SameText("\xCE\xA3\xCE\x8A\xCE\xA3\xCE\xA5\xCE\xA6\xCE\x9F\xCE\xA3",
                         "\xCF\x83\xCE\xAF\xCF\x83\xCF\x85\xCF\x86\xCE\xBF\xCF\x82"));  // Σίσυφος
    EXPECT_FALSE(SameText("abc", "abd"));
    EXPECT_FALSE(SameText("abc", "abcd"));
    EXPECT_TRUE(SameText("ThreadsCount", "THREADScount"));
    EXPECT_FALSE(SameText("a@", "A`"));          // neighbours of the letters do not fold
    EXPECT_TRUE(SameText("\xE2\x84\xAA", "k"));  // the Kelvin sign folds to ASCII
    EXPECT_TRUE(ContainsText("Die Stra\303\237e", "STRASSE"));
    EXPECT_TRUE(ContainsText("abc", ""));
    EXPECT_FALSE(ContainsText("", "a"));
    // Turkish: default folding keeps dotless ı apart from I, and İ folds to i + combining dot.
    EXPECT_FALSE(SameText("\xC4\xB1", "I"));
    EXPECT_EQ(FoldCase("\xC4\xB0"), "i\xCC\x87");
    EXPECT_EQ(FoldCase("a\xFF"), "a" + kReplacement);
}

TEST_F(TextEncodingTest, ConvertersAreSafeAcrossThreads) {
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            const char* page = t % 2 ? "windows-1253" : "UTF-16LE";
            for (int i = 0; i < 500; ++i) {
                std::string text = kGreek + std::to_string(i);
                if (DecodeText(EncodeText(text, page), page) != text) ++failures[t];
                if (FoldCase("\xCE\x91\xCE\x92\xCE\x93" + std::to_string(i)) != text) {
                    ++failures[t];
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
