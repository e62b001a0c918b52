// File names are any bytes a file system holds, and each one reaches the log as a field: its
// escape form must hold no line break, no control character and no field separator, and must
// give the very bytes back, whatever the code page.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "shell/hvLogText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const char* const codePages[] = {"UTF-8", "windows-1252", "windows-1253", "Shift_JIS"};
    const std::string_view field(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string escaped = EscapeLogField(field, codePages[data[0] % 4]);
    for (unsigned char c : escaped)
        if (c < 0x20 || c == 0x7F) std::abort();
    if (escaped.find("=>") != std::string::npos) std::abort();
    const auto back = UnescapeLogField(escaped);
    if (!back || *back != field) std::abort();
    return 0;
}
