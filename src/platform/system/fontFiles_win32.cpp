#include "platform/system/fontFiles.h"

// Windows has Tahoma installed. Wine on Debian does not list the Tahoma of the package fonts-wine
// (the toolkit then took its first family, a serif face): there the program loads the files
// as the Linux program does, through the drive Wine maps to "/".
std::vector<std::string> DesignFontFiles() {
    return {"Z:\\usr\\share\\wine\\fonts\\tahoma.ttf", "Z:\\usr\\share\\wine\\fonts\\tahomabd.ttf"};
}
