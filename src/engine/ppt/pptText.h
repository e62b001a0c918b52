#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/presentationText.h"

/// The texts of binary PowerPoint slides: the atoms a text is stored in and the paragraphs it
/// gives. Internal to the binary reader.

/// A field whose value is not stored with the text: a placeholder character stands for it.
enum class ThvPptField {
    SlideNumber,
    Date,       ///< the date of the headers-and-footers settings
    TodayDate,  ///< a date computed when the slide is shown: stored nowhere
    Header,
    Footer,
};

struct ThvPptFieldRef {
    std::uint32_t Position = 0;  ///< of the placeholder character, in characters of the text
    ThvPptField Kind = ThvPptField::SlideNumber;
};

/// What a slide's fields stand for (UTF-8, one line each); empty for what the slide does not
/// show.
struct ThvPptFieldValues {
    std::string SlideNumber;
    std::string Date;
    std::string Header;
    std::string Footer;
};

/// One text of a slide: its kind, its characters as stored, its paragraph styles and fields.
/// Views into the bytes of the record it was read from, which must outlive it.
struct ThvPptText {
    std::uint32_t Type = 4;  ///< a text header's type; "other" until a header says otherwise
    std::string_view Raw;    ///< UTF-16LE units, or one byte per character
    bool Wide = false;
    std::string_view Style;
    bool HasChars = false;
    std::vector<ThvPptFieldRef> Fields;

    std::size_t Size() const { return Wide ? Raw.size() / 2 : Raw.size(); }
};

/// Text header types.
inline constexpr std::uint32_t kPptTitleText = 0;
inline constexpr std::uint32_t kPptNotesText = 2;
inline constexpr std::uint32_t kPptUnusedText = 3;
inline constexpr std::uint32_t kPptCenterTitleText = 6;

/// Reads one record of a text (characters, paragraph styles, a field's placeholder) into
/// text; true when it was one. body must outlive text.
bool ReadPptTextAtom(std::uint16_t type, std::string_view body, ThvPptText& text);

/// True when both hold the same characters, whichever width each is stored in.
bool SamePptChars(const ThvPptText& a, const ThvPptText& b);

/// Appends the paragraphs of text to out: 0x0D ends a paragraph, 0x0B is a line break inside
/// one, tabs stay, other control characters are dropped, each field's placeholder becomes its
/// value. Blank paragraphs are left out; levels come from the paragraph styles (where a style
/// cannot be followed, the rest keep the last level read). scratch is a buffer kept between
/// calls.
void AppendPptParagraphs(const ThvPptText& text, const ThvPptFieldValues& values,
                         std::string& scratch, std::vector<ThvParagraph>& out);

/// UTF-16LE bytes (a string record) as one line of UTF-8: line and paragraph breaks become
/// spaces (with keepLineBreaks, "\n"), other control characters are dropped.
std::string PptStringLine(std::string_view utf16, bool keepLineBreaks = false);
