#pragma once

#include <string>

#include "hvPowerPointOle.h"

/// The presentation-to-text converter, the converter class of this product: the application
/// saves each presentation's outline as rich text at the target path, and the converter then
/// rewrites that file in place as plain text.
class ThvQUILLON : public ThvPowerPointOle {
  public:
    using ThvPowerPointOle::ThvPowerPointOle;

    static const ThvConvertorClass& Class();

  protected:
    void ConvertFile(ThvBatch& batch, ThvNode& node) override;
};

/// Where the application saves the rich text of target: a hidden name beside it, the same for
/// every run, so a run that was killed half-way leaves nothing that looks like output and the
/// next conversion of the same file replaces it.
std::string RichTextPath(const std::string& target);

/// The text step's reading: the file at source, rich text or plain text with or without a
/// byte-order mark, as the plain text the converter writes (UTF-8, one line per paragraph,
/// CR LF). Throws EhvError when it cannot be read or decoded.
std::string ReadPlainText(const std::string& source);
