#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "folderEntries.h"

namespace {

struct TDirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

ThvEntryKind KindOf(int dirFd, const char* name, unsigned char type) {
    switch (type) {
        case DT_REG:
            return ThvEntryKind::File;
        case DT_DIR:
            return ThvEntryKind::Folder;
        case DT_LNK:
        case DT_UNKNOWN:
            break;
        default:
            // A pipe could block whoever opens it; nothing but a regular file is a document.
            return ThvEntryKind::Other;
    }
    struct stat st;
    if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return ThvEntryKind::Other;
    if (S_ISDIR(st.st_mode)) return ThvEntryKind::Folder;
    if (S_ISREG(st.st_mode)) return ThvEntryKind::File;
    if (!S_ISLNK(st.st_mode)) return ThvEntryKind::Other;
    // A link counts as what it points to, except that a folder behind it is never entered.
    if (fstatat(dirFd, name, &st, 0) != 0) return ThvEntryKind::Other;
    return S_ISREG(st.st_mode) ? ThvEntryKind::File : ThvEntryKind::Other;
}

}  // namespace

std::vector<ThvFolderEntry> ReadFolderEntries(const std::string& folder) {
    std::vector<ThvFolderEntry> entries;
    std::unique_ptr<DIR, TDirCloser> dir(opendir(folder.c_str()));
    if (!dir) return entries;
    const int dirFd = dirfd(dir.get());
    while (struct dirent* item = readdir(dir.get())) {
        const char* name = item->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        entries.push_back({name, KindOf(dirFd, name, item->d_type)});
    }
    std::sort(entries.begin(), entries.end(),
              [](const ThvFolderEntry& a, const ThvFolderEntry& b) { return a.Name < b.Name; });
    return entries;
}
