#include "engine/ppt/pptSlideText.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/base/byteOrder.h"
#include "engine/base/engineError.h"
#include "engine/cfb/cfbReader.h"
#include "engine/ppt/pptDocument.h"
#include "engine/ppt/pptText.h"

namespace {

// Record types used here.
constexpr std::uint16_t kDocumentContainer = 0x03E8;
constexpr std::uint16_t kDocumentAtom = 0x03E9;
constexpr std::uint16_t kSlideContainer = 0x03EE;
constexpr std::uint16_t kSlideAtom = 0x03EF;
constexpr std::uint16_t kSlidePersistAtom = 0x03F3;
constexpr std::uint16_t kNotesContainer = 0x03F0;
constexpr std::uint16_t kSlideShowSlideInfoAtom = 0x03F9;
constexpr std::uint16_t kVbaInfoContainer = 0x03FF;
constexpr std::uint16_t kVbaInfoAtom = 0x0400;
constexpr std::uint16_t kDrawingContainer = 0x040C;
constexpr std::uint16_t kDocInfoListContainer = 0x07D0;
constexpr std::uint16_t kOEPlaceholderAtom = 0x0BC3;
constexpr std::uint16_t kCString = 0x0FBA;
constexpr std::uint16_t kHeadersFootersContainer = 0x0FD9;
constexpr std::uint16_t kHeadersFootersAtom = 0x0FDA;
constexpr std::uint16_t kOutlineTextRefAtom = 0x0F9E;
constexpr std::uint16_t kTextHeaderAtom = 0x0F9F;
constexpr std::uint16_t kSlideListWithText = 0x0FF0;
constexpr std::uint16_t kProgTags = 0x1388;
constexpr std::uint16_t kProgBinaryTag = 0x138A;
constexpr std::uint16_t kBinaryTagData = 0x138B;
constexpr std::uint16_t kComment10 = 0x2EE0;
constexpr std::uint16_t kRoundTripHFPlaceholder12Atom = 0x1420;
constexpr std::uint16_t kDgContainer = 0xF002;
constexpr std::uint16_t kSpgrContainer = 0xF003;
constexpr std::uint16_t kSpContainer = 0xF004;
constexpr std::uint16_t kFspAtom = 0xF00A;
constexpr std::uint16_t kOptAtom = 0xF00B;
constexpr std::uint16_t kClientTextbox = 0xF00D;
constexpr std::uint16_t kChildAnchor = 0xF00F;
constexpr std::uint16_t kClientAnchor = 0xF010;
constexpr std::uint16_t kClientData = 0xF011;
constexpr std::uint16_t kTertiaryOptAtom = 0xF122;

constexpr std::uint16_t kLineShape = 20;          // shape type of a straight line
constexpr std::uint16_t kPictureFrame = 75;       // shape type of pictures and embedded objects
constexpr std::uint16_t kDescriptionId = 0x0381;  // the shape's alternative text
constexpr std::uint16_t kTablePropertiesId = 0x03A0;
constexpr std::uint16_t kSlidesHeadersFooters = 3;  // instance of the slides' defaults
constexpr std::uint16_t kNotesList = 2;             // instance of the notes pages' list

// Placeholder types of the headers and footers, as OEPlaceholderAtom and
// RoundTripHFPlaceholder12Atom name them.
constexpr std::uint8_t kMasterDate = 7;
constexpr std::uint8_t kMasterSlideNumber = 8;
constexpr std::uint8_t kMasterFooter = 9;
constexpr std::uint8_t kMasterHeader = 10;
constexpr std::uint32_t kTitleSlideLayout = 0;

bool IsBlank(std::string_view text) {
    return text.find_first_not_of(" \t\n\r") == std::string_view::npos;
}

/// A slide (or notes page) of a slide list: its persist id, its id, and the texts of its
/// placeholders.
struct TSlideListEntry {
    std::uint32_t PersistId = 0;
    std::uint32_t Id = 0;
    std::vector<ThvPptText> Texts;
};

/// The description (alternative text) in a shape's property table, from its complex data;
/// empty when it has none. Properties come as six-byte entries, instance of them, and the
/// complex ones' data follows the table in the entries' order.
std::string ShapeDescription(const ThvPptRecord& table, std::string_view body) {
    const std::size_t entries = table.Instance;
    if (entries > body.size() / 6) return {};
    std::size_t complex = entries * 6;
    for (std::size_t i = 0; i < entries; ++i) {
        const std::uint16_t id = U16(body, i * 6);
        if (!(id & 0x8000)) continue;
        const std::uint32_t size = U32(body, i * 6 + 2);
        // Data that runs past the record leaves this and every later property unread.
        if (size > body.size() - complex) return {};
        if ((id & 0x3FFF) == kDescriptionId) return PptStringLine(body.substr(complex, size), true);
        complex += size;
    }
    return {};
}

/// The headers-and-footers settings of the slides, or of one slide.
struct THeadersFooters {
    bool Date = false, UserDate = false, SlideNumber = false, Footer = false;
    std::string UserDateText, HeaderText, FooterText;
};

THeadersFooters ReadHeadersFooters(const ThvPptBytes& bytes, const ThvPptRecord& container) {
    THeadersFooters settings;
    bytes.ForEachChild(container, [&](const ThvPptRecord& child) {
        const std::string_view body = bytes.Body(child);
        if (child.Type == kHeadersFootersAtom && body.size() >= 4) {
            const std::uint16_t flags = U16(body, 2);
            settings.Date = flags & 0x01;
            settings.UserDate = flags & 0x04;
            settings.SlideNumber = flags & 0x08;
            settings.Footer = flags & 0x20;
        } else if (child.Type == kCString) {
            std::string line = PptStringLine(body);
            if (child.Instance == 0) settings.UserDateText = std::move(line);
            if (child.Instance == 1) settings.HeaderText = std::move(line);
            if (child.Instance == 2) settings.FooterText = std::move(line);
        }
    });
    return settings;
}

/// What the document container says about all slides.
struct TDocument {
    std::int32_t FirstSlideNumber = 1;
    bool OmitOnTitleSlide = false;
    std::optional<THeadersFooters> HeadersFooters;
};

/// Collects one slide's texts: shapes in drawing order, a placeholder's text from the slide
/// list through its outline reference, a text box's own atoms otherwise.
class TSlideBuilder {
  public:
    /// scratch is working memory for the texts, kept from slide to slide. A notes page's
    /// builder takes its notes and leaves out the page's number, date, header and footer.
    TSlideBuilder(const ThvPptDocument& document, const TSlideListEntry& entry,
                  std::string& scratch, const ThvContentChoice& content, bool notesPage = false)
        : document_(document),
          entry_(entry),
          used_(entry.Texts.size(), false),
          scratch_(scratch),
          content_(content),
          notesPage_(notesPage) {}

