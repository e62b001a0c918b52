#pragma once

#include <stdexcept>
#include <string>

/// The one error class of the program: every error that carries a message for the user is an
/// EhvError (or derives from it). Per-file code catches it and stores the message; anything
/// else that escapes is a programming fault.
class EhvError : public std::runtime_error {
  public:
    explicit EhvError(const std::string& message) : std::runtime_error(message) {}

    std::string Message() const { return what(); }
};
