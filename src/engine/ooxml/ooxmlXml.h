#pragma once

#include <cstddef>
#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "engine/base/engineLimits.h"

/// One XML part of a package, parsed under the engine's limits.
///
/// Office documents may bind any prefix to any namespace and come in a Transitional and a
/// Strict vocabulary. After loading, the element and attribute names of the namespaces the
/// engine reads carry fixed prefixes whatever the file used: "p:" PresentationML, "a:"
/// DrawingML, "r:" relationships, "dgm:" diagrams, "c:" charts, "mc:" markup compatibility,
/// "m:" math,
/// "a14:" and "p14:" the 2010 extensions. An element of any other namespace whose prefix
/// collides with one of these is renamed so it cannot be mistaken for ours.
///
/// Markup-compatibility blocks are resolved while loading: of an mc:AlternateContent the first
/// mc:Choice whose required namespaces are all understood is kept, else the mc:Fallback; the
/// other branches are renamed "mc:Ignored" and every traversal skips them, so content is never
/// read twice.
class ThvXmlPart {
  public:
    /// Parses bytes (UTF-8 or UTF-16). Throws EhvError naming fileName and partName when the
    /// XML is not well formed, nests deeper than the limits' MaxXmlDepth or holds more than
    /// their MaxXmlElements elements.
    ThvXmlPart(std::string bytes, std::string_view fileName, std::string_view partName,
               const ThvEngineLimits& limits);

    ThvXmlPart(const ThvXmlPart&) = delete;
    ThvXmlPart& operator=(const ThvXmlPart&) = delete;

    pugi::xml_node Root() const { return doc_.document_element(); }

  private:
    // The full walk: renames to the fixed prefixes, resolves blocks, checks the limits.
    void Normalize(std::string_view fileName, std::string_view partName,
                   const ThvEngineLimits& limits);
    // The walk for a part whose declarations all keep names (nearly every part): checks the
    // limits and resolves blocks where there are any.
    void CheckAndResolve(std::string_view fileName, std::string_view partName,
                         const ThvEngineLimits& limits, bool hasBlocks);

    std::string bytes_;  // parsed in place: the document points into it
    pugi::xml_document doc_;
};

/// Nesting depth and element count of XML bytes, found by a scan that allocates nothing, so
/// hostile input is refused before a tree is built for it.
struct ThvXmlShape {
    std::size_t MaxDepth = 0;
    std::size_t Elements = 0;
};
ThvXmlShape ScanXmlShape(std::string_view bytes);

/// True for "1", "true" and "on" (the boolean forms of the file formats).
bool XmlTrue(std::string_view value);
inline bool XmlTrue(const pugi::xml_attribute& attribute) { return XmlTrue(attribute.value()); }
