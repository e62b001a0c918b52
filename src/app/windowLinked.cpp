// On Windows the window is linked into the program: Qt is built static for it
// (cmake/windows/buildDeps.sh), and one executable is all there is to ship.

#include "app/window.h"
#include "platform/system/display.h"
#include "shell/hvStartup.h"

// The window's entry (src/ui/hvWindowModule.cpp), the one the Linux module exports.
extern "C" ThvWindowModuleEntry QuillonWindowMain;

int RunWindow(const std::string& exeName, std::ostream& err) {
    if (!HasDisplay()) {
        TellNoWindow(err, "no display to open the window on");
        return 1;
    }
    return QuillonWindowMain(exeName.c_str());
}
