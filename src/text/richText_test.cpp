#include "text/richText.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/base/hvError.h"
#include "tempDir.h"
#include "text/textEncoding.h"

namespace {

std::string Plain(std::string_view rtf) { return RichTextToPlainText(rtf); }

// The same document fed one byte at a time: every token may be split across pieces.
std::string PlainByteByByte(std::string_view rtf) {
    ThvRichTextReader reader;
    for (char c : rtf) reader.Feed(std::string_view(&c, 1));
    return reader.Finish();
}

}  // namespace

TEST(RichText, ParagraphsLinesTabsAndSymbols) {
    EXPECT_EQ(Plain("{\\rtf1\\ansi a\\par b\\line c\\tab d\\par}"), "a\r\nb\r\nc\td\r\n");
    EXPECT_EQ(Plain("{\\rtf1 \\{x\\} \\\\ y\\~z\\-w\\_v\\emdash\\bullet}"),
              "{x} \\ y\xC2\xA0zw-v\xE2\x80\x94\xE2\x80\xA2\r\n");
    EXPECT_EQ(Plain("{\\rtf1 one\r\ntwo\\\r\nthree}"), "onetwo\r\nthree\r\n");  // \<CR LF> is \par
    EXPECT_EQ(Plain("{\\rtf1 {\\b bold} and {\\i\\fs20 italic}\\par\\par}"),
              "bold and italic\r\n\r\n");
    EXPECT_EQ(Plain("{\\rtf1\\par}"), "\r\n");
    EXPECT_EQ(Plain(""), "");
}

TEST(RichText, DestinationsWithoutDocumentTextAreLeftOut) {
    const char* rtf =
        "{\\rtf1\\ansi{\\fonttbl{\\f0\\fswiss Helvetica;}}{\\colortbl;\\red255;}"
        "{\\stylesheet{\\s1 Heading 1;}}{\\info{\\title Secret}{\\author Me}}"
        "{\\*\\generator Writer;}{\\*\\unknowndest {nested} text}"
        "Visible {\\field{\\*\\fldinst{HYPERLINK \"x\"}}{\\fldrslt link}}"
        "{\\pict\\pngblip 89504e47{\\*\\blipuid 00}}{\\header Head}\\par}";
    EXPECT_EQ(Plain(rtf), "Visible link\r\n");
}

TEST(RichText, CodePagesOfTheDocumentAndOfFonts) {
    EXPECT_EQ(Plain("{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8\\par}"), "При\r\n");
    EXPECT_EQ(Plain("{\\rtf1\\ansi Caf\\'e9 \\'80\\par}"), "Café €\r\n");
    // A font's character set overrides the document's code page for its text.
    EXPECT_EQ(Plain("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset161 Greek;}}"
                    "\\'e1{\\f1 \\'e1}\\f1\\'e2\\plain\\'e2\\par}"),
              "áαβâ\r\n");
    // Double-byte characters split into two \'hh and even into two pieces.
    const char* japanese = "{\\rtf1\\ansi\\ansicpg932 \\'82\\'a0\\'82\\'a2\\par}";
    EXPECT_EQ(Plain(japanese), "あい\r\n");
    EXPECT_EQ(PlainByteByByte(japanese), "あい\r\n");
    // An unknown code page is read as Western rather than failing.
    EXPECT_EQ(Plain("{\\rtf1\\ansicpg99999 \\'e9}"), "é\r\n");
    // Plain ASCII beside double-byte text, and a trail byte that looks like ASCII ("@" after 0x81:
    // U+3000).
    EXPECT_EQ(Plain("{\\rtf1\\ansi\\ansicpg932 ab\\'82\\'a0cd\\'81@ef\\par}"),
              "abあcd\u3000ef\r\n");
}

TEST(RichText, PrintableAsciiIsItselfInTheCodePagesReadWithoutAConverter) {
    // The reader takes runs of printable ASCII as they stand in these code pages; the
    // converters must agree, byte by byte.
    std::string ascii;
    for (char c = 0x20; c < 0x7F; ++c) ascii += c;
    for (const char* page :
         {"ibm-437",      "ibm-850",      "ibm-852",      "ibm-866",      "windows-874",
          "windows-932",  "windows-936",  "windows-949",  "windows-950",  "windows-1250",
          "windows-1251", "windows-1252", "windows-1253", "windows-1254", "windows-1255",
          "windows-1256", "windows-1257", "windows-1258", "macintosh",    "UTF-8"}) {
        EXPECT_EQ(DecodeText(ascii, page), ascii) << page;
    }
}

TEST(RichText, UnicodeWithFallbacks) {
    EXPECT_EQ(Plain("{\\rtf1 \\u917?\\u955?x\\par}"), "Ελx\r\n");
    EXPECT_EQ(Plain("{\\rtf1\\uc2 \\u8364\\'80\\'80y}"), "€y\r\n");
    EXPECT_EQ(Plain("{\\rtf1\\uc0 \\u8364 z}"), "€z\r\n");
    EXPECT_EQ(Plain("{\\rtf1 \\u-10180?\\u-8311?!}"), "🎉!\r\n");  // a surrogate pair
    EXPECT_EQ(Plain("{\\rtf1 \\u8226\\'95\\tab item}"), "•\titem\r\n");
    // A fallback never runs past the end of its group.
    EXPECT_EQ(Plain("{\\rtf1\\uc3 {\\u233}abc}"), "éabc\r\n");
    // \uc is scoped to its group.
    EXPECT_EQ(Plain("{\\rtf1 {\\uc0 \\u233}\\u233?a}"), "ééa\r\n");
}

