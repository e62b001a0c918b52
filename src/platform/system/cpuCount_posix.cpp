#include <sched.h>
#include <unistd.h>

#include <algorithm>

#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"
#include "platform/system/cpuCount.h"

namespace {

// Kernel files are small; anything larger is not what we look for.
constexpr std::size_t kMaxProcFileBytes = 1024 * 1024;

std::string ReadOrEmpty(const std::string& path) {
    try {
        return ReadFileBytes(path, kMaxProcFileBytes);
    } catch (const EhvError&) {
        return {};
    }
}

std::optional<int64_t> ReadNumber(const std::string& path) {
    std::string text = ReadOrEmpty(path);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    if (text.empty()) return std::nullopt;
    try {
        std::size_t used = 0;
        const long long value = std::stoll(text, &used);
        if (used != text.size()) return std::nullopt;
        return value;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

int32_t AffinityCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0) return count;
    }
    // More CPUs than a cpu_set_t holds, or no answer: the online count is the best left.
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int32_t>(online) : 1;
}

}  // namespace

int32_t AvailableCores() {
    int32_t cores = AffinityCores();
    const auto folders =
        CgroupCpuFolders(ReadOrEmpty("/proc/self/mountinfo"), ReadOrEmpty("/proc/self/cgroup"));
    for (const ThvCgroupFolder& folder : folders) {
        std::optional<int32_t> limit;
        if (folder.Version2) {
            const std::string text = ReadOrEmpty(folder.Path + "/cpu.max");
            if (!text.empty()) limit = CoresOfCpuMax(text);
        } else {
            const auto quota = ReadNumber(folder.Path + "/cpu.cfs_quota_us");
            const auto period = ReadNumber(folder.Path + "/cpu.cfs_period_us");
            if (quota && period) limit = CoresOfQuota(*quota, *period);
        }
        if (limit) cores = std::min(cores, *limit);
    }
    return std::max(cores, 1);
}
