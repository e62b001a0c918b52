// Zip packages read from their local headers, as when the central directory is broken: the
// header scan, each entry's inflation against its checksum and sizes, and the presentation
// made of what is intact. Every end record in the input is spoilt first, so the central
// directory is never read and the salvage path always runs, under small limits so that they are
// reached too.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/base/byteSource.h"
#include "engine/base/engineError.h"
#include "engine/ooxml/ooxmlPackage.h"
#include "engine/ooxml/ooxmlSlides.h"
#include "engine/outline/rtfOutline.h"
#include "engine/zip/zipSalvage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    for (std::size_t at = bytes.find("PK\x05\x06"); at != std::string::npos;
         at = bytes.find("PK\x05\x06", at + 1)) {
        bytes[at + 3] = '\x07';
    }
    ThvEngineLimits limits;
    limits.MaxPartBytes = 1u << 20;
    limits.MaxFileBytes = 4u << 20;
    limits.MaxEntries = 2000;
    const ThvMemorySource source(bytes);
    try {
        ThvZipInflater inflater;
        for (const ThvZipEntry& entry : ScanLocalHeaders(source, "fuzz.pptx", limits)) {
            if (entry.DataOffset > bytes.size()) __builtin_trap();
            const ThvZipRead read = ReadZipEntry(source, entry, limits.MaxPartBytes, inflater);
            if (!read.Bytes) continue;
            // What is given as intact is: within the limit, with the checksum it states.
            if (read.Bytes->size() > limits.MaxPartBytes) __builtin_trap();
            const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(read.Bytes->data()),
                                    static_cast<uInt>(read.Bytes->size()));
            if (!entry.HasDescriptor() && static_cast<std::uint32_t>(crc) != entry.Crc) {
                __builtin_trap();
            }
        }
    } catch (const EhvFileRefused&) {
    }
    try {
        auto package = ThvOoxmlPackage::FromBuffer(bytes, "fuzz.pptx", limits);
        WriteRtfOutline(ReadOoxmlPresentation(*package));
    } catch (const EhvError&) {
    }
    return 0;
}
