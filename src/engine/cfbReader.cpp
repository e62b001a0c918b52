#include "cfbReader.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "byteOrder.h"
#include "textEncoding.h"

namespace {

constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
constexpr std::size_t kHeaderBytes = 512;
constexpr std::size_t kHeaderDifatEntries = 109;
constexpr std::size_t kDirEntryBytes = 128;
constexpr std::uint32_t kMiniSectorSize = 64;
constexpr std::size_t kWalkToEnd = std::numeric_limits<std::size_t>::max();

const char kSignature[8] = {'\xD0', '\xCF', '\x11', '\xE0', '\xA1', '\xB1', '\x1A', '\xE1'};

[[noreturn]] void Fail(const std::string& what) { throw EhvCfbError("compound file: " + what); }

std::string Hex(std::uint64_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return "0x" + text;
}

/// Names in a compound file compare by uppercase; ASCII is by far the common case and cheap.
bool SameName(std::string_view a, std::string_view b) {
    const auto ascii = [](std::string_view s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return (c & 0x80) == 0; });
    };
    if (ascii(a) && ascii(b)) {
        return a.size() == b.size() &&
               std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                   const auto up = [](char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; };
                   return up(x) == up(y);
               });
    }
    return SameText(a, b);
}

/// Appends the table entries held in one sector.
void AppendTable(std::vector<std::uint32_t>& table, std::string_view sector, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        table.push_back(i * 4 + 4 <= sector.size() ? U32(sector, i * 4) : kNoStream);
    }
}

}  // namespace

bool ThvCfbReader::HasSignature(std::string_view bytes) {
    return bytes.size() >= sizeof kSignature &&
           std::memcmp(bytes.data(), kSignature, sizeof kSignature) == 0;
}

ThvCfbReader::ThvCfbReader(std::string_view bytes, const ThvEngineLimits& limits)
    : bytes_(bytes), maxEntries_(limits.MaxCompoundEntries), maxStreamBytes_(limits.MaxPartBytes) {
    if (!HasSignature(bytes)) Fail("the signature is missing");
    if (bytes.size() < kHeaderBytes) Fail("the header is truncated");
    if (U16(bytes, 0x1C) != 0xFFFE) Fail("the byte order mark is wrong");
    const std::uint16_t major = U16(bytes, 0x1A);
    sectorShift_ = U16(bytes, 0x1E);
    if (!((major == 3 && sectorShift_ == 9) || (major == 4 && sectorShift_ == 12))) {
        // Some writers put version 3 with 4096-byte sectors; the shift decides the layout.
        if (sectorShift_ != 9 && sectorShift_ != 12) {
            Fail("unsupported sector size shift " + std::to_string(sectorShift_));
        }
    }
    version4_ = sectorShift_ == 12;
    sectorSize_ = 1u << sectorShift_;
    if (U16(bytes, 0x20) != 6) Fail("unsupported mini sector size");
    miniCutoff_ = U32(bytes, 0x38);
    if (miniCutoff_ != 4096) Fail("unsupported mini stream cutoff " + std::to_string(miniCutoff_));
    // The header occupies the whole first sector, also when sectors are 4096 bytes.
    const std::size_t body = bytes.size() > sectorSize_ ? bytes.size() - sectorSize_ : 0;
    const std::size_t sectors = (body + sectorSize_ - 1) / sectorSize_;
    if (sectors > kMaxRegularSector) Fail("the file is too large");
    sectorCount_ = static_cast<std::uint32_t>(sectors);
    ReadDifatAndFat();
    ReadDirectory();
    ReadMiniStream();
}

std::string_view ThvCfbReader::SectorBytes(std::uint32_t sector) const {
    const std::uint64_t offset = (static_cast<std::uint64_t>(sector) + 1) << sectorShift_;
    if (offset >= bytes_.size()) Fail("sector " + std::to_string(sector) + " lies past the end");
    return bytes_.substr(static_cast<std::size_t>(offset), sectorSize_);
}

