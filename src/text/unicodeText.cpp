#include "text/unicodeText.h"


namespace {

// The bounds of the byte after a lead byte; every later byte of a character is 80..BF. These
// exclude overlong forms (E0 80..9F, F0 80..8F), surrogates (ED A0..BF) and values above
// U+10FFFF (F4 90..BF).
struct TLeadRule {
    int Trail;  // bytes after the lead; 0 for a byte that cannot begin a character
    unsigned char Low, High;
};

TLeadRule LeadRule(unsigned char c) {
    if (c >= 0xC2 && c <= 0xDF) return {1, 0x80, 0xBF};
    if (c == 0xE0) return {2, 0xA0, 0xBF};
    if (c == 0xED) return {2, 0x80, 0x9F};
    if (c >= 0xE1 && c <= 0xEF) return {2, 0x80, 0xBF};
    if (c == 0xF0) return {3, 0x90, 0xBF};
    if (c >= 0xF1 && c <= 0xF3) return {3, 0x80, 0xBF};
    if (c == 0xF4) return {3, 0x80, 0x8F};
    return {0, 0, 0};
}

}  // namespace

char32_t NextUtf8Character(std::string_view utf8, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(utf8[pos++]);
    if (lead < 0x80) return lead;
    const TLeadRule rule = LeadRule(lead);
    if (rule.Trail == 0) return kReplacementCharacter;
    char32_t value = lead & (0x3F >> rule.Trail);
    for (int i = 0; i < rule.Trail; ++i) {
        if (pos >= utf8.size()) return kReplacementCharacter;
        const auto c = static_cast<unsigned char>(utf8[pos]);
        const unsigned char low = i == 0 ? rule.Low : 0x80, high = i == 0 ? rule.High : 0xBF;
        // The byte that breaks the sequence is not part of it: it may begin the next character.
        if (c < low || c > high) return kReplacementCharacter;
        value = value << 6 | (c & 0x3F);
        ++pos;
    }
    return value;
}

void AppendUtf8(std::string& out, char32_t c) {
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacementCharacter;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsWellFormedUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const TLeadRule rule = LeadRule(*p);
        if (rule.Trail == 0 || end - p <= rule.Trail || p[1] < rule.Low || p[1] > rule.High) {
            return false;
        }
        for (int i = 2; i <= rule.Trail; ++i) {
            if (p[i] < 0x80 || p[i] > 0xBF) return false;
        }
        p += rule.Trail + 1;
    }
    return true;
}

std::string SanitizedUtf8(std::string_view text) {
    if (IsWellFormedUtf8(text)) return std::string(text);
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t pos = 0; pos < text.size();) AppendUtf8(out, NextUtf8Character(text, pos));
    return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    // Every UTF-8 byte gives at most one UTF-16 unit, a replaced one included.
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        const char32_t c = NextUtf8Character(utf8, pos);
        if (c < 0x10000) {
            out += static_cast<char16_t>(c);
        } else {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = utf16[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        }
        AppendUtf8(out, c);  // a lone surrogate becomes U+FFFD
    }
    return out;
}
