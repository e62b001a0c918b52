#include "platform/files/fileSystem.h"

#include <gtest/gtest.h>

#include <string>

#include "errorText.h"
#include "platform/base/hvError.h"
#include "platform/files/paths.h"
#include "tempDir.h"

namespace {

class FileSystemTest : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) const { return dir_ / name; }
    TempDir dir_;
};

TEST_F(FileSystemTest, APrivateFolderIsNewAndGoesWithAllItHolds) {
    std::string kept;
    {
        const ThvPrivateFolder folder, other;
        kept = folder.Path();
        ASSERT_TRUE(kept.ends_with(PathDelim)) << kept;
        EXPECT_TRUE(DirectoryExists(kept));
        EXPECT_NE(other.Path(), kept);
        ASSERT_TRUE(ForceDirectories(kept + "a" + PathDelim + "b"));
        WriteFileAtomic(kept + "a" + PathDelim + "b" + PathDelim + "deep.txt", "x");
        WriteFileAtomic(kept + "top.txt", "y");
    }
    EXPECT_FALSE(DirectoryExists(kept));
    EXPECT_EQ(GetPathKind(kept), ThvPathKind::Missing);
}

TEST_F(FileSystemTest, ForceDirectoriesAndMoveFile) {
    EXPECT_TRUE(ForceDirectories(Path("a/b/c/")));
    EXPECT_TRUE(DirectoryExists(Path("a/b/c")));
    EXPECT_FALSE(ForceDirectories(""));
    WriteFileAtomic(Path("file"), "new");
    EXPECT_FALSE(ForceDirectories(Path("file/sub")));
    EXPECT_TRUE(FileExists(Path("file")) && !DirectoryExists(Path("file")));

    WriteFileAtomic(Path("to"), "old");
    EXPECT_FALSE(MoveFile(Path("file"), Path("to")));
    EXPECT_EQ(ReadFileBytes(Path("to"), 10), "old");
    EXPECT_TRUE(MoveFile(Path("file"), Path("moved")));
    EXPECT_FALSE(FileExists(Path("file")));
    EXPECT_EQ(ReadFileBytes(Path("moved"), 10), "new");
    EXPECT_TRUE(ReplaceFile(Path("moved"), Path("to")));
    EXPECT_EQ(ReadFileBytes(Path("to"), 10), "new");
}

TEST_F(FileSystemTest, KindsAndReadingOfWhatIsThere) {
    WriteFileAtomic(Path("f"), "12345");
    ASSERT_TRUE(ForceDirectories(Path("d")));
    EXPECT_EQ(GetPathKind(Path("f")), ThvPathKind::File);
    EXPECT_EQ(GetPathKind(Path("d")), ThvPathKind::Folder);
    EXPECT_EQ(GetPathKind(Path("d/")), ThvPathKind::Folder);
    EXPECT_EQ(GetPathKind(Path("missing")), ThvPathKind::Missing);

    ThvFilePtr file = OpenFileForReading(Path("f"));
    ASSERT_TRUE(file);
    char buffer[8] = {};
    EXPECT_EQ(std::fread(buffer, 1, sizeof buffer, file.get()), 5u);
    EXPECT_FALSE(OpenFileForReading(Path("missing")));

    EXPECT_EQ(ReadFileBytes(Path("f"), 5), "12345");
    EXPECT_EQ(ErrorOf([&] { ReadFileBytes(Path("f"), 4); }),
              "File \"" + Path("f") + "\" is larger than 4 bytes.");
    EXPECT_THROW(ReadFileBytes(Path("missing"), 4), EhvError);
    EXPECT_THROW(ReadFileBytes(Path("d"), 100), EhvError);
}

}  // namespace
