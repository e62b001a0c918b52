#include "engine/ppt/pptText.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "engine/base/byteOrder.h"

namespace {

constexpr std::uint16_t kTextCharsAtom = 0x0FA0;
constexpr std::uint16_t kStyleTextPropAtom = 0x0FA1;
constexpr std::uint16_t kTextBytesAtom = 0x0FA8;
constexpr std::uint16_t kSlideNumberMCAtom = 0x0FD8;
constexpr std::uint16_t kDateTimeMCAtom = 0x0FF7;
constexpr std::uint16_t kGenericDateMCAtom = 0x0FF8;
constexpr std::uint16_t kHeaderMCAtom = 0x0FF9;
constexpr std::uint16_t kFooterMCAtom = 0x0FFA;
constexpr std::uint16_t kRtfDateTimeMCAtom = 0x1015;

/// 8-bit text atoms hold the low bytes of UTF-16 characters; the C1 range never holds
/// control characters in practice, so it is read as Windows-1252, as PowerPoint shows it.
char16_t ByteToChar(unsigned char byte) {
    static const char16_t c1[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    return byte >= 0x80 && byte < 0xA0 ? c1[byte - 0x80] : static_cast<char16_t>(byte);
}

char16_t UnitAt(const ThvPptText& text, std::size_t i) {
    return text.Wide ? U16(text.Raw, i * 2) : ByteToChar(static_cast<unsigned char>(text.Raw[i]));
}

/// True when every byte is printable ASCII, a tab or a paragraph end. The check runs over every
/// 8-bit text, and a byte at a time it was 7% of the reader's time: it takes eight bytes
/// a step, each byte's test in its own top bit. Adding to the low seven bits of a byte never
/// carries into the next one, so each test is exact for its byte.
bool IsPrintableAscii(std::string_view text) {
    constexpr std::uint64_t kOnes = 0x0101010101010101;
    constexpr std::uint64_t kLow7 = kOnes * 0x7F;
    constexpr std::uint64_t kTop = kOnes * 0x80;
    const auto equal = [](std::uint64_t word, std::uint8_t byte) {
        const std::uint64_t diff = word ^ (kOnes * byte);
        return ~(((diff & kLow7) + kLow7) | diff) & kTop;
    };
    const auto fits = [&](std::uint64_t word) {
        const std::uint64_t low = word & kLow7;
        const std::uint64_t control = ~((low + kOnes * (0x80 - 0x20)) | word) & kTop;
        const std::uint64_t above = ((low + kOnes) | word) & kTop;  // 0x7F and up
        return ((control & ~(equal(word, '\r') | equal(word, '\t'))) | above) == 0;
    };
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        if (!fits(word)) return false;
    }
    if (i == text.size()) return true;
    std::uint64_t tail = kOnes * ' ';
    std::memcpy(&tail, text.data() + i, text.size() - i);
    return fits(tail);
}

bool IsBlank(std::string_view text) {
    return text.find_first_not_of(" \t\n\r") == std::string_view::npos;
}

/// Paragraph indent levels from a StyleTextPropAtom: runs of paragraph properties, each with a
/// character count, the level and a property set whose size depends on its mask. Formatting
/// that cannot be followed ends the runs, the paragraphs after it keeping the last level read:
/// it is no reason to lose the text. The runs are read as the paragraphs ask for them, so that
/// a text costs no list.
class TParagraphLevels {
  public:
    TParagraphLevels(std::string_view style, std::size_t textLength)
        : style_(style), textLength_(textLength) {
        ReadRun();
        if (hasNext_) Advance();
    }

    /// The level of the paragraph that starts at character start; starts must not go back.
    int LevelAt(std::size_t start) {
        while (hasNext_ && nextFirst_ <= start) Advance();
        return level_;
    }

  private:
    void Advance() {
        level_ = nextLevel_;
        ReadRun();
    }

