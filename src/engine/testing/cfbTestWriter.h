#pragma once

// Test support only: builds small compound files byte by byte, so that tests can damage them
// at known places. Small streams go to the mini stream, as real writers do.

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

struct TTestCfbStream {
    std::string Path;  ///< "Storage/Stream"
    std::string Data;
};

struct TTestCfb {
    std::string Bytes;
    std::uint32_t SectorSize = 512;
    std::uint32_t FirstDirSector = 0;
    std::uint32_t MiniStreamStart = 0;  ///< first regular sector of the mini stream
    /// First sector of each stream: regular sectors for large streams, mini sectors for small.
    std::map<std::string, std::uint32_t> StartSector;

    /// File offset of the FAT entry for a regular sector (the FAT starts at sector 0).
    std::size_t FatEntryOffset(std::uint32_t sector) const { return SectorSize + sector * 4u; }
    std::size_t SectorOffset(std::uint32_t sector) const {
        return (static_cast<std::size_t>(sector) + 1) * SectorSize;
    }
    void Put32(std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) Bytes[at + i] = static_cast<char>(value >> (8 * i));
    }
};

inline TTestCfb BuildTestCfb(const std::vector<TTestCfbStream>& streams,
                             std::uint32_t sectorShift = 9) {
    constexpr std::uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kFatSect = 0xFFFFFFFD;
    TTestCfb out;
    const std::uint32_t ss = 1u << sectorShift;
    out.SectorSize = ss;

    struct TNode {
        std::string Name;
        int Type;  // 1 storage, 2 stream, 5 root
        std::vector<int> Children;
        int Stream = -1;
        std::uint32_t Start = kEnd;
        std::uint64_t Size = 0;
    };
    std::vector<TNode> nodes{{"Root Entry", 5, {}}};
    for (int s = 0; s < static_cast<int>(streams.size()); ++s) {
        int parent = 0;
        std::string rest = streams[s].Path;
        for (;;) {
            const auto slash = rest.find('/');
            const std::string part = rest.substr(0, slash);
            int found = -1;
            for (int c : nodes[parent].Children) {
                if (nodes[c].Name == part) found = c;
            }
            if (found < 0) {
                nodes.push_back({part, slash == std::string::npos ? 2 : 1, {}});
                found = static_cast<int>(nodes.size()) - 1;
                nodes[parent].Children.push_back(found);
            }
            if (slash == std::string::npos) {
                nodes[found].Stream = s;
                break;
            }
            parent = found;
            rest = rest.substr(slash + 1);
        }
    }

    // Mini stream and mini FAT.
    std::string mini;
    std::vector<std::uint32_t> miniFat;
    std::vector<int> big;
    for (int n = 0; n < static_cast<int>(nodes.size()); ++n) {
        if (nodes[n].Stream < 0) continue;
        const std::string& data = streams[nodes[n].Stream].Data;
        nodes[n].Size = data.size();
        if (data.empty()) continue;
        if (data.size() >= 4096) {
            big.push_back(n);
            continue;
        }
        const std::uint32_t first = static_cast<std::uint32_t>(mini.size() / 64);
        nodes[n].Start = first;
        out.StartSector[streams[nodes[n].Stream].Path] = first;
        const std::size_t count = (data.size() + 63) / 64;
        for (std::size_t i = 0; i < count; ++i) {
            miniFat.push_back(i + 1 == count ? kEnd : first + static_cast<std::uint32_t>(i) + 1);
        }
        mini += data;
        mini.resize(count * 64 + first * 64, '\0');
    }
    const auto sectorsFor = [&](std::size_t bytes) { return (bytes + ss - 1) / ss; };
    const std::size_t dirSectors = sectorsFor(nodes.size() * 128);
    const std::size_t miniFatSectors = sectorsFor(miniFat.size() * 4);
    const std::size_t miniSectors = sectorsFor(mini.size());
    std::size_t bigSectors = 0;
    for (int n : big) bigSectors += sectorsFor(nodes[n].Size);
    const std::size_t rest = dirSectors + miniFatSectors + miniSectors + bigSectors;
    std::size_t fatSectors = 1;
    while (fatSectors * (ss / 4) < rest + fatSectors) ++fatSectors;
    if (fatSectors > 109) throw std::logic_error("test compound file too large");

    std::vector<std::uint32_t> fat(fatSectors * (ss / 4), kFree);
    std::uint32_t next = 0;
    for (std::size_t i = 0; i < fatSectors; ++i) fat[next++] = kFatSect;
    const auto chain = [&](std::size_t count) {
        const std::uint32_t first = next;
        for (std::size_t i = 0; i < count; ++i, ++next)
            fat[next] = i + 1 == count ? kEnd : next + 1;
        return count == 0 ? kEnd : first;
    };
    out.FirstDirSector = chain(dirSectors);
    const std::uint32_t miniFatStart = chain(miniFatSectors);
    out.MiniStreamStart = chain(miniSectors);
    nodes[0].Start = out.MiniStreamStart;
    nodes[0].Size = mini.size();
    for (int n : big) {
        nodes[n].Start = chain(sectorsFor(nodes[n].Size));
        out.StartSector[streams[nodes[n].Stream].Path] = nodes[n].Start;
    }

    std::string& b = out.Bytes;
    b.assign(ss + static_cast<std::size_t>(next) * ss, '\0');
    const auto put16 = [&](std::size_t at, std::uint16_t v) {
        b[at] = static_cast<char>(v);
        b[at + 1] = static_cast<char>(v >> 8);
    };
    const auto put32 = [&](std::size_t at, std::uint32_t v) { out.Put32(at, v); };
    b.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    put16(0x18, 0x3E);
    put16(0x1A, sectorShift == 12 ? 4 : 3);
    put16(0x1C, 0xFFFE);
    put16(0x1E, static_cast<std::uint16_t>(sectorShift));
    put16(0x20, 6);
    put32(0x2C, static_cast<std::uint32_t>(fatSectors));
    put32(0x30, out.FirstDirSector);
    put32(0x38, 4096);
    put32(0x3C, miniFatStart);
    put32(0x40, static_cast<std::uint32_t>(miniFatSectors));
    put32(0x44, kEnd);
    for (std::size_t i = 0; i < 109; ++i) put32(0x4C + i * 4, i < fatSectors ? i : kFree);
    for (std::size_t i = 0; i < fat.size(); ++i) put32(out.SectorOffset(0) + i * 4, fat[i]);
    for (std::size_t i = 0; i < miniFat.size(); ++i) {
        put32(out.SectorOffset(miniFatStart) + i * 4, miniFat[i]);
    }
    for (std::size_t i = miniFat.size(); i < miniFatSectors * ss / 4; ++i) {
        put32(out.SectorOffset(miniFatStart) + i * 4, kFree);
    }
    if (!mini.empty()) b.replace(out.SectorOffset(out.MiniStreamStart), mini.size(), mini);
    for (int n : big) {
        const std::string& data = streams[nodes[n].Stream].Data;
        b.replace(out.SectorOffset(nodes[n].Start), data.size(), data);
    }
    // Siblings as a chain of right links: a degenerate tree, which readers must accept.
    std::vector<std::uint32_t> right(nodes.size(), kFree), child(nodes.size(), kFree);
    for (std::size_t n = 0; n < nodes.size(); ++n) {
        const auto& c = nodes[n].Children;
        if (!c.empty()) child[n] = c[0];
        for (std::size_t i = 0; i + 1 < c.size(); ++i) right[c[i]] = c[i + 1];
    }
    for (std::size_t n = 0; n < nodes.size(); ++n) {
        const std::size_t at = out.SectorOffset(out.FirstDirSector) + n * 128;
        for (std::size_t i = 0; i < nodes[n].Name.size(); ++i) {
            put16(at + i * 2, static_cast<unsigned char>(nodes[n].Name[i]));
        }
        put16(at + 0x40, static_cast<std::uint16_t>(nodes[n].Name.size() * 2 + 2));
        b[at + 0x42] = static_cast<char>(nodes[n].Type);
        b[at + 0x43] = 1;
        put32(at + 0x44, kFree);
        put32(at + 0x48, right[n]);
        put32(at + 0x4C, child[n]);
        put32(at + 0x74, nodes[n].Start);
        put32(at + 0x78, static_cast<std::uint32_t>(nodes[n].Size));
    }
    for (std::size_t n = nodes.size(); n < dirSectors * ss / 128; ++n) {
        const std::size_t at = out.SectorOffset(out.FirstDirSector) + n * 128;
        put32(at + 0x44, kFree);
        put32(at + 0x48, kFree);
        put32(at + 0x4C, kFree);
    }
    return out;
}
