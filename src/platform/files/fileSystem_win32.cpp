// The file system through the wide Win32 calls: UTF-8 paths turned into long UTF-16 paths at
// this border, so that any name and any length the file system takes can be used.
#include "platform/files/fileSystem.h"
#include "platform/files/win32File.h"
// windows.h names these after its own A/W functions; ours carry the same names.
#undef DeleteFile
#undef MoveFile
#undef ReplaceFile
#undef GetFileAttributes

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/base/hvError.h"
#include "platform/files/folderEntries.h"
#include "platform/files/paths.h"
#include "platform/files/win32Text.h"

namespace {

// FILETIME counts 100 ns from 1601-01-01; ours nanoseconds from 1970-01-01.
constexpr int64_t kTicksTo1970 = 116444736000000000LL;

int64_t ToNanos(const FILETIME& time) {
    const int64_t ticks =
        static_cast<int64_t>(static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime);
    return (ticks - kTicksTo1970) * 100;
}

FILETIME FromNanos(int64_t nanos) {
    // Whole ticks towards minus infinity, so that a time before 1970 does not move forward.
    int64_t ticks = nanos / 100;
    if (nanos % 100 < 0) --ticks;
    const auto value = static_cast<uint64_t>(ticks + kTicksTo1970);
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(value & 0xFFFFFFFF);
    time.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return time;
}

DWORD AttributesOf(const std::string& path) { return GetFileAttributesW(LongPath(path).c_str()); }

void RemoveTree(const std::string& folder) {
    for (const ThvFolderEntry& entry : ReadFolderEntries(folder)) {
        const std::string path = folder + entry.Name;
        // A junction is listed as Other and removed as a folder, without entering it.
        if (entry.Kind == ThvEntryKind::Folder) {
            RemoveTree(path + '\\');
        } else if (!DeleteFileW(LongPath(path).c_str())) {
            RemoveDirectoryW(LongPath(path).c_str());
        }
    }
    RemoveDirectoryW(LongPath(folder).c_str());
}

}  // namespace

bool FileExists(const std::string& path) {
    const DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
    const DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceDirectories(const std::string& path) {
    if (path.empty()) return false;
    if (DirectoryExists(path)) return true;
    const std::wstring full = LongPath(path);
    // Below the root: "\\?\C:\" or "\\?\UNC\server\share\", which cannot be created.
    std::size_t start = 4;
    if (full.compare(4, 4, L"UNC\\") == 0) {
        start = full.find(L'\\', 8);
        start = start == std::wstring::npos ? full.size() : full.find(L'\\', start + 1);
    } else {
        start = full.find(L'\\', 4);
    }
    // Failures on the way are not final: another thread may create the same parent at the same
    // moment, and only the end result counts.
    for (std::size_t slash = start == std::wstring::npos ? std::wstring::npos
                                                         : full.find(L'\\', start + 1);
         slash != std::wstring::npos; slash = full.find(L'\\', slash + 1)) {
        CreateDirectoryW(full.substr(0, slash).c_str(), nullptr);
    }
    CreateDirectoryW(full.c_str(), nullptr);
    return DirectoryExists(path);
}

bool DeleteFile(const std::string& path) { return DeleteFileW(LongPath(path).c_str()) != 0; }

bool ReplaceFile(const std::string& from, const std::string& to) {
    return MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(), MOVEFILE_REPLACE_EXISTING) !=
           0;
}

bool MoveFile(const std::string& from, const std::string& to) {
    // As MoveFileW: refused when the new name exists, copied and deleted across volumes.
    return MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(), MOVEFILE_COPY_ALLOWED) != 0;
}