    /// The id of the slide's notes page (0 for none), once Read has run.
    std::uint32_t NotesId() const { return notesId_; }

    /// Reads the slide record: its layout, its own headers and footers, its drawing.
    void Read(const ThvPptBytes& slide, const TDocument& settings, std::size_t index) {
        const ThvPptRecord& record = slide.Record();
        std::optional<THeadersFooters> own;
        bool titleLayout = false;
        slide.ForEachChild(record, [&](const ThvPptRecord& child) {
            const std::string_view body = slide.Body(child);
            if (child.Type == kSlideAtom && child.BodySize() >= 4) {
                titleLayout = U32(body, 0) == kTitleSlideLayout;
                if (body.size() >= 20) notesId_ = U32(body, 16);
            } else if (child.Type == kHeadersFootersContainer) {
                own = ReadHeadersFooters(slide, child);
            } else if (child.Type == kSlideShowSlideInfoAtom && body.size() >= 12) {
                slide_.Hidden = (U16(body, 10) & 0x0004) != 0;
            } else if (child.Type == kProgTags && content_.Comments) {
                ReadComments(slide, child);
            }
        });
        Fields(own                       ? &*own
               : settings.HeadersFooters ? &*settings.HeadersFooters
                                         : nullptr,
               settings.FirstSlideNumber + static_cast<std::int32_t>(index),
               settings.OmitOnTitleSlide && titleLayout);
        ReadDrawing(slide);
    }

