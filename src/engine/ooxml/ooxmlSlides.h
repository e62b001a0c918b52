#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/base/engineLimits.h"
#include "engine/base/presentationText.h"
#include "engine/base/readOptions.h"

class ThvOoxmlPackage;

/// The text of a part a slide refers to by relationship id: kind "diagramData" (SmartArt) or
/// "chart". Empty when there is no such part, or when its text is lost (the reader says so in
/// its own way); may throw EhvFileRefused.
using ThvRelatedText =
    std::function<std::vector<ThvParagraph>(std::string_view relId, std::string_view kind)>;

/// What ReadSlideText reads a part as, and what of it.
struct ThvSlideReading {
    /// A notes page (p:notes) instead of a slide: no title, and the text of its body
    /// placeholder and text boxes; its other placeholders and boxes holding only a number
    /// (the page's number) are left out.
    bool Notes = false;
    /// The descriptions of pictures and frames, as Picture paragraphs where they stand.
    bool Pictures = false;
};

/// The text of one slide part (p:sld): the first title placeholder (title, ctrTitle) gives the
/// title; every other text in the shape tree, in document order and at any group depth, gives
/// body paragraphs: shapes and placeholders paragraph by paragraph at their levels, tables one
/// paragraph per row with cells joined by tabs (merged continuation cells skipped), SmartArt
/// node texts at their depth in the diagram, chart texts, each table, diagram and chart with a
/// frame number of its own. Empty paragraphs are left out. Hidden from the slide's "show".
/// Throws EhvError naming fileName and partName.
ThvSlideText ReadSlideText(std::string bytes, std::string_view fileName, std::string_view partName,
                           const ThvRelatedText& related, const ThvEngineLimits& limits = {},
                           const ThvSlideReading& reading = {});

/// The notes of a notes page part (p:notes), read as ReadSlideText reads it with Notes set.
std::vector<ThvParagraph> ReadNotesText(std::string bytes, std::string_view fileName,
                                        std::string_view partName,
                                        const ThvEngineLimits& limits = {});

/// The node texts of a diagram data part (dgm:dataModel) in the order of its hierarchy, each
/// node's paragraphs at the node's depth below the document node (its children at level 0).
std::vector<ThvParagraph> ReadDiagramText(std::string bytes, std::string_view fileName,
                                          std::string_view partName,
                                          const ThvEngineLimits& limits = {});

/// The texts of a chart part (c:chartSpace), from the chart's own caches, one paragraph each:
/// its title, its axis titles, its series names and its category labels (the first series'
/// that has labels; numbers are data, not labels, and are never read).
std::vector<ThvParagraph> ReadChartText(std::string bytes, std::string_view fileName,
                                        std::string_view partName,
                                        const ThvEngineLimits& limits = {});

/// Comment authors' names by their ids.
using ThvCommentAuthors = std::unordered_map<std::string, std::string>;

/// Adds the authors of a comment authors part to authors: classic comments' (p:cmAuthorLst,
/// numeric ids) or threaded comments' (p188:authorLst, GUIDs). A part of another kind adds
/// none. Throws EhvError naming fileName and partName.
void ReadCommentAuthors(std::string bytes, std::string_view fileName, std::string_view partName,
                        ThvCommentAuthors& authors, const ThvEngineLimits& limits = {});

/// The comments of a comments part in their order, each with its author's name from authors
/// (empty when the id names none): classic comments (p:cmLst, plain text), or threaded ones
/// (p188:cmLst, each comment followed by its replies, paragraphs one line each). Blank
/// comments are left out. Throws EhvError naming fileName and partName.
std::vector<ThvComment> ReadCommentsText(std::string bytes, std::string_view fileName,
                                         std::string_view partName,
                                         const ThvCommentAuthors& authors,
                                         const ThvEngineLimits& limits = {});

/// The whole presentation of a package: the presentation part found through the package
/// relationships, its slides in the order of the slide id list, whether it holds a VBA
/// project. Damage costs only what it touches, and the result says what in Salvaged: a slide
/// that is missing or not well formed stays in its place, empty; a diagram or chart whose part
/// is damaged loses its text; when the presentation part or the relationships leading to it are
/// missing or damaged, the slide parts are taken by their names, in slide-number order. Throws
/// EhvError "... is not a presentation" when the package holds no presentation, "... is
/// damaged" when it holds nothing intact to read, and the limits' refusals.
///
/// What content asks for besides the slides is found through each slide's own relationships
/// (its notes page, its comment parts) and the presentation's (comment authors), never by
/// position or part name; a part of them that is damaged costs only what it holds, and
/// Salvaged says so ("slide 2 loses its notes: ...").
ThvPresentationText ReadOoxmlPresentation(ThvOoxmlPackage& package,
                                          const ThvContentChoice& content = {});
