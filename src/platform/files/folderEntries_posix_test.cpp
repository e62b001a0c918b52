#include "platform/files/folderEntries.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "tempDir.h"

namespace {

std::map<std::string, ThvFolderEntry> ByName(const ThvFolderListing& listing) {
    std::map<std::string, ThvFolderEntry> byName;
    for (const ThvFolderEntry& entry : listing.Entries) byName[entry.Name] = entry;
    return byName;
}

TEST(FolderEntriesTest, WhatIsNoFileSaysWhatItIsInsteadWithoutBeingOpened) {
    TempDir dir;
    WriteBytes(dir / "file", "x");
    std::filesystem::create_directory(dir / "folder");
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    std::filesystem::create_symlink(dir / "gone", dir / "dangling");
    std::filesystem::create_symlink(dir / "loop", dir / "loop");
    std::filesystem::create_symlink(dir / "pipe", dir / "toPipe");
    std::filesystem::create_symlink(dir / "folder", dir / "toFolder");
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    (dir / "sock").copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    const ThvFolderListing listing = ListFolder(dir.Path());
    close(sock);
    EXPECT_EQ(listing.Error, "");
    auto entries = ByName(listing);
    ASSERT_EQ(entries.size(), 8u);
    EXPECT_EQ(entries["file"].Kind, ThvEntryKind::File);
    EXPECT_EQ(entries["file"].NotAFile, "");
    EXPECT_EQ(entries["folder"].Kind, ThvEntryKind::Folder);
    EXPECT_EQ(entries["pipe"].NotAFile, "a named pipe (FIFO), not a file");
    EXPECT_EQ(entries["sock"].NotAFile, "a socket, not a file");
    EXPECT_EQ(entries["dangling"].NotAFile, "a link to \"" + dir / "gone\", which does not exist");
    EXPECT_EQ(entries["loop"].NotAFile,
              "a link that cannot be followed: Too many levels of symbolic links");
    EXPECT_EQ(entries["toPipe"].NotAFile, "a link to a named pipe (FIFO), not a file");
    // A link to a folder is never entered, and it is no failure either.
    EXPECT_EQ(entries["toFolder"].Kind, ThvEntryKind::Other);
    EXPECT_EQ(entries["toFolder"].NotAFile, "");
    for (const char* name : {"pipe", "sock", "dangling", "loop", "toPipe"})
        EXPECT_EQ(entries[name].Kind, ThvEntryKind::Other) << name;
}

TEST(FolderEntriesTest, AFolderThatCannotBeListedSaysWhy) {
    TempDir dir;
    ThvFolderListing missing = ListFolder(dir / "missing");
    EXPECT_TRUE(missing.Missing);
    EXPECT_EQ(missing.Error, "No such file or directory");
    WriteBytes(dir / "file", "x");
    EXPECT_TRUE(ListFolder(dir / "file").Missing);  // names no folder
    const ThvFolderListing tooLong = ListFolder(dir / std::string(MaxPathBytes() + 1, 'x'));
    EXPECT_FALSE(tooLong.Missing);
    EXPECT_EQ(tooLong.Error, "File name too long");
    if (geteuid() != 0) {
        std::filesystem::create_directory(dir / "locked");
        std::filesystem::permissions(dir / "locked", std::filesystem::perms::none);
        const ThvFolderListing locked = ListFolder(dir / "locked");
        EXPECT_FALSE(locked.Missing);
        EXPECT_EQ(locked.Error, "Permission denied");
        std::filesystem::permissions(dir / "locked", std::filesystem::perms::owner_all);
    }
}

}  // namespace
