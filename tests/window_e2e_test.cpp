// The real executable in window mode: the window module found beside it or where a package
// installs it, a display that cannot be opened, and windows that run their batch and close,
// under a real X server (xvfb-run) or the toolkit's off-screen platform.

#include <sys/stat.h>

#include <cstdlib>

#include "programTest.h"

namespace {

namespace fs = std::filesystem;

class WindowProgramTest : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        fs::copy_file(QUILLON_WINDOW_MODULE, module);
    }
    /// The environment of a window run: sanitizer runtimes told about the toolkit.
    std::vector<std::string> WindowEnv(std::vector<std::string> env = {}) {
        // The toolkit's libraries are not instrumented for ThreadSanitizer: tsan.supp says
        // what of theirs is ignored (the sanitizers of other builds ignore this variable).
        const char* tsan = std::getenv("TSAN_OPTIONS");
        std::string options = tsan ? tsan : "";
        if (options.find("suppressions=") == std::string::npos)
            options += " suppressions=" QUILLON_TSAN_SUPPRESSIONS;
        env.push_back("TSAN_OPTIONS=" + options);
        // Without a session bus the toolkit's D-Bus client leaks one block at exit.
        env.push_back("DBUS_SESSION_BUS_ADDRESS=disabled:");
        return env;
    }
    /// Runs the program under its own X server.
    ProcessResult RunUnderX(const std::vector<std::string>& args) {
        std::vector<std::string> all = {"-a", "-s", "-screen 0 1280x800x24", exe};
        all.insert(all.end(), args.begin(), args.end());
        return RunProcess("/usr/bin/xvfb-run", all, work, WindowEnv({"QT_QPA_PLATFORM="}));
    }
    void CopySamples() {
        fs::create_directories(dir / "in");
        for (const char* name : {"quarterly-review.pptx", "languages.pptx", "damaged.pptx"})
            fs::copy_file(std::string(QUILLON_SAMPLES) + "/" + name, dir / "in/" + name);
    }

    std::string module = dir / "quillon-window.so";
};

TEST_F(WindowProgramTest, RunAndCloseProjectConvertsUnderXAndEndsWithZero) {
    if (!fs::exists("/usr/bin/xvfb-run")) GTEST_SKIP() << "xvfb-run is not installed";
    CopySamples();
    const std::string project = dir / "run.batch-quillon";
    WriteBytes(project, "Source=" + dir / "in/*.pptx\r\nTarget=" + dir / "out\r\nRunAndClose=1\r\n");
    const auto env = RecordingOpener();
    const ProcessResult r = RunUnderX({project});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "out/quarterly-review.txt"));
    EXPECT_TRUE(fs::exists(dir / "out/languages.txt"));
    EXPECT_FALSE(fs::exists(dir / "out/damaged.txt"));
    EXPECT_EQ(ReadBytes(recentList), project + "\r\n");
}

TEST_F(WindowProgramTest, AddressWithPureConsoleGetsAnInvisibleWindowThatClosesByItself) {
    const ProcessResult r =
        Run({"-P:Source=http://example.org/a.ppt,PureConsole=1,Target=" + dir / "out"},
            WindowEnv({"QT_QPA_PLATFORM=offscreen"}));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // The address failed alone (remote files are not read) and the run was counted.
    EXPECT_NE(ReadBytes(dir / "quillon.ext"), "");
}

TEST_F(WindowProgramTest, TheModuleIsFoundWhereAPackageInstallsIt) {
    fs::create_directories(dir / "bin");
    fs::create_directories(dir / QUILLON_MODULE_DIR);
    fs::rename(exe, dir / "bin/quillon");
    fs::rename(module, dir / QUILLON_MODULE_DIR "/quillon-window.so");
    const ProcessResult r =
        RunProcess(dir / "bin/quillon", {"-P:Source=http://example.org/a.ppt,PureConsole=1"},
                   work, WindowEnv({"QT_QPA_PLATFORM=offscreen"}));
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST_F(WindowProgramTest, AMissingModuleIsOneLineAndExitCodeOne) {
    fs::remove(module);
    const ProcessResult r = Run({}, {"QT_QPA_PLATFORM=offscreen"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_NE(r.err.find("the window is not installed (no " + module), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("PureConsole=1"), std::string::npos) << r.err;
    // The unattended run does not need the module at all.
    fs::create_directories(dir / "in");
    const ProcessResult unattended =
        Run({"-P:Source=" + dir / "in/*.ppt?,PureConsole=1,LogFile=" + dir / "run.log"});
    EXPECT_EQ(unattended.exitCode, 0) << unattended.err;
    EXPECT_TRUE(fs::exists(dir / "run.log"));
}

TEST_F(WindowProgramTest, ADisplayThatCannotBeOpenedIsOneLineAndExitCodeOne) {
    // A display is named, but no server answers there: the toolkit would abort.
    const ProcessResult r =
        Run({}, WindowEnv({"DISPLAY=:4711", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="}));
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_NE(r.err.find("no display could be opened"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("PureConsole=1"), std::string::npos) << r.err;
}

}  // namespace