    /// A notes page: its drawing's texts, the slide number fields as its slide's number.
    void ReadNotes(const ThvPptBytes& notes, std::int32_t slideNumber) {
        Fields(nullptr, slideNumber, false);
        ReadDrawing(notes);
    }

    /// For a slide whose drawing is gone: its placeholder text in the slide list is all.
    void ReadWithoutDrawing(const TDocument& settings, std::size_t index) {
        Fields(settings.HeadersFooters ? &*settings.HeadersFooters : nullptr,
               settings.FirstSlideNumber + static_cast<std::int32_t>(index), false);
    }

    ThvSlideText Finish() {
        // Placeholder texts no shape pointed to still belong to the slide.
        for (std::size_t i = 0; i < entry_.Texts.size(); ++i) {
            if (!used_[i]) Add(entry_.Texts[i]);
        }
        // The settings' texts come first, where PowerPoint puts them when it saves the file
        // as Office Open XML; a slide with a shape of its own for one of them shows that.
        std::vector<ThvParagraph> settings;
        if (!shows_[0] && !showDate_.empty()) settings.push_back({0, showDate_});
        if (!shows_[2] && !showFooter_.empty()) settings.push_back({0, showFooter_});
        if (!shows_[1] && showNumber_) settings.push_back({0, values_.SlideNumber});
        slide_.Body.insert(slide_.Body.begin(), std::make_move_iterator(settings.begin()),
                           std::make_move_iterator(settings.end()));
        return std::move(slide_);
    }

  private:
    void ReadDrawing(const ThvPptBytes& slide) {
        slide.ForEachChild(slide.Record(), [&](const ThvPptRecord& drawing) {
            if (drawing.Type != kDrawingContainer) return;
            slide.ForEachChild(drawing, [&](const ThvPptRecord& dg) {
                if (dg.Type != kDgContainer) return;
                slide.ForEachChild(dg, [&](const ThvPptRecord& group) {
                    if (group.Type == kSpgrContainer) WalkGroup(slide, group, 1);
                });
            });
        });
    }

    /// The comments of the slide's programmable tags: "___PPT10" holds one record per comment,
    /// with its author, text and initials as strings of instance 0, 1 and 2.
    void ReadComments(const ThvPptBytes& slide, const ThvPptRecord& tags) {
        slide.ForEachChild(tags, [&](const ThvPptRecord& tag) {
            if (tag.Type != kProgBinaryTag) return;
            slide.ForEachChild(tag, [&](const ThvPptRecord& data) {
                if (data.Type != kBinaryTagData) return;
                slide.ForEachChild(data, [&](const ThvPptRecord& comment) {
                    if (comment.Type != kComment10) return;
                    ThvComment read;
                    slide.ForEachChild(comment, [&](const ThvPptRecord& atom) {
                        if (atom.Type != kCString) return;
                        if (atom.Instance == 0) read.Author = PptStringLine(slide.Body(atom));
                        if (atom.Instance == 1) read.Text = PptStringLine(slide.Body(atom), true);
                    });
                    if (!IsBlank(read.Text)) slide_.Comments.push_back(std::move(read));
                });
            });
        });
    }

    struct TCell {
        std::int32_t Top = 0;
        std::int32_t Left = 0;
        std::string Text;
    };

    void Fields(const THeadersFooters* settings, std::int32_t number, bool omitted) {
        values_.SlideNumber = std::to_string(number);
        if (!settings) return;
        if (settings->UserDate) values_.Date = settings->UserDateText;
        values_.Header = settings->HeaderText;
        values_.Footer = settings->FooterText;
        if (omitted) return;
        if (settings->Date && settings->UserDate && !IsBlank(settings->UserDateText)) {
            showDate_ = settings->UserDateText;
        }
        if (settings->Footer && !IsBlank(settings->FooterText)) showFooter_ = settings->FooterText;
        showNumber_ = settings->SlideNumber;
    }

