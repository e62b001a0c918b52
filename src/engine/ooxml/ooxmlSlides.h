#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/engineLimits.h"
#include "engine/base/presentationText.h"

class ThvOoxmlPackage;

/// The text of a part a slide refers to by relationship id: kind "diagramData" (SmartArt) or
/// "chart". Empty when there is no such part, or when its text is lost (the reader says so in
/// its own way); may throw EhvFileRefused.
using ThvRelatedText =
    std::function<std::vector<ThvParagraph>(std::string_view relId, std::string_view kind)>;

/// The text of one slide part (p:sld): the first title placeholder (title, ctrTitle) gives the
/// title; every other text in the shape tree, in document order and at any group depth, gives
/// body paragraphs: shapes and placeholders paragraph by paragraph at their levels, tables one
/// paragraph per row with cells joined by tabs (merged continuation cells skipped), SmartArt
/// node texts at their depth in the diagram, chart texts. Empty paragraphs are left out.
/// Throws EhvError naming fileName and partName.
ThvSlideText ReadSlideText(std::string bytes, std::string_view fileName, std::string_view partName,
                           const ThvRelatedText& related, const ThvEngineLimits& limits = {});

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

/// The whole presentation of a package: the presentation part found through the package
/// relationships, its slides in the order of the slide id list, whether it holds a VBA
/// project. Damage costs only what it touches, and the result says what in Salvaged: a slide
/// that is missing or not well formed stays in its place, empty; a diagram or chart whose part
/// is damaged loses its text; when the presentation part or the relationships leading to it are
/// missing or damaged, the slide parts are taken by their names, in slide-number order. Throws
/// EhvError "... is not a presentation" when the package holds no presentation, "... is
/// damaged" when it holds nothing intact to read, and the limits' refusals.
ThvPresentationText ReadOoxmlPresentation(ThvOoxmlPackage& package);
