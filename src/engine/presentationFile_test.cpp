#include "presentationFile.h"

#include <gtest/gtest.h>

#include <cstring>

#include "compoundProbe.h"
#include "hvError.h"
#include "ooxmlTestPackage.h"
#include "tempDir.h"

namespace {

std::string ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const EhvError& e) {
        return e.what();
    }
    return "(no error)";
}

std::string BytesError(const std::string& bytes) {
    return ErrorOf([&] { LoadPresentationBytes(bytes, "in.pptx"); });
}

void Put32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = char(value >> (8 * i));
}

/// A compound file of 512-byte sectors: the header, one allocation table sector (sector 0)
/// and a directory chain of two sectors (1 and 2, so the chain is followed), holding a root
/// entry and the named entries.
std::string CompoundFile(const std::vector<std::string>& names) {
    std::string bytes(512 * 4, '\0');
    std::memcpy(bytes.data(), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    bytes[0x18] = 0x3E;
    bytes[0x1A] = 3;
    bytes[0x1C] = char(0xFE);
    bytes[0x1D] = char(0xFF);
    bytes[0x1E] = 9;  // 512-byte sectors
    bytes[0x20] = 6;
    Put32(bytes, 0x2C, 1);  // one allocation table sector
    Put32(bytes, 0x30, 1);  // directory starts at sector 1
    Put32(bytes, 0x3C, 0xFFFFFFFE);
    Put32(bytes, 0x44, 0xFFFFFFFE);
    for (int i = 0; i < 109; ++i) Put32(bytes, 0x4C + 4 * i, i == 0 ? 0 : 0xFFFFFFFF);
    std::size_t fat = 512;
    Put32(bytes, fat + 0, 0xFFFFFFFD);  // sector 0 holds the table itself
    Put32(bytes, fat + 4, 2);           // directory: 1 -> 2 -> end
    Put32(bytes, fat + 8, 0xFFFFFFFE);
    for (int i = 3; i < 128; ++i) Put32(bytes, fat + 4 * i, 0xFFFFFFFF);
    std::vector<std::string> all{"Root Entry"};
    all.insert(all.end(), names.begin(), names.end());
    for (std::size_t i = 0; i < all.size(); ++i) {
        std::size_t entry = 1024 + 128 * i;  // sectors 1 and 2 are contiguous
        for (std::size_t c = 0; c < all[i].size(); ++c) bytes[entry + 2 * c] = all[i][c];
        bytes[entry + 64] = char(2 * (all[i].size() + 1));
        bytes[entry + 66] = i == 0 ? 5 : 2;
    }
    return bytes;
}

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
    EXPECT_EQ(BytesError(deck.substr(0, deck.size() / 2)),
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
    EXPECT_EQ(BytesError(CompoundFile({"Current User", "PowerPoint Document"})),
              "\"in.pptx\" is a binary PowerPoint 97-2003 presentation; binary PowerPoint "
              "97-2003 files are not supported yet");
    EXPECT_EQ(BytesError(CompoundFile({"WordDocument", "1Table"})),
              "\"in.pptx\" is not a presentation");
    std::string truncated = CompoundFile({"EncryptedPackage"}).substr(0, 1100);
    EXPECT_EQ(BytesError(truncated),
              "\"in.pptx\" is damaged: its compound file directory cannot be read");

    std::string nested;
    for (int i = 0; i < 300; ++i) nested += "<p:grpSp>";
    for (int i = 0; i < 300; ++i) nested += "</p:grpSp>";
    std::string deep = SlideXml(nested);
    std::string deepDeck = TPresentationBuilder().Slide(deep).Bytes();
    EXPECT_EQ(BytesError(deepDeck),
              "\"in.pptx\" is refused: its part \"ppt/slides/slide1.xml\" nests XML elements "
              "deeper than 256 levels");
}

TEST(PresentationFileTest, CompoundChainsThatLoopAreDamagedNotEndless) {
    std::string looping = CompoundFile({"EncryptedPackage"});
    Put32(looping, 512 + 8, 1);  // sector 2 leads back to sector 1
    EXPECT_EQ(BytesError(looping),
              "\"in.pptx\" is damaged: its compound file directory cannot be read");
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
    EXPECT_EQ(ErrorOf([&] { LoadPresentationFile(dir.Path()); }),
              "\"" + dir.Path() + "\" is a folder, not a presentation");
    EXPECT_EQ(ErrorOf([&] { LoadPresentationFile("HTTPS://example.com/talk.pptx"); }),
              "\"HTTPS://example.com/talk.pptx\" is an address on the network; remote files are "
              "not supported");
}

}  // namespace
