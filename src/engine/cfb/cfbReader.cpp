#include "engine/cfb/cfbReader.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/base/byteOrder.h"
#include "text/textEncoding.h"

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

/// Appends the table entries held in sector bytes.
void AppendTable(std::vector<std::uint32_t>& table, std::string_view sectors) {
    for (std::size_t at = 0; at + 4 <= sectors.size(); at += 4) table.push_back(U32(sectors, at));
}

}  // namespace

void ThvCfbStream::Read(std::uint64_t offset, char* out, std::size_t size) const {
    if (offset > size_ || size_ - offset < size) {
        Fail("stream \"" + path_ + "\" has no bytes " + std::to_string(offset) + " to " +
             std::to_string(offset + size) + " (it holds " + std::to_string(size_) + ")");
    }
    if (size == 0) return;
    // The extent that holds offset, then each following one in turn.
    auto extent =
        std::upper_bound(extents_.begin(), extents_.end(), offset,
                         [](std::uint64_t at, const TExtent& e) { return at < e.StreamOffset; });
    --extent;
    while (size > 0) {
        const std::uint64_t within = offset - extent->StreamOffset;
        const std::size_t piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(size, extent->Length - within));
        if (!source_->ReadAt(extent->FileOffset + within, out, piece)) {
            if (extent->FileOffset + within + piece > source_->Size()) {
                Fail("stream \"" + path_ + "\" runs past the end of the file");
            }
            Fail("stream \"" + path_ + "\" cannot be read at offset " + std::to_string(offset));
        }
        out += piece;
        offset += piece;
        size -= piece;
        ++extent;
    }
}

std::string_view ThvCfbStream::View(std::uint64_t offset, std::size_t size) const {
    if (offset > size_ || size_ - offset < size || size == 0) return {};
    const auto extent =
        std::upper_bound(extents_.begin(), extents_.end(), offset,
                         [](std::uint64_t at, const TExtent& e) { return at < e.StreamOffset; }) -
        1;
    const std::uint64_t within = offset - extent->StreamOffset;
    if (extent->Length - within < size) return {};
    return source_->ViewAt(extent->FileOffset + within, size);
}

std::string ThvCfbStream::Read(std::uint64_t offset, std::size_t size) const {
    std::string bytes(size, '\0');
    Read(offset, bytes.data(), size);
    return bytes;
}

bool ThvCfbReader::HasSignature(std::string_view bytes) {
    return bytes.size() >= sizeof kSignature &&
           std::memcmp(bytes.data(), kSignature, sizeof kSignature) == 0;
}

ThvCfbReader::ThvCfbReader(const ThvByteSource& source, const ThvEngineLimits& limits)
    : source_(source),
      maxEntries_(limits.MaxCompoundEntries),
      maxStreamBytes_(limits.MaxPartBytes) {
    Open();
}

ThvCfbReader::ThvCfbReader(std::string_view bytes, const ThvEngineLimits& limits)
    : ownSource_(std::make_unique<ThvMemorySource>(bytes)),
      source_(*ownSource_),
      maxEntries_(limits.MaxCompoundEntries),
      maxStreamBytes_(limits.MaxPartBytes) {
    Open();
}

ThvCfbReader::~ThvCfbReader() = default;

void ThvCfbReader::Open() {
    char header[kHeaderBytes];
    if (source_.Size() < sizeof kSignature || !source_.ReadAt(0, header, sizeof kSignature) ||
        !HasSignature(std::string_view(header, sizeof kSignature))) {
        Fail("the signature is missing");
    }
    if (!source_.ReadAt(0, header, kHeaderBytes)) Fail("the header is truncated");
    const std::string_view h(header, kHeaderBytes);
    if (U16(h, 0x1C) != 0xFFFE) Fail("the byte order mark is wrong");
    sectorShift_ = U16(h, 0x1E);
    // Some writers put version 3 with 4096-byte sectors; the shift decides the layout.
    if (sectorShift_ != 9 && sectorShift_ != 12) {
        Fail("unsupported sector size shift " + std::to_string(sectorShift_));
    }
    version4_ = sectorShift_ == 12;
    sectorSize_ = 1u << sectorShift_;
    if (U16(h, 0x20) != 6) Fail("unsupported mini sector size");
    miniCutoff_ = U32(h, 0x38);
    if (miniCutoff_ != 4096) Fail("unsupported mini stream cutoff " + std::to_string(miniCutoff_));
    // The header occupies the whole first sector, also when sectors are 4096 bytes.
    const std::uint64_t size = source_.Size();
    const std::uint64_t body = size > sectorSize_ ? size - sectorSize_ : 0;
    const std::uint64_t sectors = (body + sectorSize_ - 1) / sectorSize_;
    if (sectors > kMaxRegularSector) Fail("the file is too large");
    sectorCount_ = static_cast<std::uint32_t>(sectors);
    ReadDifatAndFat();
    ReadDirectory();
    FindMiniStream();
}

