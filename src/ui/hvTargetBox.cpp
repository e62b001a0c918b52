#include "ui/hvTargetBox.h"

#include "platform/files/paths.h"

namespace {

bool Unusable(const std::string& text, char delim,
              const std::function<bool(const std::string&)>& isFile) {
    if (text.find_first_of("?*") != std::string::npos) return true;
    if (delim == '\\') {
        const std::size_t colon = text.find(':');
        if (colon != std::string::npos && colon + 1 > 10) return true;
    }
    std::string name = text;
    if (!name.empty() && name.back() == delim) name.pop_back();
    return !name.empty() && isFile(name);
}

}  // namespace

std::string CutBackTarget(std::string text, char delim,
                          const std::function<bool(const std::string&)>& isFile) {
    while (!text.empty() && Unusable(text, delim, isFile)) {
        std::string shorter = text;
        if (shorter.back() == delim) shorter.pop_back();
        shorter = ExtractFilePath(shorter, delim);
        if (shorter == text) return {};
        text = std::move(shorter);
    }
    return text;
}
