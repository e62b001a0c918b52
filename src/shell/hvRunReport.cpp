#include "shell/hvRunReport.h"

#include "discovery/hvBatch.h"
#include "platform/files/fileSystem.h"
#include "platform/system/shellOpen.h"
#include "shell/hvInfo.h"
#include "text/textEncoding.h"

std::string FailureReportLink(const ThvBatch& batch) {
    if (batch.Failed() <= 0) return {};
    // The messages go in as they are: the link encodes every byte that an address cannot
    // hold, "?" as %3F. Encoding them here as well would encode that "%" a second time.
    return hvInfo->Link("", "err&e=" + batch.Failures(), "");
}

void OpenFailureReport(const ThvBatch& batch) {
    const std::string link = FailureReportLink(batch);
    if (!link.empty()) ShellOpen(link);
}

void WriteRunLog(const std::string& path, const ThvLogLines& lines) {
    // Encoded line by line into the file's bytes, not joined and then encoded whole: a run of
    // millions of files holds its lines once more, not twice.
    std::string bytes;
    lines([&](const std::string& line) {
        bytes += EncodeAnsi(line);
        bytes += "\r\n";
    });
    WriteFileAtomic(path, bytes);
}

void WriteRunLog(const std::string& path, const std::vector<std::string>& lines) {
    WriteRunLog(path, [&](const auto& put) {
        for (const std::string& line : lines) put(line);
    });
}

void ReportRun(const ThvBatch& batch, const std::string& logFile, const ThvLogLines& logLines,
               std::string* lastReported, ThvFailureReport report) {
    hvInfo->UpdateCounter("A", 0, batch.Count());
    hvInfo->UpdateCounter("S", 0, batch.Succeeded());
    hvInfo->UpdateCounter("F", 0, batch.Failed());
    if (report == ThvFailureReport::Open) {
        if (!lastReported) {
            OpenFailureReport(batch);
        } else if (batch.Failed() > 0 && batch.Failures() != *lastReported) {
            *lastReported = batch.Failures();
            OpenFailureReport(batch);
        }
    }
    if (!logFile.empty()) WriteRunLog(logFile, logLines);
}
