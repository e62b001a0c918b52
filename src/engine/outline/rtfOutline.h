#pragma once

#include <string>
#include <string_view>

#include "engine/base/presentationText.h"
#include "engine/outline/textFormats.h"

/// The presentation's outline as a rich-text document: a code page header, a font table and a
/// style sheet of nine heading styles with their outline levels; per slide its title at level 1
/// (an empty paragraph when it has none, so slides stay apart) and its body paragraphs at their
/// level + 1 below it (capped at 9). Inside paragraphs line breaks become \line and tabs \tab;
/// every character above 0x7F is written as \uN? (UTF-16 code units, so a character outside
/// the basic plane takes two), and "{", "}" and "\" are escaped. Other control characters are
/// dropped. The result is 7-bit ASCII.
///
/// What a presentation read with more than its slides' text holds is written too, each a
/// paragraph at level 2: a picture's description as "[Picture: <description>]" where it stands,
/// then the notes under a paragraph "Notes:" (at their levels + 2), then each comment as
/// "Comment (<author>): <text>" ("Comment: <text>" without an author). A hidden slide is
/// written as any other (Include), with a paragraph "(hidden slide)" after its title (Mark),
/// or not at all (Skip).
std::string WriteRtfOutline(const ThvPresentationText& presentation,
                            ThvHiddenSlides hidden = ThvHiddenSlides::Include);

/// One paragraph's text escaped for RTF, as WriteRtfOutline writes it.
std::string EscapeRtfText(std::string_view utf8);

/// The same, appended to out.
void AppendRtfText(std::string& out, std::string_view utf8);
