#include <gtest/gtest.h>
#include <sched.h>

#include "platform/system/cpuCount.h"

namespace {

TEST(CpuCountTest, AvailableCoresWithinTheAffinityMask) {
    cpu_set_t set;
    CPU_ZERO(&set);
    ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
    const int32_t cores = AvailableCores();
    EXPECT_GE(cores, 1);
    EXPECT_LE(cores, CPU_COUNT(&set));

    // Narrowed to one CPU, the answer follows.
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &set)) {
            CPU_SET(cpu, &one);
            break;
        }
    }
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    EXPECT_EQ(AvailableCores(), 1);
    sched_setaffinity(0, sizeof set, &set);
}

}  // namespace
