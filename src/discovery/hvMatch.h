#pragma once

#include <string>

#include "hvBatch.h"

/// The matcher of this product: a path matches a pattern when the regular expression finds it
/// anywhere in the path, letter case ignored. Never fails: an expression the engine rejects,
/// or one it gives up on, matches every path, so a bad "RegExt" filters nothing. Keeps no
/// state of its own (compiled patterns are cached per thread), so any number of searches may
/// use it at once.
class ThvMatch : public ThvMatchBase {
  public:
    ThvMatch() = default;
    ThvMatch(const ThvMatch&) = delete;
    ThvMatch& operator=(const ThvMatch&) = delete;

    bool Matches(const std::string& path, const std::string& pattern) const override;
};

/// The global matcher every batch uses to test names against the source mask and "RegExt".
/// Set by the start-up code after the command line has been read and cleared first at
/// shut-down, on the main thread, while no batch exists; null means every path is accepted.
extern ThvMatch* hvMatch;
