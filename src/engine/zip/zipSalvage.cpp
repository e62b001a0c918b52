#include "engine/zip/zipSalvage.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_map>

#include "engine/base/byteOrder.h"
#include "engine/base/engineError.h"

namespace {

constexpr std::uint32_t kLocalSignature = 0x04034B50;
constexpr std::uint32_t kDescriptorSignature = 0x08074B50;
constexpr std::size_t kLocalHeaderBytes = 30;
constexpr std::size_t kMaxNameBytes = 4096;
constexpr std::size_t kChunk = 1u << 20;

/// The sizes of a ZIP64 extra field, for a header whose 32-bit fields say 0xFFFFFFFF.
void ReadZip64Sizes(std::string_view extra, ThvLocalEntry& entry) {
    for (std::size_t at = 0; at + 4 <= extra.size();) {
        const std::uint16_t id = U16(extra, at), size = U16(extra, at + 2);
        if (size > extra.size() - at - 4) return;
        const std::string_view body = extra.substr(at + 4, size);
        if (id == 0x0001) {
            std::size_t field = 0;
            const auto next = [&](std::uint64_t& value) {
                if (value != 0xFFFFFFFF || field + 8 > body.size()) return;
                value = static_cast<std::uint64_t>(U32(body, field + 4)) << 32 | U32(body, field);
                field += 8;
            };
            next(entry.Size);
            next(entry.CompressedSize);
            return;
        }
        at += 4 + size;
    }
}

std::optional<ThvLocalEntry> HeaderAt(const ThvByteSource& source, std::uint64_t offset) {
    char fixed[kLocalHeaderBytes];
    if (!source.ReadAt(offset, fixed, sizeof fixed)) return std::nullopt;
    const std::string_view h(fixed, sizeof fixed);
    if (U32(h, 0) != kLocalSignature) return std::nullopt;
    ThvLocalEntry entry;
    entry.HeaderOffset = offset;
    entry.Flags = U16(h, 6);
    entry.Method = U16(h, 8);
    entry.Crc = U32(h, 14);
    entry.CompressedSize = U32(h, 18);
    entry.Size = U32(h, 22);
    const std::uint16_t nameBytes = U16(h, 26), extraBytes = U16(h, 28);
    if (nameBytes == 0 || nameBytes > kMaxNameBytes) return std::nullopt;
    std::string rest(static_cast<std::size_t>(nameBytes) + extraBytes, '\0');
    if (!source.ReadAt(offset + kLocalHeaderBytes, rest.data(), rest.size())) return std::nullopt;
    entry.Name = rest.substr(0, nameBytes);
    if (entry.Name.find('\0') != std::string::npos) return std::nullopt;
    ReadZip64Sizes(std::string_view(rest).substr(nameBytes), entry);
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
        endAt(static_cast<std::uint64_t>(U32(d, 12)) << 32 | U32(d, 8),
              static_cast<std::uint64_t>(U32(d, 20)) << 32 | U32(d, 16));
    }
}

}  // namespace

