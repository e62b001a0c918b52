// Runs the real program, copied into a temporary folder so that the files it keeps beside
// itself (default project, recent-project list) are the test's own.

#include <gtest/gtest.h>

#include <filesystem>

#include "process.h"
#include "tempDir.h"

namespace {

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::copy_file(QUILLON_EXE, exe);
        std::filesystem::create_directory(work);
    }
    ProcessResult Run(const std::vector<std::string>& args = {}) {
        return RunProcess(exe, args, work);
    }

    TempDir dir;
    std::string exe = dir / "quillon";
    std::string work = dir / "work";
    std::string defaultProject = dir / "quillon.batch-quillon";
    std::string recentList = dir / "quillon.log";
};

}  // namespace

TEST_F(ProgramTest, NoArgumentNoDefaultProjectGoesToWindowMode) {
    const ProcessResult r = Run();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("no window"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    // The recent-project list is written at shut-down even when it is empty.
    EXPECT_TRUE(std::filesystem::exists(recentList));
    EXPECT_EQ(ReadBytes(recentList), "");
}

TEST_F(ProgramTest, DefaultProjectWithPureConsoleRunsUnattended) {
    WriteBytes(defaultProject, "Source=/data/in/*.ppt?\r\nPureConsole=1\r\nTarget=/data/out\r\n");
    const ProcessResult r = Run({});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Source: /data/in/*.ppt?"), std::string::npos) << r.out;
    EXPECT_EQ(ReadBytes(recentList), defaultProject + "\r\n");
}

TEST_F(ProgramTest, OptionArgumentDerivesTargetAndLaterArgumentsAreIgnored) {
    const ProcessResult r = Run({"-P:Source=/data/in/*.ppt?,PureConsole=1", "-Ixyz", "more"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Target: /data/in/"), std::string::npos) << r.out;
}

TEST_F(ProgramTest, HttpSourceStaysInWindowMode) {
    const ProcessResult r = Run({"-P:Source=http://example.org/a.ppt,PureConsole=1"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("no window"), std::string::npos) << r.err;
}

TEST_F(ProgramTest, ProjectFileArgumentIsReadAndRemembered) {
    const std::string project = dir / "my.batch-quillon";
    // UTF-16 with its mark, as some editors save it.
    std::string text;
    for (char c : std::string("PureConsole=True\r\nSource=/p/*.ppt?\r\n")) text += {c, '\0'};
    WriteBytes(project, "\xFF\xFE" + text);
    const ProcessResult r = Run({project});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Source: /p/*.ppt?"), std::string::npos) << r.out;
    EXPECT_EQ(ReadBytes(recentList), project + "\r\n");
}

TEST_F(ProgramTest, ReportSwitchesEndAtOnceWithoutOutput) {
    WriteBytes(defaultProject, "PureConsole=1\r\nSource=/data/in/*.ppt?\r\n");
    for (const std::string arg : {"-Ixyz", "/i", "/u", "-U"}) {
        const ProcessResult r = Run({arg});
        EXPECT_EQ(r.exitCode, 0) << arg;
        EXPECT_EQ(r.out, "") << arg;  // the default project was never opened, nothing ran
        EXPECT_EQ(r.err, "") << arg;
    }
}

TEST_F(ProgramTest, BadFilesBesideTheProgramAreHarmless) {
    std::string garbage;
    for (int i = 0; i < 70000; ++i) garbage += static_cast<char>(i * 131 % 256);
    WriteBytes(defaultProject, garbage);
    WriteBytes(recentList, garbage);
    const ProcessResult r = Run();
    EXPECT_EQ(r.exitCode, 0) << r.err;
}
