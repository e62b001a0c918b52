#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/base/engineLimits.h"
#include "platform/files/fileSystem.h"

struct libdeflate_decompressor;
struct zip_stat;

struct zip;
struct zip_source;

class ThvByteSource;
struct ThvLocalEntry;

/// A relationship of a package part, its target resolved to a part name.
struct ThvRelationship {
    std::string Id;
    std::string Type;
    std::string Target;  ///< part name without leading "/"; the raw target when External
    bool External = false;
};

/// An Open Packaging Conventions package (the zip container of .pptx and its kin), read under
/// the limits given when it opens: the entry count is checked when it opens, every part's
/// inflated size is checked against its header before inflating and counted again while
/// inflating (headers can lie), and the bytes inflated from one package are capped as a whole.
/// Only parts asked for by name are ever inflated. Part names compare ignoring ASCII case, as
/// the conventions say.
///
/// When the zip's central directory cannot be read (missing, cut off, inconsistent), the parts
/// are found by their local headers instead (Salvaged()), each used only when its data inflate
/// to the checksum and sizes stated for them, under the same limits.
///
/// Errors are EhvFileError messages that begin with the file name given when opening; limits
/// throw EhvFileRefused. Not thread-safe; one package per thread.
class ThvOoxmlPackage {
  public:
    /// A package held in memory; bytes must outlive the package.
    static std::unique_ptr<ThvOoxmlPackage> FromBuffer(std::string_view bytes,
                                                       std::string_view fileName,
                                                       const ThvEngineLimits& limits = {});
    /// A package read from an open file as parts are asked for, so pictures never enter
    /// memory. The package takes the file over and closes it.
    static std::unique_ptr<ThvOoxmlPackage> FromFile(ThvFilePtr file, std::string_view fileName,
                                                     const ThvEngineLimits& limits = {});
    /// A package read from a byte source the package takes over (a decrypted package).
    static std::unique_ptr<ThvOoxmlPackage> FromSource(std::unique_ptr<ThvByteSource> source,
                                                       std::string_view fileName,
                                                       const ThvEngineLimits& limits = {});
    ~ThvOoxmlPackage();

    ThvOoxmlPackage(const ThvOoxmlPackage&) = delete;
    ThvOoxmlPackage& operator=(const ThvOoxmlPackage&) = delete;

    const std::string& FileName() const { return fileName_; }
    const ThvEngineLimits& Limits() const { return limits_; }
    std::size_t EntryCount() const { return parts_.size(); }
    bool HasPart(std::string_view partName) const;
    /// Every part's name, as stored.
    std::vector<std::string> PartNames() const;

    /// Why the central directory could not be read, when the parts were found by their local
    /// headers; empty for a package read through its central directory.
    const std::string& SalvageReason() const { return salvageReason_; }
    bool Salvaged() const { return !salvageReason_.empty(); }

    /// The inflated bytes of a part. Throws when it is missing, damaged or over the limits.
    std::string ReadPart(std::string_view partName);

    /// The relationships of a part ("" for the package's own), from its ".rels" part; empty
    /// when there is none.
    std::vector<ThvRelationship> ReadRelationships(std::string_view sourcePartName);

    /// Bytes inflated so far.
    std::uint64_t InflatedBytes() const { return inflated_; }

  private:
    struct ThvZipCloser {
        void operator()(zip* archive) const;
    };
    struct ThvDecompressorFree {
        void operator()(libdeflate_decompressor* decompressor) const;
    };
    struct TPart {
        std::string Name;
        std::uint64_t Index = 0;         ///< in the central directory
        std::vector<std::size_t> Local;  ///< salvaged: candidates, the one to try first first
    };

    /// Opens the archive of a source it then owns; salvage reads through salvageBytes (which
    /// may read the source itself) when the central directory cannot be read.
    static std::unique_ptr<ThvOoxmlPackage> Open(zip_source* source,
                                                 std::unique_ptr<ThvByteSource> salvageBytes,
                                                 std::string_view fileName,
                                                 const ThvEngineLimits& limits);

    ThvOoxmlPackage(std::string_view fileName, const ThvEngineLimits& limits);
    void IndexArchive(zip* archive);
    void IndexLocalHeaders(std::unique_ptr<ThvByteSource> bytes, std::string reason);

    std::string ReadArchivePart(const TPart& part, std::string_view partName);
    std::string ReadLocalPart(const TPart& part, std::string_view partName);
    /// A deflated part taken whole and inflated in one call; false when the part is of
    /// another kind (stored, encrypted, oddly large) and must go the streaming way.
    bool InflateWhole(std::uint64_t index, const struct zip_stat& stat, std::string_view partName,
                      std::string& bytes);
    [[noreturn]] void RefusePart(std::string_view partName) const;
    [[noreturn]] void RefuseTotal() const;

    // The source before the archive that may read it, so it is destroyed after it.
    std::unique_ptr<ThvByteSource> sourceBytes_;  ///< a source the package owns, or salvage's
    std::unique_ptr<zip, ThvZipCloser> archive_;
    std::unique_ptr<libdeflate_decompressor, ThvDecompressorFree> decompressor_;
    std::vector<ThvLocalEntry> local_;
    std::string salvageReason_;
    std::string fileName_;
    ThvEngineLimits limits_;
    std::unordered_map<std::string, TPart> parts_;  // lower-case name -> part
    std::uint64_t inflated_ = 0;
};

/// The part name a relationship target points to, seen from the source part: relative targets
/// resolve against the source's folder, "/" targets are absolute, "%XX" escapes are decoded,
/// "." and ".." segments removed. Empty when the target climbs above the package root.
std::string ResolvePartName(std::string_view sourcePartName, std::string_view target);

/// The name of the ".rels" part that holds the relationships of a part ("" for the package).
std::string RelationshipsPartName(std::string_view sourcePartName);

/// True when a relationship type ends with "/" + kind, as both the Transitional and the Strict
/// forms of a type do ("officeDocument", "slide", "diagramData" ...).
bool IsRelationshipType(std::string_view type, std::string_view kind);
