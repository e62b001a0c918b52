// The text step reads whatever rich text the engine, or another writer, left at the target.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "hvError.h"
#include "richText.h"

namespace {

// The plain text, or a marker when the reader refused the input.
std::string Read(std::string_view first, std::string_view second) {
    try {
        ThvRichTextReader reader;
        reader.Feed(first);
        reader.Feed(second);
        return reader.Finish();
    } catch (const EhvError&) {
        return "\x01refused";
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // Where the input is cut into two pieces must not change what is read.
    const size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    if (Read(bytes, {}) != Read(bytes.substr(0, cut), bytes.substr(cut))) __builtin_trap();
    return 0;
}