void ThvCfbReader::ReadDifatAndFat() {
    const std::uint32_t fatSectors = U32(bytes_, 0x2C);
    if (fatSectors > sectorCount_) {
        Fail("the header claims " + std::to_string(fatSectors) + " FAT sectors in a file of " +
             std::to_string(sectorCount_));
    }
    std::vector<std::uint32_t> fatList;
    fatList.reserve(fatSectors);
    for (std::size_t i = 0; i < kHeaderDifatEntries && fatList.size() < fatSectors; ++i) {
        fatList.push_back(U32(bytes_, 0x4C + i * 4));
    }
    // The DIFAT continues in a chain of its own sectors, each ending with the next one's number.
    std::uint32_t difat = U32(bytes_, 0x44);
    std::vector<bool> seen(sectorCount_, false);
    const std::size_t perSector = sectorSize_ / 4 - 1;
    while (fatList.size() < fatSectors) {
        if (difat >= sectorCount_) Fail("DIFAT sector " + Hex(difat) + " lies outside the file");
        if (seen[difat]) Fail("the DIFAT chain loops at sector " + std::to_string(difat));
        seen[difat] = true;
        const std::string_view sector = SectorBytes(difat);
        if (sector.size() < sectorSize_)
            Fail("DIFAT sector " + std::to_string(difat) + " is cut off");
        for (std::size_t i = 0; i < perSector && fatList.size() < fatSectors; ++i) {
            fatList.push_back(U32(sector, i * 4));
        }
        difat = U32(sector, perSector * 4);
    }
    const std::size_t perFat = sectorSize_ / 4;
    fat_.reserve(fatList.size() * perFat);
    for (const std::uint32_t fatSector : fatList) {
        if (fatSector >= sectorCount_) {
            Fail("FAT sector " + Hex(fatSector) + " lies outside the file");
        }
        AppendTable(fat_, SectorBytes(fatSector), perFat);
    }
}

std::vector<std::uint32_t> ThvCfbReader::Chain(std::uint32_t start,
                                               const std::vector<std::uint32_t>& table,
                                               std::size_t needed, std::size_t validCount,
                                               std::string_view what) const {
    validCount = std::min(validCount, table.size());
    std::vector<std::uint32_t> chain;
    if (needed != kWalkToEnd) {
        if (needed > validCount) {
            Fail(std::string(what) + " needs " + std::to_string(needed) +
                 " sectors, more than the file has");
        }
        chain.reserve(needed);
    }
    std::vector<bool> visited(validCount, false);
    std::uint32_t current = start;
    while (chain.size() < needed) {
        if (current == kEndOfChain) {
            if (needed == kWalkToEnd) break;
            Fail("the chain of " + std::string(what) + " ends after " +
                 std::to_string(chain.size()) + " of " + std::to_string(needed) + " sectors");
        }
        if (current >= validCount) {
            Fail("the chain of " + std::string(what) + " points to sector " + Hex(current) +
                 ", outside the file");
        }
        if (visited[current]) {
            Fail("the chain of " + std::string(what) + " loops at sector " +
                 std::to_string(current));
        }
        visited[current] = true;
        chain.push_back(current);
        current = table[current];
    }
    return chain;
}

std::string ThvCfbReader::ReadFromChain(std::uint32_t start, std::uint64_t size,
                                        std::string_view what) const {
    if (size > maxStreamBytes_) {
        Fail(std::string(what) + " is " + std::to_string(size) + " bytes, more than the limit");
    }
    const std::size_t needed = static_cast<std::size_t>((size + sectorSize_ - 1) / sectorSize_);
    const auto chain = Chain(start, fat_, needed, sectorCount_, what);
    std::string out;
    out.reserve(static_cast<std::size_t>(size));
    for (const std::uint32_t sector : chain) {
        const std::size_t want = std::min<std::size_t>(sectorSize_, size - out.size());
        const std::string_view part = SectorBytes(sector);
        if (part.size() < want) Fail(std::string(what) + " runs past the end of the file");
        out.append(part.data(), want);
    }
    return out;
}

