#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// UTF-8 and UTF-16 themselves, which every user of the code pages needs too.
#include "text/unicodeText.h"

/// Text is UTF-8 in memory. Files meant for the user are written in the system's ANSI code page
/// and read back with byte-order-mark detection. On POSIX the "ANSI code page" is the locale's
/// character set (the C/POSIX locale counts as UTF-8).

/// The ANSI code page's ICU converter name, for example "UTF-8" or "windows-1252".
std::string AnsiCodePage();

/// Pins the ANSI code page (tests); an empty name returns to the system's. Not thread-safe
/// against concurrent conversions: call it before threads start.
void SetAnsiCodePage(const std::string& name);

/// UTF-8 text in the named code page; characters it cannot hold become its replacement
/// character ("?" where the code page has one). Throws EhvError for an unknown code page.
std::string EncodeText(std::string_view utf8, std::string_view codePage);

/// Bytes in the named code page as UTF-8; invalid sequences become U+FFFD.
std::string DecodeText(std::string_view bytes, std::string_view codePage);

/// True when the code page holds text: it comes back unchanged from the code page.
bool CodePageHolds(std::string_view utf8, std::string_view codePage);

/// How many characters of utf8 the code page cannot hold: those that EncodeText replaces.
std::size_t UnheldCharacters(std::string_view utf8, std::string_view codePage);

std::string EncodeAnsi(std::string_view utf8);
std::string DecodeAnsi(std::string_view bytes);

/// Text for a file that the program itself reads back (a project file, the recent-project
/// list): in the ANSI code page when the page holds every character of it, otherwise UTF-8
/// with its byte-order mark, so that a name the page lacks is not lost to "?".
std::string EncodeAnsiOrUtf8(std::string_view utf8);

/// The encoding that a byte-order mark at the start of bytes selects: "UTF-8" for EF BB BF,
/// "UTF-16LE" for FF FE, "UTF-16BE" for FE FF, with the mark's length; an empty name and 0
/// without a mark (the ANSI code page then).
struct ThvBomEncoding {
    std::string_view CodePage;
    std::size_t MarkLength = 0;
};
ThvBomEncoding DetectBom(std::string_view bytes);

/// File bytes as UTF-8: EF BB BF selects UTF-8, FF FE UTF-16 LE, FE FF UTF-16 BE (the mark
/// dropped); without a mark the ANSI code page.
std::string DecodeWithBom(std::string_view bytes);


/// Unicode case folding (full folding, so "STRASSE" and "straße" fold alike).
std::string FoldCase(std::string_view utf8);

/// Equality ignoring case, by Unicode case folding.
bool SameText(std::string_view a, std::string_view b);

/// True when needle occurs in haystack ignoring case (an empty needle always occurs).
bool ContainsText(std::string_view haystack, std::string_view needle);
