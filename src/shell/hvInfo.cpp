#include "shell/hvInfo.h"

#include "platform/files/fileSystem.h"
#include "platform/files/paths.h"
#include "platform/files/programFiles.h"
#include "platform/system/shellOpen.h"
#include "project/hvProject.h"
#include "shell/hvUsageStore.h"

ThvInfo* hvInfo = nullptr;

namespace {

int32_t ComputeInstallId(const std::string& exeName) {
    const std::string folder = ExcludeTrailingPathDelimiter(ExtractFilePath(exeName));
    const auto created = FolderCreationTime(folder);
    return created ? PackDosDateTime(*created) : -1;
}

// Characters that stand for themselves in a query value: the unreserved ones and a few that
// messages and paths are full of and that no reader of a query mistakes for structure.
bool StandsForItself(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '/' || c == ':' || c == ',' || c == '@';
}

void AppendEncoded(std::string& out, unsigned char c) {
    static const char kHex[] = "0123456789ABCDEF";
    out += '%';
    out += kHex[c >> 4];
    out += kHex[c & 0x0F];
}

// A value percent-encoded byte by byte, its UTF-8 as it stands; double quotes are dropped, as
// they always were.
std::string EncodeQueryValue(std::string_view value) {
    std::string out;
    for (char ch : value) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '"') continue;
        if (StandsForItself(c))
            out += ch;
        else
            AppendEncoded(out, c);
    }
    return out;
}

// What EncodeQueryValue makes of value, in characters.
std::size_t EncodedQueryValueSize(std::string_view value) {
    std::size_t size = 0;
    for (char ch : value) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c != '"') size += StandsForItself(c) ? 1 : 3;
    }
    return size;
}

// The extra text is a piece of query its caller made ("lang=en"): its "&" and "=" are its
// structure, its "%" may be an escape already; only what can never stand in a link is encoded.
std::string EncodeQueryPiece(std::string_view piece) {
    std::string out;
    for (char ch : piece) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c <= ' ' || c >= 0x7F || c == '#')
            AppendEncoded(out, c);
        else
            out += ch;
    }
    return out;
}

void AddQuery(std::string& query, const std::string& key, std::string_view value) {
    if (value.empty()) return;
    if (!query.empty()) query += '&';
    query += key;
    query += '=';
    query += EncodeQueryValue(value);
}

// The value cut at a character boundary so that, encoded and with the note of what was left
// out, it takes at most budget characters.
std::string CutToFit(std::string_view value, std::size_t budget) {
    auto note = [](std::size_t left) {
        return " ... (" + std::to_string(left) + " more characters left out)";
    };
    std::size_t characters = 0;
    for (std::size_t i = 0; i < value.size(); ++i)
        if ((static_cast<unsigned char>(value[i]) & 0xC0) != 0x80) ++characters;
    // A long failure list is cut character by character: its costs are counted, not built, and
    // the note's cost changes only with the number of its digits.
    std::size_t noteDigits = 0, noteCost = 0;
    auto costOfNote = [&](std::size_t left) {
        const std::size_t digits = std::to_string(left).size();
        if (digits != noteDigits) {
            noteDigits = digits;
            noteCost = EncodedQueryValueSize(note(left));
        }
        return noteCost;
    };
    std::size_t used = 0, taken = 0, end = 0;
    for (std::size_t i = 0; i < value.size();) {
        std::size_t next = i + 1;
        while (next < value.size() && (static_cast<unsigned char>(value[next]) & 0xC0) == 0x80)
            ++next;
        const std::size_t cost = EncodedQueryValueSize(value.substr(i, next - i));
        if (used + cost + costOfNote(characters - taken - 1) > budget) break;
        used += cost;
        ++taken;
        end = next;
        i = next;
    }
    return std::string(value.substr(0, end)) + note(characters - taken);
}

}  // namespace

ThvInfo::ThvInfo(std::string exeName, std::string filesStem)
    : exeName_(std::move(exeName)),
      filesStem_(std::move(filesStem)),
      installId_(ComputeInstallId(exeName_)) {
    LoadStore();
    UpdateCounter("R", 0, 1);
}

ThvInfo::~ThvInfo() {
    // Every change was written when it was made; only one whose write failed is left to save.
    std::lock_guard lock(storeLock_);
    SaveStoreLocked(/*onlyChanged=*/true);
}

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

void ThvInfo::SaveStoreLocked(bool onlyChanged) {
    try {
        const std::string path = StorePath();
        std::string bytes = EncodeUsageStore(usageStore_.Text(), installId_);
        const bool there = FileExists(path);
        if (onlyChanged && there && bytes == savedBytes_) return;
        if (there) SetReadOnly(path, false);
        ForceDirectories(ExtractFilePath(path));
        WriteFileAtomic(path, bytes);
        savedBytes_ = std::move(bytes);
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
    ShellOpen(Link(page, action, extra));
}

std::string ThvInfo::Link(const std::string& page, const std::string& action,
                          const std::string& extra) const {
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
        // An action "err&e=<text>" carries a second field, the event's text.
        std::string_view actionValue = action, eventText;
        const std::size_t amp = action.find("&e=");
        if (amp != std::string::npos) {
            actionValue = std::string_view(action).substr(0, amp);
            eventText = std::string_view(action).substr(amp + 3);
        }
        const std::string counters = CounterText();
        auto build = [&](std::string_view text) {
            std::string query;
            AddQuery(query, "a", actionValue);
            if (amp != std::string::npos) query += std::string(query.empty() ? "" : "&") + "e=";
            query += EncodeQueryValue(text);
            AddQuery(query, "p", shortName);
            AddQuery(query, "v", version);
            AddQuery(query, "c", counters);
            AddQuery(query, "i", std::to_string(installId_));
            if (!extra.empty()) query += "&" + EncodeQueryPiece(extra);
            return link + "?" + query;
        };
        std::string full = build(eventText);
        // Browsers and servers refuse longer addresses; the event's text gives way, and says
        // how much of it did.
        if (full.size() > MaxLinkLength && !eventText.empty()) {
            const std::size_t rest = build("").size();
            full = build(CutToFit(eventText, MaxLinkLength > rest ? MaxLinkLength - rest : 0));
        }
        if (full.size() > MaxLinkLength) {
            // Only a huge extra gets here; the cut never splits an escape.
            std::size_t cut = MaxLinkLength;
            for (std::size_t back = 1; back <= 2; ++back)
                if (full[cut - back] == '%') cut -= back;
            full.resize(cut);
        }
        link = full;
    }
    return link;
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