void ThvCfbReader::ReadDirectory() {
    const std::size_t perSector = sectorSize_ / kDirEntryBytes;
    const std::size_t maxSectors = maxEntries_ / perSector + 1;
    const auto chain = Chain(U32(bytes_, 0x30), fat_, kWalkToEnd, sectorCount_, "the directory");
    if (chain.empty()) Fail("the directory is empty");
    if (chain.size() > maxSectors) Fail("the directory has more entries than the limit");
    std::string directory;
    directory.reserve(chain.size() * sectorSize_);
    for (const std::uint32_t sector : chain) {
        const std::string_view part = SectorBytes(sector);
        if (part.size() < sectorSize_) Fail("the directory runs past the end of the file");
        directory.append(part);
    }
    const std::size_t count = directory.size() / kDirEntryBytes;

    struct TRaw {
        std::uint32_t Left, Right, Child;
    };
    std::vector<TRaw> links(count);
    std::vector<ThvCfbEntry> all(count);
    std::vector<std::uint8_t> types(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view e = std::string_view(directory).substr(i * kDirEntryBytes);
        types[i] = static_cast<std::uint8_t>(e[0x42]);
        links[i] = {U32(e, 0x44), U32(e, 0x48), U32(e, 0x4C)};
        std::size_t nameBytes = std::min<std::size_t>(U16(e, 0x40), 64);
        std::u16string name;
        for (std::size_t at = 0; at + 1 < nameBytes; at += 2) {
            const char16_t c = U16(e, at);
            if (c == 0) break;
            name.push_back(c);
        }
        ThvCfbEntry& entry = all[i];
        entry.Name = Utf16ToUtf8(name);
        entry.StartSector = U32(e, 0x74);
        // Version 3 writers may leave garbage in the high half of the size.
        entry.Size = version4_ ? (static_cast<std::uint64_t>(U32(e, 0x7C)) << 32 | U32(e, 0x78))
                               : U32(e, 0x78);
    }
    if (types[0] != 5) Fail("the first directory entry is not the root");

    // The siblings form a tree per storage; its balance does not matter here, only who is whose
    // child. Walk it with an explicit stack and a visited mark so that a loop fails.
    std::vector<bool> visited(count, false);
    struct TItem {
        std::uint32_t Id;
        std::size_t ParentIndex;
    };
    std::vector<TItem> stack;
    all[0].Kind = ThvCfbEntry::TKind::Root;
    entries_.push_back(all[0]);
    visited[0] = true;
    if (links[0].Child != kNoStream) stack.push_back({links[0].Child, 0});
    while (!stack.empty()) {
        const TItem item = stack.back();
        stack.pop_back();
        if (item.Id >= count) Fail("directory entry link " + Hex(item.Id) + " is out of range");
        if (visited[item.Id]) Fail("the directory tree loops at entry " + std::to_string(item.Id));
        visited[item.Id] = true;
        const std::uint8_t type = types[item.Id];
        if (type != 1 && type != 2) {
            Fail("directory entry " + std::to_string(item.Id) + " has type " +
                 std::to_string(type));
        }
        if (entries_.size() >= maxEntries_) {
            Fail("the directory has more entries than the limit");
        }
        ThvCfbEntry entry = std::move(all[item.Id]);
        entry.Kind = type == 1 ? ThvCfbEntry::TKind::Storage : ThvCfbEntry::TKind::Stream;
        const std::string& parentPath = entries_[item.ParentIndex].Path;
        entry.Path = parentPath.empty() ? entry.Name : parentPath + "/" + entry.Name;
        const std::size_t index = entries_.size();
        entries_.push_back(std::move(entry));
        const TRaw& link = links[item.Id];
        if (link.Left != kNoStream) stack.push_back({link.Left, item.ParentIndex});
        if (link.Right != kNoStream) stack.push_back({link.Right, item.ParentIndex});
        if (type == 1 && link.Child != kNoStream) stack.push_back({link.Child, index});
    }
}

