#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "discovery/hvPathRules.h"
#include "discovery/hvTargetClaims.h"
#include "platform/files/paths.h"

class ThvReadFile;
class ThvRegex;

/// Leaves out files whose names begin with "~$", the lock files office programs keep beside an
/// open document. The start-up code turns it on; searches only read it.
inline std::atomic<bool> hvSkipLockFiles{false};

class ThvMatchBase;
/// The global matcher every batch uses to test names against the source mask and "RegExt"
/// (a ThvMatch, hvMatch.h). Set by the start-up code after the command line has been read and
/// cleared first at shut-down, on the main thread, while no batch exists; null means every
/// path is accepted.
extern ThvMatchBase* hvMatch;

/// Decides whether a path belongs to a batch. The base accepts every path; ThvMatch (hvMatch.h)
/// tests regular expressions. Called on search threads, several at once, so an implementation
/// keeps no unguarded state.
class ThvMatchBase {
  public:
    virtual ~ThvMatchBase() = default;
    virtual bool Matches(const std::string& /*path*/, const std::string& /*pattern*/) const {
        return true;
    }
    /// The same test, empty when it could not be decided (the expression engine gave up or
    /// rejected the pattern), where Matches answers true.
    virtual std::optional<bool> TryMatches(const std::string& path,
                                           const std::string& pattern) const {
        return Matches(path, pattern);
    }
};

/// One file of a batch. Created and owned by its batch, freed with it; its address never
/// changes while the batch lives.
class ThvNode {
  public:
    static constexpr int32_t Running = 0;  ///< waiting, or being converted
    static constexpr int32_t Success = 1;
    static constexpr int32_t Failure = 2;

    ThvNode(int32_t index, std::string source, std::string refusal = {})
        : Index(index), Source(std::move(source)), Refusal(std::move(refusal)) {}
    ThvNode(const ThvNode&) = delete;
    ThvNode& operator=(const ThvNode&) = delete;

    /// Written by the one converter holding the node; also the image index of its row.
    std::atomic<int32_t> State{Running};
    const int32_t Index;       ///< position in the batch, from 0
    const std::string Source;  ///< full path, or the address as given
    /// Why the search could not take this path for a document (a pipe, a path too long, a
    /// folder it could not read, a name "RegExt" could not decide on); empty for a document.
    /// A converter fails such a node with this message without opening anything.
    const std::string Refusal;
    /// Output path after success, error message after failure. Written without the lock by
    /// the converter holding the node; others read it after that converter's notification.
    std::string Result;
    /// After a success: what was asked of the source and not done, and why (it could not be
    /// deleted or renamed, or it changed while it was converted); empty otherwise. Written and
    /// read like Result.
    std::string Warning;
    /// After a success: what the user should know of the text written, though nothing failed
    /// (characters the code page could not hold); empty otherwise. Written and read like Result.
    std::string Note;
    /// After a success: the application's word that the file was damaged and read only in
    /// part, with what was rebuilt and what was lost; empty for a file read whole. Written and
    /// read like Result.
    std::string Salvage;
};

using ThvNodeList = std::deque<std::unique_ptr<ThvNode>>;

/// Where a search looks and which names it keeps, made from a source as ThvBatch::Start makes
/// it, so that a path can be judged before or without a search.
struct ThvSearchScope {
    std::string SourceFolder;  ///< folder part of the source, with its delimiter
    std::string Mask;          ///< file-name part of the source, a wildcard mask
    bool Subdirs = false;
    std::string RegExt;       ///< the "RegExt" option
    bool SkipHidden = false;  ///< the "SkipHidden" option
    char Delim = PathDelim;   ///< the project's delimiter

    /// The scope of a search of source (a "file:" URL is taken as its path), with "RegExt" and
    /// "SkipHidden" read from the global project.
    static ThvSearchScope Of(const std::string& source, bool subdirs);

    /// True when a search of this scope would list a file at path, whether or not one is there
    /// now; other spellings of the same place count alike. A name "RegExt" cannot decide on
    /// counts as listed.
    bool Lists(const std::string& path) const;

    /// Why a search of this scope can find nothing although the user surely meant it to: the
    /// folder does not exist, the source names a folder and no files in it, or it names one
    /// file that is not there. Names a source that would search, with sourceMask ("*.ppt?") as
    /// its mask. Empty when nothing is wrong.
    std::string SourceAdvice(const std::string& sourceMask) const;
};

