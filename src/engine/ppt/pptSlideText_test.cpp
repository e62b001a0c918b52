#include "engine/ppt/pptSlideText.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/base/engineLimits.h"
#include "engine/ppt/pptText.h"
#include "engine/testing/pptCorpusTest.h"
#include "engine/testing/pptTestWriter.h"
#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"

namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using namespace ppt_test;

std::string ErrorOf(std::string_view bytes, std::string_view name = "deck.ppt") {
    try {
        ReadPptPresentation(bytes, name);
    } catch (const EhvError& error) {
        return error.what();
    }
    return "<no error>";
}

std::vector<std::string> Lines(const std::vector<ThvParagraph>& paragraphs) {
    std::vector<std::string> lines;
    for (const ThvParagraph& p : paragraphs)
        lines.push_back(std::to_string(p.Level) + ":" + p.Text);
    return lines;
}

std::vector<std::string> Lines(const ThvSlideText& slide) { return Lines(slide.Body); }

std::vector<std::string> Lines(const ThvPptText& text) {
    std::string scratch;
    std::vector<ThvParagraph> paragraphs;
    AppendPptParagraphs(text, {}, scratch, paragraphs);
    return Lines(paragraphs);
}

// ---- Synthetic files ---------------------------------------------------------------------------

TEST(PptSlideTextTest, SlideTextComesInDrawingOrderEachTextOnce) {
    // Paragraph runs of 2 characters at levels 0, 1, 2; the first run carries bullet flags and a
    // bullet character, the second two tab stops, so a wrong property size shifts the levels.
    const std::string style =
        Rec(0x0FA1, U32(2) + U16(0) + U32(0x8F) + U16(1) + U16(0x2022) + U32(2) + U16(1) +
                        U32(0x100000) + U16(2) + U32(0) + U32(0) + U32(2) + U16(2) + U32(0));
    const std::string list[] = {
        Header(kTitle), Chars(u"Title\vsecond line"), Header(kBody), Chars(u"A\rB\rC"), style,
        Header(kNotes), Chars(u"not slide text")};
    const std::string quoted = Rec(0x0FA8, "\x93Quoted\x94\tcell\r\r \r");
    const auto file = OneSlideFile(
        {std::begin(list), std::end(list)},
        {RefShape(1), Group({Group({OwnTextShape(kOther, quoted)})}), RefShape(0), RefShape(7),
         // Some writers repeat a placeholder's text in the shape itself.
         OwnTextShape(kTitle, Chars(u"Title\vsecond line")),
         OwnTextShape(kOther, Chars(u"pair \U0001F600 lone \xD800!"))});
    const ThvPresentationText deck = ReadPptPresentation(file, "deck.ppt");
    ASSERT_EQ(deck.Slides.size(), 1u);
    EXPECT_TRUE(deck.Slides[0].HasTitle);
    EXPECT_EQ(deck.Slides[0].Title, "Title\nsecond line");
    EXPECT_THAT(Lines(deck.Slides[0]),
                ElementsAre("0:A", "1:B", "2:C", "0:\xE2\x80\x9CQuoted\xE2\x80\x9D\tcell",
                            "0:pair \xF0\x9F\x98\x80 lone \xEF\xBF\xBD!"));
    EXPECT_FALSE(deck.HasVBProject);
}

TEST(PptSlideTextTest, SlidesFollowTheSlideListAndKeepTextWithoutADrawing) {
    TPptBuilder ppt;
    // Slide 7 comes first in the list; slide 9 has no slide record at all.
    ppt.Object(1, Document({SlidePersist(7), Header(kTitle), Chars(u"First"), SlidePersist(9),
                            Header(kTitle), Chars(u"Second"), Header(kBody),
                            // 8-bit text with two paragraph levels.
                            Rec(0x0FA8, "body\rmore"),
                            Rec(0x0FA1, U32(5) + U16(0) + U32(0) + U32(5) + U16(1) + U32(0))}));
    ppt.Object(5, Slide({OwnTextShape(kOther, Chars(u"never listed"))}));
    ppt.Object(7, Slide({RefShape(0)}));
    const auto deck = ReadPptPresentation(ppt.File(ppt.Edit(1)), "deck.ppt");
    ASSERT_EQ(deck.Slides.size(), 2u);
    EXPECT_EQ(deck.Slides[0].Title, "First");
    EXPECT_TRUE(deck.Slides[0].Body.empty());
    EXPECT_EQ(deck.Slides[1].Title, "Second");
    EXPECT_THAT(Lines(deck.Slides[1]), ElementsAre("0:body", "1:more"));
}

