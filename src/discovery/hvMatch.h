#pragma once

#include <string>

#include "discovery/hvBatch.h"

/// The matcher of this product: a path matches a pattern when the regular expression finds it
/// anywhere in the path, letter case ignored. Matches never fails: an expression the engine
/// rejects, or one it gives up on, matches every path. The search asks TryMatches instead,
/// which tells those cases apart, and a run refuses a bad "RegExt" first (CheckRegExt). Keeps
/// no state of its own (compiled patterns are cached per thread), so any number of searches
/// may use it at once.
class ThvMatch : public ThvMatchBase {
  public:
    ThvMatch() = default;
    ThvMatch(const ThvMatch&) = delete;
    ThvMatch& operator=(const ThvMatch&) = delete;

    bool Matches(const std::string& path, const std::string& pattern) const override;
    std::optional<bool> TryMatches(const std::string& path,
                                   const std::string& pattern) const override;
};