void ThvCfbReader::ReadMiniStream() {
    const ThvCfbEntry& root = entries_[0];
    const bool anySmall = std::any_of(entries_.begin(), entries_.end(), [&](const ThvCfbEntry& e) {
        return e.Kind == ThvCfbEntry::TKind::Stream && e.Size > 0 && e.Size < miniCutoff_;
    });
    if (!anySmall || root.Size == 0) return;
    miniStream_ = ReadFromChain(root.StartSector, root.Size, "the mini stream");
    const std::uint32_t first = U32(bytes_, 0x3C);
    const auto chain = Chain(first, fat_, kWalkToEnd, sectorCount_, "the mini FAT");
    for (const std::uint32_t sector : chain) {
        AppendTable(miniFat_, SectorBytes(sector), sectorSize_ / 4);
    }
}

const ThvCfbEntry* ThvCfbReader::Find(std::string_view path) const {
    for (const ThvCfbEntry& entry : entries_) {
        if (entry.Kind == ThvCfbEntry::TKind::Root) continue;
        // Compare part by part so that a "/" is never mistaken across names.
        std::string_view a = entry.Path, b = path;
        bool same = true;
        while (same) {
            const std::size_t ea = a.find('/'), eb = b.find('/');
            same = SameName(a.substr(0, ea), b.substr(0, eb)) &&
                   (ea == std::string_view::npos) == (eb == std::string_view::npos);
            if (!same || ea == std::string_view::npos) break;
            a.remove_prefix(ea + 1);
            b.remove_prefix(eb + 1);
        }
        if (same) return &entry;
    }
    return nullptr;
}

std::string ThvCfbReader::ReadStream(const ThvCfbEntry& entry) const {
    const std::string what = "stream \"" + entry.Path + "\"";
    if (entry.Kind != ThvCfbEntry::TKind::Stream) Fail(entry.Path + " is not a stream");
    if (entry.Size == 0) return {};
    if (entry.Size >= miniCutoff_) return ReadFromChain(entry.StartSector, entry.Size, what);
    const std::size_t size = static_cast<std::size_t>(entry.Size);
    const std::size_t needed = (size + kMiniSectorSize - 1) / kMiniSectorSize;
    const std::size_t miniSectors = miniStream_.size() / kMiniSectorSize;
    const auto chain = Chain(entry.StartSector, miniFat_, needed, miniSectors, what);
    std::string out;
    out.reserve(size);
    for (const std::uint32_t sector : chain) {
        const std::size_t want = std::min<std::size_t>(kMiniSectorSize, size - out.size());
        out.append(miniStream_, static_cast<std::size_t>(sector) * kMiniSectorSize, want);
    }
    return out;
}

std::optional<std::string_view> ThvCfbReader::StreamView(const ThvCfbEntry& entry) const {
    if (entry.Kind != ThvCfbEntry::TKind::Stream || entry.Size < miniCutoff_ ||
        entry.Size > maxStreamBytes_) {
        return std::nullopt;
    }
    const std::size_t needed =
        static_cast<std::size_t>((entry.Size + sectorSize_ - 1) / sectorSize_);
    const auto chain = Chain(entry.StartSector, fat_, needed, sectorCount_, "stream");
    for (std::size_t i = 1; i < chain.size(); ++i) {
        if (chain[i] != chain[0] + i) return std::nullopt;
    }
    const std::uint64_t offset = (static_cast<std::uint64_t>(chain[0]) + 1) << sectorShift_;
    if (offset > bytes_.size() || bytes_.size() - offset < entry.Size) return std::nullopt;
    return bytes_.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(entry.Size));
}
