// The window under load, on the off-screen platform: the real main window lists a tree or runs
// a conversion while a probe thread measures how long the event loop takes to answer (the
// longest stall), against the same work without a window, in the same process.
//
//   window_bench list ROOT        the window's Search of ROOT/* with sub-folders, then the
//                                 batch's search alone (no window, no rows)
//   window_bench run SOURCE OUT   the window's Convert of SOURCE into OUT
// Prints one line per measurement; peak memory is the process's (run each mode on its own).

#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QCheckBox>
#include <QLineEdit>
#include <QThread>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "hvActionButton.h"
#include "hvApp.h"
#include "hvApplication.h"
#include "hvBatch.h"
#include "hvDispatcher.h"
#include "hvEngine.h"
#include "hvFormMain.h"
#include "hvInfo.h"
#include "hvMatch.h"
#include "hvProject.h"
#include "hvResultsModel.h"
#include "hvStartup.h"
#include "shellOpen.h"

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
    static int64_t Now() {
        return std::chrono::steady_clock::now().time_since_epoch().count();
    }
    std::atomic<bool> stop_{false};
    std::atomic<int64_t> sent_{0}, worst_{0};
    std::thread thread_;
};

void Pump(const std::function<bool()>& done) {
    while (!done()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

long PeakKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: window_bench list ROOT | run SOURCE OUT\n");
        return 2;
    }
    const std::string mode = argv[1];
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int qtArgc = 1;
    ThvApplication application(qtArgc, argv);
    SetShellOpenHandler([](const std::string&) {});
    RegisterPowerPointEngine();
    const std::string exe = "/tmp/window-bench/quillon";
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
    {
        ThvFrmMain window;
        window.resize(1200, 600);
        window.show();
        StallProbe probe;
        QElapsedTimer timer;
        if (mode == "list") {
            const std::string source = std::string(argv[2]) + "/*";
            window.eSource->setText(QString::fromStdString(source));
            window.eTarget->setText("/tmp/window-bench/out/");
            window.cSubdir->setChecked(true);
            Pump([] { return true; });
            probe.Reset();
            timer.start();
            window.bSearch->click();
            ThvBatch* batch = window.Batch();
            Pump([&] {
                return batch->Searched() && window.Results()->rowCount() == batch->Count();
            });
            std::printf("window list: %d rows in %.3f s, longest stall %.1f ms\n",
                        window.Results()->rowCount(), timer.elapsed() / 1000.0, probe.WorstMs());
            timer.start();
            ThvBatch alone;
            alone.Start(source, "/tmp/window-bench/out/", true);
            alone.WaitForSearch();
            std::printf("search alone: %d files in %.3f s\n", alone.Count(),
                        timer.elapsed() / 1000.0);
            // The same search with an OnFound that does nothing: the search then gives up its
            // time slice after every node, as it does for the window.
            timer.start();
            ThvBatch yielding;
            yielding.OnFound = [](ThvBatch&, ThvNode&) {};
            yielding.Start(source, "/tmp/window-bench/out/", true);
            yielding.WaitForSearch();
            std::printf("search with OnFound: %d files in %.3f s\n", yielding.Count(),
                        timer.elapsed() / 1000.0);
        } else {
            window.eSource->setText(QString::fromStdString(argv[2]));
            window.eTarget->setText(QString::fromStdString(argc > 3 ? argv[3] : "/tmp/out"));
            Pump([] { return true; });
            probe.Reset();
            timer.start();
            window.bCreate->click();
            Pump([&] {
                return window.RunState() == ThvFrmMain::TRunState::Idle && window.Running() == 0;
            });
            std::printf("window run: %d files in %.3f s, longest stall %.1f ms\n",
                        window.Results()->rowCount(), timer.elapsed() / 1000.0, probe.WorstMs());
        }
    }
    std::printf("peak memory: %.1f MB\n", PeakKb() / 1024.0);
    hvMatch = nullptr;
    hvProject = nullptr;
    hvInfo = nullptr;
    hvApp = nullptr;
    return 0;
}
