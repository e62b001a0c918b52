#include "platform/system/fontFiles.h"

// Windows has Tahoma installed.
std::vector<std::string> DesignFontFiles() { return {}; }
