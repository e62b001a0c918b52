#include "app/windowModule.h"

#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"
#include "platform/files/paths.h"
#include "platform/system/display.h"
#include "platform/system/loadableModule.h"
#include "project/hvProject.h"
#include "shell/hvStartup.h"

namespace {

std::string Title() { return hvProject ? hvProject->Title : std::string("Quillon Converter"); }

}  // namespace

std::vector<std::string> WindowModuleCandidates(const std::string& exeName) {
    const std::string folder = ExtractFilePath(exeName);
    const std::string name = ModuleFileName("quillon-window");
    std::string installed = QUILLON_MODULE_DIR;
    for (char& c : installed)
        if (c == '/') c = PathDelim;
    return {folder + name, folder + ".." + PathDelim + installed + PathDelim + name};
}

int RunWindowModule(const std::string& exeName, std::ostream& err) {
    if (!HasDisplay()) {
        err << Title() << ": no display to open the window on; run a project unattended "
            << "instead, for example: " << UnattendedExample() << "\n";
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
        err << Title() << ": the window is not installed (no " << candidates[0] << " nor "
            << candidates[1] << "); run a project unattended instead, for example: "
            << UnattendedExample() << "\n";
        return 1;
    }
    ThvWindowModuleEntry* entry = nullptr;
    try {
        entry = reinterpret_cast<ThvWindowModuleEntry*>(
            LoadModuleSymbol(found, WindowModuleEntryName));
    } catch (const EhvError& e) {
        err << Title() << ": the window module cannot be loaded: " << e.what()
            << "; run a project unattended instead, for example: " << UnattendedExample()
            << "\n";
        return 1;
    }
    return entry(exeName.c_str());
}
