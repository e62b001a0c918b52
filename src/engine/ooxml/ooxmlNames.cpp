#include "engine/ooxml/ooxmlNames.h"

#include "engine/base/engineError.h"
#include "text/textEncoding.h"

namespace {

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Transitional and Strict URIs map to the same prefix, so the readers see one vocabulary.
constexpr ThvNamespace kNamespaces[] = {
    {"http://schemas.openxmlformats.org/presentationml/2006/main", "p", true},
    {"http://purl.oclc.org/ooxml/presentationml/main", "p", true},
    {"http://schemas.openxmlformats.org/drawingml/2006/main", "a", true},
    {"http://purl.oclc.org/ooxml/drawingml/main", "a", true},
    {"http://schemas.openxmlformats.org/officeDocument/2006/relationships", "r", true},
    {"http://purl.oclc.org/ooxml/officeDocument/relationships", "r", true},
    {"http://schemas.openxmlformats.org/drawingml/2006/diagram", "dgm", true},
    {"http://purl.oclc.org/ooxml/drawingml/diagram", "dgm", true},
    {"http://schemas.openxmlformats.org/drawingml/2006/chart", "c", true},
    {"http://purl.oclc.org/ooxml/drawingml/chart", "c", true},
    {"http://schemas.openxmlformats.org/markup-compatibility/2006", "mc", true},
    {"http://schemas.openxmlformats.org/officeDocument/2006/math", "m", true},
    {"http://purl.oclc.org/ooxml/officeDocument/math", "m", true},
    {"http://schemas.microsoft.com/office/drawing/2010/main", "a14", true},
    {"http://schemas.microsoft.com/office/powerpoint/2010/main", "p14", true},
    // Later extensions hold properties only; their choices carry the same text as the
    // fallback, so understanding them loses nothing and reads the newer form.
    {"http://schemas.microsoft.com/office/powerpoint/2012/main", "p15", true},
    {"http://schemas.microsoft.com/office/drawing/2012/main", "a15", true},
    {"http://schemas.microsoft.com/office/drawing/2014/main", "a16", true},
    // Threaded comments and their authors; read in parts of their own, never in slides.
    {"http://schemas.microsoft.com/office/powerpoint/2018/8/main", "p188", false},
};

std::string_view PrefixOf(std::string_view qualifiedName) {
    std::size_t colon = qualifiedName.find(':');
    return colon == std::string_view::npos ? std::string_view() : qualifiedName.substr(0, colon);
}

}  // namespace

const ThvNamespace* FindNamespace(std::string_view uri) {
    for (const ThvNamespace& ns : kNamespaces) {
        if (uri == ns.Uri) return &ns;
    }
    return nullptr;
}

bool IsOurPrefix(std::string_view prefix) {
    for (const ThvNamespace& ns : kNamespaces) {
        if (prefix == ns.Prefix) return true;
    }
    return false;
}

std::string_view LocalName(std::string_view qualifiedName) {
    std::size_t colon = qualifiedName.find(':');
    return colon == std::string_view::npos ? qualifiedName : qualifiedName.substr(colon + 1);
}

void ThvNamespaceScope::Bind(std::string_view prefix, std::string_view uri) {
    const ThvNamespace* ns = FindNamespace(uri);
    bool keeps = ns ? prefix == ns->Prefix : !IsOurPrefix(prefix);
    if (!keeps) ++renaming_;
    bindings_.push_back({prefix, ns, keeps});
}

std::string CanonicalName(std::string_view name, const ThvNamespaceScope& scope, bool attribute) {
    std::string_view prefix = PrefixOf(name);
    // Unprefixed attributes belong to no namespace and cannot collide with ours.
    if (attribute && prefix.empty()) return {};
    if (attribute && prefix == "xmlns") return {};
    ThvNamespaceScope::ThvLookup found = scope.Lookup(prefix);
    if (found.Namespace) {
        if (prefix == found.Namespace->Prefix) return {};
        return std::string(found.Namespace->Prefix) + ":" + std::string(LocalName(name));
    }
    // One of our prefixes bound to another namespace must not pass for ours; left undeclared
    // (a careless producer), it is taken for ours.
    if (found.Bound && !prefix.empty() && IsOurPrefix(prefix)) return "x-" + std::string(name);
    return {};
}

