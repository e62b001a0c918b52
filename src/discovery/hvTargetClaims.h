#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

/// The target paths that the nodes of one batch have taken, so that two sources meeting at one
/// target in one run (a.ppt and a.pptx, or two folders flattened into one) never both write it:
/// the node that comes first in the batch takes it, whatever the timing of the converters.
///
/// For that, nodes settle in index order: a node decides on its target only after every node
/// before it has taken its own or given up. The wait is short and cannot last for ever: nodes
/// are handed out in index order, so every node before it is in a converter's hands, and every
/// node handed out is processed to its end, also when the chain is stopped, settling on the way.
///
/// Threads: any converter thread; every member takes the one lock of this object.
class ThvTargetClaims {
  public:
    /// Blocks until every node with an index below index has settled.
    void WaitForTurn(int32_t index);
    /// The index of the node, other than index, that took path; empty when none did.
    std::optional<int32_t> Holder(const std::string& path, int32_t index) const;
    /// The node index takes path.
    void Take(const std::string& path, int32_t index);
    /// The node index has settled (taken its target, or none); the nodes after it may go on.
    /// Settling again does nothing.
    void Settle(int32_t index);

    /// True for the first caller only, per folder: the one that tidies the folder up.
    bool FirstInFolder(const std::string& folder);

    /// A file the run writes besides its texts (a log), with what it is ("the JSON log of this
    /// run"): a node whose target it is finds it taken, as by an earlier node. For the owner,
    /// before any converter starts.
    void Reserve(const std::string& path, const std::string& what);
    /// What the reserved file that path names is, under any spelling; empty when none.
    std::optional<std::string> ReservedFor(const std::string& path) const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable settled_;
    int32_t settledBelow_ = 0;        ///< every index below it has settled
    std::set<int32_t> settledAbove_;  ///< settled indexes above settledBelow_
    /// The node that took each target, by index: a run of millions of files keeps no second
    /// copy of their sources here.
    std::unordered_map<std::string, int32_t> holders_;
    std::unordered_set<std::string> folders_;
    struct TReserved {
        std::string Path;
        std::string Resolved;
        std::string What;
    };
    std::vector<TReserved> reserved_;  ///< written before the converters start, then only read
};