ThvPathKind GetPathKind(const std::string& path) {
    const std::wstring wide = LongPath(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return ThvPathKind::Missing;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ThvPathKind::Folder;
    // Opening with no access rights reads nothing and cannot wait on a pipe's other end.
    THandle file(CreateFileW(wide.c_str(), 0,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.Valid()) return ThvPathKind::File;  // there, but not ours to look into
    return GetFileType(file.Get()) == FILE_TYPE_DISK ? ThvPathKind::File : ThvPathKind::Other;
}

ThvFilePtr OpenFileForReading(const std::string& path) {
    std::FILE* file = _wfopen(LongPath(path).c_str(), L"rb");
    if (!file && errno == 0) errno = ENOENT;
    return ThvFilePtr(file);
}

std::optional<ThvFileTimes> GetFileTimes(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(LongPath(path).c_str(), GetFileExInfoStandard, &data)) {
        return std::nullopt;
    }
    ThvFileTimes times;
    times.Creation = ToNanos(data.ftCreationTime);
    times.LastAccess = ToNanos(data.ftLastAccessTime);
    times.LastWrite = ToNanos(data.ftLastWriteTime);
    return times;
}

bool SetFileTimes(const std::string& path, const ThvFileTimes& times) {
    // Backup semantics open folders too; the share modes let a reader keep the file open.
    THandle file(CreateFileW(LongPath(path).c_str(), FILE_WRITE_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.Valid()) return false;
    const FILETIME access = FromNanos(times.LastAccess), write = FromNanos(times.LastWrite);
    FILETIME creation{};
    if (times.Creation) creation = FromNanos(*times.Creation);
    return SetFileTime(file.Get(), times.Creation ? &creation : nullptr, &access, &write) != 0;
}

std::optional<int64_t> FolderCreationTime(const std::string& path) {
    const std::optional<ThvFileTimes> times = GetFileTimes(path);
    if (!times) return std::nullopt;
    return times->Creation ? *times->Creation : times->LastWrite;
}

bool IsHiddenName(const std::string&) { return false; }

std::optional<ThvFileAttributes> GetFileAttributes(const std::string& path) {
    const DWORD attributes = AttributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    ThvFileAttributes result;
    result.Directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    result.Hidden = (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    result.ReadOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    return result;
}

bool SetReadOnly(const std::string& path, bool readOnly) {
    const std::wstring wide = LongPath(path);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    attributes = readOnly ? (attributes | FILE_ATTRIBUTE_READONLY)
                          : (attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    // FILE_ATTRIBUTE_NORMAL must stand alone; an empty set is written as it.
    if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
    return SetFileAttributesW(wide.c_str(), attributes) != 0;
}

std::string ReadFileBytes(const std::string& path, std::size_t maxBytes) {
    THandle file(CreateFileW(LongPath(path).c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        throw EhvError("Cannot open file \"" + path + "\". " + Win32ErrorMessage(GetLastError()));
    }
    auto tooLarge = [&] {
        return EhvError("File \"" + path + "\" is larger than " + std::to_string(maxBytes) +
                        " bytes.");
    };
    auto readError = [&](DWORD error) {
        return EhvError("Cannot read file \"" + path + "\". " + Win32ErrorMessage(error));
    };
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size)) throw readError(GetLastError());
    const std::size_t reported = size.QuadPart > 0 ? static_cast<std::size_t>(size.QuadPart) : 0;
    if (reported > maxBytes) throw tooLarge();

    // The size is only a hint: a file may grow while it is read, so reading goes on to end of
    // file, one byte beyond the limit at most.
    const std::size_t bufferLimit = maxBytes < SIZE_MAX ? maxBytes + 1 : maxBytes;
    std::string data(std::min(std::max<std::size_t>(reported + 1, 4096), bufferLimit), '\0');
    std::size_t used = 0;
    for (;;) {
        if (used == data.size()) {
            if (used >= bufferLimit) throw tooLarge();
            data.resize(std::min(data.size() * 2, bufferLimit));
        }
        const std::size_t want = std::min<std::size_t>(data.size() - used, 1u << 30);
        DWORD got = 0;
        if (!ReadFile(file.Get(), data.data() + used, static_cast<DWORD>(want), &got, nullptr)) {
            throw readError(GetLastError());
        }
        if (got == 0) break;
        used += got;
        if (used > maxBytes) throw tooLarge();
    }
    data.resize(used);
    return data;
}

std::optional<ThvFileIdentity> GetFileIdentity(const std::string& path) {
    // No access rights: looking at a file must not wait on it or stop others from using it.
    THandle file(CreateFileW(LongPath(path).c_str(), 0,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file.Valid() || !GetFileInformationByHandle(file.Get(), &info)) return std::nullopt;
    return ThvFileIdentity{
        info.dwVolumeSerialNumber,
        static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow,
        static_cast<int64_t>(static_cast<uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow),
        ToNanos(info.ftLastWriteTime)};
}

std::string LastSystemErrorMessage() { return Win32ErrorMessage(GetLastError()); }

std::string SystemErrorMessage(int error) {
    char buffer[256] = {};
    if (strerror_s(buffer, sizeof buffer, error) != 0) return "Unknown error";
    return buffer;
}

std::string CurrentExecutablePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            std::string path = NarrowText(buffer);
            // The system may answer in the long form; the program's own path is shown to users.
            if (path.starts_with("\\\\?\\UNC\\")) return "\\\\" + path.substr(8);
            if (path.starts_with("\\\\?\\")) return path.substr(4);
            return path;
        }
        buffer.resize(buffer.size() * 2);
    }
}

ThvPrivateFolder::ThvPrivateFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH)
        throw EhvError("Cannot create a temporary folder in \"%TEMP%\". " +
                       Win32ErrorMessage(GetLastError()));
    const std::string folder = IncludeTrailingPathDelimiter(NarrowText({buffer, length}), '\\');
    // The user's own temporary folder is closed to others already; the name only has to be new.
    static std::atomic<uint32_t> counter{0};
    for (int attempt = 0;; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof name, "quillon-%lx-%x", GetCurrentProcessId(),
                      static_cast<unsigned>(counter.fetch_add(1) + GetTickCount()));
        const std::string path = folder + name;
        if (CreateDirectoryW(LongPath(path).c_str(), nullptr)) {
            path_ = path + '\\';
            return;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS || attempt == 100)
            throw EhvError("Cannot create a temporary folder in \"" + folder + "\". " +
                           Win32ErrorMessage(error));
    }
}

ThvPrivateFolder::~ThvPrivateFolder() { RemoveTree(path_); }
