#include "text/textEncoding.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/base/codePage.h"
#include "platform/base/hvError.h"
#include "text/unicodeText.h"

namespace {

std::mutex pinnedMutex;
std::string pinnedCodePage;  // guarded by pinnedMutex

enum class TUnicodeForm { None, Utf8, Utf16Le, Utf16Be };

// The Unicode forms are converted here, alike on every platform; only the legacy code pages go
// to the platform's tables.
TUnicodeForm UnicodeForm(std::string_view codePage) {
    const std::string key = CodePageKey(codePage);
    if (key == "utf8") return TUnicodeForm::Utf8;
    if (key == "utf16le") return TUnicodeForm::Utf16Le;
    if (key == "utf16be") return TUnicodeForm::Utf16Be;
    return TUnicodeForm::None;
}

std::string Utf16Bytes(std::u16string_view text, bool bigEndian) {
    std::string bytes(text.size() * 2, '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto high = static_cast<char>(text[i] >> 8), low = static_cast<char>(text[i] & 0xFF);
        bytes[2 * i] = bigEndian ? high : low;
        bytes[2 * i + 1] = bigEndian ? low : high;
    }
    return bytes;
}

std::u16string Utf16FromBytes(std::string_view bytes, bool bigEndian) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        const auto first = static_cast<unsigned char>(bytes[2 * i]);
        const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
        units[i] = static_cast<char16_t>(bigEndian ? (first << 8 | second) : (second << 8 | first));
    }
    // A byte left over is half a character.
    if (bytes.size() % 2 != 0) units.push_back(kReplacementCharacter);
    return units;
}

}  // namespace

std::string AnsiCodePage() {
    {
        std::lock_guard<std::mutex> lock(pinnedMutex);
        if (!pinnedCodePage.empty()) return pinnedCodePage;
    }
    return SystemCodePage();
}

void SetAnsiCodePage(const std::string& name) {
    std::lock_guard<std::mutex> lock(pinnedMutex);
    pinnedCodePage = name;
}

std::string EncodeText(std::string_view utf8, std::string_view codePage) {
    switch (UnicodeForm(codePage)) {
        case TUnicodeForm::Utf8:
            return SanitizedUtf8(utf8);
        case TUnicodeForm::Utf16Le:
            return Utf16Bytes(Utf8ToUtf16(utf8), false);
        case TUnicodeForm::Utf16Be:
            return Utf16Bytes(Utf8ToUtf16(utf8), true);
        case TUnicodeForm::None:
            break;
    }
    return EncodeCodePage(Utf8ToUtf16(utf8), codePage);
}

std::string DecodeText(std::string_view bytes, std::string_view codePage) {
    switch (UnicodeForm(codePage)) {
        case TUnicodeForm::Utf8:
            return SanitizedUtf8(bytes);
        case TUnicodeForm::Utf16Le:
            return Utf16ToUtf8(Utf16FromBytes(bytes, false));
        case TUnicodeForm::Utf16Be:
            return Utf16ToUtf8(Utf16FromBytes(bytes, true));
        case TUnicodeForm::None:
            break;
    }
    return Utf16ToUtf8(DecodeCodePage(bytes, codePage));
}

bool CodePageHolds(std::string_view utf8, std::string_view codePage) {
    if (UnicodeForm(codePage) == TUnicodeForm::Utf8) return IsWellFormedUtf8(utf8);
    return DecodeText(EncodeText(utf8, codePage), codePage) == utf8;
}

std::size_t UnheldCharacters(std::string_view utf8, std::string_view codePage) {
    if (UnicodeForm(codePage) != TUnicodeForm::None) return 0;
    // A text repeats few characters many times: each is looked up in the code page once.
    std::unordered_map<char32_t, bool> held;
    std::size_t unheld = 0;
    for (std::size_t pos = 0; pos < utf8.size();) {
        const std::size_t start = pos;
        const char32_t character = NextUtf8Character(utf8, pos);
        if (character < 0x80) continue;  // every code page of a system holds ASCII
        const auto [known, added] = held.try_emplace(character, false);
        if (added) known->second = CodePageHolds(utf8.substr(start, pos - start), codePage);
        if (!known->second) ++unheld;
    }
    return unheld;
}

std::string EncodeAnsi(std::string_view utf8) { return EncodeText(utf8, AnsiCodePage()); }

std::string DecodeAnsi(std::string_view bytes) { return DecodeText(bytes, AnsiCodePage()); }

std::string EncodeAnsiOrUtf8(std::string_view utf8) {
    const std::string page = AnsiCodePage();
    std::string bytes = EncodeText(utf8, page);
    if (UnicodeForm(page) == TUnicodeForm::Utf8 || DecodeText(bytes, page) == utf8) return bytes;
    return "\xEF\xBB\xBF" + std::string(utf8);
}

ThvBomEncoding DetectBom(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) return {"UTF-8", 3};
    if (bytes.starts_with("\xFF\xFE")) return {"UTF-16LE", 2};
    if (bytes.starts_with("\xFE\xFF")) return {"UTF-16BE", 2};
    return {};
}

std::string DecodeWithBom(std::string_view bytes) {
    const ThvBomEncoding bom = DetectBom(bytes);
    if (bom.MarkLength == 0) return DecodeAnsi(bytes);
    return DecodeText(bytes.substr(bom.MarkLength), bom.CodePage);
}

std::string CodePageKey(std::string_view name) {
    std::string key;
    for (char c : name) {
        if (c >= 'A' && c <= 'Z') {
            key += static_cast<char>(c - 'A' + 'a');
        } else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            key += c;
        }
    }
    return key;
}
