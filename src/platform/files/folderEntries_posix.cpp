#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/files/fileSystem.h"
#include "platform/files/folderEntries.h"

namespace {

struct TDirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// What a file-system object other than a file or a folder is, in the user's words.
std::string NotAFileText(mode_t mode) {
    if (S_ISFIFO(mode)) return "a named pipe (FIFO), not a file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device, not a file";
    if (S_ISSOCK(mode)) return "a socket, not a file";
    return "not a file";
}

std::string LinkTarget(int dirFd, const char* name) {
    char target[PATH_MAX];
    const ssize_t size = readlinkat(dirFd, name, target, sizeof target);
    return size > 0 ? std::string(target, static_cast<std::size_t>(size)) : std::string();
}

void Classify(int dirFd, ThvFolderEntry& entry, unsigned char type) {
    const char* name = entry.Name.c_str();
    switch (type) {
        case DT_REG:
            entry.Kind = ThvEntryKind::File;
            return;
        case DT_DIR:
            entry.Kind = ThvEntryKind::Folder;
            return;
        case DT_FIFO:
            // A pipe could block whoever opens it; nothing but a regular file is a document.
            entry.NotAFile = NotAFileText(S_IFIFO);
            return;
        case DT_CHR:
        case DT_BLK:
            entry.NotAFile = NotAFileText(S_IFCHR);
            return;
        case DT_SOCK:
            entry.NotAFile = NotAFileText(S_IFSOCK);
            return;
        default:
            break;
    }
    struct stat st;
    if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        entry.NotAFile = "cannot be looked up: " + SystemErrorMessage(errno);
        return;
    }
    if (S_ISDIR(st.st_mode)) {
        entry.Kind = ThvEntryKind::Folder;
        return;
    }
    if (S_ISREG(st.st_mode)) {
        entry.Kind = ThvEntryKind::File;
        return;
    }
    if (!S_ISLNK(st.st_mode)) {
        entry.NotAFile = NotAFileText(st.st_mode);
        return;
    }
    // A link counts as what it points to, except that a folder behind it is never entered.
    if (fstatat(dirFd, name, &st, 0) != 0) {
        const int error = errno;
        entry.NotAFile = error == ENOENT
                             ? "a link to \"" + LinkTarget(dirFd, name) + "\", which does not exist"
                             : "a link that cannot be followed: " + SystemErrorMessage(error);
        return;
    }
    if (S_ISREG(st.st_mode))
        entry.Kind = ThvEntryKind::File;
    else if (!S_ISDIR(st.st_mode))
        entry.NotAFile = "a link to " + NotAFileText(st.st_mode);
}

}  // namespace

ThvFolderListing ListFolder(const std::string& folder) {
    ThvFolderListing listing;
    std::unique_ptr<DIR, TDirCloser> dir(opendir(folder.c_str()));
    if (!dir) {
        const int error = errno;
        listing.Error = SystemErrorMessage(error);
        listing.Missing = error == ENOENT || error == ENOTDIR;
        return listing;
    }
    const int dirFd = dirfd(dir.get());
    for (;;) {
        errno = 0;
        struct dirent* item = readdir(dir.get());
        if (!item) {
            if (errno != 0) listing.Error = SystemErrorMessage(errno);
            break;
        }
        const char* name = item->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        ThvFolderEntry entry;
        entry.Name = name;
        entry.Hidden = IsHiddenName(entry.Name);
        Classify(dirFd, entry, item->d_type);
        listing.Entries.push_back(std::move(entry));
    }
    std::sort(listing.Entries.begin(), listing.Entries.end(),
              [](const ThvFolderEntry& a, const ThvFolderEntry& b) { return a.Name < b.Name; });
    return listing;
}

std::vector<ThvFolderEntry> ReadFolderEntries(const std::string& folder) {
    return ListFolder(folder).Entries;
}

// PATH_MAX counts the terminating NUL.
std::size_t MaxPathBytes() { return PATH_MAX - 1; }
