#include <gtest/gtest.h>

#include "platform/files/fileSystem.h"
#include "platform/files/folderEntries.h"
#include "platform/files/paths.h"
#include "platform/files/programFiles.h"
#include "tempDir.h"

TEST(ProgramFilesWin32, AWritableFolderKeepsTheFilesBesideTheProgram) {
    TempDir dir;
    EXPECT_EQ(BesideProgramStem(dir / "quillon.exe"), dir / "quillon.exe");
    EXPECT_TRUE(ReadFolderEntries(dir.Path()).empty());  // the probe leaves nothing
    EXPECT_EQ(InstalledDataFolder(dir / "quillon.exe"), "");
}

TEST(ProgramFilesWin32, AFolderThatCannotBeWrittenUsesTheLocalApplicationData) {
    // A folder that is not there cannot be written, like a protected one.
    TempDir dir;
    const std::string stem = BesideProgramStem(dir / "missing\\quillon.exe");
    EXPECT_TRUE(stem.ends_with("\\quillon\\quillon.exe")) << stem;
    EXPECT_NE(stem, dir / "missing\\quillon.exe");
    EXPECT_TRUE(DirectoryExists(ExtractFilePath(stem)));
}
