#pragma once

#include <string>
#include <vector>

/// Font files that hold the window's design font where the system's font list does not show
/// it. On Debian the package fonts-wine ships a metric-compatible Tahoma in a folder that
/// fontconfig does not scan; Windows has Tahoma installed, Wine (on Debian) finds it there.
std::vector<std::string> DesignFontFiles();
