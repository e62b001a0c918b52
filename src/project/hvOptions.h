#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

/// The option list: ordered text lines of the form name=value. The name is everything before the
/// first "=", the value everything after it; neither is trimmed. Lookups ignore case (Unicode
/// case folding) and take the first match; lines without "=" are kept but never found. The same
/// class holds plain line lists (the recent-project list) in the same file form.
///
/// Threads: every member takes the list's own lock, so converter threads may read options
/// while the window changes them (an option edited during a run reaches the next file).
class ThvOptionList {
  public:
    ThvOptionList() = default;
    ThvOptionList(const ThvOptionList& other);
    ThvOptionList& operator=(const ThvOptionList& other);

    /// Value of the first line whose name equals name ignoring case; empty when none.
    std::string Value(std::string_view name) const;

    /// Replaces the first matching line by name=value (name as given), or appends it; an empty
    /// value deletes the first matching line instead, so no line with an empty value is made.
    void SetValue(std::string_view name, std::string_view value);

    /// Index of the first line whose name matches, or -1.
    int IndexOfName(std::string_view name) const;

    /// Index of the first line equal to line ignoring case, or -1.
    int IndexOf(std::string_view line) const;

    /// Every line followed by CR LF.
    std::string Text() const;

    /// Replaces all lines, splitting at CR LF, lone CR and lone LF.
    void SetText(std::string_view text);

    /// Replaces all lines with the file's, read with byte-order-mark detection. Throws EhvError
    /// and leaves the list unchanged when the file cannot be read.
    void LoadFromFile(const std::string& path);

    /// Writes the whole text in the ANSI code page, or as UTF-8 with its mark where the page
    /// cannot hold it (EncodeAnsiOrUtf8), atomically. Throws EhvError
    /// "Cannot create file "<path>". <reason>".
    void SaveToFile(const std::string& path) const;

    /// A copy of the lines.
    std::vector<std::string> Lines() const;
    std::size_t Count() const;
    void Insert(std::size_t index, std::string line);
    void Add(std::string line);
    void Delete(std::size_t index);
    void Clear();

  private:
    int IndexOfNameLocked(std::string_view name) const;

    mutable std::mutex lock_;
    std::vector<std::string> lines_;
};

/// Boolean reading of an option value: a number (blanks around it allowed, the locale's decimal
/// separator, sign and exponent) is true when not zero; otherwise "True"/"False" ignoring case;
/// anything else gives def.
bool ReadBool(std::string_view value, bool def);

/// Integer reading: leading blanks, optional sign, decimal digits or hexadecimal after "$",
/// "x", "X", "0x" or "0X"; anything left over, empty text or a value beyond 32 bits gives def.
int32_t ReadInt(std::string_view value, int32_t def);
