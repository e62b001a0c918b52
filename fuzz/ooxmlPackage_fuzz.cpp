// The whole reading of a file's bytes: content detection, the compound file probe, the zip
// container with its limits, relationships, the presentation part and every slide.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "hvError.h"
#include "presentationFile.h"
#include "rtfOutline.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        ThvPresentationText text = LoadPresentationBytes(
            std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.pptx");
        WriteRtfOutline(text);
    } catch (const EhvError&) {
        // A clean failure is a correct answer to bad bytes.
    }
    return 0;
}