std::vector<ThvLocalEntry> ScanLocalHeaders(const ThvByteSource& source, std::string_view fileName,
                                            const ThvEngineLimits& limits) {
    std::vector<ThvLocalEntry> entries;
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
            std::optional<ThvLocalEntry> entry = HeaderAt(source, start + i);
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
    for (ThvLocalEntry& entry : entries) {
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

ThvLocalRead ReadLocalEntry(const ThvByteSource& source, const ThvLocalEntry& entry,
                            std::size_t maxBytes) {
    ThvLocalRead result;
    const auto fail = [&result](std::string why) {
        result.Why = std::move(why);
        return result;
    };
    if (entry.Flags & 0x0001) return fail("is encrypted");
    if (entry.Method != 0 && entry.Method != 8) {
        return fail("is compressed by method " + std::to_string(entry.Method));
    }
    if (!entry.HasDescriptor() && entry.Size > maxBytes) {
        result.OverLimit = true;
        return fail("inflates to more than the limit");
    }
    const std::uint64_t available =
        source.Size() > entry.DataOffset ? source.Size() - entry.DataOffset : 0;
    if (entry.Method == 0) {
        if (entry.HasDescriptor()) return fail("is stored without its size");
        if (entry.CompressedSize != entry.Size || entry.Size > available) {
            return fail("is cut off");
        }
        std::string bytes(static_cast<std::size_t>(entry.Size), '\0');
        if (!source.ReadAt(entry.DataOffset, bytes.data(), bytes.size())) return fail("is cut off");
        if (crc32(0, reinterpret_cast<const Bytef*>(bytes.data()),
                  static_cast<uInt>(bytes.size())) != entry.Crc) {
            return fail("fails its checksum");
        }
        result.Bytes = std::move(bytes);
        return result;
    }

    // Inflated piece by piece: the stated sizes are only a promise, and a data descriptor's
    // sizes come after the data.
    z_stream zs{};
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
    struct TEnd {
        z_stream* Stream;
        ~TEnd() { inflateEnd(Stream); }
    } end{&zs};
    const std::uint64_t inputLimit =
        entry.HasDescriptor() ? available : std::min(available, entry.CompressedSize);
    std::string bytes;
    std::string input(64 * 1024, '\0');
    std::uint64_t consumed = 0;
    char output[64 * 1024];
    uLong crc = crc32(0, nullptr, 0);
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        if (zs.avail_in == 0) {
            const std::size_t piece = static_cast<std::size_t>(
                std::min<std::uint64_t>(input.size(), inputLimit - consumed));
            if (piece == 0) return fail("is cut off");
            if (!source.ReadAt(entry.DataOffset + consumed, input.data(), piece)) {
                return fail("is cut off");
            }
            consumed += piece;
            zs.next_in = reinterpret_cast<Bytef*>(input.data());
            zs.avail_in = static_cast<uInt>(piece);
        }
        zs.next_out = reinterpret_cast<Bytef*>(output);
        zs.avail_out = sizeof output;
        status = inflate(&zs, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END) {
            return fail("cannot be inflated (invalid compressed data)");
        }
        const std::size_t produced = sizeof output - zs.avail_out;
        if (bytes.size() + produced > maxBytes) {
            result.OverLimit = true;
            return fail("inflates to more than the limit");
        }
        bytes.append(output, produced);
        crc = crc32(crc, reinterpret_cast<const Bytef*>(output), static_cast<uInt>(produced));
    }
    const std::uint64_t compressed = consumed - zs.avail_in;
    std::uint32_t wantCrc = entry.Crc;
    std::uint64_t wantCompressed = entry.CompressedSize, wantSize = entry.Size;
    if (entry.HasDescriptor()) {
        // The descriptor follows the data: an optional signature, the checksum, then both
        // sizes in 4 or (ZIP64) 8 bytes each.
        char descriptor[24] = {};
        const std::uint64_t at = entry.DataOffset + compressed;
        const std::size_t have = static_cast<std::size_t>(std::min<std::uint64_t>(
            sizeof descriptor, source.Size() > at ? source.Size() - at : 0));
        if (have < 12 || !source.ReadAt(at, descriptor, have))
            return fail("lost its data descriptor");
        std::string_view d(descriptor, have);
        if (U32(d, 0) == kDescriptorSignature) d.remove_prefix(4);
        if (d.size() < 12) return fail("lost its data descriptor");
        wantCrc = U32(d, 0);
        wantCompressed = U32(d, 4);
        wantSize = U32(d, 8);
        if ((wantCompressed != compressed || wantSize != bytes.size()) && d.size() >= 20) {
            wantCompressed = static_cast<std::uint64_t>(U32(d, 8)) << 32 | U32(d, 4);
            wantSize = static_cast<std::uint64_t>(U32(d, 16)) << 32 | U32(d, 12);
        }
    }
    if (static_cast<std::uint32_t>(crc) != wantCrc) return fail("fails its checksum");
    if (wantCompressed != compressed || wantSize != bytes.size()) {
        return fail("does not have the size its header states");
    }
    result.Bytes = std::move(bytes);
    return result;
}
