#include "engine/hvEngine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <openssl/err.h>

#include <thread>

#include "engine/testing/ooxmlCryptoTestWriter.h"
#include "engine/testing/ooxmlTestPackage.h"
#include "errorText.h"
#include "platform/files/fileSystem.h"
#include "platform/files/paths.h"
#include "tempDir.h"

namespace {

using ::testing::HasSubstr;

class EngineTest : public testing::Test {
  protected:
    void SetUp() override {
        RegisterPowerPointEngine();
        RegisterPowerPointEngine();  // idempotent
        app_ = CreateAutomationObject("powerpoint.APPLICATION");
        ASSERT_TRUE(app_);
    }

    AutomationObjectPtr Presentations() {
        return app_->Invoke("Presentations", ThvInvokeKind::Method, {}).ToObject();
    }

    AutomationObjectPtr Open(const std::string& path, bool readOnly = true) {
        return AutomationCall(*Presentations(), "Open", {path, readOnly}).ToObject();
    }

    std::string Deck(const std::string& name, const std::string& title, bool macros = false) {
        TPresentationBuilder builder;
        builder.Slide(
            SlideXml(Shape("title", Para(title)) + Shape("body-ph", Para("Body \xC3\xA9"))));
        if (macros) builder.WithMacros();
        WriteBytes(dir_ / name, builder.Bytes());
        return dir_ / name;
    }

