#include "hvMain.h"

#include <chrono>
#include <cstdio>

#include "fileSystem.h"
#include "hvBatch.h"
#include "hvConvertor.h"
#include "hvError.h"
#include "hvExitCode.h"
#include "hvInfo.h"
#include "hvJsonLog.h"
#include "hvProject.h"
#include "hvShard.h"
#include "paths.h"
#include "textFile.h"

ThvMain* hvMain = nullptr;

namespace {

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
    // Without a target the output would land in the root folder or nowhere.
    if (hvProject->Target().empty())
        throw EhvError("No target folder: set Target, or give a Source with a folder");

    Batch = std::make_unique<ThvBatch>();
    const bool subdirs = hvProject->Subdir();
    const std::string target = hvProject->TargetFolder();
    const std::string source = hvProject->Source();
    if (ReadExitCodes(hvProject->Option("ExitCodes")) == ThvExitCodes::Strict)
        RefuseWhatCannotRun(target);
    // Opened before anything runs: a run whose records cannot be kept does not start.
    jsonLog_.reset();
    if (const std::string path = hvProject->JsonLog(); !path.empty())
        jsonLog_ = std::make_unique<ThvJsonLog>(path);
    attempt_ = hvProject->Attempt();
    Batch->Start(source, target, subdirs);

    Converter = ThvConvertor::CreateChain(
        *Batch, hvProject->TargetFolder(),
        [this](ThvBatch& batch, ThvNode& node) { FileDone(batch, node); });
    RunningCount = Converter->ConverterCount;
    Converter->Start();
    hvInfo->UpdateCounter("C", 0, 1);

    const auto started = std::chrono::steady_clock::now();
    const auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    // No converter calls back into this thread here (no finish event is set), so waiting is
    // safe; the timeout is the progress display's tick.
    while (!WaitForConverters(std::chrono::milliseconds(100))) ShowProgress(elapsed(), false);
    ShowProgress(elapsed(), true);
    ReportRun();
    jsonLog_.reset();
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
    const std::string logFile = hvProject->Option("LogFile");
    const std::string logFolder = ExtractFilePath(logFile, delim);
    if (!logFile.empty() && !logFolder.empty() && !DirectoryExists(logFolder))
        throw EhvError("The folder of the log file \"" + logFile + "\" does not exist");
}

void ThvMain::FileDone(ThvBatch& batch, ThvNode& node) {
    if (jsonLog_) WriteJsonRecord(batch, node);
    std::string line = StateWord(node.State) + " => " + node.Source + " => " + node.Result;
    // A fourth field tells of a source left in place that the options asked to delete, rename
    // or time-stamp: the next run converts it again.
    if (!node.Warning.empty()) line += " => " + node.Warning;
    std::lock_guard lock(logLock_);
    log_.push_back(std::move(line));
}

void ThvMain::WriteJsonRecord(ThvBatch& batch, ThvNode& node) {
    const ThvProject& project = *hvProject;
    // The text file the target rule names; a file written under a new name reports its own.
    std::string target =
        batch.TargetFolder + TargetRelativePart(node.Source, batch.SourceFolder,
                                                batch.KeepTargetSubdirs, project.PathDelim);
    if (!project.TargetExt.empty())
        target = ChangeFileExt(target, project.TargetExt, project.PathDelim);
    const int32_t shard = batch.Shards > 1 ? batch.Shard : 0;
    try {
        jsonLog_->Write(JsonLogRecordOf(node, target, shard, attempt_));
    } catch (const EhvError& e) {
        // The conversions go on; the run ends in an error once they are done.
        std::lock_guard lock(logLock_);
        if (jsonLogError_.empty()) jsonLogError_ = e.Message();
    }
}

std::vector<std::string> ThvMain::LogLines() const {
    std::lock_guard lock(logLock_);
    return log_;
}

void ThvMain::ReportRun() {
    hvInfo->UpdateCounter("A", 0, Batch->Count());
    hvInfo->UpdateCounter("S", 0, Batch->Succeeded());
    hvInfo->UpdateCounter("F", 0, Batch->Failed());

    // The link is percent-encoded as it is made, "?" included.
    if (Batch->Failed() > 0) hvInfo->OpenLink("", "err&e=" + Batch->Failures(), "");

    const std::string logFile = hvProject->Option("LogFile");
    if (!logFile.empty()) WriteTextFile(logFile, JoinLines(LogLines()));
}

void ThvMain::ShowProgress(double seconds, bool final) {
    if (!terminal_) return;
    const int32_t found = Batch->Count(), succeeded = Batch->Succeeded(), failed = Batch->Failed();
    const double rate = seconds > 0 ? (succeeded + failed) / seconds : 0;
    char line[160];
    if (final) {
        std::snprintf(line, sizeof line, "\r\033[K%d files: %d converted, %d failed in %.1f s\n",
                      found, succeeded, failed, seconds);
    } else {
        std::snprintf(line, sizeof line, "\r\033[K%d found, %d converted, %d failed, %.1f files/s",
                      found, succeeded, failed, rate);
    }
    progress_ << line << std::flush;
}
