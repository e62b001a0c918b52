#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <string>

#include "errorText.h"

/// The error text of call, run with a file size limit of 4 KiB: a full disk, simulated. The
/// limit holds for every thread of the process while call runs.
template <typename Call>
std::string ErrorOnAFullDisk(Call call) {
    struct rlimit oldLimit {};
    getrlimit(RLIMIT_FSIZE, &oldLimit);
    struct rlimit small = oldLimit;
    small.rlim_cur = 4096;
    sighandler_t oldHandler = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    std::string error = ErrorOf(call);
    setrlimit(RLIMIT_FSIZE, &oldLimit);
    signal(SIGXFSZ, oldHandler);
    return error;
}
