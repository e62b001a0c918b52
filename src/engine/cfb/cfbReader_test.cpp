#include "engine/cfb/cfbReader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/testing/cfbTestWriter.h"

namespace {

using ::testing::HasSubstr;

std::string Pattern(std::size_t size, char seed) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>(seed + i * 7 + i / 251);
    return data;
}

std::string ReadPath(const ThvCfbReader& cfb, std::string_view path) {
    const ThvCfbEntry* entry = cfb.Find(path);
    if (entry == nullptr) return "<missing>";
    return cfb.ReadStream(*entry);
}

std::string ErrorOf(const std::string& bytes, std::string_view readPath = "") {
    try {
        ThvCfbReader cfb(bytes);
        if (!readPath.empty()) ReadPath(cfb, readPath);
    } catch (const EhvCfbError& error) {
        return error.what();
    }
    return "<no error>";
}

class CfbSectorSizeTest : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(CfbSectorSizeTest, ReadsSmallAndLargeStreamsInNestedStorages) {
    const std::vector<TTestCfbStream> streams = {
        {"Current User", Pattern(60, 'a')},      {"PowerPoint Document", Pattern(70000, 'b')},
        {"Store/Inner/Tiny", Pattern(1, 'c')},   {"Store/Exactly4096", Pattern(4096, 'd')},
        {"Store/Below4096", Pattern(4095, 'e')}, {"Empty", ""},
    };
    const TTestCfb file = BuildTestCfb(streams, GetParam());
    const ThvCfbReader cfb(file.Bytes);
    for (const auto& stream : streams) {
        EXPECT_EQ(ReadPath(cfb, stream.Path), stream.Data) << stream.Path;
    }
    // Names compare ignoring case, but a path must match part by part.
    EXPECT_EQ(ReadPath(cfb, "powerpoint DOCUMENT"), streams[1].Data);
    EXPECT_EQ(ReadPath(cfb, "STORE/inner/tiny"), streams[2].Data);
    EXPECT_EQ(cfb.Find("Inner/Tiny"), nullptr);
    EXPECT_EQ(cfb.Find("Store/Inner/Tiny/More"), nullptr);
    ASSERT_NE(cfb.Find("Store/Inner"), nullptr);
    EXPECT_EQ(cfb.Find("Store/Inner")->Kind, ThvCfbEntry::TKind::Storage);
    EXPECT_THAT(ErrorOf(file.Bytes, "Store"), HasSubstr("not a stream"));
    EXPECT_EQ(cfb.Entries().front().Kind, ThvCfbEntry::TKind::Root);
    EXPECT_EQ(cfb.Entries().size(), streams.size() + 3);
}

// A view spares a copy only: where the stream's bytes lie in one piece it is exactly them, and a
// range over two pieces, or past the end, is no view at all.
TEST_P(CfbSectorSizeTest, ViewsAreTheStreamsBytesWhereTheyLieInOnePiece) {
    const std::string small = Pattern(3000, 'm'), large = Pattern(70000, 'l');
    const TTestCfb file =
        BuildTestCfb({{"Current User", small}, {"PowerPoint Document", large}}, GetParam());
    const ThvCfbReader cfb(file.Bytes);
    std::size_t viewed = 0;
    for (const auto& [path, data] :
         {std::pair{"Current User", &small}, std::pair{"PowerPoint Document", &large}}) {
        const ThvCfbStream stream = cfb.OpenStream(*cfb.Find(path));
        for (std::size_t offset = 0; offset < data->size(); offset += 509) {
            for (std::size_t size : {std::size_t{1}, std::size_t{8}, std::size_t{700}}) {
                if (size > data->size() - offset) continue;
                const std::string_view view = stream.View(offset, size);
                if (view.empty()) continue;
                ++viewed;
                ASSERT_EQ(view, std::string_view(*data).substr(offset, size)) << path << offset;
            }
        }
        EXPECT_TRUE(stream.View(data->size() - 1, 2).empty());
        EXPECT_TRUE(stream.View(0, 0).empty());
    }
    EXPECT_GT(viewed, 100u);
}

INSTANTIATE_TEST_SUITE_P(BothSectorSizes, CfbSectorSizeTest, ::testing::Values(9u, 12u));

