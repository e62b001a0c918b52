#include "engine/outline/rtfOutline.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>

#include "text/textEncoding.h"

namespace {

struct TReadParagraph {
    int OutlineLevel = -1;  // from \outlinelevel, 0 for heading 1
    std::u16string Text;
    bool operator==(const TReadParagraph&) const = default;
};

/// Reads the writer's body back: paragraphs with their outline level and text. Knows only what
/// the writer emits, and fails the test on anything else, so a stray byte cannot hide.
std::vector<TReadParagraph> ReadBack(const std::string& rtf) {
    std::size_t body = rtf.find("\\pard");
    std::vector<TReadParagraph> paragraphs;
    TReadParagraph current;
    for (std::size_t i = body; i < rtf.size();) {
        char c = rtf[i];
        if (c == '\n') {
            ++i;
        } else if (c == '}') {
            EXPECT_EQ(i, rtf.size() - 2) << "only the document's closing brace";
            break;
        } else if (c == '\\') {
            char next = rtf[i + 1];
            if (next == '\\' || next == '{' || next == '}') {
                current.Text += char16_t(next);
                i += 2;
                continue;
            }
            std::size_t j = i + 1;
            while (std::isalpha(static_cast<unsigned char>(rtf[j]))) ++j;
            std::string word = rtf.substr(i + 1, j - i - 1);
            std::size_t k = j;
            if (rtf[k] == '-') ++k;
            while (std::isdigit(static_cast<unsigned char>(rtf[k]))) ++k;
            int parameter = k > j ? std::atoi(rtf.c_str() + j) : 0;
            if (rtf[k] == ' ') ++k;  // the delimiter belongs to the control word
            i = k;
            if (word == "par") {
                paragraphs.push_back(current);
                current = {};
            } else if (word == "outlinelevel") {
                current.OutlineLevel = parameter;
            } else if (word == "line") {
                current.Text += u'\n';
            } else if (word == "tab") {
                current.Text += u'\t';
            } else if (word == "u") {
                current.Text += char16_t(static_cast<uint16_t>(parameter));
                EXPECT_EQ(rtf[i], '?');
                ++i;
            } else {
                EXPECT_TRUE(word == "pard" || word == "plain" || word == "s" || word == "f" ||
                            word == "fs" || word == "b")
                    << word;
            }
        } else {
            EXPECT_GE(c, 0x20);
            EXPECT_LT(static_cast<unsigned char>(c), 0x80);
            current.Text += char16_t(c);
            ++i;
        }
    }
    return paragraphs;
}

TEST(RtfOutlineTest, HeaderDeclaresCodePageFontsAndNineHeadingStyles) {
    std::string rtf = WriteRtfOutline({});
    EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg1252\\deff0", 0), 0u);
    EXPECT_NE(rtf.find("{\\fonttbl{\\f0"), std::string::npos);
    for (int level = 1; level <= 9; ++level) {
        std::string style =
            "{\\s" + std::to_string(level) + "\\outlinelevel" + std::to_string(level - 1);
        EXPECT_NE(rtf.find(style), std::string::npos) << style;
        EXPECT_NE(rtf.find(" heading " + std::to_string(level) + ";}"), std::string::npos);
    }
    // A document without slides is still one closed group.
    int depth = 0;
    for (std::size_t i = 0; i < rtf.size(); ++i) {
        if (rtf[i] == '\\') {
            ++i;
        } else if (rtf[i] == '{') {
            ++depth;
        } else if (rtf[i] == '}') {
            --depth;
            EXPECT_TRUE(depth > 0 || i == rtf.size() - 2) << "closed early at " << i;
        }
    }
    EXPECT_EQ(depth, 0);
}

TEST(RtfOutlineTest, SlidesBecomeTitleAndBodyParagraphsAtTheirLevels) {
    ThvPresentationText presentation;
    presentation.Slides.push_back(
        {true, "Intro", {{0, "point"}, {1, "sub"}, {8, "deepest"}}, false, {}, {}});
    presentation.Slides.push_back({false, "", {{0, "untitled body"}}, false, {}, {}});
    presentation.Slides.push_back({true, "", {}, false, {}, {}});
    std::vector<TReadParagraph> expected{{0, u"Intro"},   {1, u"point"}, {2, u"sub"},
                                         {8, u"deepest"}, {0, u""},      {1, u"untitled body"},
                                         {0, u""}};
    EXPECT_EQ(ReadBack(WriteRtfOutline(presentation)), expected);
}

TEST(RtfOutlineTest, SpecialCharactersRoundTrip) {
    const std::string tricky =
        "a{b}c\\d\te\nf \xC3\xA9 \xE2\x82\xAC \xEF\xBF\xBD \xF0\x9F\x98\x80 \xE4\xB8\xAD end";
    ThvPresentationText presentation;
    presentation.Slides.push_back({true, tricky, {{3, tricky}}, false, {}, {}});
    std::vector<TReadParagraph> read = ReadBack(WriteRtfOutline(presentation));
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].Text, Utf8ToUtf16(tricky));
    EXPECT_EQ(read[1], (TReadParagraph{4, Utf8ToUtf16(tricky)}));
}

TEST(RtfOutlineTest, EscapesAreExact) {
    EXPECT_EQ(EscapeRtfText("{x}\\"), "\\{x\\}\\\\");
    EXPECT_EQ(EscapeRtfText("a\tb\nc"), "a\\tab b\\line c");
    EXPECT_EQ(EscapeRtfText("\xC3\xA9"), "\\u233?");
    // U+FFFD is above 32767: RTF reads N as signed 16 bits.
    EXPECT_EQ(EscapeRtfText("\xEF\xBF\xBD"), "\\u-3?");
    // U+1F600 is the surrogate pair D83D DE00.
    EXPECT_EQ(EscapeRtfText("\xF0\x9F\x98\x80"), "\\u-10179?\\u-8704?");
    EXPECT_EQ(EscapeRtfText(std::string("a\x01\x1F\x7F"
                                        "b",
                                        5)),
              "ab");
    // Malformed UTF-8 (a stray continuation byte, a truncated sequence, an encoded surrogate,
    // an overlong form) becomes U+FFFD, one per bad byte, and never swallows what follows.
    EXPECT_EQ(EscapeRtfText("a\x80z"), "a\\u-3?z");
    EXPECT_EQ(EscapeRtfText("\xE2\x82"), "\\u-3?\\u-3?");
    EXPECT_EQ(EscapeRtfText("\xED\xA0\x80!"), "\\u-3?\\u-3?\\u-3?!");
    EXPECT_EQ(EscapeRtfText("\xC0\xAF"), "\\u-3?\\u-3?");
}

}  // namespace
