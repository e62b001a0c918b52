#include "shell/hvMain.h"

#include <chrono>
#include <cstdio>
#include <optional>

#include "conversion/hvConvertor.h"
#include "conversion/hvPowerPointOle.h"
#include "discovery/VBScriptRegex.h"
#include "discovery/hvBatch.h"
#include "discovery/hvSourceList.h"
#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"
#include "platform/files/pathIdentity.h"
#include "platform/files/paths.h"
#include "platform/system/signals.h"
#include "project/hvProject.h"
#include "shell/hvExitCode.h"
#include "shell/hvInfo.h"
#include "shell/hvJsonLog.h"
#include "shell/hvLogPathCheck.h"
#include "shell/hvLogText.h"
#include "shell/hvRunReport.h"
#include "text/textEncoding.h"

ThvMain* hvMain = nullptr;

namespace {

// The target that sends each converted file to standard output instead of a folder.
bool ToStandardOutput() { return hvProject->Target() == "-"; }

std::string StateWord(int32_t state) {
    switch (state) {
        case ThvNode::Success:
            return "Success";
        case ThvNode::Failure:
            return "Failure";
        default:
            return "Running";
    }
}

}  // namespace

ThvMain::~ThvMain() = default;

void ThvMain::Run() {
    {
        std::lock_guard lock(logLock_);
        log_.clear();
        jsonLogError_.clear();
    }
    stopSignal_ = 0;
    // Taken before the first check, so that a stop request from here on ends the run in order;
    // the start-up code takes them earlier, to keep them through the shut-down too.
    std::optional<ThvStopSignals> ownStopSignals;
    if (!ThvStopSignals::Held()) ownStopSignals.emplace();
    CheckProject();
    codePage_ = AnsiCodePage();

    byPowerPoint_ = false;
    byEngine_ = false;
    // Set before the converters exist and cleared after they have ended (or when the run could
    // not start them): no thread reads it while it changes.
    ThvPowerPointOle::OnApplicationCreated = [this](bool systemServer) {
        (systemServer ? byPowerPoint_ : byEngine_) = true;
    };
    struct TClearOnExit {
        ~TClearOnExit() { ThvPowerPointOle::OnApplicationCreated = nullptr; }
    } clearOnExit;
    Batch = std::make_unique<ThvBatch>();
    const bool subdirs = hvProject->Subdir();
    // The files pass through a folder of their own: a converter writes and moves its file into
    // place as always, and only a whole file goes out, when its turn comes.
    std::optional<ThvPrivateFolder> textFolder;
    {
        std::lock_guard lock(textLock_);
        textsDone_.clear();
        nextText_ = 0;
    }
    textLost_ = false;
    if (ToStandardOutput()) textFolder.emplace();
    textFolder_ = textFolder ? textFolder->Path() : std::string();
    Batch->SetTarget(textFolder ? textFolder->Path() : hvProject->TargetFolder());
    const std::string target = Batch->TargetFolder;
    const std::string source = hvProject->Source();
    if (ReadExitCodes(hvProject->Option("ExitCodes")) == ThvExitCodes::Strict)
        RefuseWhatCannotRun(target);
    // A source the search cannot find anything in is no error unless the run is strict, but
    // the user hears why before the run ends empty.
    if (hvProject->SourceList().empty()) {
        const std::string advice =
            ThvSearchScope::Of(source, subdirs).SourceAdvice(hvProject->SourceMask);
        if (!advice.empty()) Say(hvProject->Title + ": " + EscapeLogField(advice, codePage_));
    }
    // Opened before anything runs: a run whose records cannot be kept does not start.
    jsonLog_.reset();
    if (const std::string path = hvProject->JsonLog(); !path.empty())
        jsonLog_ = std::make_unique<ThvJsonLog>(path);
    attempt_ = hvProject->Attempt();
    // A text written over a log would be cut short by it, or replace it.
    if (const std::string logFile = hvProject->LogFile(); !logFile.empty())
        Batch->Targets.Reserve(logFile, "the log of this run");
    if (jsonLog_) Batch->Targets.Reserve(hvProject->JsonLog(), "the JSON log of this run");
    Batch->Start(source, target, subdirs);

    Converter = ThvConvertor::CreateChain(
        *Batch, target,
        [this](ThvBatch& batch, ThvNode& node) { FileDone(batch, node); });
    RunningCount = Converter->ConverterCount;
    Converter->Start();
    hvInfo->UpdateCounter("C", 0, 1);

    const auto started = std::chrono::steady_clock::now();
    const auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    // No converter calls back into this thread here (no finish event is set), so waiting is
    // safe. A signal handler can only leave a mark, so the wait looks for one every 10 ms: a
    // converter that starts a file after the request would delay the stop by that file.
    auto nextTick = started;
    bool stopped = false;
    while (!WaitForConverters(std::chrono::milliseconds(10))) {
        if (stopSignal_ == 0 && ThvStopSignals::Received() != 0)
            stopSignal_ = ThvStopSignals::Received();
        // As the window's Stop: the search ends, every converter finishes its file.
        if (!stopped && (stopSignal_ != 0 || textLost_)) {
            stopped = true;
            Batch->Terminate();
            Converter->Stop();
        }
        if (std::chrono::steady_clock::now() >= nextTick) {
            ShowProgress(elapsed(), false);
            nextTick += std::chrono::milliseconds(100);
        }
    }
    // A signal may have cut the last files short (their passwords' hashing) just before the
    // converters ended, between two looks: the run was still stopped by it.
    if (stopSignal_ == 0) stopSignal_ = ThvStopSignals::Received();
    if (textFolder) PassRemainingTexts();
    ShowProgress(elapsed(), true);
    ReportRun();
    jsonLog_.reset();
    if (stopSignal_ != 0) {
        Say(hvProject->Title + ": stopped by " + ThvStopSignals::Name(stopSignal_) + " after " +
            std::to_string(Batch->Succeeded() + Batch->Failed()) + " of the " +
            std::to_string(Batch->Count()) + " files found; the others were left as they are.");
    }
    if (textLost_)
        throw EhvError("Standard output was closed before every converted file was written to it");
    std::lock_guard lock(logLock_);
    if (!jsonLogError_.empty()) throw EhvError(jsonLogError_);
}

