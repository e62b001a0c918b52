// The text step reads whatever rich text the engine, or another writer, left at the target.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/base/hvError.h"
#include "text/richText.h"

namespace {

// The plain text, or a marker when the reader refused the input.
template <typename Feeding>
std::string Read(Feeding feed) {
    try {
        ThvRichTextReader reader;
        feed(reader);
        return reader.Finish();
    } catch (const EhvError&) {
        return "\x01refused";
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // Where the input is cut into pieces must not change what is read; one byte at a time
    // takes none of the shortcuts a whole run of text or a whole control word takes.
    const size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    const std::string whole = Read([&](ThvRichTextReader& r) { r.Feed(bytes); });
    const std::string two = Read([&](ThvRichTextReader& r) {
        r.Feed(bytes.substr(0, cut));
        r.Feed(bytes.substr(cut));
    });
    const std::string single = Read([&](ThvRichTextReader& r) {
        for (std::size_t i = 0; i < size; ++i) r.Feed(bytes.substr(i, 1));
    });
    if (whole != two || whole != single) __builtin_trap();
    return 0;
}
