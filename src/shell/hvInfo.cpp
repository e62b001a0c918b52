#include "hvInfo.h"

#include "fileSystem.h"
#include "hvProject.h"
#include "hvUsageStore.h"
#include "paths.h"
#include "programFiles.h"
#include "shellOpen.h"

ThvInfo* hvInfo = nullptr;

namespace {

int32_t ComputeInstallId(const std::string& exeName) {
    const std::string folder = ExcludeTrailingPathDelimiter(ExtractFilePath(exeName));
    const auto created = FolderCreationTime(folder);
    return created ? PackDosDateTime(*created) : -1;
}

// Nothing in a link is escaped but double quotes, which would end the address in a shell line.
void AddQuery(std::string& query, const std::string& key, const std::string& value) {
    if (value.empty()) return;
    if (!query.empty()) query += '&';
    query += key;
    query += '=';
    for (char c : value)
        if (c != '"') query += c;
}

}  // namespace

ThvInfo::ThvInfo(std::string exeName, std::string filesStem)
    : exeName_(std::move(exeName)),
      filesStem_(std::move(filesStem)),
      installId_(ComputeInstallId(exeName_)) {
    LoadStore();
    UpdateCounter("R", 0, 1);
}

ThvInfo::~ThvInfo() { SaveStore(); }

std::string ThvInfo::StorePath() const { return ChangeFileExt(filesStem_, ".ext"); }

std::string ThvInfo::HelpFile() const {
    const std::string chm = ChangeFileExt(exeName_, ".chm");
    if (FileExists(chm)) return chm;
    const std::string pdf = ChangeFileExt(exeName_, ".pdf");
    if (FileExists(pdf)) return pdf;
    const std::string installed = InstalledDataFolder(exeName_);
    if (!installed.empty()) {
        const std::string shipped = installed + ExtractFileName(pdf);
        if (FileExists(shipped)) return shipped;
    }
    return pdf;
}

void ThvInfo::LoadStore() {
    std::lock_guard lock(storeLock_);
    LoadStoreLocked();
}

void ThvInfo::SaveStore() {
    std::lock_guard lock(storeLock_);
    SaveStoreLocked();
}

void ThvInfo::LoadStoreLocked() {
    usageStore_.Clear();
    try {
        const std::string path = StorePath();
        if (FileExists(path)) {
            if (auto text = DecodeUsageStore(ReadFileBytes(path, MaxUsageStoreBytes), installId_))
                usageStore_.SetText(*text);
        }
    } catch (const std::exception&) {
        // An unreadable store counts as none.
    }
    // Without a start count the file was not one of ours, whatever it decoded to.
    if (usageStore_.Value("R").empty()) usageStore_.Clear();
    usageStore_.SetValue("v", "2");
}

void ThvInfo::SaveStoreLocked() {
    try {
        const std::string path = StorePath();
        if (FileExists(path)) SetReadOnly(path, false);
        ForceDirectories(ExtractFilePath(path));
        WriteFileAtomic(path, EncodeUsageStore(usageStore_.Text(), installId_));
    } catch (const std::exception&) {
        // A program folder the user may not write to costs only the persistence; the counters
        // go on in memory and the next change tries again.
    }
}

void ThvInfo::UpdateCounter(const std::string& name, int32_t value, int32_t step) {
    std::lock_guard lock(storeLock_);
    const std::string current = usageStore_.Value(name);
    int32_t next = value;
    if (value <= 0) {
        // Counters wrap as 32-bit integers rather than overflow.
        next = static_cast<int32_t>(static_cast<uint32_t>(ReadInt(current, 0)) +
                                    static_cast<uint32_t>(step));
    }
    const std::string text = std::to_string(next);
    // Adding nothing to a missing counter does not create it.
    if (text == current || (current.empty() && next == 0)) return;
    usageStore_.SetValue(name, text);
    SaveStoreLocked();
}

std::string ThvInfo::StoreText() const {
    std::lock_guard lock(storeLock_);
    return usageStore_.Text();
}

std::string ThvInfo::CounterText() const {
    std::lock_guard lock(storeLock_);
    return CounterTextLocked();
}

std::string ThvInfo::CounterTextLocked() const {
    std::string text;
    for (const std::string& line : usageStore_.Lines()) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0 || line[0] < 'A' || line[0] > 'Z') continue;
        text += static_cast<char>(line[0] - 'A' + 'a');
        text += line.substr(eq + 1);
    }
    return text;
}

void ThvInfo::OpenLink(const std::string& page, const std::string& action,
                       const std::string& extra) {
    const std::string title = hvProject ? hvProject->Title : std::string();
    const std::string version = hvProject ? hvProject->Version : std::string();
    const std::string shortName = hvProject ? hvProject->ShortName : std::string();

    std::string link;
    if (page == "supports") {
        std::string subject = title;
        if (const std::size_t amp = subject.find('&'); amp != std::string::npos)
            subject.replace(amp, 1, "And");
        link = std::string("mailto:") + SupportMail + "?subject=Support required for " + subject +
               " " + version + " - " + std::to_string(installId_);
    } else if (page == "h") {
        link = HelpFile();
    } else {
        link = HomeUrl;
        if (!page.empty())
            link += "/en/" + shortName + "/" + page + ".htm";
        else if (!action.empty())
            link += "/net/";
        std::string query;
        AddQuery(query, "a", action);
        AddQuery(query, "p", shortName);
        AddQuery(query, "v", version);
        AddQuery(query, "c", CounterText());
        AddQuery(query, "i", std::to_string(installId_));
        if (!extra.empty()) query += "&" + extra;
        link += "?" + query;
    }
    ShellOpen(link);
}

void ThvInfo::AppException(const std::string& message) {
    try {
        UpdateCounter("E", 0, 1);
    } catch (...) {
        // The report matters more than the count.
    }
    OpenLink("", "err&e=" + message, "");
}

void ThvInfo::CommandLineReport(char letter, const std::string& argument) {
    if (letter == 'I')
        OpenLink("", "ins", argument.size() > 2 ? argument.substr(2) : std::string());
    else if (letter == 'U')
        OpenLink("", "uni", "");
}
