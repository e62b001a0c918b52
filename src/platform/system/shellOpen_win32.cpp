#include <objbase.h>
#include <shellapi.h>
#include <windows.h>

#include "platform/files/win32Text.h"
#include "platform/system/shellOpenPlatform.h"

namespace {

// Wine's shell builds the browser's command line in a fixed buffer of about a thousand
// characters and overflows its stack on a longer link, ending the process without a word;
// Windows takes links of any length. Under Wine a long link (an error report listing many
// failures) is cut to what its shell can carry.
constexpr std::size_t kWineLinkLimit = 900;

bool RunsUnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::wstring ShellLink(const std::string& link) {
    std::wstring wide = WideText(link);
    if (wide.size() > kWineLinkLimit && RunsUnderWine()) {
        std::size_t size = kWineLinkLimit;
        // Not between the two halves of a surrogate pair.
        if (wide[size - 1] >= 0xD800 && wide[size - 1] <= 0xDBFF) --size;
        wide.resize(size);
    }
    return wide;
}

}  // namespace

void PlatformShellOpen(const std::string& link) {
    // The shell may call into COM objects of its own (file associations, URL handlers); they
    // need an apartment on this thread. An apartment already there is kept as it is.
    const HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // The link goes to the shell as one item, never through a command line; the outcome is
    // ignored, as there is nobody to tell.
    ShellExecuteW(nullptr, L"open", ShellLink(link).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    if (SUCCEEDED(initialised)) CoUninitialize();
}
