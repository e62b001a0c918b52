#include "text/jsonText.h"

namespace {

constexpr char kHex[] = "0123456789abcdef";

void AppendUnitEscape(std::string& out, unsigned unit) {
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(unit >> shift) & 15];
}

// Length of the well-formed UTF-8 sequence at p, or 0 when the bytes there are not one.
std::size_t SequenceLength(const unsigned char* p, const unsigned char* end) {
    const unsigned char c = *p;
    if (c < 0x80) return 1;
    std::size_t trail;
    unsigned char low = 0x80, high = 0xBF;  // the bounds of the first trail byte
    if (c >= 0xC2 && c <= 0xDF) {
        trail = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
        trail = 2;
        if (c == 0xE0) low = 0xA0;   // overlong
        if (c == 0xED) high = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        trail = 3;
        if (c == 0xF0) low = 0x90;   // overlong
        if (c == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (static_cast<std::size_t>(end - p) <= trail || p[1] < low || p[1] > high) return 0;
    for (std::size_t i = 2; i <= trail; ++i) {
        if (p[i] < 0x80 || p[i] > 0xBF) return 0;
    }
    return trail + 1;
}

}  // namespace

std::string JsonQuote(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + 2);
    out += '"';
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c >= 0x80) {
            const std::size_t length = SequenceLength(p, end);
            if (length == 0) {
                AppendUnitEscape(out, 0xDC00u + c);
                ++p;
            } else if (length == 3 && c == 0xE2 && p[1] == 0x80 && (p[2] == 0xA8 || p[2] == 0xA9)) {
                AppendUnitEscape(out, p[2] == 0xA8 ? 0x2028u : 0x2029u);
                p += 3;
            } else {
                out.append(reinterpret_cast<const char*>(p), length);
                p += length;
            }
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                if (c < 0x20 || c == 0x7F)
                    AppendUnitEscape(out, c);
                else
                    out += static_cast<char>(c);
        }
        ++p;
    }
    out += '"';
    return out;
}
