#include "platform/files/paths.h"

#include <gtest/gtest.h>

TEST(PathsTest, WindowsFormsSplitAtBackslashAndDriveColon) {
    EXPECT_EQ(ExtractFilePath("C:\\in\\*.ppt?", '\\'), "C:\\in\\");
    EXPECT_EQ(ExtractFileName("C:\\in\\*.ppt?", '\\'), "*.ppt?");
    EXPECT_EQ(ExtractFilePath("C:a.ppt", '\\'), "C:");
    EXPECT_EQ(ExtractFileName("C:a.ppt", '\\'), "a.ppt");
    EXPECT_EQ(ExtractFilePath("C:", '\\'), "C:");
    EXPECT_EQ(ExtractFileName("C:", '\\'), "");
    EXPECT_EQ(ExtractFilePath("\\\\srv\\share\\a.ppt", '\\'), "\\\\srv\\share\\");
    EXPECT_EQ(ExtractFileName("\\\\srv\\share\\a.ppt", '\\'), "a.ppt");
    // '/' is no delimiter in the Windows form here.
    EXPECT_EQ(ExtractFileName("C:\\in/a.ppt", '\\'), "in/a.ppt");
}

TEST(PathsTest, PosixFormsSplitOnlyAtSlash) {
    EXPECT_EQ(ExtractFilePath("/in/a.ppt", '/'), "/in/");
    EXPECT_EQ(ExtractFilePath("/a.ppt", '/'), "/");
    EXPECT_EQ(ExtractFilePath("a.ppt", '/'), "");
    EXPECT_EQ(ExtractFileName("/in/C:a.ppt", '/'), "C:a.ppt");
    EXPECT_EQ(ExtractFileName("/in\\a.ppt", '/'), "in\\a.ppt");
    EXPECT_EQ(ExtractFileName("/in/", '/'), "");
}

TEST(PathsTest, ExtensionBelongsToTheFileNameOnly) {
    EXPECT_EQ(ExtractFileExt("/in/a.b.pptx", '/'), ".pptx");
    EXPECT_EQ(ExtractFileExt("a/b.c/d", '/'), "");
    EXPECT_EQ(ExtractFileExt("C:\\b.c\\d", '\\'), "");
    EXPECT_EQ(ExtractFileExt("C:x.ppt", '\\'), ".ppt");
    EXPECT_EQ(ExtractFileExt("name.", '/'), ".");
    // A leading dot counts as the extension, as on Windows: ".bashrc" is all extension.
    EXPECT_EQ(ExtractFileExt("/home/.bashrc", '/'), ".bashrc");

    EXPECT_EQ(ChangeFileExt("a/b.c/d", ".txt", '/'), "a/b.c/d.txt");
    EXPECT_EQ(ChangeFileExt("/in/a.b.pptx", ".txt", '/'), "/in/a.b.txt");
    EXPECT_EQ(ChangeFileExt("C:\\in.x\\a", ".txt", '\\'), "C:\\in.x\\a.txt");
    EXPECT_EQ(ChangeFileExt("/in/a.ppt", "", '/'), "/in/a");
    EXPECT_EQ(ChangeFileExt("/home/.bashrc", ".txt", '/'), "/home/.txt");
    EXPECT_EQ(ChangeFileExt("", ".txt", '/'), ".txt");
}

TEST(PathsTest, TrailingDelimiter) {
    EXPECT_EQ(IncludeTrailingPathDelimiter("", '/'), "");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/in", '/'), "/in/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/in/", '/'), "/in/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("C:\\in", '\\'), "C:\\in\\");
    EXPECT_EQ(IncludeTrailingPathDelimiter("C:\\in/", '\\'), "C:\\in/\\");

    EXPECT_EQ(ExcludeTrailingPathDelimiter("/in/", '/'), "/in");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/in", '/'), "/in");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("C:\\in\\", '\\'), "C:\\in");
    EXPECT_EQ(ExcludeTrailingPathDelimiter("", '/'), "");
    // The root stays the root rather than becoming the current folder.
    EXPECT_EQ(ExcludeTrailingPathDelimiter("/", '/'), "/");
}

// Each step must shorten the path, or a walk up to an existing folder never ends where none
// exists (a source or target "http://..." on Windows, whose "http:" reads as a drive).
TEST(PathsTest, FolderAboveEndsAtTheRootOrADrive) {
    EXPECT_EQ(FolderAbove("/in/sub", '/'), "/in");
    EXPECT_EQ(FolderAbove("/in", '/'), "/");
    EXPECT_EQ(FolderAbove("/", '/'), "");
    EXPECT_EQ(FolderAbove("in", '/'), "");
    EXPECT_EQ(FolderAbove("C:\\in", '\\'), "C:");
    EXPECT_EQ(FolderAbove("C:", '\\'), "");
    EXPECT_EQ(FolderAbove("http://example.org", '\\'), "http:");
    EXPECT_EQ(FolderAbove("http:", '\\'), "");
    EXPECT_EQ(FolderAbove("\\\\srv\\share", '\\'), "\\\\srv");
    std::string walked = "\\\\srv\\share\\a\\b";
    int steps = 0;
    while (!walked.empty() && steps < 10) walked = FolderAbove(walked, '\\'), ++steps;
    EXPECT_EQ(steps, 5);
}
