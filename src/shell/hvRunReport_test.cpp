#include "shell/hvRunReport.h"

#include <gtest/gtest.h>

#include "discovery/hvBatch.h"
#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"
#include "platform/system/shellOpen.h"
#include "project/hvProject.h"
#include "shell/hvInfo.h"
#include "shell/hvStartup.h"
#include "tempDir.h"

namespace {

// A run's end on a batch whose files have been counted as the converters count them.
class RunReportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = SetShellOpenHandler([this](const std::string& link) { links.push_back(link); });
        info = std::make_unique<ThvInfo>(dir / "quillon");
        hvInfo = info.get();
        SetProductConstants(project);
        hvProject = &project;
    }
    void TearDown() override {
        hvProject = nullptr;
        hvInfo = nullptr;
        SetShellOpenHandler(previous_);
    }
    std::string Counter(const std::string& name) const {
        ThvOptionList store;
        store.SetText(info->StoreText());
        return store.Value(name);
    }
    /// Three files: one converted, two failed with the same message.
    void CountThreeFiles() {
        for (const char* name : {"/in/a.pptx", "/in/bad?x.pptx", "/in/c.pptx"})
            batch.AddFile(name);
        batch.AddSuccess();
        batch.AddFailure("/in/bad?x.pptx: not a presentation");
        batch.AddFailure("/in/bad?x.pptx: not a presentation");
    }

    TempDir dir;
    std::unique_ptr<ThvInfo> info;
    ThvProject project{dir / "quillon"};
    ThvBatch batch;
    std::vector<std::string> links;

  private:
    ThvShellOpenHandler previous_;
};

}  // namespace

TEST_F(RunReportTest, CountsReportsOnceAndWritesTheLog) {
    CountThreeFiles();
    ReportRun(batch, dir / "run.log", [](const auto& put) {
        put("one");
        put("two");
    });
    EXPECT_EQ(Counter("A"), "3");
    EXPECT_EQ(Counter("S"), "1");
    EXPECT_EQ(Counter("F"), "2");
    // One report, the message once, "?" encoded once: %3F, not %253F (the link drops the
    // double quotes of the comma text).
    ASSERT_EQ(links.size(), 1u);
    const std::string& link = links[0];
    EXPECT_TRUE(link.starts_with("https://quillon.example.org/net/?a=err&e=")) << link;
    EXPECT_NE(link.find("e=/in/bad%3Fx.pptx:%20not%20a%20presentation&p="), std::string::npos)
        << link;
    EXPECT_EQ(ReadBytes(dir / "run.log"), "one\r\ntwo\r\n");
}

TEST_F(RunReportTest, WithoutFailuresOrLogFileNothingIsOpenedOrWritten) {
    batch.AddFile("/in/a.pptx");
    batch.AddSuccess();
    bool asked = false;
    ReportRun(batch, "", [&](const auto&) { asked = true; });
    EXPECT_TRUE(links.empty());
    EXPECT_FALSE(asked);  // no log: its lines are not even made
    EXPECT_EQ(Counter("S"), "1");
    EXPECT_EQ(Counter("F"), "");  // a figure of 0 changes nothing
    EXPECT_EQ(FailureReportLink(batch), "");

    // An empty run still writes its (empty) log.
    ThvBatch empty;
    ReportRun(empty, dir / "empty.log", [](const auto&) {});
    EXPECT_TRUE(FileExists(dir / "empty.log"));
    EXPECT_EQ(ReadBytes(dir / "empty.log"), "");
}

TEST_F(RunReportTest, ALogThatCannotBeWrittenFailsAfterTheCountersAndTheReport) {
    CountThreeFiles();
    EXPECT_THROW(
        ReportRun(batch, dir / "missing/run.log", [](const auto& put) { put("x"); }),
        EhvError);
    EXPECT_EQ(Counter("F"), "2");
    EXPECT_EQ(links.size(), 1u);
}

TEST_F(RunReportTest, TheReportAddressIsBuiltWithoutOpeningIt) {
    CountThreeFiles();
    const std::string link = FailureReportLink(batch);
    EXPECT_TRUE(links.empty());
    OpenFailureReport(batch);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0], link);
}

TEST_F(RunReportTest, AnOwnerThatRunsAgainReportsTheSameFailuresOnce) {
    CountThreeFiles();
    std::string reported;
    ReportRun(batch, "", {}, &reported);
    ReportRun(batch, "", {}, &reported);
    EXPECT_EQ(links.size(), 1u);
    batch.AddFile("/in/d.pptx");
    batch.AddFailure("/in/d.pptx: cut short");
    ReportRun(batch, "", {}, &reported);
    EXPECT_EQ(links.size(), 2u) << "new failures are reported again";
}

TEST_F(RunReportTest, AnOwnerThatOffersTheReportOpensNothingButCountsAndLogs) {
    CountThreeFiles();
    ReportRun(
        batch, dir / "run.log", [](const auto& put) { put("one"); }, nullptr,
        ThvFailureReport::Offer);
    EXPECT_TRUE(links.empty());
    EXPECT_EQ(Counter("F"), "2");
    EXPECT_EQ(ReadBytes(dir / "run.log"), "one\r\n");
    EXPECT_FALSE(FailureReportLink(batch).empty());
}