// A record whose length claims more than its parent holds costs what it holds, and the walk of
// its parent from there on: the other shapes and slides are read, and the loss is told.
TEST(PptSlideTextTest, ARecordItsParentCannotHoldCostsOnlyWhatItHolds) {
    const auto claiming = [](std::string record, std::uint32_t size) {
        return record.replace(4, 4, U32(size));
    };
    const auto titles = [](const ThvPresentationText& deck) {
        std::vector<std::string> all;
        for (const ThvSlideText& slide : deck.Slides) all.push_back(slide.Title);
        return all;
    };
    {
        // In the slide list: the list goes on at the next slide from which it is intact, past
        // a slide record after which it is not.
        TPptBuilder ppt;
        ppt.Object(1, Document({SlidePersist(7), Header(kTitle), claiming(Chars(u"First"), 1000),
                                SlidePersist(99), claiming(Chars(u"x"), 5000), SlidePersist(9),
                                Header(kTitle), Chars(u"Third")}));
        ppt.Object(7, Slide({RefShape(0), OwnTextShape(kOther, Chars(u"own text"))}));
        ppt.Object(9, Slide({RefShape(0)}));
        const auto deck = ReadPptPresentation(ppt.File(ppt.Edit(1)), "deck.ppt");
        EXPECT_THAT(titles(deck), ElementsAre("", "Third"));
        EXPECT_THAT(Lines(deck.Slides[0]), ElementsAre("0:own text"));
        EXPECT_THAT(deck.Salvaged,
                    ElementsAre(AllOf(StartsWith("slide 1 loses text: record 0x0FA0 claims 1000 "
                                                 "bytes, more than its parent holds at offset "),
                                      HasSubstr(" of the \"PowerPoint Document\" stream"))));
    }
    {
        // The last text of the list: nothing after it to go on with.
        const auto deck =
            ReadPptPresentation(OneSlideFile({Header(kTitle), claiming(Chars(u"Title"), 1000)},
                                             {OwnTextShape(kOther, Chars(u"kept"))}),
                                "deck.ppt");
        EXPECT_THAT(Lines(deck.Slides.at(0)), ElementsAre("0:kept"));
        EXPECT_THAT(deck.Salvaged,
                    ElementsAre(StartsWith("slide 1 loses text, and the slide list ends there: "
                                           "record 0x0FA0 claims 1000 bytes")));
    }
    {
        // In a text box: that box's text; its neighbours stay, on this slide and the next.
        TPptBuilder ppt;
        ppt.Object(1, Document({SlidePersist(2), SlidePersist(3)}));
        ppt.Object(2, Slide({OwnTextShape(kOther, Chars(u"before")),
                             OwnTextShape(kOther, claiming(Rec(0x0FA8, "bad"), 1u << 30)),
                             OwnTextShape(kOther, Chars(u"after"))}));
        ppt.Object(3, Slide({OwnTextShape(kOther, Chars(u"next slide"))}));
        const auto deck = ReadPptPresentation(ppt.File(ppt.Edit(1)), "deck.ppt");
        ASSERT_EQ(deck.Slides.size(), 2u);
        EXPECT_THAT(Lines(deck.Slides[0]), ElementsAre("0:before", "0:after"));
        EXPECT_THAT(Lines(deck.Slides[1]), ElementsAre("0:next slide"));
        EXPECT_THAT(
            deck.Salvaged,
            ElementsAre(StartsWith("slide 1 loses text: record 0x0FA8 claims 1073741824 bytes")));
    }
    {
        // A slide record that cannot be read costs its shapes; its text in the list stays.
        TPptBuilder ppt;
        ppt.Object(1, Document({SlidePersist(2), Header(kTitle), Chars(u"One"), SlidePersist(3),
                                Header(kTitle), Chars(u"Two")}));
        ppt.Object(2, Slide({RefShape(0)}));
        ppt.Object(3, Rec(0x1234, "not a slide"));
        const auto deck = ReadPptPresentation(ppt.File(ppt.Edit(1)), "deck.ppt");
        EXPECT_THAT(titles(deck), ElementsAre("One", "Two"));
        EXPECT_THAT(deck.Salvaged,
                    ElementsAre(StartsWith("slide 2 loses its shapes: the slide record is 0x1234, "
                                           "not 0x03EE at offset ")));
    }
    {
        // When every slide is lost and nothing is left, the file is damaged.
        TPptBuilder ppt;
        ppt.Object(1, Document({SlidePersist(2)}));
        ppt.Object(2, Rec(0x1234, "not a slide"));
        EXPECT_THAT(ErrorOf(ppt.File(ppt.Edit(1))),
                    StartsWith("\"deck.ppt\" is damaged: the slide record is 0x1234"));
    }
}

