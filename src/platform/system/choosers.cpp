#include "platform/system/choosers.h"

#include <algorithm>

#include "platform/files/paths.h"

namespace {

// Choosers run on the main thread only, so the installed set needs no lock.
ThvChoosers& Installed() {
    static ThvChoosers choosers;
    return choosers;
}

}  // namespace

ThvChoosers SetChoosers(ThvChoosers choosers) {
    std::swap(Installed(), choosers);
    return choosers;
}

bool SelectFolder(std::string& path) {
    if (!Installed().Folder) return false;
    auto chosen = Installed().Folder(path);
    if (!chosen) return false;
    path = *chosen;
    return true;
}

bool SelectOpenFile(const std::string& filter, std::string& path, bool several) {
    if (!Installed().OpenFile) return false;
    ThvOpenFileRequest request;
    request.Filter = filter;
    // A mask such as *.ppt? is offered as *.ppt*, which every chooser understands.
    request.FileName = path;
    std::replace(request.FileName.begin(), request.FileName.end(), '?', '*');
    request.InitialDir = ExtractFilePath(path);
    request.Multiple = several;
    auto chosen = Installed().OpenFile(request);
    if (!chosen || chosen->empty()) return false;
    if (several) {
        path.clear();
        for (const std::string& file : *chosen) path += file + "\r\n";
    } else {
        path = chosen->front();
    }
    return true;
}

bool SelectSaveFile(const std::string& filter, const std::string& defaultExt, std::string& path) {
    if (!Installed().SaveFile) return false;
    ThvSaveFileRequest request{filter, defaultExt, path, ExtractFilePath(path)};
    auto chosen = Installed().SaveFile(request);
    if (!chosen) return false;
    path = *chosen;
    return true;
}
