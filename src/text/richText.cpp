#include "text/richText.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

#include "platform/base/hvError.h"
#include "text/textEncoding.h"

namespace {

// Destinations whose text is not document text. Field results, list labels and footnote
// references stay: a reader of the plain text sees them on the page too.
constexpr std::array<std::string_view, 62> kSkippedDestinations = {
    "aftncn",       "aftnsep",      "aftnsepc",
    "annotation",   "atnauthor",    "atnid",
    "author",       "bkmkend",      "bkmkstart",
    "blipuid",      "colortbl",     "colorschememapping",
    "comment",      "datastore",    "docvar",
    "doccomm",      "falt",         "fldinst",
    "filetbl",      "footer",       "footerf",
    "footerl",      "footerr",      "footnote",
    "ftncn",        "ftnsep",       "ftnsepc",
    "generator",    "header",       "headerf",
    "headerl",      "headerr",      "info",
    "keywords",     "latentstyles", "leveltext",
    "levelnumbers", "listname",     "listoverridetable",
    "listtable",    "mmathPr",      "nonshppict",
    "objclass",     "objdata",      "objname",
    "operator",     "panose",       "pgdsctbl",
    "pict",         "pntxta",       "pntxtb",
    "private",      "revtbl",       "rsidtbl",
    "stylesheet",   "subject",      "template",
    "themedata",    "title",        "userprops",
    "xmlnstbl",     "wgrffmtfilter"};

bool IsSkippedDestination(std::string_view word) {
    return std::find(kSkippedDestinations.begin(), kSkippedDestinations.end(), word) !=
           kSkippedDestinations.end();
}

// Windows character sets of the font table as code pages.
int CharsetCodePage(int charset) {
    switch (charset) {
        case 77:
            return 10000;
        case 128:
            return 932;
        case 129:
            return 949;
        case 130:
            return 1361;
        case 134:
            return 936;
        case 136:
            return 950;
        case 161:
            return 1253;
        case 162:
            return 1254;
        case 163:
            return 1258;
        case 177:
            return 1255;
        case 178:
            return 1256;
        case 186:
            return 1257;
        case 204:
            return 1251;
        case 222:
            return 874;
        case 238:
            return 1250;
        default:
            return 0;  // ANSI, default, symbol, OEM: the document's own code page
    }
}

std::string CodePageName(int codePage) {
    switch (codePage) {
        case 65001:
            return "UTF-8";
        case 10000:
            return "macintosh";
        case 437:
        case 850:
        case 852:
        case 866:
            return "ibm-" + std::to_string(codePage);
        default:
            return "windows-" + std::to_string(codePage);
    }
}

std::string DecodeBytes(const std::string& bytes, int codePage) {
    try {
        return DecodeText(bytes, CodePageName(codePage));
    } catch (const EhvError&) {
        // A code page the platform does not know: Western text is the likeliest guess.
        return DecodeText(bytes, "windows-1252");
    }
}

// Code pages whose printable ASCII bytes are those characters, alone or next to any other
// byte; text in them needs no converter for the bytes 0x20 to 0x7E.
bool AsciiCompatible(int codePage) {
    constexpr int kPages[] = {437,  850,  852,  866,  874,  932,  936,  949,  950,   1250,
                              1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258, 10000, 65001};
    return std::find(std::begin(kPages), std::end(kPages), codePage) != std::end(kPages);
}

bool IsPrintableAscii(std::string_view text) {
    for (char c : text) {
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

// Bytes that are text wherever they stand in the text state: no markup, no control character.
bool IsPlainByte(char c) {
    return static_cast<unsigned char>(c) >= 0x20 && c != '\\' && c != '{' && c != '}';
}

// A control word against one name: the length first, then the letters, compared in place. The
// reader tries every word against a few dozen names, and most words are none of them.
template <std::size_t N>
[[gnu::always_inline]] inline bool Is(std::string_view word, const char (&name)[N]) {
    return word.size() == N - 1 && std::memcmp(word.data(), name, N - 1) == 0;
}

bool IsLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

int HexValue(unsigned char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

ThvRichTextReader::ThvRichTextReader() { groups_.emplace_back(); }

void ThvRichTextReader::Feed(std::string_view piece) {
    const char* p = piece.data();
    const char* const end = p + piece.size();
    while (p < end) {
        if (lex_ == Lex::Text) {
            // Runs of plain text and whole control words are most of a document: taken in one
            // step each, not byte by byte.
            if (fallbackLeft_ == 0 && IsPlainByte(*p)) {
                const char* run = p;
                while (p < end && IsPlainByte(*p)) ++p;
                groupStart_ = false;
                if (!Skipping()) TextRun(std::string_view(run, static_cast<std::size_t>(p - run)));
                continue;
            }
            if (*p == '\\' && TakeControlWord(p, end)) continue;
        }
        Char(static_cast<unsigned char>(*p++));
    }
}

bool ThvRichTextReader::TakeControlWord(const char*& p, const char* end) {
    const char* q = p + 1;
    if (q >= end || !IsLetter(static_cast<unsigned char>(*q))) return false;
    const char* const word = q;
    while (q < end && IsLetter(static_cast<unsigned char>(*q))) ++q;
    const char* const param = q;
    if (q < end && (IsDigit(static_cast<unsigned char>(*q)) || *q == '-')) {
        ++q;
        while (q < end && IsDigit(static_cast<unsigned char>(*q))) ++q;
    }
    // Without its delimiter in this piece, the word may go on in the next one.
    if (q >= end) return false;
    const std::string_view name(word, std::min<std::size_t>(param - word, kMaxWordLetters));
    // \bin's data starts after the delimiter; the byte-by-byte path knows how to skip it.
    if (Is(name, "bin")) return false;
    ControlWord(name, std::string_view(param, std::min<std::size_t>(q - param, kMaxParamChars)));
    p = *q == ' ' ? q + 1 : q;  // a blank delimiter belongs to the word
    return true;
}

std::string ThvRichTextReader::Finish() {
    if (lex_ == Lex::Word || lex_ == Lex::Param) ControlWord(word_, param_);
    lex_ = Lex::Text;
    Flush();
    if (!line_.empty()) EndParagraph();
    return std::move(text_);
}

void ThvRichTextReader::Char(unsigned char c) {
    switch (lex_) {
        case Lex::Binary:
            if (--binaryLeft_ <= 0) lex_ = Lex::Text;
            return;
        case Lex::Backslash:
            if (IsLetter(c)) {
                word_.assign(1, static_cast<char>(c));
                param_.clear();
                lex_ = Lex::Word;
            } else if (c == '\'') {
                lex_ = Lex::Hex1;
            } else {
                lex_ = Lex::Text;
                ControlSymbol(c);
            }
            return;
        case Lex::Word:
            if (IsLetter(c)) {
                // Words are at most 32 letters; longer ones are garbage and stay unknown.
                if (word_.size() < kMaxWordLetters) word_ += static_cast<char>(c);
                return;
            }
            if (IsDigit(c) || c == '-') {
                param_.assign(1, static_cast<char>(c));
                lex_ = Lex::Param;
                return;
            }
            lex_ = Lex::Text;
            ControlWord(word_, param_);
            if (c != ' ') Char(c);  // the delimiter belongs to the text unless it is a blank
            return;
        case Lex::Param:
            if (IsDigit(c)) {
                if (param_.size() < kMaxParamChars) param_ += static_cast<char>(c);
                return;
            }
            lex_ = Lex::Text;
            ControlWord(word_, param_);
            if (lex_ == Lex::Binary) {
                // \binN's one delimiter blank is not data.
                if (c != ' ' && --binaryLeft_ <= 0) lex_ = Lex::Text;
                return;
            }
            if (c != ' ') Char(c);
            return;
        case Lex::Hex1:
            hex_ = HexValue(c);
            lex_ = hex_ < 0 ? Lex::Text : Lex::Hex2;
            return;
        case Lex::Hex2: {
            lex_ = Lex::Text;
            const int low = HexValue(c);
            if (low < 0) return;
            if (!ConsumeFallback() && !Skipping())
                TextByte(static_cast<unsigned char>(hex_ * 16 + low));
            return;
        }
        case Lex::Text:
            break;
    }
    switch (c) {
        case '\\':
            lex_ = Lex::Backslash;
            return;
        case '{':
            OpenGroup();
            return;
        case '}':
            CloseGroup();
            return;
        case '\r':
        case '\n':
        case '\0':
            return;  // line ends in the file are not text
        default:
            groupStart_ = false;
            if (ConsumeFallback() || Skipping()) return;
            if (c == '\t')
                Text("\t");
            else if (c >= 0x20)
                TextByte(c);
    }
}

bool ThvRichTextReader::ConsumeFallback() {
    if (fallbackLeft_ <= 0) return false;
    --fallbackLeft_;
    return true;
}

void ThvRichTextReader::OpenGroup() {
    fallbackLeft_ = 0;
    // Font table entries are groups whose words matter; everything else skipped only counts.
    if (skippedDepth_ > 0 || groups_.back().dest == Dest::Skip) {
        ++skippedDepth_;
        return;
    }
    if (groups_.size() >= MaxGroupDepth) throw EhvError("The rich text is nested too deeply.");
    groups_.push_back(groups_.back());
    groupStart_ = true;
    starGroup_ = false;
}

void ThvRichTextReader::CloseGroup() {
    fallbackLeft_ = 0;
    groupStart_ = false;
    if (skippedDepth_ > 0) {
        --skippedDepth_;
        return;
    }
    Flush();
    // A stray closing brace at the top level is ignored rather than ending the document.
    if (groups_.size() > 1) groups_.pop_back();
}

void ThvRichTextReader::ControlSymbol(unsigned char c) {
    if (c == '*') {
        if (groupStart_) starGroup_ = true;
        return;
    }
    const bool first = groupStart_;
    groupStart_ = false;
    if (first && starGroup_) {
        groups_.back().dest = Dest::Skip;
        return;
    }
    if (ConsumeFallback() || Skipping()) return;
    switch (c) {
        case '\\':
        case '{':
        case '}':
            TextByte(c);
            break;
        case '~':
            Text("\xC2\xA0");
            break;
        case '_':
            Text("-");
            break;
        case '\r':
        case '\n':
            EndParagraph();
            break;
        case '\t':
            Text("\t");
            break;
        default:
            break;  // \- (optional hyphen), \| and the rest carry no text
    }
}

void ThvRichTextReader::ControlWord(std::string_view w, std::string_view param) {
    const bool first = groupStart_;
    groupStart_ = false;
    const bool hasParam = !param.empty() && param != "-";
    long long n = 0;
    if (hasParam) {
        // At most kMaxParamChars characters: cannot overflow.
        for (char c : param.substr(param[0] == '-' ? 1 : 0)) n = n * 10 + (c - '0');
        if (param[0] == '-') n = -n;
        n = std::clamp<long long>(n, -2147483648LL, 2147483647LL);
    }
    Group& g = groups_.back();

    if (Is(w, "bin")) {
        // Binary data may hold braces and backslashes: skip it whatever the group is.
        if (n > 0) {
            binaryLeft_ = n;
            lex_ = Lex::Binary;
        }
        return;
    }
    if (first && skippedDepth_ == 0 && g.dest == Dest::Text) {
        if (starGroup_ || IsSkippedDestination(w)) {
            g.dest = Dest::Skip;
            return;
        }
        if (Is(w, "fonttbl")) {
            g.dest = Dest::FontTable;
            return;
        }
    }
    if (skippedDepth_ > 0 || g.dest == Dest::Skip) return;
    if (g.dest == Dest::FontTable) {
        if (Is(w, "f") && hasParam) fontTableFont_ = static_cast<int>(n);
        // A table of absurd size is garbage; the first fonts are enough to read the text.
        if (fontCodePages_.size() < 4096) {
            if (Is(w, "fcharset") && hasParam && fontTableFont_ >= 0)
                fontCodePages_[fontTableFont_] = CharsetCodePage(static_cast<int>(n));
            else if (Is(w, "cpg") && hasParam && fontTableFont_ >= 0 && n > 0)
                fontCodePages_[fontTableFont_] = static_cast<int>(n);
        }
        return;
    }

    // Document-level settings count whatever else is pending.
    if (Is(w, "ansicpg") && hasParam && n > 0) {
        documentCodePage_ = static_cast<int>(n);
        return;
    }
    if (Is(w, "ansi")) return void(documentCodePage_ = 1252);
    if (Is(w, "mac")) return void(documentCodePage_ = 10000);
    if (Is(w, "pc")) return void(documentCodePage_ = 437);
    if (Is(w, "pca")) return void(documentCodePage_ = 850);
    if (Is(w, "deff") && hasParam) return void(defaultFont_ = static_cast<int>(n));
    if (Is(w, "uc") && hasParam)
        return void(g.unicodeSkip = static_cast<int>(std::clamp<long long>(n, 0, 255)));
    if (Is(w, "f") && hasParam) return void(g.font = static_cast<int>(n));
    if (Is(w, "plain")) return void(g.font = defaultFont_);
    if (Is(w, "pard")) return void(g.inTable = false);
    if (Is(w, "intbl")) return void(g.inTable = true);

    if (Is(w, "u") && hasParam) {
        if (ConsumeFallback()) return;
        TextUnit(static_cast<char16_t>(n < 0 ? n + 65536 : n));
        fallbackLeft_ = g.unicodeSkip;
        return;
    }
    if (ConsumeFallback()) return;

    if (Is(w, "par") || Is(w, "sect") || Is(w, "page")) {
        if (g.inTable) {
            // A paragraph inside a cell: the cell goes on, on the same line.
            Flush();
            cellBreak_ = true;
        } else {
            EndParagraph();
        }
    } else if (Is(w, "line")) {
        EndParagraph();
    } else if (Is(w, "tab")) {
        Text("\t");
    } else if (Is(w, "cell") || Is(w, "nestcell")) {
        Flush();
        cellBreak_ = false;
        line_ += '\t';
    } else if (Is(w, "row") || Is(w, "nestrow")) {
        EndRow();
    } else if (Is(w, "emdash")) {
        Text("\xE2\x80\x94");
    } else if (Is(w, "endash")) {
        Text("\xE2\x80\x93");
    } else if (Is(w, "emspace") || Is(w, "enspace") || Is(w, "qmspace")) {
        Text(" ");
    } else if (Is(w, "bullet")) {
        Text("\xE2\x80\xA2");
    } else if (Is(w, "lquote")) {
        Text("\xE2\x80\x98");
    } else if (Is(w, "rquote")) {
        Text("\xE2\x80\x99");
    } else if (Is(w, "ldblquote")) {
        Text("\xE2\x80\x9C");
    } else if (Is(w, "rdblquote")) {
        Text("\xE2\x80\x9D");
    }
}

int ThvRichTextReader::CodePage() const {
    int font = groups_.back().font;
    if (font < 0) font = defaultFont_;
    if (font >= 0) {
        const auto it = fontCodePages_.find(font);
        if (it != fontCodePages_.end() && it->second != 0) return it->second;
    }
    return documentCodePage_;
}

void ThvRichTextReader::TextByte(unsigned char c) {
    const int codePage = CodePage();
    if (!pendingUnits_.empty() || (!pendingBytes_.empty() && pendingCodePage_ != codePage)) Flush();
    if (cellBreak_) {
        line_ += ' ';
        cellBreak_ = false;
    }
    pendingCodePage_ = codePage;
    pendingBytes_ += static_cast<char>(c);
}

void ThvRichTextReader::TextRun(std::string_view run) {
    if (pendingBytes_.empty() && IsPrintableAscii(run) && AsciiCompatible(CodePage())) {
        if (!pendingUnits_.empty()) Flush();
        if (cellBreak_) {
            line_ += ' ';
            cellBreak_ = false;
        }
        line_ += run;
        return;
    }
    for (char c : run) TextByte(static_cast<unsigned char>(c));
}

void ThvRichTextReader::TextUnit(char16_t unit) {
    if (!pendingBytes_.empty()) Flush();
    if (cellBreak_) {
        line_ += ' ';
        cellBreak_ = false;
    }
    pendingUnits_ += unit;
}

void ThvRichTextReader::Text(std::string_view utf8) {
    Flush();
    if (cellBreak_) {
        line_ += ' ';
        cellBreak_ = false;
    }
    line_ += utf8;
}

void ThvRichTextReader::Flush() {
    if (!pendingBytes_.empty()) {
        // Single characters between control words come here one by one; printable ASCII needs
        // no converter, and the code page library is then not loaded at all.
        if (IsPrintableAscii(pendingBytes_) && AsciiCompatible(pendingCodePage_)) {
            line_ += pendingBytes_;
        } else {
            line_ += DecodeBytes(pendingBytes_, pendingCodePage_);
        }
        pendingBytes_.clear();
    }
    if (!pendingUnits_.empty()) {
        line_ += Utf16ToUtf8(pendingUnits_);
        pendingUnits_.clear();
    }
}

void ThvRichTextReader::EndParagraph() {
    Flush();
    cellBreak_ = false;
    text_ += line_;
    text_ += "\r\n";
    line_.clear();
}

void ThvRichTextReader::EndRow() {
    Flush();
    while (!line_.empty() && line_.back() == '\t') line_.pop_back();
    EndParagraph();
}

std::string RichTextToPlainText(std::string_view rtf) {
    ThvRichTextReader reader;
    reader.Feed(rtf);
    return reader.Finish();
}

bool LooksLikeRichText(std::string_view head) { return head.starts_with("{\\rtf"); }
