#include "discovery/hvSourceList.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "discovery/hvPathRules.h"
#include "platform/files/fileStream.h"
#include "text/textEncoding.h"

namespace {

constexpr std::size_t kReadPiece = 256 * 1024;

bool IsAbsolute(std::string_view path, char delim) {
    if (!path.empty() && path[0] == delim) return true;
    return delim == '\\' && path.size() >= 2 && path[1] == ':';
}

}  // namespace

ThvSourceListReader::ThvSourceListReader(TEntry onEntry, TRefused onRefused,
                                         ThvSourceListLimits limits)
    : onEntry_(std::move(onEntry)), onRefused_(std::move(onRefused)), limits_(limits) {}

void ThvSourceListReader::Feed(std::string_view bytes) {
    if (encoding_ == TEncoding::Undecided) {
        // A mark is at most three bytes; until three are there it cannot be told apart.
        head_.append(bytes);
        if (head_.size() < 3) return;
        Decide();
        return;
    }
    FeedDecided(bytes);
}

void ThvSourceListReader::Decide() {
    const ThvBomEncoding bom = DetectBom(head_);
    if (bom.CodePage == "UTF-16LE")
        encoding_ = TEncoding::Utf16LE;
    else if (bom.CodePage == "UTF-16BE")
        encoding_ = TEncoding::Utf16BE;
    else if (bom.MarkLength > 0 || SameText(AnsiCodePage(), "UTF-8"))
        encoding_ = TEncoding::Bytes;
    else
        encoding_ = TEncoding::Ansi;
    const std::string rest = head_.substr(bom.MarkLength);
    head_.clear();
    head_.shrink_to_fit();
    FeedDecided(rest);
}

void ThvSourceListReader::FeedDecided(std::string_view bytes) {
    const bool wide = encoding_ == TEncoding::Utf16LE || encoding_ == TEncoding::Utf16BE;
    const std::size_t unitSize = wide ? 2 : 1;
    std::size_t i = 0;
    char unit[2];
    while (i < bytes.size() && !full_) {
        // One code unit: a byte, or two bytes of UTF-16 that may have been cut between pieces.
        unsigned code;
        if (!wide) {
            unit[0] = bytes[i++];
            code = static_cast<unsigned char>(unit[0]);
        } else {
            if (hasPendingByte_) {
                unit[0] = pendingByte_;
                hasPendingByte_ = false;
            } else {
                unit[0] = bytes[i++];
                if (i == bytes.size()) {
                    pendingByte_ = unit[0];
                    hasPendingByte_ = true;
                    return;
                }
            }
            unit[1] = bytes[i++];
            const unsigned a = static_cast<unsigned char>(unit[0]);
            const unsigned b = static_cast<unsigned char>(unit[1]);
            code = encoding_ == TEncoding::Utf16LE ? (b << 8 | a) : (a << 8 | b);
        }
        if (code == '\n' && afterCr_) {
            afterCr_ = false;
            continue;
        }
        afterCr_ = code == '\r';
        if (code == '\r' || code == '\n') {
            EndLine();
            continue;
        }
        if (line_.size() + unitSize > limits_.LineBytes) {
            lineTooLong_ = true;
            continue;
        }
        line_.append(unit, unitSize);
    }
}

void ThvSourceListReader::EndLine() {
    if (full_) return;
    if (lines_ == limits_.Lines) {
        full_ = true;
        onRefused_(lines_ + 1, "the list has more than " + std::to_string(limits_.Lines) +
                                   " lines; line " + std::to_string(lines_ + 1) +
                                   " and those after it are not read");
        return;
    }
    const std::size_t number = ++lines_;
    std::string raw = std::move(line_);
    line_.clear();
    if (lineTooLong_) {
        lineTooLong_ = false;
        onRefused_(number, "line " + std::to_string(number) + " is longer than " +
                               std::to_string(limits_.LineBytes) + " bytes");
        return;
    }
    const bool brokenTail = std::exchange(brokenTail_, false);
    if (raw.empty() && !brokenTail) return;
    std::string text;
    switch (encoding_) {
        case TEncoding::Utf16LE:
            text = DecodeText(raw, "UTF-16LE");
            break;
        case TEncoding::Utf16BE:
            text = DecodeText(raw, "UTF-16BE");
            break;
        case TEncoding::Ansi:
            text = DecodeText(raw, AnsiCodePage());
            break;
        default:
            text = std::move(raw);
    }
    if (brokenTail) text += "\xEF\xBF\xBD";
    if (text.find('\0') != std::string::npos) {
        onRefused_(number, "line " + std::to_string(number) + " holds a NUL character");
        return;
    }
    onEntry_(number, std::move(text));
}

