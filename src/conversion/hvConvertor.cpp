#include "conversion/hvConvertor.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "discovery/hvBatch.h"
#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"
#include "platform/files/pathIdentity.h"
#include "platform/files/paths.h"
#include "platform/system/mainThread.h"
#include "project/hvProject.h"
#include "text/textEncoding.h"

namespace {

// Guards the wake-up: a converter counts itself out and notifies while holding it, so a waiter
// that has just seen a count above 0 is already waiting when the notify comes.
std::mutex convertersEndedLock;
std::condition_variable convertersEnded;

std::shared_ptr<ThvConvertor> CreateConvertor(ThvBatch& batch, int32_t count,
                                              const ThvNodeEvent& onFileDone) {
    if (!hvProject || !hvProject->ConverterClass || !hvProject->ConverterClass->Create)
        throw EhvError("No converter class is set for the project.");
    return hvProject->ConverterClass->Create(batch, count, onFileDone);
}

}  // namespace

std::shared_ptr<ThvConvertor> ThvConvertor::CreateChain(ThvBatch& batch, const std::string& target,
                                                        const ThvNodeEvent& onFileDone) {
    batch.SetTarget(target);
    // The target folder is tidied of killed runs' temporaries by every run, also by one that
    // finds nothing to convert there; the folders below it when the run converts into them.
    if (batch.Targets.FirstInFolder(batch.TargetFolder)) RemoveStaleTemporaries(batch.TargetFolder);
    const int32_t count = std::min(hvProject->ThreadsCount(), MaxConverters);
    return CreateConvertor(batch, count, onFileDone);
}

ThvConvertor::ThvConvertor(ThvBatch& batch, int32_t count, ThvNodeEvent onFileDone)
    : ThvWorkBase(batch),
      OnFileDone(std::move(onFileDone)),
      Next(count > 1 ? CreateConvertor(batch, std::min(count, MaxConverters) - 1, OnFileDone)
                     : nullptr),
      ConverterCount(std::clamp(count, 1, MaxConverters)) {}

void ThvConvertor::SetOnFinish(const ThvEvent& event) {
    onFinish_ = event;
    if (Next) Next->SetOnFinish(event);
}

void ThvConvertor::Start() {
    if (onFinish_ && !HasMainThreadDispatcher())
        throw EhvError(
            "The converters' end notification needs a main-thread dispatcher, and none "
            "is installed.");
    for (ThvConvertor* c = this; c; c = c->Next.get()) c->Resume();
}