std::uint64_t ThvCfbReader::SectorOffset(std::uint32_t sector) const {
    return (static_cast<std::uint64_t>(sector) + 1) << sectorShift_;
}

void ThvCfbReader::ReadSectors(std::uint32_t first, std::size_t count, char* out,
                               std::string_view what) const {
    if (!source_.ReadAt(SectorOffset(first), out, count * sectorSize_)) {
        Fail(std::string(what) + " runs past the end of the file at sector " +
             std::to_string(first));
    }
}

void ThvCfbReader::ReadDifatAndFat() {
    char header[kHeaderBytes];
    source_.ReadAt(0, header, kHeaderBytes);
    const std::string_view h(header, kHeaderBytes);
    const std::uint32_t fatSectors = U32(h, 0x2C);
    if (fatSectors > sectorCount_) {
        Fail("the header claims " + std::to_string(fatSectors) + " FAT sectors in a file of " +
             std::to_string(sectorCount_));
    }
    // FAT sectors past those that describe the file's own sectors can only name sectors that
    // do not exist: they are not read, so the table costs at most 1/128 of the file.
    const std::size_t perFat = sectorSize_ / 4;
    const std::size_t useful =
        std::min<std::size_t>(fatSectors, (std::size_t{sectorCount_} + perFat - 1) / perFat);
    std::vector<std::uint32_t> fatList;
    fatList.reserve(useful);
    for (std::size_t i = 0; i < kHeaderDifatEntries && fatList.size() < useful; ++i) {
        fatList.push_back(U32(h, 0x4C + i * 4));
    }
    // The DIFAT continues in a chain of its own sectors, each ending with the next one's number.
    std::uint32_t difat = U32(h, 0x44);
    std::vector<bool> seen(sectorCount_, false);
    const std::size_t perSector = sectorSize_ / 4 - 1;
    std::string sector(sectorSize_, '\0');
    while (fatList.size() < useful) {
        if (difat >= sectorCount_) Fail("DIFAT sector " + Hex(difat) + " lies outside the file");
        if (seen[difat]) Fail("the DIFAT chain loops at sector " + std::to_string(difat));
        seen[difat] = true;
        if (!source_.ReadAt(SectorOffset(difat), sector.data(), sectorSize_))
            Fail("DIFAT sector " + std::to_string(difat) + " is cut off");
        for (std::size_t i = 0; i < perSector && fatList.size() < useful; ++i) {
            fatList.push_back(U32(sector, i * 4));
        }
        difat = U32(sector, perSector * 4);
    }
    fat_.reserve(fatList.size() * perFat);
    // Writers put the FAT in one piece as a rule: each run is one read.
    for (std::size_t i = 0; i < fatList.size();) {
        std::size_t run = 1;
        if (fatList[i] >= sectorCount_) {
            Fail("FAT sector " + Hex(fatList[i]) + " lies outside the file");
        }
        while (i + run < fatList.size() && fatList[i + run] == fatList[i] + run) ++run;
        // The last sector of a file may be cut short; what is missing reads as free.
        const std::uint64_t start = SectorOffset(fatList[i]);
        const std::size_t wanted = run * sectorSize_;
        const std::size_t there = static_cast<std::size_t>(
            std::min<std::uint64_t>(wanted, source_.Size() > start ? source_.Size() - start : 0));
        std::string bytes(wanted, '\xFF');
        if (!source_.ReadAt(start, bytes.data(), there)) Fail("the FAT cannot be read");
        AppendTable(fat_, bytes);
        i += run;
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

void ThvCfbReader::ReadDirectory() {
    char header[kHeaderBytes];
    source_.ReadAt(0, header, kHeaderBytes);
    const std::size_t perSector = sectorSize_ / kDirEntryBytes;
    const std::size_t maxSectors = maxEntries_ / perSector + 1;
    const auto chain = Chain(U32(std::string_view(header, kHeaderBytes), 0x30), fat_, kWalkToEnd,
                             sectorCount_, "the directory");
    if (chain.empty()) Fail("the directory is empty");
    if (chain.size() > maxSectors) Fail("the directory has more entries than the limit");
    std::string directory(chain.size() * sectorSize_, '\0');
    for (std::size_t i = 0; i < chain.size(); ++i) {
        ReadSectors(chain[i], 1, directory.data() + i * sectorSize_, "the directory");
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

void ThvCfbReader::FindMiniStream() {
    const ThvCfbEntry& root = entries_[0];
    const bool anySmall = std::any_of(entries_.begin(), entries_.end(), [&](const ThvCfbEntry& e) {
        return e.Kind == ThvCfbEntry::TKind::Stream && e.Size > 0 && e.Size < miniCutoff_;
    });
    if (!anySmall) return;
    // A damaged mini stream costs only the small streams: the directory still tells what the
    // file is, and large streams still read.
    try {
        if (root.Size == 0) Fail("the mini stream is empty");
        const std::size_t needed = static_cast<std::size_t>(std::min<std::uint64_t>(
            (root.Size + sectorSize_ - 1) / sectorSize_, std::size_t{sectorCount_} + 1));
        miniStreamSectors_ = Chain(root.StartSector, fat_, needed, sectorCount_, "the mini stream");
        char header[kHeaderBytes];
        source_.ReadAt(0, header, kHeaderBytes);
        const auto chain = Chain(U32(std::string_view(header, kHeaderBytes), 0x3C), fat_,
                                 kWalkToEnd, sectorCount_, "the mini FAT");
        std::string sector(sectorSize_, '\0');
        for (const std::uint32_t s : chain) {
            ReadSectors(s, 1, sector.data(), "the mini FAT");
            AppendTable(miniFat_, sector);
        }
    } catch (const EhvCfbError& error) {
        miniStreamError_ = error.what();
        miniStreamSectors_.clear();
        miniFat_.clear();
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

ThvCfbStream ThvCfbReader::OpenStream(const ThvCfbEntry& entry) const {
    const std::string what = "stream \"" + entry.Path + "\"";
    if (entry.Kind != ThvCfbEntry::TKind::Stream) Fail(entry.Path + " is not a stream");
    ThvCfbStream stream;
    stream.source_ = &source_;
    stream.path_ = entry.Path;
    stream.size_ = entry.Size;
    if (entry.Size == 0) return stream;
    const auto add = [&stream](std::uint64_t fileOffset, std::uint64_t length) {
        auto& extents = stream.extents_;
        if (!extents.empty() && extents.back().FileOffset + extents.back().Length == fileOffset) {
            extents.back().Length += length;
        } else {
            const std::uint64_t at =
                extents.empty() ? 0 : extents.back().StreamOffset + extents.back().Length;
            extents.push_back({at, fileOffset, length});
        }
    };
    if (entry.Size >= miniCutoff_) {
        const std::uint64_t sectors = (entry.Size + sectorSize_ - 1) / sectorSize_;
        if (sectors > sectorCount_) {
            Fail(what + " needs " + std::to_string(sectors) + " sectors, more than the file has");
        }
        const auto chain =
            Chain(entry.StartSector, fat_, static_cast<std::size_t>(sectors), sectorCount_, what);
        for (std::size_t i = 0; i < chain.size(); ++i) {
            const std::uint64_t left = entry.Size - std::uint64_t{i} * sectorSize_;
            add(SectorOffset(chain[i]), std::min<std::uint64_t>(left, sectorSize_));
        }
        return stream;
    }
    if (!miniStreamError_.empty()) throw EhvCfbError(miniStreamError_);
    const std::size_t size = static_cast<std::size_t>(entry.Size);
    const std::size_t needed = (size + kMiniSectorSize - 1) / kMiniSectorSize;
    const std::size_t perSector = sectorSize_ / kMiniSectorSize;
    const std::size_t miniSectors = miniStreamSectors_.size() * perSector;
    const auto chain = Chain(entry.StartSector, miniFat_, needed, miniSectors, what);
    for (std::size_t i = 0; i < chain.size(); ++i) {
        const std::uint32_t mini = chain[i];
        const std::uint64_t fileOffset = SectorOffset(miniStreamSectors_[mini / perSector]) +
                                         (mini % perSector) * kMiniSectorSize;
        add(fileOffset, std::min<std::size_t>(size - i * kMiniSectorSize, kMiniSectorSize));
    }
    return stream;
}

std::string ThvCfbReader::ReadStream(const ThvCfbEntry& entry) const {
    if (entry.Kind == ThvCfbEntry::TKind::Stream && entry.Size > maxStreamBytes_) {
        Fail("stream \"" + entry.Path + "\" is " + std::to_string(entry.Size) +
             " bytes, more than the limit");
    }
    const ThvCfbStream stream = OpenStream(entry);
    return stream.Read(0, static_cast<std::size_t>(stream.Size()));
}
