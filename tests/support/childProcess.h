#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include "tempDir.h"

extern char** environ;

struct ProcessResult {
    int exitCode = -1;  ///< 128 + the signal's number when a signal ended the program
    int endSignal = 0;  ///< the signal that ended the program; 0 when it exited
    long maxRssKb = 0;  ///< the program's peak resident memory
    std::string out;
    std::string err;
};

/// Runs a program with its arguments in the given folder, standard input empty, and collects
/// its output and exit code. env entries ("NAME=value") replace or extend the environment.
/// With killAfterMicroseconds the program is killed (SIGKILL) after that long, unless it ended
/// before. duringRun, when given, is called with the program's process id while it runs (to
/// signal it, for instance); the program is waited for after it returns.
inline ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                                const std::string& workDir,
                                const std::vector<std::string>& env = {},
                                long killAfterMicroseconds = -1,
                                const std::function<void(pid_t)>& duringRun = {}) {
    TempDir capture;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const std::string outPath = capture / "out", errPath = capture / "err";
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());

    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    std::vector<std::string> environment = env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& own : env) replaced = replaced || own.starts_with(name);
        if (!replaced) environment.push_back(entry);
    }
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    ProcessResult result;
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
        int status = 0;
        if (killAfterMicroseconds >= 0) {
            usleep(static_cast<useconds_t>(killAfterMicroseconds));
            kill(pid, SIGKILL);
        }
        if (duringRun) duringRun(pid);
        struct rusage usage {};
        wait4(pid, &status, 0, &usage);
        result.maxRssKb = usage.ru_maxrss;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result.endSignal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    posix_spawn_file_actions_destroy(&actions);
    result.out = ReadBytes(outPath);
    result.err = ReadBytes(errPath);
    return result;
}
