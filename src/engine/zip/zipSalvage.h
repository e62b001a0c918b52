#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/base/byteSource.h"
#include "engine/base/engineLimits.h"

/// A zip entry found by its local file header, for a package whose central directory cannot be
/// read (missing, cut off or inconsistent), the way "zip -FF" reads one. Nothing here is
/// trusted until the entry's data inflate to the sizes and checksum its header or data
/// descriptor state.
struct ThvLocalEntry {
    std::string Name;
    std::uint64_t HeaderOffset = 0;
    std::uint64_t DataOffset = 0;
    std::uint16_t Flags = 0;
    std::uint16_t Method = 0;  ///< 0 stored, 8 deflated; others cannot be read
    std::uint32_t Crc = 0;
    std::uint64_t CompressedSize = 0;  ///< as the header states; unknown with a data descriptor
    std::uint64_t Size = 0;
    bool Nested = false;  ///< inside the stated data of an entry before it (a stored package)

    bool HasDescriptor() const { return (Flags & 0x0008) != 0; }
};

/// Every local file header in the source, in file order. Refuses (EhvFileRefused, naming
/// fileName) more than the limits' MaxEntries.
std::vector<ThvLocalEntry> ScanLocalHeaders(const ThvByteSource& source, std::string_view fileName,
                                            const ThvEngineLimits& limits);

/// The result of reading one salvaged entry: its bytes when they are intact, otherwise why not.
struct ThvLocalRead {
    std::optional<std::string> Bytes;
    std::string Why;         ///< "fails its checksum", ...; empty when Bytes is set
    bool OverLimit = false;  ///< it inflates to more than the limit: a refusal, not damage
};

/// Inflates one entry and checks it against its checksum and sizes; at most maxBytes are
/// inflated. Stored entries must state their sizes in the header.
ThvLocalRead ReadLocalEntry(const ThvByteSource& source, const ThvLocalEntry& entry,
                            std::size_t maxBytes);
