// A source list ("SourceList") is written by a driver outside the program, often from a storage
// listing: any bytes must read as a list, however the bytes are cut into pieces, and every
// entry must resolve to a path that says plainly which folder it is in.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/hvSourceList.h"

namespace {

// Small limits, so the fuzzer reaches them with short inputs.
constexpr ThvSourceListLimits kLimits{64, 40};

std::vector<std::string> Read(std::string_view bytes, std::size_t piece) {
    std::vector<std::string> seen;
    ThvSourceListReader reader(
        [&](std::size_t line, std::string text) {
            seen.push_back(std::to_string(line) + ":" + text);
        },
        [&](std::size_t line, const std::string& message) {
            seen.push_back(std::to_string(line) + "!" + message);
        },
        kLimits);
    for (std::size_t i = 0; i < bytes.size(); i += piece) reader.Feed(bytes.substr(i, piece));
    reader.Finish();
    return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> whole = Read(bytes, bytes.size() + 1);
    if (Read(bytes, 1) != whole) __builtin_trap();
    if (size > 2 && Read(bytes, 1 + data[0] % (size - 1)) != whole) __builtin_trap();

    ThvSourceListReader reader(
        [](std::size_t, std::string text) {
            if (text.find('\0') != std::string::npos) __builtin_trap();
            for (char delim : {'/', '\\'}) {
                const std::string path =
                    ResolveListEntry(text, delim == '/' ? "/in/" : "C:\\in\\", delim);
                // No step of a resolved absolute path climbs: a ".." left in it could lead a
                // target path out of its folder.
                const std::string marker = std::string(1, delim) + "..";
                const std::size_t at = path.find(marker);
                if (at != std::string::npos && (at + 3 == path.size() || path[at + 3] == delim))
                    __builtin_trap();
            }
        },
        [](std::size_t, const std::string&) {}, kLimits);
    reader.Feed(bytes);
    reader.Finish();
    return 0;
}
