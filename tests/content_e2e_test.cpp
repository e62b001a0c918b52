// Unattended runs that write more than the outline, or write it in another form.

#include <filesystem>

#include "programTest.h"

namespace {

class ContentTest : public ProgramTest {
  protected:
    /// Copies public decks into in/; false when the corpus is missing.
    bool Copy(std::initializer_list<const char*> names) {
        std::filesystem::create_directories(dir / "in");
        for (const char* name : names) {
            const std::filesystem::path deck =
                std::filesystem::path(QUILLON_PUBLIC_CORPUS) / "poi" / name;
            if (!std::filesystem::exists(deck)) return false;
            std::filesystem::copy_file(deck, dir / ("in/" + std::string(name)));
        }
        return true;
    }
    ProcessResult Convert(const std::string& extra) {
        return Run({"-P:Source=" + dir / "in/*.ppt?,Target=" + dir / "out,PureConsole=1,LogFile=" +
                    dir / "run.log," + extra});
    }
    static std::size_t Count(const std::string& text, const std::string& what) {
        std::size_t count = 0;
        for (std::size_t at = text.find(what); at != std::string::npos;
             at = text.find(what, at + 1))
            ++count;
        return count;
    }
};

}  // namespace

TEST_F(ContentTest, NotesCommentsPicturesAndHiddenSlidesInThePlainText) {
    if (!Copy({"2411-Performance_Up.pptx", "WithComments.ppt"})) GTEST_SKIP() << "no corpus";
    ProcessResult r = Convert("");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string plain = ReadBytes(dir / "out/2411-Performance_Up.txt");
    EXPECT_EQ(plain.find("Notes:"), std::string::npos);
    EXPECT_EQ(plain.find("(hidden slide)"), std::string::npos);

    r = Convert("Notes=1,Comments=1,AltText=1,HiddenSlides=mark");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string text = ReadBytes(dir / "out/2411-Performance_Up.txt");
    EXPECT_NE(text.find("\r\nNotes:\r\nHello crowd, welcome. Introduce self.\r\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(Count(text, "\r\n(hidden slide)\r\n"), 2u);
    EXPECT_NE(text.find("\r\n[Picture: "), std::string::npos);
    EXPECT_NE(ReadBytes(dir / "out/WithComments.txt")
                  .find("\r\nComment (Administrator): This is a test comment"),
              std::string::npos);

    // Skipped, the hidden slides' text is gone, and nothing else is.
    r = Convert("HiddenSlides=skip");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string skipped = ReadBytes(dir / "out/2411-Performance_Up.txt");
    EXPECT_LT(skipped.size(), plain.size());
    EXPECT_EQ(skipped.find("(hidden slide)"), std::string::npos);
}

TEST_F(ContentTest, MarkdownAndJsonLinesTakeTheirOwnExtensions) {
    if (!Copy({"2411-Performance_Up.pptx", "WithComments.ppt"})) GTEST_SKIP() << "no corpus";
    ProcessResult r = Convert("OutputFormat=Markdown,Notes=1,HiddenSlides=skip");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "out/WithComments.txt"));
    const std::string markdown = ReadBytes(dir / "out/2411-Performance_Up.md");
    EXPECT_TRUE(markdown.starts_with("## 1. ")) << markdown;
    EXPECT_NE(markdown.find("\n### Notes\n\nHello crowd, welcome. Introduce self.\n"),
              std::string::npos)
        << markdown;
    EXPECT_EQ(markdown.find('\r'), std::string::npos);
    EXPECT_NE(ReadBytes(dir / "run.log").find(dir / "out/WithComments.md"), std::string::npos);

    r = Convert("OutputFormat=jsonl,HiddenSlides=skip");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string lines = ReadBytes(dir / "out/2411-Performance_Up.jsonl");
    r = Convert("OutputFormat=jsonl");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string all = ReadBytes(dir / "out/2411-Performance_Up.jsonl");
    // Two slides are hidden; the others keep their numbers in the file.
    EXPECT_EQ(Count(all, "\n"), Count(lines, "\n") + 2);
    EXPECT_EQ(Count(all, "\"hidden\":true"), 2u);
    EXPECT_EQ(Count(lines, "\"hidden\":true"), 0u);
    EXPECT_TRUE(
        lines.starts_with("{\"file\":\"" + dir / "in/2411-Performance_Up.pptx\",\"slide\":1,"))
        << lines.substr(0, 200);
}

TEST_F(ContentTest, TextEncodingKeepsEveryCharacterWhateverTheSystemsCharacterSet) {
    const std::vector<std::string> latin1 = LanguagesDeckAndLatin1Locale();
    if (latin1.empty()) GTEST_SKIP() << "no sample or no locale (install locales)";
    const std::string options =
        "-P:Source=" + dir / "in/*.ppt?,Target=" + dir / "out,PureConsole=1,TextEncoding=";

    ProcessResult r = Run({options + "ansi"}, {"LC_ALL=C.UTF-8"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string utf8 = ReadBytes(dir / "out/languages.txt");
    r = Run({options + "UTF-8"}, latin1);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");  // nothing replaced: no note
    EXPECT_EQ(ReadBytes(dir / "out/languages.txt"), utf8);
    r = Run({options + "utf-8-bom"}, latin1);
    EXPECT_EQ(ReadBytes(dir / "out/languages.txt"), "\xEF\xBB\xBF" + utf8);
    r = Run({options + "utf-16"}, latin1);
    const std::string utf16 = ReadBytes(dir / "out/languages.txt");
    ASSERT_TRUE(utf16.starts_with("\xFF\xFE"));
    // Code point by code point, the UTF-16 file holds what the UTF-8 one holds.
    std::u32string fromUtf16, fromUtf8;
    for (std::size_t i = 2; i + 1 < utf16.size(); i += 2) {
        const char32_t unit =
            static_cast<unsigned char>(utf16[i]) | static_cast<unsigned char>(utf16[i + 1]) << 8;
        if (unit >= 0xDC00 && unit < 0xE000 && !fromUtf16.empty())
            fromUtf16.back() = 0x10000 + ((fromUtf16.back() - 0xD800) << 10) + (unit - 0xDC00);
        else
            fromUtf16 += unit;
    }
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t point = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k)
            point = point << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        fromUtf8 += point;
        i += length;
    }
    EXPECT_EQ(utf16.size() % 2, 0u);
    EXPECT_TRUE(fromUtf16 == fromUtf8);
    EXPECT_LT(fromUtf8.size(), utf8.size()) << "the sample holds no text beyond ASCII";
}

