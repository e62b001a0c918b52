#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engineLimits.h"

/// How the engine reads one file, besides its bytes.
struct ThvReadOptions {
    ThvEngineLimits Limits;
    /// The passwords to try on an encrypted file after the format's default one, in order
    /// (UTF-8). Asked for only when an encrypted file is met, on the reading thread; may throw
    /// EhvError (a password list that cannot be read). Passwords are never written to a
    /// message, a log or a report.
    std::function<std::vector<std::string>()> Passwords;
};
