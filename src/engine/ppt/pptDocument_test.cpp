#include "engine/ppt/pptDocument.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/ppt/pptSlideText.h"
#include "engine/testing/pptCorpusTest.h"
#include "engine/testing/pptTestWriter.h"
#include "platform/files/fileSystem.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;
using namespace ppt_test;

std::string ErrorOf(std::string_view bytes, const ThvReadOptions& options = {}) {
    try {
        ReadPptPresentation(bytes, "deck.ppt", options);
    } catch (const EhvError& error) {
        return error.what();
    }
    return "<no error>";
}

/// Every body paragraph of every slide.
std::vector<std::string> Texts(const ThvPresentationText& deck) {
    std::vector<std::string> texts;
    for (const ThvSlideText& slide : deck.Slides) {
        for (const ThvParagraph& p : slide.Body) texts.push_back(p.Text);
    }
    return texts;
}

/// A file saved twice: the second save replaces the slide's text.
struct TTwoSaves {
    TPptBuilder Ppt;
    std::uint32_t First = 0, Second = 0, SecondDirectory = 0;

    TTwoSaves() {
        Ppt.Object(1, Document({SlidePersist(2)}));
        Ppt.Object(2, Slide({OwnTextShape(kOther, Chars(u"old text"))}));
        First = Ppt.Edit(1);
        // The fast save appends a new version of the slide only.
        Ppt.Object(2, Slide({OwnTextShape(kOther, Chars(u"new text"))}));
        Second = Ppt.Edit(1, First);
        SecondDirectory = Second - 16;  // one entry: its header, a count word, an offset
    }
};

TEST(PptDocumentTest, NewestEditWinsOverFastSavedObjects) {
    TTwoSaves file;
    const auto newest = ReadPptPresentation(file.Ppt.File(file.Second), "deck.ppt");
    EXPECT_THAT(Texts(newest), ElementsAre("new text"));
    EXPECT_THAT(newest.Salvaged, IsEmpty());
    // The document object named only by the first edit is still found through the chain.
    EXPECT_THAT(Texts(ReadPptPresentation(file.Ppt.File(file.First), "deck.ppt")),
                ElementsAre("old text"));
}

TEST(PptDocumentTest, DamagedEditChainsAreRebuiltFromTheSavesInTheStream) {
    const auto read = [](const std::string& bytes) {
        return ReadPptPresentation(bytes, "deck.ppt");
    };
    {
        // The newest edit names itself as the one before: the chain loops.
        TTwoSaves file;
        file.Ppt.Stream().replace(file.Second + 16, 4, U32(file.Second));
        const auto deck = read(file.Ppt.File(file.Second));
        EXPECT_THAT(Texts(deck), ElementsAre("new text"));
        ASSERT_EQ(deck.Salvaged.size(), 1u);
        EXPECT_THAT(deck.Salvaged[0],
                    StartsWith("its chain of edits is damaged (the chain of edits loops back at "
                               "offset " +
                               std::to_string(file.Second)));
        EXPECT_THAT(deck.Salvaged[0], HasSubstr("rebuilt from the 2 saves found in the stream"));
    }
    {
        // The current-user record points outside the stream, or at the document.
        TTwoSaves file;
        EXPECT_THAT(Texts(read(file.Ppt.File(1u << 30))), ElementsAre("new text"));
        EXPECT_THAT(Texts(read(file.Ppt.File(0))), ElementsAre("new text"));
    }
    {
        // The newest edit's persist directory offset is wrong: its directory lies just before
        // it all the same.
        TTwoSaves file;
        file.Ppt.Stream().replace(file.Second + 20, 4, U32(3));
        const auto deck = read(file.Ppt.File(file.Second));
        EXPECT_THAT(Texts(deck), ElementsAre("new text"));
        EXPECT_THAT(deck.Salvaged.at(0), HasSubstr("no persist directory"));
    }
    {
        // The newest persist directory itself is damaged: the save before it is what is left.
        TTwoSaves file;
        file.Ppt.Stream().replace(file.SecondDirectory + 8, 4, U32(2 | 9u << 20));
        const auto deck = read(file.Ppt.File(file.Second));
        EXPECT_THAT(Texts(deck), ElementsAre("old text"));
        EXPECT_THAT(deck.Salvaged.at(0), HasSubstr("rebuilt from the 1 save found"));
    }
}