bool ChoiceUnderstood(std::string_view required, const ThvNamespaceScope& scope) {
    bool any = false;
    while (!required.empty()) {
        std::size_t start = required.find_first_not_of(" \t\r\n");
        if (start == std::string_view::npos) break;
        required.remove_prefix(start);
        std::size_t end = required.find_first_of(" \t\r\n");
        std::string_view prefix = required.substr(0, end);
        const ThvNamespace* ns = scope.Lookup(prefix).Namespace;
        if (!ns || !ns->Understood) return false;
        any = true;
        required.remove_prefix(end == std::string_view::npos ? required.size() : end);
    }
    return any;
}

bool DeclarationsKeepNames(std::string_view bytes) {
    for (std::size_t at = bytes.find("xmlns"); at != std::string_view::npos;
         at = bytes.find("xmlns", at + 5)) {
        if (at == 0 || !IsXmlSpace(bytes[at - 1])) continue;  // not an attribute's name
        std::size_t i = at + 5;
        std::string_view prefix;
        if (i < bytes.size() && bytes[i] == ':') {
            std::size_t end = i + 1;
            while (end < bytes.size() && !IsXmlSpace(bytes[end]) && bytes[end] != '=') ++end;
            prefix = bytes.substr(i + 1, end - i - 1);
            i = end;
        }
        while (i < bytes.size() && IsXmlSpace(bytes[i])) ++i;
        if (i >= bytes.size() || bytes[i] != '=') return false;
        ++i;
        while (i < bytes.size() && IsXmlSpace(bytes[i])) ++i;
        if (i >= bytes.size() || (bytes[i] != '"' && bytes[i] != '\'')) return false;
        const std::size_t close = bytes.find(bytes[i], i + 1);
        if (close == std::string_view::npos) return false;
        const std::string uri(bytes.substr(i + 1, close - i - 1));
        if (uri.find('&') != std::string::npos) return false;
        const ThvNamespace* ns = FindNamespace(uri);
        if (ns ? prefix != ns->Prefix : IsOurPrefix(prefix)) return false;
    }
    return true;
}

std::string AsUtf8(std::string bytes) {
    auto starts = [&bytes](std::string_view prefix) {
        return std::string_view(bytes).starts_with(prefix);
    };
    bool little = starts("\xFF\xFE") || starts(std::string_view("<\0", 2));
    bool big = starts("\xFE\xFF") || starts(std::string_view("\0<", 2));
    if (!little && !big) return bytes;
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        unsigned char first = static_cast<unsigned char>(bytes[2 * i]);
        unsigned char second = static_cast<unsigned char>(bytes[2 * i + 1]);
        units[i] = little ? char16_t(first | second << 8) : char16_t(first << 8 | second);
    }
    std::u16string_view text = units;
    if (!text.empty() && text[0] == u'\xFEFF') text.remove_prefix(1);
    return Utf16ToUtf8(text);
}

[[noreturn]] void RefuseDepth(std::string_view fileName, std::string_view partName,
                              std::size_t limit) {
    ThrowFileRefused(fileName, "is refused: its part \"" + std::string(partName) +
                                   "\" nests XML elements deeper than " + std::to_string(limit) +
                                   " levels");
}

[[noreturn]] void RefuseSize(std::string_view fileName, std::string_view partName,
                             std::size_t limit) {
    ThrowFileRefused(fileName, "is refused: its part \"" + std::string(partName) +
                                   "\" holds more than " + std::to_string(limit) + " XML elements");
}
