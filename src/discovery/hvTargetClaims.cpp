#include "hvTargetClaims.h"

void ThvTargetClaims::WaitForTurn(int32_t index) {
    std::unique_lock lock(mutex_);
    settled_.wait(lock, [&] { return settledBelow_ >= index; });
}

std::optional<std::string> ThvTargetClaims::Holder(const std::string& path, int32_t index) const {
    std::lock_guard lock(mutex_);
    const auto found = holders_.find(path);
    if (found == holders_.end() || found->second.Index == index) return std::nullopt;
    return found->second.Source;
}

void ThvTargetClaims::Take(const std::string& path, int32_t index, const std::string& source) {
    std::lock_guard lock(mutex_);
    holders_.try_emplace(path, THolder{index, source});
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
