#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>

#include "platform/system/processStart.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kOwnAllocator = true;  // the sanitizer's allocator stands in for the C library's
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kOwnAllocator = true;
#else
constexpr bool kOwnAllocator = false;
#endif
#else
constexpr bool kOwnAllocator = false;
#endif

// Exits 0 when a block of half kKeptAllocationBytes (four times the C library's default
// threshold) came from the heap and, freed, stayed in it; 1 when it was mapped apart or went
// back to the system.
[[noreturn]] void ExitWithWhereABlockWent() {
    const std::size_t size = kKeptAllocationBytes / 2;
    const struct mallinfo2 before = mallinfo2();
    void* volatile block = std::malloc(size);
    const bool mapped = mallinfo2().hblks != before.hblks;
    std::free(block);
    const bool kept = mallinfo2().fordblks >= size;
    std::_Exit(!mapped && kept ? 0 : 1);
}

// Each case runs in a new process, whose allocator has seen nothing of the other tests.
TEST(PrepareProcessTest, AFreedBlockOfUpToAMegabyteStaysForTheNextFile) {
    if (kOwnAllocator) GTEST_SKIP() << "a sanitizer's allocator ignores the thresholds";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(ExitWithWhereABlockWent(), testing::ExitedWithCode(1), "")
        << "the C library's defaults already keep such a block: the check tells nothing";
    EXPECT_EXIT(
        {
            PrepareProcess();
            ExitWithWhereABlockWent();
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace
