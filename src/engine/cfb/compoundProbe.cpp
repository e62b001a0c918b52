#include "engine/cfb/compoundProbe.h"

#include <algorithm>

#include "engine/base/byteOrder.h"
#include "engine/cfb/cfbReader.h"

namespace {

/// A current-user record as PowerPoint 97 and later write it: its own record type, the
/// document file version 0x03F4 and major version 3.
bool HasCurrentUserAtom(const ThvCfbReader& cfb) {
    const ThvCfbEntry* entry = cfb.Find("Current User");
    if (entry == nullptr || entry->Kind != ThvCfbEntry::TKind::Stream || entry->Size < 26) {
        return false;
    }
    try {
        const std::string bytes = cfb.OpenStream(*entry).Read(0, 26);
        return U16(bytes, 2) == 0x0FF6 && U16(bytes, 22) == 0x03F4 &&
               static_cast<unsigned char>(bytes[24]) == 3;
    } catch (const EhvCfbError&) {
        return false;
    }
}

}  // namespace

ThvCompoundKind ClassifyCompoundFile(const ThvCfbReader& cfb) {
    const auto has = [&cfb](const char* path) { return cfb.Find(path) != nullptr; };
    const auto named = [&cfb](std::string_view name) {
        return std::any_of(cfb.Entries().begin(), cfb.Entries().end(),
                           [name](const ThvCfbEntry& entry) { return entry.Name == name; });
    };
    if (has("EncryptedPackage")) {
        // Rights management names its transform in the data spaces; a password does not.
        if (named("DRMEncryptedTransform") || named("DRMEncryptedDataSpace")) {
            return ThvCompoundKind::RightsManaged;
        }
        return ThvCompoundKind::EncryptedPackage;
    }
    if (has("EncryptionInfo")) return ThvCompoundKind::EncryptedPackage;
    // A rights-managed binary presentation carries a stand-in slide that only says so; it is
    // never converted as if it were the content.
    if (has("\006DataSpaces")) return ThvCompoundKind::RightsManaged;
    // PowerPoint 4.0 wrote a "PP40" stream; PowerPoint 95 a "Header" and a "PersistentStorage
    // Directory" beside a document stream of a layout of its own.
    const bool document = has("PowerPoint Document");
    const bool oldStreams = has("PP40") || has("Header") || has("PersistentStorage Directory");
    if (oldStreams && (!document || !HasCurrentUserAtom(cfb))) {
        return ThvCompoundKind::OldPowerPoint;
    }
    if (document) return ThvCompoundKind::BinaryPowerPoint;
    return ThvCompoundKind::Other;
}
