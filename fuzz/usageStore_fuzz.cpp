// The usage store file is read at every start from beside the program, whatever it holds.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "shell/hvUsageStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The installation number of the file itself, so the fuzzer can reach the body and the sum.
    int32_t id = 0;
    if (size >= 16) {
        for (size_t i = 0; i < 16; i += 2) {
            const char c = static_cast<char>(data[i]);
            id = id << 4 | (c >= 'A' ? (c - 'A' + 10) & 0xF : (c - '0') & 0xF);
        }
    }
    if (auto text = DecodeUsageStore(bytes, id)) {
        // What decodes must encode back to a store that decodes the same.
        if (DecodeUsageStore(EncodeUsageStore(*text, id), id) != text) __builtin_trap();
    }
    return 0;
}
