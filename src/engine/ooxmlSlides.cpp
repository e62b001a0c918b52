#include "ooxmlSlides.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <unordered_map>

#include "engineError.h"
#include "engineLimits.h"
#include "ooxmlPackage.h"
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

void AppendCharacterData(const pugi::xml_node& element, std::string& out) {
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
            out += child.value();
        }
    }
}

/// A paragraph's text: runs, fields (their cached text), line breaks, math runs; properties
/// and ignored alternatives are not text. Walks by the tree's own links, without a stack: a
/// slide has thousands of paragraphs and the walk must cost no allocation.
std::string ParagraphText(const pugi::xml_node& paragraph) {
    std::string text;
    pugi::xml_node node = paragraph.first_child();
    while (node) {
        bool descend = false;
        if (node.type() == pugi::node_element) {
            const char* name = node.name();
            if (std::strcmp(name, "a:t") == 0 || std::strcmp(name, "m:t") == 0) {
                AppendCharacterData(node, text);
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

int ParagraphLevel(const pugi::xml_node& paragraph) {
    std::string_view value = paragraph.child("a:pPr").attribute("lvl").value();
    int level = 0;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), level);
    if (error != std::errc() || level < 0) return 0;
    return std::min(level, 8);
}

/// Paragraphs of a text body (p:txBody, a:txBody, dgm:t), skipping blank ones.
void AppendTextBody(const pugi::xml_node& body, int extraLevel, std::vector<ThvParagraph>& out) {
    for (pugi::xml_node paragraph = body.child("a:p"); paragraph;
         paragraph = paragraph.next_sibling("a:p")) {
        std::string text = ParagraphText(paragraph);
        if (IsBlank(text)) continue;
        out.push_back({std::min(ParagraphLevel(paragraph) + extraLevel, 8), std::move(text)});
    }
}

/// The first element of the given name among node's children, looking through kept
/// markup-compatibility branches.
pugi::xml_node FindChildThroughWrappers(const pugi::xml_node& node, const char* name) {
    std::vector<pugi::xml_node> stack{node.first_child()};
    while (!stack.empty()) {
        pugi::xml_node child = stack.back();
        if (!child) {
            stack.pop_back();
            continue;
        }
        stack.back() = child.next_sibling();
        if (Named(child, name)) return child;
        if (child.type() == pugi::node_element && IsCompatibilityWrapper(child.name())) {
            stack.push_back(child.first_child());
        }
    }
    return {};
}

void AppendTable(const pugi::xml_node& table, std::vector<ThvParagraph>& out) {
    for (pugi::xml_node row = table.child("a:tr"); row; row = row.next_sibling("a:tr")) {
        std::string rowText;
        bool firstCell = true;
        for (pugi::xml_node cell = row.child("a:tc"); cell; cell = cell.next_sibling("a:tc")) {
            // A merged area's text lives in its first cell; the others repeat nothing.
            if (XmlTrue(cell.attribute("hMerge")) || XmlTrue(cell.attribute("vMerge"))) continue;
            if (!firstCell) rowText += '\t';
            firstCell = false;
            std::vector<ThvParagraph> cellParagraphs;
            AppendTextBody(cell.child("a:txBody"), 0, cellParagraphs);
            for (std::size_t i = 0; i < cellParagraphs.size(); ++i) {
                if (i > 0) rowText += '\n';
                rowText += cellParagraphs[i].Text;
            }
        }
        if (!IsBlank(rowText)) out.push_back({0, std::move(rowText)});
    }
}

class ThvSlideReader {
  public:
    ThvSlideReader(std::string_view fileName, const ThvDiagramDataReader& diagramData)
        : fileName_(fileName), diagramData_(diagramData) {}

    ThvSlideText Read(const pugi::xml_node& slide) {
        pugi::xml_node tree = slide.child("p:cSld").child("p:spTree");
        std::vector<pugi::xml_node> stack{tree.first_child()};
        while (!stack.empty()) {
            pugi::xml_node node = stack.back();
            if (!node) {
                stack.pop_back();
                continue;
            }
            stack.back() = node.next_sibling();
            if (node.type() != pugi::node_element) continue;
            const char* name = node.name();
            if (std::strcmp(name, "p:sp") == 0) {
                ReadShape(node);
            } else if (std::strcmp(name, "p:graphicFrame") == 0) {
                ReadGraphicFrame(node);
            } else if (std::strcmp(name, "p:grpSp") == 0 || IsCompatibilityWrapper(name)) {
                stack.push_back(node.first_child());
            }
        }
        return std::move(text_);
    }

  private:
    void ReadShape(const pugi::xml_node& shape) {
        pugi::xml_node placeholder = shape.child("p:nvSpPr").child("p:nvPr").child("p:ph");
        std::string_view type = placeholder.attribute("type").value();
        pugi::xml_node body = shape.child("p:txBody");
        if (placeholder && (type == "title" || type == "ctrTitle") && !text_.HasTitle) {
            text_.HasTitle = true;
            std::vector<ThvParagraph> paragraphs;
            AppendTextBody(body, 0, paragraphs);
            for (std::size_t i = 0; i < paragraphs.size(); ++i) {
                if (i > 0) text_.Title += '\n';
                text_.Title += paragraphs[i].Text;
            }
            return;
        }
        AppendTextBody(body, 0, text_.Body);
    }

    void ReadGraphicFrame(const pugi::xml_node& frame) {
        pugi::xml_node data = frame.child("a:graphic").child("a:graphicData");
        if (pugi::xml_node table = FindChildThroughWrappers(data, "a:tbl")) {
            AppendTable(table, text_.Body);
            return;
        }
        pugi::xml_node diagram = FindChildThroughWrappers(data, "dgm:relIds");
        std::string_view relId = diagram.attribute("r:dm").value();
        if (!diagram || relId.empty() || !diagramData_) return;
        std::optional<ThvPartBytes> part = diagramData_(relId);
        if (!part) return;
        std::vector<ThvParagraph> nodes =
            ReadDiagramText(std::move(part->Bytes), fileName_, part->Name);
        text_.Body.insert(text_.Body.end(), std::make_move_iterator(nodes.begin()),
                          std::make_move_iterator(nodes.end()));
    }

    std::string_view fileName_;
    const ThvDiagramDataReader& diagramData_;
    ThvSlideText text_;
};

}  // namespace

ThvSlideText ReadSlideText(std::string bytes, std::string_view fileName, std::string_view partName,
                           const ThvDiagramDataReader& diagramData) {
    ThvXmlPart xml(std::move(bytes), fileName, partName);
    if (!Named(xml.Root(), "p:sld")) {
        ThrowFileError(fileName,
                       "is damaged: its part \"" + std::string(partName) + "\" is not a slide");
    }
    return ThvSlideReader(fileName, diagramData).Read(xml.Root());
}

std::vector<ThvParagraph> ReadDiagramText(std::string bytes, std::string_view fileName,
                                          std::string_view partName) {
    ThvXmlPart xml(std::move(bytes), fileName, partName);
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
        ThvXmlPart xml(package.ReadPart(presentationPart), fileName, presentationPart);
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
            if (slideParts.size() >= ThvEngineLimits::MaxSlides) {
                ThrowFileError(fileName, "is refused: it lists more than " +
                                             std::to_string(ThvEngineLimits::MaxSlides) +
                                             " slides");
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
            ReadSlideText(package.ReadPart(slidePart), fileName, slidePart, diagramData));
    }
    return presentation;
}
