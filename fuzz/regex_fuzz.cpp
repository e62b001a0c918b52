// "RegExt" is whatever text a project file holds, so any bytes must be safe as a pattern, as a
// path it is tested against, and as a replacement.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "discovery/VBScriptRegex.h"
#include "discovery/hvBatch.h"
#include "discovery/hvMatch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const ThvRegexFlags flags = data[0] & 3;
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    // The first NUL splits pattern from subject, so the fuzzer can grow either one.
    const std::size_t split = rest.find('\0');
    const std::string pattern(rest.substr(0, split));
    const std::string subject(split == std::string_view::npos ? std::string_view("/in/a.pptx")
                                                              : rest.substr(split + 1));

    ThvMatch match;
    match.Matches(subject, pattern);
    match.Matches(pattern, WildcardToRegex(subject));
    RegexTryTest(pattern, flags, subject);
    try {
        RegexReplace(pattern, subject, "[$1$&$`$'$$]");
    } catch (const ERegexException&) {
    }
    ThvBatch::NormalizePath(subject, '/');
    ThvBatch::NormalizePath(subject, '\\');
    return 0;
}
