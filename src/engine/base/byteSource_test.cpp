#include "engine/base/byteSource.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "tempDir.h"

namespace {

std::string Pattern(std::size_t size) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 131 + i / 4093);
    return data;
}

ThvFileSource Open(const std::string& path) { return ThvFileSource(OpenFileForReading(path)); }

// Reads scattered pieces, as the compound file reader does, and compares them with the bytes
// written: pieces across window edges, pieces larger than a window, windows evicted and read
// again. A small file is one window, a large one several.
class FileSourceTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(FileSourceTest, ScatteredReadsGiveTheFilesBytes) {
    TempDir dir;
    const std::string bytes = Pattern(GetParam());
    WriteBytes(dir / "f", bytes);
    const ThvFileSource source = Open(dir / "f");
    ASSERT_EQ(source.Size(), bytes.size());

    std::mt19937_64 random(GetParam());
    std::string got;
    for (int i = 0; i < 2000; ++i) {
        const std::size_t size =
            i % 50 == 0 ? random() % (3 * ThvFileSource::kWindowBytes) : random() % 600;
        if (size > bytes.size()) continue;
        const std::size_t offset = random() % (bytes.size() - size + 1);
        got.assign(size, '\0');
        ASSERT_TRUE(source.ReadAt(offset, got.data(), size)) << offset << "+" << size;
        ASSERT_EQ(got, bytes.substr(offset, size)) << offset << "+" << size;
        // Only a file read whole is seen in place: a window of a larger one may be replaced.
        const std::string_view view = source.ViewAt(offset, size);
        if (bytes.size() <= ThvFileSource::kWholeFileBytes && size > 0) {
            ASSERT_EQ(view, std::string_view(bytes).substr(offset, size)) << offset << "+" << size;
        } else {
            ASSERT_TRUE(view.empty());
        }
    }
    // The last byte, and a piece that spans the edge of two large-file windows.
    char last = 0;
    ASSERT_TRUE(source.ReadAt(bytes.size() - 1, &last, 1));
    EXPECT_EQ(last, bytes.back());
    if (bytes.size() > ThvFileSource::kWholeFileBytes) {
        got.assign(10, '\0');
        ASSERT_TRUE(source.ReadAt(ThvFileSource::kWindowBytes - 5, got.data(), 10));
        EXPECT_EQ(got, bytes.substr(ThvFileSource::kWindowBytes - 5, 10));
    }
    // Nothing past the end, and nothing that runs past it.
    EXPECT_FALSE(source.ReadAt(bytes.size(), &last, 1));
    got.assign(2, '\0');
    EXPECT_FALSE(source.ReadAt(bytes.size() - 1, got.data(), 2));
    EXPECT_TRUE(source.ReadAt(bytes.size(), got.data(), 0));
    EXPECT_TRUE(source.ViewAt(bytes.size() - 1, 2).empty());
}

TEST(FileSourceCutShortTest, ASmallFileCutShortIsSeenOnlyAsFarAsItWasRead) {
    TempDir dir;
    const std::string bytes = Pattern(5000);
    WriteBytes(dir / "f", bytes);
    const ThvFileSource source = Open(dir / "f");
    std::filesystem::resize_file(FsPath(dir / "f"), 3000);
    EXPECT_EQ(source.ViewAt(100, 50), std::string_view(bytes).substr(100, 50));
    EXPECT_TRUE(source.ViewAt(2990, 20).empty());
    char byte = 0;
    EXPECT_FALSE(source.ReadAt(4000, &byte, 1));
}

INSTANTIATE_TEST_SUITE_P(Sizes, FileSourceTest,
                         ::testing::Values(std::size_t{1}, std::size_t{70000},
                                           ThvFileSource::kWholeFileBytes,
                                           ThvFileSource::kWholeFileBytes * 5 / 2 + 17));

TEST(FileSourceCutShortTest, AFileCutShortSinceOpenedFailsWhereItEndsNotBefore) {
    TempDir dir;
    const std::size_t size = ThvFileSource::kWholeFileBytes * 2;
    const std::string bytes = Pattern(size);
    WriteBytes(dir / "f", bytes);
    const ThvFileSource source = Open(dir / "f");
    std::filesystem::resize_file(FsPath(dir / "f"), size / 2 + 100);

    // The window that holds the new end gives what the file still holds.
    std::string got(50, '\0');
    ASSERT_TRUE(source.ReadAt(size / 2 + 40, got.data(), got.size()));
    EXPECT_EQ(got, bytes.substr(size / 2 + 40, got.size()));
    EXPECT_FALSE(source.ReadAt(size / 2 + 90, got.data(), got.size()));
    EXPECT_FALSE(source.ReadAt(size - 50, got.data(), got.size()));
    got.assign(3 * ThvFileSource::kWindowBytes, '\0');
    EXPECT_FALSE(source.ReadAt(size / 2, got.data(), got.size()));
    // Reads before the end still work after the failures.
    got.assign(50, '\0');
    ASSERT_TRUE(source.ReadAt(7, got.data(), got.size()));
    EXPECT_EQ(got, bytes.substr(7, got.size()));
}

}  // namespace
