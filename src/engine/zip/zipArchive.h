#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/byteSource.h"
#include "engine/base/engineLimits.h"

struct libdeflate_decompressor;

/// One entry of a zip archive: listed by the central directory, or found by its local header
/// when the directory cannot be read (see zipSalvage.h). Nothing here is trusted until the
/// entry's data inflate to the sizes and checksum stated for them.
struct ThvZipEntry {
    std::string Name;
    std::uint64_t HeaderOffset = 0;  ///< of the local header
    std::uint64_t DataOffset = 0;    ///< found by its local header: where its data start
    std::uint16_t Flags = 0;
    std::uint16_t Method = 0;  ///< 0 stored, 8 deflated; others cannot be read
    std::uint32_t Crc = 0;
    std::uint64_t CompressedSize = 0;  ///< as stated; unknown for a local one with a descriptor
    std::uint64_t Size = 0;
    /// From the central directory: sizes and checksum are the directory's, known before the
    /// data, and the data start after the local header at HeaderOffset.
    bool Listed = false;
    bool Nested = false;  ///< found inside the stated data of an entry before it

    bool HasDescriptor() const { return !Listed && (Flags & 0x0008) != 0; }
};

/// The entries of an archive's central directory, in its order; when the directory is missing
/// or does not hold together (its end record, its records, where they point), no entries and
/// why not, and the archive is one to salvage from its local headers. A directory of more
/// entries than the limits' MaxEntries is refused (EhvFileRefused, naming fileName).
struct ThvZipDirectory {
    std::vector<ThvZipEntry> Entries;
    std::string Why;  ///< "Not a zip archive", "Zip archive inconsistent"; empty when read
};
ThvZipDirectory ReadCentralDirectory(const ThvByteSource& source, std::string_view fileName,
                                     const ThvEngineLimits& limits);

/// The fields a local header and a directory record share, read from the version needed
/// (at 4 in a local header, 6 in a directory record) on: flags, method, checksum and sizes.
void ReadSharedFields(std::string_view record, std::size_t versionAt, ThvZipEntry& entry);

/// The values that a record's 32-bit fields leave to its ZIP64 extra field (id 1): those that
/// say 0xFFFFFFFF (0xFFFF for the disk), in this order; headerOffset and disk may be null (a
/// local header has neither). False when the extra field lacks one that is wanted.
bool ReadZip64Extra(std::string_view extra, std::uint64_t& size, std::uint64_t& compressedSize,
                    std::uint64_t* headerOffset, std::uint32_t* disk);

/// What inflates entries, kept from entry to entry (its tables are allocated once).
class ThvZipInflater {
  public:
    ThvZipInflater();
    ~ThvZipInflater();
    ThvZipInflater(const ThvZipInflater&) = delete;
    ThvZipInflater& operator=(const ThvZipInflater&) = delete;

    libdeflate_decompressor* Decompressor();

  private:
    struct TFree {
        void operator()(libdeflate_decompressor* decompressor) const;
    };
    std::unique_ptr<libdeflate_decompressor, TFree> decompressor_;
};

/// The result of reading one entry: its bytes when they are intact, otherwise why not.
struct ThvZipRead {
    std::optional<std::string> Bytes;
    std::string Why;         ///< "fails its checksum", ...; empty when Bytes is set
    bool OverLimit = false;  ///< it inflates to more than maxBytes: a refusal, not damage
};

/// Reads one entry, listed or found, stored or deflated, and checks it against its checksum
/// and sizes; at most maxBytes are ever inflated. A stated size over maxBytes is over the limit
/// before anything is read.
ThvZipRead ReadZipEntry(const ThvByteSource& source, const ThvZipEntry& entry, std::size_t maxBytes,
                        ThvZipInflater& inflater);
