#include "platform/system/shellOpen.h"

#include <mutex>
#include <utility>

#include "platform/system/shellOpenPlatform.h"

namespace {

std::mutex handlerMutex;
ThvShellOpenHandler installedHandler;  // guarded by handlerMutex

}  // namespace

void ShellOpen(const std::string& link) {
    ThvShellOpenHandler handler;
    {
        std::lock_guard<std::mutex> lock(handlerMutex);
        handler = installedHandler;
    }
    if (handler) {
        handler(link);
    } else {
        PlatformShellOpen(link);
    }
}

ThvShellOpenHandler SetShellOpenHandler(ThvShellOpenHandler handler) {
    std::lock_guard<std::mutex> lock(handlerMutex);
    return std::exchange(installedHandler, std::move(handler));
}
