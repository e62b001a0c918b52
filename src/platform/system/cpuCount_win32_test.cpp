#include <gtest/gtest.h>
#include <windows.h>

#include <bit>

#include "platform/system/cpuCount.h"

namespace {

TEST(CpuCountWin32Test, AvailableCoresFollowTheAffinityMask) {
    DWORD_PTR process = 0, system = 0;
    ASSERT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &process, &system));
    EXPECT_EQ(AvailableCores(), std::popcount(static_cast<unsigned long long>(process)));
    // One processor allowed: one core.
    const DWORD_PTR lowest = process & (~process + 1);
    ASSERT_TRUE(SetProcessAffinityMask(GetCurrentProcess(), lowest));
    const int32_t one = AvailableCores();
    SetProcessAffinityMask(GetCurrentProcess(), process);
    EXPECT_EQ(one, 1);
}

}  // namespace
