#include "hvMain.h"

#include <chrono>
#include <cstdio>

#include "hvBatch.h"
#include "hvConvertor.h"
#include "hvError.h"
#include "hvInfo.h"
#include "hvProject.h"
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
    }
    // Without a target the output would land in the root folder or nowhere.
    if (hvProject->Target().empty())
        throw EhvError("No target folder: set Target, or give a Source with a folder");

    Batch = std::make_unique<ThvBatch>();
    const bool subdirs = hvProject->Subdir();
    const std::string target = hvProject->TargetFolder();
    const std::string source = hvProject->Source();
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
}

void ThvMain::FileDone(ThvBatch&, ThvNode& node) {
    std::string line = StateWord(node.State) + " => " + node.Source + " => " + node.Result;
    std::lock_guard lock(logLock_);
    log_.push_back(std::move(line));
}

std::vector<std::string> ThvMain::LogLines() const {
    std::lock_guard lock(logLock_);
    return log_;
}

void ThvMain::ReportRun() {
    hvInfo->UpdateCounter("A", 0, Batch->Count());
    hvInfo->UpdateCounter("S", 0, Batch->Succeeded());
    hvInfo->UpdateCounter("F", 0, Batch->Failed());

    if (Batch->Failed() > 0) {
        std::string failures;
        for (char c : Batch->Failures()) {
            if (c == '?')
                failures += "%3F";
            else
                failures += c;
        }
        hvInfo->OpenLink("", "err&e=" + failures, "");
    }

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
