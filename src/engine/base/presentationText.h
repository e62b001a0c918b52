#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

/// The text of a presentation as the engine reads it, before it is written out. Text is UTF-8;
/// "\n" inside a paragraph is a line break, "\t" a tab.

/// What a paragraph of a slide's body is, for the writers that show more than an outline.
enum class ThvTextKind : std::uint8_t {
    Text,        ///< a paragraph of a shape, a placeholder or a text box
    TableRow,    ///< a row of a table: Cells, and Text with the cells joined by tabs
    Diagram,     ///< a SmartArt node's text, at the node's depth
    ChartTitle,  ///< a chart's title
    Chart,       ///< another text of a chart: an axis title, a series name, a category
    Picture,     ///< the description of a picture or of a frame (read only on request)
};

struct ThvParagraph {
    ThvParagraph() = default;
    ThvParagraph(int level, std::string text, ThvTextKind kind = ThvTextKind::Text,
                 std::uint32_t frame = 0)
        : Level(level), Text(std::move(text)), Kind(kind), Frame(frame) {}

    int Level = 0;  ///< 0 for a first-level paragraph, up to 8, as the file's paragraph levels
    std::string Text;
    ThvTextKind Kind = ThvTextKind::Text;
    /// Numbers the table, diagram or chart of the slide a paragraph of one belongs to, from 1,
    /// so that two of them in a row stay apart; 0 for the other paragraphs.
    std::uint32_t Frame = 0;
    /// A TableRow's cells, merged continuations left out: where each cell's text ends in Text,
    /// the next beginning after the tab that follows it.
    std::vector<std::uint32_t> CellEnds;
};

/// The cells of a TableRow, views into its Text.
inline std::vector<std::string_view> CellsOf(const ThvParagraph& row) {
    std::vector<std::string_view> cells;
    std::size_t start = 0;
    for (const std::uint32_t end : row.CellEnds) {
        if (end < start || end > row.Text.size()) break;
        cells.push_back(std::string_view(row.Text).substr(start, end - start));
        start = end + 1;
    }
    return cells;
}

/// True when the paragraphs hold nothing but digits and blanks: on a notes page, a box that
/// holds only a number is the page's number (a field, or typed in), whatever it is made of.
inline bool IsNumberOnly(const std::vector<ThvParagraph>& paragraphs) {
    bool digit = false;
    for (const ThvParagraph& paragraph : paragraphs) {
        for (const char c : paragraph.Text) {
            if (c >= '0' && c <= '9') {
                digit = true;
            } else if (c != ' ' && c != '\t' && c != '\n') {
                return false;
            }
        }
    }
    return digit;
}

/// A comment on a slide: its author's name (empty when the file names none) and its text.
struct ThvComment {
    std::string Author;
    std::string Text;
};

struct ThvSlideText {
    bool HasTitle = false;  ///< a title placeholder was found (its text may still be empty)
    std::string Title;
    std::vector<ThvParagraph> Body;  ///< every other text of the slide, in document order
    bool Hidden = false;             ///< the slide show passes over it
    /// The slide's speaker notes, found through the slide's own reference to its notes page;
    /// read only on request.
    std::vector<ThvParagraph> Notes;
    std::vector<ThvComment> Comments;  ///< in the file's order; read only on request
};

struct ThvPresentationText {
    std::vector<ThvSlideText> Slides;  ///< in the presentation's slide order, hidden ones too
    bool HasVBProject = false;         ///< the package holds a VBA project part
    /// What was salvaged or lost because the file is damaged, one phrase each ("slide 3 is
    /// lost: ..."); empty for a file read as it was saved. Nothing in Slides is guessed: a lost
    /// slide stays in its place, empty.
    std::vector<std::string> Salvaged;
};

/// The memory a slide's text is counted at against the limit of a presentation's text.
inline std::size_t TextBytes(const ThvSlideText& slide) {
    std::size_t bytes = slide.Title.size() + 16;
    for (const ThvParagraph& paragraph : slide.Body) bytes += paragraph.Text.size() + 16;
    for (const ThvParagraph& paragraph : slide.Notes) bytes += paragraph.Text.size() + 16;
    for (const ThvComment& comment : slide.Comments)
        bytes += comment.Author.size() + comment.Text.size() + 32;
    return bytes;
}