TEST(PptSlideTextTest, TableGroupGivesOneParagraphPerRow) {
    const auto cell = [](std::int32_t top, std::int32_t left, const std::string& text) {
        std::vector<std::string> parts{
            Rec(0xF00A, std::string(8, '\0'), 1, 2),
            Rec(0xF00F, U32(left) + U32(top) + U32(left + 10) + U32(top + 10))};
        parts.push_back(Box(0xF00D, {Header(kOther), Rec(0x0FA8, text)}));
        return Shape(parts);
    };
    const std::string tableShape =
        Shape({Rec(0xF122, U16(0x03A0) + U32(1), 1, 3)});  // table properties
    const std::string border = Shape({Rec(0xF00A, std::string(8, '\0'), 20, 2),
                                      Rec(0xF00F, U32(0) + U32(0) + U32(100) + U32(0))});
    // Cells stored last row first, as PowerPoint does.
    const std::string table = Box(0xF003, {tableShape, cell(20, 0, "c"), cell(20, 10, ""),
                                           cell(0, 10, "b1\rb2"), cell(0, 0, "a"), border});
    const auto deck = ReadPptPresentation(OneSlideFile({}, {table}), "deck.ppt");
    ASSERT_EQ(deck.Slides.size(), 1u);
    EXPECT_THAT(Lines(deck.Slides[0]), ElementsAre("0:a\tb1\nb2", "0:c\t"));
}

TEST(PptSlideTextTest, GroupNestingIsLimited) {
    const auto nested = [](std::size_t depth) {
        std::string group = Box(0xF003, {Shape({}), OwnTextShape(kOther, Chars(u"deep"))});
        for (std::size_t i = 1; i < depth; ++i) group = Box(0xF003, {Shape({}), group});
        TPptBuilder ppt;
        ppt.Object(1, Document({SlidePersist(2)}));
        ppt.Object(2, Box(0x03EE, {Box(0x040C, {Box(0xF002, {group})})}));
        return ppt.File(ppt.Edit(1));
    };
    const std::size_t limit = ThvEngineLimits().MaxRecordDepth;
    const auto deck = ReadPptPresentation(nested(limit), "deck.ppt");
    EXPECT_THAT(Lines(deck.Slides.at(0)), ElementsAre("0:deep"));
    EXPECT_THAT(ErrorOf(nested(limit + 1)), HasSubstr("shapes are nested deeper than 64 groups"));
}

TEST(PptSlideTextTest, SlideCountIsLimited) {
    const auto slides = [](std::size_t count) {
        std::vector<std::string> list;
        for (std::size_t i = 0; i < count; ++i) list.push_back(SlidePersist(1000 + i));
        TPptBuilder ppt;
        ppt.Object(1, Document(list));
        return ppt.File(ppt.Edit(1));
    };
    const std::size_t limit = ThvEngineLimits().MaxSlides;
    EXPECT_EQ(ReadPptPresentation(slides(limit), "deck.ppt").Slides.size(), limit);
    EXPECT_THAT(ErrorOf(slides(limit + 1)), HasSubstr("is refused: it has more than 10000 slides"));
}

TEST(PptSlideTextTest, VbaInformationSetsHasVBProject) {
    const auto withVba = [](std::uint32_t persistRef) {
        const std::string info =
            Box(0x07D0, {Box(0x03FF, {Rec(0x0400, U32(persistRef) + U32(1) + U32(2), 0, 2)})});
        return OneSlideFile({}, {}, {info});
    };
    EXPECT_TRUE(ReadPptPresentation(withVba(9), "deck.ppt").HasVBProject);
    EXPECT_FALSE(ReadPptPresentation(withVba(0), "deck.ppt").HasVBProject);
}

