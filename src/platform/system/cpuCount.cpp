#include "platform/system/cpuCount.h"

#include <charconv>
#include <limits>

#include "platform/files/textFile.h"

namespace {

std::vector<std::string_view> Fields(std::string_view line, char separator) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = line.find(separator, start);
        fields.push_back(line.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) return fields;
        start = end + 1;
    }
}

std::optional<int64_t> ParseInt64(std::string_view text) {
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

bool HasOption(std::string_view options, std::string_view name) {
    for (std::string_view option : Fields(options, ','))
        if (option == name) return true;
    return false;
}

// The group's folder below a mount and its parents up to the mount point. A group path that
// does not lie below the mount's root (a group outside a container's view) is not reachable.
void AddFolders(std::string_view mountRoot, std::string_view mountPoint, std::string_view group,
                bool version2, std::vector<ThvCgroupFolder>& folders) {
    if (mountRoot != "/") {
        if (group.substr(0, mountRoot.size()) != mountRoot) return;
        group.remove_prefix(mountRoot.size());
        if (!group.empty() && group[0] != '/') return;
    }
    std::string path(mountPoint);
    if (!group.empty() && group != "/") path += group;
    for (;;) {
        folders.push_back({path, version2});
        if (path.size() <= mountPoint.size()) return;
        path.resize(path.rfind('/'));
        if (path.size() < mountPoint.size()) return;
    }
}

}  // namespace

std::optional<int32_t> CoresOfQuota(int64_t quota, int64_t period) {
    if (quota <= 0 || period <= 0) return std::nullopt;
    const int64_t cores = quota / period + (quota % period != 0 ? 1 : 0);
    return static_cast<int32_t>(std::min<int64_t>(cores, std::numeric_limits<int32_t>::max()));
}

std::optional<int32_t> CoresOfCpuMax(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
    const std::vector<std::string_view> fields = Fields(text, ' ');
    if (fields.empty() || fields[0] == "max") return std::nullopt;
    const auto quota = ParseInt64(fields[0]);
    // The period may be left out; the kernel's default is 100 ms.
    const auto period = fields.size() > 1 ? ParseInt64(fields[1]) : std::optional<int64_t>(100000);
    if (!quota || !period) return std::nullopt;
    return CoresOfQuota(*quota, *period);
}

std::vector<ThvCgroupFolder> CgroupCpuFolders(std::string_view mountInfo,
                                              std::string_view procCgroup) {
    // /proc/self/cgroup: "0::/path" for v2, "N:controller,controller:/path" for v1.
    std::optional<std::string> v2Group, v1CpuGroup;
    for (const std::string& line : SplitLines(procCgroup)) {
        const std::size_t first = line.find(':');
        const std::size_t second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos) continue;
        const std::string_view controllers =
            std::string_view(line).substr(first + 1, second - first - 1);
        const std::string group = line.substr(second + 1);
        if (line.compare(0, first, "0") == 0 && controllers.empty())
            v2Group = group;
        else if (HasOption(controllers, "cpu"))
            v1CpuGroup = group;
    }

    // mountinfo: "id parent major:minor root mount-point options [optional...] - type source
    // super-options".
    std::vector<ThvCgroupFolder> folders;
    for (const std::string& line : SplitLines(mountInfo)) {
        const std::vector<std::string_view> fields = Fields(line, ' ');
        std::size_t dash = 0;
        while (dash < fields.size() && fields[dash] != "-") ++dash;
        if (dash < 5 || dash + 3 > fields.size()) continue;
        const std::string_view root = fields[3], point = fields[4], type = fields[dash + 1];
        if (type == "cgroup2" && v2Group)
            AddFolders(root, point, *v2Group, true, folders);
        else if (type == "cgroup" && v1CpuGroup && HasOption(fields[dash + 3], "cpu"))
            AddFolders(root, point, *v1CpuGroup, false, folders);
    }
    return folders;
}
