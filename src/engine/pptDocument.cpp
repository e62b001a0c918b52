#include "pptDocument.h"

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "byteOrder.h"
#include "cfbReader.h"
#include "engineError.h"
#include "engineLimits.h"
#include "pptCrypto.h"

namespace {

// Record types used here.
constexpr std::uint16_t kDocumentContainer = 0x03E8;
constexpr std::uint16_t kSlideContainer = 0x03EE;
constexpr std::uint16_t kSlidePersistAtom = 0x03F3;
constexpr std::uint16_t kVbaInfoContainer = 0x03FF;
constexpr std::uint16_t kVbaInfoAtom = 0x0400;
constexpr std::uint16_t kDrawingContainer = 0x040C;
constexpr std::uint16_t kDocInfoListContainer = 0x07D0;
constexpr std::uint16_t kOutlineTextRefAtom = 0x0F9E;
constexpr std::uint16_t kTextHeaderAtom = 0x0F9F;
constexpr std::uint16_t kTextCharsAtom = 0x0FA0;
constexpr std::uint16_t kStyleTextPropAtom = 0x0FA1;
constexpr std::uint16_t kTextBytesAtom = 0x0FA8;
constexpr std::uint16_t kSlideListWithText = 0x0FF0;
constexpr std::uint16_t kUserEditAtom = 0x0FF5;
constexpr std::uint16_t kCurrentUserAtom = 0x0FF6;
constexpr std::uint16_t kPersistDirectoryAtom = 0x1772;
constexpr std::uint16_t kCryptSession10Container = 0x2F14;
constexpr std::uint16_t kDgContainer = 0xF002;
constexpr std::uint16_t kSpgrContainer = 0xF003;
constexpr std::uint16_t kSpContainer = 0xF004;
constexpr std::uint16_t kFspAtom = 0xF00A;
constexpr std::uint16_t kOptAtom = 0xF00B;
constexpr std::uint16_t kClientTextbox = 0xF00D;
constexpr std::uint16_t kChildAnchor = 0xF00F;
constexpr std::uint16_t kClientAnchor = 0xF010;
constexpr std::uint16_t kTertiaryOptAtom = 0xF122;

constexpr std::uint16_t kLineShape = 20;  // shape type of a straight line
constexpr std::uint16_t kTablePropertiesId = 0x03A0;

constexpr std::uint32_t kEncryptedHeaderToken = 0xF3D1C4DF;
constexpr std::size_t kRecordHeaderBytes = 8;

// Text types of a TextHeaderAtom.
constexpr std::uint32_t kTitleText = 0;
constexpr std::uint32_t kNotesText = 2;
constexpr std::uint32_t kUnusedText = 3;
constexpr std::uint32_t kCenterTitleText = 6;

/// The password PowerPoint tries by itself: files "protected" only against changes use it.
constexpr std::u16string_view kDefaultPassword = u"VelvetSweatshop";

std::string Hex(std::uint32_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (int shift = 12; shift >= 0; shift -= 4) text += digits[(value >> shift) & 0xF];
    return "0x" + text;
}

struct TRecord {
    std::uint16_t Version = 0;
    std::uint16_t Instance = 0;
    std::uint16_t Type = 0;
    std::size_t Offset = 0;  ///< of the header
    std::size_t Body = 0;
    std::size_t End = 0;
};

/// One text of a slide: its kind, its characters as stored, the paragraph styles. Views into
/// the document stream; decoded only when written out.
struct TText {
    std::uint32_t Type = 4;  // "other" until a header says otherwise
    std::string_view Raw;    ///< UTF-16LE units, or one byte per character
    bool Wide = false;
    std::string_view Style;
    bool HasChars = false;

