#include "shell/hvMain.h"

#include <gtest/gtest.h>

#include <sstream>

#include "conversion/hvConvertor.h"
#include "conversion/hvQUILLON.h"
#include "discovery/hvBatch.h"
#include "engine/hvEngine.h"
#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"
#include "platform/system/shellOpen.h"
#include "project/hvProject.h"
#include "shell/hvInfo.h"
#include "shell/hvStartup.h"
#include "tempDir.h"

namespace {

// The run's globals, as the start-up makes them, in a temporary folder.
class MainTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = SetShellOpenHandler([this](const std::string& link) { links.push_back(link); });
        RegisterPowerPointEngine();
        info = std::make_unique<ThvInfo>(dir / "quillon");
        hvInfo = info.get();
        SetProductConstants(project);
        hvProject = &project;
        ForceDirectories(dir / "in");
        project.Options.SetText("Source=" + dir / "in/*.ppt?\nTarget=" + dir / "out\n");
    }
    void TearDown() override {
        hvProject = nullptr;
        hvInfo = nullptr;
        SetShellOpenHandler(previous_);
    }

    TempDir dir;
    std::unique_ptr<ThvInfo> info;
    ThvProject project{dir / "quillon"};
    std::vector<std::string> links;

  private:
    ThvShellOpenHandler previous_;
};

}  // namespace

TEST_F(MainTest, ProgressOnATerminalOnly) {
    std::ostringstream terminal, pipe;
    WriteBytes(dir / "in/bad.pptx", "no deck?");
    ThvMain(terminal, true).Run();
    EXPECT_NE(terminal.str().find("\r\033[K1 files: 0 converted, 1 failed in "), std::string::npos)
        << terminal.str();
    // The summary says what converted: here the engine (PowerPoint only answers through COM).
    EXPECT_TRUE(terminal.str().ends_with(" s by the built-in engine\n")) << terminal.str();
    ThvMain(pipe, false).Run();
    EXPECT_EQ(pipe.str(), "");
}

TEST_F(MainTest, CountersReportAndLog) {
    WriteBytes(dir / "in/a?.pptx", "no deck");
    WriteBytes(dir / "in/b.pptx", "no deck");
    project.Options.SetValue("LogFile", dir / "run.log");
    std::ostringstream progress;
    ThvMain runner(progress, false);
    runner.Run();
    // Two failures; "?" reaches the report as %3F; counters after the run.
    ASSERT_EQ(links.size(), 1u);
    EXPECT_TRUE(links[0].starts_with("https://quillon.example.org/net/?a=err&e=")) << links[0];
    EXPECT_EQ(links[0].find('?', links[0].find("&e=")), std::string::npos) << links[0];
    EXPECT_NE(links[0].find("/in/a%3F.pptx"), std::string::npos) << links[0];
    const std::string store = info->StoreText();
    for (const char* counter : {"\nC=1\r\n", "\nA=2\r\n", "\nF=2\r\n"})
        EXPECT_NE(store.find(counter), std::string::npos) << counter << " in " << store;
    EXPECT_EQ(store.find("S="), std::string::npos);  // nothing converted: no entry
    EXPECT_EQ(runner.LogLines().size(), 2u);
    EXPECT_TRUE(ReadBytes(dir / "run.log").starts_with("Failure => " + dir / "in/"));

    // A run without failures opens nothing and an empty one still writes its (empty) log.
    std::filesystem::remove(dir / "in/a?.pptx");
    std::filesystem::remove(dir / "in/b.pptx");
    ThvMain(progress, false).Run();
    EXPECT_EQ(links.size(), 1u);
    EXPECT_EQ(ReadBytes(dir / "run.log"), "");
}

TEST_F(MainTest, EmptyTargetIsRefusedBeforeAnythingIsCounted) {
    project.Options.SetValue("Target", "");
    std::ostringstream progress;
    EXPECT_THROW(ThvMain(progress, false).Run(), EhvError);
    EXPECT_EQ(info->StoreText().find("C="), std::string::npos);
}

// The JSON log names a file that failed by the converters' own target rule, extensions
// included, not by a simpler one of its own.
TEST_F(MainTest, JsonLogNamesTheTextAFailedFileWouldHaveBeen) {
    project.TargetExtAlt = ".alt";
    project.TargetExtMacro = ".mac";
    WriteBytes(dir / "in/bad.pptx", "no deck");
    project.Options.SetValue("JsonLog", dir / "run.jsonl");
    std::ostringstream progress;
    ThvMain(progress, false).Run();
    const std::string record = ReadBytes(dir / "run.jsonl");
    EXPECT_NE(record.find("\"target\":\"" + dir / "out/bad.alt\""), std::string::npos) << record;
    EXPECT_NE(record.find("\"state\":\"Failure\""), std::string::npos) << record;
}

// A target given as a "file:" URL is made where it points, and nowhere else.
TEST_F(MainTest, TargetAsFileUrlIsMadeWhereItPoints) {
    project.Options.SetValue("Target", "file://" + dir / "url/out");
    project.Options.SetValue("ExitCodes", "strict");  // refuses a target it cannot make
    WriteBytes(dir / "in/bad.pptx", "no deck");
    std::ostringstream progress;
    ThvMain(progress, false).Run();
    EXPECT_TRUE(DirectoryExists(dir / "url/out"));
    EXPECT_FALSE(DirectoryExists("file:"));
}
