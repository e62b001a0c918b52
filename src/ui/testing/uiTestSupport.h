#pragma once

// The program's process-wide objects as the start-up makes them, in a temporary folder, with
// the real main window, its about box, the GUI dispatcher and the Qt choosers, for tests that
// drive the window by object name.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "conversion/hvConvertor.h"
#include "discovery/hvBatch.h"
#include "discovery/hvMatch.h"
#include "engine/hvEngine.h"
#include "platform/system/choosers.h"
#include "platform/system/shellOpen.h"
#include "project/hvProject.h"
#include "shell/hvApp.h"
#include "shell/hvInfo.h"
#include "shell/hvStartup.h"
#include "tempDir.h"
#include "ui/hvDispatcher.h"
#include "ui/hvFormMain.h"
#include "ui/hvQtChoosers.h"
#include "ui/hvQuillonAbout.h"

/// Runs the event loop until done() holds or limit has passed; answers done().
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > limit.count()) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

/// Waits past the platform's double-click time, so that the next click on a button is a click
/// of its own and not the second of a double click.
inline void AfterDoubleClickTime() {
    QThread::msleep(static_cast<unsigned long>(QApplication::doubleClickInterval()) + 20);
}

/// Finds a child of the window by object name, failing the test when it is missing.
template <typename T>
T* Find(QObject* parent, const char* name) {
    T* found = parent->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previousOpener_ =
            SetShellOpenHandler([this](const std::string& link) { links.push_back(link); });
        RegisterPowerPointEngine();
        app = std::make_unique<ThvApp>(dir / "quillon", "");
        hvApp = app.get();
        info = std::make_unique<ThvInfo>(dir / "quillon");
        hvInfo = info.get();
        project = std::make_unique<ThvProject>(dir / "quillon");
        hvProject = project.get();
        SetProductConstants(*project);
        match = std::make_unique<ThvMatch>();
        hvMatch = match.get();
        dispatcher = std::make_unique<ThvGuiDispatcher>();
        // A test that forgot to answer a chooser would wait for a user: fail it instead.
        chooserWatch_.setInterval(500);
        QObject::connect(&chooserWatch_, &QTimer::timeout, [] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* dialog = qobject_cast<QFileDialog*>(w); dialog && dialog->isVisible()) {
                    ADD_FAILURE() << "a file dialog opened without an answer from the test";
                    dialog->reject();
                }
            }
        });
        chooserWatch_.start();
    }

    void TearDown() override {
        CloseWindow();
        SetChoosers({});
        dispatcher.reset();
        hvMatch = nullptr;
        match.reset();
        hvProject = nullptr;
        project.reset();
        hvInfo = nullptr;
        info.reset();
        hvApp = nullptr;
        app.reset();
        SetShellOpenHandler(previousOpener_);
    }

    /// Options as the command line gives them, then the window as the start-up makes it.
    void OpenWindow(const std::string& options = "") {
        if (!options.empty()) ASSERT_TRUE(project->ParseCommandLine("-P:" + options));
        else ASSERT_TRUE(project->ParseCommandLine(""));
        window = std::make_unique<ThvFrmMain>();
        hvFrmMain = window.get();
        InstallQtChoosers(window.get());
        about = std::make_unique<ThvFrmQuillonAbout>(window.get());
        hvFrmQuillonAbout = about.get();
        about->ShowAbout();
        window->show();
    }

    void CloseWindow() {
        hvFrmQuillonAbout = nullptr;
        about.reset();
        window.reset();
    }

    /// Waits until the window's run has ended.
    bool WaitForIdle() {
        return PumpUntil([this] {
            return window->RunState() == ThvFrmMain::TRunState::Idle && window->Running() == 0;
        });
    }

    std::string Counter(const std::string& name) const {
        ThvOptionList store;
        store.SetText(info->StoreText());
        return store.Value(name);
    }

    TempDir dir;
    std::vector<std::string> links;
    std::unique_ptr<ThvApp> app;
    std::unique_ptr<ThvInfo> info;
    std::unique_ptr<ThvProject> project;
    std::unique_ptr<ThvMatch> match;
    std::unique_ptr<ThvGuiDispatcher> dispatcher;
    std::unique_ptr<ThvFrmMain> window;
    std::unique_ptr<ThvFrmQuillonAbout> about;

  private:
    ThvShellOpenHandler previousOpener_;
    QTimer chooserWatch_;
};

/// A converter whose files wait at a gate the test opens, so a run can be held in any state.
/// Each file it lets through succeeds with the text "done" and no file written.
class TGate {
  public:
    void Open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    void Close() {
        std::lock_guard lock(mutex_);
        open_ = false;
    }
    void Pass() {
        std::unique_lock lock(mutex_);
        ++waiting_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
        --waiting_;
        ++passed_;
    }
    int Waiting() {
        std::lock_guard lock(mutex_);
        return waiting_;
    }
    int Passed() {
        std::lock_guard lock(mutex_);
        return passed_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    int waiting_ = 0;
    int passed_ = 0;
};

inline TGate& Gate() {
    static TGate gate;
    return gate;
}

class ThvGateConvertor : public ThvConvertor {
  public:
    using ThvConvertor::ThvConvertor;
    static const ThvConvertorClass& Class() {
        static const ThvConvertorClass cls{
            "ThvGateConvertor",
            [](ThvBatch& batch, int32_t count, const ThvNodeEvent& onFileDone) {
                return std::shared_ptr<ThvConvertor>(
                    std::make_shared<ThvGateConvertor>(batch, count, onFileDone));
            }};
        return cls;
    }

  protected:
    /// A file whose name holds "fail" fails with a message of two lines, the others succeed.
    void ConvertFile(ThvBatch& batch, ThvNode& node) override {
        Gate().Pass();
        if (node.Source.find("fail") != std::string::npos) {
            node.Result = "first line\r\nsecond line";
            node.State = ThvNode::Failure;
            batch.AddFailure(node.Result);
        } else {
            node.Result = "done";
            node.State = ThvNode::Success;
            batch.AddSuccess();
        }
    }
};
