#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/files/fileSystem.h"
#include "platform/files/folderEntries.h"
#include "platform/files/paths.h"
#include "platform/files/programFiles.h"
#include "tempDir.h"
#include "text/textEncoding.h"

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

TEST(ProgramFilesWin32, AProgramUnderProgramFilesKeepsItsFilesApartEvenWhereItCouldWrite) {
    // Wine's Program Files can be written, as it can by an elevated run on Windows: the place,
    // not a write that happens to succeed, makes the program an installed one.
    const char* programFiles = std::getenv("ProgramFiles");
    ASSERT_NE(programFiles, nullptr);
    TempDir scratch;
    const std::string folder = std::string(programFiles) + "\\quillon-test-" +
                               ExtractFileName(ExcludeTrailingPathDelimiter(scratch.Path()));
    ASSERT_TRUE(ForceDirectories(folder));
    const std::string exe = folder + "\\quillon.exe";
    const std::string stem = BesideProgramStem(exe);
    // Named in another case, it is the same place.
    const std::string otherCase = FoldCase(exe);
    const std::string otherCaseStem = BesideProgramStem(otherCase);
    std::filesystem::remove(folder);
    EXPECT_NE(stem, exe);
    EXPECT_TRUE(stem.ends_with("\\quillon\\quillon.exe")) << stem;
    EXPECT_NE(otherCaseStem, otherCase);
}
