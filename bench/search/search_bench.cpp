// Runs one search the way a run does (mask, sub-folders, no converter taking nodes) and prints
// the number of files found. bench/search/run.sh times it against find on the same tree.
//
//   search_bench SOURCE TARGET     for example: search_bench /tmp/tree/*.ppt? /tmp/out/

#include <chrono>
#include <cstdio>
#include <string>

#include "discovery/hvBatch.h"
#include "discovery/hvMatch.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SOURCE TARGET\n", argv[0]);
        return 2;
    }
    ThvMatch match;
    hvMatch = &match;
    hvSkipLockFiles = true;
    const auto begin = std::chrono::steady_clock::now();
    int32_t count = 0;
    {
        ThvBatch batch;
        batch.Start(argv[1], argv[2], true);
        batch.WaitForSearch();
        count = batch.Count();
    }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - begin;
    std::printf("%d files in %.3f s\n", count, seconds.count());
    hvMatch = nullptr;
    return 0;
}
