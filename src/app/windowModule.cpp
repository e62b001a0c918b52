#include "app/windowModule.h"

#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"
#include "platform/files/paths.h"
#include "platform/system/display.h"
#include "platform/system/loadableModule.h"
#include "shell/hvStartup.h"

std::vector<std::string> WindowModuleCandidates(const std::string& exeName) {
    const std::string folder = ExtractFilePath(exeName);
    const std::string name = ModuleFileName("quillon-window");
    std::string installed = QUILLON_MODULE_DIR;
    for (char& c : installed)
        if (c == '/') c = PathDelim;
    return {folder + name, folder + ".." + PathDelim + installed + PathDelim + name};
}

int RunWindow(const std::string& exeName, std::ostream& err) {
    if (!HasDisplay()) {
        TellNoWindow(err, "no display to open the window on");
        return 1;
    }
    const std::vector<std::string> candidates = WindowModuleCandidates(exeName);
    std::string found;
    for (const std::string& path : candidates) {
        if (FileExists(path)) {
            found = path;
            break;
        }
    }
    if (found.empty()) {
        TellNoWindow(err, "the window is not installed (no " + candidates[0] + " nor " +
                              candidates[1] + ")");
        return 1;
    }
    ThvWindowModuleEntry* entry = nullptr;
    try {
        entry = reinterpret_cast<ThvWindowModuleEntry*>(
            LoadModuleSymbol(found, WindowModuleEntryName));
    } catch (const EhvError& e) {
        TellNoWindow(err, std::string("the window module cannot be loaded: ") + e.what());
        return 1;
    }
    return entry(exeName.c_str());
}
