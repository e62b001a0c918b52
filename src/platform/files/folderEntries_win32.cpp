#include <windows.h>

#include <algorithm>

#include "platform/files/folderEntries.h"
#include "platform/files/win32Text.h"

namespace {

class TFindHandle {
  public:
    explicit TFindHandle(HANDLE handle) : handle_(handle) {}
    ~TFindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
    }
    TFindHandle(const TFindHandle&) = delete;
    TFindHandle& operator=(const TFindHandle&) = delete;
    HANDLE Get() const { return handle_; }

  private:
    HANDLE handle_;
};

ThvEntryKind KindOf(const std::wstring& folder, const WIN32_FIND_DATAW& data) {
    const DWORD attributes = data.dwFileAttributes;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return ThvEntryKind::Other;
    // Only links and junctions lead elsewhere; other reparse points (cloud placeholders,
    // deduplicated files) are the files and folders they look like. For a reparse point the
    // listing carries its tag in dwReserved0.
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                      (data.dwReserved0 == IO_REPARSE_TAG_SYMLINK ||
                       data.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
    if (link) {
        // A link or junction to a folder is never entered, so that no link can lead the search
        // in a circle; a link to a file counts as the file.
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ThvEntryKind::Other;
        const DWORD target = GetFileAttributesW((folder + data.cFileName).c_str());
        if (target == INVALID_FILE_ATTRIBUTES || (target & FILE_ATTRIBUTE_DIRECTORY)) {
            return ThvEntryKind::Other;
        }
        return ThvEntryKind::File;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? ThvEntryKind::Folder : ThvEntryKind::File;
}

// What an entry of kind Other is instead of a document, for the user; empty for a link to a
// folder, which is simply not entered.
std::string NotAFile(ThvEntryKind kind, const WIN32_FIND_DATAW& data) {
    if (kind != ThvEntryKind::Other) return {};
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return {};
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) return "a device, not a file";
    return "a link to nothing, not a file";
}

}  // namespace

ThvFolderListing ListFolder(const std::string& folder) {
    ThvFolderListing listing;
    std::wstring base = LongPath(folder);
    if (base.empty()) base = LongPath(".");
    if (base.back() != L'\\') base += L'\\';
    WIN32_FIND_DATAW data;
    // The basic information leaves out the short 8.3 names, which cost a look-up each.
    TFindHandle find(FindFirstFileExW((base + L'*').c_str(), FindExInfoBasic, &data,
                                      FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (find.Get() == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        listing.Error = Win32ErrorMessage(error);
        listing.Missing = error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND ||
                          error == ERROR_DIRECTORY || error == ERROR_INVALID_NAME;
        return listing;
    }
    do {
        const std::wstring_view name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        ThvFolderEntry entry;
        entry.Name = NarrowText(name);
        entry.Kind = KindOf(base, data);
        entry.NotAFile = NotAFile(entry.Kind, data);
        entry.Hidden = (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
        listing.Entries.push_back(std::move(entry));
    } while (FindNextFileW(find.Get(), &data));
    if (const DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES)
        listing.Error = Win32ErrorMessage(error);
    std::sort(listing.Entries.begin(), listing.Entries.end(),
              [](const ThvFolderEntry& a, const ThvFolderEntry& b) { return a.Name < b.Name; });
    return listing;
}

std::vector<ThvFolderEntry> ReadFolderEntries(const std::string& folder) {
    return ListFolder(folder).Entries;
}

// The wide calls take 32,767 UTF-16 units with the long-path prefix ("\\?\UNC\" at most).
// No UTF-8 text has fewer bytes than UTF-16 units, so this many bytes always fit.
std::size_t MaxPathBytes() { return 32767 - 1 - 8; }