    void WalkGroup(const ThvPptBytes& slide, const ThvPptRecord& group, std::size_t depth) {
        const std::size_t limit = document_.Limits().MaxRecordDepth;
        if (depth > limit) {
            document_.DamagedAt(
                group.Offset, "shapes are nested deeper than " + std::to_string(limit) + " groups");
        }
        bool first = true;
        std::vector<TCell> cells;
        bool table = false;
        slide.ForEachChild(group, [&](const ThvPptRecord& child) {
            if (child.Type == kSpgrContainer) {
                WalkGroup(slide, child, depth + 1);
            } else if (child.Type == kSpContainer) {
                // A table is a group whose own shape carries table properties.
                if (first) {
                    first = false;
                    table = HasTableProperties(slide, child);
                    return;
                }
                ReadShape(slide, child, table ? &cells : nullptr);
            }
        });
        if (table) AddTable(cells);
    }

    /// A shape's text goes to the slide, or, for a table cell, to the cell list.
    void ReadShape(const ThvPptBytes& slide, const ThvPptRecord& shape, std::vector<TCell>* cells) {
        TCell cell;
        bool hasText = false, line = false, anchored = false, picture = false, furniture = false;
        std::string description;
        ThvPptText own;
        const ThvPptText* text = nullptr;
        slide.ForEachChild(shape, [&](const ThvPptRecord& part) {
            const std::string_view body = slide.Body(part);
            if (part.Type == kFspAtom) {
                line = part.Instance == kLineShape;
                picture = part.Instance == kPictureFrame;
            } else if ((part.Type == kOptAtom || part.Type == kTertiaryOptAtom) &&
                       content_.Pictures && description.empty()) {
                description = ShapeDescription(part, body);
            } else if (part.Type == kChildAnchor && body.size() >= 16) {
                cell.Left = static_cast<std::int32_t>(U32(body, 0));
                cell.Top = static_cast<std::int32_t>(U32(body, 4));
                anchored = true;
            } else if (part.Type == kClientAnchor && body.size() >= 8 && !anchored) {
                cell.Top = static_cast<std::int16_t>(U16(body, 0));
                cell.Left = static_cast<std::int16_t>(U16(body, 2));
                anchored = true;
            } else if (part.Type == kClientData) {
                furniture = NotePlaceholder(slide, part);
            } else if (part.Type == kClientTextbox && !text) {
                text = Resolve(slide, part, own);
            }
        });
        if (picture && !IsBlank(description))
            slide_.Body.push_back({0, std::move(description), ThvTextKind::Picture});
        // A notes page's own number, date, header and footer are no notes.
        if (text && !(notesPage_ && furniture)) {
            hasText = true;
            if (cells == nullptr) {
                Add(*text);
            } else {
                std::vector<ThvParagraph> paragraphs;
                AppendPptParagraphs(*text, values_, scratch_, paragraphs);
                for (const ThvParagraph& paragraph : paragraphs) {
                    if (!cell.Text.empty()) cell.Text += '\n';
                    cell.Text += paragraph.Text;
                }
            }
        }
        // Borders are line shapes of the table group; every other shape is a cell, empty
        // or not, so that the columns stay in place.
        if (cells != nullptr && !line && (hasText || anchored)) cells->push_back(cell);
    }

    /// A shape that stands for the date, slide number or footer: the slide shows that itself.
    /// True for those and for a header.
    bool NotePlaceholder(const ThvPptBytes& slide, const ThvPptRecord& data) {
        bool furniture = false;
        slide.ForEachChild(data, [&](const ThvPptRecord& atom) {
            const std::string_view body = slide.Body(atom);
            std::uint8_t type = 0;
            if (atom.Type == kOEPlaceholderAtom && body.size() >= 5) {
                type = static_cast<std::uint8_t>(body[4]);
            } else if (atom.Type == kRoundTripHFPlaceholder12Atom && !body.empty()) {
                type = static_cast<std::uint8_t>(body[0]);
            }
            if (type == kMasterDate) shows_[0] = true;
            if (type == kMasterSlideNumber) shows_[1] = true;
            if (type == kMasterFooter) shows_[2] = true;
            furniture = furniture || (type >= kMasterDate && type <= kMasterHeader);
        });
        return furniture;
    }

