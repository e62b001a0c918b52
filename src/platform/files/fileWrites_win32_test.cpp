// What the program writes on Windows: held temporaries and their sweep, devices and pipes at a
// target's name, read-only targets; and the calls that tell files and folders apart.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>

#include "errorText.h"
#include "platform/files/fileSystem.h"
#include "platform/files/folderEntries.h"
#include "platform/files/pathIdentity.h"
#include "platform/files/paths.h"
#include "platform/files/win32Text.h"
#include "tempDir.h"

// After our headers: windows.h names these after its own A/W functions.
#include <windows.h>
#undef DeleteFile
#undef MoveFile
#undef GetFileAttributes

namespace {

class FileWritesWin32Test : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) const { return dir_ / name; }
    std::string Refusal(const std::string& name, const std::string& reason) const {
        return "Cannot create file \"" + Path(name) + "\". " + reason;
    }
    std::set<std::string> Names() const {
        std::set<std::string> names;
        for (const ThvFolderEntry& entry : ReadFolderEntries(dir_.Path())) names.insert(entry.Name);
        return names;
    }
    TempDir dir_;
};

TEST_F(FileWritesWin32Test, AHeldTemporaryOutlivesSweepsAndAnUnheldOneGoesWithItsCompanions) {
    std::string heldPath, companion;
    {
        ThvTempFile held(dir_.Path(), Path("shown.txt"));
        heldPath = held.Path();
        EXPECT_EQ(ExtractFilePath(heldPath), dir_.Path());
        EXPECT_TRUE(ExtractFileName(heldPath).starts_with(".quillon-"));
        companion = held.Companion(".rtf");
        EXPECT_EQ(companion, heldPath + ".0.rtf");
        EXPECT_EQ(held.Companion(".rtf"), heldPath + ".1.rtf");
        WriteFileAtomic(companion, "rich");

        // A dead writer's: the same form of name, nobody holding it.
        WriteFileAtomic(Path(".quillon-00000000000000ab"), "");
        WriteFileAtomic(Path(".quillon-00000000000000ab.0.rtf"), "");
        // Companions whose held file is gone are left-overs too; other names stay.
        WriteFileAtomic(Path(".quillon-00000000000000cd.3.rtf"), "");
        WriteFileAtomic(Path(".quillon-notatoken"), "");
        WriteFileAtomic(Path("talk.txt"), "");

        RemoveStaleTemporaries(dir_.Path());
        EXPECT_EQ(Names(),
                  (std::set<std::string>{ExtractFileName(heldPath), ExtractFileName(companion),
                                         ".quillon-notatoken", "talk.txt"}));
        // Nobody else may remove it while it is held.
        EXPECT_FALSE(DeleteFile(heldPath));
        DeleteFile(companion);
    }
    EXPECT_FALSE(FileExists(heldPath));  // the destructor removes it
    EXPECT_EQ(Names(), (std::set<std::string>{".quillon-notatoken", "talk.txt"}));
}

TEST_F(FileWritesWin32Test, WritesReplaceInOneStepAndLeaveNoTemporary) {
    WriteFileAtomic(Path("f.txt"), "old");
    const auto before = GetFileIdentity(Path("f.txt"));
    ASSERT_TRUE(before);
    WriteFileAtomic(Path("f.txt"), std::string("new\0x", 5));
    EXPECT_EQ(ReadFileBytes(Path("f.txt"), 10), std::string("new\0x", 5));
    const auto after = GetFileIdentity(Path("f.txt"));
    ASSERT_TRUE(after);
    EXPECT_NE(*after, *before);  // another file: replaced, not overwritten
    EXPECT_EQ(*GetFileIdentity(Path("f.txt")), *after);
    EXPECT_FALSE(GetFileIdentity(Path("missing")));

    WriteFileAtomic(Path("mine"), "a much longer first content");
    RewriteFileAs(Path("mine"), "text", Path("f.txt"));
    EXPECT_EQ(ReadFileBytes(Path("f.txt"), 100), "text");
    WriteFileAtomic(Path("rich"), "moved");
    MoveFileOver(Path("rich"), Path("f.txt"));
    EXPECT_EQ(ReadFileBytes(Path("f.txt"), 100), "moved");
    EXPECT_EQ(Names(), std::set<std::string>{"f.txt"});
}

TEST_F(FileWritesWin32Test, ReadOnlyFoldersAndMissingFoldersAreRefusedAndLoseNothing) {
    WriteFileAtomic(Path("ro.txt"), "old");
    ASSERT_TRUE(SetReadOnly(Path("ro.txt"), true));
    EXPECT_EQ(ErrorOf([&] { WriteFileAtomic(Path("ro.txt"), "new"); }),
              Refusal("ro.txt", "The file is read-only"));
    WriteFileAtomic(Path("mine"), "x");
    EXPECT_EQ(ErrorOf([&] { RewriteFileAs(Path("mine"), "new", Path("ro.txt")); }),
              Refusal("ro.txt", "The file is read-only"));
    EXPECT_FALSE(FileExists(Path("mine")));  // the caller's file goes on failure
    WriteFileAtomic(Path("mine"), "x");
    EXPECT_EQ(ErrorOf([&] { MoveFileOver(Path("mine"), Path("ro.txt")); }),
              Refusal("ro.txt", "The file is read-only"));
    EXPECT_FALSE(FileExists(Path("mine")));
    EXPECT_EQ(ReadFileBytes(Path("ro.txt"), 10), "old");
    ASSERT_TRUE(SetReadOnly(Path("ro.txt"), false));

    ASSERT_TRUE(ForceDirectories(Path("dir")));
    EXPECT_NE(ErrorOf([&] { WriteFileAtomic(Path("dir"), "x"); }), "(no error)");
    EXPECT_NE(ErrorOf([&] { WriteFileAtomic(Path("no\\f.txt"), "x"); }).find(Path("no\\f.txt")),
              std::string::npos);
    EXPECT_EQ(Names(), (std::set<std::string>{"dir", "ro.txt"}));
}

