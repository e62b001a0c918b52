// The file system through the wide Win32 calls: names beyond the ANSI page, paths beyond 260
// characters, the creation time and the hidden and read-only attributes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "errorText.h"
#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"
#include "platform/files/folderEntries.h"
#include "platform/files/win32Text.h"
#include "tempDir.h"

// After our headers: windows.h names these after its own A/W functions.
#include <windows.h>
#undef DeleteFile
#undef MoveFile
#undef GetFileAttributes

namespace {

// Names no single ANSI page holds together: Latin, Greek, Cyrillic, CJK and a character
// outside the Basic Multilingual Plane.
const std::string kNames[] = {"caf\xC3\xA9", "\xCE\xB1\xCE\xB2\xCE\xB3", "\xD0\xB4\xD0\xB0",
                              "\xE6\xBC\xA2\xE5\xAD\x97", "\xF0\x9F\x98\x80"};

class FileSystemWin32Test : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) const { return dir_ / name; }
    // What the system itself sees, through the wide call and no layer of ours.
    static bool ExistsWide(const std::wstring& path) {
        return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    TempDir dir_;
};

TEST_F(FileSystemWin32Test, NamesOutsideTheAnsiPageAreUtf16OnDisk) {
    for (const std::string& name : kNames) {
        ASSERT_TRUE(ForceDirectories(Path(name + "/" + name)));
        WriteFileAtomic(Path(name + "/" + name + "/" + name + ".txt"), name);
        const std::wstring wide = WideText(Path(name + "/" + name + "/" + name + ".txt"));
        EXPECT_TRUE(ExistsWide(wide)) << name;
        EXPECT_EQ(ReadFileBytes(Path(name + "/" + name + "/" + name + ".txt"), 100), name);
        ThvFilePtr file = OpenFileForReading(Path(name + "/" + name + "/" + name + ".txt"));
        ASSERT_TRUE(file) << name;
        EXPECT_TRUE(FileExists(Path(name + "/" + name + "/" + name + ".txt")));
        EXPECT_TRUE(DirectoryExists(Path(name)));
        EXPECT_EQ(GetPathKind(Path(name)), ThvPathKind::Folder);
    }
    const std::vector<ThvFolderEntry> entries = ReadFolderEntries(dir_.Path());
    ASSERT_EQ(entries.size(), std::size(kNames));
    for (const ThvFolderEntry& entry : entries) {
        EXPECT_EQ(entry.Kind, ThvEntryKind::Folder);
        EXPECT_NE(std::find(std::begin(kNames), std::end(kNames), entry.Name), std::end(kNames))
            << entry.Name;
    }
    EXPECT_TRUE(MoveFile(Path(kNames[0] + "/" + kNames[0] + "/" + kNames[0] + ".txt"),
                         Path(kNames[1] + ".txt")));
    EXPECT_EQ(ReadFileBytes(Path(kNames[1] + ".txt"), 100), kNames[0]);
    EXPECT_TRUE(DeleteFile(Path(kNames[1] + ".txt")));
    EXPECT_FALSE(ExistsWide(WideText(Path(kNames[1] + ".txt"))));
}

TEST_F(FileSystemWin32Test, PathsLongerThan260Characters) {
    std::string deep = dir_.Path();
    while (deep.size() < 400) deep += std::string(40, 'd') + "\\";
    ASSERT_TRUE(ForceDirectories(deep));
    const std::string file = deep + "f\xC3\xA9.txt";
    WriteFileAtomic(file, "long");
    EXPECT_EQ(ReadFileBytes(file, 10), "long");
    EXPECT_TRUE(GetFileTimes(file));
    EXPECT_EQ(ReadFolderEntries(deep).size(), 1u);
    // "/" and "..", which the long form takes literally, are resolved first.
    std::string slashed = deep + "..\\" + std::string(40, 'd') + "/f\xC3\xA9.txt";
    EXPECT_EQ(ReadFileBytes(slashed, 10), "long");
    RewriteFileAs(file, "rewritten", deep + "g.txt");
    EXPECT_EQ(ReadFileBytes(deep + "g.txt", 20), "rewritten");
}

