#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/engineError.h"
#include "engine/base/engineLimits.h"

/// What is read besides the slides' own text. Each costs the parts or records it needs, and
/// their damage costs only what they hold, so nothing is read unasked.
struct ThvContentChoice {
    bool Notes = false;     ///< each slide's speaker notes
    bool Comments = false;  ///< each slide's comments, with their authors
    bool Pictures = false;  ///< the descriptions of pictures and frames, in document order

    bool Any() const { return Notes || Comments || Pictures; }
};

/// How the engine reads one file, besides its bytes.
struct ThvReadOptions {
    ThvEngineLimits Limits;
    ThvContentChoice Content;
    /// The passwords to try on an encrypted file after the format's default one, in order
    /// (UTF-8). Asked for only when an encrypted file is met, on the reading thread; may throw
    /// EhvError (a password list that cannot be read). Passwords are never written to a
    /// message, a log or a report.
    std::function<std::vector<std::string>()> Passwords;
    /// Asked now and then while a password's slow hash runs; true ends the file's reading with
    /// an error at once (a program asked to end does not wait for the hashing of every
    /// password). Empty: never.
    std::function<bool()> Stopped;
};

/// The options' passwords, asked for once the file turns out to be encrypted. A list that
/// cannot be read is that file's failure, naming what could not be read, never a password.
inline std::vector<std::string> PasswordsToTry(const ThvReadOptions& options,
                                               std::string_view fileName) {
    if (!options.Passwords) return {};
    try {
        return options.Passwords();
    } catch (const EhvError& error) {
        ThrowFileError(fileName, "is protected with a password, and " + std::string(error.what()));
    }
}

/// What the message of a file that no password opened adds when its list held more passwords
/// than the limit let the engine try; empty when every one was tried.
inline std::string UntriedPasswords(std::size_t tried, std::size_t listed) {
    if (tried >= listed) return {};
    return "; only the first " + std::to_string(tried) + " of the " + std::to_string(listed) +
           " passwords of its list were tried (the limit)";
}