void ThvSourceListReader::Finish() {
    if (encoding_ == TEncoding::Undecided) Decide();
    // Half a UTF-16 unit at the end is a broken character; it ends up as a replacement.
    if (hasPendingByte_) {
        hasPendingByte_ = false;
        brokenTail_ = true;
    }
    if (!line_.empty() || lineTooLong_ || brokenTail_) EndLine();
}

void ReadSourceListFile(ThvReadFile& file, ThvSourceListReader& reader,
                        const std::function<bool()>& stop) {
    std::vector<char> piece(kReadPiece);
    while (!stop()) {
        const std::size_t got = file.Read(piece.data(), piece.size(), stop);
        if (got == 0) {
            // Cut short by stop while it waited for a pipe: the last line may be half there.
            if (!stop()) reader.Finish();
            return;
        }
        reader.Feed(std::string_view(piece.data(), got));
        if (reader.Full()) return;
    }
}

std::string ResolveListEntry(std::string_view entry, const std::string& listFolder, char delim) {
    std::string path = NormalizePath(std::string(entry), delim);
    if (path.empty()) return path;
    if (delim == '\\') {
        // Either slash separates folders in a Windows path.
        for (char& c : path)
            if (c == '/') c = '\\';
    }
    if (!IsAbsolute(path, delim)) path = listFolder + path;

    // The fixed head: "/" on POSIX; "C:\", "C:" or "\\server\share\" (or just "\") on Windows.
    std::size_t headLength = 0;
    if (delim == '\\' && path.size() >= 2 && path[1] == ':') {
        headLength = path.size() >= 3 && path[2] == '\\' ? 3 : 2;
    } else if (delim == '\\' && path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        // The server and the share name; a path that stops before either is all head. A "."
        // or ".." in their place names no server: those steps are resolved like any other.
        const std::size_t server = path.find('\\', 2);
        const std::size_t share =
            server == std::string::npos ? server : path.find('\\', server + 1);
        headLength = share == std::string::npos ? path.size() : share + 1;
        const auto isDots = [](std::string_view name) { return name == "." || name == ".."; };
        const std::string_view serverName =
            std::string_view(path).substr(2, std::min(server, path.size()) - 2);
        const std::string_view shareName =
            server == std::string::npos
                ? std::string_view()
                : std::string_view(path).substr(server + 1,
                                                std::min(share, path.size()) - server - 1);
        if (isDots(serverName) || isDots(shareName)) headLength = 2;
    } else if (!path.empty() && path[0] == delim) {
        headLength = 1;
    }
    const std::string head = path.substr(0, headLength);

    std::vector<std::string_view> steps;
    const std::string_view rest = std::string_view(path).substr(headLength);
    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t end = rest.find(delim, start);
        if (end == std::string_view::npos) end = rest.size();
        const std::string_view step = rest.substr(start, end - start);
        if (step == "..") {
            // Above the root there is nothing: the root's ".." is the root, as the system has it.
            if (!steps.empty() && steps.back() != "..")
                steps.pop_back();
            else if (head.empty())
                steps.push_back(step);
        } else if (!step.empty() && step != ".") {
            steps.push_back(step);
        }
        start = end + 1;
    }
    std::string result = head;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        if (k > 0) result += delim;
        result += steps[k];
    }
    return result;
}

bool IsBelowFolder(std::string_view path, std::string_view folder, char delim) {
    if (folder.empty() || path.size() <= folder.size()) return false;
    const std::string_view head = path.substr(0, folder.size());
    return delim == '\\' ? SameText(head, folder) : head == folder;
}
