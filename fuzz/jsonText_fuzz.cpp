// File names and failure messages go into the JSON log as they are, in whatever bytes the file
// system or a damaged file gave: every input must come out as a JSON string that a strict
// reader takes and that gives the same bytes back through the surrogate escapes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "text/jsonText.h"

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendUtf8(std::string& out, unsigned cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// A strict JSON string reader (RFC 8259) that turns \udc80..\udcff back into raw bytes, as
// Python's surrogateescape does. Empty when the text is no JSON string.
std::optional<std::string> Unquote(std::string_view text) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') return std::nullopt;
    std::string out;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == '"') return std::nullopt;
        if (c != '\\') {
            out += static_cast<char>(c);
            continue;
        }
        if (++i + 1 >= text.size()) return std::nullopt;
        switch (text[i]) {
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            case '/':
                out += '/';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                if (i + 5 >= text.size()) return std::nullopt;
                unsigned unit = 0;
                for (int k = 1; k <= 4; ++k) {
                    const int v = HexValue(text[i + k]);
                    if (v < 0) return std::nullopt;
                    unit = unit << 4 | static_cast<unsigned>(v);
                }
                i += 4;
                if (unit >= 0xDC80 && unit <= 0xDCFF)
                    out += static_cast<char>(unit - 0xDC00);
                else if (unit >= 0xD800 && unit <= 0xDFFF)
                    return std::nullopt;  // the writer never escapes any other surrogate
                else
                    AppendUtf8(out, unit);
                break;
            }
            default:
                return std::nullopt;
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string quoted = JsonQuote(bytes);
    const std::optional<std::string> back = Unquote(quoted);
    if (!back || *back != bytes) __builtin_trap();
    return 0;
}
