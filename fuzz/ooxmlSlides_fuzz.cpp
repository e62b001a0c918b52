// One slide part's XML: namespaces, alternate content, shapes, groups, tables; the same bytes
// also serve as the diagram data or chart any graphic frame of the slide points to, and are
// read as a diagram data part and as a chart part on their own, as a notes page, and as
// comment and comment author parts.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/base/engineError.h"
#include "engine/ooxml/ooxmlSlides.h"
#include "engine/outline/rtfOutline.h"
#include "engine/outline/textFormats.h"
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
        text.Slides.push_back(ReadSlideText(bytes, "fuzz.pptx", "ppt/slides/slide1.xml", related,
                                            {}, {.Pictures = true}));
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
    ThvSlideText notesSlide;
    try {
        notesSlide.Notes = ReadNotesText(bytes, "fuzz.pptx", "ppt/notesSlides/notesSlide1.xml");
    } catch (const EhvError&) {
    }
    try {
        ThvCommentAuthors authors;
        ReadCommentAuthors(bytes, "fuzz.pptx", "ppt/commentAuthors.xml", authors);
        notesSlide.Comments =
            ReadCommentsText(bytes, "fuzz.pptx", "ppt/comments/comment1.xml", authors);
    } catch (const EhvError&) {
    }
    text.Slides.push_back(std::move(notesSlide));
    WriteRtfOutline(text, ThvHiddenSlides::Mark);
    WriteMarkdown(text, ThvHiddenSlides::Include);
    return 0;
}
