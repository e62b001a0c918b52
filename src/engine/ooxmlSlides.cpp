#include "ooxmlSlides.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <functional>
#include <iterator>
#include <unordered_map>
#include <utility>

#include "engineError.h"
#include "ooxmlPackage.h"
#include "ooxmlStream.h"
#include "ooxmlXml.h"

namespace {

/// Only spaces, tabs, line breaks and no-break spaces (which authors type to keep a line).
bool IsBlank(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
        if (c == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0') {
            ++i;
            continue;
        }
        return false;
    }
    return true;
}

bool Named(const pugi::xml_node& node, const char* name) {
    return node.type() == pugi::node_element && std::strcmp(node.name(), name) == 0;
}

/// Markup-compatibility wrappers are looked through: only their kept branch is left.
bool IsCompatibilityWrapper(std::string_view name) {
    return name == "mc:AlternateContent" || name == "mc:Choice" || name == "mc:Fallback";
}

int ParagraphLevel(std::string_view value) {
    int level = 0;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), level);
    if (error != std::errc() || level < 0) return 0;
    return std::min(level, 8);
}

/// A paragraph's text from the tree (diagram node texts): runs, fields (their cached text),
/// line breaks, math runs; properties and ignored alternatives are not text. Walks by the
/// tree's own links, without a stack.
std::string ParagraphText(const pugi::xml_node& paragraph) {
    std::string text;
    pugi::xml_node node = paragraph.first_child();
    while (node) {
        bool descend = false;
        if (node.type() == pugi::node_element) {
            const char* name = node.name();
            if (std::strcmp(name, "a:t") == 0 || std::strcmp(name, "m:t") == 0) {
                for (pugi::xml_node child = node.first_child(); child;
                     child = child.next_sibling()) {
                    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
                        text += child.value();
                }
            } else if (std::strcmp(name, "a:br") == 0) {
                text += '\n';
            } else {
                descend =
                    std::strcmp(name, "a:r") == 0 ||
                    (std::strcmp(name, "a:rPr") != 0 && std::strcmp(name, "a:pPr") != 0 &&
                     std::strcmp(name, "a:endParaRPr") != 0 && std::strcmp(name, "a:extLst") != 0 &&
                     std::strcmp(name, "mc:Ignored") != 0);
            }
        }
        pugi::xml_node next = descend ? node.first_child() : pugi::xml_node();
        // Climb until a sibling follows, but never above the paragraph.
        while (!next && node != paragraph) {
            next = node.next_sibling();
            if (!next) node = node.parent();
        }
        if (node == paragraph && !next) break;
        node = next;
    }
    return text;
}

/// Paragraphs of a diagram node's text body (dgm:t), skipping blank ones.
void AppendTextBody(const pugi::xml_node& body, int extraLevel, std::vector<ThvParagraph>& out) {
    for (pugi::xml_node paragraph = body.child("a:p"); paragraph;
         paragraph = paragraph.next_sibling("a:p")) {
        std::string text = ParagraphText(paragraph);
        if (IsBlank(text)) continue;
        const int level = ParagraphLevel(paragraph.child("a:pPr").attribute("lvl").value());
        out.push_back({std::min(level + extraLevel, 8), std::move(text)});
    }
}

/// Reads one slide part token by token. Each Read... function is called on an element's Start
/// and returns after its End; where the tree reader took "the first child named X", so does
/// this one, and text order is document order.
class ThvSlideReader {
  public:
    using Token = ThvXmlStream::Token;

    ThvSlideReader(ThvXmlStream& xml, std::string_view fileName, std::string_view partName,
                   const ThvDiagramDataReader& diagramData, const ThvEngineLimits& limits)
        : xml_(xml),
          fileName_(fileName),
          partName_(partName),
          diagramData_(diagramData),
          limits_(limits) {}

    ThvSlideText Read() {
        if (xml_.Next() != Token::Start || xml_.Name() != "p:sld") {
            ThrowFileError(fileName_, "is damaged: its part \"" + std::string(partName_) +
                                          "\" is not a slide");
        }
        FirstChild("p:cSld", [&] { FirstChild("p:spTree", [&] { ReadTree(); }); });
        // The rest of the part must still be well formed.
        while (xml_.Next() != Token::Done) {
        }
        return std::move(text_);
    }

