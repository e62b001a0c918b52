// The legacy code pages through the Win32 conversions, with the system's own tables.
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/base/codePage.h"
#include "platform/base/hvError.h"

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

// Names as ICU and the rich-text reader spell them, reduced by CodePageKey.
struct TNamedPage {
    const char* Key;
    UINT CodePage;
};
constexpr TNamedPage kNamedPages[] = {
    {"shiftjis", 932},    {"sjis", 932},        {"windows31j", 932}, {"gbk", 936},
    {"gb2312", 936},      {"euckr", 949},       {"big5", 950},       {"macintosh", 10000},
    {"macroman", 10000},  {"usascii", 20127},   {"ascii", 20127},    {"koi8r", 20866},
    {"koi8u", 21866},     {"eucjp", 20932},     {"tis620", 874},     {"gb18030", 54936},
    {"iso885915", 28605}, {"iso885913", 28603},
};

// "windows-1252", "cp1252", "ibm-037", "iso-8859-7" and the names above; 0 for none.
UINT CodePageNumber(std::string_view name) {
    const std::string key = CodePageKey(name);
    for (const TNamedPage& page : kNamedPages) {
        if (key == page.Key) return page.CodePage;
    }
    auto numberAfter = [&](std::string_view prefix) -> UINT {
        if (!key.starts_with(prefix) || key.size() == prefix.size() ||
            key.size() > prefix.size() + 5) {
            return 0;
        }
        UINT value = 0;
        for (char c : key.substr(prefix.size())) {
            if (c < '0' || c > '9') return 0;
            value = value * 10 + static_cast<UINT>(c - '0');
        }
        return value;
    };
    for (std::string_view prefix : {"windows", "cp", "ibm"}) {
        if (UINT number = numberAfter(prefix)) return number;
    }
    if (UINT part = numberAfter("iso8859"); part >= 1 && part <= 9) return 28590 + part;
    return 0;
}

UINT ValidCodePage(std::string_view name) {
    const UINT codePage = CodePageNumber(name);
    if (codePage == 0 || codePage == CP_UTF8 || !IsValidCodePage(codePage)) {
        throw EhvError("Unknown code page \"" + std::string(name) + "\"");
    }
    return codePage;
}

// The stateful and symbol pages accept no flags at all.
bool TakesNoFlags(UINT codePage) {
    return codePage == 42 || codePage == 65000 || (codePage >= 50220 && codePage <= 50229) ||
           (codePage >= 57002 && codePage <= 57011);
}

// A character beyond the Basic Multilingual Plane is two UTF-16 units, and the system replaces
// each unit (two "?" for one character); only GB18030 and UTF-7 hold such characters at all. One
// U+FFFD in its place becomes the page's one replacement character.
std::u16string OneUnitPerCharacter(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() &&
                          text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        out += pair ? u'\uFFFD' : text[i];
        if (pair) ++i;
    }
    return out;
}

int CheckedLength(std::size_t size) {
    if (size > static_cast<std::size_t>(INT32_MAX / 4))
        throw EhvError("Text is too long to convert");
    return static_cast<int>(size);
}

// One character's bytes decoded; false when they are not a character of the page.
bool DecodeCharacter(UINT codePage, std::string_view bytes, std::u16string& out) {
    wchar_t buffer[8];
    const int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(),
                                           static_cast<int>(bytes.size()), buffer, 8);
    if (length <= 0) return false;
    out.append(reinterpret_cast<const char16_t*>(buffer), static_cast<std::size_t>(length));
    return true;
}

// Without MB_ERR_INVALID_CHARS the system maps undefined bytes to characters of its own choice
// (private-use ones under Wine); with it a whole text fails for one bad byte. So a text that
// fails is decoded again one character at a time, and only the bad characters are replaced.
std::u16string DecodeByCharacter(UINT codePage, std::string_view bytes) {
    CPINFO info{};
    const UINT maxSize = GetCPInfo(codePage, &info) ? info.MaxCharSize : 1;
    std::u16string out;
    out.reserve(bytes.size());
    for (std::size_t pos = 0; pos < bytes.size();) {
        std::size_t taken = 0;
        if (maxSize == 2) {
            const bool lead = IsDBCSLeadByteEx(codePage, static_cast<BYTE>(bytes[pos]));
            const std::size_t size = lead && pos + 1 < bytes.size() ? 2 : 1;
            if (DecodeCharacter(codePage, bytes.substr(pos, size), out)) taken = size;
        } else {
            // Single-byte pages, and GB18030's sequences of up to four bytes: the shortest
            // that reads as a character.
            for (std::size_t size = 1; size <= maxSize && pos + size <= bytes.size(); ++size) {
                if (DecodeCharacter(codePage, bytes.substr(pos, size), out)) {
                    taken = size;
                    break;
                }
            }
        }
        if (taken == 0) {
            // A bad lead byte takes only itself: what follows may be a character of its own.
            out += kReplacement;
            taken = 1;
        }
        pos += taken;
    }
    return out;
}

}  // namespace

std::string SystemCodePage() {
    const UINT codePage = GetACP();
    if (codePage == CP_UTF8) return "UTF-8";
    return "windows-" + std::to_string(codePage);
}

std::string EncodeCodePage(std::u16string_view text, std::string_view codePage) {
    const UINT page = ValidCodePage(codePage);
    if (text.empty()) return {};
    // Without WC_NO_BEST_FIT_CHARS "α" becomes "a" on a Western page; with it every character
    // the page cannot hold becomes the page's default character ("?", or 0x6F in EBCDIC).
    const DWORD flags = TakesNoFlags(page) ? 0 : WC_NO_BEST_FIT_CHARS;
    std::u16string collapsed;
    if (page != 54936 && page != 65000) {
        collapsed = OneUnitPerCharacter(text);
        text = collapsed;
    }
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int wideLength = CheckedLength(text.size());
    const int size =
        WideCharToMultiByte(page, flags, wide, wideLength, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        throw EhvError("Cannot encode text in code page \"" + std::string(codePage) + "\"");
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(page, flags, wide, wideLength, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::u16string DecodeCodePage(std::string_view bytes, std::string_view codePage) {
    const UINT page = ValidCodePage(codePage);
    if (bytes.empty()) return {};
    const int length = CheckedLength(bytes.size());
    const DWORD flags = TakesNoFlags(page) ? 0 : MB_ERR_INVALID_CHARS;
    const int size = MultiByteToWideChar(page, flags, bytes.data(), length, nullptr, 0);
    if (size <= 0) {
        if (flags == 0) {
            throw EhvError("Cannot decode text in code page \"" + std::string(codePage) + "\"");
        }
        return DecodeByCharacter(page, bytes);
    }
    std::u16string text(static_cast<std::size_t>(size), u'\0');
    MultiByteToWideChar(page, flags, bytes.data(), length, reinterpret_cast<wchar_t*>(text.data()),
                        size);
    return text;
}
