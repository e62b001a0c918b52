#include "engine/outline/textFormats.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "text/jsonText.h"

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view Trimmed(std::string_view line) {
    while (!line.empty() && IsSpace(line.front())) line.remove_prefix(1);
    while (!line.empty() && (IsSpace(line.back()) || line.back() == '\r')) line.remove_suffix(1);
    return line;
}

/// The lines of a paragraph that hold something: an empty one would end the paragraph.
std::vector<std::string_view> TextLines(std::string_view text) {
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = Trimmed(text.substr(start, end - start));
        if (!line.empty()) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

/// After "&", what would make an entity of the text: "&amp;", "&#38;".
bool BeginsEntity(char next) {
    const char lower = static_cast<char>(next | 0x20);
    return next == '#' || (lower >= 'a' && lower <= 'z');
}

/// Characters that begin markup anywhere in a line.
bool IsInlineMarkup(char c) {
    return c == '\\' || c == '`' || c == '*' || c == '_' || c == '[' || c == ']' || c == '<' ||
           c == '>' || c == '|' || c == '~';
}

/// One line of text as Markdown that shows it as it is. At the start of a line, what would
/// begin a block (a heading, a list item, a quote, a rule or an underline) is escaped too.
void AppendEscapedLine(std::string& out, std::string_view line, bool heading) {
    std::size_t i = 0;
    if (!line.empty() && (line[0] == '-' || line[0] == '+' || line[0] == '=' || line[0] == '#')) {
        out += '\\';
    } else {
        // "2024. " or "3) " would begin an ordered list.
        std::size_t digits = 0;
        while (digits < line.size() && digits < 10 && line[digits] >= '0' && line[digits] <= '9')
            ++digits;
        if (digits > 0 && digits < line.size() && (line[digits] == '.' || line[digits] == ')')) {
            out.append(line.substr(0, digits));
            out += '\\';
            i = digits;
        }
    }
    for (; i < line.size(); ++i) {
        const char c = line[i];
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7F) continue;  // no text, and NUL is no character
        // A closing run of "#" would be taken off a heading.
        if (IsInlineMarkup(c) || (heading && c == '#')) {
            out += '\\';
        } else if (c == '&' && i + 1 < line.size() && BeginsEntity(line[i + 1])) {
            out += '\\';
        }
        out += c;
    }
}

/// A paragraph's text: its lines joined by hard line breaks, each continuation line indented
/// by indent spaces (the content column of a list item).
void AppendEscapedText(std::string& out, std::string_view text, std::size_t indent) {
    bool first = true;
    for (const std::string_view line : TextLines(text)) {
        if (!std::exchange(first, false)) {
            out += "\\\n";
            out.append(indent, ' ');
        }
        AppendEscapedLine(out, line, false);
    }
}

/// A heading's text on one line.
std::string HeadingText(std::string_view text) {
    std::string out;
    for (const std::string_view line : TextLines(text)) {
        if (!out.empty()) out += ' ';
        AppendEscapedLine(out, line, true);
    }
    return out;
}

/// A table cell on one line: "|" is escaped with the rest, line breaks become "<br>".
std::string CellText(std::string_view text) {
    std::string out;
    for (const std::string_view line : TextLines(text)) {
        if (!out.empty()) out += "<br>";
        std::string escaped;
        AppendEscapedLine(escaped, line, false);
        // Block starts mean nothing inside a row: the escapes of the line's start stay harmless.
        out += escaped;
    }
    return out;
}

class TMarkdownWriter {
  public:
    explicit TMarkdownWriter(std::string& out) : out_(out) {}

