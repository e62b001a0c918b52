#include "conversion/hvQUILLON.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <utility>

#include "discovery/hvBatch.h"
#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"
#include "platform/files/paths.h"
#include "platform/files/textFile.h"
#include "project/hvProject.h"
#include "text/richText.h"
#include "text/textEncoding.h"

namespace {

// Plain text is decoded whole; a text file this large is no outline.
constexpr std::size_t MaxPlainTextBytes = 512u * 1024 * 1024;
constexpr std::size_t ReadPieceBytes = 64 * 1024;

std::shared_ptr<ThvConvertor> CreateQUILLON(ThvBatch& batch, int32_t count,
                                            const ThvNodeEvent& onFileDone) {
    return std::make_shared<ThvQUILLON>(batch, count, onFileDone);
}

// The message with every mention of the hidden file replaced by the target's name.
std::string NamingTarget(std::string message, const std::string& hidden,
                         const std::string& target) {
    if (hidden.empty()) return message;
    for (std::size_t at = message.find(hidden); at != std::string::npos;
         at = message.find(hidden, at + target.size()))
        message.replace(at, hidden.size(), target);
    return message;
}

std::string ReplacedCharactersNote(std::size_t count, const std::string& codePage) {
    return std::to_string(count) + (count == 1 ? " character" : " characters") +
           " replaced by \"?\": the character set " + codePage + " cannot hold " +
           (count == 1 ? "it" : "them") + "; a UTF-8 one keeps every character";
}

}  // namespace

ThvTextRequest ReadTextRequest(const ThvProject& project) {
    ThvTextRequest request;
    for (const auto& [on, word] :
         {std::pair{project.Notes(), "notes"}, std::pair{project.Comments(), "comments"},
          std::pair{project.AltText(), "pictures"}}) {
        if (!on) continue;
        if (!request.Content.empty()) request.Content += ',';
        request.Content += word;
    }
    request.Format = project.OutputFormat();
    request.FormatWord = request.Format == ThvOutputFormat::Markdown    ? "markdown"
                         : request.Format == ThvOutputFormat::JsonLines ? "jsonl"
                                                                        : "outline";
    request.Hidden = project.HiddenSlides();
    request.HiddenWord = request.Hidden == ThvHiddenSlideMode::Mark   ? "mark"
                         : request.Hidden == ThvHiddenSlideMode::Skip ? "skip"
                                                                      : "include";
    request.Encoding = project.TextEncoding();
    return request;
}

std::string EncodeUnicodeText(std::string_view utf8, ThvTextEncoding encoding) {
    switch (encoding) {
        case ThvTextEncoding::Utf8Bom:
            return "\xEF\xBB\xBF" + std::string(utf8);
        case ThvTextEncoding::Utf16: {
            const std::u16string units = Utf8ToUtf16(utf8);
            std::string bytes = "\xFF\xFE";
            bytes.reserve(2 + units.size() * 2);
            for (const char16_t unit : units) {
                bytes += static_cast<char>(unit & 0xFF);
                bytes += static_cast<char>(unit >> 8);
            }
            return bytes;
        }
        case ThvTextEncoding::Utf8:
        case ThvTextEncoding::Ansi:
            break;
    }
    return std::string(utf8);
}

const ThvConvertorClass& ThvQUILLON::Class() {
    static const ThvConvertorClass reference{"ThvQUILLON", &CreateQUILLON};
    return reference;
}

