#pragma once

#include <string_view>

/// What a compound file (OLE structured storage) holds, as far as choosing a message goes.
enum class ThvCompoundKind {
    EncryptedPackage,  ///< an Office Open XML file encrypted with a password
    RightsManaged,     ///< an Office Open XML file under rights management
    BinaryPowerPoint,  ///< a "PowerPoint Document" stream: PowerPoint 97-2003
    Other,             ///< some other compound file (a Word or Excel document, ...)
    Damaged,           ///< the header or directory cannot be followed
};

/// Classifies a compound file held in memory by the names in its directory; stream contents
/// are never read.
ThvCompoundKind ProbeCompoundFile(std::string_view bytes);
