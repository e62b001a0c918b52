#include <gtest/gtest.h>

#include <filesystem>

#include "childProcess.h"
#include "engine/outline/textFormats.h"
#include "engine/presentationFile.h"
#include "engine/testing/textFormatsDeck.h"
#include "platform/files/fileSystem.h"
#include "tempDir.h"

namespace {

const std::string kCorpus = QUILLON_PUBLIC_CORPUS;

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

/// The HTML a CommonMark reader makes of the Markdown; skips the test without one.
std::string CommonMarkHtml(const std::string& markdown) {
    TempDir dir;
    const std::string file = dir / "in.md";
    WriteFileAtomic(file, markdown);
    const ProcessResult result = RunProcess("/usr/bin/cmark", {file}, dir.Path());
    if (result.exitCode != 0) return "<cmark failed: " + result.err + ">";
    return result.out;
}

/// Each line of the JSON Lines validated by Python against the schema in docs/; "ok" or what
/// was wrong.
std::string JsonLinesCheck(const std::string& lines) {
    TempDir dir;
    const std::string file = dir / "in.jsonl";
    WriteFileAtomic(file, lines);
    const std::string check =
        "import json, jsonschema, sys\n"
        "schema = json.load(open(sys.argv[1]))\n"
        "for line in open(sys.argv[2], encoding='utf-8', errors='surrogateescape'):\n"
        "  jsonschema.validate(json.loads(line), schema)\n";
    const ProcessResult result =
        RunProcess("/usr/bin/python3", {"-c", check, QUILLON_SLIDE_SCHEMA, file}, dir.Path());
    return result.exitCode == 0 ? "ok" : result.err;
}

class TextFormatsReaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists("/usr/bin/cmark") ||
            RunProcess("/usr/bin/python3", {"-c", "import jsonschema"}, "/").exitCode != 0) {
            GTEST_SKIP() << "cmark or Python's jsonschema missing";
        }
    }
};

}  // namespace

TEST_F(TextFormatsReaderTest, MarkdownReadsBackAsOneSectionPerSlideAndNothingMore) {
    const std::string html = CommonMarkHtml(WriteMarkdown(MixedDeck(), ThvHiddenSlides::Mark));
    EXPECT_EQ(Count(html, "<h2>"), 3u) << html;
    EXPECT_EQ(Count(html, "<h1>"), 0u) << html;
    EXPECT_EQ(Count(html, "<h3>"), 2u) << html;
    EXPECT_EQ(Count(html, "<ol"), 0u) << html;     // "1) Hidden point" and "2024. was good"
    EXPECT_EQ(Count(html, "<code>"), 0u) << html;  // a level jump indented too far
    EXPECT_EQ(Count(html, "<a "), 0u) << html;
    EXPECT_NE(html.find("<h2>1. Plans # for 2026</h2>"), std::string::npos) << html;
    EXPECT_NE(html.find("<p>[Picture: A red kite]</p>"), std::string::npos) << html;
    EXPECT_NE(html.find("Sub *point*"), std::string::npos) << html;
    EXPECT_EQ(JsonLinesCheck(WriteJsonLines(MixedDeck(), "a\xFE.pptx", ThvHiddenSlides::Mark)),
              "ok");
}

TEST_F(TextFormatsReaderTest, PublicFilesWithEverythingReadAsCommonMarkAndJson) {
    ThvReadOptions everything;
    everything.Content = {.Notes = true, .Comments = true, .Pictures = true};
    std::size_t read = 0;
    std::string lines;
    for (const char* name :
         {"python-pptx/prs-notes.pptx", "python-pptx/sld-notes.pptx", "poi/45545_Comment.pptx",
          "poi/WithComments.ppt", "poi/alterman_security.ppt", "poi/alterman_security.pptx",
          "poi/2411-Performance_Up.pptx"}) {
        const std::string path = kCorpus + "/" + name;
        if (!std::filesystem::exists(path)) continue;
        SCOPED_TRACE(name);
        ++read;
        const ThvPresentationText deck = LoadPresentationFile(path, everything);
        const std::string html = CommonMarkHtml(WriteMarkdown(deck, ThvHiddenSlides::Include));
        EXPECT_EQ(Count(html, "<h2>"), deck.Slides.size());
        EXPECT_EQ(Count(html, "<h1>"), 0u);
        lines += WriteJsonLines(deck, name, ThvHiddenSlides::Include);
    }
    if (read == 0) GTEST_SKIP() << "no public corpus at " << kCorpus;
    // One reader for all: Python takes seconds to start on a busy machine.
    EXPECT_EQ(JsonLinesCheck(lines), "ok");
}