/// The list of files one run converts, filled by a search thread of its own or by hand, and
/// emptied by converter threads through NextNode while the search goes on.
///
/// Lifetime: creating a batch starts nothing; Start launches the search thread. The owner
/// frees the batch; the destructor asks the search to end and joins the thread before any node
/// is freed, so the search never outlives its list. Converters must be gone first (they hold
/// node pointers and call NextNode).
///
/// Threads: Start, AddFile and the destructor are for the owner's thread. NextNode, Count,
/// AddSuccess, AddFailure and the counters may be called from any thread. OnFound runs on the
/// thread that added the node (the search thread during a search), after the lock is released.
///
/// The lock is not re-entrant: between Lock and Unlock, use the returned list and call no
/// other member of the batch.
class ThvBatch {
  public:
    using TFoundEvent = std::function<void(ThvBatch& batch, ThvNode& node)>;

    ThvBatch();
    ~ThvBatch();
    ThvBatch(const ThvBatch&) = delete;
    ThvBatch& operator=(const ThvBatch&) = delete;

    /// Takes the source (folder and mask, or one file, or a "file:" URL), prepares the target
    /// folder and starts the search. With the "SourceList" option the list it names is the
    /// source instead, read on the search thread; each entry the run cannot take (outside
    /// "SourceRoot", a line that names no file) becomes a refused node of its own. Throws
    /// EhvError, and no search starts, for an empty target ("Unable to create directory"), a
    /// list that cannot be opened, a list none of whose entries lies below the source root, a
    /// "Shards" or "Shard" that is no number, a "Shard" outside 0 to "Shards" - 1, or a mask
    /// CheckMask refuses. Called once per batch, before any converter runs.
    void Start(const std::string& source, const std::string& target, bool subdirs);

    /// Adds one file (or address) without a search and marks the list complete.
    void AddFile(const std::string& path);

    /// Starts a search of several paths, as dropped on a window: a folder is searched with
    /// mask (and its sub-folders with subdirs), as if it were the folder of the source; any
    /// other path becomes an entry as AddFile makes one. Texts keep the folders below the
    /// folder all the paths share (one folder alone: that folder). Throws EhvError, and no
    /// search starts, for an empty target or a mask CheckMask refuses. Called once per batch.
    void StartPaths(const std::vector<std::string>& paths, const std::string& mask,
                    const std::string& target, bool subdirs);

    /// Appends a node for path when Accepts allows it, then calls OnFound. A path on which
    /// "RegExt" cannot decide is appended as refused (ThvNode::Refusal), never as a document.
    void AddCandidate(const std::string& path);

    /// Appends a node that no converter may open, with the reason, then calls OnFound. For a
    /// path the search met that cannot be converted.
    void AddRefused(const std::string& path, const std::string& reason);

    /// True when path is of this batch's share ("Shard" of "Shards", by the target it becomes)
    /// and passes the mask and "RegExt" by the global matcher; every path passes the name tests
    /// when there is no matcher.
    bool Accepts(const std::string& path) const;

    /// The next node not yet handed out, each exactly once. Waits while the list is used up
    /// and not complete (so call Start or AddFile first); null once it is complete and used up.
    ThvNode* NextNode();

    /// Locks the batch and gives its node list. Pair with Unlock (or use ThvBatchLock).
    const ThvNodeList& Lock();
    void Unlock();

    void AddSuccess();
    /// Counts a file left alone because its text file was there ("IsOverwrite" skip).
    void AddSkipped();
    /// The distinct failure messages kept, in bytes. They make the failure report, which
    /// shows 2,000 characters: past this a run of millions of failures (each naming its file)
    /// only counts them, instead of keeping every message twice until it ends.
    static constexpr std::size_t MaxFailureBytes = 1u << 20;
    /// Counts a failure and keeps its message unless an equal one (ignoring case) is kept or
    /// the kept ones fill MaxFailureBytes.
    void AddFailure(const std::string& message);

    int32_t Count() const;
    int32_t Succeeded() const;
    int32_t Failed() const;
    int32_t Skipped() const;
    /// The distinct failure messages in order of arrival.
    std::vector<std::string> FailureList() const;
    /// The same as comma text: an item with a blank, a control character, a comma or a double
    /// quote is put in double quotes, its double quotes doubled.
    std::string Failures() const;

    /// The list is complete: the search ended (normally or on request) or a file was added.
    bool Searched() const { return searched_.load(); }
    /// A NextNode call found the list complete and used up.
    bool Exhausted() const { return exhausted_.load(); }

    /// Asks the search to end; it stops between two entries. Nodes found stay available.
    void Terminate() { terminated_.store(true); }
    bool Terminated() const { return terminated_.load(); }

    /// Blocks until the list is complete; returns at once when no search was started. For the
    /// owner's thread, like Start.
    void WaitForSearch();

    /// Throws EhvError, with the expression engine's message, for a source mask that cannot
    /// be made into the name test (a name part tens of thousands of bytes long): taken for no
    /// test at all, it would let every file through. Start calls it; a run may call it first.
    static void CheckMask(const std::string& mask);

    /// A "file:" URL as the path it names; any other text unchanged (::NormalizePath).
    static std::string NormalizePath(const std::string& path, char delim = PathDelim) {
        return ::NormalizePath(path, delim);
    }

