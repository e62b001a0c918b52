#include "platform/files/textFile.h"

#include "platform/files/fileSystem.h"
#include "text/textEncoding.h"

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\r' && c != '\n') continue;
        lines.emplace_back(text.substr(start, i - start));
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::size_t size = 0;
    for (const std::string& line : lines) size += line.size() + 2;
    std::string text;
    text.reserve(size);
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::string ReadTextFile(const std::string& path, std::size_t maxBytes) {
    std::string text = DecodeWithBom(ReadFileBytes(path, maxBytes));
    // An editor that puts its mark before one that was there leaves a second mark, which is
    // no part of the first line: it would hide the first option's name.
    constexpr std::string_view kMark = "\xEF\xBB\xBF";
    std::size_t marks = 0;
    while (std::string_view(text).substr(marks).starts_with(kMark)) marks += kMark.size();
    text.erase(0, marks);
    return text;
}

void WriteTextFile(const std::string& path, std::string_view text) {
    WriteFileAtomic(path, EncodeAnsi(text));
}

void WriteTextFileAnsiOrUtf8(const std::string& path, std::string_view text) {
    WriteFileAtomic(path, EncodeAnsiOrUtf8(text));
}
