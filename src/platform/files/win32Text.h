#pragma once

#include <string>
#include <string_view>

/// The border between our UTF-8 and the wide Win32 API. Windows only; no windows.h here.

/// UTF-8 as UTF-16 (ill-formed parts become U+FFFD) and back (a lone surrogate becomes U+FFFD).
std::wstring WideText(std::string_view utf8);
std::string NarrowText(std::wstring_view wide);

/// A path for the wide file calls: made absolute, "/" turned into "\", "." and ".." resolved,
/// and given the "\\?\" prefix ("\\?\UNC\" for a share), so that it may be longer than 260
/// characters. An empty path stays empty.
std::wstring LongPath(std::string_view utf8);

/// The system's text for a Win32 error code, without the line break it ends with; the code in
/// hexadecimal when the system has no text.
std::string Win32ErrorMessage(unsigned long error);