TEST(PptSlideTextTest, HeadersFootersAndFieldsComeOutOnTheirSlides) {
    const auto utf16 = [](std::u16string_view text) {
        std::string bytes;
        for (const char16_t c : text) bytes += U16(c);
        return bytes;
    };
    // Date (fixed, "as typed"), slide number and footer on every slide but the title slide.
    const auto headersFooters = [&](std::uint16_t instance, std::uint16_t flags,
                                    std::u16string_view date, std::u16string_view footer) {
        return Box(0x0FD9,
                   {Rec(0x0FDA, U16(0) + U16(flags)), Rec(0x0FBA, utf16(date), 0),
                    Rec(0x0FBA, utf16(footer), 2)},
                   instance);
    };
    const std::uint16_t all = 0x01 | 0x04 | 0x08 | 0x20;
    const auto slide = [](std::uint32_t layout, const std::vector<std::string>& extras,
                          const std::vector<std::string>& shapes) {
        std::vector<std::string> children{Rec(0x03EF, U32(layout) + std::string(20, '\0'), 0, 2)};
        children.insert(children.end(), extras.begin(), extras.end());
        children.push_back(Box(0x040C, {Box(0xF002, {Group(shapes)})}));
        return Box(0x03EE, children);
    };
    // A text box whose placeholder characters stand for fields: number, date, today's date.
    const std::string fieldBox =
        Shape({Box(0xF00D, {Header(kOther), Chars(u"Page * of deck, * *"), Rec(0x0FD8, U32(5)),
                            Rec(0x0FF8, U32(16)), Rec(0x0FF7, U32(18) + U32(0))})});
    // A footer shape of the slide's own, as PowerPoint 2007 writes them.
    const std::string ownFooter = Shape({Box(0xF011, {Rec(0x1420, std::string(1, '\x09'))}),
                                         Box(0xF00D, {Header(kOther), Chars(u"Shape footer")})});
    TPptBuilder ppt;
    const std::string atom =
        Rec(0x03E9, std::string(32, '\0') + U16(7) + U16(0) + std::string("\0\1\0\0", 4), 0,
            1);  // slides numbered from 7, none on the title slide
    ppt.Object(1, Box(0x03E8, {atom, headersFooters(3, all, u"1 May 2024", u"Quarterly\rreview"),
                               Box(0x0FF0, {SlidePersist(2), SlidePersist(3), SlidePersist(4),
                                            SlidePersist(5)})}));
    ppt.Object(2, slide(0, {}, {OwnTextShape(kTitle, Chars(u"Opening"))}));
    ppt.Object(3, slide(1, {}, {OwnTextShape(kTitle, Chars(u"Agenda")), fieldBox}));
    ppt.Object(4, slide(1, {headersFooters(0, 0x20, u"", u"Own footer")}, {}));
    ppt.Object(5, slide(1, {}, {ownFooter}));
    const auto deck = ReadPptPresentation(ppt.File(ppt.Edit(1)), "deck.ppt");
    ASSERT_EQ(deck.Slides.size(), 4u);
    EXPECT_EQ(deck.Slides[0].Title, "Opening");
    EXPECT_TRUE(deck.Slides[0].Body.empty());
    EXPECT_EQ(deck.Slides[1].Title, "Agenda");
    EXPECT_THAT(Lines(deck.Slides[1]), ElementsAre("0:1 May 2024", "0:Quarterly review", "0:8",
                                                   "0:Page 8 of deck, 1 May 2024 "));
    EXPECT_THAT(Lines(deck.Slides[2]), ElementsAre("0:Own footer"));
    EXPECT_THAT(Lines(deck.Slides[3]), ElementsAre("0:1 May 2024", "0:10", "0:Shape footer"));
}

TEST(PptTextTest, EightBitTextsOfAnyBytesGiveWhatTheGeneralWayGives) {
    // Texts without fields that look like plain ASCII take a shortcut; a field past the end
    // keeps a text on the general way and changes nothing else. Every byte, at every place of
    // an eight-byte step and of the step's remainder, must come out the same on both ways.
    for (std::size_t size = 1; size <= 17; ++size) {
        for (std::size_t at = 0; at < size; ++at) {
            for (int byte = 0; byte < 256; ++byte) {
                std::string raw(size, 'a');
                raw[at] = static_cast<char>(byte);
                ThvPptText plain;
                ReadPptTextAtom(0x0FA8, raw, plain);
                ThvPptText general = plain;
                general.Fields.push_back({static_cast<std::uint32_t>(size + 1), {}});
                ASSERT_EQ(Lines(plain), Lines(general))
                    << "byte " << byte << " at " << at << " of " << size;
            }
        }
    }
}

