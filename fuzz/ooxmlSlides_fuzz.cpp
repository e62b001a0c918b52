// One slide part's XML: namespaces, alternate content, shapes, groups, tables; the same bytes
// also serve as the diagram data or chart any graphic frame of the slide points to, and are
// read as a diagram data part and as a chart part on their own.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/base/engineError.h"
#include "engine/ooxml/ooxmlSlides.h"
#include "engine/outline/rtfOutline.h"
#include "platform/base/hvError.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    // What a related part's reader does: read it, and lose its text when it is damaged.
    ThvRelatedText related = [&bytes](std::string_view,
                                      std::string_view kind) -> std::vector<ThvParagraph> {
        try {
            if (kind == "chart") return ReadChartText(bytes, "fuzz.pptx", "ppt/charts/chart1.xml");
            return ReadDiagramText(bytes, "fuzz.pptx", "ppt/diagrams/data1.xml");
        } catch (const EhvFileRefused&) {
            throw;
        } catch (const EhvError&) {
            return {};
        }
    };
    ThvPresentationText text;
    try {
        text.Slides.push_back(ReadSlideText(bytes, "fuzz.pptx", "ppt/slides/slide1.xml", related));
    } catch (const EhvError&) {
    }
    try {
        ThvSlideText diagramSlide;
        diagramSlide.Body = ReadDiagramText(bytes, "fuzz.pptx", "ppt/diagrams/data1.xml");
        text.Slides.push_back(std::move(diagramSlide));
    } catch (const EhvError&) {
    }
    try {
        ThvSlideText chartSlide;
        chartSlide.Body = ReadChartText(bytes, "fuzz.pptx", "ppt/charts/chart1.xml");
        text.Slides.push_back(std::move(chartSlide));
    } catch (const EhvError&) {
    }
    WriteRtfOutline(text);
    return 0;
}
