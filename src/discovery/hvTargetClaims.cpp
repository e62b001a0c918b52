#include "discovery/hvTargetClaims.h"

#include "platform/files/pathIdentity.h"
#include "platform/files/paths.h"
#include "text/textEncoding.h"

void ThvTargetClaims::WaitForTurn(int32_t index) {
    std::unique_lock lock(mutex_);
    settled_.wait(lock, [&] { return settledBelow_ >= index; });
}

std::optional<int32_t> ThvTargetClaims::Holder(const std::string& path, int32_t index) const {
    std::lock_guard lock(mutex_);
    const auto found = holders_.find(path);
    if (found == holders_.end() || found->second == index) return std::nullopt;
    return found->second;
}

void ThvTargetClaims::Take(const std::string& path, int32_t index) {
    std::lock_guard lock(mutex_);
    holders_.try_emplace(path, index);
}

void ThvTargetClaims::Settle(int32_t index) {
    {
        std::lock_guard lock(mutex_);
        if (index < settledBelow_) return;
        settledAbove_.insert(index);
        bool moved = false;
        while (!settledAbove_.empty() && *settledAbove_.begin() == settledBelow_) {
            settledAbove_.erase(settledAbove_.begin());
            ++settledBelow_;
            moved = true;
        }
        if (!moved) return;
    }
    settled_.notify_all();
}

bool ThvTargetClaims::FirstInFolder(const std::string& folder) {
    std::lock_guard lock(mutex_);
    return folders_.insert(folder).second;
}

void ThvTargetClaims::Reserve(const std::string& path, const std::string& what) {
    reserved_.push_back({path, ResolvedPath(path), what});
}

std::optional<std::string> ThvTargetClaims::ReservedFor(const std::string& path) const {
    for (const TReserved& r : reserved_) {
        // A text only ever replaces the name it is written at: the name first, which spares
        // every other file of the run a look at its folder.
        if (!SameText(ExtractFileName(path), ExtractFileName(r.Path))) continue;
        const std::string resolved = ResolvedPath(path);
        if ((!resolved.empty() && resolved == r.Resolved) || SameExistingFile(path, r.Path))
            return r.What;
    }
    return std::nullopt;
}
