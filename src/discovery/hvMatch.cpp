#include "hvMatch.h"

#include "VBScriptRegex.h"

ThvMatch* hvMatch = nullptr;

std::optional<bool> ThvMatch::TryMatches(const std::string& path,
                                         const std::string& pattern) const {
    try {
        return RegexTryTest(pattern, hvRegexIgnoreCase, path);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void CheckRegExt(const std::string& pattern) {
    if (pattern.empty()) return;
    try {
        CreateRegex(pattern, hvRegexIgnoreCase);
    } catch (const ERegexException& e) {
        throw EhvError("RegExt \"" + pattern + "\" is not a valid regular expression: " + e.what());
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
