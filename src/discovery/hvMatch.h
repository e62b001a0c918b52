#pragma once

/// The global matcher every batch uses to test names against the source mask and "RegExt".
/// Created after the command line has been read, destroyed first at shut-down.
class ThvMatch {
  public:
    ThvMatch() = default;
    ThvMatch(const ThvMatch&) = delete;
    ThvMatch& operator=(const ThvMatch&) = delete;
};

extern ThvMatch* hvMatch;
