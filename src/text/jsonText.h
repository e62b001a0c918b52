#pragma once

#include <string>
#include <string_view>

/// The bytes as a JSON string literal, quotes included, always valid JSON whatever the bytes.
/// Well-formed UTF-8 stays as it is (except U+2028 and U+2029, escaped for JavaScript readers);
/// '"', '\' and control characters are escaped. A byte that is not part of well-formed UTF-8
/// (a file name written in another encoding, say) becomes the escape of a lone low surrogate
/// \udc80 to \udcff for byte 0x80 to 0xFF, the "surrogateescape" form: Python gives the exact
/// bytes back with text.encode("utf-8", "surrogateescape"), and other readers show a
/// replacement character. So no name is ever lost or made to look like another.
std::string JsonQuote(std::string_view bytes);