    TempDir dir_;
    AutomationObjectPtr app_;
};

TEST_F(EngineTest, ApplicationPropertiesAreKeptAndReadBack) {
    EXPECT_EQ(AutomationCall(*app_, "version").ToString(), "16.0");
    EXPECT_EQ(AutomationGet(*app_, "Visible").ToBool(), false);
    AutomationPut(*app_, "VISIBLE", true);
    AutomationPut(*app_, "WindowState", int32_t(2));
    AutomationPut(*app_, "DisplayAlerts", 1.0);
    EXPECT_EQ(AutomationGet(*app_, "Visible").ToBool(), true);
    EXPECT_EQ(AutomationGet(*app_, "windowstate").ToInt32(), 2);
    EXPECT_EQ(AutomationCall(*app_, "DisplayAlerts").ToInt32(), 1);
    EXPECT_EQ(ErrorOf<EAutomationError>([&] { AutomationPut(*app_, "WindowState", int32_t(7)); }),
              "WindowState: 7 is out of range (1 to 3)");
    EXPECT_EQ(ErrorOf<EAutomationError>([&] { AutomationPut(*app_, "Visible", "yes"); }),
              "Visible: the argument Visible must be a boolean, not string");
    EXPECT_EQ(ErrorOf<EAutomationError>([&] { AutomationPut(*app_, "Version", "17.0"); }),
              "Application has no writable property \"Version\"");
    EXPECT_EQ(ErrorOf<EAutomationError>([&] { AutomationCall(*app_, "Frobnicate", {1}); }),
              "Application has no method or property \"Frobnicate\"");
}

TEST_F(EngineTest, PathIsTheRunningProgramsFolder) {
    std::string path = *AutomationGet(*app_, "Path").ToString();
    EXPECT_EQ(path, ExcludeTrailingPathDelimiter(ExtractFilePath(CurrentExecutablePath())));
    EXPECT_NE(path.back(), PathDelim);
    EXPECT_TRUE(DirectoryExists(path));
}

TEST_F(EngineTest, OpenSaveAsCloseWritesTheOutlineAtExactlyThePath) {
    AutomationObjectPtr presentation = Open(Deck("talk.pptx", "Quarterly {report}"));
    EXPECT_EQ(AutomationGet(*Presentations(), "Count").ToInt32(), 1);
    EXPECT_EQ(AutomationGet(*presentation, "HasVBProject").ToBool(), false);
    AutomationCall(*presentation, "SaveAs", {dir_ / "talk.txt", int32_t(6)});
    std::string rtf = ReadBytes(dir_ / "talk.txt");
    EXPECT_EQ(rtf.rfind("{\\rtf1", 0), 0u);
    EXPECT_NE(rtf.find("\\outlinelevel0\\f0\\fs32\\b Quarterly \\{report\\}\\par"),
              std::string::npos);
    EXPECT_NE(rtf.find("\\outlinelevel1\\f0\\fs24 Body \\u233?\\par"), std::string::npos);
    EXPECT_FALSE(FileExists(dir_ / "talk.rtf"));

    AutomationCall(*presentation, "Close");
    EXPECT_EQ(AutomationGet(*Presentations(), "Count").ToInt32(), 0);
    EXPECT_EQ(ErrorOf<EAutomationError>([&] {
                  AutomationCall(*presentation, "SaveAs", {dir_ / "x", 6});
              }),
              "The presentation \"" + (dir_ / "talk.pptx") + "\" has been closed");
}

TEST_F(EngineTest, TextContentReachesPresentationsOpenedAfterItAndSaveTextWritesEachForm) {
    TPresentationBuilder builder;
    builder.Slide(SlideXml(Shape("title", Para("Talk"))),
                  "<Relationship Id=\"rIdN\" Type=\"" + kRelTypes +
                      "notesSlide\" Target=\"../notesSlides/notesSlide1.xml\"/>",
                  {{"ppt/notesSlides/notesSlide1.xml",
                    "<p:notes xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
                    "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\">"
                    "<p:cSld><p:spTree>" +
                        Shape("body", Para("Say hello")) + "</p:spTree></p:cSld></p:notes>"}});
    WriteBytes(dir_ / "talk.pptx", builder.Bytes());
    EXPECT_EQ(AutomationGet(*app_, "TextContent").ToString(), "");
    AutomationObjectPtr before = Open(dir_ / "talk.pptx");
    AutomationPut(*app_, "TextContent", " Pictures,NOTES ");
    EXPECT_EQ(AutomationGet(*app_, "TextContent").ToString(), "notes,pictures");
    AutomationObjectPtr after = Open(dir_ / "talk.pptx");
    AutomationCall(*before, "SaveText", {dir_ / "before.md", "markdown", "include"});
    AutomationCall(*after, "SaveText", {dir_ / "after.md", "Markdown", "include"});
    EXPECT_EQ(ReadBytes(dir_ / "before.md"), "## 1. Talk\n");
    EXPECT_EQ(ReadBytes(dir_ / "after.md"), "## 1. Talk\n\n### Notes\n\nSay hello\n");
    AutomationCall(*after, "SaveText", {dir_ / "after.jsonl", "jsonl", "skip"});
    EXPECT_NE(ReadBytes(dir_ / "after.jsonl").find("\"notes\":\"Say hello\""), std::string::npos);
    AutomationCall(*after, "SaveText", {dir_ / "after.rtf", "outline", "mark"});
    EXPECT_NE(ReadBytes(dir_ / "after.rtf").find("Notes:\\par"), std::string::npos);

    EXPECT_EQ(ErrorOf<EAutomationError>([&] { AutomationPut(*app_, "TextContent", "notes,x"); }),
              "TextContent: \"x\" is none of notes, comments, pictures");
    EXPECT_EQ(ErrorOf<EAutomationError>([&] {
                  AutomationCall(*after, "SaveText", {dir_ / "x", "html", "include"});
              }),
              "SaveText: the format \"html\" is none of outline, markdown, jsonl");
    EXPECT_EQ(ErrorOf<EAutomationError>([&] {
                  AutomationCall(*after, "SaveText", {dir_ / "x", "jsonl", "hide"});
              }),
              "SaveText: hidden slides \"hide\" is none of include, mark, skip");
    EXPECT_FALSE(FileExists(dir_ / "x"));
}

TEST_F(EngineTest, ASalvagedFileSaysWhatWasSalvaged) {
    // A deck that lost its zip directory and whose second slide is not well formed.
    TPresentationBuilder builder;
    builder.Slide(SlideXml(Shape("title", Para("kept")))).Slide("<p:sld><p:cSld>");
    const std::string zip = builder.Bytes();
    WriteBytes(dir_ / "broken.pptx", zip.substr(0, zip.find(std::string_view("PK\x01\x02", 4))));
    AutomationObjectPtr broken = Open(dir_ / "broken.pptx");
    const std::string note = *AutomationGet(*broken, "SalvageNote").ToString();
    EXPECT_EQ(note.rfind("\"" + (dir_ / "broken.pptx") +
                             "\" was salvaged: its zip directory is "
                             "damaged (Not a zip archive): its parts were read from their local "
                             "headers; slide 2 is lost: its part \"ppt/slides/slide",
                         0),
              0u)
        << note;
    AutomationCall(*broken, "SaveAs", {dir_ / "broken.txt", int32_t(6)});
    EXPECT_NE(ReadBytes(dir_ / "broken.txt").find("kept"), std::string::npos);
    // A file read as it was saved has nothing to say.
    EXPECT_EQ(AutomationGet(*Open(Deck("whole.pptx", "t")), "SalvageNote").ToString(), "");
}

TEST_F(EngineTest, MacrosAreReported) {
    AutomationObjectPtr presentation = Open(Deck("macro.pptm", "m", true));
    EXPECT_EQ(AutomationCall(*presentation, "HasVBProject").ToBool(), true);
}

TEST_F(EngineTest, BadCallsFailWithClearMessages) {
    std::string deck = Deck("talk.pptx", "t");
    AutomationObjectPtr presentation = Open(deck);
    EXPECT_EQ(ErrorOf<EAutomationError>([&] {
                  AutomationCall(*presentation, "SaveAs", {dir_ / "a.pdf", 32});
              }),
              "SaveAs: file format 32 is not supported; only 6 (the rich-text outline) can be "
              "written");
    EXPECT_EQ(ErrorOf<EAutomationError>([&] {
                  AutomationCall(*presentation, "SaveAs", {dir_ / "a.rtf", 6.5});
              }),
              "SaveAs: the argument FileFormat must be an integer, not double");
    EXPECT_EQ(ErrorOf<EAutomationError>([&] {
                  AutomationCall(*presentation, "SaveAs", {int32_t(1), 6});
              }),
              "SaveAs: the argument FileName must be a string, not integer");
    EXPECT_EQ(ErrorOf<EAutomationError>([&] {
                  AutomationCall(*presentation, "SaveAs", {dir_.Path() + "no/such/dir/a.rtf", 6});
              }).rfind("Cannot create file", 0),
              0u);
    EXPECT_EQ(ErrorOf<EAutomationError>([&] {
                  AutomationCall(*Presentations(), "Open", {deck, "yes"});
              }),
              "Open: the argument ReadOnly must be a boolean, not string");
    EXPECT_EQ(ErrorOf<EAutomationError>([&] {
                  AutomationCall(*Presentations(), "Open", {deck, true, 1, 1, 1});
              }),
              "Open takes 1 to 4 arguments, not 5");
    WriteBytes(dir_ / "notes.pptx", "plain text, not a deck");
    EXPECT_EQ(ErrorOf<EAutomationError>([&] { Open(dir_ / "notes.pptx"); }),
              "\"" + (dir_ / "notes.pptx") + "\" is not a presentation");
    EXPECT_EQ(ErrorOf<EAutomationError>([&] { Open("http://example.com/a.pptx"); }),
              "\"http://example.com/a.pptx\" is an address on the network; remote files are not "
              "supported");
}

TEST_F(EngineTest, QuitEndsTheApplicationAndItsObjects) {
    AutomationObjectPtr presentations = Presentations();
    AutomationObjectPtr presentation = Open(Deck("talk.pptx", "t"));
    AutomationCall(*app_, "Quit");
    const std::string quit = "PowerPoint.Application has quit; its objects are no longer available";
    EXPECT_EQ(ErrorOf<EAutomationError>([&] { AutomationGet(*app_, "Version"); }), quit);
    EXPECT_EQ(ErrorOf<EAutomationError>([&] { AutomationGet(*presentations, "Count"); }), quit);
    EXPECT_EQ(ErrorOf<EAutomationError>([&] { AutomationCall(*presentation, "Close"); }), quit);
}

// A converter's thread may still be ending when the process exits, and then the crypto library
// frees nothing of what it keeps for that thread: quitting frees it at once, the error queue
// included (904 bytes that reading an encrypted deck sets up, and a leak check at exit finds).
// The library is loaded by the first encrypted deck, here one no password opens.
TEST_F(EngineTest, QuitFreesTheCryptoStateOfItsThread) {
    const std::string deck = dir_ / "locked.pptx";
    WriteBytes(deck, crypto_test::EncryptAgile(TPresentationBuilder().Bytes(), "secret", 1000));
    std::thread([&] {
        AutomationObjectPtr app = CreateAutomationObject("PowerPoint.Application");
        EXPECT_THAT(ErrorOf<EAutomationError>([&] {
                        AutomationCall(*AutomationGet(*app, "Presentations").ToObject(), "Open",
                                       {deck, true});
                    }),
                    HasSubstr("is protected with a password"));
        ERR_raise(ERR_LIB_USER, ERR_R_INTERNAL_ERROR);
        ASSERT_NE(ERR_peek_error(), 0u);
        AutomationCall(*app, "Quit");
        EXPECT_EQ(ERR_peek_error(), 0u) << "the thread's error queue outlived Quit";
    }).join();
}

TEST_F(EngineTest, ApplicationsOnSeveralThreadsConvertIndependently) {
    std::vector<std::string> decks;
    for (int i = 0; i < 4; ++i)
        decks.push_back(Deck("d" + std::to_string(i) + ".pptx", "Deck " + std::to_string(i)));
    std::vector<std::thread> threads;
    std::vector<std::string> failures(4);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            try {
                AutomationObjectPtr app = CreateAutomationObject("PowerPoint.Application");
                AutomationObjectPtr list = AutomationGet(*app, "Presentations").ToObject();
                for (int round = 0; round < 20; ++round) {
                    const std::string& deck = decks[(t + round) % 4];
                    AutomationObjectPtr p = AutomationCall(*list, "Open", {deck, true}).ToObject();
                    AutomationCall(*p, "SaveAs",
                                   {dir_ / ("out" + std::to_string(t) + ".txt"), int32_t(6)});
                    AutomationCall(*p, "Close");
                }
                AutomationCall(*app, "Quit");
            } catch (const EhvError& e) {
                failures[t] = e.what();
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < 4; ++t) {
        EXPECT_EQ(failures[t], "");
        // The last round of thread t converted deck (t + 19) % 4.
        EXPECT_NE(ReadBytes(dir_ / ("out" + std::to_string(t) + ".txt"))
                      .find("Deck " + std::to_string((t + 19) % 4) + "\\par"),
                  std::string::npos);
    }
}

}  // namespace