    std::size_t Size() const { return Wide ? Raw.size() / 2 : Raw.size(); }
};

struct TSlideListEntry {
    std::uint32_t PersistId = 0;
    std::vector<TText> Texts;
};

/// 8-bit text atoms hold the low bytes of UTF-16 characters; the C1 range never holds
/// control characters in practice, so it is read as Windows-1252, as PowerPoint shows it.
char16_t ByteToChar(unsigned char byte) {
    static const char16_t c1[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    return byte >= 0x80 && byte < 0xA0 ? c1[byte - 0x80] : static_cast<char16_t>(byte);
}

char16_t UnitAt(const TText& text, std::size_t i) {
    return text.Wide ? U16(text.Raw, i * 2) : ByteToChar(static_cast<unsigned char>(text.Raw[i]));
}

bool SameChars(const TText& a, const TText& b) {
    if (a.Wide == b.Wide) return a.Raw == b.Raw;
    if (a.Size() != b.Size()) return false;
    for (std::size_t i = 0; i < a.Size(); ++i) {
        if (UnitAt(a, i) != UnitAt(b, i)) return false;
    }
    return true;
}

bool IsBlank(std::string_view text) {
    return text.find_first_not_of(" \t\n\r") == std::string_view::npos;
}

/// Paragraph indent levels from a StyleTextPropAtom: runs of paragraph properties, each with a
/// character count, the level and a property set whose size depends on its mask. Formatting
/// that cannot be followed leaves the remaining paragraphs at level 0: it is no reason to lose
/// the text.
std::vector<std::pair<std::size_t, int>> ParagraphLevelRuns(std::string_view style,
                                                            std::size_t textLength) {
    std::vector<std::pair<std::size_t, int>> runs;  // (first character, level)
    std::size_t at = 0, covered = 0;
    const auto take = [&](std::size_t bytes) {
        if (bytes > style.size() - at) return false;
        at += bytes;
        return true;
    };
    while (covered <= textLength && style.size() - at >= 10) {
        const std::uint32_t count = U32(style, at);
        const int level = U16(style, at + 4);
        const std::uint32_t mask = U32(style, at + 6);
        at += 10;
        runs.emplace_back(covered, std::min(level, 8));
        std::size_t fields = 0;
        if (mask & 0x000F) fields += 2;  // bullet flags
        if (mask & 0x0080) fields += 2;  // bullet character
        if (mask & 0x0010) fields += 2;  // bullet font
        if (mask & 0x0040) fields += 2;  // bullet size
        if (mask & 0x0020) fields += 4;  // bullet colour
        for (std::uint32_t bit : {0x0800u, 0x1000u, 0x2000u, 0x4000u, 0x0100u, 0x0400u, 0x8000u}) {
            if (mask & bit) fields += 2;  // alignment, spacing, margins, indent, tab size
        }
        if (!take(fields)) break;
        if (mask & 0x100000) {  // tab stops: a count and four bytes each
            if (style.size() - at < 2) break;
            const std::size_t stops = U16(style, at);
            if (!take(2 + stops * 4)) break;
        }
        std::size_t tail = 0;
        if (mask & 0x10000) tail += 2;   // font alignment
        if (mask & 0xE0000) tail += 2;   // wrap flags
        if (mask & 0x200000) tail += 2;  // text direction
        if (!take(tail)) break;
        if (count == 0) break;
        covered += count;
    }
    return runs;
}

/// Writes the character at unit i as UTF-8 (advancing i past a surrogate pair); a lone
/// surrogate becomes U+FFFD. Done here rather than through the platform's converter: this is
/// the reader's inner loop.
char* PutUtf8(const TText& text, std::size_t& i, char* out) {
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

/// The paragraphs of one text: 0x0D ends a paragraph, 0x0B is a line break inside one, tabs
/// stay, other control characters are dropped. Blank paragraphs are left out. scratch is a
/// buffer kept between calls. Compiled once per atom kind: this is the reader's inner loop.
template <bool Wide>
void ParagraphsOf(const TText& text, std::string& scratch, std::vector<ThvParagraph>& out) {
    const std::size_t size = text.Size();
    const unsigned char* raw = reinterpret_cast<const unsigned char*>(text.Raw.data());
    const auto runs = ParagraphLevelRuns(text.Style, size);
    // Three bytes of UTF-8 at most per UTF-16 unit (a pair of units gives four).
    if (scratch.size() < size * 3) scratch.resize(size * 3);
    std::size_t start = 0, run = 0;
    char* const begin = scratch.data();
    char* end = begin;
    for (std::size_t i = 0; i <= size; ++i) {
        char16_t c = u'\r';
        if (i < size) c = Wide ? static_cast<char16_t>(raw[2 * i] | raw[2 * i + 1] << 8) : raw[i];
        if (c >= 0x80) {
            end = PutUtf8(text, i, end);
        } else if (c >= 0x20 || c == u'\t') {
            *end++ = static_cast<char>(c);
        } else if (c == 0x0B) {
            *end++ = '\n';
        } else if (c == u'\r') {
            while (run + 1 < runs.size() && runs[run + 1].first <= start) ++run;
            const std::string_view paragraph(begin, end - begin);
            if (!IsBlank(paragraph)) {
                out.push_back({runs.empty() ? 0 : runs[run].second, std::string(paragraph)});
            }
            end = begin;
            start = i + 1;
        }
    }
}

/// Appends the paragraphs of text to out.
void Paragraphs(const TText& text, std::string& scratch, std::vector<ThvParagraph>& out) {
    // Most 8-bit texts are printable ASCII throughout: their paragraphs are the bytes as they
    // are, with nothing to convert.
    const bool printable = !text.Wide && std::all_of(text.Raw.begin(), text.Raw.end(), [](char c) {
        return (c >= 0x20 && c < 0x7F) || c == '\r' || c == '\t';
    });
    if (printable) {
        const auto runs = ParagraphLevelRuns(text.Style, text.Raw.size());
        std::size_t start = 0, run = 0;
        while (start <= text.Raw.size()) {
            std::size_t end = text.Raw.find('\r', start);
            if (end == std::string_view::npos) end = text.Raw.size();
            while (run + 1 < runs.size() && runs[run + 1].first <= start) ++run;
            const std::string_view paragraph = text.Raw.substr(start, end - start);
            if (!IsBlank(paragraph)) {
                out.push_back({runs.empty() ? 0 : runs[run].second, std::string(paragraph)});
            }
            start = end + 1;
        }
        return;
    }
    if (text.Wide) {
        ParagraphsOf<true>(text, scratch, out);
    } else {
        ParagraphsOf<false>(text, scratch, out);
    }
}

/// Reads one presentation; every failure throws with the file name first.
class TPptReader {
  public:
    TPptReader(std::string_view bytes, std::string_view fileName, std::u16string_view password,
               const ThvEngineLimits& limits)
        : bytes_(bytes), fileName_(fileName), password_(password), limits_(limits) {}

    ThvPresentationText Read() {
        std::optional<ThvCfbReader> cfb;
        try {
            cfb.emplace(bytes_, limits_);
        } catch (const EhvCfbError& error) {
            Damaged(error.what());
        }
        CheckContainer(*cfb);
        const ThvCfbEntry* documentEntry = cfb->Find("PowerPoint Document");
        const ThvCfbEntry* userEntry = cfb->Find("Current User");
        try {
            // Encrypted files are decrypted in a copy; others are read where they lie.
            const auto view = cfb->StreamView(*documentEntry);
            if (view) {
                document_ = *view;
            } else {
                ownDocument_ = cfb->ReadStream(*documentEntry);
                document_ = ownDocument_;
            }
            currentUser_ = cfb->ReadStream(*userEntry);
        } catch (const EhvCfbError& error) {
            Damaged(error.what());
        }
        const std::uint32_t headerToken = ReadCurrentUser();
        ReadEditChain();
        if (encryptionRef_ != 0 || headerToken == kEncryptedHeaderToken) {
            if (ownDocument_.empty()) ownDocument_ = document_;
            Decrypt();
            document_ = ownDocument_;
        }

        ThvPresentationText result;
        result.HasVBProject = cfb->Find("_VBA_PROJECT_CUR") != nullptr;
        const TRecord documentRecord = PersistObject(documentRef_, kDocumentContainer, "document");
        std::vector<TSlideListEntry> slides;
        ForEachChild(documentRecord, [&](const TRecord& child) {
            if (child.Type == kSlideListWithText && child.Instance == 0) {
                ReadSlideList(child, slides);
            } else if (child.Type == kDocInfoListContainer) {
                result.HasVBProject = result.HasVBProject || HasVbaInfo(child);
            }
        });
        for (const TSlideListEntry& slide : slides) result.Slides.push_back(ReadSlide(slide));
        return result;
    }

  private:
    [[noreturn]] void Fail(const std::string& what) const { ThrowFileError(fileName_, what); }

    [[noreturn]] void Damaged(const std::string& what) const { Fail("is damaged: " + what); }

    [[noreturn]] void DamagedAt(std::size_t offset, const std::string& what) const {
        Damaged(what + " at offset " + std::to_string(offset) +
                " of the \"PowerPoint Document\" stream");
    }

    /// Tells the compound files that are no PowerPoint 97-2003 presentation apart, so each
    /// gets the message that helps its owner.
    void CheckContainer(const ThvCfbReader& cfb) const {
        const bool hasDocument = cfb.Find("PowerPoint Document") != nullptr;
        const bool hasPackage = cfb.Find("EncryptedPackage") != nullptr;
        if (hasPackage && cfb.Find("EncryptionInfo") != nullptr) {
            Fail("is protected with a password; password-protected presentations cannot be read");
        }
        if (cfb.Find("\006DataSpaces") != nullptr || hasPackage) {
            // Rights-managed files carry a stand-in slide that only says so; it is never
            // converted as if it were the content.
            Fail("is protected by rights management (IRM); such presentations cannot be read");
        }
        // PowerPoint 4.0 wrote a "PP40" stream; PowerPoint 95 a "Header" and a "PersistentStorage
        // Directory" beside a document stream of a layout of its own.
        const bool oldStreams = cfb.Find("PP40") != nullptr || cfb.Find("Header") != nullptr ||
                                cfb.Find("PersistentStorage Directory") != nullptr;
        if (oldStreams && (!hasDocument || !IsCurrentUserAtom(cfb))) {
            Fail("was saved by PowerPoint 95 or older, which is not supported");
        }
        if (!hasDocument) {
            Fail(
                "is not a PowerPoint presentation: its compound file has no \"PowerPoint "
                "Document\" stream");
        }
        if (cfb.Find("Current User") == nullptr) Damaged("the \"Current User\" stream is missing");
    }

    /// A current-user record as PowerPoint 97 and later write it: its own record type, the
    /// document file version 0x03F4 and major version 3.
    static bool IsCurrentUserAtom(const ThvCfbReader& cfb) {
        const ThvCfbEntry* entry = cfb.Find("Current User");
        if (entry == nullptr || entry->Size < kRecordHeaderBytes + 18) return false;
        try {
            const std::string bytes = cfb.ReadStream(*entry);
            return U16(bytes, 2) == kCurrentUserAtom && U16(bytes, 22) == 0x03F4 &&
                   static_cast<unsigned char>(bytes[24]) == 3;
        } catch (const EhvCfbError&) {
            return false;
        }
    }

    /// The current-user record names where the newest edit starts.
    std::uint32_t ReadCurrentUser() {
        const std::string_view user = currentUser_;
        if (user.size() < kRecordHeaderBytes + 16 || U16(user, 2) != kCurrentUserAtom) {
            Damaged("the \"Current User\" stream holds no current-user record");
        }
        const std::uint32_t headerToken = U32(user, 12);
        currentEdit_ = U32(user, 16);
        return headerToken;
    }

    TRecord RecordAt(std::size_t offset, std::size_t parentEnd) const {
        if (offset > parentEnd || parentEnd - offset < kRecordHeaderBytes) {
            DamagedAt(offset, "a record header is cut off by the end of its parent");
        }
        const std::string_view d = document_;
        TRecord record;
        const std::uint16_t versionInstance = U16(d, offset);
        record.Version = versionInstance & 0xF;
        record.Instance = versionInstance >> 4;
        record.Type = U16(d, offset + 2);
        const std::uint32_t length = U32(d, offset + 4);
        record.Offset = offset;
        record.Body = offset + kRecordHeaderBytes;
        if (length > parentEnd - record.Body) {
            DamagedAt(offset, "record " + Hex(record.Type) + " claims " + std::to_string(length) +
                                  " bytes, more than its parent holds");
        }
        record.End = record.Body + length;
        return record;
    }

    /// Calls visit for each record directly inside parent; nesting is followed by the caller,
    /// with an explicit depth.
    template <typename Visit>
    void ForEachChild(const TRecord& parent, Visit&& visit) const {
        std::size_t at = parent.Body;
        while (at < parent.End) {
            const TRecord child = RecordAt(at, parent.End);
            visit(child);
            at = child.End;
        }
    }

    /// Follows the edits from the newest back to the first; the newest persist directory entry
    /// of each object wins, so objects replaced by later saves are never read.
    void ReadEditChain() {
        std::unordered_set<std::uint32_t> seen;
        std::uint32_t offset = currentEdit_;
        bool newest = true;
        while (true) {
            if (!seen.insert(offset).second) {
                DamagedAt(offset, "the chain of edits loops back");
            }
            if (seen.size() > limits_.MaxUserEdits) {
                Damaged("the chain of edits is longer than " +
                        std::to_string(limits_.MaxUserEdits) + " saves");
            }
            const TRecord edit = RecordAt(offset, document_.size());
            if (edit.Type != kUserEditAtom || edit.End - edit.Body < 0x1C) {
                DamagedAt(offset, "no edit record (found " + Hex(edit.Type) + ")");
            }
            const std::string_view d = document_;
            const std::uint32_t previous = U32(d, edit.Body + 8);
            const std::uint32_t directory = U32(d, edit.Body + 12);
            if (newest) {
                documentRef_ = U32(d, edit.Body + 16);
                if (edit.End - edit.Body >= 0x20) encryptionRef_ = U32(d, edit.Body + 0x1C);
                newest = false;
            }
            ReadPersistDirectory(directory);
            if (previous == 0) break;
            offset = previous;
        }
    }

    void ReadPersistDirectory(std::uint32_t offset) {
        const TRecord directory = RecordAt(offset, document_.size());
        if (directory.Type != kPersistDirectoryAtom) {
            DamagedAt(offset, "no persist directory (found " + Hex(directory.Type) + ")");
        }
        const std::string_view d = document_;
        std::size_t at = directory.Body;
        while (directory.End - at >= 4) {
            const std::uint32_t head = U32(d, at);
            const std::uint32_t first = head & 0xFFFFF;
            const std::size_t count = head >> 20;
            at += 4;
            if (count * 4 > directory.End - at) {
                DamagedAt(at - 4, "a persist directory entry runs past its record");
            }
            for (std::size_t i = 0; i < count; ++i, at += 4) {
                // Entries of older edits only fill in what newer ones did not name.
                persist_.try_emplace(first + static_cast<std::uint32_t>(i), U32(d, at));
            }
            if (persist_.size() > limits_.MaxPersistEntries) {
                Damaged("the persist directories name more objects than the limit");
            }
        }
    }

    TRecord PersistObject(std::uint32_t id, std::uint16_t type, std::string_view what) const {
        const auto found = persist_.find(id);
        if (found == persist_.end()) {
            Damaged("the " + std::string(what) + " (persist object " + std::to_string(id) +
                    ") is not in the persist directory");
        }
        const TRecord record = RecordAt(found->second, document_.size());
        if (record.Type != type) {
            DamagedAt(found->second, "the " + std::string(what) + " record is " + Hex(record.Type) +
                                         ", not " + Hex(type));
        }
        return record;
    }

    /// Encrypted files keep the edit records and persist directories in the clear and every
    /// persist object encrypted on its own, with its persist id as the block number.
    void Decrypt() {
        if (encryptionRef_ == 0) {
            Fail("is protected with a password; password-protected presentations cannot be read");
        }
        const TRecord session =
            PersistObject(encryptionRef_, kCryptSession10Container, "encryption information");
        const std::string_view info = document_.substr(session.Body, session.End - session.Body);
        const std::optional<ThvRc4CryptoApiKey> key = ThvRc4CryptoApiKey::Open(info, password_);
        if (!key) {
            Fail("is protected with a password; password-protected presentations cannot be read");
        }
        for (const auto& [id, offset] : persist_) {
            if (id == encryptionRef_) continue;
            if (offset > document_.size() || document_.size() - offset < kRecordHeaderBytes) {
                DamagedAt(offset, "a persist object lies outside the stream");
            }
            char header[kRecordHeaderBytes];
            std::copy_n(document_.data() + offset, kRecordHeaderBytes, header);
            key->Decrypt(id, header, kRecordHeaderBytes);
            const std::size_t length = U32(std::string_view(header, kRecordHeaderBytes), 4);
            if (length > document_.size() - offset - kRecordHeaderBytes) {
                DamagedAt(offset, "an encrypted persist object runs past the stream");
            }
            key->Decrypt(id, ownDocument_.data() + offset, kRecordHeaderBytes + length);
        }
    }

    bool HasVbaInfo(const TRecord& docInfoList) const {
        bool found = false;
        ForEachChild(docInfoList, [&](const TRecord& info) {
            if (info.Type != kVbaInfoContainer) return;
            ForEachChild(info, [&](const TRecord& atom) {
                if (atom.Type == kVbaInfoAtom && atom.End - atom.Body >= 4 &&
                    U32(document_, atom.Body) != 0) {
                    found = true;
                }
            });
        });
        return found;
    }

    /// Reads one text atom into text; other records are ignored.
    void ReadTextAtom(const TRecord& atom, TText& text) const {
        const std::string_view body = document_.substr(atom.Body, atom.End - atom.Body);
        if (atom.Type == kTextCharsAtom || atom.Type == kTextBytesAtom) {
            text.Wide = atom.Type == kTextCharsAtom;
            text.Raw = text.Wide ? body.substr(0, body.size() & ~std::size_t{1}) : body;
            text.HasChars = true;
        } else if (atom.Type == kStyleTextPropAtom) {
            text.Style = body;
        }
    }

    /// The slide list: a slide persist record per slide, each followed by the texts of the
    /// slide's placeholders.
    void ReadSlideList(const TRecord& list, std::vector<TSlideListEntry>& slides) const {
        ForEachChild(list, [&](const TRecord& child) {
            if (child.Type == kSlidePersistAtom) {
                if (child.End - child.Body < 4)
                    DamagedAt(child.Offset, "a slide record is too short");
                if (slides.size() >= limits_.MaxSlides) {
                    Fail("has more than " + std::to_string(limits_.MaxSlides) + " slides");
                }
                slides.push_back({U32(document_, child.Body), {}});
            } else if (slides.empty()) {
                return;
            } else if (child.Type == kTextHeaderAtom) {
                TText text;
                if (child.End - child.Body >= 4) text.Type = U32(document_, child.Body);
                slides.back().Texts.push_back(std::move(text));
            } else if (!slides.back().Texts.empty()) {
                ReadTextAtom(child, slides.back().Texts.back());
            }
        });
    }

    /// Collects the slide's texts: shapes in drawing order, a placeholder's text from the slide
    /// list through its outline reference, a text box's own atoms otherwise.
    class TSlideBuilder {
      public:
        TSlideBuilder(const TPptReader& reader, const TSlideListEntry& entry)
            : reader_(reader), entry_(entry), used_(entry.Texts.size(), false) {}

        void WalkDrawing(const TRecord& slide) {
            reader_.ForEachChild(slide, [&](const TRecord& drawing) {
                if (drawing.Type != kDrawingContainer) return;
                reader_.ForEachChild(drawing, [&](const TRecord& dg) {
                    if (dg.Type != kDgContainer) return;
                    reader_.ForEachChild(dg, [&](const TRecord& group) {
                        if (group.Type == kSpgrContainer) WalkGroup(group, 1);
                    });
                });
            });
        }

        ThvSlideText Finish() {
            // Placeholder texts no shape pointed to still belong to the slide.
            for (std::size_t i = 0; i < entry_.Texts.size(); ++i) {
                if (!used_[i]) Add(entry_.Texts[i]);
            }
            return std::move(slide_);
        }

      private:
        struct TCell {
            std::int32_t Top = 0;
            std::int32_t Left = 0;
            std::string Text;
        };

        void WalkGroup(const TRecord& group, std::size_t depth) {
            if (depth > reader_.limits_.MaxRecordDepth) {
                reader_.DamagedAt(group.Offset, "shapes are nested deeper than " +
                                                    std::to_string(reader_.limits_.MaxRecordDepth) +
                                                    " groups");
            }
            bool first = true;
            std::vector<TCell> cells;
            bool table = false;
            reader_.ForEachChild(group, [&](const TRecord& child) {
                if (child.Type == kSpgrContainer) {
                    WalkGroup(child, depth + 1);
                } else if (child.Type == kSpContainer) {
                    // A table is a group whose own shape carries table properties.
                    if (first) {
                        first = false;
                        table = HasTableProperties(child);
                        return;
                    }
                    ReadShape(child, table ? &cells : nullptr);
                }
            });
            if (table) AddTable(cells);
        }

        /// A shape's text goes to the slide, or, for a table cell, to the cell list.
        void ReadShape(const TRecord& shape, std::vector<TCell>* cells) {
            TCell cell;
            bool hasText = false, line = false, anchored = false;
            const std::string_view d = reader_.document_;
            reader_.ForEachChild(shape, [&](const TRecord& part) {
                if (part.Type == kFspAtom) {
                    line = part.Instance == kLineShape;
                } else if (part.Type == kChildAnchor && part.End - part.Body >= 16) {
                    cell.Left = static_cast<std::int32_t>(U32(d, part.Body));
                    cell.Top = static_cast<std::int32_t>(U32(d, part.Body + 4));
                    anchored = true;
                } else if (part.Type == kClientAnchor && part.End - part.Body >= 8 && !anchored) {
                    cell.Top = static_cast<std::int16_t>(U16(d, part.Body));
                    cell.Left = static_cast<std::int16_t>(U16(d, part.Body + 2));
                    anchored = true;
                } else if (part.Type == kClientTextbox) {
                    TText own;
                    if (const TText* text = Resolve(part, own)) {
                        hasText = true;
                        if (cells == nullptr) {
                            Add(*text);
                        } else {
                            std::vector<ThvParagraph> paragraphs;
                            Paragraphs(*text, scratch_, paragraphs);
                            for (const ThvParagraph& paragraph : paragraphs) {
                                if (!cell.Text.empty()) cell.Text += '\n';
                                cell.Text += paragraph.Text;
                            }
                        }
                    }
                }
            });
            // Borders are line shapes of the table group; every other shape is a cell, empty
            // or not, so that the columns stay in place.
            if (cells != nullptr && !line && (hasText || anchored)) cells->push_back(cell);
        }

        bool HasTableProperties(const TRecord& shape) const {
            bool found = false;
            const std::string_view d = reader_.document_;
            reader_.ForEachChild(shape, [&](const TRecord& part) {
                if (part.Type != kOptAtom && part.Type != kTertiaryOptAtom) return;
                // The property table: instance entries of six bytes, the id in the low 14 bits.
                for (std::size_t i = 0; i < part.Instance; ++i) {
                    const std::size_t at = part.Body + i * 6;
                    if (part.End - part.Body < (i + 1) * 6) break;
                    if ((U16(d, at) & 0x3FFF) == kTablePropertiesId) found = true;
                }
            });
            return found;
        }

        /// One paragraph per row, cells joined by tabs, rows in the order of their top edge.
        void AddTable(std::vector<TCell>& cells) {
            std::stable_sort(cells.begin(), cells.end(), [](const TCell& a, const TCell& b) {
                return a.Top != b.Top ? a.Top < b.Top : a.Left < b.Left;
            });
            for (std::size_t i = 0; i < cells.size();) {
                std::string row;
                std::size_t j = i;
                for (; j < cells.size() && cells[j].Top == cells[i].Top; ++j) {
                    if (j > i) row += '\t';
                    row += cells[j].Text;
                }
                if (!IsBlank(row)) slide_.Body.push_back({0, std::move(row)});
                i = j;
            }
        }

        /// The text a text box shows: the slide-list text its outline reference names, or its
        /// own atoms. Null when there is none or the slide list's copy was given already: some
        /// writers put a placeholder's text both in the slide list and in the shape.
        const TText* Resolve(const TRecord& box, TText& own) {
            bool hasRef = false;
            std::uint32_t ref = 0;
            reader_.ForEachChild(box, [&](const TRecord& atom) {
                if (atom.Type == kOutlineTextRefAtom && atom.End - atom.Body >= 4) {
                    hasRef = true;
                    ref = U32(reader_.document_, atom.Body);
                } else if (atom.Type == kTextHeaderAtom && atom.End - atom.Body >= 4) {
                    own.Type = U32(reader_.document_, atom.Body);
                } else {
                    reader_.ReadTextAtom(atom, own);
                }
            });
            if (hasRef) {
                if (ref >= entry_.Texts.size() || used_[ref]) return nullptr;
                used_[ref] = true;
                return &entry_.Texts[ref];
            }
            if (!own.HasChars) return nullptr;
            for (std::size_t i = 0; i < entry_.Texts.size(); ++i) {
                if (!SameChars(entry_.Texts[i], own)) continue;
                if (used_[i]) return nullptr;
                used_[i] = true;
                return &entry_.Texts[i];
            }
            return &own;
        }

        void Add(const TText& text) {
            if (text.Type == kNotesText || text.Type == kUnusedText) return;
            const bool title = text.Type == kTitleText || text.Type == kCenterTitleText;
            if (title && !slide_.HasTitle) {
                slide_.HasTitle = true;
                std::vector<ThvParagraph> paragraphs;
                Paragraphs(text, scratch_, paragraphs);
                for (std::size_t i = 0; i < paragraphs.size(); ++i) {
                    if (i > 0) slide_.Title += '\n';
                    slide_.Title += paragraphs[i].Text;
                }
                return;
            }
            Paragraphs(text, scratch_, slide_.Body);
        }

        const TPptReader& reader_;
        const TSlideListEntry& entry_;
        std::vector<bool> used_;
        std::string scratch_;
        ThvSlideText slide_;
    };

    ThvSlideText ReadSlide(const TSlideListEntry& entry) const {
        TSlideBuilder builder(*this, entry);
        // A slide whose drawing is gone still has its placeholder text in the slide list.
        if (persist_.count(entry.PersistId) != 0) {
            builder.WalkDrawing(PersistObject(entry.PersistId, kSlideContainer, "slide"));
        }
        return builder.Finish();
    }

    std::string_view bytes_;
    std::string_view fileName_;
    std::u16string_view password_;
    const ThvEngineLimits& limits_;
    std::string_view document_;  ///< the document stream: in the file's bytes or ownDocument_
    std::string ownDocument_;
    std::string currentUser_;
    std::uint32_t currentEdit_ = 0;
    std::uint32_t documentRef_ = 0;
    std::uint32_t encryptionRef_ = 0;
    std::unordered_map<std::uint32_t, std::uint32_t> persist_;
};

}  // namespace

ThvPresentationText ReadPptPresentation(std::string_view bytes, std::string_view fileName,
                                        const ThvEngineLimits& limits) {
    return TPptReader(bytes, fileName, kDefaultPassword, limits).Read();
}

ThvPresentationText ReadPptPresentation(std::string_view bytes, std::string_view fileName,
                                        std::u16string_view password) {
    return TPptReader(bytes, fileName, password, ThvEngineLimits{}).Read();
}
