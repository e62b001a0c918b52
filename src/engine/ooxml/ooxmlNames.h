#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// What both XML readers of the engine share: the namespaces it reads, the prefixes it gives
// them, the bindings in scope, markup-compatibility choices, the conversion of UTF-16 parts
// and the refusals of the limits. Internal to the engine.

struct ThvNamespace {
    const char* Uri;
    const char* Prefix;
    bool Understood;  // an mc:Choice requiring it may be read
};

/// The namespace of a URI the engine reads, or nullptr.
const ThvNamespace* FindNamespace(std::string_view uri);

/// True for a prefix the engine gives one of its namespaces.
bool IsOurPrefix(std::string_view prefix);

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

    ThvLookup Lookup(std::string_view prefix) const {
        for (auto it = bindings_.rbegin(); it != bindings_.rend(); ++it) {
            if (it->Prefix == prefix) return {true, it->Namespace};
        }
        return {};
    }

    /// prefix must outlive the binding (it points into the part's bytes).
    void Bind(std::string_view prefix, std::string_view uri);

  private:
    struct ThvBinding {
        std::string_view Prefix;
        const ThvNamespace* Namespace;
        bool KeepsNames;
    };

    std::vector<ThvBinding> bindings_;
    std::size_t renaming_ = 0;
};

/// The canonical name for a qualified name in scope, or empty when it may stay as it is.
std::string CanonicalName(std::string_view name, const ThvNamespaceScope& scope, bool attribute);

/// True when every prefix of a Requires list is bound to a namespace the engine understands.
bool ChoiceUnderstood(std::string_view required, const ThvNamespaceScope& scope);

/// The part of a qualified name after its prefix.
std::string_view LocalName(std::string_view qualifiedName);

/// True when every namespace declaration in the raw bytes keeps names as they are, so that no
/// element or attribute of the part needs renaming. Read before parsing, from the text itself:
/// a declaration is an attribute, so white space precedes it. Anything unclear (text that only
/// looks like a declaration, an escaped namespace name) answers false, and the full walk
/// decides.
bool DeclarationsKeepNames(std::string_view bytes);

/// UTF-16 parts (legal, if rare) become UTF-8 first, so the scan sees one byte per markup
/// character and the parsers one encoding.
std::string AsUtf8(std::string bytes);

/// The refusals of the depth and element limits, naming file, part and the limit.
[[noreturn]] void RefuseDepth(std::string_view fileName, std::string_view partName,
                              std::size_t limit);
[[noreturn]] void RefuseSize(std::string_view fileName, std::string_view partName,
                             std::size_t limit);