    bool HasTableProperties(const ThvPptBytes& slide, const ThvPptRecord& shape) const {
        bool found = false;
        slide.ForEachChild(shape, [&](const ThvPptRecord& part) {
            if (part.Type != kOptAtom && part.Type != kTertiaryOptAtom) return;
            // The property table: instance entries of six bytes, the id in the low 14 bits.
            const std::string_view body = slide.Body(part);
            for (std::size_t i = 0; i < part.Instance && (i + 1) * 6 <= body.size(); ++i) {
                if ((U16(body, i * 6) & 0x3FFF) == kTablePropertiesId) found = true;
            }
        });
        return found;
    }

    /// One paragraph per row, cells joined by tabs, rows in the order of their top edge.
    void AddTable(std::vector<TCell>& cells) {
        std::stable_sort(cells.begin(), cells.end(), [](const TCell& a, const TCell& b) {
            return a.Top != b.Top ? a.Top < b.Top : a.Left < b.Left;
        });
        const std::uint32_t frame = ++frames_;
        for (std::size_t i = 0; i < cells.size();) {
            ThvParagraph row{0, {}, ThvTextKind::TableRow, frame};
            std::size_t j = i;
            for (; j < cells.size() && cells[j].Top == cells[i].Top; ++j) {
                if (j > i) row.Text += '\t';
                row.Text += cells[j].Text;
                row.CellEnds.push_back(static_cast<std::uint32_t>(row.Text.size()));
            }
            if (!IsBlank(row.Text)) slide_.Body.push_back(std::move(row));
            i = j;
        }
    }

    /// The text a text box shows: the slide-list text its outline reference names, or its
    /// own atoms. Null when there is none or the slide list's copy was given already: some
    /// writers put a placeholder's text both in the slide list and in the shape.
    const ThvPptText* Resolve(const ThvPptBytes& slide, const ThvPptRecord& box, ThvPptText& own) {
        bool hasRef = false;
        std::uint32_t ref = 0;
        slide.ForEachChild(box, [&](const ThvPptRecord& atom) {
            const std::string_view body = slide.Body(atom);
            if (atom.Type == kOutlineTextRefAtom && body.size() >= 4) {
                hasRef = true;
                ref = U32(body, 0);
            } else if (atom.Type == kTextHeaderAtom && body.size() >= 4) {
                own.Type = U32(body, 0);
            } else {
                ReadPptTextAtom(atom.Type, body, own);
            }
        });
        if (hasRef) {
            if (ref >= entry_.Texts.size() || used_[ref]) return nullptr;
            used_[ref] = true;
            return &entry_.Texts[ref];
        }
        if (!own.HasChars) return nullptr;
        for (std::size_t i = 0; i < entry_.Texts.size(); ++i) {
            if (!SamePptChars(entry_.Texts[i], own)) continue;
            if (used_[i]) return nullptr;
            used_[i] = true;
            return &entry_.Texts[i];
        }
        return &own;
    }

    void Add(const ThvPptText& text) {
        if (text.Type == kPptUnusedText || (text.Type == kPptNotesText && !notesPage_)) return;
        if (notesPage_) {
            // Notes stand in the notes placeholder, or, in converted decks, in text boxes.
            std::vector<ThvParagraph> paragraphs;
            AppendPptParagraphs(text, values_, scratch_, paragraphs);
            if (IsNumberOnly(paragraphs)) return;
            std::move(paragraphs.begin(), paragraphs.end(), std::back_inserter(slide_.Body));
            return;
        }
        const bool title = text.Type == kPptTitleText || text.Type == kPptCenterTitleText;
        if (title && !slide_.HasTitle) {
            slide_.HasTitle = true;
            std::vector<ThvParagraph> paragraphs;
            AppendPptParagraphs(text, values_, scratch_, paragraphs);
            for (std::size_t i = 0; i < paragraphs.size(); ++i) {
                if (i > 0) slide_.Title += '\n';
                slide_.Title += paragraphs[i].Text;
            }
            return;
        }
        AppendPptParagraphs(text, values_, scratch_, slide_.Body);
    }

