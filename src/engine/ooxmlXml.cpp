#include "ooxmlXml.h"

#include <array>
#include <cstring>
#include <vector>

#include "engineError.h"
#include "engineLimits.h"
#include "textEncoding.h"

namespace {

struct ThvNamespace {
    const char* Uri;
    const char* Prefix;
    bool Understood;  // an mc:Choice requiring it may be read
};

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
};

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

std::string_view PrefixOf(std::string_view qualifiedName) {
    std::size_t colon = qualifiedName.find(':');
    return colon == std::string_view::npos ? std::string_view() : qualifiedName.substr(0, colon);
}

}  // namespace

/// Prefix bindings in scope during a document-order walk. A declaration binds a prefix to a
/// known namespace or to nothing (nullptr: a namespace the engine does not read). While every
/// binding in scope keeps names as they are (our prefixes to our namespaces, other prefixes to
/// other namespaces: what nearly every file does), no name needs to change, and the walk skips
/// the per-name work.
class ThvNamespaceScope {
  public:
    struct ThvLookup {
        bool Bound = false;
        const ThvNamespace* Namespace = nullptr;
    };

    std::size_t Mark() const { return bindings_.size(); }

    void Release(std::size_t mark) {
        for (std::size_t i = mark; i < bindings_.size(); ++i) {
            if (!bindings_[i].KeepsNames) --renaming_;
        }
        bindings_.resize(mark);
    }

    bool KeepsNames() const { return renaming_ == 0; }

    void Declare(const pugi::xml_node& element) {
        for (pugi::xml_attribute attr = element.first_attribute(); attr;
             attr = attr.next_attribute()) {
            const char* name = attr.name();
            if (name[0] != 'x' || std::strncmp(name, "xmlns", 5) != 0) continue;
            if (name[5] == '\0') {
                Bind(std::string_view(), attr.value());
            } else if (name[5] == ':' && name[6] != '\0') {
                Bind(std::string_view(name + 6), attr.value());
            }
        }
    }

    ThvLookup Lookup(std::string_view prefix) const {
        for (auto it = bindings_.rbegin(); it != bindings_.rend(); ++it) {
            if (it->Prefix == prefix) return {true, it->Namespace};
        }
        return {};
    }

    /// prefix must outlive the binding (it points into the part's bytes).
    void Bind(std::string_view prefix, std::string_view uri) {
        const ThvNamespace* ns = FindNamespace(uri);
        bool keeps = ns ? prefix == ns->Prefix : !IsOurPrefix(prefix);
        if (!keeps) ++renaming_;
        bindings_.push_back({prefix, ns, keeps});
    }

  private:
    struct ThvBinding {
        std::string_view Prefix;
        const ThvNamespace* Namespace;
        bool KeepsNames;
    };

    std::vector<ThvBinding> bindings_;
    std::size_t renaming_ = 0;
};

