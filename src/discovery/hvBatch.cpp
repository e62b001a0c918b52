#include "discovery/hvBatch.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

#include "discovery/VBScriptRegex.h"
#include "discovery/hvShard.h"
#include "discovery/hvSourceList.h"
#include "platform/base/hvError.h"
#include "platform/files/fileStream.h"
#include "platform/files/fileSystem.h"
#include "platform/files/folderEntries.h"
#include "platform/files/pathIdentity.h"
#include "project/hvOptions.h"
#include "project/hvProject.h"
#include "text/textEncoding.h"

ThvMatchBase* hvMatch = nullptr;

namespace {

constexpr std::size_t kListPiece = 64 * 1024;
/// How much of a source list is read before the run, looking for an entry below the root.
constexpr std::size_t kListHeadBytes = 16 * 1024 * 1024;

char ProjectDelim() { return hvProject ? hvProject->PathDelim : PathDelim; }

bool StartsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

/// The name test of the platform's wildcard listing, which the search applies before the
/// full-path test of Accepts: the whole name must fit the mask ("*" any text, "?" zero or one
/// character, letter case ignored). Without it a mask a*.ppt would list b.ppt in a folder
/// whose path holds an "a", and a single-file source x.pptx would also list ax.pptx.
std::string NameFilterPattern(const std::string& mask) {
    std::string pattern = "(?s)^(?:";
    for (char c : mask) {
        if (c == '*') {
            pattern += ".*";
        } else if (c == '?') {
            pattern += ".?";
        } else {
            const unsigned char u = static_cast<unsigned char>(c);
            // A backslash before any ASCII character that is not a letter or digit makes it
            // literal; letters, digits and the bytes of other characters are literal as they are.
            const bool alnum =
                (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z');
            if (u < 0x80 && !alnum) pattern += '\\';
            pattern += c;
        }
    }
    pattern += ")$";
    return pattern;
}

// The mask test and the "RegExt" test of a full path. The mask's expression is the program's
// own, so an engine error there counts as a match, as it always did; the user's expression
// failing to decide leaves the path undecided, which is no match.
enum class TVerdictKind { Accept, Reject, Undecided };

TVerdictKind JudgePath(const std::string& path, const std::string& maskRegex,
                       const std::string& regExt) {
    const ThvMatchBase* matcher = hvMatch;
    if (!matcher) return TVerdictKind::Accept;
    if (!matcher->Matches(path, maskRegex)) return TVerdictKind::Reject;
    if (regExt.empty()) return TVerdictKind::Accept;
    const std::optional<bool> own = matcher->TryMatches(path, regExt);
    if (!own) return TVerdictKind::Undecided;
    return *own ? TVerdictKind::Accept : TVerdictKind::Reject;
}

std::string NotAFileRefusal(const std::string& what) {
    return "Cannot convert: " + what + ". It was not opened.";
}

std::string TooLongText(std::size_t length) {
    return "the path is too long (" + std::to_string(length) + " bytes; the system takes at most " +
           std::to_string(MaxPathBytes()) + ")";
}

const char* const kUndecidedRefusal =
    "Left out: \"RegExt\" gave up on this path (the expression hit its match limit), so it was "
    "neither matched nor converted.";

bool NeedsQuotes(const std::string& item) {
    for (char c : item) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u <= ' ' || u == 0x7F || c == ',' || c == '"') return true;
    }
    return false;
}

}  // namespace

ThvBatch::ThvBatch() : maskRegex_(WildcardToRegex("")) {}

ThvBatch::~ThvBatch() {
    Terminate();
    if (thread_.joinable()) thread_.join();
}

void ThvBatch::Start(const std::string& source, const std::string& target, bool subdirs) {
    if (started_) throw std::logic_error("ThvBatch::Start called twice");
    const char delim = delim_ = ProjectDelim();
    // Made here, on the owner's thread, rather than on the search thread: the window may
    // change options while the search runs, and the search must see one consistent value.
    const ThvSearchScope scope = ThvSearchScope::Of(source, subdirs);
    Mask = scope.Mask;
    SourceFolder = scope.SourceFolder;
    Subdirs = subdirs;
    RegExt = scope.RegExt;
    SkipHidden = scope.SkipHidden;
    // The shares and the list's root follow the target rule. The search keeps its own copy of
    // the sub-folder switch: SetTarget takes it again for the converters, maybe while the
    // search still runs.
    if (hvProject) KeepTargetSubdirs = hvProject->KeepTargetSubdirs();
    searchKeepsSubdirs_ = KeepTargetSubdirs;
    StartShare(delim);
    PrepareFilters(target, delim);

    started_ = true;
    if (!searched_.load()) thread_ = std::thread(&ThvBatch::Execute, this);
}

