// Calls from worker threads into the GUI thread.

#include "ui/hvDispatcher.h"

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <future>
#include <mutex>
#include <thread>

#include "discovery/hvBatch.h"
#include "errorText.h"
#include "platform/system/mainThread.h"
#include "ui/testing/uiTestSupport.h"

namespace {

TEST(GuiDispatcher, RunsTheCallOnTheGuiThreadWhileTheWorkerWaits) {
    ThvGuiDispatcher dispatcher;
    QThread* gui = QThread::currentThread();
    std::atomic<bool> ranOnGui{false}, returned{false};
    std::thread worker([&] {
        RunOnMainThread([&] { ranOnGui = QThread::currentThread() == gui; });
        returned = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_TRUE(ranOnGui);
    // On the GUI thread itself the call runs at once.
    bool direct = false;
    dispatcher.Run([&] { direct = true; });
    EXPECT_TRUE(direct);
}

TEST(GuiDispatcher, TheGuiThreadMayTakeTheBatchLockWhileWorkersWaitForIt) {
    ThvGuiDispatcher dispatcher;
    ThvBatch batch;
    batch.AddFile("/a.pptx");
    std::atomic<int> done{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < 4; ++i)
        workers.emplace_back([&] {
            for (int k = 0; k < 50; ++k) {
                RunOnMainThread([&] { (void)batch.Count(); });  // the GUI thread locks
                batch.AddSuccess();                              // the worker locks
            }
            ++done;
        });
    ASSERT_TRUE(PumpUntil([&] {
        ThvBatchLock lock(batch);  // held by the GUI thread between turns of its loop
        return done.load() == 4;
    }));
    for (auto& w : workers) w.join();
    EXPECT_EQ(batch.Succeeded(), 200);
}

TEST(GuiDispatcher, ACallThatCannotBeDeliveredWakesItsWorkerWithAnError) {
    auto dispatcher = std::make_unique<ThvGuiDispatcher>();
    std::promise<std::string> outcome;
    std::thread worker([&] {
        outcome.set_value(ErrorOf([] { RunOnMainThread([] { FAIL() << "ran after close"; }); }));
    });
    // The call is queued but the GUI thread never runs it: the dispatcher closes first.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    dispatcher.reset();
    worker.join();
    const std::string error = outcome.get_future().get();
    EXPECT_NE(error.find("could not be delivered"), std::string::npos) << error;
    EXPECT_FALSE(HasMainThreadDispatcher());
    EXPECT_NE(ErrorOf([] { RunOnMainThread([] {}); }), "(no error)");
}

class GuiDispatcherErrors : public WindowTest {};

TEST_F(GuiDispatcherErrors, AnErrorOfTheCallReleasesTheWorkerAndReachesTheEventLoop) {
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        RunOnMainThread([] { throw EhvError("broken"); });
        returned = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return returned.load(); }));
    worker.join();
    // The event loop's handler counted it and reported it, as any error of the GUI thread.
    EXPECT_EQ(Counter("E"), "1");
    ASSERT_EQ(links.size(), 1u);
    EXPECT_NE(links[0].find("a=err&e=broken"), std::string::npos) << links[0];
}

TEST_F(GuiDispatcherErrors, CallsQueuedBehindOneThatThrowsStillRun) {
    std::atomic<int> returned{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < 4; ++i)
        workers.emplace_back([&] {
            RunOnMainThread([] { throw EhvError("broken"); });
            ++returned;
        });
    // All four are queued before the GUI thread looks; each error ends its own delivery.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(PumpUntil([&] { return returned.load() == 4; }, std::chrono::seconds(10)));
    for (auto& w : workers) w.join();
    EXPECT_EQ(Counter("E"), "4");
}

}  // namespace
