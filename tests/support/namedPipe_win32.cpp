#include "namedPipe.h"

bool MakePipe(const std::string&) { return false; }
