#pragma once

class ThvCfbReader;

/// What a compound file (OLE structured storage) holds, as far as choosing its reader or its
/// message goes.
enum class ThvCompoundKind {
    EncryptedPackage,  ///< an Office Open XML file encrypted with a password
    RightsManaged,     ///< a file under rights management (IRM), binary or Office Open XML
    BinaryPowerPoint,  ///< a "PowerPoint Document" stream: PowerPoint 97-2003
    OldPowerPoint,     ///< PowerPoint 95 or 4.0
    Other,             ///< some other compound file (a Word or Excel document, ...)
};

/// Classifies a compound file by the names in its directory and, to tell PowerPoint 95 from a
/// later file that kept the older streams, by its current-user record. Nothing else is read.
ThvCompoundKind ClassifyCompoundFile(const ThvCfbReader& cfb);
