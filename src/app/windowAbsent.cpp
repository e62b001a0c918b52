// A Windows build made without Qt (QUILLON_WINDOW=OFF, as make test builds it on a machine that
// has not built Qt): the program runs unattended only, and says so when asked for the window.

#include "app/window.h"

int RunWindow(const std::string&, std::ostream& err) {
    TellNoWindow(err, "this build of the program has no window");
    return 1;
}
