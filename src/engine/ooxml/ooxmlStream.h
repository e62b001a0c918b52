#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/engineLimits.h"
#include "engine/ooxml/ooxmlNames.h"

/// One XML part read front to back, token by token, without building a tree: the way slides
/// are read, since they are most of a file's XML. Names, namespaces and markup compatibility
/// as in ThvXmlPart: element and attribute names carry the fixed prefixes, an
/// mc:AlternateContent delivers only its kept branch (the others are read for well-formedness
/// but yield no tokens), white-space-only text is kept only where it is an element's sole
/// content. Every element counts against the limits' MaxXmlDepth and against an element limit
/// that grows with the part (ThvEngineLimits::StreamedXmlElements): no tree is kept.
/// Throws EhvError naming fileName and partName when the XML is not well formed or breaks a
/// limit; text outside the document element is ignored.
class ThvXmlStream {
  public:
    enum class Token { Start, End, Text, Done };

    ThvXmlStream(std::string bytes, std::string_view fileName, std::string_view partName,
                 const ThvEngineLimits& limits);

    ThvXmlStream(const ThvXmlStream&) = delete;
    ThvXmlStream& operator=(const ThvXmlStream&) = delete;

    /// The next token. An empty element gives Start and End.
    Token Next();

    /// After Start: the element's name; its attribute of the given name (escapes resolved;
    /// empty when it has none). Valid until the next call of Next or Attribute.
    std::string_view Name() const { return name_; }
    std::string_view Attribute(std::string_view name);

    /// After Text: the character data (escapes resolved, CDATA as written).
    std::string_view Text() const { return text_; }

    /// After Start: reads on past the element's End.
    void Skip();

  private:
    struct ThvFrame {
        std::string_view RawName;  // as written, for the end tag
        std::size_t ScopeMark;
        bool Block;        // an mc:AlternateContent: its children are branches
        bool Kept;         // a block whose branch has been chosen
        bool HasChild;     // for the white-space rule
        bool IgnoredRoot;  // the top of a branch that is not read
        bool Silent;       // its End is not delivered
    };
    struct ThvRawAttribute {
        std::string_view Name;
        std::string_view Value;
    };

    bool ReadStartTag();  // true when the element is delivered
    void PopFrame();
    std::string_view Decode(std::string_view raw, std::string& scratch);
    std::string_view CanonicalAttributeName(std::string_view raw);
    [[noreturn]] void Fail(int status);

    std::string bytes_;
    std::string_view fileName_;
    std::string_view partName_;
    std::size_t pos_ = 0;
    std::vector<ThvFrame> stack_;
    ThvNamespaceScope scope_;
    std::vector<ThvRawAttribute> attributes_;
    std::string_view name_;
    std::string nameStorage_;
    std::string_view text_;
    std::string textStorage_;
    std::string attributeStorage_;
    std::string attributeNameStorage_;
    std::size_t elements_ = 0;
    std::size_t maxDepth_;
    std::size_t maxElements_;
    std::size_t maxAttributes_;
    bool skipping_ = false;  // inside a branch that is not read
    bool quiet_ = false;     // inside an element being skipped
    bool pendingEnd_ = false;
    bool sawRoot_ = false;
    bool done_ = false;
};