// Whether the file system keeps a creation time of its own: Windows does; Wine on a Linux file
// system has none to set and reports the last change in its place.
bool SystemKeepsCreationTime(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES | FILE_READ_ATTRIBUTES, 0,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME set{0x12345600, 0x01C00000}, read{};
    SetFileTime(file, &set, nullptr, nullptr);
    GetFileTime(file, &read, nullptr, nullptr);
    CloseHandle(file);
    return read.dwLowDateTime == set.dwLowDateTime && read.dwHighDateTime == set.dwHighDateTime;
}

TEST_F(FileSystemWin32Test, AllThreeTimesAreReadAndSet) {
    WriteFileAtomic(Path("f"), "x");
    ThvFileTimes times;
    times.Creation = 1'300'000'000'000'000'000;  // 2011; FILETIME counts in 100 ns
    times.LastAccess = 1'600'000'000'123'456'700;
    times.LastWrite = -1'500'000'000;  // 1969
    ASSERT_TRUE(SetFileTimes(Path("f"), times));
    const std::optional<ThvFileTimes> read = GetFileTimes(Path("f"));
    ASSERT_TRUE(read && read->Creation);  // always known here
    EXPECT_EQ(read->LastAccess, times.LastAccess);
    EXPECT_EQ(read->LastWrite, times.LastWrite);
    WriteFileAtomic(Path("probe"), "");
    const bool keeps = SystemKeepsCreationTime(LongPath(Path("probe")));
    if (keeps) {
        EXPECT_EQ(*read->Creation, *times.Creation);
    }

    // Without a creation time only the other two change.
    ThvFileTimes later = times;
    later.Creation.reset();
    later.LastWrite = 1'700'000'000'000'000'000;
    ASSERT_TRUE(SetFileTimes(Path("f"), later));
    if (keeps) {
        EXPECT_EQ(*GetFileTimes(Path("f"))->Creation, *times.Creation);
    }
    EXPECT_EQ(GetFileTimes(Path("f"))->LastWrite, later.LastWrite);

    // A folder's creation time is its own, not its last change.
    ASSERT_TRUE(ForceDirectories(Path("folder")));
    ASSERT_TRUE(SetFileTimes(Path("folder"), times));
    EXPECT_EQ(FolderCreationTime(Path("folder")), GetFileTimes(Path("folder"))->Creation);
    if (keeps) {
        EXPECT_EQ(FolderCreationTime(Path("folder")), times.Creation);
    }
    EXPECT_FALSE(GetFileTimes(Path("missing")));
    EXPECT_FALSE(FolderCreationTime(Path("missing")));
}