    void Slide(const ThvSlideText& slide, std::size_t number, bool markHidden) {
        Block();
        out_ += "## " + std::to_string(number);
        const std::string title = HeadingText(slide.Title);
        if (!title.empty()) out_ += ". " + title;
        out_ += '\n';
        if (markHidden) Paragraph(kHiddenMark);
        const std::vector<ThvParagraph>& body = slide.Body;
        for (std::size_t i = 0; i < body.size();) {
            const ThvParagraph& first = body[i];
            std::size_t end = i + 1;
            const auto together = [&](const ThvParagraph& next) {
                switch (first.Kind) {
                    case ThvTextKind::Text:
                        return next.Kind == ThvTextKind::Text;
                    case ThvTextKind::Picture:
                        return false;
                    default:
                        return next.Kind != ThvTextKind::Text &&
                               next.Kind != ThvTextKind::Picture && next.Frame == first.Frame;
                }
            };
            while (end < body.size() && together(body[end])) ++end;
            const auto block = std::span(body).subspan(i, end - i);
            switch (first.Kind) {
                case ThvTextKind::Text:
                case ThvTextKind::Diagram:
                    List(block);
                    break;
                case ThvTextKind::TableRow:
                    Table(block);
                    break;
                case ThvTextKind::ChartTitle:
                case ThvTextKind::Chart:
                    Chart(block);
                    break;
                case ThvTextKind::Picture:
                    Picture(first.Text);
                    break;
            }
            i = end;
        }
        if (!slide.Notes.empty()) {
            Block();
            out_ += "### Notes\n";
            for (const ThvParagraph& paragraph : slide.Notes) Paragraph(paragraph.Text);
        }
        if (!slide.Comments.empty()) {
            Block();
            out_ += "### Comments\n";
            Block();
            marker_ = '*';
            const char marker = NextMarker();
            for (const ThvComment& comment : slide.Comments) {
                out_ += marker;
                out_ += ' ';
                if (!comment.Author.empty()) {
                    out_ += "**" + HeadingText(comment.Author) + "**: ";
                }
                AppendEscapedText(out_, comment.Text, 2);
                out_ += '\n';
            }
        }
    }

  private:
    /// A blank line between blocks.
    void Block() {
        if (!out_.empty()) out_ += '\n';
        lastWasList_ = false;
    }

    /// Two lists one after the other would merge into one unless their markers differ.
    char NextMarker() {
        marker_ = marker_ == '-' ? '*' : '-';
        lastWasList_ = true;
        return marker_;
    }

    void Paragraph(std::string_view text) {
        std::string line;
        AppendEscapedText(line, text, 0);
        if (line.empty()) return;
        Block();
        out_ += line;
        out_ += '\n';
    }

    /// The brackets stay as they are: with the description escaped, nothing can follow them
    /// that would make a link.
    void Picture(std::string_view description) {
        std::string line;
        AppendEscapedText(line, description, 0);
        if (line.empty()) return;
        Block();
        out_ += "[Picture: " + line + "]\n";
    }

    /// Nested by level; a level never lies more than one below the item before it, since an
    /// item indented further would read as code.
    void List(std::span<const ThvParagraph> items) {
        const bool continues = lastWasList_;
        Block();
        if (!continues) marker_ = '*';
        const char marker = NextMarker();
        int previous = -1;
        for (const ThvParagraph& item : items) {
            const int level = std::clamp(item.Level, 0, previous + 1);
            previous = level;
            const std::size_t indent = static_cast<std::size_t>(level) * 2;
            out_.append(indent, ' ');
            out_ += marker;
            out_ += ' ';
            AppendEscapedText(out_, item.Text, indent + 2);
            out_ += '\n';
        }
    }

    void Table(std::span<const ThvParagraph> rows) {
        std::vector<std::vector<std::string>> cells;
        std::size_t columns = 1;
        for (const ThvParagraph& row : rows) {
            std::vector<std::string>& line = cells.emplace_back();
            const std::vector<std::string_view> rowCells = CellsOf(row);
            if (rowCells.empty()) line.push_back(CellText(row.Text));
            for (const std::string_view cell : rowCells) line.push_back(CellText(cell));
            columns = std::max(columns, line.size());
        }
        Block();
        const auto put = [&](const std::vector<std::string>& line) {
            out_ += '|';
            for (std::size_t c = 0; c < columns; ++c) {
                out_ += ' ';
                if (c < line.size()) out_ += line[c];
                out_ += " |";
            }
            out_ += '\n';
        };
        put(cells.front());
        out_ += '|';
        for (std::size_t c = 0; c < columns; ++c) out_ += " --- |";
        out_ += '\n';
        for (std::size_t r = 1; r < cells.size(); ++r) put(cells[r]);
    }

