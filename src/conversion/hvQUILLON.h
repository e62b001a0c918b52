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

/// The text step: the file at path, rich text or plain text with or without a byte-order mark,
/// rewritten in place as plain text in the ANSI code page, one line per paragraph, CR LF, no
/// byte-order mark. Throws EhvError when it cannot; the file then keeps what it held.
void RewriteAsPlainText(const std::string& path);