void ThvQUILLON::ConvertFile(ThvBatch& batch, ThvNode& node) {
    const std::string target = TargetPath(batch, node);
    if (target.empty()) return;
    std::string saved;
    try {
        const ThvTextRequest request = ReadTextRequest(*hvProject);
        if (!request.Content.empty()) {
            // Asked of the application before each file: one started again after a failure
            // must not fall back to the slides' text alone.
            if (!AppObject) StartApplication();
            AutomationPut(*AppObject, "TextContent", request.Content);
        }
        OpenPresentation(node.Source);
        // The older text stays until the new one is complete and takes its name in one step: a
        // presentation that does not open, a full disk or a read-only text leave it as it was.
        // The application writes to a hidden name of this run beside the target, so that a run
        // killed in between leaves nothing that looks like output, and other runs at the same
        // time, or the next one, know what is whose.
        const std::string folder = ExtractFilePath(target);
        if (!scratch_ || ExtractFilePath(scratch_->Path()) != folder ||
            !FileExists(scratch_->Path())) {
            scratch_.reset();
            scratch_ = std::make_unique<ThvTempFile>(folder, target);
        }
        const bool outline = request.Format == ThvOutputFormat::Text;
        saved = scratch_->Companion(outline                                       ? ".rtf"
                                    : request.Format == ThvOutputFormat::Markdown ? ".md"
                                                                                  : ".jsonl");
        struct TRemoveUnlessMoved {
            const std::string& Path;
            bool Moved = false;
            ~TRemoveUnlessMoved() {
                if (!Moved) DeleteFile(Path);
            }
        } savedFile{saved};
        if (request.PlainOutline()) {
            AutomationCall(*Presentation, "SaveAs", {Variant(saved), Variant(int32_t{6})});
        } else {
            // The engine's own member: PowerPoint has none and fails the file saying so, which
            // is better than text without what was asked for.
            AutomationCall(
                *Presentation, "SaveText",
                {Variant(saved), Variant(request.FormatWord), Variant(request.HiddenWord)});
        }
        std::optional<std::string> text;
        if (outline) {
            try {
                text = ReadPlainText(saved);
            } catch (const std::exception&) {
                // Rich text that cannot be read is still the presentation's text: the result.
            }
        }
        std::string note;
        if (text) {
            // Written over the rich text itself: one new file per conversion, not two.
            if (request.Encoding == ThvTextEncoding::Ansi) {
                const std::string codePage = AnsiCodePage();
                RewriteFileAs(saved, EncodeText(*text, codePage), target);
                // Text lost to the code page is no failure, but the user must know to choose
                // another.
                if (const std::size_t replaced = UnheldCharacters(*text, codePage))
                    note = ReplacedCharactersNote(replaced, codePage);
            } else {
                RewriteFileAs(saved, EncodeUnicodeText(*text, request.Encoding), target);
            }
        } else {
            // Markdown and JSON Lines are written as they stand, and so is rich text that
            // would not read.
            MoveFileOver(saved, target);
        }
        savedFile.Moved = true;
        ClosePresentation();
        AfterConvert(batch, node, target);
        node.Result = target;
        node.Note = std::move(note);
        node.Salvage = SalvageNote;
        node.State = ThvNode::Success;
        batch.AddSuccess();
    } catch (const EhvError& e) {
        // The user knows the text file, not the hidden one beside it.
        node.Result = NamingTarget(e.what(), saved, target);
        node.State = ThvNode::Failure;
        batch.AddFailure(node.Result);
    }
    ClosePresentation();
}

void ThvQUILLON::CleanUp() {
    scratch_.reset();
    ThvPowerPointOle::CleanUp();
}

std::string ReadPlainText(const std::string& source) {
    ThvFilePtr in = OpenFileForReading(source);
    if (!in) throw EhvError("Cannot open file \"" + source + "\".");
    // Not zero-filled: the buffer only ever holds what was read into it.
    const auto buffer = std::make_unique_for_overwrite<char[]>(ReadPieceBytes);
    auto readPiece = [&] {
        const std::size_t got = std::fread(buffer.get(), 1, ReadPieceBytes, in.get());
        return std::string_view(buffer.get(), got);
    };
    std::string_view piece = readPiece();
    if (!LooksLikeRichText(piece)) {
        in.reset();
        return JoinLines(SplitLines(DecodeWithBom(ReadFileBytes(source, MaxPlainTextBytes))));
    }
    // Read in pieces: only the text is kept, never the whole rich text.
    ThvRichTextReader reader;
    for (; !piece.empty(); piece = readPiece()) reader.Feed(piece);
    if (std::ferror(in.get())) throw EhvError("Cannot read file \"" + source + "\".");
    return reader.Finish();
}
