// Project files, the recent-project list and option text come from outside the program: any
// bytes must read as an option list, and the list's text form must read back the same.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "project/hvOptions.h"
#include "text/textEncoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ThvOptionList list;
    list.SetText(DecodeWithBom(bytes));
    for (const char* key : {"Source", "Target", "Subdir", "ThreadsCount", "IsOverwrite", "Daemon",
                            "RegExt", "LogFile", "eSource.Text"}) {
        const std::string value = list.Value(key);
        ReadBool(value, false);
        ReadInt(value, 0);
    }
    ThvOptionList again;
    again.SetText(list.Text());
    // A line of the list may hold a lone CR or LF only if SplitLines missed one.
    if (again.Lines() != list.Lines()) __builtin_trap();
    list.SetValue("Source", "x");
    list.SetValue("Target", "");
    return 0;
}
