#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <thread>

#include "platform/system/shellOpenPlatform.h"

extern char** environ;

namespace {

class TSpawnSetup {
  public:
    TSpawnSetup() {
        posix_spawn_file_actions_init(&actions_);
        posix_spawnattr_init(&attributes_);
    }
    ~TSpawnSetup() {
        posix_spawnattr_destroy(&attributes_);
        posix_spawn_file_actions_destroy(&actions_);
    }
    TSpawnSetup(const TSpawnSetup&) = delete;
    TSpawnSetup& operator=(const TSpawnSetup&) = delete;

    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};

}  // namespace

void PlatformShellOpen(const std::string& link) {
    TSpawnSetup setup;
    // The handler's chatter must not land in our console output or read our input.
    posix_spawn_file_actions_addopen(&setup.actions_, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions_, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions_, 2, "/dev/null", O_WRONLY, 0);

    // Put the child in its own process group, so ctrl-c on a running batch won't close the
    // viewer it opened; and give it a clean signal mask, since the calling thread may block
    // signals the handler relies on.
    sigset_t noSignals;
    sigemptyset(&noSignals);
    posix_spawnattr_setsigmask(&setup.attributes_, &noSignals);
    posix_spawnattr_setpgroup(&setup.attributes_, 0);
    posix_spawnattr_setflags(&setup.attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

    std::string program = "xdg-open";
    std::string argument = link;
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", &setup.actions_, &setup.attributes_, argv, environ) != 0) {
        return;  // no xdg-open: there is nobody to open the link and nobody to tell
    }

    // xdg-open returns soon after starting the viewer; a waiter thread collects its exit so
    // that no zombie is left, without making the caller wait.
    try {
        std::thread([pid] {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // Without a thread the child stays a zombie until we exit; that is all.
    }
}