TEST(PptDocumentTest, DamagedStructuresFailWithTheirPlace) {
    {
        // Nothing in the stream to rebuild from: the chain's own message.
        TPptBuilder ppt;
        ppt.Object(1, Document({}));
        EXPECT_THAT(ErrorOf(ppt.File(0)),
                    HasSubstr("is damaged: no edit record (found 0x03E8) at offset 0 of the "
                              "\"PowerPoint Document\" stream"));
    }
    {
        TPptBuilder ppt;
        ppt.Object(1, Document({}));
        EXPECT_THAT(ErrorOf(ppt.File(ppt.Edit(4))),
                    HasSubstr("the document (persist object 4) is not in the persist directory"));
    }
    {
        // A text atom claims more than the slide list holds, before any slide: nothing of the
        // list can be read (a damaged record after a slide costs less: PptSlideTextTest).
        std::string broken = Box(0x0FF0, {Header(kTitle), Chars(u"x")});
        broken.replace(broken.size() - 2 - 4, 4, U32(1000));
        TPptBuilder ppt;
        ppt.Object(1, Box(0x03E8, {broken}));
        EXPECT_THAT(ErrorOf(ppt.File(ppt.Edit(1))),
                    HasSubstr("record 0x0FA0 claims 1000 bytes, more than its parent holds"));
    }
    EXPECT_THAT(ErrorOf("plain text, no compound file"),
                StartsWith("\"deck.ppt\" is damaged: compound file: the signature is missing"));
    EXPECT_THAT(ErrorOf(BuildTestCfb({{"PowerPoint Document", "x"}}).Bytes),
                HasSubstr("the \"Current User\" stream is missing"));
}

TEST(PptDocumentTest, OnlyTheRecordsReadAreLoadedAndEachWithinTheLimit) {
    ThvReadOptions options;
    options.Limits.MaxPartBytes = 64 * 1024;
    // An embedded object far beyond the record limit, in the document stream itself, and a
    // sound inside the document container: neither is ever read.
    const std::string embedded = Rec(0x1011, std::string(300000, 'o'));
    const std::string sounds = Box(0x07E4, {Rec(0x07E6, std::string(200000, 's'))});
    TPptBuilder ppt;
    ppt.Object(1, Document({SlidePersist(2)}, {sounds}));
    ppt.Object(3, embedded);
    ppt.Object(2, Slide({OwnTextShape(kOther, Chars(u"kept"))}));
    const auto deck = ReadPptPresentation(ppt.File(ppt.Edit(1)), "deck.ppt", options);
    EXPECT_THAT(Texts(deck), ElementsAre("kept"));
    // A slide is read whole, so a slide beyond the limit is refused.
    TPptBuilder big;
    big.Object(1, Document({SlidePersist(2)}));
    big.Object(2, Slide({OwnTextShape(kOther, Chars(std::u16string(40000, u'x')))}));
    EXPECT_THAT(ErrorOf(big.File(big.Edit(1)), options),
                HasSubstr("is refused: its record 0x03EE at offset"));
}

TEST(PptDocumentTest, AnUnreadableEncryptionIsProtectedWithAPassword) {
    TPptBuilder ppt;
    ppt.Object(1, Document({}));
    ppt.Object(3, Rec(0x2F14, "not an encryption header", 0, 0xF));
    bool asked = false;
    ThvReadOptions options;
    options.Passwords = [&asked] {
        asked = true;
        return std::vector<std::string>{"guess", "another"};
    };
    // No password opens an encryption this reader does not know: it says which, and asks for
    // none.
    EXPECT_EQ(ErrorOf(ppt.File(ppt.Edit(1, 0, 3)), options),
              "\"deck.ppt\" is protected with a password; password-protected presentations "
              "cannot be read (its encryption (version 28526.8308) is not one this program "
              "reads)");
    EXPECT_FALSE(asked);
    // RC4 CryptoAPI's version, with AES named as its cipher.
    std::string aes = std::string("\x04\x00\x02\x00", 4) + std::string(4, '\0') +
                      std::string("\x20\x00\x00\x00", 4) + std::string(8, '\0') +
                      std::string("\x0E\x66\x00\x00\x04\x80\x00\x00\x80\x00\x00\x00", 12) +
                      std::string(12, '\0') + std::string(60, '\x10');
    TPptBuilder other;
    other.Object(1, Document({}));
    other.Object(3, Rec(0x2F14, aes, 0, 0xF));
    EXPECT_THAT(ErrorOf(other.File(other.Edit(1, 0, 3)), options),
                HasSubstr("cannot be read (its cipher or hash is not one this program reads)"));
    EXPECT_FALSE(asked);
    // A file that is not encrypted never asks for passwords.
    asked = false;
    TPptBuilder plain;
    plain.Object(1, Document({}));
    ReadPptPresentation(plain.File(plain.Edit(1)), "deck.ppt", options);
    EXPECT_FALSE(asked);
}