void ThvConvertor::Stop() {
    try {
        if (Next) {
            Next->Stop();
            while (!Next->Terminated() && !Next->Ended())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (!Ended()) Terminate();
    } catch (...) {
        // Stopping is a request; nothing about it may fail the caller.
    }
}

void ThvConvertor::ProcessNode() {
    // However this node ends, the nodes after it must not wait for its target for ever.
    struct TSettle {
        ThvTargetClaims& Targets;
        const int32_t Index;
        ~TSettle() { Targets.Settle(Index); }
    } settle{Batch.Targets, Current->Index};
    sourceIdentity_.reset();
    if (Current->Refusal.empty()) {
        ConvertFile(Batch, *Current);
    } else {
        // What the search could not take for a document is never opened, nor its target made.
        Current->Result = Current->Refusal;
        Current->State = ThvNode::Failure;
        Batch.AddFailure(Current->Result);
    }
    if (OnFileDone) OnFileDone(Batch, *Current);
}

void ThvConvertor::AfterExecute() {
    CleanUp();
    if (onFinish_) {
        try {
            RunOnMainThread(onFinish_);
        } catch (const std::exception&) {
            // Start made sure a dispatcher was there; if it went away since, the converter
            // must still count itself out, or its owner would wait for ever.
        }
    }
    // Counted out and announced in one step under the wake-up lock: a waiter that sees the
    // count reach 0 may end the process, so this thread must be past the notify by then.
    ThvBatchLock lock(Batch);
    std::lock_guard wake(convertersEndedLock);
    RunningCount.fetch_sub(1);
    convertersEnded.notify_all();
}

bool WaitForConverters(std::chrono::milliseconds timeout) {
    std::unique_lock lock(convertersEndedLock);
    return convertersEnded.wait_for(lock, timeout, [] { return RunningCount.load() <= 0; });
}

std::string ThvConvertor::TargetPath(ThvBatch& batch, ThvNode& node) {
    // The batch's rule, which the shards and the logs follow too.
    std::string path = AdjustTarget(batch.TargetOf(node.Source, [this] { return HasMacros(); }));

    const std::string folder = ExtractFilePath(path, hvProject->PathDelim);
    // A source that is not there fails when it is opened: no folder is made for its text.
    const bool sourceThere =
        node.Source.starts_with("http") || GetPathKind(node.Source) != ThvPathKind::Missing;
    if (!folder.empty() && sourceThere && !DirectoryExists(folder)) {
        ForceDirectories(folder);
        // The conversion is still tried: its own failure then tells the user what went wrong.
        if (!DirectoryExists(folder)) batch.AddFailure("CreateDir Failed: " + folder);
    }

    // Temporaries that killed runs left here go before this run writes here.
    if (!folder.empty() && batch.Targets.FirstInFolder(folder)) RemoveStaleTemporaries(folder);

    batch.Targets.WaitForTurn(node.Index);
    path = ChooseTarget(batch, node, std::move(path), folder);
    batch.Targets.Settle(node.Index);
    if (!path.empty()) sourceIdentity_ = GetFileIdentity(node.Source);
    return path;
}

std::string ThvConvertor::ChooseTarget(ThvBatch& batch, ThvNode& node, std::string path,
                                       const std::string& folder) {
    const ThvProject& project = *hvProject;
    ThvTargetClaims& targets = batch.Targets;
    auto refuse = [&](const std::string& what) {
        node.Result = "\"" + path + "\" would replace " + what;
        node.State = ThvNode::Failure;
        batch.AddFailure(node.Result);
        return std::string();
    };
    // A text that an earlier node of this run writes counts as one that existed before the
    // run, except that it is never overwritten: the user would lose it without a word. So do
    // the run's logs, which a text written there would cut short or be replaced by, and the
    // source itself (a presentation named x.txt converted beside itself).
    const auto takenBy = [&](const std::string& at) -> std::optional<std::string> {
        if (auto log = targets.ReservedFor(at)) return log;
        if (const auto first = targets.Holder(at, node.Index)) {
            ThvBatchLock lock(batch);
            return "the text of \"" + lock.Nodes()[static_cast<std::size_t>(*first)]->Source +
                   "\" converted in this run";
        }
        if (SameText(ExtractFileName(at, project.PathDelim),
                     ExtractFileName(node.Source, project.PathDelim)) &&
            SameExistingFile(at, node.Source))
            return "its own source";
        return std::nullopt;
    };
    const std::optional<std::string> first = takenBy(path);
    if (first || FileExists(path)) {
        switch (project.OverwriteMode()) {
            case ThvOverwriteMode::Overwrite:
                if (first) return refuse(*first);
                break;
            case ThvOverwriteMode::NewName:
                path = NewTargetName(targets, node.Index, folder,
                                     ExtractFileName(path, project.PathDelim));
                if (path.empty()) {
                    node.Result = "No new name is free for the text of \"" + node.Source +
                                  "\" in \"" + folder + "\"";
                    node.State = ThvNode::Failure;
                    batch.AddFailure(node.Result);
                    return {};
                }
                break;
            case ThvOverwriteMode::Skip:
                node.State = ThvNode::Success;
                batch.AddSkipped();
                return {};
        }
    }
    targets.Take(path, node.Index);
    return path;
}

std::string ThvConvertor::NewTargetName(const ThvTargetClaims& targets, int32_t index,
                                        const std::string& folder, const std::string& name) {
    const ThvProject& project = *hvProject;
    const std::string prefix = folder + "-" + project.ShortName + "-";
    // A new name is one that nothing has yet, on the disk, among this run's targets or its logs:
    // a text the user edited under an earlier new name must never be written over.
    auto free = [&](const std::string& candidate) {
        return GetPathKind(candidate) == ThvPathKind::Missing &&
               !targets.Holder(candidate, index) && !targets.ReservedFor(candidate);
    };
    if (const std::string first = prefix + name; free(first)) return first;
    const std::string ext = ExtractFileExt(name, project.PathDelim);
    const std::string stem = prefix + name.substr(0, name.size() - ext.size());
    for (int32_t number = 2; number <= MaxNewNames; ++number) {
        std::string candidate = stem + " (" + std::to_string(number) + ")" + ext;
        if (free(candidate)) return candidate;
    }
    return {};
}

void ThvConvertor::AfterConvert(ThvBatch&, ThvNode& node, const std::string& target) {
    const ThvProject& project = *hvProject;
    const bool keepTime = project.KeepFileTime(), deleteSource = project.DeleteSource();
    const std::string rename = project.RenameSource();
    if (!keepTime && !deleteSource && rename.empty()) return;
    // Only the very file that was converted is touched: one put in its place, or changed,
    // while it was read is the user's newer work.
    if (!sourceIdentity_ || GetFileIdentity(node.Source) != sourceIdentity_) {
        node.Warning = "source left as it is: it was replaced or changed while it was converted";
        return;
    }
    if (keepTime) CopyFileTime(node.Source, target);
    // A source left where it was is converted again by the next run; the log must say so.
    std::string notDone;
    bool deleted = false;
    if (deleteSource) {
        deleted = DeleteFile(node.Source);
        if (!deleted) notDone = "source not deleted: " + LastSystemErrorMessage();
    }
    // A deleted source has nothing left to rename.
    if (!rename.empty() && !deleted && !MoveFile(node.Source, node.Source + rename))
        notDone +=
            (notDone.empty() ? "" : "; ") + ("source not renamed: " + LastSystemErrorMessage());
    node.Warning = notDone;
}

void ThvConvertor::DeleteTarget(const std::string& path) { DeleteFile(path); }

void ThvConvertor::CopyFileTime(const std::string& source, const std::string& target) {
    // All three times where the platform can set them; Linux cannot set a creation time.
    if (const auto times = GetFileTimes(source)) SetFileTimes(target, *times);
}
