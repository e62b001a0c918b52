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
#include "platform/base/hvError.h"

/// A compound file that cannot be read: the message says which structure and where.
class EhvCfbError : public EhvError {
  public:
    explicit EhvCfbError(const std::string& message) : EhvError(message) {}
};

struct ThvCfbEntry {
    enum class TKind { Storage, Stream, Root };
    TKind Kind = TKind::Stream;
    std::string Name;  ///< UTF-8, as stored (may start with a control character, e.g. "\x05")
    std::string Path;  ///< names from below the root, joined by "/"; empty for the root
    std::uint64_t Size = 0;
    std::uint32_t StartSector = 0;
};

/// A stream of a compound file, read where it is asked for: its sectors were found and its
/// chain checked when it was opened, its bytes are read from the source only now. Observes the
/// source of the reader that opened it, which must outlive the stream.
class ThvCfbStream {
  public:
    std::uint64_t Size() const { return size_; }

    /// Reads size bytes at offset of the stream into out. Throws EhvCfbError when they lie past
    /// the stream's end or cannot be read from the source.
    void Read(std::uint64_t offset, char* out, std::size_t size) const;
    std::string Read(std::uint64_t offset, std::size_t size) const;

    /// The size bytes at offset in place, where they lie in one piece of the file and the
    /// source holds them in memory (ThvByteSource::ViewAt); empty otherwise.
    std::string_view View(std::uint64_t offset, std::size_t size) const;

  private:
    friend class ThvCfbReader;
    /// A run of the stream that lies in one piece in the file.
    struct TExtent {
        std::uint64_t StreamOffset;
        std::uint64_t FileOffset;
        std::uint64_t Length;
    };

    const ThvByteSource* source_ = nullptr;
    std::string path_;
    std::uint64_t size_ = 0;
    std::vector<TExtent> extents_;
};

/// Reads the directory and streams of a compound file from a byte source (a file or a buffer):
/// the header, the allocation table and the directory when it opens, a stream's bytes only when
/// they are asked for, so a file of pictures costs no more than the streams read from it. Every
/// chain is walked with a visited bitmap and against the file's sector count, so cycles and
/// stray sector numbers fail instead of looping or reading outside the file. Not thread-safe
/// for concurrent use of one reader; separate readers are independent.
class ThvCfbReader {
  public:
    /// Parses header, allocation table and directory; throws EhvCfbError. The source must
    /// outlive the reader and every stream it opens.
    explicit ThvCfbReader(const ThvByteSource& source, const ThvEngineLimits& limits = {});
    /// The same over bytes held in memory, which must outlive the reader.
    explicit ThvCfbReader(std::string_view bytes, const ThvEngineLimits& limits = {});
    ~ThvCfbReader();

    ThvCfbReader(const ThvCfbReader&) = delete;
    ThvCfbReader& operator=(const ThvCfbReader&) = delete;

    /// True when the bytes start with the compound file signature.
    static bool HasSignature(std::string_view bytes);

    /// Every entry reachable from the root, the root first.
    const std::vector<ThvCfbEntry>& Entries() const { return entries_; }

    /// The entry at a "/"-separated path below the root, names compared ignoring case;
    /// nullptr when there is none.
    const ThvCfbEntry* Find(std::string_view path) const;

    /// A stream to read piece by piece, of any size; throws EhvCfbError when its chain is
    /// damaged.
    ThvCfbStream OpenStream(const ThvCfbEntry& entry) const;

    /// The whole stream, at most the limits' MaxPartBytes; throws EhvCfbError when its chain
    /// is damaged or it is too large.
    std::string ReadStream(const ThvCfbEntry& entry) const;

  private:
    void Open();
    std::uint64_t SectorOffset(std::uint32_t sector) const;
    void ReadSectors(std::uint32_t first, std::size_t count, char* out,
                     std::string_view what) const;
    std::vector<std::uint32_t> Chain(std::uint32_t start, const std::vector<std::uint32_t>& table,
                                     std::size_t needed, std::size_t validCount,
                                     std::string_view what) const;
    void ReadDifatAndFat();
    void ReadDirectory();
    void FindMiniStream();

    std::unique_ptr<ThvMemorySource> ownSource_;
    const ThvByteSource& source_;
    std::size_t maxEntries_;
    std::size_t maxStreamBytes_;
    std::uint32_t sectorShift_ = 9;
    std::uint32_t sectorSize_ = 512;
    std::uint32_t sectorCount_ = 0;  ///< sectors that begin inside the file
    bool version4_ = false;
    std::uint32_t miniCutoff_ = 4096;
    std::vector<std::uint32_t> fat_;
    std::vector<std::uint32_t> miniFat_;
    std::vector<std::uint32_t> miniStreamSectors_;  ///< the root entry's chain
    std::string miniStreamError_;  ///< why small streams cannot be read, when they cannot
    std::vector<ThvCfbEntry> entries_;
};
