#pragma once

#include <string>
#include <string_view>

/// The platform's half of textEncoding: the character sets other than UTF-8 and UTF-16, which
/// each platform converts with its own tables (ICU on POSIX, the Win32 code pages on Windows).
/// Used by textEncoding.cpp only.

/// The system's "ANSI" code page by name: the locale's character set on POSIX, GetACP() on
/// Windows.
std::string SystemCodePage();

/// UTF-16 text (well formed) in the named code page; characters it cannot hold become its
/// replacement character. Throws EhvError "Unknown code page "<name>"".
std::string EncodeCodePage(std::u16string_view text, std::string_view codePage);

/// Bytes in the named code page as UTF-16; each invalid character becomes U+FFFD. Throws
/// EhvError "Unknown code page "<name>"".
std::u16string DecodeCodePage(std::string_view bytes, std::string_view codePage);

/// A code page name reduced to what tells names apart: ASCII letters in lower case and digits
/// ("UTF-8", "utf8" and "Utf_8" all give "utf8").
std::string CodePageKey(std::string_view name);