TEST_F(FileSystemWin32Test, HiddenAndReadOnlyAreAttributes) {
    WriteFileAtomic(Path(".dotted"), "");
    WriteFileAtomic(Path("plain"), "");
    ASSERT_TRUE(SetFileAttributesW(WideText(Path("plain")).c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(ForceDirectories(Path("hiddenDir")));
    ASSERT_TRUE(SetFileAttributesW(WideText(Path("hiddenDir")).c_str(),
                                   FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY));

    // Hiding is the attribute alone: whatever the system says of a "." name (Windows leaves it
    // visible, Wine hides it) is what the program sees.
    const bool dottedHidden =
        GetFileAttributesW(LongPath(Path(".dotted")).c_str()) & FILE_ATTRIBUTE_HIDDEN;
    EXPECT_EQ(GetFileAttributes(Path(".dotted"))->Hidden, dottedHidden);
    EXPECT_FALSE(IsHiddenName(".dotted"));
    EXPECT_TRUE(GetFileAttributes(Path("plain"))->Hidden);
    EXPECT_TRUE(GetFileAttributes(Path("hiddenDir"))->Hidden);
    EXPECT_TRUE(GetFileAttributes(Path("hiddenDir"))->Directory);
    const std::vector<ThvFolderEntry> entries = ReadFolderEntries(dir_.Path());
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].Name, ".dotted");
    EXPECT_EQ(entries[0].Hidden, dottedHidden);
    EXPECT_EQ(entries[1].Name, "hiddenDir");
    EXPECT_TRUE(entries[1].Hidden);
    EXPECT_EQ(entries[1].Kind, ThvEntryKind::Folder);
    EXPECT_TRUE(entries[2].Hidden);

    ASSERT_TRUE(SetReadOnly(Path("plain"), true));
    EXPECT_TRUE(GetFileAttributes(Path("plain"))->ReadOnly);
    EXPECT_TRUE(GetFileAttributes(Path("plain"))->Hidden);  // the other attributes stay
    EXPECT_EQ(
        ErrorOf([&] { WriteFileAtomic(Path("plain"), "new"); }),
        "Cannot create file \"" + Path("plain") + "\". The file is read-only");
    WriteFileAtomic(Path("mine"), "x");
    EXPECT_THROW(RewriteFileAs(Path("mine"), "y", Path("plain")), EhvError);
    EXPECT_FALSE(FileExists(Path("mine")));  // the caller's file goes on failure
    ASSERT_TRUE(SetReadOnly(Path("plain"), false));
    EXPECT_FALSE(GetFileAttributes(Path("plain"))->ReadOnly);
    WriteFileAtomic(Path("plain"), "new");
    EXPECT_EQ(ReadFileBytes(Path("plain"), 10), "new");
}

TEST_F(FileSystemWin32Test, LinksToFoldersAreNeverEntered) {
    ASSERT_TRUE(ForceDirectories(Path("dir")));
    WriteFileAtomic(Path("file.txt"), "x");
    const bool linked =
        CreateSymbolicLinkW(WideText(Path("linkDir")).c_str(), WideText(Path("dir")).c_str(),
                            SYMBOLIC_LINK_FLAG_DIRECTORY) &&
        CreateSymbolicLinkW(WideText(Path("linkFile")).c_str(), WideText(Path("file.txt")).c_str(),
                            0);
    const std::vector<ThvFolderEntry> entries = ReadFolderEntries(dir_.Path());
    // Wine 8 reports success but lists no link at all.
    if (!linked || entries.size() != 4u) GTEST_SKIP() << "this system lists no symbolic links";
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].Kind, ThvEntryKind::Folder);  // dir
    EXPECT_EQ(entries[1].Kind, ThvEntryKind::File);    // file.txt
    EXPECT_EQ(entries[2].Name, "linkDir");
    EXPECT_EQ(entries[2].Kind, ThvEntryKind::Other);
    EXPECT_EQ(entries[3].Kind, ThvEntryKind::File);  // a link to a file is the file
}

TEST_F(FileSystemWin32Test, RewriteFileAsKeepsTheFileAndLeavesNothingBehind) {
    WriteFileAtomic(Path("mine"), "a much longer first content");
    auto fileIndex = [](const std::string& path) {
        HANDLE file = CreateFileW(LongPath(path).c_str(), 0, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        BY_HANDLE_FILE_INFORMATION info{};
        GetFileInformationByHandle(file, &info);
        CloseHandle(file);
        return static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    };
    const uint64_t before = fileIndex(Path("mine"));
    WriteFileAtomic(Path("target"), "old");
    RewriteFileAs(Path("mine"), "new", Path("target"));
    EXPECT_EQ(fileIndex(Path("target")), before);  // the same file, no new one
    EXPECT_EQ(ReadFileBytes(Path("target"), 100), "new");
    EXPECT_FALSE(FileExists(Path("mine")));
    EXPECT_THROW(ReadFileBytes(Path("target"), 2), EhvError);
    EXPECT_THROW(WriteFileAtomic(Path("no/such/f"), "x"), EhvError);
    EXPECT_EQ(ReadFolderEntries(dir_.Path()).size(), 1u);  // no temporary left behind
    EXPECT_TRUE(CurrentExecutablePath().ends_with("\\platform_tests.exe"))
        << CurrentExecutablePath();
}

}  // namespace
