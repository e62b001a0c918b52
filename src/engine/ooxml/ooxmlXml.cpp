#include "engine/ooxml/ooxmlXml.h"

#include <cstring>
#include <vector>

#include "engine/base/engineError.h"
#include "engine/ooxml/ooxmlNames.h"

namespace {

/// Binds the namespace declarations of an element.
void Declare(ThvNamespaceScope& scope, const pugi::xml_node& element) {
    for (pugi::xml_attribute attr = element.first_attribute(); attr; attr = attr.next_attribute()) {
        const char* name = attr.name();
        if (name[0] != 'x' || std::strncmp(name, "xmlns", 5) != 0) continue;
        if (name[5] == '\0') {
            scope.Bind(std::string_view(), attr.value());
        } else if (name[5] == ':' && name[6] != '\0') {
            scope.Bind(std::string_view(name + 6), attr.value());
        }
    }
}

void Rename(pugi::xml_node& element, const ThvNamespaceScope& scope) {
    if (scope.KeepsNames()) return;
    std::string name = CanonicalName(element.name(), scope, false);
    if (!name.empty()) element.set_name(name.c_str());
    for (pugi::xml_attribute attr = element.first_attribute(); attr; attr = attr.next_attribute()) {
        std::string attrName = CanonicalName(attr.name(), scope, true);
        if (!attrName.empty()) attr.set_name(attrName.c_str());
    }
}

/// Keeps one branch of an mc:AlternateContent whose children are already renamed.
void ResolveAlternateContent(pugi::xml_node& block, ThvNamespaceScope& scope) {
    bool kept = false;
    for (pugi::xml_node child = block.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element) continue;
        std::size_t mark = scope.Mark();
        Declare(scope, child);
        Rename(child, scope);
        std::string_view name = child.name();
        bool keep = !kept && ((name == "mc:Choice" &&
                               ChoiceUnderstood(child.attribute("Requires").value(), scope)) ||
                              name == "mc:Fallback");
        scope.Release(mark);
        if (keep) {
            kept = true;
        } else {
            child.set_name("mc:Ignored");
        }
    }
}

}  // namespace

bool XmlTrue(std::string_view value) { return value == "1" || value == "true" || value == "on"; }

ThvXmlShape ScanXmlShape(std::string_view bytes) {
    ThvXmlShape shape;
    std::size_t depth = 0;
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    auto skipPast = [&](std::string_view terminator) {
        std::size_t found = bytes.find(terminator, i);
        i = found == std::string_view::npos ? n : found + terminator.size();
    };
    while ((i = bytes.find('<', i)) != std::string_view::npos) {
        std::string_view rest = bytes.substr(i);
        if (rest.starts_with("<!--")) {
            skipPast("-->");
        } else if (rest.starts_with("<![CDATA[")) {
            skipPast("]]>");
        } else if (rest.starts_with("<?")) {
            skipPast("?>");
        } else if (rest.starts_with("<!")) {
            skipPast(">");
        } else if (rest.starts_with("</")) {
            if (depth > 0) --depth;
            skipPast(">");
        } else {
            ++shape.Elements;
            std::size_t j = i + 1;
            char quote = 0;
            for (; j < n; ++j) {
                char c = bytes[j];
                if (quote) {
                    if (c == quote) quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    break;
                }
            }
            if (j < n && bytes[j - 1] != '/') {
                ++depth;
                if (depth > shape.MaxDepth) shape.MaxDepth = depth;
            }
            i = j < n ? j + 1 : n;
        }
    }
    return shape;
}

ThvXmlPart::ThvXmlPart(std::string bytes, std::string_view fileName, std::string_view partName,
                       const ThvEngineLimits& limits)
    : bytes_(AsUtf8(std::move(bytes))) {
    if (bytes_.size() > limits.XmlScanAboveBytes) {
        ThvXmlShape shape = ScanXmlShape(bytes_);
        if (shape.MaxDepth > limits.MaxXmlDepth)
            RefuseDepth(fileName, partName, limits.MaxXmlDepth);
        if (shape.Elements > limits.MaxXmlElements)
            RefuseSize(fileName, partName, limits.MaxXmlElements);
    }
    // Whitespace-only text is kept only where it is an element's sole content: "<a:t> </a:t>"
    // is a real space, indentation between elements is not.
    // No end-of-line normalisation: a carriage return left in text is dropped as a control
    // character when written, and the scan for it costs on every part.
    // Looked at before parsing in place changes the bytes.
    const bool keepsNames = DeclarationsKeepNames(bytes_);
    const bool hasBlocks = bytes_.find("AlternateContent") != std::string::npos ||
                           bytes_.find("Ignored") != std::string::npos;
    constexpr unsigned options =
        pugi::parse_cdata | pugi::parse_escapes | pugi::parse_ws_pcdata_single;
    pugi::xml_parse_result result =
        doc_.load_buffer_inplace(bytes_.data(), bytes_.size(), options, pugi::encoding_utf8);
    if (!result) {
        ThrowFileError(fileName, "is damaged: its part \"" + std::string(partName) +
                                     "\" is not well-formed XML (" + result.description() +
                                     " at offset " + std::to_string(result.offset) + ")");
    }
    if (!Root()) {
        ThrowFileError(fileName,
                       "is damaged: its part \"" + std::string(partName) + "\" holds no XML");
    }
    if (keepsNames)
        CheckAndResolve(fileName, partName, limits, hasBlocks);
    else
        Normalize(fileName, partName, limits);
}

