#pragma once

#include <cstddef>
#include <string>
#include <string_view>

/// UTF-8 and UTF-16 code of our own, the same on every platform. Ill-formed input is replaced
/// as ICU and the WHATWG encoding standard do: one U+FFFD for each maximal part of a sequence
/// that could have begun a character, so that "a\xE2\x82" gives "a" and one U+FFFD.

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

/// The next character of utf8 from pos, which it moves past it; U+FFFD for an ill-formed part.
/// pos must be below utf8.size().
char32_t NextUtf8Character(std::string_view utf8, std::size_t& pos);

/// Appends the UTF-8 form of a character (a surrogate or a value above U+10FFFF gives U+FFFD).
void AppendUtf8(std::string& out, char32_t character);

/// True when text is well-formed UTF-8: no overlong forms, no surrogates, nothing above
/// U+10FFFF.
bool IsWellFormedUtf8(std::string_view text);

/// The text with every ill-formed part replaced; well-formed text, nearly all, is taken as it
/// stands.
std::string SanitizedUtf8(std::string_view text);

/// UTF-8 to UTF-16 and back (invalid input becomes U+FFFD).
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);
