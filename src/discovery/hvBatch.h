#pragma once

#include <atomic>

/// Leaves out files whose names begin with "~$", the lock files office programs keep beside an
/// open document. The start-up code turns it on; searches only read it.
inline std::atomic<bool> hvSkipLockFiles{false};
