#include "platform/files/paths.h"

namespace {

bool EndsFolderPart(char c, char delim) {
    // A drive colon only means something in the Windows form; on POSIX ':' is an ordinary
    // file-name character.
    return c == delim || (delim == '\\' && c == ':');
}

// Length of the folder part, including its final delimiter or drive colon.
std::size_t FolderPartLength(std::string_view path, char delim) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (EndsFolderPart(path[i - 1], delim)) return i;
    }
    return 0;
}

// Position of the extension's dot, or npos. Only the file-name part is searched, so a dot in a
// folder name is never taken for an extension. A leading dot counts, as it does in the
// Windows rules this module follows: ".bashrc" is all extension.
std::size_t ExtensionDot(std::string_view path, char delim) {
    std::size_t nameStart = FolderPartLength(path, delim);
    std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot < nameStart) return std::string_view::npos;
    return dot;
}

}  // namespace

std::string ExtractFilePath(std::string_view path, char delim) {
    return std::string(path.substr(0, FolderPartLength(path, delim)));
}

std::string ExtractFileName(std::string_view path, char delim) {
    return std::string(path.substr(FolderPartLength(path, delim)));
}

std::string ExtractFileExt(std::string_view path, char delim) {
    std::size_t dot = ExtensionDot(path, delim);
    if (dot == std::string_view::npos) return {};
    return std::string(path.substr(dot));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext, char delim) {
    std::size_t dot = ExtensionDot(path, delim);
    std::string result(path.substr(0, dot == std::string_view::npos ? path.size() : dot));
    result += ext;
    return result;
}

std::string IncludeTrailingPathDelimiter(std::string_view path, char delim) {
    std::string result(path);
    if (!result.empty() && result.back() != delim) result += delim;
    return result;
}

std::string ExcludeTrailingPathDelimiter(std::string_view path, char delim) {
    // A lone delimiter is the root; turning it into "" would silently mean the current folder.
    if (path.size() > 1 && path.back() == delim) path.remove_suffix(1);
    return std::string(path);
}

std::string FolderAbove(std::string_view folder, char delim) {
    std::string above = ExcludeTrailingPathDelimiter(ExtractFilePath(folder, delim), delim);
    // A drive, or the root, is its own folder part.
    if (above == folder) above.clear();
    return above;
}