  private:
    /// Calls onStart for each child element (which must read it through its End) and onText
    /// for each piece of character data, until the current element's End.
    template <typename OnStart, typename OnText>
    void Children(OnStart onStart, OnText onText) {
        for (;;) {
            switch (xml_.Next()) {
                case Token::Start:
                    onStart(xml_.Name());
                    break;
                case Token::Text:
                    onText(xml_.Text());
                    break;
                case Token::End:
                case Token::Done:
                    return;
            }
        }
    }
    template <typename OnStart>
    void Children(OnStart onStart) {
        Children(onStart, [](std::string_view) {});
    }

    /// Reads the first child element of the given name with read; skips every other child.
    template <typename Read>
    void FirstChild(std::string_view name, Read read) {
        bool seen = false;
        Children([&](std::string_view child) {
            if (child != name || std::exchange(seen, true)) return xml_.Skip();
            read();
        });
    }

    void ReadTree() {
        Children([&](std::string_view name) {
            if (name == "p:sp") {
                ReadShape();
            } else if (name == "p:graphicFrame") {
                ReadGraphicFrame();
            } else if (name == "p:grpSp" || IsCompatibilityWrapper(name)) {
                ReadTree();
            } else {
                xml_.Skip();
            }
        });
    }

    void ReadShape() {
        bool placeholder = false, seenProperties = false, seenBody = false;
        std::string type;
        std::vector<ThvParagraph> paragraphs;
        Children([&](std::string_view name) {
            if (name == "p:nvSpPr" && !std::exchange(seenProperties, true)) {
                FirstChild("p:nvPr", [&] {
                    FirstChild("p:ph", [&] {
                        placeholder = true;
                        type = xml_.Attribute("type");
                        xml_.Skip();
                    });
                });
            } else if (name == "p:txBody" && !std::exchange(seenBody, true)) {
                ReadTextBody(0, paragraphs);
            } else {
                xml_.Skip();
            }
        });
        if (placeholder && (type == "title" || type == "ctrTitle") && !text_.HasTitle) {
            text_.HasTitle = true;
            for (std::size_t i = 0; i < paragraphs.size(); ++i) {
                if (i > 0) text_.Title += '\n';
                text_.Title += paragraphs[i].Text;
            }
            return;
        }
        std::move(paragraphs.begin(), paragraphs.end(), std::back_inserter(text_.Body));
    }

    void ReadTextBody(int extraLevel, std::vector<ThvParagraph>& out) {
        Children([&](std::string_view name) {
            if (name != "a:p") return xml_.Skip();
            std::string text;
            int level = 0;
            bool seenProperties = false;
            Children([&](std::string_view child) {
                if (child == "a:pPr") {
                    if (!std::exchange(seenProperties, true))
                        level = ParagraphLevel(xml_.Attribute("lvl"));
                    return xml_.Skip();
                }
                ReadParagraphContent(child, text);
            });
            if (!IsBlank(text)) out.push_back({std::min(level + extraLevel, 8), std::move(text)});
        });
    }

    // Runs, fields (their cached text), line breaks and math runs, at any depth.
    void ReadParagraphContent(std::string_view name, std::string& text) {
        if (name == "a:t" || name == "m:t") {
            Children([&](std::string_view) { xml_.Skip(); },
                     [&](std::string_view data) { text += data; });
        } else if (name == "a:br") {
            text += '\n';
            xml_.Skip();
        } else if (name == "a:rPr" || name == "a:pPr" || name == "a:endParaRPr" ||
                   name == "a:extLst") {
            xml_.Skip();
        } else {
            Children([&](std::string_view child) { ReadParagraphContent(child, text); });
        }
    }

    void ReadGraphicFrame() {
        FirstChild("a:graphic", [&] { FirstChild("a:graphicData", [&] { ReadGraphicData(); }); });
    }

