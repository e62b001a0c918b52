#include "pptDocument.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "cfbReader.h"
#include "cfbTestWriter.h"
#include "engineLimits.h"
#include "fileSystem.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// ---- Building binary PowerPoint files byte by byte -------------------------------------------

std::string U16(std::uint16_t v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }
std::string U32(std::uint32_t v) { return U16(v & 0xFFFF) + U16(v >> 16); }

std::string Rec(std::uint16_t type, const std::string& body, std::uint16_t instance = 0,
                std::uint16_t version = 0) {
    return U16(static_cast<std::uint16_t>(instance << 4 | version)) + U16(type) +
           U32(static_cast<std::uint32_t>(body.size())) + body;
}

std::string Box(std::uint16_t type, const std::vector<std::string>& children,
                std::uint16_t instance = 0) {
    std::string body;
    for (const std::string& child : children) body += child;
    return Rec(type, body, instance, 0xF);
}

std::string Chars(std::u16string_view text) {
    std::string bytes;
    for (const char16_t c : text) bytes += U16(c);
    return Rec(0x0FA0, bytes);
}

std::string Header(std::uint32_t textType) { return Rec(0x0F9F, U32(textType)); }
std::string SlidePersist(std::uint32_t persistId) {
    return Rec(0x03F3, U32(persistId) + U32(0) + U32(0) + U32(256 + persistId) + U32(0));
}

std::string Shape(const std::vector<std::string>& parts) { return Box(0xF004, parts); }
std::string RefShape(std::uint32_t index) {
    return Shape({Box(0xF00D, {Rec(0x0F9E, U32(index))})});
}
std::string OwnTextShape(std::uint32_t textType, const std::string& atom) {
    return Shape({Box(0xF00D, {Header(textType), atom})});
}
/// A group: its own shape first, as in real files.
std::string Group(std::vector<std::string> shapes) {
    shapes.insert(shapes.begin(), Shape({Rec(0xF00A, std::string(8, '\0'), 0, 2)}));
    return Box(0xF003, shapes);
}
std::string Slide(const std::vector<std::string>& shapes) {
    return Box(0x03EE, {Rec(0x03EF, std::string(24, '\0'), 0, 2),
                        Box(0x040C, {Box(0xF002, {Group(shapes)})})});
}
std::string Document(const std::vector<std::string>& slideList,
                     const std::vector<std::string>& more = {}) {
    std::vector<std::string> children{Rec(0x03E9, std::string(40, '\0'), 0, 1),
                                      Box(0x0FF0, slideList, 0)};
    children.insert(children.end(), more.begin(), more.end());
    return Box(0x03E8, children);
}

constexpr std::uint32_t kTitle = 0, kBody = 1, kNotes = 2, kOther = 4;

/// Persist objects and edits appended to one document stream, as PowerPoint saves.
class TPptBuilder {
  public:
    void Object(std::uint32_t id, const std::string& record) {
        pending_[id] = static_cast<std::uint32_t>(stream_.size());
        stream_ += record;
    }

    /// Writes the persist directory of the objects since the last edit, then the edit record.
    std::uint32_t Edit(std::uint32_t documentId, std::uint32_t previous = 0,
                       std::uint32_t encryptionId = 0) {
        std::string entries;
        for (const auto& [id, offset] : pending_) entries += U32(id | 1u << 20) + U32(offset);
        pending_.clear();
        const std::uint32_t directory = static_cast<std::uint32_t>(stream_.size());
        stream_ += Rec(0x1772, entries);
        const std::uint32_t edit = static_cast<std::uint32_t>(stream_.size());
        stream_ += Rec(0x0FF5, U32(256) + U16(0) + std::string("\0\3", 2) + U32(previous) +
                                   U32(directory) + U32(documentId) + U32(100) + U16(1) + U16(0) +
                                   U32(encryptionId));
        return edit;
    }

    std::string& Stream() { return stream_; }

