#include "shell/hvLogPathCheck.h"

#include <functional>

#include "discovery/hvBatch.h"
#include "discovery/hvSourceList.h"
#include "platform/base/hvError.h"
#include "platform/files/fileStream.h"
#include "platform/files/fileSystem.h"
#include "platform/files/pathIdentity.h"
#include "platform/files/paths.h"
#include "project/hvProject.h"
#include "shell/hvApp.h"
#include "shell/hvInfo.h"

namespace {

class TResultListGuard {
  public:
    TResultListGuard(const std::string& path, ThvBatch* batch)
        : path_(path), resolved_(ResolvedPath(path)), batch_(batch) {}

    void Check() const {
        if (resolved_.empty()) return;
        if (hvProject) {
            if (hvProject->IsProjectFile(hvProject->FileName) && Names(hvProject->FileName))
                Refuse("the project file of this run");
            if (Names(hvProject->DefaultProjectFile())) Refuse("the default project file");
            if (Names(hvProject->RecentListFile())) Refuse("the list of recent projects");
            if (Names(hvProject->SourceList())) Refuse("the source list of this run");
            if (Names(hvProject->Passwords())) Refuse("the password list of this run");
        }
        if (hvInfo && Names(hvInfo->StorePath())) Refuse("the usage store");
        if (hvApp && Names(hvApp->ExeName)) Refuse("the program itself");
        if (!hvProject) return;

        // A batch that was searched knows its scope; before a search, or for files added by
        // hand, the project's source says what a search would list.
        ThvSearchScope scope = batch_ ? batch_->Scope() : ThvSearchScope();
        if (scope.Mask.empty())
            scope = ThvSearchScope::Of(hvProject->Source(), hvProject->Subdir());
        if (IsPresentation(scope, path_)) Refuse("a presentation of this run");
        // The log is written after the run, over what a renamed presentation is then called.
        const std::string rename = hvProject->RenameSource();
        if (!rename.empty() && path_.size() > rename.size() && path_.ends_with(rename) &&
            IsPresentation(scope, path_.substr(0, path_.size() - rename.size())))
            Refuse("the name a presentation of this run gets when it is renamed (RenameSource)");
    }

  private:
    [[noreturn]] void Refuse(const std::string& what) const {
        throw EhvError("Cannot write the list of results to \"" + path_ + "\": it is " + what +
                       ".");
    }

    // Another spelling of the same place, or the very file behind a link.
    bool Names(const std::string& other) const {
        if (other.empty()) return false;
        return ResolvedPath(other) == resolved_ || SameExistingFile(path_, other);
    }

    bool IsPresentation(const ThvSearchScope& scope, const std::string& path) const {
        if (scope.Lists(path)) return true;
        // A link at path is replaced, but a writer that follows it would hit what it names.
        const std::string behind = FullyResolvedPath(path);
        if (!behind.empty() && behind != path && scope.Lists(behind)) return true;
        const std::string name = ExtractFileName(path);
        const std::string behindName = ExtractFileName(behind);
        const std::string resolved = ResolvedPath(path);
        const auto same = [&](const std::string& source) {
            // The name first: resolving every path of a large batch costs a look-up each.
            const std::string sourceName = ExtractFileName(source);
            if (sourceName != name && sourceName != behindName) return false;
            return ResolvedPath(source) == resolved || SameExistingFile(path, source);
        };
        if (ListsInSourceList(same)) return true;
        if (!batch_) return false;
        ThvBatchLock lock(*batch_);
        for (const auto& node : lock.Nodes())
            if (same(node->Source)) return true;
        return false;
    }

    // A source list names its presentations before any search: the list is read for them
    // here, once more, piece by piece. A list that is no plain file (a pipe) can be read only
    // by the run; the batch holds what it gave.
    static bool ListsInSourceList(const std::function<bool(const std::string&)>& same) {
        const char delim = hvProject->PathDelim;
        const std::string list = ThvBatch::NormalizePath(hvProject->SourceList(), delim);
        if (list.empty() || delim != PathDelim || GetPathKind(list) != ThvPathKind::File)
            return false;
        const std::string listFolder = ExtractFilePath(list, delim);
        bool found = false;
        ThvSourceListReader reader(
            [&](std::size_t, std::string text) {
                found = found || same(ResolveListEntry(text, listFolder, delim));
            },
            [](std::size_t, const std::string&) {});
        try {
            ThvReadFile file(list);
            ReadSourceListFile(file, reader, [&] { return found; });
        } catch (const EhvError&) {
            // The run itself then fails to read it, and says so.
        }
        return found;
    }

    const std::string& path_;
    const std::string resolved_;
    ThvBatch* batch_;
};

}  // namespace

void CheckResultListPath(const std::string& path, ThvBatch* batch) {
    TResultListGuard(path, batch).Check();
}
