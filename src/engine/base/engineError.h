#pragma once

#include <string>
#include <string_view>

#include "platform/base/hvError.h"

/// An engine failure that names its file first, so each reads on its own in a list of failed
/// files: "talk.pptx" is damaged: ... What() is the part after the quoted name, for a reader
/// that salvages around one damaged part and says what was lost.
class EhvFileError : public EhvError {
  public:
    EhvFileError(std::string_view fileName, std::string_view what)
        : EhvError("\"" + std::string(fileName) + "\" " + std::string(what)), what_(what) {}

    const std::string& What() const { return what_; }

  private:
    std::string what_;
};

/// A file refused by one of the engine's limits. Never salvaged around: the limit protects the
/// machine, not the file.
class EhvFileRefused : public EhvFileError {
  public:
    using EhvFileError::EhvFileError;
};

/// What a failure's text says was damaged, without its leading "is damaged: ", for a note on
/// what was lost or rebuilt.
inline std::string WhatIsDamaged(std::string what) {
    constexpr std::string_view kDamaged = "is damaged: ";
    if (std::string_view(what).starts_with(kDamaged)) what.erase(0, kDamaged.size());
    return what;
}

[[noreturn]] inline void ThrowFileError(std::string_view fileName, std::string_view what) {
    throw EhvFileError(fileName, what);
}

[[noreturn]] inline void ThrowFileRefused(std::string_view fileName, std::string_view what) {
    throw EhvFileRefused(fileName, what);
}
