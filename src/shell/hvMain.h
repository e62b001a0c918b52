#pragma once

#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

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

    /// The whole run. Throws EhvError when the run cannot start (no target folder) or the log
    /// file cannot be written; the program then ends with exit code 1.
    void Run();

    /// The per-file notification: one log line. Converter threads call it, several at once.
    void FileDone(ThvBatch& batch, ThvNode& node);

    // Declared in this order so that the chain goes before the batch it takes nodes from.
    std::unique_ptr<ThvBatch> Batch;
    std::shared_ptr<ThvConvertor> Converter;

    /// The log lines in the order the conversions finished (a copy, taken under the log lock).
    std::vector<std::string> LogLines() const;

  private:
    void ReportRun();
    void ShowProgress(double seconds, bool final);

    std::ostream& progress_;
    const bool terminal_;
    mutable std::mutex logLock_;
    std::vector<std::string> log_;
};

extern ThvMain* hvMain;
