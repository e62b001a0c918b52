#include "engine/zip/zipSalvage.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "engine/base/byteOrder.h"
#include "engine/base/engineError.h"

namespace {

constexpr std::uint32_t kLocalSignature = 0x04034B50;
constexpr std::size_t kLocalHeaderBytes = 30;
constexpr std::size_t kMaxNameBytes = 4096;
constexpr std::size_t kChunk = 1u << 20;

std::optional<ThvZipEntry> HeaderAt(const ThvByteSource& source, std::uint64_t offset) {
    char fixed[kLocalHeaderBytes];
    if (!source.ReadAt(offset, fixed, sizeof fixed)) return std::nullopt;
    const std::string_view h(fixed, sizeof fixed);
    if (U32(h, 0) != kLocalSignature) return std::nullopt;
    ThvZipEntry entry;
    entry.HeaderOffset = offset;
    ReadSharedFields(h, 4, entry);
    const std::uint16_t nameBytes = U16(h, 26), extraBytes = U16(h, 28);
    if (nameBytes == 0 || nameBytes > kMaxNameBytes) return std::nullopt;
    std::string rest(static_cast<std::size_t>(nameBytes) + extraBytes, '\0');
    if (!source.ReadAt(offset + kLocalHeaderBytes, rest.data(), rest.size())) return std::nullopt;
    entry.Name = rest.substr(0, nameBytes);
    if (entry.Name.find('\0') != std::string::npos) return std::nullopt;
    // Sizes the extra field lacks stay as the header says: the data prove them or not.
    ReadZip64Extra(std::string_view(rest).substr(nameBytes), entry.Size, entry.CompressedSize,
                   nullptr, nullptr);
    entry.DataOffset = offset + kLocalHeaderBytes + rest.size();
    return entry;
}

/// A data descriptor's signature at offset: when its sizes (stored, so both alike; 32 or
/// 64 bits) lead back to the start of a stored entry's data whose end is not known yet, that
/// data ends here.
void EndStoredData(std::string_view d, std::uint64_t offset,
                   std::unordered_map<std::uint64_t, std::uint64_t>& storedEnds) {
    if (d.size() < 16) return;
    const auto endAt = [&](std::uint64_t compressed, std::uint64_t inflated) {
        if (compressed != inflated || compressed > offset) return false;
        const auto found = storedEnds.find(offset - compressed);
        if (found == storedEnds.end() || found->second != 0) return false;
        found->second = offset;
        return true;
    };
    if (endAt(U32(d, 8), U32(d, 12))) return;
    if (d.size() >= 24) {
        endAt(U64(d, 8), U64(d, 16));
    }
}

}  // namespace

std::vector<ThvZipEntry> ScanLocalHeaders(const ThvByteSource& source, std::string_view fileName,
                                          const ThvEngineLimits& limits) {
    std::vector<ThvZipEntry> entries;
    // A stored entry with a data descriptor states no size: its data end at the descriptor
    // whose sizes measure back to its start. Until that is found, headers in its data (a
    // presentation embedded as it is) cannot be told from the package's own. Keyed by where
    // the data start; a header always comes before its descriptor.
    std::unordered_map<std::uint64_t, std::uint64_t> storedEnds;
    std::string chunk;
    const std::uint64_t size = source.Size();
    for (std::uint64_t start = 0; start < size; start += kChunk) {
        const std::size_t length =
            static_cast<std::size_t>(std::min<std::uint64_t>(size - start, kChunk + 3));
        chunk.resize(length);
        if (!source.ReadAt(start, chunk.data(), length)) break;
        const std::size_t last = std::min(kChunk, length);
        for (std::size_t i = 0; i < last; ++i) {
            const char* at = static_cast<const char*>(std::memchr(chunk.data() + i, 'P', last - i));
            if (at == nullptr) break;
            i = static_cast<std::size_t>(at - chunk.data());
            if (i + 4 > length) continue;
            if (std::memcmp(at, "PK\x07\x08", 4) == 0) {
                if (storedEnds.empty()) continue;
                // Signature, checksum and two sizes of up to 8 bytes: mostly in the chunk.
                constexpr std::size_t kDescriptorBytes = 24;
                char tail[kDescriptorBytes];
                std::string_view descriptor(at, std::min(kDescriptorBytes, length - i));
                if (descriptor.size() < kDescriptorBytes) {
                    const std::size_t have = static_cast<std::size_t>(
                        std::min<std::uint64_t>(kDescriptorBytes, size - start - i));
                    if (source.ReadAt(start + i, tail, have)) descriptor = {tail, have};
                }
                EndStoredData(descriptor, start + i, storedEnds);
                continue;
            }
            if (std::memcmp(at, "PK\x03\x04", 4) != 0) continue;
            std::optional<ThvZipEntry> entry = HeaderAt(source, start + i);
            if (!entry) continue;
            if (entries.size() >= limits.MaxEntries) {
                ThrowFileRefused(fileName, "is refused: its container holds more than " +
                                               std::to_string(limits.MaxEntries) +
                                               " parts, the limit");
            }
            if (entry->HasDescriptor() && entry->Method == 0)
                storedEnds.try_emplace(entry->DataOffset, 0);
            entries.push_back(std::move(*entry));
        }
    }
    std::uint64_t statedEnd = 0;  // where the stated data of the entries so far end
    for (ThvZipEntry& entry : entries) {
        entry.Nested = entry.HeaderOffset < statedEnd;
        if (entry.Nested) continue;
        if (!entry.HasDescriptor()) {
            statedEnd = std::max(statedEnd, entry.DataOffset + entry.CompressedSize);
        } else if (const auto found = storedEnds.find(entry.DataOffset);
                   entry.Method == 0 && found != storedEnds.end()) {
            statedEnd = std::max(statedEnd, found->second);
        }
    }
    return entries;
}
