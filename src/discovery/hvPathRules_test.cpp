#include "discovery/hvPathRules.h"

#include <gtest/gtest.h>

#include "platform/files/fileSystem.h"
#include "tempDir.h"

namespace {

TEST(PathRulesTest, FileUrlsBecomePaths) {
    EXPECT_EQ(NormalizePath("file:///data/in/*.ppt?", '/'), "/data/in/*.ppt?");
    EXPECT_EQ(NormalizePath("file://localhost/data/a.ppt", '/'), "/data/a.ppt");
    EXPECT_EQ(NormalizePath("file:///", '/'), "");
    EXPECT_EQ(NormalizePath("FILE:///data", '/'), "FILE:///data");
    EXPECT_EQ(NormalizePath("/data/file:x", '/'), "/data/file:x");
    EXPECT_EQ(NormalizePath("file:///C:/in/*.ppt?", '\\'), "C:\\in\\*.ppt?");
    EXPECT_EQ(NormalizePath("file://server/share/a.ppt", '\\'), "\\\\server\\share\\a.ppt");
    EXPECT_EQ(NormalizePath("file:", '\\'), "");
}

// The part of the target rule that the shards use alone, on both delimiters.
TEST(PathRulesTest, TargetRelativePartOnBothDelimiters) {
    EXPECT_EQ(TargetRelativePart("/in/a/b.pptx", "/in/", true, '/'), "a/b.pptx");
    EXPECT_EQ(TargetRelativePart("/in/a/b.pptx", "/in/", false, '/'), "b.pptx");
    EXPECT_EQ(TargetRelativePart("/in/b.pptx", "", true, '/'), "b.pptx");
    EXPECT_EQ(TargetRelativePart("/in/x:y\\z.ppt", "/in/", true, '/'), "x_y_z.ppt");
    EXPECT_EQ(TargetRelativePart("C:\\in\\sub\\talk.pptx", "C:\\in\\", true, '\\'),
              "sub\\talk.pptx");
    EXPECT_EQ(TargetRelativePart("C:\\in\\a/b.pptx", "C:\\in\\", true, '\\'), "a_b.pptx");
}

// A target folder is made in this one place: from a "file:" URL its path, never a folder
// named "file:" below the current one.
TEST(PathRulesTest, TargetFolderIsCreatedFromItsPathAndEndedByTheDelimiter) {
    TempDir dir;
    EXPECT_EQ(PrepareTargetFolder("", '/'), "");
    EXPECT_EQ(PrepareTargetFolder(dir / "out/deep", '/'), dir / "out/deep/");
    EXPECT_TRUE(DirectoryExists(dir / "out/deep"));
    EXPECT_EQ(PrepareTargetFolder(dir / "out/", '/'), dir / "out/");
    EXPECT_EQ(PrepareTargetFolder("file://" + dir / "url", '/'), dir / "url/");
    EXPECT_TRUE(DirectoryExists(dir / "url"));
    EXPECT_FALSE(DirectoryExists("file:"));
    // With a foreign delimiter the value is only a string: nothing is created.
    EXPECT_EQ(PrepareTargetFolder(dir / "win", '\\'), dir / "win\\");
    EXPECT_FALSE(DirectoryExists(dir / "win"));
}

}  // namespace
