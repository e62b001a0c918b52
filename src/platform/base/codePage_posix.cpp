// The legacy code pages through ICU's converters. ICU is loaded at the first legacy code page,
// not at start: a UTF-8 system never needs it, and its two libraries were a tenth of an empty
// run's start.
#include <dlfcn.h>
#include <langinfo.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/uvernum.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/base/codePage.h"
#include "platform/base/dlopenNote.h"
#include "platform/base/hvError.h"

// ICU renames every function with its major version ("ucnv_open_72"); the library's file name
// carries the same number.
#define QUILLON_TEXT(x) #x
#define QUILLON_EXPANDED_TEXT(x) QUILLON_TEXT(x)
#define QUILLON_ICU_NAME "libicuuc.so." QUILLON_EXPANDED_TEXT(U_ICU_VERSION_MAJOR_NUM)

namespace {

const char* const kCodePageLibraryName = QUILLON_ICU_NAME;

#define QUILLON_ICU_NOTE                                                                       \
    "[{\"feature\":\"code-pages\",\"description\":\"Text in legacy code pages\",\"priority\":" \
    "\"required\",\"soname\":[\"" QUILLON_ICU_NAME "\"]}]"

QUILLON_DLOPEN_NOTE(kDlopenNote, QUILLON_ICU_NOTE);

// The ICU functions the converters use, looked up by their versioned names.
#define QUILLON_ICU_CALLS(X) \
    X(ucnv_open)             \
    X(ucnv_close)            \
    X(ucnv_reset)            \
    X(ucnv_setSubstString)   \
    X(ucnv_setToUCallBack)   \
    X(ucnv_cbToUWriteUChars) \
    X(ucnv_getMaxCharSize)   \
    X(ucnv_fromUChars)       \
    X(ucnv_toUChars)

struct TIcuCalls {
#define QUILLON_ICU_MEMBER(name) decltype(&::name) name = nullptr;
    QUILLON_ICU_CALLS(QUILLON_ICU_MEMBER)
#undef QUILLON_ICU_MEMBER
};

TIcuCalls LoadIcu() {
    // RTLD_NODELETE: converters cached by threads that are still ending must stay valid.
    void* handle = dlopen(kCodePageLibraryName, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) throw EhvError(dlerror());
    TIcuCalls calls;
#define QUILLON_ICU_LOAD(name)                                                              \
    calls.name =                                                                            \
        reinterpret_cast<decltype(calls.name)>(dlsym(handle, QUILLON_EXPANDED_TEXT(name))); \
    if (!calls.name)                                                                        \
        throw EhvError("no function " QUILLON_EXPANDED_TEXT(name) " in " QUILLON_ICU_NAME);
    QUILLON_ICU_CALLS(QUILLON_ICU_LOAD)
#undef QUILLON_ICU_LOAD
    return calls;
}

// Every call but the first converter's open finds the library loaded already.
const TIcuCalls& Icu() {
    // A static whose initialisation throws is initialised again at the next call.
    static const TIcuCalls calls = LoadIcu();
    return calls;
}

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

struct ConverterCloser {
    void operator()(UConverter* cnv) const { Icu().ucnv_close(cnv); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// ICU's stock "substitute" callback writes U+001A instead of U+FFFD for some code pages
// (Shift_JIS, EUC-KR) unless a substitute string was set; readers must see one predictable
// replacement character whichever way the converter was set up.
void ToUnicodeReplace(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                      UConverterCallbackReason reason, UErrorCode* error) {
    if (reason > UCNV_IRREGULAR) return;  // reset, close and clone carry no bad bytes
    *error = U_ZERO_ERROR;
    Icu().ucnv_cbToUWriteUChars(args, &kReplacementChar, 1, 0, error);
}

ConverterPtr OpenConverter(const std::string& name) {
    const TIcuCalls* icu = nullptr;
    try {
        icu = &Icu();
    } catch (const EhvError& error) {
        throw EhvError("The code page \"" + name + "\" needs the library " + kCodePageLibraryName +
                       ", which cannot be loaded (" + error.what() + ")");
    }
    // ucnv_open takes "" to mean the process default, which is not what any caller means.
    UErrorCode error = U_ZERO_ERROR;
    ConverterPtr cnv(name.empty() ? nullptr : icu->ucnv_open(name.c_str(), &error));
    if (!cnv || U_FAILURE(error)) throw EhvError("Unknown code page \"" + name + "\"");

    // ucnv_setSubstString checks that "?" is representable and finds its bytes in that code
    // page (EBCDIC, UTF-16); where it is not, the converter's own substitute stays.
    UErrorCode substError = U_ZERO_ERROR;
    icu->ucnv_setSubstString(cnv.get(), u"?", 1, &substError);

    UErrorCode cbError = U_ZERO_ERROR;
    icu->ucnv_setToUCallBack(cnv.get(), ToUnicodeReplace, nullptr, nullptr, nullptr, &cbError);
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
    Icu().ucnv_reset(it->second.get());
    return it->second.get();
}

}  // namespace

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

std::string EncodeCodePage(std::u16string_view text, std::string_view codePage) {
    UConverter* cnv = CachedConverter(codePage);
    if (text.empty()) return {};
    return IcuFill<std::string>(IcuBufferSize(text.size(), Icu().ucnv_getMaxCharSize(cnv), 16),
                                "Cannot encode text in code page \"" + std::string(codePage) + "\"",
                                [&](char* out, int32_t capacity, UErrorCode* error) {
                                    Icu().ucnv_reset(cnv);
                                    return Icu().ucnv_fromUChars(cnv, out, capacity, text.data(),
                                                                 static_cast<int32_t>(text.size()),
                                                                 error);
                                });
}

std::u16string DecodeCodePage(std::string_view bytes, std::string_view codePage) {
    UConverter* cnv = CachedConverter(codePage);
    if (bytes.empty()) return {};
    // Two UTF-16 units per byte are enough for the code pages in use; a few table-driven
    // ones map one byte sequence to several characters and take the second round.
    return IcuFill<std::u16string>(
        IcuBufferSize(bytes.size(), 2, 2),
        "Cannot decode text in code page \"" + std::string(codePage) + "\"",
        [&](char16_t* out, int32_t capacity, UErrorCode* error) {
            Icu().ucnv_reset(cnv);
            return Icu().ucnv_toUChars(cnv, out, capacity, bytes.data(),
                                       static_cast<int32_t>(bytes.size()), error);
        });
}
