#include "engine/presentationFile.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/cfb/compoundProbe.h"
#include "engine/testing/cfbTestWriter.h"
#include "engine/testing/ooxmlTestPackage.h"
#include "errorText.h"
#include "namedPipe.h"
#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"
#include "tempDir.h"

namespace {

std::string BytesError(const std::string& bytes) {
    return ErrorOf([&] { LoadPresentationBytes(bytes, "in.pptx"); });
}

/// A compound file holding a small stream of each name.
std::string CompoundFile(const std::vector<std::string>& names) {
    std::vector<TTestCfbStream> streams;
    for (const std::string& name : names) streams.push_back({name, "x"});
    return BuildTestCfb(streams).Bytes;
}

}  // namespace

TEST(PresentationFileTest, EachBadInputHasItsOwnMessage) {
    EXPECT_EQ(BytesError("just some text"), "\"in.pptx\" is not a presentation");
    EXPECT_EQ(BytesError(""), "\"in.pptx\" is not a presentation");
    // A zip that holds no presentation (a word-processing package, say).
    std::string document =
        TZipBuilder()
            .Add("_rels/.rels",
                 "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                 "relationships\"><Relationship Id=\"rId1\" Type=\"" +
                     kRelTypes + "officeDocument\" Target=\"word/document.xml\"/></Relationships>")
            .Add("word/document.xml",
                 "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/"
                 "main\"/>")
            .Bytes();
    EXPECT_EQ(BytesError(document), "\"in.pptx\" is not a presentation");
    EXPECT_EQ(BytesError(TZipBuilder().Add("a.txt", "x").Bytes()),
              "\"in.pptx\" is not a presentation");

    std::string deck = TPresentationBuilder().Slide(SlideXml(Shape("", Para("hi")))).Bytes();
    EXPECT_EQ(BytesError(deck.substr(0, 20)),
              "\"in.pptx\" is damaged: its zip container cannot be read (Not a zip archive)");

    EXPECT_EQ(BytesError(CompoundFile({"\x06"
                                       "DataSpaces",
                                       "EncryptionInfo", "EncryptedPackage"})),
              "\"in.pptx\" is protected with a password; password-protected presentations "
              "cannot be read");
    EXPECT_EQ(BytesError(CompoundFile({"\x06"
                                       "DataSpaces",
                                       "DRMEncryptedTransform", "EncryptedPackage"})),
              "\"in.pptx\" is protected by rights management (IRM); such presentations cannot "
              "be read");
    // A binary presentation goes to the binary reader, which finds this one's streams too short.
    const std::string binary = BytesError(CompoundFile({"Current User", "PowerPoint Document"}));
    EXPECT_TRUE(binary.starts_with("\"in.pptx\" is damaged: ")) << binary;
    EXPECT_EQ(binary.find("compound file directory"), std::string::npos) << binary;
    EXPECT_EQ(BytesError(CompoundFile({"WordDocument", "1Table"})),
              "\"in.pptx\" is not a presentation");
    std::string truncated = CompoundFile({"EncryptedPackage"}).substr(0, 1100);
    EXPECT_EQ(BytesError(truncated),
              "\"in.pptx\" is damaged: compound file: the directory runs past the end of the "
              "file at sector 1");

    std::string nested;
    for (int i = 0; i < 300; ++i) nested += "<p:grpSp>";
    for (int i = 0; i < 300; ++i) nested += "</p:grpSp>";
    std::string deep = SlideXml(nested);
    std::string deepDeck = TPresentationBuilder().Slide(deep).Bytes();
    EXPECT_EQ(BytesError(deepDeck),
              "\"in.pptx\" is refused: its part \"ppt/slides/slide1.xml\" nests XML elements "
              "deeper than 256 levels");
}

TEST(PresentationFileTest, CompoundFilesAreToldApartByTheirStreams) {
    EXPECT_EQ(BytesError(CompoundFile({"PP40", "\x05SummaryInformation"})),
              "\"in.pptx\" was saved by PowerPoint 95 or older, which is not supported");
    // PowerPoint 95's streams beside a document stream, without a later current-user record.
    EXPECT_EQ(BytesError(CompoundFile({"Header", "PowerPoint Document", "Current User"})),
              "\"in.pptx\" was saved by PowerPoint 95 or older, which is not supported");
    // A rights-managed binary presentation: its stand-in slide is not the content.
    EXPECT_EQ(BytesError(CompoundFile({"\x06"
                                       "DataSpaces/DataSpaceMap",
                                       "PowerPoint Document", "Current User"})),
              "\"in.pptx\" is protected by rights management (IRM); such presentations cannot "
              "be read");
}

TEST(PresentationFileTest, CompoundChainsThatLoopAreDamagedNotEndless) {
    TTestCfb looping = BuildTestCfb({{"EncryptedPackage", "x"}});
    looping.Put32(looping.FatEntryOffset(looping.FirstDirSector), looping.FirstDirSector);
    EXPECT_EQ(BytesError(looping.Bytes),
              "\"in.pptx\" is damaged: compound file: the chain of the directory loops at "
              "sector 1");
}