void ThvBatch::StartPaths(const std::vector<std::string>& paths, const std::string& mask,
                          const std::string& target, bool subdirs) {
    if (started_) throw std::logic_error("ThvBatch::StartPaths called twice");
    const char delim = delim_ = ProjectDelim();
    const ThvSearchScope scope = ThvSearchScope::Of(mask, subdirs);
    Mask = mask;
    Subdirs = subdirs;
    RegExt = scope.RegExt;
    SkipHidden = scope.SkipHidden;
    // The folder every path lies in, so that the texts keep the folders below it.
    std::string common;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string folder = DirectoryExists(paths[i])
                                       ? IncludeTrailingPathDelimiter(paths[i], delim)
                                       : ExtractFilePath(paths[i], delim);
        if (i == 0) {
            common = folder;
            continue;
        }
        std::size_t same = 0;
        while (same < common.size() && same < folder.size() && common[same] == folder[same])
            ++same;
        common = ExtractFilePath(std::string_view(common).substr(0, same), delim);
    }
    SourceFolder = common;
    PrepareFilters(target, delim);
    paths_ = paths;
    started_ = true;
    thread_ = std::thread(&ThvBatch::Execute, this);
}

void ThvBatch::PrepareFilters(const std::string& target, char delim) {
    CheckMask(Mask);
    maskRegex_ = WildcardToRegex(Mask);
    // A run refuses an invalid "RegExt" before it searches; a search that gets one anyway
    // converts nothing the user meant to leave out, and says why each time.
    try {
        CheckRegExt(RegExt);
    } catch (const EhvError& e) {
        regExtError_ = e.what();
    }
    // Other failures than an empty target show up later, as failures of the single files.
    if (delim == PathDelim && NormalizePath(target, delim).empty())
        throw EhvError("Unable to create directory");
    SetTarget(target);
}

void ThvBatch::CheckMask(const std::string& mask) {
    if (mask.empty()) return;
    try {
        CreateRegex(NameFilterPattern(mask), hvRegexIgnoreCase);
        CreateRegex(WildcardToRegex(mask), hvRegexIgnoreCase);
    } catch (const ERegexException& e) {
        // The name is shown cut short: a mask of this kind can be tens of thousands of bytes.
        constexpr std::size_t kShown = 80;
        const std::string shown = mask.size() > kShown ? mask.substr(0, kShown) + "... (" +
                                                             std::to_string(mask.size()) + " bytes)"
                                                       : mask;
        throw EhvError("The source's mask \"" + shown + "\" cannot be used: " + e.what());
    }
}

void ThvBatch::SetTarget(const std::string& target) {
    TargetFolder = PrepareTargetFolder(target, ProjectDelim());
    if (hvProject) KeepTargetSubdirs = hvProject->KeepTargetSubdirs();
}

std::string ThvBatch::TargetOf(const std::string& source,
                               const std::function<bool()>& hasMacros) const {
    const char delim = ProjectDelim();
    std::string path =
        TargetFolder + TargetRelativePart(source, SourceFolder, KeepTargetSubdirs, delim);
    if (!hvProject || hvProject->TargetExt.empty()) return path;
    const ThvProject& project = *hvProject;
    // Markdown and JSON Lines files carry their own extensions.
    const std::string targetExt = project.OutputExt();
    if (project.TargetExtAlt.empty()) return ChangeFileExt(path, targetExt, delim);
    const std::string ext = ExtractFileExt(path, delim);
    if (SameText(ext, project.TargetExtAlt) || SameText(ext, project.TargetExtMacro))
        return ChangeFileExt(path, targetExt, delim);
    if (project.MacroEnabled() && hasMacros && hasMacros())
        return ChangeFileExt(path, project.TargetExtMacro, delim);
    return ChangeFileExt(path, project.TargetExtAlt, delim);
}