TEST(PptTextTest, ParagraphLevelsFollowTheStyleAsFarAsItCanBeRead) {
    const auto levels = [](std::string_view chars, bool wide, const std::string& style) {
        std::string raw;
        for (const char c : chars) raw += wide ? std::string{c, '\0'} : std::string(1, c);
        ThvPptText text;
        ReadPptTextAtom(wide ? 0x0FA0 : 0x0FA8, raw, text);
        ReadPptTextAtom(0x0FA1, style, text);
        return Lines(text);
    };
    const auto run = [](std::uint32_t count, std::uint16_t level, std::uint32_t mask = 0) {
        return U32(count) + U16(level) + U32(mask);
    };
    for (const bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "UTF-16" : "8-bit");
        // A run cut off inside its properties still gives its level; nothing after it counts.
        EXPECT_THAT(levels("A\rB\rC\rD", wide, run(2, 1) + run(2, 2, 0x0080) + "\x01"),
                    ElementsAre("1:A", "2:B", "2:C", "2:D"));
        // Blank paragraphs take no level but still move the runs on; levels stop at 8.
        EXPECT_THAT(levels("A\r \rC\rD", wide, run(2, 1) + run(2, 5) + run(2, 12) + run(2, 0)),
                    ElementsAre("1:A", "8:C", "0:D"));
        EXPECT_THAT(levels("A\rB", wide, run(0, 3) + run(2, 1)),  // a run of nothing ends them
                    ElementsAre("3:A", "3:B"));
        EXPECT_THAT(levels("A\rB", wide, std::string(9, '\x01')),  // too short for a run
                    ElementsAre("0:A", "0:B"));
    }
}

// ---- Files made by other programs ----------------------------------------------------------

using PptCorpusTest = TPptCorpusTest;

TEST_F(PptCorpusTest, EveryFileReadsOrFailsWithItsName) {
    std::size_t read = 0, failed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".ppt") continue;
        try {
            ReadPptPresentation(Bytes(name), name);
            ++read;
        } catch (const EhvError& error) {
            EXPECT_THAT(error.what(), StartsWith("\"" + name + "\" ")) << name;
            ++failed;
        }
    }
    // Most of the corpus is ordinary presentations; the rest are the deliberately bad files.
    EXPECT_GT(read, 3 * failed);
}

TEST_F(PptCorpusTest, ReadsTitlesBodiesLevelsAndNonLatinText) {
    const auto sample = ReadPptPresentation(Bytes("SampleShow.ppt"), "SampleShow.ppt");
    ASSERT_EQ(sample.Slides.size(), 2u);
    EXPECT_EQ(sample.Slides[0].Title, "Title of the first slide");
    EXPECT_EQ(sample.Slides[1].Title, "This is the second slide");
    EXPECT_THAT(AllText(sample), HasSubstr("They\xE2\x80\x99re fun, aren\xE2\x80\x99t they?"));

    const auto links = ReadPptPresentation(Bytes("WithLinks.ppt"), "WithLinks.ppt");
    ASSERT_FALSE(links.Slides.empty());
    ASSERT_FALSE(links.Slides[0].Body.empty());
    EXPECT_EQ(links.Slides[0].Body[0].Level, 1);

    const auto japanese = ReadPptPresentation(Bytes("54880_chinese.ppt"), "54880_chinese.ppt");
    EXPECT_THAT(AllText(japanese), HasSubstr("\xE8\xA4\x87\xE6\x95\xB0"));  // 複数
}

TEST_F(PptCorpusTest, HasVBProjectFromTheVbaInformation) {
    EXPECT_TRUE(ReadPptPresentation(Bytes("SimpleMacro.ppt"), "m.ppt").HasVBProject);
    EXPECT_TRUE(ReadPptPresentation(Bytes("WithMacros.ppt"), "m.ppt").HasVBProject);
    EXPECT_FALSE(ReadPptPresentation(Bytes("SampleShow.ppt"), "s.ppt").HasVBProject);
}

TEST_F(PptCorpusTest, HeadersAndFootersAsTheSettingsShowThem) {
    // A PowerPoint 2003 file: the footers live in the settings, not on the slides.
    const auto deck = ReadPptPresentation(Bytes("headers_footers.ppt"), "headers_footers.ppt");
    ASSERT_EQ(deck.Slides.size(), 2u);
    // Today's date is computed when a slide is shown: nothing to print.
    EXPECT_THAT(Lines(deck.Slides[0]), ElementsAre("0:Global Slide Footer", "0:1"));
    EXPECT_THAT(Lines(deck.Slides[1]),
                ElementsAre("0:custom date format", "0:per-slide footer", "0:2"));
    // Date fields hold a placeholder character only, which never comes out.
    EXPECT_THAT(AllText(ReadPptPresentation(Bytes("datetime.ppt"), "datetime.ppt")),
                Not(HasSubstr("*")));
}

}  // namespace

