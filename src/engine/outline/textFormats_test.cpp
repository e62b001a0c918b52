#include "engine/outline/textFormats.h"

#include <gtest/gtest.h>

#include "engine/outline/rtfOutline.h"
#include "engine/testing/textFormatsDeck.h"

namespace {

/// The lines of text, without the empty ones.
std::vector<std::string> NonEmptyLines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        if (end > start) lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

using Strings = std::vector<std::string>;

}  // namespace

TEST(MarkdownTest, EachKindOfTextTakesItsOwnForm) {
    const ThvPresentationText deck = MixedDeck();
    EXPECT_EQ(NonEmptyLines(WriteMarkdown(deck, ThvHiddenSlides::Mark)),
              (Strings{"## 1. Plans \\# for 2026",
                       "- Point",
                       "  - Sub \\*point\\*",
                       "    - Deep",
                       "- \\# not a heading\\",
                       "  second line",
                       "| Name | Note |",
                       "| --- | --- |",
                       "| a\\|b | one<br>two |",
                       "- Root",
                       "  - Child",
                       "Chart: Sales",
                       "- North",
                       "[Picture: A red kite]",
                       "### Notes",
                       "Say hello",
                       "2024\\. was good",
                       "### Comments",
                       "- **Ann**: Check this",
                       "- Anonymous",
                       "## 2",
                       "(hidden slide)",
                       "- 1\\) Hidden point",
                       "## 3. Last"}));
}

TEST(MarkdownTest, SkippedSlidesKeepTheOthersNumbers) {
    const std::string markdown = WriteMarkdown(MixedDeck(), ThvHiddenSlides::Skip);
    EXPECT_EQ(markdown.find("## 2"), std::string::npos);
    EXPECT_EQ(markdown.find("Hidden point"), std::string::npos);
    EXPECT_NE(markdown.find("\n## 3. Last\n"), std::string::npos);
    // Included, a hidden slide is not said to be one.
    EXPECT_EQ(WriteMarkdown(MixedDeck(), ThvHiddenSlides::Include).find("(hidden slide)"),
              std::string::npos);
}

TEST(JsonLinesTest, OneObjectPerSlideWithEveryMember) {
    const Strings lines =
        NonEmptyLines(WriteJsonLines(MixedDeck(), "talks/deck\xFF.pptx", ThvHiddenSlides::Skip));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0],
              "{\"file\":\"talks/deck\\udcff.pptx\",\"slide\":1,\"hidden\":false,"
              "\"title\":\"Plans # for 2026\",\"paragraphs\":[{\"level\":0,\"text\":\"Point\"},"
              "{\"level\":1,\"text\":\"Sub *point*\"},{\"level\":3,\"text\":\"Deep\"},"
              "{\"level\":0,\"text\":\"# not a heading\\nsecond line\"},"
              "{\"level\":0,\"text\":\"Root\"},{\"level\":1,\"text\":\"Child\"},"
              "{\"level\":0,\"text\":\"Sales\"},{\"level\":0,\"text\":\"North\"}],"
              "\"tables\":[[[\"Name\",\"Note\"],[\"a|b\",\"one\\ntwo\"]]],"
              "\"notes\":\"Say hello\\n2024. was good\","
              "\"comments\":[{\"author\":\"Ann\",\"text\":\"Check this\"},"
              "{\"author\":\"\",\"text\":\"Anonymous\"}],\"pictures\":[\"A red kite\"]}");
    EXPECT_EQ(lines[1],
              "{\"file\":\"talks/deck\\udcff.pptx\",\"slide\":3,\"hidden\":false,"
              "\"title\":\"Last\",\"paragraphs\":[],\"tables\":[],\"notes\":\"\","
              "\"comments\":[],\"pictures\":[]}");
    const Strings all = NonEmptyLines(WriteJsonLines(MixedDeck(), "d", ThvHiddenSlides::Mark));
    ASSERT_EQ(all.size(), 3u);
    EXPECT_NE(all[1].find("\"slide\":2,\"hidden\":true,"), std::string::npos);
}

TEST(JsonLinesTest, TwoTablesInARowStayApart) {
    ThvPresentationText deck;
    ThvSlideText& slide = deck.Slides.emplace_back();
    for (const std::uint32_t frame : {1u, 1u, 2u}) {
        ThvParagraph& row = slide.Body.emplace_back(0, "x\ty", ThvTextKind::TableRow, frame);
        row.CellEnds = {1, 3};
    }
    EXPECT_NE(WriteJsonLines(deck, "d", ThvHiddenSlides::Include)
                  .find("\"tables\":[[[\"x\",\"y\"],[\"x\",\"y\"]],[[\"x\",\"y\"]]]"),
              std::string::npos);
    // In Markdown, each is a table of its own, with its own header row.
    const Strings lines = NonEmptyLines(WriteMarkdown(deck, ThvHiddenSlides::Include));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "| --- | --- |"), 2);
}

TEST(RtfOutlineTest, NotesCommentsPicturesAndHiddenSlidesInTheOutline) {
    // Read back through the outline's own escaping: plain ASCII keeps it readable here.
    const std::string rtf = WriteRtfOutline(MixedDeck(), ThvHiddenSlides::Mark);
    const auto at = [&](const std::string& text) { return rtf.find(text); };
    EXPECT_LT(at("A red kite"), at("Notes:"));
    EXPECT_NE(at("[Picture: A red kite]"), std::string::npos);
    EXPECT_LT(at("Notes:"), at("Say hello"));
    EXPECT_LT(at("Say hello"), at("Comment (Ann): Check this"));
    EXPECT_LT(at("Comment (Ann): Check this"), at("Comment: Anonymous"));
    EXPECT_LT(at("Comment: Anonymous"), at("(hidden slide)"));
    EXPECT_EQ(WriteRtfOutline(MixedDeck(), ThvHiddenSlides::Skip).find("Hidden point"),
              std::string::npos);
    EXPECT_EQ(WriteRtfOutline(MixedDeck()).find("(hidden slide)"), std::string::npos);
}
