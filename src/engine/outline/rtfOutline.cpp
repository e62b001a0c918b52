#include "engine/outline/rtfOutline.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>

namespace {

constexpr int kMaxOutlineLevel = 9;

/// "\\pard\\plain\\sN\\outlinelevelN-1\\f0\\fs.." for each outline level 1 to 9 (index 0 unused).
const std::string& ParagraphStart(int level) {
    static const auto starts = [] {
        std::array<std::string, kMaxOutlineLevel + 1> all;
        for (int n = 1; n <= kMaxOutlineLevel; ++n) {
            // \outlinelevel counts from 0 for heading 1.
            all[n] = "\\pard\\plain\\s" + std::to_string(n) + "\\outlinelevel" +
                     std::to_string(n - 1) + "\\f0\\fs" + (n == 1 ? "32\\b" : "24");
        }
        return all;
    }();
    return starts[level];
}

void AppendParagraph(std::string& rtf, int outlineLevel, std::string_view text) {
    rtf += ParagraphStart(std::clamp(outlineLevel, 1, kMaxOutlineLevel));
    if (!text.empty()) rtf += ' ';
    AppendRtfText(rtf, text);
    rtf += "\\par\n";
}

bool Plain(char c) { return c >= 0x20 && c != 0x7F && c != '\\' && c != '{' && c != '}'; }

void AppendSpecial(std::string& out, char16_t unit) {
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
    if (unit < 0x20 || unit == 0x7F) return;  // other control characters are not text
    // RTF reads N as a signed 16-bit number; "?" is the fallback for readers without \u.
    char word[12] = {'\\', 'u'};
    char* end = std::to_chars(word + 2, word + sizeof word - 1, static_cast<int16_t>(unit)).ptr;
    *end++ = '?';
    out.append(word, end);
}

/// The code point of the UTF-8 sequence at text[i], advancing i; malformed input gives U+FFFD
/// for one byte, as decoders do.
char32_t NextCodePoint(std::string_view text, std::size_t& i) {
    auto byte = [&text](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    unsigned char lead = byte(i);
    std::size_t length = lead >= 0xF0 && lead <= 0xF4   ? 4
                         : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xC2 && lead <= 0xDF ? 2
                                                        : 0;
    if (length == 0 || i + length > text.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t code = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        unsigned char next = byte(i + k);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        code = code << 6 | (next & 0x3F);
    }
    bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    if (overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += length;
    return code;
}

}  // namespace

void AppendRtfText(std::string& out, std::string_view utf8) {
    std::size_t i = 0;
    while (i < utf8.size()) {
        // Runs of plain characters go in whole; only the others go one by one.
        std::size_t run = i;
        while (run < utf8.size() && Plain(utf8[run])) ++run;
        out.append(utf8.data() + i, run - i);
        i = run;
        if (i == utf8.size()) break;
        if (static_cast<unsigned char>(utf8[i]) < 0x80) {
            AppendSpecial(out, static_cast<char16_t>(utf8[i++]));
            continue;
        }
        char32_t code = NextCodePoint(utf8, i);
        if (code >= 0x10000) {
            code -= 0x10000;
            AppendSpecial(out, static_cast<char16_t>(0xD800 + (code >> 10)));
            AppendSpecial(out, static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            AppendSpecial(out, static_cast<char16_t>(code));
        }
    }
}

std::string EscapeRtfText(std::string_view utf8) {
    std::string out;
    AppendRtfText(out, utf8);
    return out;
}

std::string WriteRtfOutline(const ThvPresentationText& presentation, ThvHiddenSlides hidden) {
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
        if (slide.Hidden && hidden == ThvHiddenSlides::Skip) continue;
        AppendParagraph(rtf, 1, slide.Title);
        if (slide.Hidden && hidden == ThvHiddenSlides::Mark) AppendParagraph(rtf, 2, kHiddenMark);
        for (const ThvParagraph& paragraph : slide.Body) {
            if (paragraph.Kind == ThvTextKind::Picture) {
                AppendParagraph(rtf, 2, PictureLine(paragraph.Text));
            } else {
                AppendParagraph(rtf, paragraph.Level + 2, paragraph.Text);
            }
        }
        if (!slide.Notes.empty()) {
            AppendParagraph(rtf, 2, kNotesHeading);
            for (const ThvParagraph& paragraph : slide.Notes)
                AppendParagraph(rtf, paragraph.Level + 2, paragraph.Text);
        }
        for (const ThvComment& comment : slide.Comments)
            AppendParagraph(rtf, 2, CommentLine(comment));
    }
    rtf += "}\n";
    return rtf;
}
