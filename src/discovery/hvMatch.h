#pragma once

#include <string>

#include "hvBatch.h"

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

/// Throws EhvError with the expression engine's message when a "RegExt" pattern does not
/// compile; an empty pattern is no expression and passes. For a run to refuse before it starts.
void CheckRegExt(const std::string& pattern);

/// The global matcher every batch uses to test names against the source mask and "RegExt".
/// Set by the start-up code after the command line has been read and cleared first at
/// shut-down, on the main thread, while no batch exists; null means every path is accepted.
extern ThvMatch* hvMatch;
