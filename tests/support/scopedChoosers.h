#pragma once

#include "platform/system/choosers.h"

/// Installs choosers for one test and restores the previous ones.
struct ScopedChoosers {
    explicit ScopedChoosers(ThvChoosers choosers) : previous(SetChoosers(std::move(choosers))) {}
    ~ScopedChoosers() { SetChoosers(std::move(previous)); }
    ScopedChoosers(const ScopedChoosers&) = delete;
    ScopedChoosers& operator=(const ScopedChoosers&) = delete;

    ThvChoosers previous;
};