TEST_F(FileWritesWin32Test, DevicesAndPipesAreWrittenIntoNeverReplaced) {
    // The null device by its DOS name, in any folder.
    WriteFileAtomic("NUL", "into nothing");
    WriteFileAtomic(Path("NUL"), "into nothing");
    EXPECT_EQ(Names(), std::set<std::string>{});

    // A named pipe with a reader receives the bytes; one without a server is refused.
    const std::string pipeName =
        "\\\\.\\pipe\\quillon-test-" + std::to_string(GetCurrentProcessId());
    HANDLE server = CreateNamedPipeW(WideText(pipeName).c_str(), PIPE_ACCESS_INBOUND,
                                     PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 4096, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    std::string received;
    std::thread reader([&] {
        ConnectNamedPipe(server, nullptr);
        char buffer[64];
        DWORD got = 0;
        while (ReadFile(server, buffer, sizeof buffer, &got, nullptr) && got > 0)
            received.append(buffer, got);
    });
    // The server may not be listening yet: a client is taken once it is, so try again.
    std::string error = "not tried";
    for (int attempt = 0; attempt < 200 && error != "(no error)"; ++attempt) {
        if (attempt > 0) Sleep(10);
        error = ErrorOf([&] { WriteFileAtomic(pipeName, "through the pipe"); });
    }
    EXPECT_EQ(error, "(no error)");
    reader.join();
    CloseHandle(server);
    EXPECT_EQ(received, "through the pipe");
    EXPECT_EQ(ErrorOf([&] { WriteFileAtomic(pipeName, "x"); }),
              "Cannot create file \"" + pipeName + "\". It is a named pipe that nobody reads");
}

TEST_F(FileWritesWin32Test, PathsCompareByThePlaceTheyName) {
    ASSERT_TRUE(ForceDirectories(Path("a\\b")));
    WriteFileAtomic(Path("a\\b\\f.txt"), "x");
    const std::string folder = ResolvedFolder(Path("a"));
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(folder.ends_with("\\a\\"));
    EXPECT_EQ(ResolvedPath(Path("a\\.\\b\\..\\b\\f.txt")), folder + "b\\f.txt");
    EXPECT_EQ(ResolvedPath(Path("a/b/f.txt")), folder + "b\\f.txt");
    EXPECT_EQ(ResolvedPath(Path("a\\b\\new.txt")), folder + "b\\new.txt");  // need not exist
    EXPECT_EQ(ResolvedPath(Path("missing\\f.txt")), "");
    EXPECT_EQ(FullyResolvedPath(Path("a\\b\\f.txt")), folder + "b\\f.txt");
    EXPECT_TRUE(SameExistingFile(Path("a\\b\\f.txt"), Path("a\\b\\..\\b\\F.TXT")));
    WriteFileAtomic(Path("a\\g.txt"), "x");
    EXPECT_FALSE(SameExistingFile(Path("a\\b\\f.txt"), Path("a\\g.txt")));
    EXPECT_FALSE(SameExistingFile(Path("a\\b\\f.txt"), Path("missing")));
}

TEST_F(FileWritesWin32Test, AListingSaysWhetherTheFolderIsMissingAndWhatIsHidden) {
    WriteFileAtomic(Path("shown.txt"), "");
    WriteFileAtomic(Path("hidden.txt"), "");
    ASSERT_TRUE(SetFileAttributesW(LongPath(Path("hidden.txt")).c_str(), FILE_ATTRIBUTE_HIDDEN));
    const ThvFolderListing listing = ListFolder(dir_.Path());
    EXPECT_EQ(listing.Error, "");
    ASSERT_EQ(listing.Entries.size(), 2u);
    EXPECT_EQ(listing.Entries[0].Name, "hidden.txt");
    EXPECT_TRUE(listing.Entries[0].Hidden);
    EXPECT_FALSE(listing.Entries[1].Hidden);
    EXPECT_EQ(listing.Entries[1].Kind, ThvEntryKind::File);

    const ThvFolderListing missing = ListFolder(Path("missing"));
    EXPECT_TRUE(missing.Missing);
    EXPECT_NE(missing.Error, "");
    const ThvFolderListing file = ListFolder(Path("shown.txt"));
    EXPECT_TRUE(file.Missing);        // a file names no folder
    EXPECT_GT(MaxPathBytes(), 260u);  // long paths, not MAX_PATH
}

}  // namespace