TEST_F(ContentTest, AWordThatNamesNoFormStopsTheRunBeforeAnyFile) {
    if (!Copy({"WithComments.ppt"})) GTEST_SKIP() << "no corpus";
    for (const auto& [option, message] :
         {std::pair{"OutputFormat=mardown",
                    "OutputFormat=mardown is none of text, markdown, jsonl"},
          std::pair{"HiddenSlides=hide", "HiddenSlides=hide is none of include, mark, skip"},
          std::pair{"TextEncoding=utf8",
                    "TextEncoding=utf8 is none of ansi, utf-8, utf-8-bom, utf-16"}}) {
        const ProcessResult r = Convert(option);
        EXPECT_NE(r.exitCode, 0);
        EXPECT_NE(r.err.find(std::string("Application Error: ") + message), std::string::npos)
            << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "out/WithComments.txt"));
    }
}

TEST_F(ContentTest, TargetDashSendsEachFileWholeToStandardOutputInTheBatchsOrder) {
    // The first deck is by far the slowest: with two converters the ones after it end first.
    const std::filesystem::path poi = std::filesystem::path(QUILLON_PUBLIC_CORPUS) / "poi";
    if (!std::filesystem::exists(poi / "alterman_security.pptx")) GTEST_SKIP() << "no corpus";
    std::filesystem::create_directories(dir / "in");
    std::filesystem::copy_file(poi / "alterman_security.pptx", dir / "in/1-slow.pptx");
    WriteBytes(dir / "in/2-broken.pptx", "no deck");
    std::filesystem::copy_file(poi / "WithComments.ppt", dir / "in/3-comments.ppt");
    std::filesystem::copy_file(poi / "2411-Performance_Up.pptx", dir / "in/4-notes.pptx");
    std::filesystem::create_directories(dir / "tmp");

    for (const char* form : {"text", "markdown"}) {
        const std::string ext = form == std::string("text") ? ".txt" : ".md";
        const std::string options = std::string("Notes=1,Comments=1,OutputFormat=") + form;
        const ProcessResult files = Convert(options);
        std::string expected;
        for (const char* name : {"1-slow", "3-comments", "4-notes"})
            expected += ReadBytes(dir / ("out/" + std::string(name) + ext));
        ASSERT_GT(expected.size(), 1000u);

        const ProcessResult r = Run({"-P:Source=" + dir / "in/*.ppt?,Target=-,PureConsole=1," +
                                     "ThreadsCount=2,LogFile=" + dir / "run.log," + options},
                                    {"TMPDIR=" + dir / "tmp"});
        EXPECT_EQ(r.exitCode, files.exitCode) << r.err;
        EXPECT_TRUE(r.out == expected) << form << ": " << r.out.size() << " bytes, not "
                                       << expected.size();
        const std::string log = ReadBytes(dir / "run.log");
        EXPECT_NE(log.find("Success => " + dir / "in/4-notes.pptx => -\r\n"), std::string::npos)
            << log;
        EXPECT_NE(log.find("Failure => " + dir / "in/2-broken.pptx => "), std::string::npos);
        // Nothing is left of the files on their way, nor a folder named "-".
        EXPECT_TRUE(std::filesystem::is_empty(dir / "tmp"));
        EXPECT_FALSE(std::filesystem::exists(work + "/-"));
    }
}

TEST_F(ContentTest, AReaderThatGoesAwayStopsTheRunAndItsLogIsStillWritten) {
    if (!Copy({"alterman_security.pptx", "WithComments.ppt", "2411-Performance_Up.pptx"}))
        GTEST_SKIP() << "no corpus";
    std::filesystem::create_directories(dir / "tmp");
    // A reader gone before anything is written, and a stream that takes nothing.
    for (const std::string into : {"| true", ">/dev/full"}) {
        std::filesystem::remove(dir / "run.log");
        const std::string command = "cd '" + work + "' && { TMPDIR='" + dir / "tmp" + "' '" + exe +
                                    "' '-P:Source=" + dir / "in/*.ppt?,Target=-,PureConsole=1," +
                                    "LogFile=" + dir / "run.log' 2>'" + dir / "err" +
                                    "'; echo $? >'" + dir / "rc" + "'; } " + into;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        EXPECT_EQ(ReadBytes(dir / "rc"), "1\n") << into;
        EXPECT_NE(ReadBytes(dir / "err").find("Application Error: Standard output was closed "
                                              "before every converted file was written to it"),
                  std::string::npos)
            << ReadBytes(dir / "err");
        EXPECT_NE(ReadBytes(dir / "run.log").find("Success => "), std::string::npos) << into;
        EXPECT_TRUE(std::filesystem::is_empty(dir / "tmp")) << into;
    }
}
