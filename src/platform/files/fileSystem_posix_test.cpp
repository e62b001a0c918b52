#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>

#include "errorText.h"
#include "fullDisk.h"
#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"
#include "platform/files/folderEntries.h"
#include "tempDir.h"

namespace {

// Tests run as root, which ignores permission bits; failures are provoked by missing folders,
// files in the way of folders and resource limits instead.
class FileSystemPosixTest : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) const { return dir_ / name; }
    std::string message(const std::string& name, int error) const {
        return message(name, SystemErrorMessage(error));
    }
    std::string message(const std::string& name, const std::string& reason) const {
        return "Cannot create file \"" + Path(name) + "\". " + reason;
    }
    TempDir dir_;
    const std::string folder_ = dir_.Path().substr(0, dir_.Path().size() - 1);
};

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

TEST_F(FileSystemPosixTest, APrivateFolderIsTheUsersAloneAndLeavesWhatItsLinksName) {
    // Where TMPDIR says; a link inside is removed with the folder, what it names stays.
    const char* saved = std::getenv("TMPDIR");
    const std::optional<std::string> previous =
        saved ? std::optional<std::string>(saved) : std::nullopt;
    const auto restore = [&] {
        if (previous) setenv("TMPDIR", previous->c_str(), 1);
        else unsetenv("TMPDIR");
    };
    setenv("TMPDIR", folder_.c_str(), 1);
    WriteFileAtomic(Path("outside.txt"), "keep");
    std::string made;
    {
        const ThvPrivateFolder folder;
        made = folder.Path();
        EXPECT_TRUE(made.starts_with(dir_.Path() + "quillon-")) << made;
        EXPECT_EQ(ModeOf(made), 0700u);
        ASSERT_EQ(symlink(Path("outside.txt").c_str(), (made + "link").c_str()), 0);
        ASSERT_EQ(symlink(folder_.c_str(), (made + "linkedFolder").c_str()), 0);
    }
    restore();
    EXPECT_FALSE(DirectoryExists(made));
    EXPECT_EQ(ReadFileBytes(Path("outside.txt"), 10), "keep");

    setenv("TMPDIR", Path("missing").c_str(), 1);
    const std::string error = ErrorOf([] { ThvPrivateFolder folder; });
    restore();
    EXPECT_TRUE(error.starts_with("Cannot create a temporary folder in \"" + Path("missing/") +
                                  "\". "))
        << error;
}

TEST_F(FileSystemPosixTest, Times) {
    WriteFileAtomic(Path("f"), "x");
    ThvFileTimes times;
    times.LastAccess = 1'600'000'000'123'456'789;
    times.LastWrite = -1'500'000'000;  // 1969: the nanosecond part must not go negative
    ASSERT_TRUE(SetFileTimes(Path("f"), times));
    std::optional<ThvFileTimes> read = GetFileTimes(Path("f"));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->LastAccess, times.LastAccess);
    EXPECT_EQ(read->LastWrite, times.LastWrite);
    EXPECT_FALSE(GetFileTimes(Path("missing")));

    // With the modification time moved back, a birth time (where known) must be what is used.
    ASSERT_TRUE(ForceDirectories(Path("new")));
    ASSERT_TRUE(SetFileTimes(Path("new"), times));
    std::optional<int64_t> created = FolderCreationTime(Path("new"));
    ASSERT_TRUE(created);
    if (GetFileTimes(Path("new"))->Creation) {
        auto now = std::chrono::system_clock::now().time_since_epoch();
        EXPECT_NEAR(*created / 1e9, std::chrono::duration<double>(now).count(), 60);
    } else {
        EXPECT_EQ(*created, times.LastWrite);
    }
}

TEST_F(FileSystemPosixTest, AttributesAndReadOnly) {
    ASSERT_TRUE(ForceDirectories(Path(".hidden")));
    std::optional<ThvFileAttributes> dir = GetFileAttributes(Path(".hidden/"));
    ASSERT_TRUE(dir);
    EXPECT_TRUE(dir->Directory && dir->Hidden && !dir->ReadOnly);

    WriteFileAtomic(Path("f"), "x");
    ASSERT_EQ(chmod(Path("f").c_str(), 0640), 0);
    ASSERT_TRUE(SetReadOnly(Path("f"), true));
    EXPECT_EQ(ModeOf(Path("f")), 0440u);
    EXPECT_TRUE(GetFileAttributes(Path("f"))->ReadOnly);
    ASSERT_TRUE(SetReadOnly(Path("f"), false));
    EXPECT_EQ(ModeOf(Path("f")), 0640u);
    ASSERT_EQ(chmod(Path("f").c_str(), 0424), 0);  // anybody's write bit counts
    EXPECT_FALSE(GetFileAttributes(Path("f"))->ReadOnly);
    EXPECT_FALSE(IsHiddenName(".."));
}

TEST_F(FileSystemPosixTest, FolderEntriesSortByBytesAndNeverLeadIntoLinkedFolders) {
    for (const char* name : {"B", "a", "_", ".hid"}) WriteFileAtomic(Path(name), "");
    ASSERT_TRUE(ForceDirectories(Path("dir")));
    ASSERT_EQ(symlink("dir", Path("linkDir").c_str()), 0);
    ASSERT_EQ(symlink("a", Path("linkFile").c_str()), 0);
    ASSERT_EQ(symlink("gone", Path("linkGone").c_str()), 0);

    const std::vector<ThvFolderEntry> entries = ReadFolderEntries(folder_);
    std::vector<std::string> names;
    for (const ThvFolderEntry& entry : entries) names.push_back(entry.Name);
    EXPECT_EQ(names, (std::vector<std::string>{".hid", "B", "_", "a", "dir", "linkDir", "linkFile",
                                               "linkGone"}));
    ASSERT_EQ(entries.size(), 8u);
    EXPECT_TRUE(entries[0].Hidden);  // ".hid"
    EXPECT_FALSE(entries[1].Hidden);
    EXPECT_EQ(entries[3].Kind, ThvEntryKind::File);
    EXPECT_EQ(entries[4].Kind, ThvEntryKind::Folder);
    EXPECT_EQ(entries[5].Kind, ThvEntryKind::Other);  // a link to a folder is never entered
    EXPECT_EQ(entries[6].Kind, ThvEntryKind::File);
    EXPECT_EQ(entries[7].Kind, ThvEntryKind::Other);
    EXPECT_TRUE(ReadFolderEntries(Path("missing")).empty());
}

