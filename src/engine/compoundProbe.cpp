#include "compoundProbe.h"

#include <cstring>
#include <vector>

#include "engineLimits.h"

namespace {

constexpr char kSignature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr std::size_t kHeaderFatEntries = 109;
constexpr std::size_t kDirectoryEntrySize = 128;

std::uint32_t Le32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
           std::uint32_t(b[3]) << 24;
}

std::uint16_t Le16(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return std::uint16_t(b[0] | b[1] << 8);
}

/// A directory entry's name, ASCII only (the names this probe looks for are ASCII; others
/// cannot match and become "?").
std::string EntryName(const char* entry) {
    std::uint16_t bytes = Le16(entry + 64);
    if (bytes < 2 || bytes > 64) return {};
    std::string name;
    std::size_t units = (bytes - 2u) / 2;  // the length counts the terminating zero
    for (std::size_t i = 0; i < units; ++i) {
        std::uint16_t unit = Le16(entry + 2 * i);
        name += unit < 0x80 ? char(unit) : '?';
    }
    return name;
}

class ThvCompoundReader {
  public:
    ThvCompoundReader(const ThvByteReader& read, std::uint64_t fileSize)
        : read_(read), fileSize_(fileSize) {}

    bool ReadHeader() {
        header_.resize(512);
        if (!Read(0, header_.size(), header_.data())) return false;
        std::uint16_t shift = Le16(&header_[0x1E]);
        if (shift != 9 && shift != 12) return false;
        sectorSize_ = std::size_t(1) << shift;
        sectorCount_ = fileSize_ / sectorSize_;
        return true;
    }

    /// The directory's names, following the chain from the header's first directory sector.
    bool ReadDirectoryNames(std::vector<std::string>& names) {
        std::uint32_t sector = Le32(&header_[0x30]);
        std::vector<char> buffer(sectorSize_);
        std::uint64_t visited = 0;
        while (sector != kEndOfChain) {
            // A chain longer than the file has sectors is a loop.
            if (sector > kMaxRegularSector || ++visited > sectorCount_) return false;
            if (!ReadSector(sector, buffer.data())) return false;
            for (std::size_t offset = 0; offset < sectorSize_; offset += kDirectoryEntrySize) {
                if (buffer[offset + 66] != 0) names.push_back(EntryName(&buffer[offset]));
            }
            if (!NextSector(sector, sector)) return false;
        }
        return true;
    }

  private:
    bool Read(std::uint64_t offset, std::size_t size, char* out) {
        budget_ += size;
        if (budget_ > ThvEngineLimits::MaxCompoundDirectoryBytes) return false;
        return read_(offset, size, out);
    }

    bool ReadSector(std::uint32_t sector, char* out) {
        std::uint64_t offset = (std::uint64_t(sector) + 1) * sectorSize_;
        if (offset + sectorSize_ > fileSize_) return false;
        return Read(offset, sectorSize_, out);
    }

    /// The sector that holds the allocation table entries of fatIndex, through the header's
    /// list and then the chain of extension sectors.
    bool FatSector(std::uint64_t fatIndex, std::uint32_t& out) {
        if (fatIndex < kHeaderFatEntries) {
            out = Le32(&header_[0x4C + 4 * fatIndex]);
            return true;
        }
        std::uint64_t perSector = sectorSize_ / 4 - 1;
        std::uint64_t index = fatIndex - kHeaderFatEntries;
        std::uint32_t difat = Le32(&header_[0x44]);
        std::vector<char> buffer(sectorSize_);
        for (std::uint64_t hop = 0;; ++hop) {
            if (difat > kMaxRegularSector || hop > sectorCount_) return false;
            if (!ReadSector(difat, buffer.data())) return false;
            if (index < perSector) {
                out = Le32(&buffer[4 * index]);
                return true;
            }
            index -= perSector;
            difat = Le32(&buffer[4 * perSector]);
        }
    }

    bool NextSector(std::uint32_t sector, std::uint32_t& next) {
        std::uint64_t perSector = sectorSize_ / 4;
        std::uint32_t fatSector = 0;
        if (!FatSector(sector / perSector, fatSector) || fatSector > kMaxRegularSector) {
            return false;
        }
        std::uint64_t offset =
            (std::uint64_t(fatSector) + 1) * sectorSize_ + 4 * (sector % perSector);
        if (offset + 4 > fileSize_) return false;
        char entry[4];
        if (!Read(offset, 4, entry)) return false;
        next = Le32(entry);
        return true;
    }

    const ThvByteReader& read_;
    std::uint64_t fileSize_;
    std::vector<char> header_;
    std::size_t sectorSize_ = 512;
    std::uint64_t sectorCount_ = 0;
    std::size_t budget_ = 0;
};

}  // namespace

bool HasCompoundSignature(std::string_view firstBytes) {
    return firstBytes.size() >= 8 && std::memcmp(firstBytes.data(), kSignature, 8) == 0;
}

ThvCompoundKind ProbeCompoundFile(const ThvByteReader& read, std::uint64_t fileSize) {
    ThvCompoundReader reader(read, fileSize);
    std::vector<std::string> names;
    if (!reader.ReadHeader() || !reader.ReadDirectoryNames(names)) return ThvCompoundKind::Damaged;
    auto has = [&names](std::string_view name) {
        for (const std::string& entry : names) {
            if (entry == name) return true;
        }
        return false;
    };
    if (has("EncryptedPackage")) {
        // Rights management names its transform in the data spaces; a password does not.
        if (has("DRMEncryptedTransform") || has("DRMEncryptedDataSpace")) {
            return ThvCompoundKind::RightsManaged;
        }
        return ThvCompoundKind::EncryptedPackage;
    }
    if (has("EncryptionInfo")) return ThvCompoundKind::EncryptedPackage;
    if (has("PowerPoint Document")) return ThvCompoundKind::BinaryPowerPoint;
    return ThvCompoundKind::Other;
}
