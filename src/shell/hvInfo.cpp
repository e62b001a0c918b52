#include "hvInfo.h"

ThvInfo* hvInfo = nullptr;

void ThvInfo::CommandLineReport(char, const std::string&) {
    // The event reports are opened through the usage store's links, which this build does not
    // have yet; the switch still ends the program as it must.
}
