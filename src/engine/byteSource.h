#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>

#include "fileSystem.h"

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
};

/// Bytes held in memory; they must outlive the source.
class ThvMemorySource final : public ThvByteSource {
  public:
    explicit ThvMemorySource(std::string_view bytes) : bytes_(bytes) {}

    std::uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(std::uint64_t offset, char* out, std::size_t size) const override;

  private:
    std::string_view bytes_;
};

/// An open file, read where asked. The source takes the file over and closes it.
class ThvFileSource final : public ThvByteSource {
  public:
    using TFile = ThvFilePtr;

    /// Throws EhvError when the file's size cannot be found.
    explicit ThvFileSource(TFile file);

    std::uint64_t Size() const override { return size_; }
    bool ReadAt(std::uint64_t offset, char* out, std::size_t size) const override;

  private:
    TFile file_;
    std::uint64_t size_ = 0;
    mutable std::uint64_t position_ = 0;  // where the file stands, to spare needless seeks
};
