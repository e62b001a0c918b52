// The whole reading of a file's bytes: content detection, the compound file probe, the zip
// container with its limits, relationships, the presentation part and every slide; for an
// encrypted package also its key records, tried with one password of few hash rounds. Notes,
// comments and picture descriptions are read too, and the text written in every form.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/outline/rtfOutline.h"
#include "engine/outline/textFormats.h"
#include "engine/presentationFile.h"
#include "platform/base/hvError.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        ThvReadOptions options;
        options.Passwords = [] { return std::vector<std::string>{"fuzz"}; };
        options.Limits.MaxSpinCount = 1000;
        options.Content = {.Notes = true, .Comments = true, .Pictures = true};
        ThvPresentationText text = LoadPresentationBytes(
            std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.pptx", options);
        WriteRtfOutline(text, ThvHiddenSlides::Mark);
        WriteMarkdown(text, ThvHiddenSlides::Skip);
        WriteJsonLines(text, "fuzz.pptx", ThvHiddenSlides::Include);
    } catch (const EhvError&) {
        // A clean failure is a correct answer to bad bytes.
    }
    return 0;
}
