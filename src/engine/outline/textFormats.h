#pragma once

#include <string>
#include <string_view>

#include "engine/base/presentationText.h"

/// The forms the engine writes a presentation's text in besides the rich-text outline
/// (rtfOutline.h), and what all of them share.

/// What becomes of a slide the slide show passes over.
enum class ThvHiddenSlides {
    Include,  ///< written as any other
    Mark,     ///< written, and said to be hidden
    Skip,     ///< not written; the others keep their numbers
};

/// The line that marks a hidden slide after its title.
inline constexpr std::string_view kHiddenMark = "(hidden slide)";
/// The line above a slide's notes in the outline.
inline constexpr std::string_view kNotesHeading = "Notes:";

/// A picture's description as the outline shows it: "[Picture: <description>]".
std::string PictureLine(std::string_view description);

/// A comment as the outline shows it: "Comment (<author>): <text>", or "Comment: <text>" when
/// it names no author.
std::string CommentLine(const ThvComment& comment);

/// The presentation as Markdown that parses as CommonMark, one section per slide written:
/// "## <number>. <title>" ("## <number>" without a title, the number being the slide's in
/// the file whatever is skipped), then "(hidden slide)" for a marked one, the body paragraphs
/// as nested lists by level, tables as pipe tables (the first row the header, "|" escaped and
/// line breaks as "<br>" in cells), SmartArt as nested lists, a chart's texts as a list under
/// "Chart: <title>", picture descriptions as "[Picture: <description>]" paragraphs, notes
/// under "### Notes" and comments as a list under "### Comments". Every text is escaped so
/// that it reads as text: nothing in a slide can make a heading, a list, a link or markup of
/// its own. UTF-8, LF line ends.
std::string WriteMarkdown(const ThvPresentationText& presentation, ThvHiddenSlides hidden);

/// The presentation as JSON Lines: one object per slide written, on a line of its own, with
/// the members "file" (fileName, its bytes that are not UTF-8 as \udc80 to \udcff), "slide"
/// (its number in the file), "hidden", "title", "paragraphs" (level and text of each body
/// paragraph that is not a table row or a picture), "tables" (rows of cells), "notes" (its
/// notes' paragraphs joined by "\n"), "comments" (author and text of each) and "pictures" (the
/// descriptions). UTF-8, LF line ends.
std::string WriteJsonLines(const ThvPresentationText& presentation, std::string_view fileName,
                           ThvHiddenSlides hidden);
