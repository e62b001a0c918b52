#include <dlfcn.h>

#include "platform/base/hvError.h"
#include "platform/system/loadableModule.h"

std::string ModuleFileName(std::string_view baseName) { return std::string(baseName) + ".so"; }

void* LoadModuleSymbol(const std::string& path, const std::string& symbol) {
    // RTLD_NOW: a module that does not fit this executable fails here, with the name of what
    // is missing, and not in the middle of the window.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) throw EhvError(dlerror());
    dlerror();
    void* address = dlsym(handle, symbol.c_str());
    if (!address) {
        const char* reason = dlerror();
        throw EhvError(reason ? reason : "no symbol " + symbol + " in " + path);
    }
    return address;
}