TEST(CfbReaderTest, BrokenChainsFailWithTheirPlace) {
    const std::vector<TTestCfbStream> streams = {{"Big", Pattern(5000, 'x')},
                                                 {"Small", Pattern(300, 'y')}};
    const TTestCfb clean = BuildTestCfb(streams);
    const std::uint32_t big = clean.StartSector.at("Big");

    TTestCfb loop = clean;
    loop.Put32(loop.FatEntryOffset(big + 3), big + 1);
    EXPECT_THAT(ErrorOf(loop.Bytes, "Big"),
                HasSubstr("loops at sector " + std::to_string(big + 1)));

    TTestCfb outside = clean;
    outside.Put32(outside.FatEntryOffset(big + 2), 0x00FFFFFF);
    EXPECT_THAT(ErrorOf(outside.Bytes, "Big"), HasSubstr("0xFFFFFF, outside the file"));

    TTestCfb early = clean;
    early.Put32(early.FatEntryOffset(big + 2), 0xFFFFFFFE);
    EXPECT_THAT(ErrorOf(early.Bytes, "Big"), HasSubstr("ends after 3 of 10 sectors"));

    // The mini FAT follows the directory sector; its entry 1 points back to entry 0.
    TTestCfb miniLoop = clean;
    const std::uint32_t small = clean.StartSector.at("Small");
    miniLoop.Put32(miniLoop.SectorOffset(clean.FirstDirSector + 1) + (small + 1) * 4, small);
    EXPECT_THAT(ErrorOf(miniLoop.Bytes, "Small"), HasSubstr("loops at sector"));
    EXPECT_EQ(ErrorOf(clean.Bytes, "Big"), "<no error>");
}

TEST(CfbReaderTest, DirectoryTreeLoopsAndBadLinksFail) {
    const TTestCfb clean = BuildTestCfb({{"A", "1"}, {"B", "2"}});
    const std::size_t dir = clean.SectorOffset(clean.FirstDirSector);
    TTestCfb loop = clean;
    loop.Put32(dir + 2 * 128 + 0x48, 1);  // B's right sibling is A again
    EXPECT_THAT(ErrorOf(loop.Bytes), HasSubstr("loops at entry 1"));
    TTestCfb stray = clean;
    stray.Put32(dir + 1 * 128 + 0x44, 77);
    EXPECT_THAT(ErrorOf(stray.Bytes), HasSubstr("link 0x4D is out of range"));
    TTestCfb notRoot = clean;
    notRoot.Bytes[dir + 0x42] = 1;
    EXPECT_THAT(ErrorOf(notRoot.Bytes), HasSubstr("not the root"));
}

TEST(CfbReaderTest, SizesAndCountsBeyondTheFileOrTheLimitFail) {
    const TTestCfb clean = BuildTestCfb({{"Big", Pattern(5000, 'x')}});
    const std::size_t bigEntry = clean.SectorOffset(clean.FirstDirSector) + 128;

    TTestCfb huge = clean;
    huge.Put32(bigEntry + 0x78, ThvEngineLimits().MaxPartBytes + 1);
    EXPECT_THAT(ErrorOf(huge.Bytes, "Big"), HasSubstr("more than the limit"));
    TTestCfb larger = clean;
    larger.Put32(bigEntry + 0x78, 1u << 20);
    EXPECT_THAT(ErrorOf(larger.Bytes, "Big"), HasSubstr("more than the file has"));

    TTestCfb fatCount = clean;
    fatCount.Put32(0x2C, 1000);
    EXPECT_THAT(ErrorOf(fatCount.Bytes), HasSubstr("claims 1000 FAT sectors"));

    // A whole sector missing, then half of the last one.
    const std::string cut = clean.Bytes.substr(0, clean.Bytes.size() - 700);
    EXPECT_THAT(ErrorOf(cut, "Big"), HasSubstr("outside the file"));
    const std::string half = clean.Bytes.substr(0, clean.Bytes.size() - 300);
    EXPECT_THAT(ErrorOf(half, "Big"), HasSubstr("runs past the end of the file"));
    EXPECT_THAT(ErrorOf(clean.Bytes.substr(0, 300)), HasSubstr("header is truncated"));
    EXPECT_THAT(ErrorOf("not a compound file at all"), HasSubstr("signature is missing"));
    TTestCfb shift = clean;
    shift.Bytes[0x1E] = 10;
    EXPECT_THAT(ErrorOf(shift.Bytes), HasSubstr("sector size shift 10"));
}

TEST(CfbReaderTest, DifatChainLoopFails) {
    // Enough sectors for a FAT count that needs one DIFAT sector beyond the header's 109, and
    // then another: the DIFAT sector names itself as the next one.
    TTestCfb file = BuildTestCfb({{"Big", Pattern(140000, 'q')}});
    // Only the FAT sectors that describe the file's own sectors are read: the file must be
    // large enough to need them all.
    file.Bytes.resize(file.SectorOffset(30300), '\0');
    const std::uint32_t difat = file.StartSector.at("Big") + 5;
    file.Put32(0x2C, 109 + 127 + 1);
    file.Put32(0x44, difat);
    file.Put32(file.SectorOffset(difat) + 127 * 4, difat);
    EXPECT_THAT(ErrorOf(file.Bytes), HasSubstr("DIFAT chain loops at sector"));
}

}  // namespace