    void Chart(std::span<const ThvParagraph> texts) {
        std::string title;
        std::size_t first = 0;
        for (; first < texts.size() && texts[first].Kind == ThvTextKind::ChartTitle; ++first) {
            if (!title.empty()) title += ' ';
            title += texts[first].Text;
        }
        Block();
        const std::string heading = HeadingText(title);
        out_ += heading.empty() ? "Chart:\n" : "Chart: " + heading + "\n";
        if (first < texts.size()) List(texts.subspan(first));
    }

    std::string& out_;
    char marker_ = '*';
    bool lastWasList_ = false;
};

}  // namespace

std::string PictureLine(std::string_view description) {
    return "[Picture: " + std::string(description) + "]";
}

std::string CommentLine(const ThvComment& comment) {
    if (comment.Author.empty()) return "Comment: " + comment.Text;
    return "Comment (" + comment.Author + "): " + comment.Text;
}

std::string WriteMarkdown(const ThvPresentationText& presentation, ThvHiddenSlides hidden) {
    std::string out;
    TMarkdownWriter writer(out);
    for (std::size_t i = 0; i < presentation.Slides.size(); ++i) {
        const ThvSlideText& slide = presentation.Slides[i];
        if (slide.Hidden && hidden == ThvHiddenSlides::Skip) continue;
        writer.Slide(slide, i + 1, slide.Hidden && hidden == ThvHiddenSlides::Mark);
    }
    return out;
}

std::string WriteJsonLines(const ThvPresentationText& presentation, std::string_view fileName,
                           ThvHiddenSlides hidden) {
    std::string out;
    const std::string file = JsonQuote(fileName);
    for (std::size_t i = 0; i < presentation.Slides.size(); ++i) {
        const ThvSlideText& slide = presentation.Slides[i];
        if (slide.Hidden && hidden == ThvHiddenSlides::Skip) continue;
        out += "{\"file\":" + file + ",\"slide\":" + std::to_string(i + 1) +
               ",\"hidden\":" + (slide.Hidden ? "true" : "false") +
               ",\"title\":" + JsonQuote(slide.Title) + ",\"paragraphs\":[";
        std::string tables, pictures;
        bool firstParagraph = true;
        std::uint32_t table = 0;
        for (const ThvParagraph& paragraph : slide.Body) {
            if (paragraph.Kind == ThvTextKind::Picture) {
                pictures += (pictures.empty() ? "" : ",") + JsonQuote(paragraph.Text);
            } else if (paragraph.Kind == ThvTextKind::TableRow) {
                // A row of another table than the last row's begins a table of its own.
                const bool same = !tables.empty() && paragraph.Frame == table;
                tables += same ? "," : tables.empty() ? "[" : "],[";
                table = paragraph.Frame;
                tables += '[';
                bool firstCell = true;
                for (const std::string_view cell : CellsOf(paragraph)) {
                    if (!std::exchange(firstCell, false)) tables += ',';
                    tables += JsonQuote(cell);
                }
                tables += ']';
            } else {
                if (!std::exchange(firstParagraph, false)) out += ',';
                out += "{\"level\":" + std::to_string(paragraph.Level) +
                       ",\"text\":" + JsonQuote(paragraph.Text) + "}";
            }
        }
        if (!tables.empty()) tables += ']';
        std::string notes;
        for (const ThvParagraph& paragraph : slide.Notes)
            notes += (notes.empty() ? "" : "\n") + paragraph.Text;
        out += "],\"tables\":[" + tables + "],\"notes\":" + JsonQuote(notes) + ",\"comments\":[";
        bool firstComment = true;
        for (const ThvComment& comment : slide.Comments) {
            if (!std::exchange(firstComment, false)) out += ',';
            out += "{\"author\":" + JsonQuote(comment.Author) +
                   ",\"text\":" + JsonQuote(comment.Text) + "}";
        }
        out += "],\"pictures\":[" + pictures + "]}\n";
    }
    return out;
}
