#include "platform/files/win32Text.h"

#include <windows.h>

#include <cstdio>

#include "text/textEncoding.h"

std::wstring WideText(std::string_view utf8) {
    const std::u16string wide = Utf8ToUtf16(utf8);
    return std::wstring(wide.begin(), wide.end());
}

std::string NarrowText(std::wstring_view wide) {
    return Utf16ToUtf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

std::wstring LongPath(std::string_view utf8) {
    if (utf8.empty()) return {};
    std::wstring path = WideText(utf8);
    if (path.starts_with(L"\\\\?\\")) return path;
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    // GetFullPathNameW resolves what the prefix would take literally; it answers the size it
    // needs when the buffer is short, and the path may change in between (another thread's
    // SetCurrentDirectory), hence the loop.
    std::wstring full(path.size() + MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) return path;  // not a path the system can resolve: let the call fail
        if (length < full.size()) {
            full.resize(length);
            break;
        }
        full.resize(length + 1);
    }
    if (full.starts_with(L"\\\\.\\")) return full;  // a device name: no prefix for it
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::string Win32ErrorMessage(unsigned long error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (length > 0 && buffer) text = NarrowText(std::wstring_view(buffer, length));
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    if (text.empty()) {
        char code[32];
        std::snprintf(code, sizeof code, "Error 0x%08lX", error);
        text = code;
    }
    return text;
}