void ThvBatch::StartShare(char delim) {
    if (!hvProject) return;
    // A share that cannot be read would make every task convert everything.
    for (const char* key : {"Shards", "Shard"}) {
        const std::string value = hvProject->Option(key);
        if (!value.empty() && ReadInt(value, 0) != ReadInt(value, 1))
            throw EhvError(std::string(key) + "=" + value + " is not a whole number");
    }
    // Nor may a word that names no form of the text files stop only when the first one is due.
    hvProject->OutputExt();
    hvProject->HiddenSlides();
    hvProject->TextEncoding();
    Shards = std::max(hvProject->Shards(), 1);
    Shard = hvProject->Shard();
    if (Shards > 1 && (Shard < 0 || Shard >= Shards)) {
        throw EhvError("Shard " + std::to_string(Shard) + " is not one of the " +
                       std::to_string(Shards) + " shards (0 to " + std::to_string(Shards - 1) +
                       ")");
    }
    SourceList = NormalizePath(hvProject->SourceList(), delim);
    if (SourceList.empty()) return;
    // Opened here, so that a list that is not there stops the run before anything starts.
    list_ = std::make_unique<ThvReadFile>(SourceList);
    // Every entry of a list is a file to convert: no mask; "RegExt" still applies. Sub-folders
    // are rebuilt below the source root, which is the list's own folder unless given.
    Mask.clear();
    const std::string root = NormalizePath(hvProject->SourceRoot(), delim);
    SourceFolder = root.empty() ? ExtractFilePath(SourceList, delim)
                                : IncludeTrailingPathDelimiter(root, delim);
    // Only a list that is a plain file is looked at before the run: one that is a pipe may wait
    // for its writer, and only the search's wait can be stopped. Its entries outside the root
    // are still refused one by one.
    if (KeepTargetSubdirs && GetPathKind(SourceList) == ThvPathKind::File)
        CheckListRoot(!root.empty());
}

void ThvBatch::CheckListRoot(bool rootGiven) {
    // Read up to the first entry below the root, which is mostly the first one; what is read
    // is kept for the search, which then reads on from there.
    // Past kListHeadBytes the search goes on and refuses each entry outside on its own.
    const std::string listFolder = ExtractFilePath(SourceList, delim_);
    bool inside = false;
    std::size_t outside = 0;
    std::string firstOutside;
    std::string common;  // the folder all entries outside have in common
    ThvSourceListReader reader(
        [&](std::size_t, std::string text) {
            if (inside) return;
            const std::string path = ResolveListEntry(text, listFolder, delim_);
            if (IsBelowFolder(path, SourceFolder, delim_)) {
                inside = true;
                return;
            }
            const std::string folder = ExtractFilePath(path, delim_);
            if (outside++ == 0) {
                firstOutside = path;
                common = folder;
            } else {
                std::size_t same = 0;
                while (same < common.size() && same < folder.size() && common[same] == folder[same])
                    ++same;
                common = ExtractFilePath(std::string_view(common).substr(0, same), delim_);
            }
        },
        [](std::size_t, const std::string&) {});
    std::vector<char> piece(kListPiece);
    for (;;) {
        const std::size_t got = list_->Read(piece.data(), piece.size());
        if (got == 0) {
            reader.Finish();
            break;
        }
        listHead_.append(piece.data(), got);
        reader.Feed(std::string_view(piece.data(), got));
        if (inside || listHead_.size() >= kListHeadBytes) return;
    }
    if (inside || outside == 0) return;
    std::string message = "Every entry of the source list \"" + SourceList +
                          "\" lies outside the source root \"" + SourceFolder + "\"" +
                          (rootGiven ? "" : " (the list's own folder, as SourceRoot is not set)") +
                          ", so no text file would have a place below the target folder; the " +
                          "first is \"" + firstOutside + "\".";
    if (!common.empty())
        message += " To keep the folders below " + common + ": SourceRoot=" + common;
    throw EhvError(message);
}

