#include "engine/zip/zipArchive.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <new>

#include "engine/base/byteOrder.h"
#include "engine/base/engineError.h"

namespace {

constexpr std::uint32_t kEndSignature = 0x06054B50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr std::uint32_t kZip64EndSignature = 0x06064B50;
constexpr std::uint32_t kDirectorySignature = 0x02014B50;
constexpr std::uint32_t kLocalSignature = 0x04034B50;
constexpr std::uint32_t kDescriptorSignature = 0x08074B50;
constexpr std::size_t kEndBytes = 22;
constexpr std::size_t kZip64LocatorBytes = 20;
constexpr std::size_t kZip64EndBytes = 56;
constexpr std::size_t kDirectoryRecordBytes = 46;
constexpr std::size_t kLocalHeaderBytes = 30;
constexpr std::size_t kMaxCommentBytes = 0xFFFF;
constexpr std::size_t kReadPiece = 64 * 1024;

/// Where the central directory lies and what it holds, as the end records state it.
struct TDirectoryPlace {
    std::uint64_t Offset = 0;
    std::uint64_t Size = 0;
    std::uint64_t Count = 0;
    std::uint64_t End = 0;  ///< where the records after the directory begin
};

/// The directory's bytes, read a piece at a time: a directory of many entries is read in a few
/// reads, and a lying size in the end record never allocates more than a piece.
class TDirectoryBytes {
  public:
    TDirectoryBytes(const ThvByteSource& source, std::uint64_t end) : source_(source), end_(end) {}

    /// The size bytes at offset, valid until the next call; empty when they are not all there.
    std::optional<std::string_view> At(std::uint64_t offset, std::size_t size) {
        if (offset > end_ || end_ - offset < size) return std::nullopt;
        if (offset >= start_ && offset - start_ + size <= view_.size()) {
            return view_.substr(static_cast<std::size_t>(offset - start_), size);
        }
        const std::size_t length = static_cast<std::size_t>(
            std::min<std::uint64_t>(end_ - offset, std::max(size, kReadPiece)));
        view_ = source_.ViewAt(offset, length);
        if (view_.size() != length) {
            buffer_.resize(length);
            if (!source_.ReadAt(offset, buffer_.data(), length)) return std::nullopt;
            view_ = buffer_;
        }
        start_ = offset;
        return view_.substr(0, size);
    }