TEST(RichText, TablesBecomeTabSeparatedRows) {
    // One paragraph per cell, the way one writer does it...
    EXPECT_EQ(Plain("{\\rtf1{\\pard\\intbl A1\\par}\\cell{\\pard\\intbl B1\\par}\\cell\\row"
                    "\\pard after\\par}"),
              "A1\tB1\r\nafter\r\n");
    // ...and cells without paragraphs, the way another does, with two paragraphs in one cell.
    EXPECT_EQ(Plain("{\\rtf1\\intbl A\\par A2\\cell B\\cell\\row}"), "A A2\tB\r\n");
}

TEST(RichText, BinaryDataIsSkippedWhateverItHolds) {
    std::string rtf = "{\\rtf1 a{\\pict\\bin6 }{\\\\x}}b\\par}";
    EXPECT_EQ(Plain(rtf), "ab\r\n");
    rtf = "{\\rtf1 a\\bin4 {}\\}b}";  // outside a picture too
    EXPECT_EQ(Plain(rtf), "ab\r\n");
}

TEST(RichText, SplittingIntoPiecesChangesNothing) {
    const char* rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 A;}}\\uc1 H\\'e9llo \\u8364? "
        "{\\*\\x y}\\tab{\\b w}\\bin2 {}\\par\\intbl c\\cell d\\cell\\row x\\line y}";
    EXPECT_EQ(PlainByteByByte(rtf), Plain(rtf));
}

TEST(RichText, HostileInputNeitherCrashesNorGrowsTheStack) {
    EXPECT_EQ(Plain("}}}{{{ \\'zz\\u\\uc999999999999999 \\bin-5 x"), " zx\r\n");
    EXPECT_EQ(Plain(std::string("{\\rtf1 \\") + std::string(100, 'a') + "1234567890123456 z}"),
              "z\r\n");

    // Deep nesting inside a skipped destination costs nothing...
    std::string deep =
        "{\\rtf1{\\*\\x" + std::string(100000, '{') + std::string(100000, '}') + "}ok}";
    EXPECT_EQ(Plain(deep), "ok\r\n");
    // ...and deep nesting that carries text stops at the limit with a message.
    std::string text = "{\\rtf1" + std::string(ThvRichTextReader::MaxGroupDepth, '{') + "x";
    EXPECT_THROW(Plain(text), EhvError);
    text = "{\\rtf1" + std::string(ThvRichTextReader::MaxGroupDepth - 2, '{') + "x";
    EXPECT_EQ(Plain(text), "x\r\n");

    std::string noise;
    for (int i = 0; i < 200000; ++i) noise += static_cast<char>((i * 2654435761u) >> 13);
    try {
        ThvRichTextReader reader;
        reader.Feed(noise);
        reader.Finish();
    } catch (const EhvError&) {
        // Refusing is as good as reading; only a crash would be wrong.
    }
}

TEST(RichText, TextWrittenByOtherPrograms) {
    const std::filesystem::path samples = QUILLON_RTF_SAMPLES;
    if (!std::filesystem::exists(samples)) GTEST_SKIP() << "no samples at " << samples;
    for (const char* name :
         {"writer-basic.rtf", "writer-picture.rtf", "pandoc-basic.rtf", "pandoc-from-docx.rtf"}) {
        SCOPED_TRACE(name);
        const std::string text = Plain(ReadBytes((samples / name).string()));
        // The words in reading order, one paragraph a line.
        std::size_t pos = 0;
        for (const char* expected :
             {"Quarterly review\r\n", "Plain paragraph with bold, italic and a link.\r\n",
              "\tFirst bullet\r\n", "\tSecond bullet\r\n", "\tNested bullet\r\n",
              "1.\tNumbered one\r\n", "2.\tNumbered two\r\n", "Cell A1\tCell B1\r\n",
              "Cell A2\tCell B2\r\n",
              "Greek: Ελληνικό κείμενο. Cyrillic: Русский текст. "
              "CJK: 中文文本 日本語. Emoji: 🎉.\r\n",
              "Symbols: braces { } backslash \\ tab", "Euro €, dash –, quotes “x”.\r\n",
              "Line one\r\nline two after a soft break.\r\n"}) {
            const std::size_t found = text.find(expected, pos);
            ASSERT_NE(found, std::string::npos) << "missing " << expected << " in\n" << text;
            pos = found;
        }
        for (const char* absent : {"Helvetica", "Liberation", "Heading", "89504e47", "PNG",
                                   "HYPERLINK", "Normal", "Bullet", "Table Contents"})
            EXPECT_EQ(text.find(absent), std::string::npos) << absent;
    }
}
