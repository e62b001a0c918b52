#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

/// What a compound file (OLE structured storage) holds, as far as choosing a message goes.
enum class ThvCompoundKind {
    EncryptedPackage,  ///< an Office Open XML file encrypted with a password
    RightsManaged,     ///< an Office Open XML file under rights management
    BinaryPowerPoint,  ///< a "PowerPoint Document" stream: PowerPoint 97-2003
    Other,             ///< some other compound file (a Word or Excel document, ...)
    Damaged,           ///< the header or directory cannot be followed
};

/// Reads size bytes at offset into out; false when the source ends before.
using ThvByteReader = std::function<bool(std::uint64_t offset, std::size_t size, char* out)>;

/// True when bytes begin with the compound file signature D0 CF 11 E0 A1 B1 1A E1.
bool HasCompoundSignature(std::string_view firstBytes);

/// Classifies a compound file by the names in its directory. Follows the header's sector
/// allocation table to the directory sectors only, under
/// ThvEngineLimits::MaxCompoundDirectoryBytes, so stream contents are never read.
ThvCompoundKind ProbeCompoundFile(const ThvByteReader& read, std::uint64_t fileSize);
