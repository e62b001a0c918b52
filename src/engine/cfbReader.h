#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engineLimits.h"
#include "hvError.h"

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

/// Reads the directory and streams of a compound file held in memory. The reader only observes
/// the bytes: they must outlive it. Every chain is walked with a visited bitmap and against the
/// file's sector count, so cycles and stray sector numbers fail instead of looping or reading
/// outside the buffer. Not thread-safe for concurrent use of one reader; separate readers are
/// independent.
class ThvCfbReader {
  public:
    /// Parses header, allocation tables and directory; throws EhvCfbError.
    explicit ThvCfbReader(std::string_view bytes, const ThvEngineLimits& limits = {});

    /// True when the bytes start with the compound file signature.
    static bool HasSignature(std::string_view bytes);

    /// Every entry reachable from the root, the root first.
    const std::vector<ThvCfbEntry>& Entries() const { return entries_; }

    /// The entry at a "/"-separated path below the root, names compared ignoring case;
    /// nullptr when there is none.
    const ThvCfbEntry* Find(std::string_view path) const;

    /// The whole stream; throws EhvCfbError when its chain is damaged or it is too large.
    std::string ReadStream(const ThvCfbEntry& entry) const;

    /// The stream as a view into the file's bytes when its sectors lie in one piece, as writers
    /// usually put large streams, so the reader need not copy it; empty otherwise (then use
    /// ReadStream). The chain is checked all the same.
    std::optional<std::string_view> StreamView(const ThvCfbEntry& entry) const;

  private:
    std::string_view SectorBytes(std::uint32_t sector) const;
    std::vector<std::uint32_t> Chain(std::uint32_t start, const std::vector<std::uint32_t>& table,
                                     std::size_t needed, std::size_t validCount,
                                     std::string_view what) const;
    std::string ReadFromChain(std::uint32_t start, std::uint64_t size, std::string_view what) const;
    void ReadDifatAndFat();
    void ReadDirectory();
    void ReadMiniStream();

    std::string_view bytes_;
    std::size_t maxEntries_;
    std::uint64_t maxStreamBytes_;
    std::uint32_t sectorShift_ = 9;
    std::uint32_t sectorSize_ = 512;
    std::uint32_t sectorCount_ = 0;  ///< sectors that begin inside the file
    bool version4_ = false;
    std::uint32_t miniCutoff_ = 4096;
    std::vector<std::uint32_t> fat_;
    std::vector<std::uint32_t> miniFat_;
    std::string miniStream_;
    std::vector<ThvCfbEntry> entries_;
};
