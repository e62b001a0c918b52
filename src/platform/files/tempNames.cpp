#include "platform/files/tempNames.h"

#include <atomic>
#include <cstdio>
#include <optional>
#include <string_view>

#include "platform/files/folderEntries.h"

namespace {

constexpr std::string_view kTempPrefix = ".quillon-";
constexpr std::size_t kTokenDigits = 16;

// The token in a temporary's name (the held file or one of its companions); none for every
// other name.
std::optional<std::string_view> TokenOf(std::string_view name) {
    const std::size_t end = kTempPrefix.size() + kTokenDigits;
    if (!name.starts_with(kTempPrefix) || name.size() < end) return std::nullopt;
    if (name.size() > end && name[end] != '.') return std::nullopt;
    const std::string_view token = name.substr(kTempPrefix.size(), kTokenDigits);
    for (char c : token)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return std::nullopt;
    return token;
}

}  // namespace

std::string NewHeldTempName(const std::string& folder, uint64_t processStart) {
    static std::atomic<uint64_t> counter{0};
    const uint64_t token = processStart + counter.fetch_add(1) * 0x9E3779B97F4A7C15ull;
    char text[kTokenDigits + 1];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(token));
    return folder + std::string(kTempPrefix) + text;
}

std::map<std::string, std::vector<std::string>> TemporariesIn(const std::string& folder) {
    std::map<std::string, std::vector<std::string>> byHeld;
    for (const ThvFolderEntry& entry : ReadFolderEntries(folder.empty() ? "." : folder)) {
        if (const auto token = TokenOf(entry.Name)) {
            byHeld[folder + std::string(kTempPrefix) + std::string(*token)].push_back(entry.Name);
        }
    }
    return byHeld;
}
