#include <windows.h>

#include <bit>

#include "platform/system/cpuCount.h"

// The processors of the process's affinity mask. Windows caps CPU time through job objects
// rather than control groups; a job's rate cap is not read (the Linux build's use of cgroups,
// by containers and batch systems, has no common Windows counterpart).
int32_t AvailableCores() {
    DWORD_PTR process = 0, system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
        return static_cast<int32_t>(std::popcount(static_cast<unsigned long long>(process)));
    }
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? static_cast<int32_t>(info.dwNumberOfProcessors) : 1;
}