    const ThvPptDocument& document_;
    const TSlideListEntry& entry_;
    std::vector<bool> used_;
    std::string& scratch_;
    const ThvContentChoice& content_;
    const bool notesPage_;
    std::uint32_t notesId_ = 0;
    std::uint32_t frames_ = 0;
    ThvSlideText slide_;
    ThvPptFieldValues values_;
    std::string showDate_, showFooter_;
    bool showNumber_ = false;
    bool shows_[3] = {false, false, false};  // date, slide number, footer shapes of its own
};

/// The damage a walk found, as one phrase: the first place, and how many more there were.
std::string DamagePhrase(const std::vector<std::string>& damage) {
    std::string phrase = damage.front();
    if (damage.size() == 2) phrase += " (and 1 more damaged record)";
    if (damage.size() > 2)
        phrase += " (and " + std::to_string(damage.size() - 1) + " more damaged records)";
    return phrase;
}

/// Where the slide list goes on after a record it cannot hold at offset damaged: the next slide
/// record from which the records run on, each within the list, exactly to its end. Empty when
/// there is none: then nothing after the damage can be told from bytes that only look like
/// records. Each place is walked from at most once, so a hostile list costs one pass.
std::optional<std::uint64_t> NextIntactSlide(const ThvPptBytes& list, std::uint64_t damaged) {
    static constexpr std::string_view kSlidePersistHeader("\x00\x00\xF3\x03\x14\x00\x00\x00", 8);
    const ThvPptRecord& record = list.Record();
    const std::string_view body = list.Body(record);
    std::vector<bool> dead(body.size(), false);  // places from which the walk fails
    std::vector<std::size_t> walked;
    for (std::size_t candidate = body.find(kSlidePersistHeader, damaged - record.Body + 1);
         candidate != std::string_view::npos;
         candidate = body.find(kSlidePersistHeader, candidate + 1)) {
        walked.clear();
        std::size_t at = candidate;
        while (at < body.size() && !dead[at] && body.size() - at >= kPptHeaderBytes &&
               U32(body, at + 4) <= body.size() - at - kPptHeaderBytes) {
            walked.push_back(at);
            at += kPptHeaderBytes + U32(body, at + 4);
        }
        if (at == body.size()) return record.Body + candidate;
        for (const std::size_t place : walked) dead[place] = true;
        if (at < body.size()) dead[at] = true;
    }
    return std::nullopt;
}

/// The slide list: a slide persist record per slide, each followed by the texts of the
/// slide's placeholders. A record the list cannot hold costs the texts up to the next slide
/// record from which the list is intact, or, without one, the rest of the list; salvaged says
/// which.
void ReadSlideList(const ThvPptDocument& document, const ThvPptBytes& list,
                   std::vector<TSlideListEntry>& slides, std::vector<std::string>& salvaged,
                   std::string_view what = "slide") {
    const ThvPptRecord& record = list.Record();
    for (std::uint64_t at = record.Body; at < record.End;) {
        const std::optional<ThvPptRecord> child = list.TryChildAt(at, record);
        if (!child) {
            const std::optional<std::uint64_t> next = NextIntactSlide(list, at);
            const std::string where = slides.empty()
                                          ? "the " + std::string(what) +
                                                " list, before its first " + std::string(what) + ","
                                          : std::string(what) + " " + std::to_string(slides.size());
            salvaged.push_back(where + " loses text" +
                               (next ? "" : ", and the " + std::string(what) + " list ends there") +
                               ": " + list.Damage().back());
            if (!next) break;
            at = *next;
            continue;
        }
        at = child->End;
        const std::string_view body = list.Body(*child);
        if (child->Type == kSlidePersistAtom) {
            if (body.size() < 4)
                document.DamagedAt(child->Offset,
                                   "a " + std::string(what) + " record is too short");
            if (slides.size() >= document.Limits().MaxSlides) {
                document.Refuse("is refused: it has more than " +
                                std::to_string(document.Limits().MaxSlides) + " slides");
            }
            slides.push_back({U32(body, 0), body.size() >= 16 ? U32(body, 12) : 0, {}});
        } else if (slides.empty()) {
            continue;
        } else if (child->Type == kTextHeaderAtom) {
            ThvPptText text;
            if (body.size() >= 4) text.Type = U32(body, 0);
            slides.back().Texts.push_back(std::move(text));
        } else if (!slides.back().Texts.empty()) {
            ReadPptTextAtom(child->Type, body, slides.back().Texts.back());
        }
    }
}

/// The notes of a notes page: the texts of its drawing, or of the list where the drawing is
/// gone. Damage costs the notes only, and salvaged says so.
std::vector<ThvParagraph> ReadNotesPage(const ThvPptDocument& document, const TSlideListEntry& page,
                                        std::string& scratch, std::int32_t slideNumber,
                                        const std::string& slideName,
                                        std::vector<std::string>& salvaged) {
    static const ThvContentChoice kNothingMore;
    TSlideBuilder builder(document, page, scratch, kNothingMore, true);
    try {
        const ThvPptBytes notes =
            document.Load(document.PersistObject(page.PersistId, kNotesContainer, "notes page"));
        builder.ReadNotes(notes, slideNumber);
        if (!notes.Damage().empty())
            salvaged.push_back(slideName + " loses notes text: " + DamagePhrase(notes.Damage()));
    } catch (const EhvFileRefused&) {
        throw;
    } catch (const EhvFileError& error) {
        salvaged.push_back(slideName + " loses its notes: " + WhatIsDamaged(error.What()));
        return {};
    }
    return builder.Finish().Body;
}

bool HasVbaInfo(const ThvPptBytes& list) {
    bool found = false;
    list.ForEachChild(list.Record(), [&](const ThvPptRecord& info) {
        if (info.Type != kVbaInfoContainer) return;
        list.ForEachChild(info, [&](const ThvPptRecord& atom) {
            const std::string_view body = list.Body(atom);
            if (atom.Type == kVbaInfoAtom && body.size() >= 4 && U32(body, 0) != 0) found = true;
        });
    });
    return found;
}

}  // namespace

