#pragma once

#include <functional>
#include <string>

#include "hvError.h"

/// The message of the EhvError that call raises, or "(no error)".
inline std::string ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const EhvError& e) {
        return e.what();
    }
    return "(no error)";
}
