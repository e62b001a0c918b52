#include <sys/stat.h>

#include "namedPipe.h"

bool MakePipe(const std::string& path) { return mkfifo(path.c_str(), 0600) == 0; }
