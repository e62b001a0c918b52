#include "discovery/hvMatch.h"

#include "discovery/VBScriptRegex.h"

std::optional<bool> ThvMatch::TryMatches(const std::string& path,
                                         const std::string& pattern) const {
    try {
        return RegexTryTest(pattern, hvRegexIgnoreCase, path);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool ThvMatch::Matches(const std::string& path, const std::string& pattern) const {
    try {
        return RegexTryTest(pattern, hvRegexIgnoreCase, path).value_or(true);
    } catch (const std::exception&) {
        // Out of memory inside the engine: the name test never fails a search.
        return true;
    }
}
