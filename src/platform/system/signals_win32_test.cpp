// The console's control events as stop requests. A console sends its events to every process
// attached to it; Wine without a terminal has no console that can send them, and says so.
#include <gtest/gtest.h>
#include <windows.h>

#include <csignal>

#include "platform/base/hvError.h"
#include "platform/system/signals.h"

namespace {

// Sends the event to this process's console; then waits until the thread the system starts
// for it has run our handler (Received() shows expected), a second at most.
bool SendAndWait(DWORD event, int expected) {
    if (!GenerateConsoleCtrlEvent(event, 0)) return false;
    for (int i = 0; i < 100 && ThvStopSignals::Received() != expected; ++i) Sleep(10);
    return true;
}

TEST(ThvStopSignalsWin32Test, OneOwnerAtATimeAndNamesAsOnPosix) {
    {
        ThvStopSignals stop;
        EXPECT_TRUE(ThvStopSignals::Held());
        EXPECT_EQ(ThvStopSignals::Received(), 0);
        EXPECT_THROW(ThvStopSignals(), EhvError);
    }
    EXPECT_FALSE(ThvStopSignals::Held());
    EXPECT_EQ(ThvStopSignals::Name(SIGINT), "SIGINT");
    EXPECT_EQ(ThvStopSignals::Name(SIGTERM), "SIGTERM");
    EXPECT_EQ(ThvStopSignals::Name(SIGBREAK), "SIGBREAK");
}

TEST(ThvStopSignalsWin32DeathTest, TheFirstEventIsRecordedAndASecondEndsTheProgram) {
    {
        ThvStopSignals stop;
        if (!SendAndWait(CTRL_BREAK_EVENT, SIGBREAK))
            GTEST_SKIP() << "this process has no console that sends control events (error "
                         << GetLastError() << ")";
        EXPECT_EQ(ThvStopSignals::Received(), SIGBREAK);
    }
    EXPECT_EQ(ThvStopSignals::Received(), 0);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ThvStopSignals stop;
            SendAndWait(CTRL_BREAK_EVENT, SIGBREAK);
            // The second: the system's own handler ends the process, as if nobody caught it.
            SendAndWait(CTRL_BREAK_EVENT, -1);
            std::_Exit(0);
        },
        testing::ExitedWithCode(static_cast<int>(STATUS_CONTROL_C_EXIT)), "");
}

}  // namespace
