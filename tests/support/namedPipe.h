#pragma once

#include <string>

/// Files that are not regular files, for tests of the code that must refuse them.

/// Makes a named pipe at path; false where the platform has no pipes in folders (Windows keeps
/// them under \\.\pipe\), and the test then leaves that case out.
bool MakePipe(const std::string& path);
