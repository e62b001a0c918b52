// The PowerPoint record reader. A compound file input is read as it is; anything else is taken
// as the "PowerPoint Document" stream, its last four bytes naming the newest edit, and wrapped
// in a compound file so the fuzzer spends its time on the records rather than the container.
// Notes pages, comments and picture descriptions are read too.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/cfb/cfbReader.h"
#include "engine/ppt/pptSlideText.h"
#include "engine/testing/cfbTestWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string file;
    if (ThvCfbReader::HasSignature(bytes) || size < 4 || size > (1u << 20)) {
        file.assign(bytes);
    } else {
        const std::string edit(bytes.substr(size - 4));
        std::string user("\x00\x00\xF6\x0F\x18\x00\x00\x00\x14\x00\x00\x00\x5F\xC0\x91\xE3", 16);
        user += edit;
        user.append("\x00\x00\xF4\x03\x03\x00\x00\x00\x08\x00\x00\x00", 12);
        file = BuildTestCfb({{"Current User", user},
                             {"PowerPoint Document", std::string(bytes.substr(0, size - 4))}})
                   .Bytes;
    }
    try {
        ThvReadOptions options;
        options.Content = {.Notes = true, .Comments = true, .Pictures = true};
        const ThvPresentationText deck = ReadPptPresentation(file, "fuzz.ppt", options);
        for (const ThvSlideText& slide : deck.Slides) {
            for (const auto* paragraphs : {&slide.Body, &slide.Notes}) {
                for (const ThvParagraph& paragraph : *paragraphs) {
                    if (paragraph.Level < 0 || paragraph.Level > 8) __builtin_trap();
                    // A table row's cells lie inside its text, one after another.
                    std::size_t start = 0;
                    for (const std::uint32_t end : paragraph.CellEnds) {
                        if (end < start || end > paragraph.Text.size()) __builtin_trap();
                        start = end + 1;
                    }
                }
            }
        }
    } catch (const EhvError&) {
    }
    return 0;
}