void ThvBatch::Execute() {
    try {
        if (list_) {
            ReadList();
        } else if (!paths_.empty()) {
            SearchPaths();
        } else if (!Mask.empty()) {
            // An empty mask names no file, so the walk would find nothing at any depth.
            // Start refused a mask that does not compile.
            const std::shared_ptr<const ThvRegex> nameFilter =
                CreateRegex(NameFilterPattern(Mask), hvRegexIgnoreCase);
            SearchFolder(SourceFolder, nameFilter.get());
        }
    } catch (const std::bad_alloc&) {
        // A list too large for the memory: the run converts what was taken, and counts the
        // rest as a failure rather than end as if the list had ended there.
        try {
            AddFailure("The search ended early: out of memory after " + std::to_string(Count()) +
                       " files");
        } catch (const std::exception&) {
        }
    } catch (const std::exception&) {
        // An error from OnFound ends the search early; the nodes found so far stay, as they do
        // after a terminate request. Nothing may escape a thread's body.
    }
    MarkSearched();
}

void ThvBatch::SearchPaths() {
    const std::shared_ptr<const ThvRegex> nameFilter =
        Mask.empty() ? nullptr : CreateRegex(NameFilterPattern(Mask), hvRegexIgnoreCase);
    for (const std::string& path : paths_) {
        if (Terminated()) return;
        if (DirectoryExists(path)) {
            // An empty mask names no file at any depth.
            if (nameFilter)
                SearchFolder(IncludeTrailingPathDelimiter(path, delim_), nameFilter.get());
        } else {
            // As a chosen file: whatever its name, the conversion says what it is.
            AppendNode(path, {});
        }
    }
}

void ThvBatch::ReadList() {
    const std::string listFolder = ExtractFilePath(SourceList, delim_);
    // A line that names no file is a failure of its own, named by the list and the line; of
    // several shares the one its name falls to says it, as each share of a search does.
    const auto refuseLine = [this](std::size_t line, const std::string& message) {
        const std::string where = SourceList + ":" + std::to_string(line);
        if (InShare(where)) AddRefused(where, "Left out: in the source list, " + message + ".");
    };
    // The root as the system has it, links followed: a folder below it that is a link to
    // another place puts its files outside, where DeleteSource would reach them.
    const bool local = delim_ == PathDelim;
    const std::string realRoot = local ? ResolvedFolder(SourceFolder) : std::string();
    std::string lastFolder, lastRealFolder;  // entries of one folder tend to come together
    ThvSourceListReader reader(
        [&](std::size_t line, std::string text) {
            std::string path = ResolveListEntry(text, listFolder, delim_);
            // A file outside the root has no place below the target folder; cutting the root's
            // length off its path would put its text file anywhere.
            if (searchKeepsSubdirs_ && !SourceFolder.empty()) {
                std::string why;
                if (!IsBelowFolder(path, SourceFolder, delim_)) {
                    why = ", so its text would have no place below the target folder.";
                } else if (!realRoot.empty()) {
                    const std::string folder = ExtractFilePath(path, delim_);
                    if (folder != lastFolder) {
                        lastFolder = folder;
                        lastRealFolder = ResolvedFolder(folder);
                    }
                    // A folder that is not there holds no file to convert or delete.
                    if (!lastRealFolder.empty() &&
                        !IsBelowFolder(lastRealFolder, realRoot, delim_) &&
                        lastRealFolder != realRoot)
                        why = ": its folder is \"" + lastRealFolder + "\", reached through a link.";
                }
                if (!why.empty()) {
                    if (InShare(path)) {
                        AddRefused(path, "Left out: line " + std::to_string(line) +
                                             " of the source list is not below the source root \"" +
                                             SourceFolder + "\"" + why);
                    }
                    return;
                }
            }
            AddCandidate(path);
        },
        refuseLine);
    try {
        reader.Feed(std::exchange(listHead_, {}));
        ReadSourceListFile(*list_, reader, [this] { return Terminated(); });
    } catch (const EhvError& e) {
        // The entries read before stay; the run goes on with them, and the list itself fails.
        AddRefused(SourceList, "Cannot read the rest of the source list: " + e.Message());
    }
}

