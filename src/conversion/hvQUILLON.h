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

/// The text step: the file at source, rich text or plain text with or without a byte-order
/// mark, written to target as plain text in the ANSI code page, one line per paragraph, CR LF,
/// no byte-order mark, atomically. Throws EhvError when it cannot; target is then untouched.
void WritePlainText(const std::string& source, const std::string& target);