void ThvXmlPart::CheckAndResolve(std::string_view fileName, std::string_view partName,
                                 const ThvEngineLimits& limits, bool hasBlocks) {
    auto firstElement = [](pugi::xml_node node) {
        while (node && node.type() != pugi::node_element) node = node.next_sibling();
        return node;
    };
    const pugi::xml_node root = Root();
    std::size_t elements = 0;
    std::size_t depth = 1;
    pugi::xml_node element = root;
    while (element) {
        bool descend = true;
        if (hasBlocks) {
            const char* name = element.name();
            if (name[0] == 'm' && std::strcmp(name, "mc:Ignored") == 0) {
                descend = false;
            } else if (name[0] == 'm' && std::strcmp(name, "mc:AlternateContent") == 0) {
                // Names need no change here, so the scope is needed only now: the bindings of
                // the block and of every element above it.
                std::vector<pugi::xml_node> line;
                for (pugi::xml_node up = element; up; up = up.parent()) {
                    if (up.type() == pugi::node_element) line.push_back(up);
                }
                ThvNamespaceScope scope;
                for (auto it = line.rbegin(); it != line.rend(); ++it) Declare(scope, *it);
                ResolveAlternateContent(element, scope);
            }
        }
        if (descend) {
            // The same limits, counted the same way, as the full walk.
            if (depth > limits.MaxXmlDepth) RefuseDepth(fileName, partName, limits.MaxXmlDepth);
            if (++elements > limits.MaxXmlElements)
                RefuseSize(fileName, partName, limits.MaxXmlElements);
            if (pugi::xml_node child = firstElement(element.first_child())) {
                element = child;
                ++depth;
                continue;
            }
        }
        // Climb until a following element, never above the root.
        pugi::xml_node next;
        while (element != root && !(next = firstElement(element.next_sibling()))) {
            element = element.parent();
            --depth;
        }
        if (element == root) break;
        element = next;
    }
}

void ThvXmlPart::Normalize(std::string_view fileName, std::string_view partName,
                           const ThvEngineLimits& limits) {
    // Document order without recursion: each frame is an element whose subtree is being walked,
    // with the scope mark to restore when it is left.
    struct ThvFrame {
        pugi::xml_node Next;  // next child of this level still to visit
        std::size_t Mark;
        bool InAlternateContent;  // the children of this level are the branches of a block
    };
    ThvNamespaceScope scope;
    std::size_t elements = 0;
    std::vector<ThvFrame> stack;
    stack.push_back({Root(), 0, false});
    while (!stack.empty()) {
        ThvFrame& frame = stack.back();
        pugi::xml_node element = frame.Next;
        if (!element) {
            scope.Release(frame.Mark);
            stack.pop_back();
            continue;
        }
        frame.Next = element.next_sibling();
        if (element.type() != pugi::node_element) continue;
        std::size_t mark = scope.Mark();
        Declare(scope, element);
        // The branches of an alternate-content block were named when the block was resolved.
        if (!frame.InAlternateContent) Rename(element, scope);
        const char* name = element.name();
        if (name[0] == 'm' && std::strcmp(name, "mc:Ignored") == 0) {
            scope.Release(mark);
            continue;
        }
        bool block = name[0] == 'm' && std::strcmp(name, "mc:AlternateContent") == 0;
        if (block) ResolveAlternateContent(element, scope);
        // The scan guards memory; these guard every later walk of the tree.
        if (stack.size() > limits.MaxXmlDepth) RefuseDepth(fileName, partName, limits.MaxXmlDepth);
        if (++elements > limits.MaxXmlElements)
            RefuseSize(fileName, partName, limits.MaxXmlElements);
        stack.push_back({element.first_child(), mark, block});
    }
}
