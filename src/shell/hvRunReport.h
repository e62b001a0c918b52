#pragma once

#include <functional>
#include <string>
#include <vector>

class ThvBatch;

// The end of a run, one routine for the unattended run and the window alike, so that the two
// count, report and log a run the same way.

/// Hands each line of a run's log, in order, to the function it is given. The owner walks its
/// lines where they are kept (under its own lock), so a run of millions of files is not copied
/// once more to be written.
using ThvLogLines = std::function<void(const std::function<void(const std::string&)>& put)>;

/// The address of the report of a run's failed files: the event "err&e=" followed by the
/// batch's distinct failure messages as comma text, as hvInfo would open it. Empty when no file
/// failed. It only builds the address, so a window can offer the report instead of opening it.
std::string FailureReportLink(const ThvBatch& batch);

/// Opens the report of a run's failed files in the user's browser; nothing when none failed.
void OpenFailureReport(const ThvBatch& batch);

/// Writes a run's log: the lines in the owner's form, each ended by CR LF, in the ANSI code
/// page without a byte-order mark, replacing the file in one step. Throws EhvError when it
/// cannot.
void WriteRunLog(const std::string& path, const ThvLogLines& lines);
void WriteRunLog(const std::string& path, const std::vector<std::string>& lines);

/// Who opens the report of a run's failed files: the end of the run itself (the unattended
/// run), or the user, whom a window offers it (FailureReportLink) and who may never send it.
enum class ThvFailureReport { Open, Offer };

/// The end of a run, on the owner's thread once every converter of it has ended: adds the
/// batch's figures to the usage counters ("A" files listed, "S" converted, "F" failed), opens
/// the failure report when files failed and report is Open, then, when logFile is not empty,
/// writes the lines logLines gives (asked for only then) with WriteRunLog. A log that cannot be
/// written (or that logLines refuses by throwing) throws EhvError after the counters and the
/// report are done. With lastReported, the report opens only when the failures differ from
/// those it holds, which it then keeps: an owner that runs again and again over a file that
/// keeps failing reports it once.
void ReportRun(const ThvBatch& batch, const std::string& logFile, const ThvLogLines& logLines,
               std::string* lastReported = nullptr,
               ThvFailureReport report = ThvFailureReport::Open);
