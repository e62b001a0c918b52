#include "shell/hvJsonLog.h"

#include "discovery/hvBatch.h"
#include "platform/files/fileStream.h"
#include "text/jsonText.h"

ThvJsonLogRecord JsonLogRecordOf(const ThvNode& node, const std::string& target, int32_t shard,
                                 int32_t attempt) {
    ThvJsonLogRecord record;
    record.Source = node.Source;
    record.Target = target;
    record.Shard = shard;
    record.Attempt = attempt;
    switch (node.State.load()) {
        case ThvNode::Success:
            // A skipped file is a success without a result: its text file was there.
            if (node.Result.empty()) {
                record.State = "Skipped";
            } else {
                record.State = "Success";
                record.Target = node.Result;
                // Its source left in place against the options: the next run converts it again.
                // And what the user should know of its text.
                record.Message = node.Warning;
                if (!node.Note.empty())
                    record.Message += (record.Message.empty() ? "" : "; ") + node.Note;
            }
            break;
        case ThvNode::Failure:
            record.State = "Failure";
            record.Message = node.Result;
            break;
        default:
            record.State = "Running";
    }
    return record;
}

std::string FormatJsonLogLine(const ThvJsonLogRecord& record) {
    std::string line = "{\"source\":" + JsonQuote(record.Source);
    line += ",\"target\":" + JsonQuote(record.Target);
    line += ",\"state\":" + JsonQuote(record.State);
    line += ",\"message\":" + JsonQuote(record.Message);
    line += ",\"shard\":" + std::to_string(record.Shard);
    line += ",\"attempt\":" + std::to_string(record.Attempt);
    line += "}\n";
    return line;
}

ThvJsonLog::ThvJsonLog(const std::string& path) : file_(std::make_unique<ThvAppendFile>(path)) {}

ThvJsonLog::~ThvJsonLog() = default;

void ThvJsonLog::Write(const ThvJsonLogRecord& record) {
    // One write per line, which the append file makes whole: no lock is needed between
    // converters.
    file_->Append(FormatJsonLogLine(record));
}