    // A table wins over a diagram wherever each stands among the (kept) alternatives.
    void ReadGraphicData() {
        bool table = false, diagram = false;
        std::vector<ThvParagraph> rows;
        std::string relId;
        std::function<void()> search = [&] {
            Children([&](std::string_view name) {
                if (name == "a:tbl" && !table) {
                    table = true;
                    ReadTable(rows);
                } else if (name == "dgm:relIds" && !diagram) {
                    diagram = true;
                    relId = xml_.Attribute("r:dm");
                    xml_.Skip();
                } else if (IsCompatibilityWrapper(name)) {
                    search();
                } else {
                    xml_.Skip();
                }
            });
        };
        search();
        if (table) {
            std::move(rows.begin(), rows.end(), std::back_inserter(text_.Body));
            return;
        }
        if (!diagram || relId.empty() || !diagramData_) return;
        std::optional<ThvPartBytes> part = diagramData_(relId);
        if (!part) return;
        std::vector<ThvParagraph> nodes =
            ReadDiagramText(std::move(part->Bytes), fileName_, part->Name, limits_);
        std::move(nodes.begin(), nodes.end(), std::back_inserter(text_.Body));
    }

    void ReadTable(std::vector<ThvParagraph>& out) {
        Children([&](std::string_view name) {
            if (name != "a:tr") return xml_.Skip();
            std::string rowText;
            bool firstCell = true;
            Children([&](std::string_view child) {
                // A merged area's text lives in its first cell; the others repeat nothing.
                if (child != "a:tc" || XmlTrue(xml_.Attribute("hMerge")) ||
                    XmlTrue(xml_.Attribute("vMerge"))) {
                    return xml_.Skip();
                }
                if (!std::exchange(firstCell, false)) rowText += '\t';
                std::vector<ThvParagraph> cellParagraphs;
                FirstChild("a:txBody", [&] { ReadTextBody(0, cellParagraphs); });
                for (std::size_t i = 0; i < cellParagraphs.size(); ++i) {
                    if (i > 0) rowText += '\n';
                    rowText += cellParagraphs[i].Text;
                }
            });
            if (!IsBlank(rowText)) out.push_back({0, std::move(rowText)});
        });
    }

    ThvXmlStream& xml_;
    std::string_view fileName_;
    std::string_view partName_;
    const ThvDiagramDataReader& diagramData_;
    const ThvEngineLimits& limits_;
    ThvSlideText text_;
};

}  // namespace

ThvSlideText ReadSlideText(std::string bytes, std::string_view fileName, std::string_view partName,
                           const ThvDiagramDataReader& diagramData, const ThvEngineLimits& limits) {
    ThvXmlStream xml(std::move(bytes), fileName, partName, limits);
    return ThvSlideReader(xml, fileName, partName, diagramData, limits).Read();
}

