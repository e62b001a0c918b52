// Runs the real program, copied into a temporary folder so that the files it keeps beside
// itself (default project, recent-project list) are the test's own.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
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

TEST_F(ProgramTest, ReportSwitchesOpenTheirLinkAndEndAtOnce) {
    // A recording stand-in for the desktop's opener, first on the PATH.
    const std::string bin = dir / "bin", links = dir / "links.txt";
    std::filesystem::create_directory(bin);
    WriteBytes(bin + "/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + links + "'\n");
    std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
    const std::vector<std::string> env{"PATH=" + bin + ":" + getenv("PATH")};

    WriteBytes(defaultProject, "PureConsole=1\r\nSource=/data/in/*.ppt?\r\n");
    for (const std::string arg : {"-Ixyz", "/u"}) {
        const ProcessResult r = RunProcess(exe, {arg}, work, env);
        EXPECT_EQ(r.exitCode, 0) << arg;
        EXPECT_EQ(r.out, "") << arg;  // the default project was never run
        EXPECT_EQ(r.err, "") << arg;
    }
    // The opener runs detached; give it a moment.
    const auto lineCount = [&] {
        const std::string text = ReadBytes(links);
        return std::count(text.begin(), text.end(), '\n');
    };
    for (int i = 0; i < 200 && lineCount() < 2; ++i) usleep(50000);
    const std::string text = ReadBytes(links);
    const std::string first = text.substr(0, text.find('\n'));
    EXPECT_TRUE(first.starts_with(
        "https://quillon.example.org/net/?a=ins&p=quillon&v=2024.16.323.2227&c=r1&i="))
        << text;
    EXPECT_TRUE(first.ends_with("&xyz")) << text;
    EXPECT_NE(
        text.find("\nhttps://quillon.example.org/net/?a=uni&p=quillon&v=2024.16.323.2227&c=r2&i="),
        std::string::npos)
        << text;
    // The usage store beside the program counted both starts.
    EXPECT_TRUE(std::filesystem::exists(dir / "quillon.ext"));
    EXPECT_EQ(std::filesystem::file_size(dir / "quillon.ext") % 2, 0u);
}

TEST_F(ProgramTest, BadFilesBesideTheProgramAreHarmless) {
    std::string garbage;
    for (int i = 0; i < 70000; ++i) garbage += static_cast<char>(i * 131 % 256);
    WriteBytes(defaultProject, garbage);
    WriteBytes(recentList, garbage);
    const ProcessResult r = Run();
    EXPECT_EQ(r.exitCode, 0) << r.err;
}
