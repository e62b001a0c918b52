#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "conversion/hvPowerPointOle.h"
#include "platform/files/fileSystem.h"
#include "project/hvProject.h"

/// The presentation-to-text converter, the converter class of this product: the application
/// saves each presentation's outline as rich text in a temporary file beside the target, and
/// the converter rewrites that file as plain text and gives it the target's name.
class ThvQUILLON : public ThvPowerPointOle {
  public:
    using ThvPowerPointOle::ThvPowerPointOle;

    static const ThvConvertorClass& Class();

  protected:
    void ConvertFile(ThvBatch& batch, ThvNode& node) override;
    void CleanUp() override;

  private:
    /// Held in the folder of this converter's latest target, from file to file in that folder:
    /// its companions name the rich texts in the making there. Let go of at the end.
    std::unique_ptr<ThvTempFile> scratch_;
};

/// What the options ask of one conversion besides the outline as plain text.
struct ThvTextRequest {
    /// What the application reads besides the slides' text, as its TextContent takes it
    /// ("notes,comments,pictures"); empty for nothing more.
    std::string Content;
    ThvOutputFormat Format = ThvOutputFormat::Text;
    std::string FormatWord;  ///< as SaveText takes it: "outline", "markdown" or "jsonl"
    ThvHiddenSlideMode Hidden = ThvHiddenSlideMode::Include;
    std::string HiddenWord;  ///< as SaveText takes it: "include", "mark" or "skip"
    ThvTextEncoding Encoding = ThvTextEncoding::Ansi;

    /// Nothing beyond what PowerPoint's own SaveAs writes: the outline is saved as it always
    /// was, so the default output stays the same byte for byte, with PowerPoint too.
    bool PlainOutline() const {
        return Content.empty() && Format == ThvOutputFormat::Text &&
               Hidden == ThvHiddenSlideMode::Include;
    }
};

/// The request of the project's options. Throws EhvError for a value of OutputFormat,
/// HiddenSlides or TextEncoding that is none of their words.
ThvTextRequest ReadTextRequest(const ThvProject& project);

/// UTF-8 text as the Unicode encoding asks: with a UTF-8 mark, as UTF-16 little-endian with
/// its mark, or unchanged.
std::string EncodeUnicodeText(std::string_view utf8, ThvTextEncoding encoding);

/// The text step's reading: the file at source, rich text or plain text with or without a
/// byte-order mark, as the plain text the converter writes (UTF-8, one line per paragraph,
/// CR LF). Throws EhvError when it cannot be read or decoded.
std::string ReadPlainText(const std::string& source);