std::vector<ThvParagraph> ReadDiagramText(std::string bytes, std::string_view fileName,
                                          std::string_view partName,
                                          const ThvEngineLimits& limits) {
    ThvXmlPart xml(std::move(bytes), fileName, partName, limits);
    std::vector<ThvParagraph> out;
    pugi::xml_node model = xml.Root();
    if (!Named(model, "dgm:dataModel")) return out;

    struct ThvPoint {
        pugi::xml_node Node;
        bool HasText;
        std::vector<std::pair<long, std::size_t>> Children;  // (order, point)
    };
    std::vector<ThvPoint> points;
    std::unordered_map<std::string_view, std::size_t> byId;
    std::vector<std::size_t> roots;
    for (pugi::xml_node pt = model.child("dgm:ptLst").child("dgm:pt"); pt;
         pt = pt.next_sibling("dgm:pt")) {
        std::string_view type = pt.attribute("type").value();
        // Transitions and presentation points carry layout, not the user's text.
        bool hasText = type.empty() || type == "node" || type == "asst";
        byId.emplace(pt.attribute("modelId").value(), points.size());
        if (type == "doc") roots.push_back(points.size());
        points.push_back({pt, hasText, {}});
    }
    for (pugi::xml_node cxn = model.child("dgm:cxnLst").child("dgm:cxn"); cxn;
         cxn = cxn.next_sibling("dgm:cxn")) {
        std::string_view type = cxn.attribute("type").value();
        if (!type.empty() && type != "parOf") continue;
        auto parent = byId.find(cxn.attribute("srcId").value());
        auto child = byId.find(cxn.attribute("destId").value());
        if (parent == byId.end() || child == byId.end()) continue;
        points[parent->second].Children.emplace_back(cxn.attribute("srcOrd").as_llong(),
                                                     child->second);
    }
    std::vector<bool> visited(points.size(), false);
    auto emit = [&](std::size_t point, int level) {
        AppendTextBody(points[point].Node.child("dgm:t"), std::clamp(level, 0, 8), out);
    };
    for (std::size_t root : roots) {
        std::vector<std::pair<std::size_t, int>> stack{{root, -1}};
        while (!stack.empty()) {
            auto [point, level] = stack.back();
            stack.pop_back();
            if (visited[point]) continue;  // a cycle or a shared child is read once
            visited[point] = true;
            if (points[point].HasText) emit(point, level);
            auto& children = points[point].Children;
            std::stable_sort(children.begin(), children.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            for (auto it = children.rbegin(); it != children.rend(); ++it) {
                if (!visited[it->second]) stack.push_back({it->second, level + 1});
            }
        }
    }
    // Text the hierarchy does not reach is still the user's text.
    for (std::size_t point = 0; point < points.size(); ++point) {
        if (!visited[point] && points[point].HasText) emit(point, 0);
    }
    return out;
}

ThvPresentationText ReadOoxmlPresentation(ThvOoxmlPackage& package) {
    const std::string& fileName = package.FileName();
    const ThvEngineLimits& limits = package.Limits();
    std::string presentationPart;
    for (const ThvRelationship& rel : package.ReadRelationships("")) {
        if (!rel.External && IsRelationshipType(rel.Type, "officeDocument")) {
            presentationPart = rel.Target;
            break;
        }
    }
    if (presentationPart.empty()) ThrowFileError(fileName, "is not a presentation");

    ThvPresentationText presentation;
    std::vector<std::string> slideParts;
    {
        ThvXmlPart xml(package.ReadPart(presentationPart), fileName, presentationPart, limits);
        if (!Named(xml.Root(), "p:presentation")) ThrowFileError(fileName, "is not a presentation");
        std::unordered_map<std::string, ThvRelationship> relsById;
        for (ThvRelationship& rel : package.ReadRelationships(presentationPart)) {
            if (!rel.External && IsRelationshipType(rel.Type, "vbaProject") &&
                package.HasPart(rel.Target)) {
                presentation.HasVBProject = true;
            }
            relsById.emplace(rel.Id, std::move(rel));
        }
        for (pugi::xml_node id = xml.Root().child("p:sldIdLst").child("p:sldId"); id;
             id = id.next_sibling("p:sldId")) {
            auto rel = relsById.find(id.attribute("r:id").value());
            // An id without a slide behind it is no slide; PowerPoint drops it as well.
            if (rel == relsById.end() || rel->second.External ||
                !IsRelationshipType(rel->second.Type, "slide")) {
                continue;
            }
            if (slideParts.size() >= limits.MaxSlides) {
                ThrowFileRefused(fileName, "is refused: it lists more than " +
                                               std::to_string(limits.MaxSlides) + " slides");
            }
            slideParts.push_back(rel->second.Target);
        }
    }

    for (const std::string& slidePart : slideParts) {
        std::optional<std::vector<ThvRelationship>> slideRels;  // read when SmartArt asks
        ThvDiagramDataReader diagramData =
            [&](std::string_view relId) -> std::optional<ThvPartBytes> {
            if (!slideRels) slideRels = package.ReadRelationships(slidePart);
            for (const ThvRelationship& rel : *slideRels) {
                if (rel.Id == relId && !rel.External &&
                    IsRelationshipType(rel.Type, "diagramData") && package.HasPart(rel.Target)) {
                    return ThvPartBytes{rel.Target, package.ReadPart(rel.Target)};
                }
            }
            return std::nullopt;
        };
        presentation.Slides.push_back(
            ReadSlideText(package.ReadPart(slidePart), fileName, slidePart, diagramData, limits));
    }
    return presentation;
}