    /// Sets the target folder of the run (PrepareTargetFolder: created when missing, ended by
    /// the delimiter) and takes "KeepTargetSubdirs" for the target rule. Start and
    /// CreateChain call it; on the owner's thread, while no converter of the batch runs.
    void SetTarget(const std::string& target);

    /// The text file the target rule names for source: the target folder followed by
    /// TargetRelativePart, its extension replaced by the project's TargetExt. With a
    /// TargetExtAlt, an extension that is neither TargetExtAlt nor TargetExtMacro becomes
    /// TargetExtMacro when "MacroEnabled" holds and hasMacros answers true, else TargetExtAlt.
    /// Before a converter's last say (AdjustTarget) and the rule for a text that exists. Any
    /// thread once the target is set.
    std::string TargetOf(const std::string& source,
                         const std::function<bool()>& hasMacros = {}) const;

    /// True for the source of a node that stands for a line of the source list naming no file
    /// ("<list>:<line>").
    bool IsListLine(const std::string& source) const;

    /// The scope Start gave the search; empty before Start.
    ThvSearchScope Scope() const;

    // Set by Start before the search begins; constant while it runs.
    std::string Mask;  ///< file-name part of the source, a wildcard mask
    bool Subdirs = false;
    std::string RegExt;        ///< the "RegExt" option at Start
    bool SkipHidden = false;   ///< the "SkipHidden" option at Start
    std::string SourceFolder;  ///< folder part of the source, with its delimiter
    std::string TargetFolder;  ///< the target folder, ended by the delimiter (SetTarget)
    std::string SourceList;    ///< the "SourceList" option at Start: the list read instead
    int32_t Shard = 0;         ///< the share converted when Shards is above 1
    int32_t Shards = 1;
    bool KeepTargetSubdirs = true;  ///< the option at SetTarget; shares follow the target rule
    /// Set before Start or AddFile; called for every new node.
    TFoundEvent OnFound;
    /// The targets its nodes have taken in this run (ThvConvertor::TargetPath).
    ThvTargetClaims Targets;

  private:
    void Execute();
    void SearchFolder(const std::string& folder, const ThvRegex* nameFilter);
    void ReadList();
    void SearchPaths();
    /// Refuses a list none of whose entries lies below the source root (EhvError).
    void CheckListRoot(bool rootGiven);
    void StartShare(char delim);
    /// What Start and StartPaths share once Mask and RegExt are set: checks the mask, notes an
    /// unusable "RegExt", refuses an empty target and sets the target.
    void PrepareFilters(const std::string& target, char delim);
    bool FitsPathLimit(const std::string& path, bool folder);
    void AppendNode(const std::string& path, const std::string& refusal);
    /// True when path is of this batch's share ("Shard" of "Shards"), by the target it becomes.
    bool InShare(const std::string& path) const;
    void MarkSearched();

    mutable std::mutex mutex_;
    std::condition_variable changed_;    ///< a node arrived or the list became complete
    std::condition_variable completed_;  ///< the list became complete
    int waiting_ = 0;                    ///< NextNode calls waiting for a node
    ThvNodeList nodes_;
    std::size_t nextIndex_ = 0;
    int32_t succeeded_ = 0;
    int32_t failed_ = 0;
    int32_t skipped_ = 0;
    std::vector<std::string> failures_;
    std::unordered_set<std::string> failureKeys_;  ///< case-folded failures_
    std::size_t failureBytes_ = 0;                 ///< of failures_

    std::atomic<bool> searched_{false};
    std::atomic<bool> exhausted_{false};
    std::atomic<bool> terminated_{false};
    bool started_ = false;
    char delim_ = PathDelim;             ///< the project's delimiter at Start
    bool searchKeepsSubdirs_ = true;     ///< "KeepTargetSubdirs" at Start, for the search
    std::string maskRegex_;              ///< WildcardToRegex(Mask), made once
    std::unique_ptr<ThvReadFile> list_;  ///< the source list, opened by Start
    std::vector<std::string> paths_;     ///< what StartPaths searches
    std::string listHead_;               ///< what Start read of the list; the search reads it first
    /// Why "RegExt" is no expression (the engine's message); empty when it is one or is empty.
    std::string regExtError_;
    std::thread thread_;  ///< last member: joined before the others go
};

/// Holds a batch's lock for a scope.
class ThvBatchLock {
  public:
    explicit ThvBatchLock(ThvBatch& batch) : batch_(batch), nodes_(batch.Lock()) {}
    ~ThvBatchLock() { batch_.Unlock(); }
    ThvBatchLock(const ThvBatchLock&) = delete;
    ThvBatchLock& operator=(const ThvBatchLock&) = delete;

    const ThvNodeList& Nodes() const { return nodes_; }

  private:
    ThvBatch& batch_;
    const ThvNodeList& nodes_;
};
