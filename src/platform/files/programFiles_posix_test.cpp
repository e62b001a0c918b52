#include "platform/files/programFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files/fileSystem.h"
#include "scopedVariable.h"
#include "tempDir.h"

TEST(BesideProgramStem, WritableFolderKeepsTheFilesBesideTheProgram) {
    TempDir dir;
    ScopedVariable data("XDG_DATA_HOME", (dir / "data").c_str());
    EXPECT_EQ(BesideProgramStem(dir / "quillon"), dir / "quillon");
    EXPECT_FALSE(DirectoryExists(dir / "data"));
    // Nobody can write a folder that is not there.
    EXPECT_EQ(BesideProgramStem(dir / "missing/quillon"), dir / "data/quillon/quillon");
}

TEST(BesideProgramStem, InstalledProgramUsesTheUserDataFolderAndMakesIt) {
    // A system program folder counts as closed to the program's files even for root, who could
    // write it: nothing of a user's may end up where the package manager owns the files.
    TempDir dir;
    {
        ScopedVariable data("XDG_DATA_HOME", (dir / "xdg/").c_str());
        EXPECT_EQ(BesideProgramStem("/usr/bin/quillon"), dir / "xdg/quillon/quillon");
        EXPECT_EQ(BesideProgramStem("/opt/q/quillon.exe"), dir / "xdg/quillon/quillon.exe");
        struct stat made {};
        ASSERT_EQ(stat((dir / "xdg/quillon").c_str(), &made), 0);
        EXPECT_EQ(made.st_mode & 0777, 0700u);  // the user's own, as the XDG rules ask
    }
    {
        ScopedVariable data("XDG_DATA_HOME", nullptr);
        ScopedVariable home("HOME", (dir / "ann").c_str());
        EXPECT_EQ(BesideProgramStem("/usr/local/bin/quillon"),
                  dir / "ann/.local/share/quillon/quillon");
    }
    {
        // A relative XDG_DATA_HOME is invalid and ignored.
        ScopedVariable data("XDG_DATA_HOME", "data");
        ScopedVariable home("HOME", (dir / "bob/").c_str());
        EXPECT_EQ(BesideProgramStem("/usr/bin/quillon"), dir / "bob/.local/share/quillon/quillon");
    }
    EXPECT_TRUE(DirectoryExists(dir / "bob/.local/share/quillon"));
}

TEST(BesideProgramStem, FolderTheUserCannotWriteUsesTheUserDataFolder) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes every folder; the package check covers it";
    TempDir dir;
    const std::string bin = dir / "bin";
    ASSERT_EQ(mkdir(bin.c_str(), 0555), 0);
    ScopedVariable data("XDG_DATA_HOME", (dir / "data").c_str());
    EXPECT_EQ(BesideProgramStem(bin + "/quillon"), dir / "data/quillon/quillon");
    chmod(bin.c_str(), 0755);
}

TEST(InstalledDataFolder, IsTheShareFolderBesideTheProgramsFolder) {
    EXPECT_EQ(InstalledDataFolder("/usr/bin/quillon"), "/usr/share/quillon/");
    EXPECT_EQ(InstalledDataFolder("/home/ann/app/bin/quillon.exe"), "/home/ann/app/share/quillon/");
    EXPECT_EQ(InstalledDataFolder("quillon"), "");
}
