#pragma once

#include <cstddef>
#include <string>
#include <vector>

/// The text of a presentation as the engine reads it, before it is written out. Text is UTF-8;
/// "\n" inside a paragraph is a line break, "\t" a tab.

struct ThvParagraph {
    int Level = 0;  ///< 0 for a first-level paragraph, up to 8, as the file's paragraph levels
    std::string Text;
};

struct ThvSlideText {
    bool HasTitle = false;  ///< a title placeholder was found (its text may still be empty)
    std::string Title;
    std::vector<ThvParagraph> Body;  ///< every other text of the slide, in document order
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
    return bytes;
}
