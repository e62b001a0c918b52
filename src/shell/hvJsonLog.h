#pragma once

#include <cstdint>
#include <memory>
#include <string>

class ThvAppendFile;
class ThvNode;

/// One file's record in the JSON log.
struct ThvJsonLogRecord {
    std::string Source;
    /// The text file: the one written, or for a failed or skipped file the one it would be.
    std::string Target;
    /// "Success", "Failure", or "Skipped" (its text file was there already).
    std::string State;
    /// The failure message; for a success, what was not done to its source and why (the log
    /// line's fourth field); empty otherwise.
    std::string Message;
    int32_t Shard = 0;
    int32_t Attempt = 0;
};

/// The record of a node that a converter has finished, target being the text file its rule
/// names (the record takes the node's own result for a file that was written).
ThvJsonLogRecord JsonLogRecordOf(const ThvNode& node, const std::string& target, int32_t shard,
                                 int32_t attempt);

/// The record as one line of JSON, with its line break:
/// {"source":"...","target":"...","state":"...","message":"...","shard":0,"attempt":0}
std::string FormatJsonLogLine(const ThvJsonLogRecord& record);

/// The JSON log ("JsonLog"): one JSON object per line, one line per file, appended as each file
/// ends, so a run that is killed keeps the record of every file it finished. The file is
/// appended to, never replaced, so the attempts of one task can share it (each record says
/// which attempt wrote it). Converter threads write to it at the same time.
class ThvJsonLog {
  public:
    /// Opens or creates the log. Throws EhvError "Cannot create file ..." when it cannot.
    explicit ThvJsonLog(const std::string& path);
    ~ThvJsonLog();
    ThvJsonLog(const ThvJsonLog&) = delete;
    ThvJsonLog& operator=(const ThvJsonLog&) = delete;

    /// Appends the record's line. Throws EhvError "Cannot write file ..." when it cannot.
    void Write(const ThvJsonLogRecord& record);

  private:
    std::unique_ptr<ThvAppendFile> file_;
};
