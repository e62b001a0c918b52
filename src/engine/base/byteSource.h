#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>

#include "platform/files/fileSystem.h"

/// Random access to the bytes of a file or of a buffer, for the readers that need only some of
/// them: a compound file's directory and streams, a zip package's local headers. Reading never
/// grows memory beyond what the caller asks for. One reader at a time: a file source moves its
/// file's position.
class ThvByteSource {
  public:
    virtual ~ThvByteSource() = default;

    /// The number of bytes, as the source was when it was opened.
    virtual std::uint64_t Size() const = 0;

    /// Reads size bytes at offset into out. False when they are not all there: past the end,
    /// or the file could not be read (it may have been cut short since it was opened).
    virtual bool ReadAt(std::uint64_t offset, char* out, std::size_t size) const = 0;

    /// The size bytes at offset where the source holds them in memory for as long as it lives,
    /// so that a reader need not copy them; empty where it does not (read them with ReadAt).
    virtual std::string_view ViewAt(std::uint64_t offset, std::size_t size) const {
        (void)offset, (void)size;
        return {};
    }
};

/// Bytes held in memory; they must outlive the source.
class ThvMemorySource final : public ThvByteSource {
  public:
    explicit ThvMemorySource(std::string_view bytes) : bytes_(bytes) {}

    std::uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(std::uint64_t offset, char* out, std::size_t size) const override;
    std::string_view ViewAt(std::uint64_t offset, std::size_t size) const override;

  private:
    std::string_view bytes_;
};

/// An open file, read where asked. The source takes the file over and closes it.
///
/// Reads are served from windows of the file read in one piece each: a compound file's records
/// are a few bytes each, scattered over its sectors and its allocation table, and a seek and a
/// read of the file for each cost more than parsing them. A file of up to kWholeFileBytes is
/// one window; a larger one has kWindows windows of kWindowBytes, the least recently used
/// replaced. The windows are all the memory the source holds beyond what a caller asks for.
/// Only a file read whole is viewed in place: a window of a larger one may be replaced.
class ThvFileSource final : public ThvByteSource {
  public:
    using TFile = ThvFilePtr;
    static constexpr std::uint64_t kWholeFileBytes = 1024 * 1024;
    static constexpr std::size_t kWindowBytes = 64 * 1024;
    static constexpr std::size_t kWindows = 4;

    /// Throws EhvError when the file's size cannot be found.
    explicit ThvFileSource(TFile file);

    std::uint64_t Size() const override { return size_; }
    bool ReadAt(std::uint64_t offset, char* out, std::size_t size) const override;
    std::string_view ViewAt(std::uint64_t offset, std::size_t size) const override;

  private:
    struct TWindow {
        std::unique_ptr<char[]> Bytes;
        std::uint64_t Start = 0;
        std::size_t Length = 0;  ///< what the file held there; 0 for a window never read
        std::uint64_t LastUse = 0;
    };

    /// The window that holds offset, read when none does; null when the file no longer holds
    /// that byte (it was cut short since it was opened) or cannot be read.
    const TWindow* WindowAt(std::uint64_t offset) const;
    /// The number of bytes read at offset, fewer than size when the file ends or fails.
    std::size_t ReadFile(std::uint64_t offset, char* out, std::size_t size) const;

    TFile file_;
    std::uint64_t size_ = 0;
    std::size_t windowBytes_ = 0;
    mutable std::uint64_t position_ = 0;  // where the file stands, to spare needless seeks
    mutable TWindow windows_[kWindows];
    mutable std::uint64_t uses_ = 0;
};
