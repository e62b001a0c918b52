#include "platform/system/fontFiles.h"

std::vector<std::string> DesignFontFiles() {
    return {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"};
}
