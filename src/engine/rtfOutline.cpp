#include "rtfOutline.h"

#include <algorithm>

#include "textEncoding.h"

namespace {

constexpr int kMaxOutlineLevel = 9;

void AppendParagraph(std::string& rtf, int outlineLevel, std::string_view text) {
    int level = std::clamp(outlineLevel, 1, kMaxOutlineLevel);
    // \outlinelevel counts from 0 for heading 1.
    rtf += "\\pard\\plain\\s" + std::to_string(level) + "\\outlinelevel" +
           std::to_string(level - 1) + "\\f0\\fs" + (level == 1 ? "32\\b" : "24");
    std::string escaped = EscapeRtfText(text);
    if (!escaped.empty()) rtf += ' ';
    rtf += escaped;
    rtf += "\\par\n";
}

}  // namespace

std::string EscapeRtfText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() + utf8.size() / 8);
    bool ascii = std::all_of(utf8.begin(), utf8.end(),
                             [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    auto appendUnit = [&out](char16_t unit) {
        switch (unit) {
            case '\\':
                out += "\\\\";
                return;
            case '{':
                out += "\\{";
                return;
            case '}':
                out += "\\}";
                return;
            case '\n':
                out += "\\line ";
                return;
            case '\t':
                out += "\\tab ";
                return;
        }
        if (unit < 0x20 || unit == 0x7F) return;
        if (unit < 0x80) {
            out += static_cast<char>(unit);
            return;
        }
        // RTF reads N as a signed 16-bit number; "?" is the fallback for readers without \u.
        out += "\\u" + std::to_string(static_cast<int16_t>(unit)) + "?";
    };
    if (ascii) {
        for (char c : utf8) appendUnit(static_cast<char16_t>(c));
    } else {
        for (char16_t unit : Utf8ToUtf16(utf8)) appendUnit(unit);
    }
    return out;
}

std::string WriteRtfOutline(const ThvPresentationText& presentation) {
    std::string rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n"
        "{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}\n"
        "{\\stylesheet{\\s0\\f0\\fs24 Normal;}";
    for (int level = 1; level <= kMaxOutlineLevel; ++level) {
        rtf += "{\\s" + std::to_string(level) + "\\outlinelevel" + std::to_string(level - 1) +
               "\\sbasedon0\\snext0\\f0\\fs" + (level == 1 ? "32\\b" : "24") + " heading " +
               std::to_string(level) + ";}";
    }
    rtf += "}\n";
    for (const ThvSlideText& slide : presentation.Slides) {
        AppendParagraph(rtf, 1, slide.Title);
        for (const ThvParagraph& paragraph : slide.Body) {
            AppendParagraph(rtf, paragraph.Level + 2, paragraph.Text);
        }
    }
    rtf += "}\n";
    return rtf;
}