TEST(PresentationFileTest, FilesAreReadByContentNotByName) {
    TempDir dir;
    std::string deck =
        TPresentationBuilder().Slide(SlideXml(Shape("title", Para("Hello")))).Bytes();
    WriteBytes(dir / "named.txt", deck);
    EXPECT_EQ(LoadPresentationFile(dir / "named.txt").Slides.at(0).Title, "Hello");

    WriteBytes(dir / "secret.pptx", CompoundFile({"EncryptionInfo", "EncryptedPackage"}));
    EXPECT_EQ(ErrorOf([&] { LoadPresentationFile(dir / "secret.pptx"); }),
              "\"" + (dir / "secret.pptx") +
                  "\" is protected with a password; password-protected presentations cannot be "
                  "read");
    EXPECT_EQ(ErrorOf([&] { LoadPresentationFile(dir / "absent.pptx"); }),
              "\"" + (dir / "absent.pptx") + "\" cannot be opened: No such file or directory");
    // Opening a pipe for reading would wait for a writer that never comes.
    if (MakePipe(dir / "pipe.pptx")) {
        EXPECT_EQ(ErrorOf([&] { LoadPresentationFile(dir / "pipe.pptx"); }),
                  "\"" + (dir / "pipe.pptx") + "\" is not a regular file, not a presentation");
    }
    EXPECT_EQ(ErrorOf([&] { LoadPresentationFile(dir.Path()); }),
              "\"" + dir.Path() + "\" is a folder, not a presentation");
    EXPECT_EQ(ErrorOf([&] { LoadPresentationFile("HTTPS://example.com/talk.pptx"); }),
              "\"HTTPS://example.com/talk.pptx\" is an address on the network; remote files are "
              "not supported");
}

namespace {

const std::string kPublic = QUILLON_PUBLIC_CORPUS "/poi/";

ThvPresentationText ReadPublic(const std::string& name) {
    ThvReadOptions options;
    options.Content = {.Notes = true, .Comments = true, .Pictures = true};
    return LoadPresentationFile(kPublic + name, options);
}

std::vector<std::string> NotesBySlide(const ThvPresentationText& deck) {
    std::vector<std::string> notes;
    for (const ThvSlideText& slide : deck.Slides) {
        std::string text;
        for (const ThvParagraph& p : slide.Notes) text += p.Text + "|";
        notes.push_back(text);
    }
    return notes;
}

}  // namespace

TEST(PresentationContentTest, BothFormatsOfOneDeckGiveTheSameNotesSlideBySlide) {
    if (!FileExists(kPublic + "SampleShow.ppt")) GTEST_SKIP() << "no public corpus";
    const std::vector<std::string> binary = NotesBySlide(ReadPublic("SampleShow.ppt"));
    ASSERT_GE(binary.size(), 2u);
    EXPECT_EQ(binary[0].rfind("I am the notes of the first slide", 0), 0u) << binary[0];
    EXPECT_EQ(binary, NotesBySlide(ReadPublic("SampleShow.pptx")));
    // Notes in a text box of the notes page, as converted decks have them, are notes too.
    const std::vector<std::string> boxed = NotesBySlide(ReadPublic("42474-2.ppt"));
    ASSERT_GE(boxed.size(), 2u);
    EXPECT_EQ(boxed[1].rfind("A wide variety of hardware", 0), 0u) << boxed[1];
    // The page number and footer boxes of the notes pages are no notes.
    for (const char* name : {"45776.ppt", "aascu.org_workarea_downloadasset.aspx_id=5864.pptx"}) {
        for (const std::string& notes : NotesBySlide(ReadPublic(name)))
            EXPECT_TRUE(notes.empty() || notes.size() > 3) << name << ": " << notes;
    }
}

TEST(PresentationContentTest, CommentsAndHiddenSlidesOfPublicFiles) {
    if (!FileExists(kPublic + "WithComments.ppt")) GTEST_SKIP() << "no public corpus";
    const ThvPresentationText binary = ReadPublic("WithComments.ppt");
    ASSERT_EQ(binary.Slides.size(), 1u);
    ASSERT_EQ(binary.Slides[0].Comments.size(), 1u);
    EXPECT_EQ(binary.Slides[0].Comments[0].Author, "Administrator");
    EXPECT_EQ(binary.Slides[0].Comments[0].Text.rfind("This is a test comment", 0), 0u);
    const ThvPresentationText open = ReadPublic("45545_Comment.pptx");
    ASSERT_GE(open.Slides.size(), 2u);
    ASSERT_EQ(open.Slides[1].Comments.size(), 1u);
    EXPECT_EQ(open.Slides[1].Comments[0].Author, "XPVMWARE01");
    EXPECT_EQ(open.Slides[1].Comments[0].Text, "test phrase");
    std::size_t hidden = 0;
    for (const ThvSlideText& slide : ReadPublic("2411-Performance_Up.pptx").Slides)
        hidden += slide.Hidden;
    EXPECT_EQ(hidden, 2u);
}
