#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/fileSystem.h"
#include "shell/hvJsonLog.h"

class ThvBatch;
class ThvNode;
class ThvConvertor;

/// The unattended runner: converts the project's source without any window, waits on the main
/// thread until every converter has ended, counts the run, reports failures and writes the log.
/// One instance, hvMain, created at start-up; Run is called once, on the main thread, in the
/// unattended mode only.
///
/// While Run runs it holds the stop signals (ThvStopSignals): the first one stops the run as
/// the window's Stop does (the search ends, each converter finishes the file in hand), and the
/// counters, the report and the log follow as after any run; a second one ends the program at
/// once.
///
/// With Target "-" the converters write into a private temporary folder and each converted
/// file goes, whole, to the text stream in the batch's order (a file that failed gives
/// nothing); the log and the JSON log name "-" as its target. When the stream's reader goes
/// away the run stops as on a stop signal, and ends in an error after its log is written.
class ThvMain {
  public:
    /// progress receives the status line and the summary when it is a terminal
    /// (progressIsTerminal). The summary names what converted: the registered PowerPoint (COM,
    /// on Windows) or the built-in engine.
    /// text receives the converted files when Target is "-"; false when it could not take them.
    ThvMain(std::ostream& progress, bool progressIsTerminal,
            std::function<bool(std::string_view)> text = WriteStandardOutput)
        : progress_(progress), terminal_(progressIsTerminal), text_(std::move(text)) {}
    ~ThvMain();
    ThvMain(const ThvMain&) = delete;
    ThvMain& operator=(const ThvMain&) = delete;

    /// The whole run. Throws EhvError, before anything is converted, when the run cannot
    /// start: no target folder (none given, or a file), an invalid "RegExt", a "LogFile" or
    /// "JsonLog" that would overwrite a file the run reads, a JSON log that cannot be opened;
    /// with ExitCodes=strict also a missing source, a target folder that cannot be made, a log
    /// file in no folder. Throws after the run when a log cannot be written, or when
    /// standard output (Target "-") took not every file. The program then
    /// ends with exit code 1 (2 with ExitCodes=strict).
    void Run();

    /// The stop signal that cut the last run short; 0 when it ran to its end.
    int StopSignal() const { return stopSignal_; }

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
    void CheckProject() const;
    void ReportRun();
    void RefuseWhatCannotRun(const std::string& target) const;
    void WriteJsonRecord(ThvBatch& batch, ThvNode& node);
    void ShowProgress(double seconds, bool final);
    /// One line for the user on the progress stream; any thread.
    void Say(const std::string& line);
    /// Target "-": the file converted for node index (empty when it failed) is done; passes on
    /// every file whose turn has come. Any thread.
    void PassText(int32_t index, const std::string& path);
    /// After the converters: what is left, in order, whatever gaps a stop left.
    void PassRemainingTexts();
    void WriteText(const std::string& path);

    std::ostream& progress_;
    const bool terminal_;
    std::mutex progressLock_;  ///< converters say things while the main thread shows progress
    std::string codePage_;     ///< of the log and of what is said; set before converters run
    int stopSignal_ = 0;
    std::atomic<bool> byPowerPoint_{false};  // set by converter threads
    std::atomic<bool> byEngine_{false};
    mutable std::mutex logLock_;
    std::vector<std::string> log_;
    std::unique_ptr<ThvJsonLog> jsonLog_;  ///< open while a run with "JsonLog" goes on
    int32_t attempt_ = 0;
    std::string jsonLogError_;  ///< the first failed write; guarded by logLock_
    const std::function<bool(std::string_view)> text_;
    std::atomic<bool> textLost_{false};  ///< the text stream took no more
    std::string textFolder_;  ///< with Target "-": where the converters write; set before they run
    std::mutex textLock_;
    std::map<int32_t, std::string> textsDone_;  ///< by node index, waiting for their turn
    int32_t nextText_ = 0;                      ///< the node index whose file goes out next
};

extern ThvMain* hvMain;