void ThvBatch::SearchFolder(const std::string& folder, const ThvRegex* nameFilter) {
    const ThvFolderListing listing = ListFolder(folder.empty() ? "." : folder);
    // A source folder that is not there finds nothing, and says so only through the run's
    // advice; any other folder the search cannot read is a failure of its own.
    // Of several shares of a search, the folder's own share says it.
    const std::string shown = folder.empty() ? "." + std::string(1, delim_) : folder;
    if (!listing.Error.empty() && !(listing.Missing && folder == SourceFolder) && InShare(shown))
        AddRefused(shown, "Cannot search the folder: " + listing.Error + ".");
    const bool skipLockFiles = hvSkipLockFiles.load();
    for (const ThvFolderEntry& entry : listing.Entries) {
        if (Terminated()) return;
        const bool document = entry.Kind == ThvEntryKind::File;
        if (!document && entry.NotAFile.empty()) continue;
        if (SkipHidden && entry.Hidden) continue;
        if (skipLockFiles && StartsWith(entry.Name, "~$")) continue;
        // An engine error counts as a match, as everywhere in the name test.
        if (nameFilter && !nameFilter->TryTest(entry.Name).value_or(true)) continue;
        const std::string path = folder + entry.Name;
        if (!document) {
            if (InShare(path) && JudgePath(path, maskRegex_, RegExt) != TVerdictKind::Reject)
                AddRefused(path, NotAFileRefusal(entry.NotAFile));
        } else if (FitsPathLimit(path, false)) {
            AddCandidate(path);
        }
    }
    if (!Subdirs) return;
    for (const ThvFolderEntry& entry : listing.Entries) {
        if (Terminated()) return;
        // Hidden folders are never entered, whatever "SkipHidden" says.
        if (entry.Kind != ThvEntryKind::Folder || entry.Hidden) continue;
        const std::string below = folder + entry.Name + delim_;
        if (FitsPathLimit(below, true)) SearchFolder(below, nameFilter);
    }
}

// A path the system cannot take whole can be neither converted nor searched; it is refused
// here, once, rather than failing later with a message about some file operation.
bool ThvBatch::FitsPathLimit(const std::string& path, bool folder) {
    if (path.size() <= MaxPathBytes()) return true;
    if (!InShare(path)) return false;
    if (folder) {
        AddRefused(path, "Cannot search the folder: " + TooLongText(path.size()) + ".");
    } else if (JudgePath(path, maskRegex_, RegExt) != TVerdictKind::Reject) {
        AddRefused(path, "Cannot convert: " + TooLongText(path.size()) + ".");
    }
    return false;
}

void ThvBatch::MarkSearched() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        searched_.store(true);
    }
    changed_.notify_all();
    completed_.notify_all();
}

void ThvBatch::AddFile(const std::string& path) {
    AddCandidate(path);
    MarkSearched();
}

void ThvBatch::AddCandidate(const std::string& path) {
    if (!InShare(path)) return;
    switch (JudgePath(path, maskRegex_, RegExt)) {
        case TVerdictKind::Reject:
            return;
        case TVerdictKind::Undecided:
            AppendNode(path,
                       regExtError_.empty() ? kUndecidedRefusal : "Left out: " + regExtError_);
            return;
        case TVerdictKind::Accept:
            AppendNode(path, {});
            return;
    }
}

void ThvBatch::AddRefused(const std::string& path, const std::string& reason) {
    AppendNode(path, reason);
}

void ThvBatch::AppendNode(const std::string& path, const std::string& refusal) {
    ThvNode* node = nullptr;
    bool someoneWaits = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        nodes_.push_back(
            std::make_unique<ThvNode>(static_cast<int32_t>(nodes_.size()), path, refusal));
        node = nodes_.back().get();
        someoneWaits = waiting_ > 0;
    }
    // Lets a waiting converter keep pace with a large search. The window needs no such help:
    // it takes the news in batches, and on a busy machine a yield per file hands the search's
    // time to every other program.
    if (someoneWaits) {
        changed_.notify_one();
        std::this_thread::yield();
    }
    if (OnFound) OnFound(*this, *node);
}

bool ThvBatch::InShare(const std::string& path) const {
    if (Shards <= 1) return true;
    const std::string key =
        ShardKey(TargetRelativePart(path, SourceFolder, searchKeepsSubdirs_, delim_), delim_);
    return ShardOf(key, Shards) == Shard;
}