    std::string File(std::uint32_t currentEdit, std::vector<TTestCfbStream> more = {}) const {
        const std::string user =
            Rec(0x0FF6, U32(0x14) + U32(0xE391C05F) + U32(currentEdit) + U16(0) + U16(0x03F4) +
                            std::string("\3\0", 2) + U16(0) + U32(8));
        more.push_back({"Current User", user});
        more.push_back({"PowerPoint Document", stream_});
        return BuildTestCfb(more).Bytes;
    }

  private:
    std::string stream_;
    std::map<std::uint32_t, std::uint32_t> pending_;
};

/// A one-slide file: the slide list holds the given texts, the slide the given shapes.
std::string OneSlideFile(const std::vector<std::string>& listAtoms,
                         const std::vector<std::string>& shapes,
                         const std::vector<std::string>& documentExtras = {}) {
    TPptBuilder ppt;
    std::vector<std::string> list{SlidePersist(2)};
    list.insert(list.end(), listAtoms.begin(), listAtoms.end());
    ppt.Object(1, Document(list, documentExtras));
    ppt.Object(2, Slide(shapes));
    return ppt.File(ppt.Edit(1));
}

std::string ErrorOf(std::string_view bytes, std::string_view name = "deck.ppt") {
    try {
        ReadPptPresentation(bytes, name);
    } catch (const EhvError& error) {
        return error.what();
    }
    return "<no error>";
}

std::vector<std::string> Lines(const ThvSlideText& slide) {
    std::vector<std::string> lines;
    for (const ThvParagraph& p : slide.Body)
        lines.push_back(std::to_string(p.Level) + ":" + p.Text);
    return lines;
}

// ---- Synthetic files ---------------------------------------------------------------------------

