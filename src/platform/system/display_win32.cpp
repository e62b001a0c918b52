#include <windows.h>

#include "platform/system/display.h"

// A service or a scheduled task without a desktop runs in a window station nobody sees.
bool HasDisplay() {
    USEROBJECTFLAGS flags{};
    HWINSTA station = GetProcessWindowStation();
    if (!station || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr)) {
        return false;
    }
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}