bool ThvMain::FilesFailed() const { return Batch && Batch->Failed() > 0; }

void ThvMain::RefuseWhatCannotRun(const std::string& target) const {
    const char delim = hvProject->PathDelim;
    if (hvProject->SourceList().empty()) {
        const std::string source = ThvBatch::NormalizePath(hvProject->Source(), delim);
        const std::string folder = ExtractFilePath(source, delim);
        if (source.empty()) throw EhvError("No source: set Source or SourceList");
        if (!folder.empty() && !DirectoryExists(folder))
            throw EhvError("The source folder \"" + folder + "\" does not exist");
        // A mask without wildcards names one file, which must be there.
        if (ExtractFileName(source, delim).find_first_of("*?") == std::string::npos &&
            !FileExists(source)) {
            if (DirectoryExists(source)) {
                throw EhvError("The source \"" + source + "\" is a folder: give it with a mask, " +
                               IncludeTrailingPathDelimiter(source, delim) + "*.ppt?");
            }
            throw EhvError("The source file \"" + source + "\" does not exist");
        }
    }
    if (!DirectoryExists(target))
        throw EhvError("The target folder \"" + target + "\" cannot be created");
    const std::string logFile = hvProject->LogFile();
    const std::string logFolder = ExtractFilePath(logFile, delim);
    if (!logFile.empty() && !logFolder.empty() && !DirectoryExists(logFolder))
        throw EhvError("The folder of the log file \"" + logFile + "\" does not exist");
}

void ThvMain::CheckProject() const {
    // Without a target the output would land in the root folder or nowhere.
    const std::string target = hvProject->Target();
    if (target.empty())
        throw EhvError("No target folder: set Target, or give a Source with a folder");
    if (hvProject->PathDelim == PathDelim && !ToStandardOutput()) {
        const std::string bare = ExcludeTrailingPathDelimiter(target);
        const auto attributes = GetFileAttributes(bare.empty() ? target : bare);
        if (attributes && !attributes->Directory)
            throw EhvError("No target folder: \"" + target +
                           "\" is a file; set Target to a folder");
    }
    CheckRegExt(hvProject->Option("RegExt"));
    if (hvProject->SourceList().empty())
        ThvBatch::CheckMask(ThvSearchScope::Of(hvProject->Source(), false).Mask);
    // A log replaces its file after the run and a JSON log is appended to as files end:
    // either would destroy a file the run reads.
    const std::string logFile = hvProject->LogFile(), jsonLog = hvProject->JsonLog();
    for (const std::string& list : {logFile, jsonLog})
        if (!list.empty()) CheckResultListPath(list, nullptr);
    // The log would replace the records the JSON log gathered during the run.
    if (!logFile.empty() && !jsonLog.empty() &&
        ((!ResolvedPath(logFile).empty() && ResolvedPath(logFile) == ResolvedPath(jsonLog)) ||
         SameExistingFile(logFile, jsonLog)))
        throw EhvError("Cannot write the list of results to \"" + logFile +
                       "\": it is the JSON log of this run.");
}