TEST_F(FileSystemPosixTest, ReadFileBytesLimits) {
    EXPECT_EQ(ErrorOf([&] { ReadFileBytes(Path("missing"), 4); }),
              "Cannot open file \"" + Path("missing") + "\". No such file or directory");
    EXPECT_THROW(ReadFileBytes(folder_, 100), EhvError);

    // /proc files report size 0 and have to be read to their end, within the limit.
    std::string maps = ReadFileBytes("/proc/self/smaps", 1 << 24);
    EXPECT_GT(maps.size(), 8192u);
    EXPECT_NE(maps.find("Size:"), std::string::npos);
    EXPECT_THROW(ReadFileBytes("/proc/self/smaps", 8192), EhvError);
}

TEST_F(FileSystemPosixTest, WriteFileAtomicSetsModeAndLeavesNoTemporary) {
    mode_t oldMask = umask(022);
    WriteFileAtomic(Path("f"), "abc");
    umask(oldMask);
    EXPECT_EQ(ModeOf(Path("f")), 0644u);

    ASSERT_EQ(chmod(Path("f").c_str(), 0604), 0);
    WriteFileAtomic(Path("f"), std::string("x\0y", 3));
    EXPECT_EQ(ReadFileBytes(Path("f"), 10), std::string("x\0y", 3));
    EXPECT_EQ(ModeOf(Path("f")), 0604u);
    EXPECT_EQ(ReadFolderEntries(folder_).size(), 1u);
}

TEST_F(FileSystemPosixTest, WriteFileAtomicFailuresKeepTheOldFile) {
    WriteFileAtomic(Path("ro"), "old");
    ASSERT_TRUE(SetReadOnly(Path("ro"), true));
    EXPECT_EQ(ErrorOf([&] { WriteFileAtomic(Path("ro"), "new"); }),
              message("ro", "The file is read-only"));
    EXPECT_EQ(ReadFileBytes(Path("ro"), 10), "old");
    EXPECT_EQ(ErrorOf([&] { WriteFileAtomic(Path("no/f"), "x"); }), message("no/f", ENOENT));
    EXPECT_EQ(ErrorOf([&] { WriteFileAtomic(Path("ro/f"), "x"); }), message("ro/f", ENOTDIR));

    // A full disk fails in the middle of writing.
    WriteFileAtomic(Path("big"), "old");
    EXPECT_EQ(ErrorOnAFullDisk([&] { WriteFileAtomic(Path("big"), std::string(10000, 'x')); }),
              message("big", EFBIG));
    EXPECT_EQ(ReadFileBytes(Path("big"), 10), "old");

    ASSERT_TRUE(ForceDirectories(Path("dir/sub")));
    EXPECT_THROW(WriteFileAtomic(Path("dir"), "x"), EhvError);
    EXPECT_EQ(ReadFolderEntries(folder_).size(), 3u);  // big, dir, ro: no temporary left behind
}

TEST_F(FileSystemPosixTest, RewriteFileAsReusesTheFileAndCleansUpOnFailure) {
    WriteFileAtomic(Path("mine"), "a much longer first content");
    struct stat before {};
    stat(Path("mine").c_str(), &before);
    WriteFileAtomic(Path("target"), "old");
    ASSERT_EQ(chmod(Path("target").c_str(), 0640), 0);
    RewriteFileAs(Path("mine"), "new", Path("target"));
    struct stat after {};
    stat(Path("target").c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);  // the same file, no new one
    EXPECT_EQ(ReadFileBytes(Path("target"), 100), "new");
    EXPECT_EQ(ModeOf(Path("target")), 0640u);
    EXPECT_FALSE(FileExists(Path("mine")));
    RewriteFileAs(Path("target"), "in place", Path("target"));
    EXPECT_EQ(ReadFileBytes(Path("target"), 100), "in place");

    // A link put in the file's place is not written through, and goes.
    ASSERT_EQ(symlink(Path("target").c_str(), Path("link").c_str()), 0);
    EXPECT_EQ(ErrorOf([&] { RewriteFileAs(Path("link"), "x", Path("out")); }),
              message("out", ELOOP));
    EXPECT_EQ(ReadFileBytes(Path("target"), 100), "in place");

    // A protected target is refused; a failed write loses nothing of the target.
    WriteFileAtomic(Path("mine"), "x");
    ASSERT_TRUE(SetReadOnly(Path("target"), true));
    EXPECT_EQ(ErrorOf([&] { RewriteFileAs(Path("mine"), "new", Path("target")); }),
              message("target", "The file is read-only"));
    EXPECT_EQ(ReadFileBytes(Path("target"), 100), "in place");
    WriteFileAtomic(Path("mine"), "x");
    EXPECT_EQ(ErrorOnAFullDisk(
                  [&] { RewriteFileAs(Path("mine"), std::string(10000, 'x'), Path("big")); }),
              message("big", EFBIG));
    EXPECT_EQ(ReadFolderEntries(folder_).size(), 1u);  // target only: nothing left behind
}

}  // namespace
