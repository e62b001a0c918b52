#pragma once

#include <string>
#include <string_view>

#include "hvError.h"

/// Engine failures name the file first, so each reads on its own in a list of failed files:
/// "talk.pptx" is damaged: ...
[[noreturn]] inline void ThrowFileError(std::string_view fileName, std::string_view what) {
    throw EhvError("\"" + std::string(fileName) + "\" " + std::string(what));
}
