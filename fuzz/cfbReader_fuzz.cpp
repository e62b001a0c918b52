// Compound files arrive from any file named .ppt, .pps or .pot, whatever they hold.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/cfb/cfbReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        const ThvCfbReader cfb(bytes);
        for (const ThvCfbEntry& entry : cfb.Entries()) {
            if (entry.Kind != ThvCfbEntry::TKind::Stream) continue;
            try {
                // Every stream that reads must be exactly as long as its entry says.
                if (cfb.ReadStream(entry).size() != entry.Size) __builtin_trap();
            } catch (const EhvCfbError&) {
            }
            if (cfb.Find(entry.Path) == nullptr) __builtin_trap();
        }
    } catch (const EhvCfbError&) {
    }
    return 0;
}
