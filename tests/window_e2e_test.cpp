// The real executable in window mode: the window module found beside it or where a package
// installs it, a display that cannot be opened, and windows that run their batch and close,
// under a real X server (xvfb-run) or the toolkit's off-screen platform.

#include <sys/stat.h>

#include <algorithm>
#include <csignal>
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

    /// Runs the program with a window on the toolkit's off-screen platform.
    ProcessResult RunOffscreen(const std::vector<std::string>& args,
                               const std::function<void(pid_t)>& duringRun = {},
                               std::vector<std::string> env = {}) {
        env.push_back("QT_QPA_PLATFORM=offscreen");
        return Run(args, WindowEnv(env), -1, duringRun);
    }
    /// Whether ready() came true within 60 s.
    template <typename Ready>
    static bool WaitFor(Ready ready) {
        for (int i = 0; i < 6000; ++i) {
            if (ready()) return true;
            usleep(10000);
        }
        return false;
    }
    /// The names in folder and below that begin with prefix or end with suffix.
    static std::vector<std::string> Named(const std::string& folder, const std::string& prefix,
                                          const std::string& suffix) {
        std::vector<std::string> found;
        std::error_code error;
        for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            const std::string name = it->path().filename().string();
            if ((!prefix.empty() && name.starts_with(prefix)) ||
                (!suffix.empty() && name.ends_with(suffix)))
                found.push_back(it->path().string());
        }
        return found;
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

TEST_F(WindowProgramTest, TheRunEndLogEscapesNamesAsTheUnattendedLogDoes) {
    CopySamples();
    // A name with a line break and one holding the field separator.
    fs::rename(dir / "in/languages.pptx", dir / "in/forged\nSuccess => x.pptx");
    fs::rename(dir / "in/quarterly-review.pptx", dir / "in/a => b.pptx");
    const ProcessResult r = RunOffscreen({"-P:Source=" + dir / "in/*.pptx,Target=" + dir / "out," +
                                          "RunAndClose=1,LogFile=" + dir / "run.log"},
                                         {}, RecordingOpener());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string log = ReadBytes(dir / "run.log");
    EXPECT_NE(log.find("[Success] => " + dir.Path() + "in/forged\\x0ASuccess =\\x3E x.pptx => " +
                       dir.Path() + "out/forged\\x0ASuccess =\\x3E x.txt\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("[Success] => " + dir.Path() + "in/a =\\x3E b.pptx => "), std::string::npos)
        << log;
    // One line per file, whatever the names hold.
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3) << log;
}

TEST_F(WindowProgramTest, AStopSignalEndsAWindowRunAsItsStopDoes) {
    const std::string deck = std::string(QUILLON_SAMPLES) + "/quarterly-review.pptx";
    for (const int signal : {SIGTERM, SIGHUP}) {
        const std::string in = dir / ("in" + std::to_string(signal));
        const std::string out = dir / ("out" + std::to_string(signal));
        const std::string log = dir / ("run" + std::to_string(signal) + ".log");
        fs::create_directories(in);
        for (int i = 0; i < 400; ++i)
            fs::copy_file(deck, in + "/deck" + std::to_string(i) + ".pptx");
        const ProcessResult r =
            RunOffscreen({"-P:Source=" + in + "/*.pptx,Target=" + out +
                          ",RunAndClose=1,ThreadsCount=2," + "LogFile=" + log},
                         [&](pid_t pid) {
                             // Signalled while it converts: once its first text is in place.
                             EXPECT_TRUE(WaitFor([&] { return !Named(out, "", ".txt").empty(); }));
                             kill(pid, signal);
                         });
        EXPECT_EQ(r.exitCode, 128 + signal) << r.err;
        EXPECT_EQ(r.endSignal, 0) << "ended by the signal itself";
        // Its temporaries are gone, every text is whole, and the log names each of them.
        EXPECT_TRUE(Named(out, ".quillon-", "").empty());
        const std::string text = ReadBytes(log);
        const std::vector<std::string> texts = Named(out, "", ".txt");
        EXPECT_FALSE(texts.empty());
        EXPECT_LT(texts.size(), 400u) << "the run was not stopped";
        for (const std::string& t : texts) {
            EXPECT_EQ(ReadBytes(t), ReadBytes(texts[0])) << t;
            EXPECT_NE(text.find(" => " + t + "\r\n"), std::string::npos) << t;
        }
    }
}

TEST_F(WindowProgramTest, ADaemonWindowReportsAFailureOnceUntilItChanges) {
    CopySamples();
    const auto env = RecordingOpener();
    const ProcessResult r = RunOffscreen(
        {"-P:Source=" + dir / "in/*.pptx,Target=" + dir / "out,RunAndClose=1,Daemon=50"},
        [&](pid_t pid) {
            EXPECT_TRUE(WaitFor([&] { return fs::exists(links); }));
            // Runs go on every 50 ms with the same failure.
            usleep(1500000);
            EXPECT_EQ(Links(1).size(), 1u);
            // Another failure is reported again, once.
            WriteBytes(dir / "in/damaged.pptx", "no presentation at all");
            EXPECT_EQ(Links(2).size(), 2u);
            usleep(1000000);
            kill(pid, SIGTERM);
        },
        env);
    EXPECT_EQ(r.exitCode, 128 + SIGTERM) << r.err;
    const std::vector<std::string> reports = Links(2);
    EXPECT_EQ(reports.size(), 2u);
    if (reports.size() >= 2) {
        EXPECT_NE(reports[0], reports[1]);
    }
}

}  // namespace
