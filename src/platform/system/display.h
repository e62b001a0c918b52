#pragma once

/// True when a window can be shown: the process has a display to talk to, or names the
/// toolkit's platform itself (an off-screen one in tests). Without one, a toolkit that tries to
/// open a window aborts the process.
bool HasDisplay();
