#include "specialFiles.h"

bool MakePipe(const std::string&) { return false; }
