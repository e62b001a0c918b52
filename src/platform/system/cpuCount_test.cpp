#include "platform/system/cpuCount.h"

#include <gtest/gtest.h>

namespace {

TEST(CpuCountTest, QuotaRoundsUpAndNoLimitIsEmpty) {
    EXPECT_EQ(CoresOfQuota(200000, 100000), 2);
    EXPECT_EQ(CoresOfQuota(150000, 100000), 2);
    EXPECT_EQ(CoresOfQuota(50000, 100000), 1);
    EXPECT_EQ(CoresOfQuota(-1, 100000), std::nullopt);  // v1's "no limit"
    EXPECT_EQ(CoresOfQuota(100000, 0), std::nullopt);
    EXPECT_EQ(CoresOfCpuMax("max 100000\n"), std::nullopt);
    EXPECT_EQ(CoresOfCpuMax("400000 100000\n"), 4);
    EXPECT_EQ(CoresOfCpuMax("250000"), 3);  // the period left at the kernel's default
    EXPECT_EQ(CoresOfCpuMax("lots 100000"), std::nullopt);
    EXPECT_EQ(CoresOfCpuMax(""), std::nullopt);
}

// A container's view: the v2 group of the process is /kube/pod1/c1, mounted with root /kube,
// so the files are under /sys/fs/cgroup/pod1/c1 and its parents up to the mount point.
TEST(CpuCountTest, Version2FoldersFromTheGroupUpToTheMountPoint) {
    const char* mountInfo =
        "22 1 0:21 / /proc rw - proc proc rw\n"
        "30 23 0:26 /kube /sys/fs/cgroup rw,nosuid - cgroup2 cgroup2 rw,nsdelegate\n";
    const auto folders = CgroupCpuFolders(mountInfo, "0::/kube/pod1/c1\n");
    ASSERT_EQ(folders.size(), 3u);
    EXPECT_EQ(folders[0].Path, "/sys/fs/cgroup/pod1/c1");
    EXPECT_EQ(folders[1].Path, "/sys/fs/cgroup/pod1");
    EXPECT_EQ(folders[2].Path, "/sys/fs/cgroup");
    EXPECT_TRUE(folders[0].Version2);
}

// A v1 machine: only the hierarchy that carries "cpu" counts, whatever other controllers share
// it; optional mount fields ("shared:5") come before the "-".
TEST(CpuCountTest, Version1FoldersOfTheCpuHierarchyOnly) {
    const char* mountInfo =
        "32 31 0:29 / /sys/fs/cgroup/cpu,cpuacct rw shared:5 - cgroup cgroup rw,cpu,cpuacct\n"
        "35 31 0:32 / /sys/fs/cgroup/memory rw - cgroup cgroup rw,memory\n"
        "bad line\n";
    const char* procCgroup = "4:memory:/job7\n2:cpu,cpuacct:/slurm/job7\n0::/\n";
    const auto folders = CgroupCpuFolders(mountInfo, procCgroup);
    ASSERT_EQ(folders.size(), 3u);
    EXPECT_EQ(folders[0].Path, "/sys/fs/cgroup/cpu,cpuacct/slurm/job7");
    EXPECT_EQ(folders[2].Path, "/sys/fs/cgroup/cpu,cpuacct");
    EXPECT_FALSE(folders[0].Version2);
}

TEST(CpuCountTest, GroupOutsideTheMountRootIsNotReachable) {
    const char* mountInfo = "30 23 0:26 /kube /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n";
    EXPECT_TRUE(CgroupCpuFolders(mountInfo, "0::/other/x\n").empty());
    EXPECT_TRUE(CgroupCpuFolders(mountInfo, "0::/kubelet\n").empty());
}

// On this machine: never more than the affinity mask allows, never less than one.
}  // namespace
