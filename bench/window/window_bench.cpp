// The window under load, on the off-screen platform: the real main window lists a tree or runs
// a conversion while a probe thread measures how long the event loop takes to answer (the
// longest stall), against the same work without a window.
//
//   window_bench list ROOT                 the window's Search of ROOT/* with sub-folders, then
//                                          the batch's search alone (no window, no rows)
//   window_bench run SOURCE OUT [N]        the window's Convert of SOURCE with sub-folders into
//                                          OUT, with N converters (default 1)
//   window_bench unattended SOURCE OUT [N] the unattended runner's run of the same, no window
// Prints one line per measurement; peak memory is the process's (bench/window/run.sh runs each
// mode in a process of its own). It builds for Windows too, where it runs under Wine.

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it builds on.
#include <psapi.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QLineEdit>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "discovery/hvBatch.h"
#include "discovery/hvMatch.h"
#include "engine/hvEngine.h"
#include "platform/files/paths.h"
#include "platform/system/processStart.h"
#include "platform/system/shellOpen.h"
#include "project/hvProject.h"
#include "shell/hvApp.h"
#include "shell/hvInfo.h"
#include "shell/hvMain.h"
#include "shell/hvStartup.h"
#include "ui/hvActionButton.h"
#include "ui/hvApplication.h"
#include "ui/hvDispatcher.h"
#include "ui/hvFormMain.h"
#include "ui/hvResultsModel.h"

