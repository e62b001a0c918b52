// One slide part's XML: namespaces, alternate content, shapes, groups, tables; the same bytes
// also serve as the diagram data any SmartArt of the slide points to, and are read as a
// diagram data part on their own.

#include <cstddef>
#include <cstdint>
#include <string>

#include "hvError.h"
#include "ooxmlSlides.h"
#include "rtfOutline.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    ThvDiagramDataReader diagrams = [&bytes](std::string_view) -> std::optional<ThvPartBytes> {
        return ThvPartBytes{"ppt/diagrams/data1.xml", bytes};
    };
    ThvPresentationText text;
    try {
        text.Slides.push_back(ReadSlideText(bytes, "fuzz.pptx", "ppt/slides/slide1.xml", diagrams));
    } catch (const EhvError&) {
    }
    try {
        ThvSlideText diagramSlide;
        diagramSlide.Body = ReadDiagramText(bytes, "fuzz.pptx", "ppt/diagrams/data1.xml");
        text.Slides.push_back(std::move(diagramSlide));
    } catch (const EhvError&) {
    }
    WriteRtfOutline(text);
    return 0;
}