// ---- Notes pages and hidden slides -------------------------------------------------------------

namespace {

/// A slide naming its notes page by id; hidden, its slide show settings say so.
std::string SlideWithNotes(std::uint32_t notesId, bool hidden,
                           const std::vector<std::string>& shapes) {
    std::vector<std::string> parts{
        Rec(0x03EF, std::string(16, '\0') + U32(notesId) + std::string(4, '\0'), 0, 2)};
    if (hidden) parts.push_back(Rec(0x03F9, std::string(10, '\0') + U16(4) + std::string(4, '\0')));
    parts.push_back(Box(0x040C, {Box(0xF002, {Group(shapes)})}));
    return Box(0x03EE, parts);
}

std::string NotesPage(const std::vector<std::string>& shapes) {
    return Box(0x03F0, {Rec(0x03F1, std::string(8, '\0'), 0, 1),
                        Box(0x040C, {Box(0xF002, {Group(shapes)})})});
}

/// Two slides whose notes pages stand in the notes list in the other order: the first slide
/// names the second page (id 261, persist 5), the second the first (id 260, persist 4).
std::string TwoSlidesCrossedNotes() {
    TPptBuilder ppt;
    ppt.Object(1, Document({SlidePersist(2), SlidePersist(3)},
                           {Box(0x0FF0, {SlidePersist(4), SlidePersist(5)}, 2)}));
    ppt.Object(2, SlideWithNotes(261, false, {OwnTextShape(kOther, Chars(u"first slide"))}));
    ppt.Object(3, SlideWithNotes(260, true, {OwnTextShape(kOther, Chars(u"second slide"))}));
    ppt.Object(4, NotesPage({OwnTextShape(kNotes, Chars(u"notes of the second")),
                             OwnTextShape(kOther, Chars(u" 2 "))}));
    ppt.Object(5, NotesPage({OwnTextShape(kOther, Chars(u"boxed notes of the first"))}));
    return ppt.File(ppt.Edit(1));
}

}  // namespace

TEST(PptSlideTextTest, NotesFollowEachSlidesNotesReferenceNotTheListsOrder) {
    ThvReadOptions options;
    options.Content.Notes = true;
    const ThvPresentationText deck =
        ReadPptPresentation(TwoSlidesCrossedNotes(), "deck.ppt", options);
    ASSERT_EQ(deck.Slides.size(), 2u);
    EXPECT_THAT(Lines(deck.Slides[0].Notes), ElementsAre("0:boxed notes of the first"));
    // The box holding only the page's number is no note.
    EXPECT_THAT(Lines(deck.Slides[1].Notes), ElementsAre("0:notes of the second"));
    EXPECT_THAT(Lines(deck.Slides[0]), ElementsAre("0:first slide"));
    EXPECT_FALSE(deck.Slides[0].Hidden);
    EXPECT_TRUE(deck.Slides[1].Hidden);
    EXPECT_TRUE(deck.Salvaged.empty());
    // Unasked, no notes page is read.
    EXPECT_TRUE(ReadPptPresentation(TwoSlidesCrossedNotes(), "deck.ppt").Slides[0].Notes.empty());
}

TEST(PptSlideTextTest, ADamagedOrMissingNotesPageCostsItsNotesOnly) {
    ThvReadOptions options;
    options.Content.Notes = true;
    for (const bool missing : {false, true}) {
        SCOPED_TRACE(missing ? "missing" : "damaged");
        TPptBuilder ppt;
        ppt.Object(1, Document({SlidePersist(2)}, {Box(0x0FF0, {SlidePersist(4)}, 2)}));
        ppt.Object(2, SlideWithNotes(260, false, {OwnTextShape(kOther, Chars(u"kept"))}));
        // A notes page whose record claims more than the stream holds, or none at all.
        if (!missing) ppt.Object(4, Rec(0x03F0, "not a container"));
        const ThvPresentationText deck =
            ReadPptPresentation(ppt.File(ppt.Edit(1)), "deck.ppt", options);
        ASSERT_EQ(deck.Slides.size(), 1u);
        EXPECT_THAT(Lines(deck.Slides[0]), ElementsAre("0:kept"));
        EXPECT_TRUE(deck.Slides[0].Notes.empty());
        ASSERT_EQ(deck.Salvaged.size(), 1u);
        EXPECT_THAT(deck.Salvaged[0], StartsWith(missing ? "slide 1 loses its notes: "
                                                         : "slide 1 loses notes text: "));
    }
}