    /// Reads the next run's first character and level, if there is one; a run whose property
    /// set is cut off still counts, the runs after it do not.
    void ReadRun() {
        hasNext_ = false;
        if (stopped_ || covered_ > textLength_ || style_.size() - at_ < 10) return;
        const std::uint32_t count = U32(style_, at_);
        const int level = U16(style_, at_ + 4);
        const std::uint32_t mask = U32(style_, at_ + 6);
        at_ += 10;
        hasNext_ = true;
        nextFirst_ = covered_;
        nextLevel_ = std::min(level, 8);
        std::size_t fields = 0;
        if (mask & 0x000F) fields += 2;  // bullet flags
        if (mask & 0x0080) fields += 2;  // bullet character
        if (mask & 0x0010) fields += 2;  // bullet font
        if (mask & 0x0040) fields += 2;  // bullet size
        if (mask & 0x0020) fields += 4;  // bullet colour
        for (std::uint32_t bit : {0x0800u, 0x1000u, 0x2000u, 0x4000u, 0x0100u, 0x0400u, 0x8000u}) {
            if (mask & bit) fields += 2;  // alignment, spacing, margins, indent, tab size
        }
        std::size_t tail = 0;
        if (mask & 0x10000) tail += 2;   // font alignment
        if (mask & 0xE0000) tail += 2;   // wrap flags
        if (mask & 0x200000) tail += 2;  // text direction
        bool whole = Take(fields);
        if (whole && (mask & 0x100000)) {  // tab stops: a count and four bytes each
            whole = style_.size() - at_ >= 2 && Take(2 + std::size_t{U16(style_, at_)} * 4);
        }
        stopped_ = !whole || !Take(tail) || count == 0;
        covered_ += count;
    }

    bool Take(std::size_t bytes) {
        if (bytes > style_.size() - at_) return false;
        at_ += bytes;
        return true;
    }

    std::string_view style_;
    std::size_t textLength_;
    std::size_t at_ = 0;
    std::size_t covered_ = 0;
    bool stopped_ = false;
    bool hasNext_ = false;
    std::size_t nextFirst_ = 0;
    int nextLevel_ = 0;
    int level_ = 0;
};

/// Writes the character at unit i as UTF-8 (advancing i past a surrogate pair); a lone
/// surrogate becomes U+FFFD. Done here rather than through the platform's converter: this is
/// the reader's inner loop.
char* PutUtf8(const ThvPptText& text, std::size_t& i, char* out) {
    std::uint32_t c = UnitAt(text, i);
    const std::uint32_t next = i + 1 < text.Size() ? UnitAt(text, i + 1) : 0;
    if (c >= 0xD800 && c < 0xDC00 && next >= 0xDC00 && next < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
        ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
        c = 0xFFFD;
    }
    if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | c >> 6);
    } else if (c < 0x10000) {
        *out++ = static_cast<char>(0xE0 | c >> 12);
        *out++ = static_cast<char>(0x80 | (c >> 6 & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | c >> 18);
        *out++ = static_cast<char>(0x80 | (c >> 12 & 0x3F));
        *out++ = static_cast<char>(0x80 | (c >> 6 & 0x3F));
    }
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
    return out;
}

const std::string& FieldValue(ThvPptField kind, const ThvPptFieldValues& values) {
    static const std::string none;
    switch (kind) {
        case ThvPptField::SlideNumber:
            return values.SlideNumber;
        case ThvPptField::Date:
            return values.Date;
        case ThvPptField::Header:
            return values.Header;
        case ThvPptField::Footer:
            return values.Footer;
        case ThvPptField::TodayDate:
            break;
    }
    return none;
}

/// The general way through a text, one unit at a time. Compiled once per atom kind: this is
/// the reader's inner loop.
template <bool Wide>
void ParagraphsOf(const ThvPptText& text, const ThvPptFieldValues& values, std::string& scratch,
                  std::vector<ThvParagraph>& out) {
    const std::size_t size = text.Size();
    const unsigned char* raw = reinterpret_cast<const unsigned char*>(text.Raw.data());
    TParagraphLevels levels(text.Style, size);
    std::vector<ThvPptFieldRef> fields = text.Fields;
    std::stable_sort(fields.begin(), fields.end(),
                     [](const auto& a, const auto& b) { return a.Position < b.Position; });
    std::size_t valueBytes = 0;
    for (const ThvPptFieldRef& field : fields) valueBytes += FieldValue(field.Kind, values).size();
    // Three bytes of UTF-8 at most per UTF-16 unit (a pair of units gives four).
    if (scratch.size() < size * 3 + valueBytes) scratch.resize(size * 3 + valueBytes);
    std::size_t start = 0, field = 0;
    // Where the next field may stand: until then a character needs no look at the fields.
    const auto nextField = [&] {
        return field < fields.size() ? std::size_t{fields[field].Position} : SIZE_MAX;
    };
    std::size_t fieldAt = nextField();
    char* const begin = scratch.data();
    char* end = begin;
    for (std::size_t i = 0; i <= size; ++i) {
        char16_t c = u'\r';
        if (i < size) c = Wide ? static_cast<char16_t>(raw[2 * i] | raw[2 * i + 1] << 8) : raw[i];
        if (i >= fieldAt) {
            while (field < fields.size() && fields[field].Position < i) ++field;
            const bool here = field < fields.size() && fields[field].Position == i;
            if (here && i < size && c != u'\r') {
                const std::string& value = FieldValue(fields[field].Kind, values);
                end = std::copy(value.begin(), value.end(), end);
                ++field;
                fieldAt = nextField();
                continue;
            }
            fieldAt = nextField();
        }
        if (c >= 0x80) {
            end = PutUtf8(text, i, end);
        } else if (c >= 0x20 || c == u'\t') {
            *end++ = static_cast<char>(c);
        } else if (c == 0x0B) {
            *end++ = '\n';
        } else if (c == u'\r') {
            const std::string_view paragraph(begin, end - begin);
            if (!IsBlank(paragraph)) out.push_back({levels.LevelAt(start), std::string(paragraph)});
            end = begin;
            start = i + 1;
        }
    }
}

}  // namespace

