#include "shell/hvLogText.h"

#include <cstdint>
#include <cstdio>

#include "text/textEncoding.h"

namespace {

// The character of the well-formed UTF-8 sequence at text[i] and its length; length 0 when the
// bytes there are not one.
std::size_t DecodeAt(std::string_view text, std::size_t i, char32_t& c) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > text.size() || byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if (k > 1 && (byte(i + k) < 0x80 || byte(i + k) > 0xBF)) return 0;
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    return length;
}

// Characters that change how the text around them reads, or end a line for some readers.
bool Disturbs(char32_t c) {
    return (c >= 0x80 && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

// The UTF-8 form of a code point below 0x110000; a surrogate is written as it is, not replaced.
void AppendCodePoint(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// digits hexadecimal digits at field[at], upper or lower case.
bool ReadHex(std::string_view field, std::size_t at, int digits, char32_t& value) {
    if (at + static_cast<std::size_t>(digits) > field.size()) return false;
    value = 0;
    for (int k = 0; k < digits; ++k) {
        const char c = field[at + static_cast<std::size_t>(k)];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return false;
        value = value * 16 + static_cast<char32_t>(digit);
    }
    return true;
}

void AppendHex(std::string& out, char kind, uint32_t value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "\\%c%0*X", kind, digits, static_cast<unsigned>(value));
    out += buffer;
}

}  // namespace

std::string EscapeLogField(std::string_view text, std::string_view codePage) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b == '\\') {
            out += "\\\\";
            ++i;
        } else if (b < 0x20 || b == 0x7F || (b == '>' && i > 0 && text[i - 1] == '=')) {
            AppendHex(out, 'x', b, 2);
            ++i;
        } else if (b < 0x80) {
            out += static_cast<char>(b);
            ++i;
        } else {
            char32_t c = 0;
            const std::size_t length = DecodeAt(text, i, c);
            if (length == 0) {
                AppendHex(out, 'x', b, 2);
                ++i;
                continue;
            }
            const std::string_view sequence = text.substr(i, length);
            if (Disturbs(c) || !CodePageHolds(sequence, codePage))
                AppendHex(out, c > 0xFFFF ? 'U' : 'u', c, c > 0xFFFF ? 8 : 4);
            else
                out += sequence;
            i += length;
        }
    }
    return out;
}

std::optional<std::string> UnescapeLogField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        const char kind = i + 1 < field.size() ? field[i + 1] : '\0';
        char32_t value = 0;
        if (kind == '\\') {
            out += '\\';
            i += 1;
        } else if (kind == 'x' && ReadHex(field, i + 2, 2, value)) {
            out += static_cast<char>(value);
            i += 3;
        } else if (kind == 'u' && ReadHex(field, i + 2, 4, value)) {
            AppendCodePoint(out, value);
            i += 5;
        } else if (kind == 'U' && ReadHex(field, i + 2, 8, value) && value <= 0x10FFFF) {
            AppendCodePoint(out, value);
            i += 9;
        } else {
            return std::nullopt;
        }
    }
    return out;
}
