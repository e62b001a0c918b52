#pragma once

// Reading the unattended log as a user's script would: lines split at CR LF, fields at " => ",
// each field decoded from the escape form the README documents.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tempDir.h"

struct LogLine {
    std::string State, Source, Result;  ///< decoded
    std::size_t Separators = 0;         ///< how many " => " the raw line holds
};

/// The README's escape form undone: \\ is a backslash, \xHH one byte, \uHHHH and \UHHHHHHHH a
/// character (as UTF-8). Anything else after a backslash is not in the form: an empty result
/// and ok false.
inline std::string UnescapeLogField(const std::string& field, bool& ok) {
    auto hex = [&](std::size_t at, std::size_t digits, uint32_t& value) {
        if (at + digits > field.size()) return false;
        value = 0;
        for (std::size_t i = at; i < at + digits; ++i) {
            const char c = field[i];
            const int d = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                 : -1;
            if (d < 0) return false;
            value = value * 16 + static_cast<uint32_t>(d);
        }
        return true;
    };
    auto utf8 = [](uint32_t c) {
        std::string s;
        if (c < 0x80) {
            s += static_cast<char>(c);
        } else if (c < 0x800) {
            s += static_cast<char>(0xC0 | (c >> 6));
            s += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            s += static_cast<char>(0xE0 | (c >> 12));
            s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            s += static_cast<char>(0xF0 | (c >> 18));
            s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (c & 0x3F));
        }
        return s;
    };
    ok = true;
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        const char kind = i + 1 < field.size() ? field[i + 1] : '\0';
        uint32_t value = 0;
        if (kind == '\\') {
            out += '\\';
            i += 1;
        } else if (kind == 'x' && hex(i + 2, 2, value)) {
            out += static_cast<char>(value);
            i += 3;
        } else if (kind == 'u' && hex(i + 2, 4, value)) {
            out += utf8(value);
            i += 5;
        } else if (kind == 'U' && hex(i + 2, 8, value)) {
            out += utf8(value);
            i += 9;
        } else {
            ok = false;
            return {};
        }
    }
    return out;
}

/// The lines of a log file. A line that is not three fields in the escape form fails the test.
inline std::vector<LogLine> ReadLog(const std::string& path) {
    std::vector<LogLine> lines;
    const std::string text = ReadBytes(path);
    std::size_t pos = 0;
    for (std::size_t end; (end = text.find("\r\n", pos)) != std::string::npos; pos = end + 2) {
        const std::string raw = text.substr(pos, end - pos);
        LogLine line;
        std::vector<std::string> fields;
        std::size_t from = 0;
        for (std::size_t at; (at = raw.find(" => ", from)) != std::string::npos; from = at + 4) {
            fields.push_back(raw.substr(from, at - from));
            ++line.Separators;
        }
        fields.push_back(raw.substr(from));
        EXPECT_EQ(fields.size(), 3u) << "not a log line: " << raw;
        if (fields.size() != 3) continue;
        bool ok[3];
        line.State = UnescapeLogField(fields[0], ok[0]);
        line.Source = UnescapeLogField(fields[1], ok[1]);
        line.Result = UnescapeLogField(fields[2], ok[2]);
        EXPECT_TRUE(ok[0] && ok[1] && ok[2]) << "not in the escape form: " << raw;
        lines.push_back(line);
    }
    EXPECT_EQ(pos, text.size()) << "the log ends inside a line";
    return lines;
}