bool ThvBatch::Accepts(const std::string& path) const {
    if (!InShare(path)) return false;
    const ThvMatchBase* matcher = hvMatch;
    if (!matcher) return true;
    if (!matcher->Matches(path, maskRegex_)) return false;
    return RegExt.empty() || matcher->Matches(path, RegExt);
}

bool ThvBatch::IsListLine(const std::string& source) const {
    if (SourceList.empty() || !StartsWith(source, SourceList + ":")) return false;
    const std::string line = source.substr(SourceList.size() + 1);
    return !line.empty() && line.find_first_not_of("0123456789") == std::string::npos;
}

ThvSearchScope ThvBatch::Scope() const {
    ThvSearchScope scope;
    if (!started_) return scope;
    scope.SourceFolder = SourceFolder;
    scope.Mask = Mask;
    scope.Subdirs = Subdirs;
    scope.RegExt = RegExt;
    scope.SkipHidden = SkipHidden;
    scope.Delim = delim_;
    return scope;
}

ThvSearchScope ThvSearchScope::Of(const std::string& source, bool subdirs) {
    ThvSearchScope scope;
    scope.Delim = ProjectDelim();
    const std::string normalized = ThvBatch::NormalizePath(source, scope.Delim);
    scope.Mask = ExtractFileName(normalized, scope.Delim);
    scope.SourceFolder = ExtractFilePath(normalized, scope.Delim);
    scope.Subdirs = subdirs;
    scope.RegExt = hvProject ? hvProject->Option("RegExt") : std::string();
    scope.SkipHidden = hvProject ? ReadBool(hvProject->Option("SkipHidden"), false) : false;
    return scope;
}

bool ThvSearchScope::Lists(const std::string& path) const {
    if (Mask.empty() || path.empty()) return false;
    // Where the search sees the file: the source folder as written, then the path below it.
    std::string below;
    std::string folder;  // the source folder on this system's disk; empty for a foreign path
    if (Delim == PathDelim) {
        folder = ResolvedFolder(SourceFolder);
        const std::string resolved = ResolvedPath(path);
        if (folder.empty() || resolved.empty() || !StartsWith(resolved, folder)) return false;
        below = resolved.substr(folder.size());
    } else {
        if (!StartsWith(path, SourceFolder)) return false;
        below = path.substr(SourceFolder.size());
    }
    const std::size_t nameStart =
        below.rfind(Delim) == std::string::npos ? 0 : below.rfind(Delim) + 1;
    const std::string name = below.substr(nameStart);
    if (name.empty() || (nameStart > 0 && !Subdirs)) return false;
    // Hidden by its name, or (where the system hides by attribute) by what is there: the part
    // of below from start to end.
    auto hidden = [&](std::size_t start, std::size_t end) {
        if (IsHiddenName(below.substr(start, end - start))) return true;
        if (folder.empty()) return false;
        const std::optional<ThvFileAttributes> there =
            GetFileAttributes(folder + below.substr(0, end));
        return there && there->Hidden;
    };
    // Hidden folders are never entered.
    for (std::size_t start = 0; start < nameStart;) {
        const std::size_t end = below.find(Delim, start);
        if (hidden(start, end)) return false;
        start = end + 1;
    }
    if (SkipHidden && hidden(nameStart, below.size())) return false;
    if (hvSkipLockFiles.load() && StartsWith(name, "~$")) return false;
    try {
        if (!CreateRegex(NameFilterPattern(Mask), hvRegexIgnoreCase)->TryTest(name).value_or(true))
            return false;
    } catch (const ERegexException&) {
        // As in the search: the full-path test alone decides.
    }
    return JudgePath(SourceFolder + below, WildcardToRegex(Mask), RegExt) != TVerdictKind::Reject;
}

