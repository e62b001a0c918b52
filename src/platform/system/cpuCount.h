#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// How many cores this process may really use: the CPUs of its affinity mask, fewer when a
/// control group caps its CPU time (cgroup v2 "cpu.max", v1 "cpu.cfs_quota_us" over
/// "cpu.cfs_period_us", the smallest cap from the process's group up to the root). A cap of
/// 1.5 cores gives 2: a converter is kept busy rather than a half core left idle. Always at
/// least 1. Read again on each call (a scheduler may move the process).
int32_t AvailableCores();

// The pieces of AvailableCores that read text, apart for tests.

/// Cores allowed by a quota per period (both in microseconds): the quota over the period,
/// rounded up; empty for no limit (a quota of "max", or -1, or zero).
std::optional<int32_t> CoresOfQuota(int64_t quota, int64_t period);

/// Cores allowed by the text of a cgroup v2 "cpu.max" file ("max 100000", "150000 100000").
std::optional<int32_t> CoresOfCpuMax(std::string_view text);

/// The folders that hold a process's CPU limits, innermost first, from the text of
/// /proc/self/mountinfo and /proc/self/cgroup: for a cgroup v2 mount its group's folder and
/// every parent up to the mount point; the same for a v1 hierarchy that carries the "cpu"
/// controller. Each entry says which of the two it is.
struct ThvCgroupFolder {
    std::string Path;
    bool Version2 = false;
};
std::vector<ThvCgroupFolder> CgroupCpuFolders(std::string_view mountInfo,
                                              std::string_view procCgroup);
