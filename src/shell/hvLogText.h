#pragma once

#include <optional>
#include <string>
#include <string_view>

/// The escape form of a field of the run's log, so that no name can forge or break a line and
/// every line names its file exactly, in any code page:
///   \\          a backslash
///   \xHH        one byte: a control character (00-1F, 7F), a byte that is not UTF-8, or the
///               ">" of "=>" (so that " => " only ever separates fields)
///   \uHHHH      a character (up to U+FFFF) the code page cannot hold, or one that changes how
///               text around it reads: C1 controls, line and paragraph separators, bidirectional
///               marks, embeddings, overrides and isolates, the byte order mark
///   \UHHHHHHHH  the same for a character above U+FFFF
/// Everything else stands as it is. Hexadecimal digits are upper case. Undoing each escape gives
/// the field's bytes back.
std::string EscapeLogField(std::string_view text, std::string_view codePage);

/// A field's bytes from its escape form (as read back from the log, in UTF-8). Empty when field
/// is not in the form (a backslash before anything but the escapes above).
std::optional<std::string> UnescapeLogField(std::string_view field);
