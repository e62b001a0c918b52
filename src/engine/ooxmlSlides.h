#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engineLimits.h"
#include "presentationText.h"

class ThvOoxmlPackage;

/// A part's name and inflated bytes.
struct ThvPartBytes {
    std::string Name;
    std::string Bytes;
};

/// Reads the diagram data part a slide's SmartArt points to by relationship id; empty when
/// there is no such part. May throw EhvError (a damaged or oversized part).
using ThvDiagramDataReader = std::function<std::optional<ThvPartBytes>(std::string_view relId)>;

/// The text of one slide part (p:sld): the first title placeholder (title, ctrTitle) gives the
/// title; every other text in the shape tree, in document order and at any group depth, gives
/// body paragraphs: shapes and placeholders paragraph by paragraph at their levels, tables one
/// paragraph per row with cells joined by tabs (merged continuation cells skipped), SmartArt
/// node texts at their depth in the diagram. Empty paragraphs are left out.
/// Throws EhvError naming fileName and partName.
ThvSlideText ReadSlideText(std::string bytes, std::string_view fileName, std::string_view partName,
                           const ThvDiagramDataReader& diagramData,
                           const ThvEngineLimits& limits = {});

/// The node texts of a diagram data part (dgm:dataModel) in the order of its hierarchy, each
/// node's paragraphs at the node's depth below the document node (its children at level 0).
std::vector<ThvParagraph> ReadDiagramText(std::string bytes, std::string_view fileName,
                                          std::string_view partName,
                                          const ThvEngineLimits& limits = {});

/// The whole presentation of a package: the presentation part found through the package
/// relationships, its slides in the order of the slide id list, whether it holds a VBA
/// project. Throws EhvError "... is not a presentation" when the package's main part is not a
/// presentation part, and the package's errors otherwise.
ThvPresentationText ReadOoxmlPresentation(ThvOoxmlPackage& package);