namespace {

/// Posts a ping to the GUI thread every 5 ms and keeps the longest time one took to be handled.
class StallProbe : public QObject {
  public:
    StallProbe() {
        thread_ = std::thread([this] {
            while (!stop_) {
                sent_ = Now();
                QCoreApplication::postEvent(this, new QEvent(QEvent::User));
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    ~StallProbe() override {
        stop_ = true;
        thread_.join();
    }
    bool event(QEvent* e) override {
        if (e->type() != QEvent::User) return QObject::event(e);
        worst_ = std::max(worst_.load(), Now() - sent_.load());
        return true;
    }
    double WorstMs() const { return worst_ / 1e6; }
    void Reset() { worst_ = 0; }

  private:
    static int64_t Now() { return std::chrono::steady_clock::now().time_since_epoch().count(); }
    std::atomic<bool> stop_{false};
    std::atomic<int64_t> sent_{0}, worst_{0};
    std::thread thread_;
};

/// Runs the event loop as the program does (it sleeps while nothing is due) until done() holds,
/// looked at every millisecond.
void Pump(const std::function<bool()>& done) {
    if (done()) {
        QCoreApplication::processEvents();
        return;
    }
    QEventLoop loop;
    QTimer check;
    check.setTimerType(Qt::PreciseTimer);
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done()) loop.quit();
    });
    check.start(1);
    loop.exec();
}

#ifdef _WIN32
/// The processor time the process has used so far, all threads, in seconds.
double CpuSeconds() {
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    auto seconds = [](const FILETIME& t) {
        return ((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

PROCESS_MEMORY_COUNTERS MemoryCounters() {
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters;
}

/// The resident set (working set) now, in kB.
long ResidentKb() { return long(MemoryCounters().WorkingSetSize / 1024); }

long PeakKb() { return long(MemoryCounters().PeakWorkingSetSize / 1024); }
#else
/// The processor time the process has used so far, all threads, in seconds.
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

/// The resident set now, in kB.
long ResidentKb() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long PeakKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const bool listing = mode == "list" && argc == 3;
    const bool running = (mode == "run" || mode == "unattended") && (argc == 4 || argc == 5);
    if (!listing && !running) {
        std::fprintf(stderr,
                     "usage: window_bench list ROOT | run SOURCE OUT [N] | unattended SOURCE OUT "
                     "[N]\n");
        return 2;
    }
#ifndef _WIN32
    // On Windows the window runs on the desktop, as the program's does: Qt makes no off-screen
    // platform there (under Wine, on an X server; Wine passes no QT_ variable on).
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    // As the program's main does: the locale and time zone on POSIX, the console on Windows.
    PrepareProcess();
    int qtArgc = 1;
    ThvApplication application(qtArgc, argv);
    SetShellOpenHandler([](const std::string&) {});
    RegisterPowerPointEngine();
    // The program's files and the listing's target: in the system's temporary folder.
    const std::u8string temp = (std::filesystem::temp_directory_path() / "window-bench").u8string();
    const std::string scratch = IncludeTrailingPathDelimiter(std::string(temp.begin(), temp.end()));
    const std::string exe = scratch + "quillon";
    ThvApp app(exe, "");
    hvApp = &app;
    ThvInfo info(exe);
    hvInfo = &info;
    ThvProject project(exe);
    hvProject = &project;
    SetProductConstants(project);
    ThvMatch match;
    hvMatch = &match;
    ThvGuiDispatcher dispatcher;
    if (running) {
        // "True": the window's check box takes only the two words, as a project file has them.
        const std::string threads = argc > 4 ? argv[4] : "1";
        project.ParseCommandLine("-P:Source=" + std::string(argv[2]) + ",Target=" + argv[3] +
                                 ",Subdir=True,ThreadsCount=" + threads);
    }
    QElapsedTimer timer;
    if (mode == "unattended") {
        std::ostringstream progress;
        ThvMain runner(progress, false);
        const double cpu = CpuSeconds();
        timer.start();
        runner.Run();
        std::printf("unattended run: %d files in %.3f s, processor %.3f s\n", runner.Batch->Count(),
                    timer.elapsed() / 1000.0, CpuSeconds() - cpu);
    } else {
        ThvFrmMain window;
        window.resize(1200, 600);
        window.show();
        StallProbe probe;
        if (mode == "list") {
            const std::string source = IncludeTrailingPathDelimiter(argv[2]) + "*";
            window.eSource->setText(QString::fromStdString(source));
            window.eTarget->setText(QString::fromStdString(scratch + "out" + PathDelim));
            window.cSubdir->setChecked(true);
            Pump([] { return true; });
            const long before = ResidentKb();
            double cpu = CpuSeconds();
            probe.Reset();
            timer.start();
            window.bSearch->click();
            ThvBatch* batch = window.Batch();
            Pump([&] {
                return batch->Searched() && window.Results()->rowCount() == batch->Count();
            });
            std::printf("window list: %d rows in %.3f s, processor %.3f s, longest stall %.1f ms\n",
                        window.Results()->rowCount(), timer.elapsed() / 1000.0, CpuSeconds() - cpu,
                        probe.WorstMs());
            std::printf("memory added by the list: %.1f MB\n", (ResidentKb() - before) / 1024.0);
            cpu = CpuSeconds();
            timer.start();
            ThvBatch alone;
            alone.Start(source, scratch + "out" + PathDelim, true);
            alone.WaitForSearch();
            std::printf("search alone: %d files in %.3f s, processor %.3f s\n", alone.Count(),
                        timer.elapsed() / 1000.0, CpuSeconds() - cpu);
        } else {
            Pump([] { return true; });
            const double cpu = CpuSeconds();
            probe.Reset();
            timer.start();
            window.bCreate->click();
            // Idle, and every row shows its end: the list is what the user waits for.
            Pump([&] {
                if (window.RunState() != ThvFrmMain::TRunState::Idle || window.Running() != 0)
                    return false;
                const ThvResultsModel& rows = *window.Results();
                for (int i = rows.rowCount() - 1; i >= 0; --i)
                    if (rows.Row(i).Image == 0) return false;
                return true;
            });
            std::printf("window run: %d files in %.3f s, processor %.3f s, longest stall %.1f ms\n",
                        window.Results()->rowCount(), timer.elapsed() / 1000.0, CpuSeconds() - cpu,
                        probe.WorstMs());
        }
    }
    std::printf("peak memory: %.1f MB\n", PeakKb() / 1024.0);
    hvMatch = nullptr;
    hvProject = nullptr;
    hvInfo = nullptr;
    hvApp = nullptr;
    return 0;
}
