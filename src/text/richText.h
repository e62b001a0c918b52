#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

/// Rich text (RTF) to plain text, the way a rich-text control saves it as text: one line per
/// paragraph, each ended by CR LF; "\line" breaks the line too, "\tab" and table cells become a
/// tab. Text in "\'hh" is read in the document's code page (or its font's character set), "\uN"
/// as Unicode with its fallback skipped; destinations that hold no document text (font, colour
/// and style tables, document information, pictures, field instructions, "\*" groups) are left
/// out. Any byte sequence is read without a crash; nesting is limited.
///
/// The reader is fed in pieces, so a large file never has to be in memory at once; only the
/// text itself is kept. One reader per document, on one thread.
class ThvRichTextReader {
  public:
    /// Deeper nesting of groups that carry text is refused (EhvError), so that a hostile file
    /// cannot make the state stack grow without bound. Skipped groups only count.
    static constexpr std::size_t MaxGroupDepth = 1000;

    ThvRichTextReader();

    /// Reads the next piece of the document. Throws EhvError when groups nest too deeply.
    void Feed(std::string_view piece);

    /// The plain text (UTF-8) of everything fed; the reader is done after this.
    std::string Finish();

  private:
    enum class Lex { Text, Backslash, Word, Param, Hex1, Hex2, Binary };
    enum class Dest { Text, Skip, FontTable };
    struct Group {
        Dest dest = Dest::Text;
        int unicodeSkip = 1;  // \ucN: fallback characters after each \uN
        int font = -1;
        bool inTable = false;
    };

    static constexpr std::size_t kMaxWordLetters = 40;  // longer words stay unknown
    static constexpr std::size_t kMaxParamChars = 12;   // sign and digits kept of a parameter

    void Char(unsigned char c);
    bool TakeControlWord(const char*& p, const char* end);
    void ControlWord(std::string_view word, std::string_view param);
    void ControlSymbol(unsigned char c);
    void OpenGroup();
    void CloseGroup();
    bool Skipping() const { return skippedDepth_ > 0 || groups_.back().dest != Dest::Text; }
    bool ConsumeFallback();  // true when the token is a \uN fallback character, dropped
    void TextByte(unsigned char c);
    void TextRun(std::string_view run);  // plain bytes of the text state, not skipped
    void TextUnit(char16_t unit);
    void Text(std::string_view utf8);
    void Flush();
    void EndParagraph();
    void EndRow();
    int CodePage() const;

    Lex lex_ = Lex::Text;
    std::string word_;
    std::string param_;
    int hex_ = 0;
    long long binaryLeft_ = 0;
    bool groupStart_ = false;  // the next token is the first of a group: it may name a destination
    bool starGroup_ = false;   // "{\*" seen
    int fallbackLeft_ = 0;

    std::vector<Group> groups_;
    std::size_t skippedDepth_ = 0;
    int documentCodePage_ = 1252;
    int defaultFont_ = -1;
    int fontTableFont_ = -1;
    std::unordered_map<int, int> fontCodePages_;

    std::string pendingBytes_;  // consecutive 8-bit text, decoded together for double-byte pages
    int pendingCodePage_ = 0;
    std::u16string pendingUnits_;  // \uN code units, so surrogate pairs join
    std::string line_;
    std::string text_;
    bool cellBreak_ = false;  // a paragraph ended inside a table cell
};

/// The plain text of a whole rich-text document.
std::string RichTextToPlainText(std::string_view rtf);

/// True when the bytes begin as rich text does ("{\rtf").
bool LooksLikeRichText(std::string_view head);