TEST(PptDocumentTest, SlideTextComesInDrawingOrderEachTextOnce) {
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

TEST(PptDocumentTest, SlidesFollowTheSlideListAndKeepTextWithoutADrawing) {
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

TEST(PptDocumentTest, TableGroupGivesOneParagraphPerRow) {
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

TEST(PptDocumentTest, NewestEditWinsOverFastSavedObjects) {
    TPptBuilder ppt;
    ppt.Object(1, Document({SlidePersist(2)}));
    ppt.Object(2, Slide({OwnTextShape(kOther, Chars(u"old text"))}));
    const std::uint32_t first = ppt.Edit(1);
    // The fast save appends a new version of the slide only.
    ppt.Object(2, Slide({OwnTextShape(kOther, Chars(u"new text"))}));
    const std::uint32_t second = ppt.Edit(1, first);
    const auto newest = ReadPptPresentation(ppt.File(second), "deck.ppt");
    ASSERT_EQ(newest.Slides.size(), 1u);
    EXPECT_THAT(Lines(newest.Slides[0]), ElementsAre("0:new text"));
    // The document object named only by the first edit is still found through the chain.
    const auto older = ReadPptPresentation(ppt.File(first), "deck.ppt");
    EXPECT_THAT(Lines(older.Slides[0]), ElementsAre("0:old text"));
}

TEST(PptDocumentTest, DamagedStructuresFailWithTheirPlace) {
    {
        TPptBuilder ppt;
        ppt.Object(1, Document({}));
        const std::uint32_t edit = ppt.Edit(1);
        ppt.Stream().replace(edit + 16, 4, U32(edit));  // the edit names itself as previous
        EXPECT_THAT(ErrorOf(ppt.File(edit)),
                    HasSubstr("is damaged: the chain of edits loops back at offset"));
    }
    {
        TPptBuilder ppt;
        ppt.Object(1, Document({}));
        const std::uint32_t edit = ppt.Edit(1);
        EXPECT_THAT(ErrorOf(ppt.File(0)), HasSubstr("no edit record (found 0x03E8)"));
        ppt.Stream().replace(edit + 20, 4, U32(0));  // persist directory offset
        EXPECT_THAT(ErrorOf(ppt.File(edit)), HasSubstr("no persist directory"));
    }
    {
        TPptBuilder ppt;
        ppt.Object(1, Document({}));
        EXPECT_THAT(ErrorOf(ppt.File(ppt.Edit(4))),
                    HasSubstr("the document (persist object 4) is not in the persist directory"));
    }
    {
        // A text atom inside the slide list claims more than the list holds.
        std::string broken = Box(0x0FF0, {SlidePersist(2), Header(kTitle), Chars(u"x")});
        broken.replace(broken.size() - 2 - 4, 4, U32(1000));
        TPptBuilder ppt;
        ppt.Object(1, Box(0x03E8, {broken}));
        EXPECT_THAT(ErrorOf(ppt.File(ppt.Edit(1))),
                    HasSubstr("record 0x0FA0 claims 1000 bytes, more than its parent holds"));
    }
    EXPECT_THAT(ErrorOf("plain text, no compound file", "notes.ppt"),
                StartsWith("\"notes.ppt\" is damaged: compound file: the signature is missing"));
}

TEST(PptDocumentTest, GroupNestingIsLimited) {
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

TEST(PptDocumentTest, SlideCountIsLimited) {
    const auto slides = [](std::size_t count) {
        std::vector<std::string> list;
        for (std::size_t i = 0; i < count; ++i) list.push_back(SlidePersist(1000 + i));
        TPptBuilder ppt;
        ppt.Object(1, Document(list));
        return ppt.File(ppt.Edit(1));
    };
    const std::size_t limit = ThvEngineLimits().MaxSlides;
    EXPECT_EQ(ReadPptPresentation(slides(limit), "deck.ppt").Slides.size(), limit);
    EXPECT_THAT(ErrorOf(slides(limit + 1)), HasSubstr("more than 10000 slides"));
}

TEST(PptDocumentTest, ProtectedAndForeignContainersSayWhatTheyAre) {
    TPptBuilder ppt;
    ppt.Object(1, Document({}));
    ppt.Object(3, Rec(0x2F14, "not an encryption header", 0, 0xF));
    const std::uint32_t encrypted = ppt.Edit(1, 0, 3);
    EXPECT_EQ(ErrorOf(ppt.File(encrypted)),
              "\"deck.ppt\" is protected with a password; password-protected presentations "
              "cannot be read");
    const std::uint32_t plain = ppt.Edit(1);
    EXPECT_THAT(ErrorOf(ppt.File(plain, {{"\006DataSpaces/DataSpaceMap", "x"}})),
                HasSubstr("is protected by rights management"));
    EXPECT_THAT(ErrorOf(BuildTestCfb({{"PP40", "old"}, {"\x05SummaryInformation", "x"}}).Bytes),
                HasSubstr("was saved by PowerPoint 95 or older, which is not supported"));
    EXPECT_THAT(ErrorOf(BuildTestCfb({{"WordDocument", "x"}}).Bytes),
                HasSubstr("is not a PowerPoint presentation"));
    EXPECT_THAT(ErrorOf(BuildTestCfb({{"PowerPoint Document", "x"}}).Bytes),
                HasSubstr("the \"Current User\" stream is missing"));
}

TEST(PptDocumentTest, VbaInformationSetsHasVBProject) {
    const auto withVba = [](std::uint32_t persistRef) {
        const std::string info =
            Box(0x07D0, {Box(0x03FF, {Rec(0x0400, U32(persistRef) + U32(1) + U32(2), 0, 2)})});
        return OneSlideFile({}, {}, {info});
    };
    EXPECT_TRUE(ReadPptPresentation(withVba(9), "deck.ppt").HasVBProject);
    EXPECT_FALSE(ReadPptPresentation(withVba(0), "deck.ppt").HasVBProject);
}

// ---- Files made by other programs ----------------------------------------------------------

const std::string kCorpus = QUILLON_PUBLIC_CORPUS "/poi/";

class PptCorpusTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!DirectoryExists(kCorpus)) GTEST_SKIP() << "no public corpus at " << kCorpus;
    }
    static std::string Bytes(const std::string& name) {
        return ReadFileBytes(kCorpus + name, 64u << 20);
    }
    static std::string AllText(const ThvPresentationText& deck) {
        std::string text;
        for (const auto& slide : deck.Slides) {
            text += slide.Title + "\n";
            for (const auto& p : slide.Body) text += p.Text + "\n";
        }
        return text;
    }
    static std::string Error(const std::string& name, std::u16string_view password = {}) {
        try {
            const std::string bytes = Bytes(name);
            if (password.empty()) {
                ReadPptPresentation(bytes, name);
            } else {
                ReadPptPresentation(bytes, name, password);
            }
        } catch (const EhvError& error) {
            return error.what();
        }
        return "<no error>";
    }
};

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

TEST_F(PptCorpusTest, FastSavedTextOfOlderEditsNeverLeaks) {
    // bullets.ppt was saved six times; its first edit's slide list still lies in the stream.
    const std::string bytes = Bytes("bullets.ppt");
    const ThvCfbReader cfb(bytes);
    const std::string stream = cfb.ReadStream(*cfb.Find("PowerPoint Document"));
    ASSERT_NE(stream.find("First line\rSecond line"), std::string::npos);
    const std::string text = AllText(ReadPptPresentation(bytes, "bullets.ppt"));
    EXPECT_THAT(text, HasSubstr("This is a text placeholder that"));
    EXPECT_THAT(text, Not(HasSubstr("First line")));
    // 22 edits deep.
    EXPECT_FALSE(ReadPptPresentation(Bytes("47261.ppt"), "47261.ppt").Slides.empty());
}

TEST_F(PptCorpusTest, BadFilesEachGetTheirOwnMessage) {
    EXPECT_EQ(Error("PPT95.ppt"),
              "\"PPT95.ppt\" was saved by PowerPoint 95 or older, which is not supported");
    EXPECT_EQ(Error("pp40only.ppt"),
              "\"pp40only.ppt\" was saved by PowerPoint 95 or older, which is not supported");
    EXPECT_THAT(Error("Password_Protected-hello.ppt"), HasSubstr("is protected with a password"));
    EXPECT_THAT(Error("57272_corrupted_usereditatom.ppt"),
                HasSubstr("is damaged: the chain of edits loops back"));
    EXPECT_THAT(Error("clusterfuzz-testcase-minimized-POIHSLFFuzzer-5962760801091584.ppt"),
                HasSubstr("more than its parent holds"));
    EXPECT_THAT(Error("clusterfuzz-testcase-minimized-POIHSLFFuzzer-6710128412590080.ppt"),
                HasSubstr("is damaged: compound file: directory entry link"));
}

TEST_F(PptCorpusTest, EncryptedFilesOpenWithTheirPassword) {
    // The default password does not fit these files, but the same decryption opens them with
    // the one they were saved with; files "protected" with the default password open alike.
    const auto hello = ReadPptPresentation(Bytes("Password_Protected-hello.ppt"),
                                           "Password_Protected-hello.ppt", u"hello");
    ASSERT_EQ(hello.Slides.size(), 1u);
    EXPECT_EQ(hello.Slides[0].Title, "This is a protected document");
    EXPECT_THAT(Error("cryptoapi-proc2356.ppt", u"wrong"), HasSubstr("protected with a password"));
    EXPECT_THAT(AllText(ReadPptPresentation(Bytes("cryptoapi-proc2356.ppt"), "c.ppt", u"crypto")),
                HasSubstr("Dominic Salemno"));
}

TEST_F(PptCorpusTest, HasVBProjectFromTheVbaInformation) {
    EXPECT_TRUE(ReadPptPresentation(Bytes("SimpleMacro.ppt"), "m.ppt").HasVBProject);
    EXPECT_TRUE(ReadPptPresentation(Bytes("WithMacros.ppt"), "m.ppt").HasVBProject);
    EXPECT_FALSE(ReadPptPresentation(Bytes("SampleShow.ppt"), "s.ppt").HasVBProject);
}

}  // namespace
