#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <memory>

#include "platform/files/pathIdentity.h"

namespace {

struct TFreer {
    void operator()(char* p) const { free(p); }
};

}  // namespace

std::string FullyResolvedPath(const std::string& path) {
    std::unique_ptr<char, TFreer> real(realpath(path.c_str(), nullptr));
    return real ? std::string(real.get()) : std::string();
}

bool SameExistingFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
