#include "shell/hvLogPathCheck.h"

#include <gtest/gtest.h>

#include "discovery/hvBatch.h"
#include "discovery/hvMatch.h"
#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"
#include "project/hvProject.h"
#include "shell/hvApp.h"
#include "shell/hvInfo.h"
#include "shell/hvStartup.h"
#include "tempDir.h"

namespace {

// The globals of a run over in/ with the program in the temporary folder.
class ResultListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        hvApp = &app;
        hvInfo = &info;
        SetProductConstants(project);
        hvProject = &project;
        hvMatch = &match;
        ForceDirectories(dir / "in/sub");
        for (const char* name : {"in/a.pptx", "in/sub/b.pptx"}) WriteBytes(dir / name, "deck");
        project.Options.SetText("Source=" + dir / "in/*.ppt?\nTarget=" + dir / "out\n");
    }
    void TearDown() override {
        hvMatch = nullptr;
        hvProject = nullptr;
        hvInfo = nullptr;
        hvApp = nullptr;
    }
    // The refusal's reason, empty when the path passes.
    std::string Why(const std::string& path, ThvBatch* batch = nullptr) {
        try {
            CheckResultListPath(path, batch);
            return {};
        } catch (const EhvError& e) {
            const std::string text = e.what();
            EXPECT_TRUE(
                text.starts_with("Cannot write the list of results to \"" + path + "\": it is "))
                << text;
            return text.substr(text.find(": it is ") + 8);
        }
    }

    TempDir dir;
    ThvApp app{dir / "quillon", ""};
    ThvInfo info{dir / "quillon"};
    ThvProject project{dir / "quillon"};
    ThvMatch match;
};

const char* const kPresentation = "a presentation of this run.";

TEST_F(ResultListTest, FilesBesideTheProgramAndTheProjectAreRefused) {
    project.FileName = dir / "p.batch-quillon";
    WriteBytes(project.FileName, "Source=x");
    EXPECT_EQ(Why(project.FileName), "the project file of this run.");
    EXPECT_EQ(Why(dir / "quillon.batch-quillon"), "the default project file.");
    EXPECT_EQ(Why(dir / "quillon.log"), "the list of recent projects.");
    EXPECT_EQ(Why(dir / "./quillon.ext"), "the usage store.");
    EXPECT_EQ(Why(dir / "quillon"), "the program itself.");
    project.Options.SetValue("SourceList", dir / "files.txt");
    EXPECT_EQ(Why(dir / "files.txt"), "the source list of this run.");
    // The project's name is not a project file: then it names nothing the run reads.
    project.FileName = dir / "in/a.pptx.log";
    EXPECT_EQ(Why(dir / "in/a.pptx.log"), "");
    EXPECT_EQ(Why(dir / "run.log"), "");
    EXPECT_EQ(Why(dir / "missing/quillon.ext"), "");  // a folder that is not there holds nothing
}

TEST_F(ResultListTest, PresentationsOfTheRunAreRefusedByAnyName) {
    EXPECT_EQ(Why(dir / "in/a.pptx"), kPresentation);
    EXPECT_EQ(Why(dir / "in/sub/../new.pptm"), kPresentation);
    EXPECT_EQ(Why(dir / "in/sub/b.pptx"), "");  // "Subdir" is off
    project.Options.SetValue("Subdir", "1");
    EXPECT_EQ(Why(dir / "in/sub/b.pptx"), kPresentation);
    // A link to a presentation, wherever it is.
    ASSERT_EQ(symlink((dir / "in/a.pptx").c_str(), (dir / "link.log").c_str()), 0);
    EXPECT_EQ(Why(dir / "link.log"), kPresentation);
    project.Options.SetValue("RenameSource", ".done");
    EXPECT_EQ(Why(dir / "in/a.pptx.done"),
              "the name a presentation of this run gets when it is renamed (RenameSource).");
    project.Options.SetValue("RegExt", "b\\.pptx$");
    EXPECT_EQ(Why(dir / "in/a.pptx"), "");
}

TEST_F(ResultListTest, FilesAddedByHandToABatchAreItsPresentations) {
    WriteBytes(dir / "elsewhere.pptx", "deck");
    ThvBatch batch;
    batch.AddFile(dir / "elsewhere.pptx");
    EXPECT_EQ(Why(dir / "elsewhere.pptx", &batch), kPresentation);
    EXPECT_EQ(Why(dir / "in/../elsewhere.pptx", &batch), kPresentation);
    EXPECT_EQ(Why(dir / "other.pptx", &batch), "");
    EXPECT_EQ(Why(dir / "in/a.pptx", &batch), kPresentation);  // the project's source still counts
}

}  // namespace
