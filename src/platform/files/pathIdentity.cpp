#include "platform/files/pathIdentity.h"

#include "platform/files/paths.h"

std::string ResolvedFolder(const std::string& folder) {
    const std::string real = FullyResolvedPath(folder.empty() ? "." : folder);
    if (real.empty()) return real;
    return IncludeTrailingPathDelimiter(real);
}

std::string ResolvedPath(const std::string& path) {
    std::string name = ExtractFileName(path);
    std::string folder = ExtractFilePath(path);
    // "x/.." and "x/." name folders, not files in them.
    if (name == "." || name == "..") {
        folder = path + PathDelim;
        name.clear();
    }
    const std::string real = ResolvedFolder(folder);
    if (real.empty()) return real;
    return real + name;
}
