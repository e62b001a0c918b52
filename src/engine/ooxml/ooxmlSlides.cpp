#include "engine/ooxml/ooxmlSlides.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <unordered_map>
#include <utility>

#include "engine/base/engineError.h"
#include "engine/base/engineLimits.h"
#include "engine/ooxml/ooxmlPackage.h"
#include "engine/ooxml/ooxmlStream.h"
#include "engine/ooxml/ooxmlXml.h"

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
        out.push_back({std::min(level + extraLevel, 8), std::move(text), ThvTextKind::Diagram});
    }
}

/// Reads one slide part token by token. Each Read... function is called on an element's Start
/// and returns after its End; where the tree reader took "the first child named X", so does
/// this one, and text order is document order.
class ThvSlideReader {
  public:
    using Token = ThvXmlStream::Token;

    ThvSlideReader(ThvXmlStream& xml, std::string_view fileName, std::string_view partName,
                   const ThvRelatedText& related, const ThvSlideReading& reading)
        : xml_(xml),
          fileName_(fileName),
          partName_(partName),
          related_(related),
          reading_(reading) {}

    ThvSlideText Read() {
        const std::string_view root = reading_.Notes ? "p:notes" : "p:sld";
        if (xml_.Next() != Token::Start || xml_.Name() != root) {
            ThrowFileError(fileName_,
                           "is damaged: its part \"" + std::string(partName_) +
                               (reading_.Notes ? "\" is not a notes page" : "\" is not a slide"));
        }
        // show="0": the slide show passes over the slide.
        const std::string_view show = xml_.Attribute("show");
        text_.Hidden = !show.empty() && !XmlTrue(show);
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
            } else if (name == "p:pic" && reading_.Pictures) {
                FirstChild("p:nvPicPr", [&] { ReadDescription(); });
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
        // Notes stand in the page's body placeholder, or, in converted decks, in text boxes. Its
        // other placeholders are the slide's picture, the page's number, date, header and
        // footer; a box that holds only a number is the page's number too.
        if (reading_.Notes &&
            ((placeholder && type != "body" && !type.empty()) || IsNumberOnly(paragraphs))) {
            return;
        }
        if (!reading_.Notes && placeholder && (type == "title" || type == "ctrTitle") &&
            !text_.HasTitle) {
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
        bool seenProperties = false, seenGraphic = false;
        Children([&](std::string_view name) {
            if (name == "p:nvGraphicFramePr" && reading_.Pictures &&
                !std::exchange(seenProperties, true)) {
                ReadDescription();
            } else if (name == "a:graphic" && !std::exchange(seenGraphic, true)) {
                FirstChild("a:graphicData", [&] { ReadGraphicData(); });
            } else {
                xml_.Skip();
            }
        });
    }

    /// The description (alternative text) of a picture or frame, from the non-visual
    /// properties it is called on, as a paragraph of its own in document order.
    void ReadDescription() {
        FirstChild("p:cNvPr", [&] {
            std::string description(xml_.Attribute("descr"));
            xml_.Skip();
            if (!IsBlank(description))
                text_.Body.push_back({0, std::move(description), ThvTextKind::Picture});
        });
    }

    // A table wins over a diagram or a chart wherever each stands among the (kept)
    // alternatives; the first of those wins over the other.
    void ReadGraphicData() {
        bool table = false;
        std::vector<ThvParagraph> rows;
        std::string relId, kind;
        std::function<void()> search = [&] {
            Children([&](std::string_view name) {
                if (name == "a:tbl" && !table) {
                    table = true;
                    ReadTable(rows);
                } else if (name == "dgm:relIds" && kind.empty()) {
                    kind = "diagramData";
                    relId = xml_.Attribute("r:dm");
                    xml_.Skip();
                } else if (name == "c:chart" && kind.empty()) {
                    kind = "chart";
                    relId = xml_.Attribute("r:id");
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
            const std::uint32_t frame = ++frames_;
            for (ThvParagraph& row : rows) row.Frame = frame;
            std::move(rows.begin(), rows.end(), std::back_inserter(text_.Body));
            return;
        }
        if (kind.empty() || relId.empty() || !related_) return;
        std::vector<ThvParagraph> texts = related_(relId, kind);
        const std::uint32_t frame = ++frames_;
        for (ThvParagraph& text : texts) text.Frame = frame;
        std::move(texts.begin(), texts.end(), std::back_inserter(text_.Body));
    }

    void ReadTable(std::vector<ThvParagraph>& out) {
        Children([&](std::string_view name) {
            if (name != "a:tr") return xml_.Skip();
            ThvParagraph row{0, {}, ThvTextKind::TableRow};
            bool firstCell = true;
            Children([&](std::string_view child) {
                // A merged area's text lives in its first cell; the others repeat nothing.
                if (child != "a:tc" || XmlTrue(xml_.Attribute("hMerge")) ||
                    XmlTrue(xml_.Attribute("vMerge"))) {
                    return xml_.Skip();
                }
                if (!std::exchange(firstCell, false)) {
                    row.CellEnds.push_back(static_cast<std::uint32_t>(row.Text.size()));
                    row.Text += '\t';
                }
                std::vector<ThvParagraph> cellParagraphs;
                FirstChild("a:txBody", [&] { ReadTextBody(0, cellParagraphs); });
                for (std::size_t i = 0; i < cellParagraphs.size(); ++i) {
                    if (i > 0) row.Text += '\n';
                    row.Text += cellParagraphs[i].Text;
                }
            });
            if (!firstCell) row.CellEnds.push_back(static_cast<std::uint32_t>(row.Text.size()));
            if (!IsBlank(row.Text)) out.push_back(std::move(row));
        });
    }

    ThvXmlStream& xml_;
    std::string_view fileName_;
    std::string_view partName_;
    const ThvRelatedText& related_;
    const ThvSlideReading reading_;
    ThvSlideText text_;
    std::uint32_t frames_ = 0;
};

}  // namespace

ThvSlideText ReadSlideText(std::string bytes, std::string_view fileName, std::string_view partName,
                           const ThvRelatedText& related, const ThvEngineLimits& limits,
                           const ThvSlideReading& reading) {
    ThvXmlStream xml(std::move(bytes), fileName, partName, limits);
    return ThvSlideReader(xml, fileName, partName, related, reading).Read();
}

std::vector<ThvParagraph> ReadNotesText(std::string bytes, std::string_view fileName,
                                        std::string_view partName, const ThvEngineLimits& limits) {
    return ReadSlideText(std::move(bytes), fileName, partName, {}, limits, {.Notes = true}).Body;
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

std::vector<ThvParagraph> ReadChartText(std::string bytes, std::string_view fileName,
                                        std::string_view partName, const ThvEngineLimits& limits) {
    ThvXmlPart xml(std::move(bytes), fileName, partName, limits);
    std::vector<ThvParagraph> out;
    const pugi::xml_node space = xml.Root();
    if (!Named(space, "c:chartSpace")) return out;
    const pugi::xml_node chart = space.child("c:chart");
    ThvTextKind kind = ThvTextKind::ChartTitle;
    const auto add = [&out, &kind](std::string text) {
        if (!IsBlank(text)) out.push_back({0, std::move(text), kind});
    };
    // A cache holds its points by index; only the points it holds are text.
    const auto cachedPoints = [&add](const pugi::xml_node& cache) {
        std::vector<std::pair<long long, std::string>> points;
        for (pugi::xml_node pt = cache.child("c:pt"); pt; pt = pt.next_sibling("c:pt")) {
            points.emplace_back(pt.attribute("idx").as_llong(), pt.child_value("c:v"));
        }
        std::stable_sort(points.begin(), points.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto& point : points) add(std::move(point.second));
    };
    // A title, or a series name: rich text of its own, or a reference with its cached text.
    const auto addText = [&](const pugi::xml_node& tx) {
        if (const pugi::xml_node rich = tx.child("c:rich")) {
            for (pugi::xml_node p = rich.child("a:p"); p; p = p.next_sibling("a:p")) {
                add(ParagraphText(p));
            }
        } else if (const pugi::xml_node ref = tx.child("c:strRef")) {
            cachedPoints(ref.child("c:strCache"));
        } else if (const pugi::xml_node value = tx.child("c:v")) {
            add(value.child_value());
        }
    };
    // Titles without text of their own are made up when the chart is drawn: not read.
    addText(chart.child("c:title").child("c:tx"));
    kind = ThvTextKind::Chart;
    const pugi::xml_node plot = chart.child("c:plotArea");
    for (pugi::xml_node axis = plot.first_child(); axis; axis = axis.next_sibling()) {
        const std::string_view name = axis.name();
        if (name == "c:catAx" || name == "c:valAx" || name == "c:dateAx" || name == "c:serAx") {
            addText(axis.child("c:title").child("c:tx"));
        }
    }
    bool categories = false;
    std::vector<pugi::xml_node> labelled;
    for (pugi::xml_node group = plot.first_child(); group; group = group.next_sibling()) {
        for (pugi::xml_node series = group.child("c:ser"); series;
             series = series.next_sibling("c:ser")) {
            addText(series.child("c:tx"));
            if (!categories && series.child("c:cat")) {
                categories = true;
                labelled.push_back(series.child("c:cat"));
            }
        }
    }
    for (const pugi::xml_node& cat : labelled) {
        if (const pugi::xml_node ref = cat.child("c:strRef")) {
            cachedPoints(ref.child("c:strCache"));
        } else if (const pugi::xml_node literal = cat.child("c:strLit")) {
            cachedPoints(literal);
        } else if (const pugi::xml_node multi = cat.child("c:multiLvlStrRef")) {
            for (pugi::xml_node level = multi.child("c:multiLvlStrCache").child("c:lvl"); level;
                 level = level.next_sibling("c:lvl")) {
                cachedPoints(level);
            }
        }
    }
    return out;
}

void ReadCommentAuthors(std::string bytes, std::string_view fileName, std::string_view partName,
                        ThvCommentAuthors& authors, const ThvEngineLimits& limits) {
    ThvXmlPart xml(std::move(bytes), fileName, partName, limits);
    const pugi::xml_node root = xml.Root();
    const bool classic = Named(root, "p:cmAuthorLst");
    if (!classic && !Named(root, "p188:authorLst")) return;
    for (pugi::xml_node author = root.child(classic ? "p:cmAuthor" : "p188:author"); author;
         author = author.next_sibling(classic ? "p:cmAuthor" : "p188:author")) {
        authors.try_emplace(author.attribute("id").value(), author.attribute("name").value());
    }
}

std::vector<ThvComment> ReadCommentsText(std::string bytes, std::string_view fileName,
                                         std::string_view partName,
                                         const ThvCommentAuthors& authors,
                                         const ThvEngineLimits& limits) {
    ThvXmlPart xml(std::move(bytes), fileName, partName, limits);
    std::vector<ThvComment> comments;
    const auto add = [&](const pugi::xml_node& comment, std::string text) {
        if (IsBlank(text)) return;
        const auto author = authors.find(comment.attribute("authorId").value());
        comments.push_back(
            {author == authors.end() ? std::string() : author->second, std::move(text)});
    };
    // A modern comment's text body, its paragraphs one line each.
    const auto bodyText = [](const pugi::xml_node& body) {
        std::string text;
        for (pugi::xml_node paragraph = body.child("a:p"); paragraph;
             paragraph = paragraph.next_sibling("a:p")) {
            if (paragraph != body.child("a:p")) text += '\n';
            text += ParagraphText(paragraph);
        }
        return text;
    };
    const pugi::xml_node root = xml.Root();
    if (Named(root, "p:cmLst")) {
        for (pugi::xml_node comment = root.child("p:cm"); comment;
             comment = comment.next_sibling("p:cm")) {
            add(comment, comment.child("p:text").text().get());
        }
    } else if (Named(root, "p188:cmLst")) {
        // A thread: the comment, then its replies in their order.
        for (pugi::xml_node comment = root.child("p188:cm"); comment;
             comment = comment.next_sibling("p188:cm")) {
            add(comment, bodyText(comment.child("p188:txBody")));
            for (pugi::xml_node reply = comment.child("p188:replyLst").child("p188:reply"); reply;
                 reply = reply.next_sibling("p188:reply")) {
                add(reply, bodyText(reply.child("p188:txBody")));
            }
        }
    }
    return comments;
}

namespace {

/// The phrase of a failure without its verb, for a note: "its part ... is missing".
std::string Phrase(const EhvFileError& error) { return WhatIsDamaged(error.What()); }

/// The slide parts by their names (ppt/slides/slide7.xml), in the order of their numbers.
std::vector<std::string> SlidePartsByName(const ThvOoxmlPackage& package) {
    std::vector<std::pair<unsigned long, std::string>> numbered;
    for (const std::string& name : package.PartNames()) {
        std::string lower = name;
        for (char& c : lower) c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        constexpr std::string_view kPrefix = "ppt/slides/slide", kSuffix = ".xml";
        std::string_view rest = lower;
        if (rest.starts_with('/')) rest.remove_prefix(1);
        if (!rest.starts_with(kPrefix) || !rest.ends_with(kSuffix)) continue;
        rest = rest.substr(kPrefix.size(), rest.size() - kPrefix.size() - kSuffix.size());
        unsigned long number = 0;
        const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), number);
        if (error != std::errc() || end != rest.data() + rest.size() || rest.empty()) continue;
        numbered.emplace_back(number, name);
    }
    std::sort(numbered.begin(), numbered.end());
    std::vector<std::string> parts;
    for (auto& [number, name] : numbered) parts.push_back(std::move(name));
    return parts;
}

/// The slide parts in the order of the presentation part's slide list. Empty optional when the
/// package holds no presentation part (the part it names is of another kind).
std::optional<std::vector<std::string>> ListedSlides(ThvOoxmlPackage& package,
                                                     ThvPresentationText& presentation,
                                                     std::vector<std::string>& authorParts) {
    const std::string& fileName = package.FileName();
    const ThvEngineLimits& limits = package.Limits();
    std::string presentationPart;
    for (const ThvRelationship& rel : package.ReadRelationships("")) {
        if (!rel.External && IsRelationshipType(rel.Type, "officeDocument")) {
            presentationPart = rel.Target;
            break;
        }
    }
    if (presentationPart.empty()) {
        // The package relationships are missing, or name no main part: the presentation part
        // may still stand where PowerPoint puts it.
        if (!package.HasPart("ppt/presentation.xml")) return std::nullopt;
        presentationPart = "ppt/presentation.xml";
    }
    ThvXmlPart xml(package.ReadPart(presentationPart), fileName, presentationPart, limits);
    if (!Named(xml.Root(), "p:presentation")) return std::nullopt;
    std::unordered_map<std::string, ThvRelationship> relsById;
    for (ThvRelationship& rel : package.ReadRelationships(presentationPart)) {
        if (!rel.External && IsRelationshipType(rel.Type, "vbaProject") &&
            package.HasPart(rel.Target)) {
            presentation.HasVBProject = true;
        }
        // Classic comments name their authors in one part, threaded comments in another.
        if (!rel.External && (IsRelationshipType(rel.Type, "commentAuthors") ||
                              IsRelationshipType(rel.Type, "authors")))
            authorParts.push_back(rel.Target);
        relsById.emplace(rel.Id, std::move(rel));
    }
    std::vector<std::string> slideParts;
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
    return slideParts;
}

/// A slide's notes and comments, through the slide's own relationships: its notes page and
/// its comment parts, whatever their names. Each part that is damaged costs what it holds,
/// and salvaged says so.
void ReadNotesAndComments(ThvOoxmlPackage& package, const std::string& slidePart,
                          std::optional<std::vector<ThvRelationship>>& slideRels,
                          const ThvContentChoice& content, const ThvCommentAuthors& authors,
                          const std::string& slide, ThvSlideText& text,
                          std::vector<std::string>& salvaged) {
    const std::string& fileName = package.FileName();
    const ThvEngineLimits& limits = package.Limits();
    const auto lose = [&](std::string_view what, const EhvFileError& error) {
        salvaged.push_back(slide + " loses its " + std::string(what) + ": " + Phrase(error));
    };
    try {
        if (!slideRels) slideRels = package.ReadRelationships(slidePart);
    } catch (const EhvFileRefused&) {
        throw;
    } catch (const EhvFileError& error) {
        lose(content.Notes && content.Comments ? "notes and comments"
             : content.Notes                   ? "notes"
                                               : "comments",
             error);
        return;
    }
    bool notesRead = false;
    for (const ThvRelationship& rel : *slideRels) {
        if (rel.External) continue;
        const bool notes = IsRelationshipType(rel.Type, "notesSlide");
        const bool comments = IsRelationshipType(rel.Type, "comments");
        // A slide has one notes page; a second relationship to one is not the slide's.
        if (!(notes && content.Notes && !std::exchange(notesRead, true)) &&
            !(comments && content.Comments)) {
            continue;
        }
        try {
            std::string bytes = package.ReadPart(rel.Target);
            if (notes) {
                text.Notes = ReadNotesText(std::move(bytes), fileName, rel.Target, limits);
            } else {
                std::vector<ThvComment> read =
                    ReadCommentsText(std::move(bytes), fileName, rel.Target, authors, limits);
                std::move(read.begin(), read.end(), std::back_inserter(text.Comments));
            }
        } catch (const EhvFileRefused&) {
            throw;
        } catch (const EhvFileError& error) {
            lose(notes ? "notes" : "comments", error);
        }
    }
}

}  // namespace

ThvPresentationText ReadOoxmlPresentation(ThvOoxmlPackage& package,
                                          const ThvContentChoice& content) {
    const std::string& fileName = package.FileName();
    const ThvEngineLimits& limits = package.Limits();
    ThvPresentationText presentation;
    if (package.Salvaged()) {
        presentation.Salvaged.push_back("its zip directory is damaged (" + package.SalvageReason() +
                                        "): its parts were read from their local headers");
    }

    std::optional<std::vector<std::string>> listed;
    std::vector<std::string> authorParts;
    std::string damage;
    try {
        listed = ListedSlides(package, presentation, authorParts);
    } catch (const EhvFileRefused&) {
        throw;
    } catch (const EhvFileError& error) {
        damage = Phrase(error);
    }
    // A broken zip may keep its presentation part and lose the relationships that lead to the
    // slides: listing none then says nothing of the deck, so its slides go by their names.
    if (listed && listed->empty() && package.Salvaged()) {
        listed.reset();
        damage = "its presentation part leads to no slide left in the package";
    }
    std::vector<std::string> slideParts;
    if (listed) {
        slideParts = std::move(*listed);
    } else {
        // Slides by their names: their order is all that is not read from the file.
        slideParts = SlidePartsByName(package);
        if (slideParts.empty()) {
            if (!damage.empty()) ThrowFileError(fileName, "is damaged: " + damage);
            // What is left of a broken zip that names no presentation is no proof it was none.
            if (package.Salvaged()) {
                ThrowFileError(fileName, "is damaged: its zip directory is damaged (" +
                                             package.SalvageReason() +
                                             ") and no presentation is left in it");
            }
            ThrowFileError(fileName, "is not a presentation");
        }
        if (slideParts.size() > limits.MaxSlides) {
            ThrowFileRefused(fileName, "is refused: it holds more than " +
                                           std::to_string(limits.MaxSlides) + " slides");
        }
        presentation.Salvaged.push_back(
            (damage.empty() ? std::string("its package names no presentation part") : damage) +
            ": its slides were taken in the order of their part names");
    }

    ThvCommentAuthors authors;
    if (content.Comments) {
        for (const std::string& part : authorParts) {
            try {
                ReadCommentAuthors(package.ReadPart(part), fileName, part, authors, limits);
            } catch (const EhvFileRefused&) {
                throw;
            } catch (const EhvFileError& error) {
                presentation.Salvaged.push_back("its comments lose their authors' names: " +
                                                Phrase(error));
            }
        }
    }
    const ThvSlideReading reading{.Pictures = content.Pictures};

    std::size_t lost = 0, textBytes = 0;
    std::string firstLoss;
    // A chart or diagram part is read once per file, however many frames show it: its text,
    // or why its text is lost.
    struct TRelatedPart {
        std::vector<ThvParagraph> Text;
        std::string Lost;
    };
    std::map<std::string, TRelatedPart, std::less<>> relatedParts;
    for (std::size_t i = 0; i < slideParts.size(); ++i) {
        const std::string& slidePart = slideParts[i];
        const std::string slide = "slide " + std::to_string(i + 1);
        std::optional<std::vector<ThvRelationship>> slideRels;  // read when asked for
        ThvRelatedText related = [&](std::string_view relId,
                                     std::string_view kind) -> std::vector<ThvParagraph> {
            const auto lose = [&](const std::string& why) {
                presentation.Salvaged.push_back(slide + " loses the text of a " +
                                                std::string(kind == "chart" ? "chart" : "diagram") +
                                                ": " + why);
            };
            try {
                if (!slideRels) slideRels = package.ReadRelationships(slidePart);
                for (const ThvRelationship& rel : *slideRels) {
                    if (rel.Id != relId || rel.External || !IsRelationshipType(rel.Type, kind)) {
                        continue;
                    }
                    const std::string key = std::string(kind) + ":" + rel.Target;
                    if (const auto read = relatedParts.find(key); read != relatedParts.end()) {
                        if (!read->second.Lost.empty()) lose(read->second.Lost);
                        return read->second.Text;
                    }
                    TRelatedPart& part = relatedParts[key];
                    try {
                        // A part the slide names but the package lacks is damage like any other.
                        std::string bytes = package.ReadPart(rel.Target);
                        part.Text =
                            kind == "chart"
                                ? ReadChartText(std::move(bytes), fileName, rel.Target, limits)
                                : ReadDiagramText(std::move(bytes), fileName, rel.Target, limits);
                    } catch (const EhvFileRefused&) {
                        throw;
                    } catch (const EhvFileError& error) {
                        part.Lost = Phrase(error);
                        throw;
                    }
                    return part.Text;
                }
            } catch (const EhvFileRefused&) {
                throw;
            } catch (const EhvFileError& error) {
                lose(Phrase(error));
            }
            return {};
        };
        try {
            presentation.Slides.push_back(ReadSlideText(package.ReadPart(slidePart), fileName,
                                                        slidePart, related, limits, reading));
        } catch (const EhvFileRefused&) {
            throw;
        } catch (const EhvFileError& error) {
            // The slide stays in its place, empty, so the others keep their numbers.
            presentation.Slides.emplace_back();
            presentation.Salvaged.push_back(slide + " is lost: " + Phrase(error));
            if (lost++ == 0) firstLoss = error.What();
            continue;
        }
        if (content.Notes || content.Comments) {
            ReadNotesAndComments(package, slidePart, slideRels, content, authors, slide,
                                 presentation.Slides.back(), presentation.Salvaged);
        }
        textBytes += TextBytes(presentation.Slides.back());
        if (textBytes > limits.MaxTextBytes) {
            ThrowFileRefused(fileName, "is refused: its text is longer than " +
                                           std::to_string(limits.MaxTextBytes) + " bytes");
        }
    }
    // Nothing intact to read is no presentation to convert.
    if (lost > 0 && lost == slideParts.size()) ThrowFileError(fileName, firstLoss);
    return presentation;
}