  private:
    const ThvByteSource& source_;
    std::uint64_t end_;
    std::uint64_t start_ = 0;
    std::string_view view_;
    std::string buffer_;
};

/// The place stated by the end record at offset at, through the ZIP64 end record when a
/// locator stands right before it (ZIP64 writers put every true value there). Nothing when
/// the records do not fit the file or speak of more than one disk.
std::optional<TDirectoryPlace> PlaceOf(const ThvByteSource& source, std::string_view end,
                                       std::uint64_t at) {
    TDirectoryPlace place;
    place.Offset = U32(end, 16);
    place.Size = U32(end, 12);
    place.Count = U16(end, 10);
    place.End = at;
    std::uint64_t disk = U16(end, 4), directoryDisk = U16(end, 6), countOnDisk = U16(end, 8);
    char locator[kZip64LocatorBytes];
    if (at >= kZip64LocatorBytes &&
        source.ReadAt(at - kZip64LocatorBytes, locator, sizeof locator) &&
        U32(std::string_view(locator, sizeof locator), 0) == kZip64LocatorSignature) {
        const std::string_view l(locator, sizeof locator);
        const std::uint64_t recordAt = U64(l, 8);
        char record[kZip64EndBytes];
        if (U32(l, 16) > 1 || recordAt > at - kZip64LocatorBytes ||
            at - kZip64LocatorBytes - recordAt < kZip64EndBytes ||
            !source.ReadAt(recordAt, record, sizeof record)) {
            return std::nullopt;
        }
        const std::string_view r(record, sizeof record);
        if (U32(r, 0) != kZip64EndSignature) return std::nullopt;
        disk = U32(r, 16);
        directoryDisk = U32(r, 20);
        countOnDisk = U64(r, 24);
        place.Count = U64(r, 32);
        place.Size = U64(r, 40);
        place.Offset = U64(r, 48);
        place.End = recordAt;
    }
    if (disk != 0 || directoryDisk != 0 || countOnDisk != place.Count || place.Offset > place.End ||
        place.Size > place.End - place.Offset || place.Count > place.Size / kDirectoryRecordBytes) {
        return std::nullopt;
    }
    return place;
}

constexpr std::string_view kNotAZip = "Not a zip archive";
constexpr std::string_view kInconsistent = "Zip archive inconsistent";

/// Every record of the directory at place; when they do not hold together, why not: kNotAZip
/// for bytes that are no record where one should be, else kInconsistent (a record that runs
/// past the directory or points at a local header that cannot lie before it, records that do
/// not fill the directory). Empty when they do.
std::string_view ReadRecords(const ThvByteSource& source, const TDirectoryPlace& place,
                             std::vector<ThvZipEntry>& entries) {
    TDirectoryBytes bytes(source, place.Offset + place.Size);
    entries.reserve(static_cast<std::size_t>(place.Count));
    std::uint64_t at = place.Offset;
    for (std::uint64_t n = 0; n < place.Count; ++n) {
        const std::optional<std::string_view> fixed = bytes.At(at, kDirectoryRecordBytes);
        if (!fixed) return kInconsistent;
        if (U32(*fixed, 0) != kDirectorySignature) return kNotAZip;
        const std::string_view r = *fixed;
        ThvZipEntry entry;
        entry.Listed = true;
        ReadSharedFields(r, 6, entry);
        const std::size_t nameBytes = U16(r, 28), extraBytes = U16(r, 30),
                          commentBytes = U16(r, 32);
        std::uint32_t disk = U16(r, 34);
        entry.HeaderOffset = U32(r, 42);
        const std::optional<std::string_view> named =
            bytes.At(at + kDirectoryRecordBytes, nameBytes + extraBytes);
        if (!named) return kInconsistent;
        entry.Name = named->substr(0, nameBytes);
        if (!ReadZip64Extra(named->substr(nameBytes), entry.Size, entry.CompressedSize,
                            &entry.HeaderOffset, &disk) ||
            disk != 0 || entry.HeaderOffset > place.Offset ||
            place.Offset - entry.HeaderOffset < kLocalHeaderBytes) {
            return kInconsistent;
        }
        entries.push_back(std::move(entry));
        at += kDirectoryRecordBytes + nameBytes + extraBytes + commentBytes;
        if (at > place.Offset + place.Size) return kInconsistent;
    }
    // Records beyond the count are entries the end record does not know of (a count that
    // wrapped at 65535 without ZIP64): the local headers tell them all.
    return at == place.Offset + place.Size ? std::string_view() : kInconsistent;
}

/// A deflated entry whose sizes are known, inflated in one call into exactly its stated size
/// (one byte more fails, and never grows the buffer).
ThvZipRead InflateWhole(const ThvByteSource& source, const ThvZipEntry& entry,
                        std::uint64_t dataOffset, ThvZipInflater& inflater) {
    ThvZipRead result;
    const std::size_t compressedSize = static_cast<std::size_t>(entry.CompressedSize);
    std::string_view compressed = source.ViewAt(dataOffset, compressedSize);
    std::string copy;
    if (compressed.size() != compressedSize) {
        copy.resize(compressedSize);
        if (!source.ReadAt(dataOffset, copy.data(), copy.size())) {
            result.Why = "is cut off";
            return result;
        }
        compressed = copy;
    }
    std::string bytes(static_cast<std::size_t>(entry.Size), '\0');
    std::size_t produced = 0;
    const libdeflate_result inflated =
        libdeflate_deflate_decompress(inflater.Decompressor(), compressed.data(), compressed.size(),
                                      bytes.data(), bytes.size(), &produced);
    if (inflated == LIBDEFLATE_INSUFFICIENT_SPACE) {
        result.Why = "inflates to more than its stated size";
    } else if (inflated != LIBDEFLATE_SUCCESS) {
        result.Why = "cannot be inflated (invalid compressed data)";
    } else if (produced != bytes.size()) {
        result.Why = "inflates to less than its stated size";
    } else if (libdeflate_crc32(0, bytes.data(), bytes.size()) != entry.Crc) {
        result.Why = "cannot be inflated (CRC error)";
    } else {
        result.Bytes = std::move(bytes);
    }
    return result;
}

/// Checks a local entry's data descriptor, which follows its data: an optional signature, the
/// checksum, then both sizes in 4 or (ZIP64) 8 bytes each. Empty when it agrees.
std::string CheckDescriptor(const ThvByteSource& source, std::uint64_t at, std::uint32_t crc,
                            std::uint64_t compressed, std::uint64_t size) {
    char descriptor[24] = {};
    const std::size_t have = static_cast<std::size_t>(
        std::min<std::uint64_t>(sizeof descriptor, source.Size() > at ? source.Size() - at : 0));
    if (have < 12 || !source.ReadAt(at, descriptor, have)) return "lost its data descriptor";
    std::string_view d(descriptor, have);
    if (U32(d, 0) == kDescriptorSignature) d.remove_prefix(4);
    if (d.size() < 12) return "lost its data descriptor";
    std::uint64_t wantCompressed = U32(d, 4), wantSize = U32(d, 8);
    if ((wantCompressed != compressed || wantSize != size) && d.size() >= 20) {
        wantCompressed = U64(d, 4);
        wantSize = U64(d, 12);
    }
    if (U32(d, 0) != crc) return "fails its checksum";
    if (wantCompressed != compressed || wantSize != size) {
        return "does not have the size its header states";
    }
    return {};
}

/// A deflated entry inflated piece by piece: one found by its local header (whose sizes are
/// only a promise, and a data descriptor's come after the data), or a listed one whose
/// compressed size is far beyond what deflate makes of its stated size, so that taking its
/// compressed bytes whole would cost more than the part.
ThvZipRead InflateStreaming(const ThvByteSource& source, const ThvZipEntry& entry,
                            std::uint64_t dataOffset, std::size_t maxBytes) {
    ThvZipRead result;
    const auto fail = [&result](std::string why) {
        result.Why = std::move(why);
        return result;
    };
    // A listed entry inflates to its stated size and no more, which is within maxBytes.
    const std::size_t limit = entry.Listed ? static_cast<std::size_t>(entry.Size) : maxBytes;
    z_stream zs{};
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
    struct TEnd {
        z_stream* Stream;
        ~TEnd() { inflateEnd(Stream); }
    } end{&zs};
    const std::uint64_t available = source.Size() > dataOffset ? source.Size() - dataOffset : 0;
    const std::uint64_t inputLimit =
        entry.HasDescriptor() ? available : std::min(available, entry.CompressedSize);
    std::string bytes;
    std::string input(kReadPiece, '\0');
    std::uint64_t consumed = 0;
    char output[kReadPiece];
    std::uint32_t crc = 0;
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        if (zs.avail_in == 0) {
            const std::size_t piece = static_cast<std::size_t>(
                std::min<std::uint64_t>(input.size(), inputLimit - consumed));
            if (piece == 0 || !source.ReadAt(dataOffset + consumed, input.data(), piece)) {
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
        if (bytes.size() + produced > limit) {
            if (entry.Listed) return fail("inflates to more than its stated size");
            result.OverLimit = true;
            return fail("inflates to more than the limit");
        }
        bytes.append(output, produced);
        crc = libdeflate_crc32(crc, output, produced);
    }
    const std::uint64_t compressed = consumed - zs.avail_in;
    if (entry.Listed) {
        if (bytes.size() != entry.Size) return fail("inflates to less than its stated size");
        if (crc != entry.Crc) return fail("cannot be inflated (CRC error)");
    } else if (entry.HasDescriptor()) {
        std::string why =
            CheckDescriptor(source, dataOffset + compressed, crc, compressed, bytes.size());
        if (!why.empty()) return fail(std::move(why));
    } else {
        if (crc != entry.Crc) return fail("fails its checksum");
        if (compressed != entry.CompressedSize || bytes.size() != entry.Size) {
            return fail("does not have the size its header states");
        }
    }
    result.Bytes = std::move(bytes);
    return result;
}

ThvZipRead ReadStored(const ThvByteSource& source, const ThvZipEntry& entry,
                      std::uint64_t dataOffset) {
    ThvZipRead result;
    const std::uint64_t available = source.Size() > dataOffset ? source.Size() - dataOffset : 0;
    if (entry.HasDescriptor()) {
        result.Why = "is stored without its size";
    } else if (entry.CompressedSize != entry.Size) {
        result.Why = entry.Listed ? "does not have the size its header states" : "is cut off";
    } else if (entry.Size > available) {
        result.Why = "is cut off";
    } else {
        std::string bytes(static_cast<std::size_t>(entry.Size), '\0');
        if (!source.ReadAt(dataOffset, bytes.data(), bytes.size())) {
            result.Why = "is cut off";
        } else if (libdeflate_crc32(0, bytes.data(), bytes.size()) != entry.Crc) {
            result.Why = entry.Listed ? "cannot be inflated (CRC error)" : "fails its checksum";
        } else {
            result.Bytes = std::move(bytes);
        }
    }
    return result;
}

/// Where a listed entry's data start: after its local header, which must be there and name
/// the same entry. Empty, with why, when it is not.
std::optional<std::uint64_t> ListedDataOffset(const ThvByteSource& source, const ThvZipEntry& entry,
                                              std::string& why) {
    char header[kLocalHeaderBytes];
    if (!source.ReadAt(entry.HeaderOffset, header, sizeof header)) {
        why = "is cut off";
        return std::nullopt;
    }
    const std::string_view h(header, sizeof header);
    const std::size_t nameBytes = U16(h, 26), extraBytes = U16(h, 28);
    std::string name(nameBytes, '\0');
    if (U32(h, 0) != kLocalSignature || nameBytes != entry.Name.size() ||
        !source.ReadAt(entry.HeaderOffset + kLocalHeaderBytes, name.data(), name.size()) ||
        name != entry.Name) {
        why = "cannot be read (its local header does not match the zip directory)";
        return std::nullopt;
    }
    return entry.HeaderOffset + kLocalHeaderBytes + nameBytes + extraBytes;
}

}  // namespace

void ReadSharedFields(std::string_view record, std::size_t versionAt, ThvZipEntry& entry) {
    entry.Flags = U16(record, versionAt + 2);
    entry.Method = U16(record, versionAt + 4);
    entry.Crc = U32(record, versionAt + 10);
    entry.CompressedSize = U32(record, versionAt + 14);
    entry.Size = U32(record, versionAt + 18);
}

bool ReadZip64Extra(std::string_view extra, std::uint64_t& size, std::uint64_t& compressedSize,
                    std::uint64_t* headerOffset, std::uint32_t* disk) {
    const bool wantSize = size == 0xFFFFFFFF, wantCompressed = compressedSize == 0xFFFFFFFF,
               wantOffset = headerOffset != nullptr && *headerOffset == 0xFFFFFFFF,
               wantDisk = disk != nullptr && *disk == 0xFFFF;
    if (!wantSize && !wantCompressed && !wantOffset && !wantDisk) return true;
    for (std::size_t at = 0; at + 4 <= extra.size();) {
        const std::uint16_t id = U16(extra, at), length = U16(extra, at + 2);
        if (length > extra.size() - at - 4) return false;
        if (id != 0x0001) {
            at += 4 + length;
            continue;
        }
        const std::string_view body = extra.substr(at + 4, length);
        std::size_t field = 0;
        const auto next = [&](bool wanted, std::uint64_t& value) {
            if (!wanted) return true;
            if (field + 8 > body.size()) return false;
            value = U64(body, field);
            field += 8;
            return true;
        };
        if (!next(wantSize, size) || !next(wantCompressed, compressedSize) ||
            (wantOffset && !next(true, *headerOffset))) {
            return false;
        }
        if (wantDisk) {
            if (field + 4 > body.size()) return false;
            *disk = U32(body, field);
        }
        return true;
    }
    return false;
}

ThvZipDirectory ReadCentralDirectory(const ThvByteSource& source, std::string_view fileName,
                                     const ThvEngineLimits& limits) {
    ThvZipDirectory directory;
    const std::uint64_t size = source.Size();
    // The end record is the file's last 22 bytes, unless a comment of up to 64 KiB follows it.
    const std::size_t tailBytes =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, kEndBytes + kMaxCommentBytes));
    const std::uint64_t tailAt = size - tailBytes;
    std::string copy;
    std::string_view tail = source.ViewAt(tailAt, tailBytes);
    if (tail.size() != tailBytes) {
        copy.resize(tailBytes);
        if (!source.ReadAt(tailAt, copy.data(), copy.size())) copy.clear();
        tail = copy;
    }
    // Why the directory cannot be read is what its end record nearest the file's end leads to.
    std::string_view why;
    for (std::size_t i = tail.size() >= kEndBytes ? tail.size() - kEndBytes + 1 : 0; i-- > 0;) {
        if (tail[i] != 'P' || U32(tail, i) != kEndSignature) continue;
        // A signature that a comment longer than the rest of the file would follow is some
        // other record's bytes; so is one whose directory does not fit before it.
        if (U16(tail, i + 20) > tail.size() - i - kEndBytes) continue;
        const std::optional<TDirectoryPlace> place =
            PlaceOf(source, tail.substr(i, kEndBytes), tailAt + i);
        if (!place) {
            if (why.empty()) why = kInconsistent;
            continue;
        }
        if (place->Count > limits.MaxEntries) {
            ThrowFileRefused(fileName, "is refused: its container holds " +
                                           std::to_string(place->Count) +
                                           " parts, more than the limit of " +
                                           std::to_string(limits.MaxEntries));
        }
        const std::string_view recordsWhy = ReadRecords(source, *place, directory.Entries);
        if (recordsWhy.empty()) return directory;
        if (why.empty()) why = recordsWhy;
        directory.Entries.clear();
    }
    directory.Why = why.empty() ? kNotAZip : why;
    return directory;
}

