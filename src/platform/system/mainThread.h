#pragma once

#include <functional>

/// "Run a call on the main thread and wait for it". The window installs its toolkit's blocking
/// queued call; tests install a queue they pump. Worker threads use it for the one notification
/// that must reach the main thread (a converter's end).

using ThvMainThreadDispatcher = std::function<void(const std::function<void()>& call)>;

/// Installs the dispatcher (empty: none). Returns the previous one. Call it while no worker
/// runs.
ThvMainThreadDispatcher SetMainThreadDispatcher(ThvMainThreadDispatcher dispatcher);

/// True when a dispatcher is installed.
bool HasMainThreadDispatcher();

/// Runs call on the main thread and returns when it has returned. Throws EhvError when no
/// dispatcher is installed: waiting for a main thread that never answers would hang.
void RunOnMainThread(const std::function<void()>& call);
