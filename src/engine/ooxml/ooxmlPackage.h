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
#include "engine/zip/zipArchive.h"
#include "platform/files/fileSystem.h"

class ThvByteSource;

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
    /// A package read from an open file as parts are asked for: a large file's pictures never
    /// enter memory (ThvFileSource reads a file of up to 1 MiB whole, a larger one in
    /// windows). The package takes the file over and closes it.
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
    struct TPart {
        std::string Name;
        std::vector<std::size_t> Entries;  ///< candidates, the one to try first first
    };

    /// Reads the package from bytes it then owns: through the central directory when it can
    /// be read, else from the local headers.
    static std::unique_ptr<ThvOoxmlPackage> Open(std::unique_ptr<ThvByteSource> bytes,
                                                 std::string_view fileName,
                                                 const ThvEngineLimits& limits);

    ThvOoxmlPackage(std::string_view fileName, const ThvEngineLimits& limits);
    void IndexDirectory();
    void IndexLocalHeaders();

    [[noreturn]] void RefusePart(std::string_view partName) const;
    [[noreturn]] void RefuseTotal() const;

    std::unique_ptr<ThvByteSource> bytes_;
    ThvZipInflater inflater_;
    std::vector<ThvZipEntry> entries_;
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
