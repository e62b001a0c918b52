#include "engine/ooxml/ooxmlStream.h"

#include <array>
#include <cstring>
#include <pugixml.hpp>

#include "engine/base/engineError.h"
#include "engine/ooxml/ooxmlNames.h"

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

ThvXmlStream::ThvXmlStream(std::string bytes, std::string_view fileName, std::string_view partName,
                           const ThvEngineLimits& limits)
    : bytes_(AsUtf8(std::move(bytes))),
      fileName_(fileName),
      partName_(partName),
      maxDepth_(limits.MaxXmlDepth),
      maxElements_(limits.StreamedXmlElements(bytes_.size())),
      maxAttributes_(limits.MaxXmlAttributes) {
    if (std::string_view(bytes_).starts_with("\xEF\xBB\xBF")) pos_ = 3;
}

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
    if (scope_.KeepsNames()) return raw;
    attributeNameStorage_ = CanonicalName(raw, scope_, true);
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
    scope_.Release(stack_.back().ScopeMark);
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
            if (attributes_.size() == maxAttributes_) {
                ThrowFileRefused(fileName_, "is refused: its part \"" + std::string(partName_) +
                                                "\" has an XML element with more than " +
                                                std::to_string(maxAttributes_) + " attributes");
            }
            attributes_.push_back(
                {std::string_view(name, nameLength),
                 std::string_view(p + 1, static_cast<std::size_t>(close - p - 1))});
            declares = declares || *name == 'x';
        }
        p = close + 1;
    }
    pos_ = static_cast<std::size_t>(p - base) + 1;
    sawRoot_ = true;

    if (stack_.size() + 1 > maxDepth_) RefuseDepth(fileName_, partName_, maxDepth_);
    if (++elements_ > maxElements_) RefuseSize(fileName_, partName_, maxElements_);
    if (!stack_.empty()) stack_.back().HasChild = true;
    const std::size_t mark = scope_.Mark();
    if (silent) {
        if (!empty) stack_.push_back({raw, mark, false, false, false, false, true});
        return false;
    }

    if (declares) {
        for (const ThvRawAttribute& attribute : attributes_) {
            const std::string_view name = attribute.Name;
            if (!name.starts_with("xmlns")) continue;
            if (name.size() == 5) {
                scope_.Bind({}, Decode(attribute.Value, attributeStorage_));
            } else if (name[5] == ':' && name.size() > 6) {
                scope_.Bind(name.substr(6), Decode(attribute.Value, attributeStorage_));
            }
        }
    }
    name_ = raw;
    if (!scope_.KeepsNames()) {
        nameStorage_ = CanonicalName(raw, scope_, false);
        if (!nameStorage_.empty()) name_ = nameStorage_;
    }

    bool ignored = false;
    if (!stack_.empty() && stack_.back().Block) {
        ThvFrame& block = stack_.back();
        const bool keep =
            !block.Kept &&
            ((name_ == "mc:Choice" && ChoiceUnderstood(Attribute("Requires"), scope_)) ||
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
