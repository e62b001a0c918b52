// The edit chain of a binary presentation and its rebuilding from the saves found in the
// stream. The input is the "PowerPoint Document" stream; it is read twice, once with the
// newest edit named by its last four bytes, once with the current-user record pointing outside
// the stream, so that the chain is always found damaged and the stream is scanned.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/base/engineError.h"
#include "engine/ppt/pptSlideText.h"
#include "engine/testing/cfbTestWriter.h"

namespace {

std::string File(const std::string& stream, const std::string& edit) {
    std::string user("\x00\x00\xF6\x0F\x18\x00\x00\x00\x14\x00\x00\x00\x5F\xC0\x91\xE3", 16);
    user += edit;
    user.append("\x00\x00\xF4\x03\x03\x00\x00\x00\x08\x00\x00\x00", 12);
    return BuildTestCfb({{"Current User", user}, {"PowerPoint Document", stream}}).Bytes;
}

void Read(const std::string& file, const ThvReadOptions& options) {
    try {
        const ThvPresentationText deck = ReadPptPresentation(file, "fuzz.ppt", options);
        if (deck.Slides.size() > options.Limits.MaxSlides) __builtin_trap();
    } catch (const EhvError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 || size > (1u << 20)) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string stream(bytes.substr(0, size - 4));
    ThvReadOptions options;
    options.Limits.MaxUserEdits = 64;
    options.Limits.MaxPersistEntries = 4096;
    options.Limits.MaxSlides = 256;
    options.Passwords = [] { return std::vector<std::string>{"fuzz"}; };
    Read(File(stream, std::string(bytes.substr(size - 4))), options);
    Read(File(stream, std::string("\xFF\xFF\xFF\x7F", 4)), options);
    return 0;
}
