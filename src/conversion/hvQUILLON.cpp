#include "hvQUILLON.h"

#include <fstream>

#include "fileSystem.h"
#include "hvBatch.h"
#include "hvError.h"
#include "richText.h"
#include "textEncoding.h"
#include "textFile.h"

namespace {

// Plain text is decoded whole; a text file this large is no outline.
constexpr std::size_t MaxPlainTextBytes = 512u * 1024 * 1024;
constexpr std::size_t ReadPieceBytes = 64 * 1024;

std::shared_ptr<ThvConvertor> CreateQUILLON(ThvBatch& batch, int32_t count,
                                            const ThvNodeEvent& onFileDone) {
    return std::make_shared<ThvQUILLON>(batch, count, onFileDone);
}

}  // namespace

const ThvConvertorClass& ThvQUILLON::Class() {
    static const ThvConvertorClass reference{"ThvQUILLON", &CreateQUILLON};
    return reference;
}

void ThvQUILLON::ConvertFile(ThvBatch& batch, ThvNode& node) {
    const std::string target = TargetPath(batch, node);
    if (target.empty()) return;
    try {
        OpenPresentation(node.Source);
        // Only now: a presentation that does not open leaves an older target as it was.
        DeleteTarget(target);
        AutomationCall(*Presentation, "SaveAs", {Variant(target), Variant(int32_t{6})});
        try {
            RewriteAsPlainText(target);
        } catch (const std::exception&) {
            // The rich text stays; it is still the presentation's text.
        }
        ClosePresentation();
        AfterConvert(batch, node, target);
        node.Result = target;
        node.State = ThvNode::Success;
        batch.AddSuccess();
    } catch (const EhvError& e) {
        node.Result = e.what();
        node.State = ThvNode::Failure;
        batch.AddFailure(node.Result);
    }
    ClosePresentation();
}

void RewriteAsPlainText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EhvError("Cannot open file \"" + path + "\".");
    std::string piece(ReadPieceBytes, '\0');
    in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
    piece.resize(static_cast<std::size_t>(in.gcount()));

    std::string text;
    if (LooksLikeRichText(piece)) {
        // Read in pieces: only the text is kept, never the whole rich text.
        ThvRichTextReader reader;
        while (!piece.empty()) {
            reader.Feed(piece);
            piece.resize(ReadPieceBytes);
            in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
            piece.resize(static_cast<std::size_t>(in.gcount()));
        }
        if (in.bad()) throw EhvError("Cannot read file \"" + path + "\".");
        text = reader.Finish();
    } else {
        in.close();
        text = JoinLines(SplitLines(DecodeWithBom(ReadFileBytes(path, MaxPlainTextBytes))));
    }
    WriteTextFile(path, text);
}