ThvPresentationText ReadPptPresentation(const ThvCfbReader& cfb, std::string_view fileName,
                                        const ThvReadOptions& options) {
    const ThvPptDocument document(cfb, fileName, options);
    ThvPresentationText result;
    result.HasVBProject = cfb.Find("_VBA_PROJECT_CUR") != nullptr;
    result.Salvaged = document.Salvaged();

    // The document container may hold sounds and embedded data of any size: only the
    // records read here are loaded.
    const ThvPptRecord container =
        document.PersistObject(document.DocumentRef(), kDocumentContainer, "document");
    std::optional<ThvPptBytes> slideList, notesList;
    TDocument settings;
    // Damage inside the records read here costs what they hold, and is told.
    auto noteDamage = [&](const ThvPptBytes& bytes, const std::string& what) {
        if (!bytes.Damage().empty())
            result.Salvaged.push_back(what + ": " + DamagePhrase(bytes.Damage()));
    };
    document.ForEachChild(container, [&](const ThvPptRecord& child) {
        if (child.Type == kSlideListWithText && child.Instance == 0 && !slideList) {
            slideList.emplace(document.Load(child));
        } else if (child.Type == kSlideListWithText && child.Instance == kNotesList &&
                   options.Content.Notes && !notesList) {
            notesList.emplace(document.Load(child));
        } else if (child.Type == kDocInfoListContainer) {
            const ThvPptBytes info = document.Load(child);
            result.HasVBProject = HasVbaInfo(info) || result.HasVBProject;
            noteDamage(info, "its document information loses records");
        } else if (child.Type == kDocumentAtom && child.BodySize() >= 40) {
            const ThvPptBytes atom = document.Load(child);
            const std::string_view body = atom.Body(child);
            settings.FirstSlideNumber = static_cast<std::int16_t>(U16(body, 32));
            settings.OmitOnTitleSlide = body[37] != 0;
        } else if (child.Type == kHeadersFootersContainer &&
                   child.Instance == kSlidesHeadersFooters) {
            const ThvPptBytes headers = document.Load(child);
            settings.HeadersFooters = ReadHeadersFooters(headers, child);
            noteDamage(headers, "its headers and footers lose text");
        }
    });
    std::vector<TSlideListEntry> slides;
    if (slideList) {
        ReadSlideList(document, *slideList, slides, result.Salvaged);
        // A list damaged before its first slide leaves nothing that could be converted.
        if (slides.empty() && !slideList->Damage().empty())
            document.Damaged(DamagePhrase(slideList->Damage()));
    }

    // The notes pages by their ids, which each slide names: never by their place in the list.
    std::vector<TSlideListEntry> notesPages;
    std::unordered_map<std::uint32_t, std::size_t> notesById;
    if (notesList) {
        ReadSlideList(document, *notesList, notesPages, result.Salvaged, "notes page");
        for (std::size_t i = 0; i < notesPages.size(); ++i)
            notesById.try_emplace(notesPages[i].Id, i);
    }

    std::size_t textBytes = 0, lost = 0;
    std::string scratch, firstLoss;
    ThvPptBytes::TStorage storage;
    result.Slides.reserve(slides.size());
    for (std::size_t i = 0; i < slides.size(); ++i) {
        const TSlideListEntry& entry = slides[i];
        const std::string slideName = "slide " + std::to_string(i + 1);
        std::optional<ThvSlideText> text;
        std::uint32_t notesId = 0;
        // A slide whose drawing is gone still has its placeholder text in the slide list.
        if (document.HasPersistObject(entry.PersistId)) {
            try {
                ThvPptBytes slide =
                    document.Load(document.PersistObject(entry.PersistId, kSlideContainer, "slide"),
                                  std::move(storage));
                TSlideBuilder builder(document, entry, scratch, options.Content);
                builder.Read(slide, settings, i);
                notesId = builder.NotesId();
                text = builder.Finish();
                noteDamage(slide, slideName + " loses text");
                storage = std::move(slide).Release();
            } catch (const EhvFileRefused&) {
                throw;
            } catch (const EhvFileError& error) {
                // Its own record is lost; what the slide list holds for it is not.
                const std::string what = WhatIsDamaged(error.What());
                result.Salvaged.push_back(slideName + " loses its shapes: " + what);
                if (lost++ == 0) firstLoss = what;
            }
        }
        if (!text) {
            TSlideBuilder builder(document, entry, scratch, options.Content);
            builder.ReadWithoutDrawing(settings, i);
            text = builder.Finish();
        }
        if (const auto page = notesById.find(notesId); notesId != 0 && page != notesById.end()) {
            text->Notes = ReadNotesPage(document, notesPages[page->second], scratch,
                                        settings.FirstSlideNumber + static_cast<std::int32_t>(i),
                                        slideName, result.Salvaged);
        }
        result.Slides.push_back(std::move(*text));
        textBytes += TextBytes(result.Slides.back());
        if (textBytes > options.Limits.MaxTextBytes) {
            document.Refuse("is refused: its text is longer than " +
                            std::to_string(options.Limits.MaxTextBytes) + " bytes");
        }
    }
    // Nothing intact to read is no presentation to convert.
    if (lost > 0 && lost == slides.size() &&
        std::all_of(result.Slides.begin(), result.Slides.end(), [](const ThvSlideText& slide) {
            return slide.Title.empty() && slide.Body.empty();
        })) {
        document.Damaged(firstLoss);
    }
    return result;
}

ThvPresentationText ReadPptPresentation(std::string_view bytes, std::string_view fileName,
                                        const ThvReadOptions& options) {
    std::optional<ThvCfbReader> cfb;
    try {
        cfb.emplace(bytes, options.Limits);
    } catch (const EhvCfbError& error) {
        ThrowFileError(fileName, "is damaged: " + std::string(error.what()));
    }
    return ReadPptPresentation(*cfb, fileName, options);
}
