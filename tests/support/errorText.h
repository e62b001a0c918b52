#pragma once

#include <functional>
#include <string>

#include "platform/base/hvError.h"

/// The message of the error of type Error (EhvError or one derived from it) that call raises,
/// or "(no error)".
template <typename Error = EhvError>
std::string ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}
