// Reads each named binary PowerPoint file with the engine's reader, from the file as the product
// does, and prints its text, one paragraph a line, as the peers of this benchmark print theirs.
// Failures are counted, not fatal.

#include <cstdio>
#include <memory>
#include <string>

#include "engine/base/byteSource.h"
#include "engine/cfb/cfbReader.h"
#include "engine/ppt/pptSlideText.h"
#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"

int main(int argc, char** argv) {
    int read = 0, failed = 0;
    std::string out;
    for (int i = 1; i < argc; ++i) {
        try {
            ThvFileSource::TFile file = OpenFileForReading(argv[i]);
            if (!file) throw EhvError("cannot be opened");
            const ThvFileSource source(std::move(file));
            const ThvCfbReader cfb(source);
            const ThvPresentationText deck = ReadPptPresentation(cfb, argv[i], {});
            for (const ThvSlideText& slide : deck.Slides) {
                out += slide.Title;
                out += '\n';
                for (const ThvParagraph& paragraph : slide.Body) {
                    out += paragraph.Text;
                    out += '\n';
                }
            }
            ++read;
        } catch (const EhvError& error) {
            ++failed;
        }
        std::fwrite(out.data(), 1, out.size(), stdout);
        out.clear();
    }
    std::fprintf(stderr, "read %d, failed %d\n", read, failed);
    return 0;
}