void ThvMain::FileDone(ThvBatch& batch, ThvNode& node) {
    if (jsonLog_) WriteJsonRecord(batch, node);
    // The private folder is no place the user can look for the text.
    const bool passed = !textFolder_.empty() && node.State == ThvNode::Success;
    if (!textFolder_.empty()) PassText(node.Index, passed ? node.Result : std::string());
    // Every field escaped: a name holding a line break or " => " cannot make a line of its own.
    std::string line = EscapeLogField(StateWord(node.State), codePage_) + " => " +
                       EscapeLogField(node.Source, codePage_) + " => " +
                       EscapeLogField(passed ? "-" : node.Result, codePage_);
    // A fourth field tells of a source left in place that the options asked to delete, rename
    // or time-stamp: the next run converts it again.
    if (!node.Warning.empty()) line += " => " + EscapeLogField(node.Warning, codePage_);
    if (!node.Note.empty()) {
        Say("Note: \"" + EscapeLogField(node.Source, codePage_) + "\" was converted with " +
            EscapeLogField(node.Note, codePage_));
    }
    if (!node.Refusal.empty()) {
        Say(hvProject->Title + ": " + EscapeLogField(node.Source, codePage_) + ": " +
            EscapeLogField(node.Refusal, codePage_));
    }
    std::lock_guard lock(logLock_);
    log_.push_back(std::move(line));
}

void ThvMain::WriteJsonRecord(ThvBatch& batch, ThvNode& node) {
    // The text file the target rule names; a file written under a new name reports its own.
    // A list entry outside the source root (or a line naming no file) has no place for one.
    std::string target;
    if (!batch.IsListLine(node.Source) &&
        (!batch.KeepTargetSubdirs || batch.SourceFolder.empty() ||
         IsBelowFolder(node.Source, batch.SourceFolder, hvProject->PathDelim)))
        target = textFolder_.empty() ? batch.TargetOf(node.Source) : "-";
    const int32_t shard = batch.Shards > 1 ? batch.Shard : 0;
    try {
        jsonLog_->Write(JsonLogRecordOf(node, target, shard, attempt_));
    } catch (const EhvError& e) {
        // Nothing of the record is in the log; the user hears which file it was for at once.
        // The conversions go on; the run ends in an error once they are done.
        Say(hvProject->Title + ": the record of \"" + EscapeLogField(node.Source, codePage_) +
            "\" is not in the JSON log: " + EscapeLogField(e.Message(), codePage_));
        std::lock_guard lock(logLock_);
        if (jsonLogError_.empty()) jsonLogError_ = e.Message();
    }
}

void ThvMain::PassText(int32_t index, const std::string& path) {
    std::lock_guard lock(textLock_);
    textsDone_[index] = path;
    for (auto next = textsDone_.begin();
         next != textsDone_.end() && next->first == nextText_; next = textsDone_.begin()) {
        if (!next->second.empty()) WriteText(next->second);
        textsDone_.erase(next);
        ++nextText_;
    }
}

void ThvMain::PassRemainingTexts() {
    std::lock_guard lock(textLock_);
    for (const auto& [index, path] : textsDone_)
        if (!path.empty()) WriteText(path);
    textsDone_.clear();
}

void ThvMain::WriteText(const std::string& path) {
    // In pieces: a file may be as large as the text limit allows. Once the stream has failed,
    // the rest would only be lost as well.
    if (const ThvFilePtr file = OpenFileForReading(path); file && !textLost_) {
        char buffer[1 << 16];
        while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get())) {
            if (!text_({buffer, got})) {
                textLost_ = true;
                break;
            }
        }
    }
    DeleteFile(path);
}

void ThvMain::Say(const std::string& line) {
    std::lock_guard lock(progressLock_);
    // On a terminal the status line is cleared first; the next tick draws it again.
    progress_ << (terminal_ ? "\r\033[K" : "") << line << "\n" << std::flush;
}

std::vector<std::string> ThvMain::LogLines() const {
    std::lock_guard lock(logLock_);
    return log_;
}

void ThvMain::ReportRun() {
    const std::string logFile = hvProject->LogFile();
    ::ReportRun(*Batch, logFile, [&](const auto& put) {
        // A list that is no plain file (a pipe) could not be read for its presentations before
        // the run: what it gave is in the batch now.
        if (!Batch->SourceList.empty() && GetPathKind(Batch->SourceList) != ThvPathKind::File)
            CheckResultListPath(logFile, Batch.get());
        std::lock_guard lock(logLock_);
        for (const std::string& line : log_) put(line);
    });
}

void ThvMain::ShowProgress(double seconds, bool final) {
    if (!terminal_) return;
    const int32_t found = Batch->Count(), succeeded = Batch->Succeeded(), failed = Batch->Failed();
    const double rate = seconds > 0 ? (succeeded + failed) / seconds : 0;
    char line[160];
    if (final) {
        const char* by = byPowerPoint_ && byEngine_ ? " by PowerPoint and the built-in engine"
                         : byPowerPoint_            ? " by PowerPoint"
                         : byEngine_                ? " by the built-in engine"
                                                    : "";
        std::snprintf(line, sizeof line, "\r\033[K%d files: %d converted, %d failed in %.1f s%s\n",
                      found, succeeded, failed, seconds, by);
    } else {
        std::snprintf(line, sizeof line, "\r\033[K%d found, %d converted, %d failed, %.1f files/s",
                      found, succeeded, failed, rate);
    }
    std::lock_guard lock(progressLock_);
    progress_ << line << std::flush;
}
