#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "hvJsonLog.h"

class ThvBatch;
class ThvNode;
class ThvConvertor;

/// The unattended runner: converts the project's source without any window, waits on the main
/// thread until every converter has ended, counts the run, reports failures and writes the log.
/// One instance, hvMain, created at start-up; Run is called once, on the main thread, in the
/// unattended mode only.
class ThvMain {
  public:
    /// progress receives the status line and the summary when it is a terminal
    /// (progressIsTerminal).
    ThvMain(std::ostream& progress, bool progressIsTerminal)
        : progress_(progress), terminal_(progressIsTerminal) {}
    ~ThvMain();
    ThvMain(const ThvMain&) = delete;
    ThvMain& operator=(const ThvMain&) = delete;

    /// The whole run. Throws EhvError when the run cannot start (no target folder, a JSON log
    /// that cannot be opened; with ExitCodes=strict also a missing source, a target folder
    /// that cannot be made, a log file in no folder) or a log cannot be written; the program
    /// then ends with exit code 1 (2 with ExitCodes=strict).
    void Run();

    /// The per-file notification: one log line, and the file's record in the JSON log at once.
    /// Converter threads call it, several at once.
    void FileDone(ThvBatch& batch, ThvNode& node);

    /// After Run: at least one file failed.
    bool FilesFailed() const;

    // Declared in this order so that the chain goes before the batch it takes nodes from.
    std::unique_ptr<ThvBatch> Batch;
    std::shared_ptr<ThvConvertor> Converter;

    /// The log lines in the order the conversions finished (a copy, taken under the log lock).
    std::vector<std::string> LogLines() const;

  private:
    void ReportRun();
    void RefuseWhatCannotRun(const std::string& target) const;
    void WriteJsonRecord(ThvBatch& batch, ThvNode& node);
    void ShowProgress(double seconds, bool final);

    std::ostream& progress_;
    const bool terminal_;
    mutable std::mutex logLock_;
    std::vector<std::string> log_;
    std::unique_ptr<ThvJsonLog> jsonLog_;  ///< open while a run with "JsonLog" goes on
    int32_t attempt_ = 0;
    std::string jsonLogError_;  ///< the first failed write; guarded by logLock_
};

extern ThvMain* hvMain;
