#include "discovery/hvPathRules.h"

#include <algorithm>

#include "discovery/VBScriptRegex.h"
#include "platform/files/fileSystem.h"
#include "text/textEncoding.h"

std::string NormalizePath(const std::string& path, char delim) {
    if (path.compare(0, 5, "file:") != 0) return path;
    std::string rest = RegexReplace("^file:/*", path, "");
    if (rest.empty()) return rest;  // nothing named: an empty source, which finds nothing
    if (delim == '/') {
        // file://localhost/x names the same file as file:///x; other host names have no
        // meaning for a local path and stay its first folder.
        if (rest.size() >= 10 && SameText(rest.substr(0, 10), "localhost/")) rest.erase(0, 10);
        return "/" + rest;
    }
    for (char& c : rest) {
        if (c == '/') c = delim;
    }
    const bool startsWithDigit = rest[0] >= '1' && rest[0] <= '9';
    if (startsWithDigit || rest.find(':') == std::string::npos) rest = std::string(2, delim) + rest;
    return rest;
}

std::string PrepareTargetFolder(const std::string& target, char delim) {
    const std::string folder = NormalizePath(target, delim);
    if (folder.empty()) return folder;
    if (delim == PathDelim && !DirectoryExists(folder)) ForceDirectories(folder);
    return IncludeTrailingPathDelimiter(folder, delim);
}

std::string TargetRelativePart(const std::string& source, const std::string& sourceFolder,
                               bool keepSubdirs, char delim) {
    std::string part;
    if (keepSubdirs && !sourceFolder.empty())
        part = source.substr(std::min(sourceFolder.size(), source.size()));
    else
        part = ExtractFileName(source, delim);
    // A drive colon or the other platform's delimiter would leave the target folder.
    const char otherDelim = delim == '\\' ? '/' : '\\';
    std::replace(part.begin(), part.end(), ':', '_');
    std::replace(part.begin(), part.end(), otherDelim, '_');
    return part;
}
