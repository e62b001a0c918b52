#include "shell/hvStartup.h"

#include <gtest/gtest.h>

#include <sstream>

#include "conversion/hvQUILLON.h"
#include "discovery/hvBatch.h"
#include "discovery/hvMatch.h"
#include "platform/files/fileSystem.h"
#include "platform/system/shellOpen.h"
#include "project/hvProject.h"
#include "scopedVariable.h"
#include "shell/hvApp.h"
#include "shell/hvInfo.h"
#include "shell/hvMain.h"
#include "tempDir.h"

TEST(Startup, ProductConstants) {
    ThvApp app("/opt/q/quillon", "");
    hvApp = &app;
    ThvProject project("/nonexistent/quillon");
    SetProductConstants(project);
    hvApp = nullptr;
    EXPECT_EQ(project.ConverterClass, &ThvQUILLON::Class());
    EXPECT_EQ(project.SourceMask, "*.ppt?");
    EXPECT_EQ(project.SourceFilter, "PowerPoint Workbook (*.ppt;*.pptx)|*.ppt;*.pptx");
    EXPECT_EQ(project.TargetExt, ".txt");
    EXPECT_EQ(project.ProjectExt, ".batch-quillon");
    EXPECT_EQ(project.ProjectFilter, "Quillon Project|*.batch-quillon");
    EXPECT_EQ(project.Title, "Quillon Converter");
    EXPECT_EQ(app.Title, "Quillon Converter");
    EXPECT_EQ(project.Version, "2024.16.323.2227");
    EXPECT_TRUE(hvSkipLockFiles);
}

TEST(Startup, RunModeChoice) {
    ThvProject project("/nonexistent/quillon");
    EXPECT_FALSE(IsUnattended(project));
    project.Options.SetText("PureConsole=1\nSource=/in/*.ppt?\n");
    EXPECT_TRUE(IsUnattended(project));
    project.Options.SetValue("Source", "http://example.org/a.ppt");
    EXPECT_FALSE(IsUnattended(project));
    project.Options.SetValue("Source", "/in/HTTP/*.ppt?");  // the search is case-sensitive
    EXPECT_TRUE(IsUnattended(project));
    // Only a source that begins with "http" is an address.
    project.Options.SetValue("Source", "/talks/http-talks/*.ppt?");
    EXPECT_TRUE(IsUnattended(project));
    project.Options.SetValue("Source", "https://example.org/a.ppt");
    EXPECT_FALSE(IsUnattended(project));
    project.Options.SetValue("PureConsole", "no");
    EXPECT_FALSE(IsUnattended(project));
}

TEST(Startup, GlobalsLiveForTheRunOnlyAndWindowRunnerDecidesTheExitCode) {
    TempDir dir;
    bool sawGlobals = false;
    SetWindowRunner([&] {
        sawGlobals = hvApp && hvInfo && hvProject && hvMain && hvMatch;
        return 0;
    });
    std::ostringstream err;
    EXPECT_EQ(RunQuillon(dir / "quillon", "", err), 0);
    SetWindowRunner({});
    EXPECT_TRUE(sawGlobals);
    EXPECT_EQ(hvApp, nullptr);
    EXPECT_EQ(hvProject, nullptr);
    EXPECT_EQ(hvMatch, nullptr);
}

TEST(Startup, ReportSwitchOpensItsLinkAndEndsBeforeTheMatcherExists) {
    TempDir dir;
    bool windowRan = false;
    std::vector<std::string> links;
    SetWindowRunner([&] { return windowRan = true, 0; });
    const auto previous =
        SetShellOpenHandler([&](const std::string& link) { links.push_back(link); });
    std::ostringstream err;
    EXPECT_EQ(RunQuillon(dir / "quillon", "-Ixyz", err), 0);
    EXPECT_EQ(RunQuillon(dir / "quillon", "/u", err), 0);
    SetShellOpenHandler(previous);
    SetWindowRunner({});
    EXPECT_FALSE(windowRan);
    EXPECT_EQ(err.str(), "");
    ASSERT_EQ(links.size(), 2u);
    EXPECT_NE(links[0].find("?a=ins&"), std::string::npos);
    EXPECT_TRUE(links[0].ends_with("&xyz"));
    EXPECT_NE(links[1].find("?a=uni&"), std::string::npos);
}

TEST(Startup, InstalledProgramKeepsItsFilesInTheUserDataFolder) {
    // A program in a system folder (which this one is not really in: nothing is read from it).
    const std::string exe = "/usr/lib/quillon-startup-test/quillon";
    TempDir dir;
    ScopedVariable data("XDG_DATA_HOME", (dir / "data").c_str());
    std::filesystem::create_directories(dir / "in");
    const std::string files = dir / "data/quillon/";
    std::ostringstream err;

    const std::string job = dir / "job.batch-quillon";
    const std::string options =
        "Source=" + dir / "in/*.ppt?" + "\r\nTarget=" + dir / "out" + "\r\nPureConsole=1\r\n";
    WriteBytes(job, options);
    EXPECT_EQ(RunQuillon(exe, job, err), 0) << err.str();
    EXPECT_TRUE(FileExists(files + "quillon.ext"));
    EXPECT_EQ(ReadBytes(files + "quillon.log"), job + "\r\n");  // the recent list

    // The default project is looked for there too.
    WriteBytes(files + "quillon.batch-quillon",
               options + "LogFile=" + dir / "default.log" + "\r\n");
    EXPECT_EQ(RunQuillon(exe, "", err), 0) << err.str();
    EXPECT_TRUE(FileExists(dir / "default.log"));
    EXPECT_EQ(err.str(), "");
}

TEST(Startup, AProjectThatCannotBeReadIsToldAndEndsTheRunWithoutAWindow) {
    TempDir dir;
    const std::string project = dir / "p.batch-quillon";
    WriteBytes(project, std::string("PureConsole=1\r\nSource=/in\0x\r\n", 29));
    const std::string why = "The project file \"" + project +
                            "\" could not be read: line 2 holds a NUL character, which no "
                            "option may hold.";
    std::ostringstream err;
    EXPECT_EQ(RunQuillon(dir / "quillon", project, err), 1);
    EXPECT_EQ(err.str(), "Application Error: " + why + "\n");

    // The window can still open and show the project's options, so it does, after saying why.
    bool windowRan = false;
    SetWindowRunner([&] { return windowRan = true, 0; });
    std::ostringstream windowErr;
    EXPECT_EQ(RunQuillon(dir / "quillon", project, windowErr), 0);
    SetWindowRunner({});
    EXPECT_TRUE(windowRan);
    EXPECT_EQ(windowErr.str(), "Quillon Converter: " + why + "\n");
}
