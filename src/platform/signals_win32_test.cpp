// The console's control events as stop requests. The events go to every process of the
// console, so each test has a console of its own: death tests run in a new process.
#include <gtest/gtest.h>

#include <csignal>

#include "hvError.h"
#include "signals.h"

#include <windows.h>

namespace {

// Sends the event to this process's console and waits until the system's handler thread
// has run our handler: until Received() shows a request, or a second after the send.
bool SendAndWait(DWORD event, int expected) {
    if (!GenerateConsoleCtrlEvent(event, 0)) return false;
    for (int i = 0; i < 100 && ThvStopSignals::Received() != expected; ++i) Sleep(10);
    return true;
}

// A console for the events: ours, or a new one when the tests run without (under Wine with
// its output piped).
bool HaveConsole() { return GetConsoleWindow() != nullptr || AllocConsole() || GetLastError() == ERROR_ACCESS_DENIED; }

TEST(ThvStopSignalsWin32DeathTest, TheFirstEventIsRecordedAndASecondEndsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (!HaveConsole()) std::_Exit(3);
            {
                ThvStopSignals stop;
                if (!SendAndWait(CTRL_BREAK_EVENT, SIGBREAK)) std::_Exit(4);
                if (ThvStopSignals::Received() != SIGBREAK) std::_Exit(5);
                if (ThvStopSignals::Name(SIGBREAK) != "SIGBREAK") std::_Exit(6);
            }
            if (ThvStopSignals::Received() != 0) std::_Exit(7);
            // Without an owner the event is not ours: the system's handler ends the process.
            ThvStopSignals stop;
            SendAndWait(CTRL_BREAK_EVENT, SIGBREAK);
            SendAndWait(CTRL_BREAK_EVENT, -1);
            std::_Exit(0);
        },
        testing::ExitedWithCode(static_cast<int>(STATUS_CONTROL_C_EXIT)), "");
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
}

}  // namespace