bool ReadPptTextAtom(std::uint16_t type, std::string_view body, ThvPptText& text) {
    switch (type) {
        case kTextCharsAtom:
        case kTextBytesAtom:
            text.Wide = type == kTextCharsAtom;
            text.Raw = text.Wide ? body.substr(0, body.size() & ~std::size_t{1}) : body;
            text.HasChars = true;
            return true;
        case kStyleTextPropAtom:
            text.Style = body;
            return true;
        case kSlideNumberMCAtom:
        case kDateTimeMCAtom:
        case kGenericDateMCAtom:
        case kHeaderMCAtom:
        case kFooterMCAtom:
        case kRtfDateTimeMCAtom: {
            if (body.size() < 4) return true;
            ThvPptField kind = ThvPptField::TodayDate;
            if (type == kSlideNumberMCAtom) kind = ThvPptField::SlideNumber;
            if (type == kGenericDateMCAtom) kind = ThvPptField::Date;
            if (type == kHeaderMCAtom) kind = ThvPptField::Header;
            if (type == kFooterMCAtom) kind = ThvPptField::Footer;
            // Writers put a text's fields after its characters, so a field always belongs to
            // the text read last; a bound keeps hostile records from growing the list.
            if (text.Fields.size() < 4096) text.Fields.push_back({U32(body, 0), kind});
            return true;
        }
        default:
            return false;
    }
}

bool SamePptChars(const ThvPptText& a, const ThvPptText& b) {
    if (a.Wide == b.Wide) return a.Raw == b.Raw;
    if (a.Size() != b.Size()) return false;
    for (std::size_t i = 0; i < a.Size(); ++i) {
        if (UnitAt(a, i) != UnitAt(b, i)) return false;
    }
    return true;
}

void AppendPptParagraphs(const ThvPptText& text, const ThvPptFieldValues& values,
                         std::string& scratch, std::vector<ThvParagraph>& out) {
    // Most 8-bit texts are printable ASCII throughout: their paragraphs are the bytes as they
    // are, with nothing to convert.
    const bool printable = !text.Wide && text.Fields.empty() && IsPrintableAscii(text.Raw);
    if (printable) {
        TParagraphLevels levels(text.Style, text.Raw.size());
        std::size_t start = 0;
        while (start <= text.Raw.size()) {
            std::size_t end = text.Raw.find('\r', start);
            if (end == std::string_view::npos) end = text.Raw.size();
            const std::string_view paragraph = text.Raw.substr(start, end - start);
            if (!IsBlank(paragraph)) out.push_back({levels.LevelAt(start), std::string(paragraph)});
            start = end + 1;
        }
        return;
    }
    if (text.Wide) {
        ParagraphsOf<true>(text, values, scratch, out);
    } else {
        ParagraphsOf<false>(text, values, scratch, out);
    }
}

std::string PptStringLine(std::string_view utf16, bool keepLineBreaks) {
    ThvPptText text;
    text.Raw = utf16.substr(0, utf16.size() & ~std::size_t{1});
    text.Wide = true;
    std::string line, scratch(text.Size() * 3 + 4, '\0');
    char* end = scratch.data();
    for (std::size_t i = 0; i < text.Size(); ++i) {
        const char16_t c = UnitAt(text, i);
        if (c >= 0x80) {
            end = PutUtf8(text, i, end);
        } else if (c >= 0x20 || c == u'\t') {
            *end++ = static_cast<char>(c);
        } else if (c == u'\r' || c == 0x0B || c == u'\n') {
            *end++ = keepLineBreaks ? '\n' : ' ';
        }
    }
    return std::string(scratch.data(), end);
}
