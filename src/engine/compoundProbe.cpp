#include "compoundProbe.h"

#include <algorithm>

#include "cfbReader.h"

ThvCompoundKind ProbeCompoundFile(std::string_view bytes) {
    std::vector<ThvCfbEntry> entries;
    try {
        entries = ThvCfbReader(bytes).Entries();
    } catch (const EhvError&) {
        return ThvCompoundKind::Damaged;
    }
    auto has = [&entries](std::string_view name) {
        return std::any_of(entries.begin(), entries.end(),
                           [name](const ThvCfbEntry& entry) { return entry.Name == name; });
    };
    if (has("EncryptedPackage")) {
        // Rights management names its transform in the data spaces; a password does not.
        if (has("DRMEncryptedTransform") || has("DRMEncryptedDataSpace")) {
            return ThvCompoundKind::RightsManaged;
        }
        return ThvCompoundKind::EncryptedPackage;
    }
    if (has("EncryptionInfo")) return ThvCompoundKind::EncryptedPackage;
    // "PP40" alone is PowerPoint 4.0; the binary reader names that form itself.
    if (has("PowerPoint Document") || has("PP40")) return ThvCompoundKind::BinaryPowerPoint;
    return ThvCompoundKind::Other;
}
