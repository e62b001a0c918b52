#include "platform/system/threadLocal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

std::atomic<int> destroyed{0};
std::atomic<int> intactAtDestruction{0};

// Its destructor reads its own members: on freed storage (the fault thread_local has with
// mingw-w64's std::thread) the text would not be intact.
struct TWitness {
    std::string Text = "intact, and long enough to live on the heap";
    std::vector<int> Numbers;
    ~TWitness() {
        if (Text == "intact, and long enough to live on the heap") ++intactAtDestruction;
        ++destroyed;
    }
};

TEST(ThreadLocalTest, EachThreadHasItsOwnValueDestroyedWhenItEnds) {
    static ThvThreadLocal<TWitness> witness;
    destroyed = 0;
    intactAtDestruction = 0;
    witness.Get().Numbers.push_back(-1);
    std::vector<std::thread> threads;
    std::atomic<int> sawOwnValue{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &sawOwnValue] {
            TWitness& mine = witness.Get();
            if (mine.Numbers.empty()) ++sawOwnValue;  // not the main thread's
            for (int i = 0; i < 100; ++i) witness.Get().Numbers.push_back(t);
            if (&witness.Get() == &mine && mine.Numbers.size() == 100u) ++sawOwnValue;
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(sawOwnValue, 8);
    EXPECT_EQ(destroyed, 4);  // the four threads' values; the main thread's lives on
    EXPECT_EQ(intactAtDestruction, 4);
    EXPECT_EQ(witness.Get().Numbers, std::vector<int>{-1});
}

TEST(ThreadLocalTest, ValuesAreMadeOnFirstUseOnly) {
    static ThvThreadLocal<int> counter;
    std::thread([] {
        EXPECT_EQ(counter.Get(), 0);
        counter.Get() = 5;
        EXPECT_EQ(counter.Get(), 5);
    }).join();
    EXPECT_EQ(counter.Get(), 0);
}

}  // namespace
