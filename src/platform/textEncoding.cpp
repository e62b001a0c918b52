#include "textEncoding.h"

#include <langinfo.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "hvError.h"

namespace {

constexpr UChar kReplacementChar = 0xFFFD;

// ICU counts in int32_t; every buffer handed to it is checked against that first.
std::size_t IcuBufferSize(std::size_t inputSize, std::size_t perUnit, std::size_t extra = 0) {
    constexpr std::size_t kMax = INT32_MAX;
    if (inputSize > (kMax - extra) / perUnit) throw EhvError("Text is too long to convert");
    return inputSize * perUnit + extra;
}

// Runs an ICU call that fills a buffer, once more at the size ICU asks for if the estimate was
// short.
template <typename String, typename Call>
String IcuFill(std::size_t estimate, const std::string& failure, Call call) {
    String result(estimate, {});
    UErrorCode error = U_ZERO_ERROR;
    int32_t length = call(result.data(), static_cast<int32_t>(result.size()), &error);
    if (error == U_BUFFER_OVERFLOW_ERROR) {
        result.resize(static_cast<std::size_t>(length));
        error = U_ZERO_ERROR;
        length = call(result.data(), static_cast<int32_t>(result.size()), &error);
    }
    if (U_FAILURE(error)) throw EhvError(failure);
    result.resize(static_cast<std::size_t>(length));
    return result;
}

std::mutex pinnedMutex;
std::string pinnedCodePage;  // guarded by pinnedMutex

struct ConverterCloser {
    void operator()(UConverter* cnv) const { ucnv_close(cnv); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

bool IsUtf8Name(std::string_view name) {
    std::string n(name);
    return ucnv_compareNames(n.c_str(), "UTF-8") == 0;
}

// ICU's stock "substitute" callback writes U+001A instead of U+FFFD for some code pages
// (Shift_JIS, EUC-KR) unless a substitute string was set; readers must see one predictable
// replacement character whichever way the converter was set up.
void ToUnicodeReplace(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                      UConverterCallbackReason reason, UErrorCode* error) {
    if (reason > UCNV_IRREGULAR) return;  // reset, close and clone carry no bad bytes
    *error = U_ZERO_ERROR;
    ucnv_cbToUWriteUChars(args, &kReplacementChar, 1, 0, error);
}

ConverterPtr OpenConverter(const std::string& name) {
    // ucnv_open takes "" to mean the process default, which is not what any caller means.
    UErrorCode error = U_ZERO_ERROR;
    ConverterPtr cnv(name.empty() ? nullptr : ucnv_open(name.c_str(), &error));
    if (!cnv || U_FAILURE(error)) throw EhvError("Unknown code page \"" + name + "\"");

    // ucnv_setSubstString checks that "?" is representable and finds its bytes in that code
    // page (EBCDIC, UTF-16); where it is not, the converter's own substitute stays.
    UErrorCode substError = U_ZERO_ERROR;
    ucnv_setSubstString(cnv.get(), u"?", 1, &substError);

    UErrorCode cbError = U_ZERO_ERROR;
    ucnv_setToUCallBack(cnv.get(), ToUnicodeReplace, nullptr, nullptr, nullptr, &cbError);
    if (U_FAILURE(cbError)) throw EhvError("Unknown code page \"" + name + "\"");
    return cnv;
}

// Opening a converter parses its tables' header each time; converter threads encode every line
// they write, so each thread keeps its own converters. ICU converters are not thread-safe, so
// they are never shared.
UConverter* CachedConverter(std::string_view codePage) {
    thread_local std::unordered_map<std::string, ConverterPtr> cache;
    std::string name(codePage);
    auto it = cache.find(name);
    if (it == cache.end()) it = cache.emplace(name, OpenConverter(name)).first;
    ucnv_reset(it->second.get());
    return it->second.get();
}

bool IsAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

// Well-formed UTF-8 as ICU reads it: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsWellFormedUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int trail;
        unsigned char low = 0x80, high = 0xBF;  // the bounds of the first trail byte
        if (c >= 0xC2 && c <= 0xDF) {
            trail = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            trail = 2;
            if (c == 0xE0) low = 0xA0;
            if (c == 0xED) high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            trail = 3;
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (end - p <= trail || p[1] < low || p[1] > high) return false;
        for (int i = 2; i <= trail; ++i) {
            if (p[i] < 0x80 || p[i] > 0xBF) return false;
        }
        p += trail + 1;
    }
    return true;
}

// Text that is already well formed, which nearly all is, is taken as it stands.
std::string Utf8Sanitized(std::string_view utf8) {
    if (IsWellFormedUtf8(utf8)) return std::string(utf8);
    return Utf16ToUtf8(Utf8ToUtf16(utf8));
}

std::string SystemCodePage() {
    const char* codeset = nl_langinfo(CODESET);
    std::string name = codeset ? codeset : "";
    // The C/POSIX locale reports plain ASCII; current runtimes treat it as UTF-8, and so do we,
    // so that a service without a locale still writes non-ASCII names intact.
    if (name.empty() || name == "ANSI_X3.4-1968" || name == "US-ASCII" || name == "ASCII" ||
        name == "C" || name == "POSIX") {
        return "UTF-8";
    }
    return name;
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
    if (IsUtf8Name(codePage)) return Utf8Sanitized(utf8);
    UConverter* cnv = CachedConverter(codePage);
    std::u16string text = Utf8ToUtf16(utf8);
    if (text.empty()) return {};
    return IcuFill<std::string>(IcuBufferSize(text.size(), ucnv_getMaxCharSize(cnv), 16),
                                "Cannot encode text in code page \"" + std::string(codePage) + "\"",
                                [&](char* out, int32_t capacity, UErrorCode* error) {
                                    ucnv_reset(cnv);
                                    return ucnv_fromUChars(cnv, out, capacity, text.data(),
                                                           static_cast<int32_t>(text.size()),
                                                           error);
                                });
}

std::string DecodeText(std::string_view bytes, std::string_view codePage) {
    if (IsUtf8Name(codePage)) return Utf8Sanitized(bytes);
    UConverter* cnv = CachedConverter(codePage);
    if (bytes.empty()) return {};
    // Two UTF-16 units per byte are enough for the code pages in use; a few table-driven
    // ones map one byte sequence to several characters and take the second round.
    std::u16string text =
        IcuFill<std::u16string>(IcuBufferSize(bytes.size(), 2, 2),
                                "Cannot decode text in code page \"" + std::string(codePage) + "\"",
                                [&](char16_t* out, int32_t capacity, UErrorCode* error) {
                                    ucnv_reset(cnv);
                                    return ucnv_toUChars(cnv, out, capacity, bytes.data(),
                                                         static_cast<int32_t>(bytes.size()), error);
                                });
    return Utf16ToUtf8(text);
}

bool CodePageHolds(std::string_view utf8, std::string_view codePage) {
    if (IsUtf8Name(codePage)) return IsWellFormedUtf8(utf8);
    return DecodeText(EncodeText(utf8, codePage), codePage) == utf8;
}

std::string EncodeAnsi(std::string_view utf8) { return EncodeText(utf8, AnsiCodePage()); }

std::string DecodeAnsi(std::string_view bytes) { return DecodeText(bytes, AnsiCodePage()); }

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

std::u16string Utf8ToUtf16(std::string_view utf8) {
    if (utf8.empty()) return {};
    // Every UTF-8 byte gives at most one UTF-16 unit, a bad byte included.
    std::u16string result(IcuBufferSize(utf8.size(), 1), u'\0');
    int32_t length = 0;
    UErrorCode error = U_ZERO_ERROR;
    u_strFromUTF8WithSub(result.data(), static_cast<int32_t>(result.size()), &length, utf8.data(),
                         static_cast<int32_t>(utf8.size()), kReplacementChar, nullptr, &error);
    if (U_FAILURE(error)) throw EhvError("Cannot convert text to UTF-16");
    result.resize(static_cast<std::size_t>(length));
    return result;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    if (utf16.empty()) return {};
    // Every UTF-16 unit gives at most three UTF-8 bytes, a lone surrogate's U+FFFD included.
    std::string result(IcuBufferSize(utf16.size(), 3), '\0');
    int32_t length = 0;
    UErrorCode error = U_ZERO_ERROR;
    u_strToUTF8WithSub(result.data(), static_cast<int32_t>(result.size()), &length, utf16.data(),
                       static_cast<int32_t>(utf16.size()), kReplacementChar, nullptr, &error);
    if (U_FAILURE(error)) throw EhvError("Cannot convert text to UTF-8");
    result.resize(static_cast<std::size_t>(length));
    return result;
}

std::string FoldCase(std::string_view utf8) {
    // Folding maps ASCII only within ASCII; option names and most paths are ASCII.
    if (IsAscii(utf8)) {
        std::string folded(utf8);
        for (char& c : folded) c = AsciiLower(c);
        return folded;
    }
    std::u16string text = Utf8ToUtf16(utf8);
    if (text.empty()) return {};
    // Full folding can grow a string ("ß" -> "ss", "ΐ" -> three units).
    std::u16string folded = IcuFill<std::u16string>(
        IcuBufferSize(text.size(), 3), "Cannot fold the case of text",
        [&](char16_t* out, int32_t capacity, UErrorCode* error) {
            return u_strFoldCase(out, capacity, text.data(), static_cast<int32_t>(text.size()),
                                 U_FOLD_CASE_DEFAULT, error);
        });
    return Utf16ToUtf8(folded);
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
