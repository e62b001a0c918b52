// Unicode full case folding from a table generated at build time from the system's
// CaseFolding.txt, so that "ignoring case" means the same on every platform (Windows has no full
// folding of its own: LCMapStringEx leaves "ß" as it is).
#include <algorithm>
#include <iterator>
#include <string>

#include "text/textEncoding.h"
#include "text/unicodeText.h"

namespace {

struct TFolding {
    char32_t From;
    char32_t To[3];  // zero-padded
};

constexpr TFolding kFoldings[] = {
#include "caseFoldingTable.inc"
};

static_assert(std::size(kFoldings) > 1000, "the case folding table is incomplete");

bool IsAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

void AppendFolded(std::string& out, char32_t c) {
    const TFolding* found =
        std::lower_bound(std::begin(kFoldings), std::end(kFoldings), c,
                         [](const TFolding& entry, char32_t value) { return entry.From < value; });
    if (found == std::end(kFoldings) || found->From != c) {
        AppendUtf8(out, c);
        return;
    }
    for (char32_t to : found->To) {
        if (to != 0) AppendUtf8(out, to);
    }
}

}  // namespace

std::string FoldCase(std::string_view utf8) {
    std::string folded;
    folded.reserve(utf8.size());
    // Folding maps ASCII only within ASCII; option names and most paths are ASCII.
    if (IsAscii(utf8)) {
        for (char c : utf8) folded += AsciiLower(c);
        return folded;
    }
    for (std::size_t pos = 0; pos < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[pos]);
        if (byte < 0x80) {
            folded += AsciiLower(static_cast<char>(byte));
            ++pos;
        } else {
            AppendFolded(folded, NextUtf8Character(utf8, pos));
        }
    }
    return folded;
}

bool SameText(std::string_view a, std::string_view b) {
    // Only when both are ASCII: "\u212A" (the Kelvin sign) and "k" are the same text too.
    if (IsAscii(a) && IsAscii(b)) {
        return a.size() == b.size() &&
               std::equal(a.begin(), a.end(), b.begin(),
                          [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
    }
    return FoldCase(a) == FoldCase(b);
}

bool ContainsText(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return true;
    // Matching bytes of folded UTF-8 cannot start inside a character: UTF-8 lead and trail bytes
    // never look alike.
    return FoldCase(haystack).find(FoldCase(needle)) != std::string::npos;
}
