#include "project/hvOptions.h"

#include <clocale>

#include "platform/files/textFile.h"
#include "text/textEncoding.h"

namespace {

// A line's name is everything before its first "=": a line without one has no name at all.
bool NameMatches(std::string_view line, std::string_view name) {
    const std::size_t eq = line.find('=');
    return eq != std::string_view::npos && SameText(line.substr(0, eq), name);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The locale is set once at start-up, so the separator is read once.
char DecimalSeparator() {
    static const char separator = [] {
        const char* point = std::localeconv()->decimal_point;
        return point && point[0] ? point[0] : '.';
    }();
    return separator;
}

enum class NumberKind { NotANumber, Zero, NonZero };

// Recognises blanks, sign, digits with an optional decimal part and exponent, blanks. Only
// whether the number is zero matters to the reader, so the digits are never converted and no
// value can overflow.
NumberKind ClassifyNumber(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    bool digits = false, nonZero = false;
    auto mantissaDigits = [&] {
        for (; i < s.size() && IsDigit(s[i]); ++i) {
            digits = true;
            nonZero = nonZero || s[i] != '0';
        }
    };
    mantissaDigits();
    if (i < s.size() && s[i] == DecimalSeparator()) {
        ++i;
        mantissaDigits();
    }
    if (!digits) return NumberKind::NotANumber;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        const std::size_t start = i;
        while (i < s.size() && IsDigit(s[i])) ++i;
        if (i == start) return NumberKind::NotANumber;
    }
    while (i < s.size() && IsBlank(s[i])) ++i;
    if (i != s.size()) return NumberKind::NotANumber;
    return nonZero ? NumberKind::NonZero : NumberKind::Zero;
}

}  // namespace

ThvOptionList::ThvOptionList(const ThvOptionList& other) : lines_(other.Lines()) {}

ThvOptionList& ThvOptionList::operator=(const ThvOptionList& other) {
    if (this != &other) {
        std::vector<std::string> lines = other.Lines();
        std::lock_guard lock(lock_);
        lines_ = std::move(lines);
    }
    return *this;
}

std::string ThvOptionList::Value(std::string_view name) const {
    std::lock_guard lock(lock_);
    const int index = IndexOfNameLocked(name);
    if (index < 0) return {};
    const std::string& line = lines_[static_cast<std::size_t>(index)];
    return line.substr(line.find('=') + 1);
}

void ThvOptionList::SetValue(std::string_view name, std::string_view value) {
    std::lock_guard lock(lock_);
    const int index = IndexOfNameLocked(name);
    if (value.empty()) {
        if (index >= 0) lines_.erase(lines_.begin() + index);
        return;
    }
    std::string line(name);
    line += '=';
    line += value;
    if (index >= 0)
        lines_[static_cast<std::size_t>(index)] = std::move(line);
    else
        lines_.push_back(std::move(line));
}

int ThvOptionList::IndexOfName(std::string_view name) const {
    std::lock_guard lock(lock_);
    return IndexOfNameLocked(name);
}

int ThvOptionList::IndexOfNameLocked(std::string_view name) const {
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (NameMatches(lines_[i], name)) return static_cast<int>(i);
    return -1;
}

int ThvOptionList::IndexOf(std::string_view line) const {
    std::lock_guard lock(lock_);
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (SameText(lines_[i], line)) return static_cast<int>(i);
    return -1;
}

std::string ThvOptionList::Text() const {
    std::lock_guard lock(lock_);
    return JoinLines(lines_);
}

void ThvOptionList::SetText(std::string_view text) {
    std::vector<std::string> lines = SplitLines(text);
    std::lock_guard lock(lock_);
    lines_ = std::move(lines);
}

void ThvOptionList::LoadFromFile(const std::string& path) { SetText(ReadTextFile(path)); }

void ThvOptionList::SaveToFile(const std::string& path) const {
    WriteTextFileAnsiOrUtf8(path, Text());
}

std::vector<std::string> ThvOptionList::Lines() const {
    std::lock_guard lock(lock_);
    return lines_;
}

std::size_t ThvOptionList::Count() const {
    std::lock_guard lock(lock_);
    return lines_.size();
}

void ThvOptionList::Insert(std::size_t index, std::string line) {
    std::lock_guard lock(lock_);
    if (index > lines_.size()) index = lines_.size();
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index), std::move(line));
}

void ThvOptionList::Add(std::string line) {
    std::lock_guard lock(lock_);
    lines_.push_back(std::move(line));
}

void ThvOptionList::Delete(std::size_t index) {
    std::lock_guard lock(lock_);
    if (index < lines_.size()) lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
}

void ThvOptionList::Clear() {
    std::lock_guard lock(lock_);
    lines_.clear();
}

bool ReadBool(std::string_view value, bool def) {
    switch (ClassifyNumber(value)) {
        case NumberKind::Zero:
            return false;
        case NumberKind::NonZero:
            return true;
        case NumberKind::NotANumber:
            break;
    }
    if (SameText(value, "True")) return true;
    if (SameText(value, "False")) return false;
    return def;
}

int32_t ReadInt(std::string_view value, int32_t def) {
    std::size_t i = 0;
    while (i < value.size() && IsBlank(value[i])) ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
    const std::string_view rest = value.substr(i);
    if (rest.empty()) return def;

    std::size_t hexStart = 0;
    if (rest[0] == '$' || rest[0] == 'x' || rest[0] == 'X')
        hexStart = 1;
    else if (rest.size() > 1 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X'))
        hexStart = 2;

    if (hexStart > 0) {
        // Hexadecimal is a 32-bit pattern, so $FFFFFFFF reads as -1.
        if (rest.size() == hexStart) return def;
        uint64_t v = 0;
        for (std::size_t k = hexStart; k < rest.size(); ++k) {
            const int d = HexDigit(rest[k]);
            if (d < 0) return def;
            v = v * 16 + static_cast<uint64_t>(d);
            if (v > 0xFFFFFFFFu) return def;
        }
        uint32_t bits = static_cast<uint32_t>(v);
        if (negative) bits = 0u - bits;
        return static_cast<int32_t>(bits);
    }

    int64_t v = 0;
    for (char c : rest) {
        if (!IsDigit(c)) return def;
        v = v * 10 + (c - '0');
        if (v > int64_t{1} << 31) return def;
    }
    if (negative) v = -v;
    if (v > INT32_MAX || v < INT32_MIN) return def;
    return static_cast<int32_t>(v);
}