namespace {

/// The canonical name for a qualified name in scope, or empty when it may stay as it is.
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

void Rename(pugi::xml_node& element, const ThvNamespaceScope& scope) {
    if (scope.KeepsNames()) return;
    std::string name = CanonicalName(element.name(), scope, false);
    if (!name.empty()) element.set_name(name.c_str());
    for (pugi::xml_attribute attr = element.first_attribute(); attr; attr = attr.next_attribute()) {
        std::string attrName = CanonicalName(attr.name(), scope, true);
        if (!attrName.empty()) attr.set_name(attrName.c_str());
    }
}

/// True when every prefix of a Requires list is bound to a namespace the engine understands.
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

/// Keeps one branch of an mc:AlternateContent whose children are already renamed.
void ResolveAlternateContent(pugi::xml_node& block, ThvNamespaceScope& scope) {
    bool kept = false;
    for (pugi::xml_node child = block.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element) continue;
        std::size_t mark = scope.Mark();
        scope.Declare(child);
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

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

/// True when every namespace declaration in the raw bytes keeps names as they are, so that no
/// element or attribute of the part needs renaming. Read before parsing, from the text itself:
/// a declaration is an attribute, so white space precedes it. Anything unclear (text that only
/// looks like a declaration, an escaped namespace name) answers false, and the full walk
/// decides.
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

}  // namespace

std::string_view LocalName(std::string_view qualifiedName) {
    std::size_t colon = qualifiedName.find(':');
    return colon == std::string_view::npos ? qualifiedName : qualifiedName.substr(colon + 1);
}

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

namespace {

/// UTF-16 parts (legal, if rare) become UTF-8 first, so the scan sees one byte per markup
/// character and the parser one encoding.
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

[[noreturn]] void RefuseDepth(std::string_view fileName, std::string_view partName) {
    ThrowFileError(fileName, "is refused: its part \"" + std::string(partName) +
                                 "\" nests XML elements deeper than " +
                                 std::to_string(ThvEngineLimits::MaxXmlDepth) + " levels");
}

[[noreturn]] void RefuseSize(std::string_view fileName, std::string_view partName) {
    ThrowFileError(fileName, "is refused: its part \"" + std::string(partName) +
                                 "\" holds more than " +
                                 std::to_string(ThvEngineLimits::MaxXmlElements) + " XML elements");
}

}  // namespace

ThvXmlPart::ThvXmlPart(std::string bytes, std::string_view fileName, std::string_view partName)
    : bytes_(AsUtf8(std::move(bytes))) {
    if (bytes_.size() > ThvEngineLimits::XmlScanAboveBytes) {
        ThvXmlShape shape = ScanXmlShape(bytes_);
        if (shape.MaxDepth > ThvEngineLimits::MaxXmlDepth) RefuseDepth(fileName, partName);
        if (shape.Elements > ThvEngineLimits::MaxXmlElements) RefuseSize(fileName, partName);
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
        CheckAndResolve(fileName, partName, hasBlocks);
    else
        Normalize(fileName, partName);
}

void ThvXmlPart::CheckAndResolve(std::string_view fileName, std::string_view partName,
                                 bool hasBlocks) {
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
                for (auto it = line.rbegin(); it != line.rend(); ++it) scope.Declare(*it);
                ResolveAlternateContent(element, scope);
            }
        }
        if (descend) {
            // The same limits, counted the same way, as the full walk.
            if (depth > ThvEngineLimits::MaxXmlDepth) RefuseDepth(fileName, partName);
            if (++elements > ThvEngineLimits::MaxXmlElements) RefuseSize(fileName, partName);
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

void ThvXmlPart::Normalize(std::string_view fileName, std::string_view partName) {
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
        scope.Declare(element);
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
        if (stack.size() > ThvEngineLimits::MaxXmlDepth) RefuseDepth(fileName, partName);
        if (++elements > ThvEngineLimits::MaxXmlElements) RefuseSize(fileName, partName);
        stack.push_back({element.first_child(), mark, block});
    }
}

namespace {

// Character classes of the tokenizer, one table look-up per byte.
constexpr unsigned char kSpace = 1, kNameEnd = 2;
constexpr std::array<unsigned char, 256> kCharClass = [] {
    std::array<unsigned char, 256> table{};
    for (unsigned char c : {' ', '\t', '\r', '\n'}) table[c] = kSpace | kNameEnd;
    for (unsigned char c : {'/', '>', '=', '\0'}) table[c] = kNameEnd;
    return table;
}();

bool IsSpace(char c) { return kCharClass[static_cast<unsigned char>(c)] & kSpace; }
bool IsNameEnd(char c) { return kCharClass[static_cast<unsigned char>(c)] & kNameEnd; }

void AppendUtf8(std::string& out, unsigned long code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// One entity or character reference at the start of text ("&..."): its length and what it
// stands for, or 0 when it is none, in which case the "&" stays as written.
std::size_t ReadReference(std::string_view text, std::string& out) {
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&apos;", '\''}, {"&quot;", '"'}};
    for (const auto& [entity, character] : kEntities) {
        if (text.starts_with(entity)) {
            out += character;
            return entity.size();
        }
    }
    if (!text.starts_with("&#")) return 0;
    const bool hex = text.size() > 2 && text[2] == 'x';
    std::size_t i = hex ? 3 : 2;
    unsigned long code = 0;
    const std::size_t first = i;
    for (; i < text.size() && i < first + 8; ++i) {
        const char c = text[i];
        int digit = c >= '0' && c <= '9' ? c - '0' : -1;
        if (hex && digit < 0 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (hex && digit < 0 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) break;
        code = code * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
    }
    if (i == first || i >= text.size() || text[i] != ';' || code > 0x10FFFF) return 0;
    AppendUtf8(out, code);
    return i + 1;
}

}  // namespace

ThvXmlStream::ThvXmlStream(std::string bytes, std::string_view fileName, std::string_view partName)
    : bytes_(AsUtf8(std::move(bytes))),
      fileName_(fileName),
      partName_(partName),
      scope_(std::make_unique<ThvNamespaceScope>()) {
    if (std::string_view(bytes_).starts_with("\xEF\xBB\xBF")) pos_ = 3;
}

ThvXmlStream::~ThvXmlStream() = default;

void ThvXmlStream::Fail(int status) {
    pugi::xml_parse_result result;
    result.status = static_cast<pugi::xml_parse_status>(status);
    ThrowFileError(fileName_, "is damaged: its part \"" + std::string(partName_) +
                                  "\" is not well-formed XML (" + result.description() +
                                  " at offset " + std::to_string(pos_) + ")");
}

std::string_view ThvXmlStream::Decode(std::string_view raw, std::string& scratch) {
    std::size_t amp = raw.find('&');
    if (amp == std::string_view::npos) return raw;
    scratch.assign(raw.substr(0, amp));
    while (amp < raw.size()) {
        std::size_t used = ReadReference(raw.substr(amp), scratch);
        if (used == 0) {
            scratch += '&';
            used = 1;
        }
        std::size_t next = raw.find('&', amp + used);
        if (next == std::string_view::npos) next = raw.size();
        scratch.append(raw.substr(amp + used, next - amp - used));
        amp = next;
    }
    return scratch;
}

std::string_view ThvXmlStream::CanonicalAttributeName(std::string_view raw) {
    if (scope_->KeepsNames()) return raw;
    attributeNameStorage_ = CanonicalName(raw, *scope_, true);
    return attributeNameStorage_.empty() ? raw : std::string_view(attributeNameStorage_);
}

std::string_view ThvXmlStream::Attribute(std::string_view name) {
    for (const ThvRawAttribute& attribute : attributes_) {
        if (CanonicalAttributeName(attribute.Name) == name)
            return Decode(attribute.Value, attributeStorage_);
    }
    return {};
}

void ThvXmlStream::PopFrame() {
    scope_->Release(stack_.back().ScopeMark);
    if (stack_.back().IgnoredRoot) skipping_ = false;
    stack_.pop_back();
}

void ThvXmlStream::Skip() {
    // Only the element's own End comes back: everything inside it is silent.
    quiet_ = true;
    const std::size_t depth = stack_.size();
    while (stack_.size() >= depth) {
        if (Next() == Token::Done) break;
    }
    quiet_ = false;
}

ThvXmlStream::Token ThvXmlStream::Next() {
    if (pendingEnd_) {
        pendingEnd_ = false;
        PopFrame();
        return Token::End;
    }
    const std::string_view bytes = bytes_;
    const std::size_t n = bytes.size();
    while (!done_) {
        if (pos_ >= n) {
            done_ = true;
            if (!stack_.empty()) Fail(pugi::status_end_element_mismatch);
            if (!sawRoot_) Fail(pugi::status_no_document_element);
            break;
        }
        if (bytes[pos_] != '<') {
            const std::size_t mark = pos_;
            std::size_t end = bytes.find('<', pos_);
            if (end == std::string_view::npos) end = n;
            pos_ = end;
            if (stack_.empty()) continue;  // outside the document element
            ThvFrame& parent = stack_.back();
            const std::string_view raw = bytes.substr(mark, end - mark);
            bool blank = true;
            for (char c : raw) {
                if (!IsSpace(c)) {
                    blank = false;
                    break;
                }
            }
            // Only white space: kept where it is the element's sole content.
            if (blank && (parent.HasChild || end + 1 >= n || bytes[end + 1] != '/')) continue;
            parent.HasChild = true;
            if (quiet_ || skipping_) continue;
            text_ = Decode(raw, textStorage_);
            return Token::Text;
        }
        const char kind = pos_ + 1 < n ? bytes[pos_ + 1] : '\0';
        if (kind != '!' && kind != '?' && kind != '/') {
            if (ReadStartTag()) return Token::Start;
            continue;
        }
        const std::string_view rest = bytes.substr(pos_);
        if (rest.starts_with("<!--")) {
            const std::size_t end = bytes.find("-->", pos_ + 4);
            if (end == std::string_view::npos) Fail(pugi::status_bad_comment);
            pos_ = end + 3;
        } else if (rest.starts_with("<![CDATA[")) {
            const std::size_t end = bytes.find("]]>", pos_ + 9);
            if (end == std::string_view::npos) Fail(pugi::status_bad_cdata);
            const std::string_view raw = bytes.substr(pos_ + 9, end - pos_ - 9);
            pos_ = end + 3;
            if (stack_.empty()) continue;
            stack_.back().HasChild = true;
            if (quiet_ || skipping_) continue;
            text_ = raw;
            return Token::Text;
        } else if (rest.starts_with("<?")) {
            const std::size_t end = bytes.find("?>", pos_ + 2);
            if (end == std::string_view::npos) Fail(pugi::status_bad_pi);
            pos_ = end + 2;
        } else if (rest.starts_with("<!")) {
            // A document type declaration, its internal subset in brackets.
            std::size_t i = pos_ + 2, brackets = 0;
            for (; i < n; ++i) {
                if (bytes[i] == '[') ++brackets;
                if (bytes[i] == ']' && brackets > 0) --brackets;
                if (bytes[i] == '>' && brackets == 0) break;
            }
            if (i >= n || stack_.size() > 0) Fail(pugi::status_bad_doctype);
            pos_ = i + 1;
        } else {  // "</"
            std::size_t i = pos_ + 2;
            while (i < n && !IsNameEnd(bytes[i])) ++i;
            const std::string_view raw = bytes.substr(pos_ + 2, i - pos_ - 2);
            while (i < n && IsSpace(bytes[i])) ++i;
            if (i >= n || bytes[i] != '>') Fail(pugi::status_bad_end_element);
            if (stack_.empty() || stack_.back().RawName != raw)
                Fail(pugi::status_end_element_mismatch);
            pos_ = i + 1;
            const bool silent = stack_.back().Silent;
            PopFrame();
            if (!silent) return Token::End;
        }
    }
    return Token::Done;
}

bool ThvXmlStream::ReadStartTag() {
    // The string's terminating NUL stops every scan: no bounds check per byte.
    const char* const base = bytes_.data();
    const char* const end = base + bytes_.size();
    const char* p = base + pos_ + 1;
    while (!IsNameEnd(*p)) ++p;
    const std::string_view raw(base + pos_ + 1, static_cast<std::size_t>(p - base - pos_ - 1));
    if (raw.empty()) Fail(pugi::status_bad_start_element);
    // Inside an element being skipped or a branch not read, nothing is delivered: the tag is
    // only checked, and its names and attributes are not looked at.
    const bool silent = quiet_ || skipping_;
    if (!silent) attributes_.clear();
    bool empty = false, declares = false;
    for (;;) {
        const char* const before = p;
        while (IsSpace(*p)) ++p;
        if (*p == '>') break;
        if (*p == '/') {
            if (p[1] != '>') Fail(pugi::status_bad_start_element);
            empty = true;
            ++p;
            break;
        }
        if (p >= end) Fail(pugi::status_bad_start_element);
        // Attributes are set apart by white space.
        if (p == before) Fail(pugi::status_bad_attribute);
        const char* const name = p;
        while (!IsNameEnd(*p)) ++p;
        const std::size_t nameLength = static_cast<std::size_t>(p - name);
        while (IsSpace(*p)) ++p;
        if (nameLength == 0 || *p != '=') Fail(pugi::status_bad_attribute);
        ++p;
        while (IsSpace(*p)) ++p;
        const char quote = *p;
        if (quote != '"' && quote != '\'') Fail(pugi::status_bad_attribute);
        const auto* close = static_cast<const char*>(
            std::memchr(p + 1, quote, static_cast<std::size_t>(end - p - 1)));
        if (close == nullptr) Fail(pugi::status_bad_attribute);
        if (!silent) {
            attributes_.push_back({std::string_view(name, nameLength),
                                   std::string_view(p + 1, static_cast<std::size_t>(close - p - 1))});
            declares = declares || *name == 'x';
        }
        p = close + 1;
    }
    pos_ = static_cast<std::size_t>(p - base) + 1;
    sawRoot_ = true;

    if (stack_.size() + 1 > ThvEngineLimits::MaxXmlDepth) RefuseDepth(fileName_, partName_);
    if (++elements_ > ThvEngineLimits::MaxXmlElements) RefuseSize(fileName_, partName_);
    if (!stack_.empty()) stack_.back().HasChild = true;
    const std::size_t mark = scope_->Mark();
    if (silent) {
        if (!empty) stack_.push_back({raw, mark, false, false, false, false, true});
        return false;
    }

    if (declares) {
        for (const ThvRawAttribute& attribute : attributes_) {
            const std::string_view name = attribute.Name;
            if (!name.starts_with("xmlns")) continue;
            if (name.size() == 5) {
                scope_->Bind({}, Decode(attribute.Value, attributeStorage_));
            } else if (name[5] == ':' && name.size() > 6) {
                scope_->Bind(name.substr(6), Decode(attribute.Value, attributeStorage_));
            }
        }
    }
    name_ = raw;
    if (!scope_->KeepsNames()) {
        nameStorage_ = CanonicalName(raw, *scope_, false);
        if (!nameStorage_.empty()) name_ = nameStorage_;
    }

    bool ignored = false;
    if (!stack_.empty() && stack_.back().Block) {
        ThvFrame& block = stack_.back();
        const bool keep =
            !block.Kept &&
            ((name_ == "mc:Choice" && ChoiceUnderstood(Attribute("Requires"), *scope_)) ||
             name_ == "mc:Fallback");
        if (keep)
            block.Kept = true;
        else
            ignored = true;
    }
    stack_.push_back({raw, mark, name_ == "mc:AlternateContent", false, false, ignored, ignored});
    if (ignored) {
        skipping_ = true;
        if (empty) PopFrame();
        return false;
    }
    if (empty) pendingEnd_ = true;
    return true;
}
