#pragma once

#include <memory>
#include <string>

#include "conversion/hvPowerPointOle.h"
#include "platform/files/fileSystem.h"

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

/// The text step's reading: the file at source, rich text or plain text with or without a
/// byte-order mark, as the plain text the converter writes (UTF-8, one line per paragraph,
/// CR LF). Throws EhvError when it cannot be read or decoded.
std::string ReadPlainText(const std::string& source);
