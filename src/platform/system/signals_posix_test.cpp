#include "platform/system/signals.h"

#include <gtest/gtest.h>
#include <signal.h>

#include "platform/base/hvError.h"

namespace {

void Noted(int) {}

TEST(ThvStopSignalsTest, TheFirstRequestIsRecordedAndTheOldHandlerComesBack) {
    signal(SIGTERM, &Noted);
    {
        ThvStopSignals stop;
        EXPECT_TRUE(ThvStopSignals::Held());
        EXPECT_EQ(ThvStopSignals::Received(), 0);
        EXPECT_THROW(ThvStopSignals(), EhvError);
        raise(SIGTERM);
        EXPECT_EQ(ThvStopSignals::Received(), SIGTERM);
        EXPECT_EQ(ThvStopSignals::Name(ThvStopSignals::Received()), "SIGTERM");
    }
    EXPECT_FALSE(ThvStopSignals::Held());
    EXPECT_EQ(ThvStopSignals::Received(), 0);
    struct sigaction now {};
    sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, &Noted);
    signal(SIGTERM, SIG_DFL);

    ThvStopSignals again;
    EXPECT_EQ(ThvStopSignals::Received(), 0);  // a new owner starts afresh
}

TEST(ThvStopSignalsTest, AnIgnoredRequestStaysIgnored) {
    signal(SIGINT, SIG_IGN);
    {
        ThvStopSignals stop;
        raise(SIGINT);
        EXPECT_EQ(ThvStopSignals::Received(), 0);
    }
    signal(SIGINT, SIG_DFL);
}

TEST(ThvStopSignalsDeathTest, ASecondRequestEndsTheProgramByThatSignal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ThvStopSignals stop;
            raise(SIGTERM);
            raise(SIGINT);
            std::exit(0);
        },
        testing::KilledBySignal(SIGINT), "");
}

}  // namespace