// ---- Files made by other programs ----------------------------------------------------------

class PptCorpusDocumentTest : public TPptCorpusTest {
  protected:
    static ThvReadOptions WithPasswords(std::vector<std::string> passwords) {
        ThvReadOptions options;
        options.Passwords = [passwords] { return passwords; };
        return options;
    }
    static std::string Error(const std::string& name, const ThvReadOptions& options = {}) {
        try {
            ReadPptPresentation(Bytes(name), name, options);
        } catch (const EhvError& error) {
            return error.what();
        }
        return "<no error>";
    }
};

TEST_F(PptCorpusDocumentTest, FastSavedTextOfOlderEditsNeverLeaks) {
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

TEST_F(PptCorpusDocumentTest, AnEditChainThatLoopsIsRebuilt) {
    // Its newest edit but two names itself as the edit before it.
    const auto deck = ReadPptPresentation(Bytes("57272_corrupted_usereditatom.ppt"), "c.ppt");
    ASSERT_FALSE(deck.Slides.empty());
    ASSERT_EQ(deck.Salvaged.size(), 1u);
    EXPECT_THAT(deck.Salvaged[0], HasSubstr("loops back"));
    EXPECT_THAT(deck.Salvaged[0], HasSubstr("rebuilt from the 5 saves"));
}

TEST_F(PptCorpusDocumentTest, BadFilesEachGetTheirOwnMessage) {
    EXPECT_THAT(Error("Password_Protected-hello.ppt"), HasSubstr("is protected with a password"));
    EXPECT_THAT(Error("clusterfuzz-testcase-minimized-POIHSLFFuzzer-5962760801091584.ppt"),
                HasSubstr("more than its parent holds"));
    EXPECT_THAT(Error("clusterfuzz-testcase-minimized-POIHSLFFuzzer-6710128412590080.ppt"),
                HasSubstr("is damaged: compound file: directory entry link"));
}

TEST_F(PptCorpusDocumentTest, EncryptedFilesOpenWithTheirPassword) {
    // The default password does not fit these files; the one they were saved with does, after
    // wrong ones.
    const auto hello =
        ReadPptPresentation(Bytes("Password_Protected-hello.ppt"), "Password_Protected-hello.ppt",
                            WithPasswords({"wrong", "hello"}));
    ASSERT_EQ(hello.Slides.size(), 1u);
    EXPECT_EQ(hello.Slides[0].Title, "This is a protected document");
    for (const char* name :
         {"Password_Protected-56-hello.ppt", "Password_Protected-np-hello.ppt"}) {
        EXPECT_FALSE(
            ReadPptPresentation(Bytes(name), name, WithPasswords({"hello"})).Slides.empty())
            << name;
    }
    EXPECT_THAT(Error("cryptoapi-proc2356.ppt", WithPasswords({"wrong"})),
                HasSubstr("protected with a password"));
    EXPECT_THAT(AllText(ReadPptPresentation(Bytes("cryptoapi-proc2356.ppt"), "c.ppt",
                                            WithPasswords({"crypto"}))),
                HasSubstr("Dominic Salemno"));
    EXPECT_FALSE(ReadPptPresentation(Bytes("ppt_with_png_encrypted.ppt"), "p.ppt",
                                     WithPasswords({"password"}))
                     .Slides.empty());
}

}  // namespace