namespace {

/// True when the scope's source names one file (no wildcard, no sub-folders) and its folder,
/// which exists, holds nothing of that name in any letter case.
bool NamesAMissingFile(const ThvSearchScope& scope, const std::string& folder) {
    // Sub-folders may hold a file of that name, and a mask may match many.
    if (scope.Subdirs || scope.Mask.find_first_of("*?") != std::string::npos) return false;
    if (GetPathKind(folder + scope.Mask) != ThvPathKind::Missing) return false;
    // The search compares names ignoring case, and lists what no file look-up finds: a link
    // that leads nowhere gets a line of its own.
    const std::vector<ThvFolderEntry> entries = ReadFolderEntries(folder);
    return std::none_of(entries.begin(), entries.end(), [&](const ThvFolderEntry& entry) {
        return SameText(entry.Name, scope.Mask);
    });
}

}  // namespace

std::string ThvSearchScope::SourceAdvice(const std::string& sourceMask) const {
    if (Delim != PathDelim) return {};
    const std::string folder = SourceFolder.empty() ? "." + std::string(1, Delim) : SourceFolder;
    if (!DirectoryExists(folder)) {
        // The nearest folder above that exists, as a source that searches it.
        std::string nearest = ExcludeTrailingPathDelimiter(folder, Delim);
        while (!nearest.empty() && !DirectoryExists(nearest)) nearest = FolderAbove(nearest, Delim);
        if (!nearest.empty())
            nearest = IncludeTrailingPathDelimiter(nearest, Delim);
        else
            nearest = folder[0] == Delim ? std::string(1, Delim) : "." + std::string(1, Delim);
        return "The source folder \"" + folder + "\" does not exist, so nothing was found. " +
               "The nearest folder that does is \"" + nearest +
               "\"; to search it: Source=" + nearest + sourceMask;
    }
    std::string named;
    if (Mask.empty())
        named = folder;
    else if (DirectoryExists(folder + Mask))
        named = folder + Mask + Delim;
    else if (NamesAMissingFile(*this, folder))
        return "The source file \"" + folder + Mask + "\" does not exist, so nothing was found. " +
               "To search its folder: Source=" + folder + sourceMask;
    if (named.empty()) return {};
    return "The source \"" + ExcludeTrailingPathDelimiter(named, Delim) +
           "\" names a folder but no files in it, so nothing was found. To convert the " +
           "presentations in it: Source=" + named + sourceMask;
}

ThvNode* ThvBatch::NextNode() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (nextIndex_ < nodes_.size()) return nodes_[nextIndex_++].get();
        if (searched_.load()) {
            exhausted_.store(true);
            return nullptr;
        }
        ++waiting_;
        changed_.wait(lock);
        --waiting_;
    }
}

void ThvBatch::WaitForSearch() {
    std::unique_lock<std::mutex> lock(mutex_);
    completed_.wait(lock, [this] { return searched_.load() || !thread_.joinable(); });
}

const ThvNodeList& ThvBatch::Lock() {
    mutex_.lock();
    return nodes_;
}

void ThvBatch::Unlock() { mutex_.unlock(); }

void ThvBatch::AddSuccess() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++succeeded_;
}

void ThvBatch::AddSkipped() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++skipped_;
}

void ThvBatch::AddFailure(const std::string& message) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (failureBytes_ >= MaxFailureBytes) {
            ++failed_;
            return;
        }
    }
    std::string key = FoldCase(message);  // outside the lock: case folding is not cheap
    std::lock_guard<std::mutex> lock(mutex_);
    ++failed_;
    if (failureBytes_ < MaxFailureBytes && failureKeys_.insert(std::move(key)).second) {
        failures_.push_back(message);
        failureBytes_ += message.size();
    }
}

int32_t ThvBatch::Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int32_t>(nodes_.size());
}

int32_t ThvBatch::Succeeded() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return succeeded_;
}

int32_t ThvBatch::Failed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failed_;
}

int32_t ThvBatch::Skipped() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return skipped_;
}

std::vector<std::string> ThvBatch::FailureList() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failures_;
}

std::string ThvBatch::Failures() const {
    const std::vector<std::string> items = FailureList();
    // A lone empty item still shows, so a failure never reads as no failure at all.
    if (items.size() == 1 && items[0].empty()) return "\"\"";
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += ',';
        if (!NeedsQuotes(items[i])) {
            text += items[i];
            continue;
        }
        text += '"';
        for (char c : items[i]) {
            if (c == '"') text += '"';
            text += c;
        }
        text += '"';
    }
    return text;
}