ThvZipInflater::ThvZipInflater() = default;
ThvZipInflater::~ThvZipInflater() = default;

void ThvZipInflater::TFree::operator()(libdeflate_decompressor* decompressor) const {
    libdeflate_free_decompressor(decompressor);
}

libdeflate_decompressor* ThvZipInflater::Decompressor() {
    if (!decompressor_) {
        decompressor_.reset(libdeflate_alloc_decompressor());
        if (!decompressor_) throw std::bad_alloc();
    }
    return decompressor_.get();
}

ThvZipRead ReadZipEntry(const ThvByteSource& source, const ThvZipEntry& entry, std::size_t maxBytes,
                        ThvZipInflater& inflater) {
    ThvZipRead result;
    if (entry.Flags & 0x0001) {
        result.Why = "is encrypted";
        return result;
    }
    if (entry.Method != 0 && entry.Method != 8) {
        result.Why = "is compressed by method " + std::to_string(entry.Method);
        return result;
    }
    if (!entry.HasDescriptor() && entry.Size > maxBytes) {
        result.OverLimit = true;
        result.Why = "inflates to more than the limit";
        return result;
    }
    std::uint64_t dataOffset = entry.DataOffset;
    if (entry.Listed) {
        const std::optional<std::uint64_t> found = ListedDataOffset(source, entry, result.Why);
        if (!found) return result;
        dataOffset = *found;
    }
    if (entry.Method == 0) return ReadStored(source, entry, dataOffset);
    if (entry.Listed) {
        const std::uint64_t available = source.Size() > dataOffset ? source.Size() - dataOffset : 0;
        if (entry.CompressedSize > available) {
            result.Why = "is cut off";
            return result;
        }
        // Deflate never needs much more room than the bytes it stands for: a stream far
        // larger than its part is no honest part, and the streaming way bounds its cost.
        if (entry.CompressedSize <= entry.Size + entry.Size / 1024 + 1024) {
            return InflateWhole(source, entry, dataOffset, inflater);
        }
    }
    return InflateStreaming(source, entry, dataOffset, maxBytes);
}
