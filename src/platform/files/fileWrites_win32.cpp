// How files the program keeps are written on Windows: temporaries that other runs recognise, and
// the rules for what may be found at a target's name.
//
// A temporary is held by an open handle that does not share delete access: nobody else can
// remove or rename it while its writer lives, and the system closes the handle when the writer
// ends, however it ends. A sweep that can open the file for deletion has found a dead writer's.

#include "platform/files/win32File.h"

namespace {

// Marks the open file for deletion when its last handle closes. Before the #undef below: the
// field's name is one of windows.h's macros.
bool DeleteOnClose(HANDLE file) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                      sizeof disposition) != 0;
}

}  // namespace

// windows.h names these after its own A/W functions; ours carry the same names.
#undef DeleteFile
#undef MoveFile
#undef ReplaceFile
#undef GetFileAttributes

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

#include "platform/files/fileSystem.h"
#include "platform/files/paths.h"
#include "platform/files/tempNames.h"

namespace {

// A start per process: names need only be unlikely to meet another's, and CREATE_NEW makes
// each name ours in any case.
uint64_t ProcessStart() {
    static const uint64_t start = (static_cast<uint64_t>(GetCurrentProcessId()) << 40) ^
                                  static_cast<uint64_t>(GetTickCount64()) ^
                                  (reinterpret_cast<uintptr_t>(&start) >> 4);
    return start;
}

// Renames the open file (opened with delete access) over to: the only rename there is for a
// file whose handle shares no delete access.
bool RenameOpenFile(HANDLE file, const std::string& to) {
    const std::wstring target = LongPath(to);
    const std::size_t nameBytes = target.size() * sizeof(wchar_t);
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(info->FileName, target.data(), nameBytes);
    return SetFileInformationByHandle(file, FileRenameInfo, info,
                                      static_cast<DWORD>(buffer.size())) != 0;
}

}  // namespace

struct ThvTempFile::TState {
    THandle File;  ///< shares no delete access: that tells other runs the file is in use
    std::string Path;
    std::atomic<uint64_t> Companions{0};  ///< companion names made so far
    bool Moved = false;                   ///< renamed to its final name: nothing left to remove
};

/// What the writers of this unit need of a temporary beyond its public face.
class TTempFileAccess {
  public:
    static HANDLE File(const ThvTempFile& temp) { return temp.state_->File.Get(); }
    static void SetMoved(ThvTempFile& temp) { temp.state_->Moved = true; }
};

ThvTempFile::ThvTempFile(const std::string& folder, const std::string& shownAs)
    : state_(std::make_unique<TState>()) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = NewHeldTempName(folder, ProcessStart());
        THandle file(CreateFileW(LongPath(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid()) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
            ThrowCannotCreate(shownAs, error);
        }
        state_->File = std::move(file);
        state_->Path = std::move(path);
        return;
    }
    ThrowCannotCreate(shownAs, static_cast<DWORD>(ERROR_FILE_EXISTS));
}

ThvTempFile::~ThvTempFile() {
    // Removed through the handle, while still held, so that no sweep mistakes it for a stale
    // one meanwhile.
    if (!state_->Moved && state_->File.Valid()) DeleteOnClose(state_->File.Get());
}

const std::string& ThvTempFile::Path() const { return state_->Path; }

std::string ThvTempFile::Companion(const std::string& suffix) {
    return state_->Path + "." + std::to_string(state_->Companions.fetch_add(1)) + suffix;
}

void RemoveStaleTemporaries(const std::string& folder) {
    for (const auto& [held, names] : TemporariesIn(folder)) {
        // Judged by the held file at its name: opening it for deletion, sharing nothing, only
        // succeeds once its writer's handle is gone, and then holds it against a new writer.
        THandle file(CreateFileW(LongPath(held).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file.Valid()) {
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND) continue;  // its writer is alive, or no access
        }
        // A writer removes its held file last: companions without it are left-overs too.
        for (const std::string& name : names)
            if (folder + name != held) DeleteFileW(LongPath(folder + name).c_str());
        if (file.Valid()) DeleteOnClose(file.Get());
    }
}

namespace {

enum class TTargetKind {
    New,      ///< nothing there (or a link that is to be replaced): a new file takes the name
    Regular,  ///< a regular file, replaced by the new one
    Stream,   ///< a character device (NUL, CON, COM1) or a named pipe, written into
};

struct TWriteTarget {
    TTargetKind Kind = TTargetKind::New;
    std::string Path;  ///< where the new file goes: the name itself, or what a link names
};

bool IsPipeName(const std::wstring& wide) {
    return wide.size() > 9 && _wcsnicmp(wide.c_str(), L"\\\\.\\pipe\\", 9) == 0;
}

// The final path of an open file, in the form our paths have (no "\\?\" prefix).
std::string FinalPathOf(HANDLE file) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(
            file, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED);
        if (length == 0) return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        buffer.resize(length + 1);
    }
    std::string path = NarrowText(buffer);
    if (path.starts_with("\\\\?\\UNC\\")) return "\\\\" + path.substr(8);
    if (path.starts_with("\\\\?\\")) return path.substr(4);
    return path;
}

// What is at path and how a write treats it. Refusals throw; the rest are left to the write.
TWriteTarget ExamineTarget(const std::string& path, bool followLinks) {
    if (path.empty() || path.back() == '\\' || path.back() == '/')
        ThrowCannotCreate(path, static_cast<DWORD>(ERROR_DIRECTORY));
    TWriteTarget target{TTargetKind::New, path};
    const std::wstring wide = LongPath(path);
    // The system's own names for devices and pipes ("NUL", "CON", "\\.\pipe\x") are never
    // files on disk; LongPath leaves them in their device form.
    if (wide.starts_with(L"\\\\.\\")) {
        target.Kind = TTargetKind::Stream;
        return target;
    }
    DWORD attributes = GetFileAttributesW(wide.c_str());
    // Other errors than a missing file (a missing folder, no access) are the creation's to tell.
    if (attributes == INVALID_FILE_ATTRIBUTES) return target;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        if (!followLinks) return target;  // the link itself is replaced
        THandle named(CreateFileW(wide.c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!named.Valid()) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                return target;  // a link to nothing is replaced
            ThrowCannotCreate(path, error);
        }
        BY_HANDLE_FILE_INFORMATION info;
        if (!GetFileInformationByHandle(named.Get(), &info))
            ThrowCannotCreate(path, GetLastError());
        attributes = info.dwFileAttributes;
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            // The file it names is replaced beside itself, under its own name.
            target.Path = FinalPathOf(named.Get());
            if (target.Path.empty())
                ThrowCannotCreate(path, "The file it links to has no name it can be written under");
        }
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        ThrowCannotCreate(path, static_cast<DWORD>(ERROR_DIRECTORY));
    // A file the user protected must not be overwritten behind their back.
    if (attributes & FILE_ATTRIBUTE_READONLY) ThrowCannotCreate(path, "The file is read-only");
    target.Kind = TTargetKind::Regular;
    return target;
}

// Writes into the device or pipe at path; writeAll gets the open handle.
template <typename WriteAllTo>
void WriteIntoStream(const std::string& path, WriteAllTo writeAll) {
    const std::wstring wide = LongPath(path);
    THandle file(CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        const DWORD error = GetLastError();
        // A pipe name without a server, or with every instance taken, has no reader for us.
        if (IsPipeName(wide) && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PIPE_BUSY))
            ThrowCannotCreate(path, "It is a named pipe that nobody reads");
        ThrowCannotCreate(path, error);
    }
    // Nothing is written before the kind is known: a volume or a disk is not written into.
    switch (GetFileType(file.Get())) {
        case FILE_TYPE_CHAR:
        case FILE_TYPE_PIPE:
            break;
        case FILE_TYPE_DISK:
            ThrowCannotCreate(path, "It is a block device, not a regular file");
        default:
            ThrowCannotCreate(path, "It is not a regular file");
    }
    // A pipe whose reader has gone fails the write (ERROR_NO_DATA); no signal as on POSIX.
    if (!writeAll(file.Get())) ThrowCannotCreate(path, GetLastError());
    if (!file.Close()) ThrowCannotCreate(path, GetLastError());
}

bool CopyAll(HANDLE from, HANDLE to) {
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(from, buffer, sizeof buffer, &got, nullptr)) return false;
        if (got == 0) return true;
        if (!WriteAll(to, std::string_view(buffer, got))) return false;
    }
}

// Each folder is tidied once per process, at the first write into it: a listing per write would
// make writing many files into one folder cost the square of their number.
void TidyOnce(const std::string& folder) {
    static std::mutex lock;
    static std::set<std::string> tidied;
    {
        std::lock_guard guard(lock);
        if (!tidied.insert(folder).second) return;
    }
    RemoveStaleTemporaries(folder);
}

// The folder part of path with its delimiter, whichever delimiter it uses.
std::string FolderOf(const std::string& path) {
    const std::size_t last = path.find_last_of("\\/");
    return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

}  // namespace

void WriteFileAtomic(const std::string& path, const std::string& bytes) {
    const TWriteTarget target = ExamineTarget(path, /*followLinks=*/true);
    if (target.Kind == TTargetKind::Stream) {
        WriteIntoStream(path, [&](HANDLE file) { return WriteAll(file, bytes); });
        return;
    }
    const std::string folder = FolderOf(target.Path);
    TidyOnce(folder);
    ThvTempFile temp(folder, path);
    const HANDLE file = TTempFileAccess::File(temp);
    // The temporary goes with its object when this throws. No flush to disk, as on POSIX: the
    // promise is that no reader sees half a file, which the rename gives.
    if (!WriteAll(file, bytes)) ThrowCannotCreate(path, GetLastError());
    if (!RenameOpenFile(file, target.Path)) ThrowCannotCreate(path, GetLastError());
    TTempFileAccess::SetMoved(temp);
}

void RewriteFileAs(const std::string& path, const std::string& bytes, const std::string& to) {
    const std::wstring wide = LongPath(path);
    auto fail = [&](DWORD error) {
        DeleteFileW(wide.c_str());
        ThrowCannotCreate(to, error);
    };
    TWriteTarget target{TTargetKind::New, to};
    try {
        if (path != to) target = ExamineTarget(to, /*followLinks=*/false);
        if (target.Kind == TTargetKind::Stream) {
            WriteIntoStream(to, [&](HANDLE file) { return WriteAll(file, bytes); });
            DeleteFileW(wide.c_str());
            return;
        }
    } catch (const EhvError&) {
        DeleteFileW(wide.c_str());
        throw;
    }
    // The file is the caller's own; a link put in its place must not be written through.
    {
        THandle file(CreateFileW(wide.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file.Valid()) fail(GetLastError());
        BY_HANDLE_FILE_INFORMATION info;
        if (!GetFileInformationByHandle(file.Get(), &info)) {
            const DWORD error = GetLastError();
            file.Close();
            fail(error);
        }
        if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT) ||
            GetFileType(file.Get()) != FILE_TYPE_DISK) {
            file.Close();
            fail(ERROR_INVALID_PARAMETER);
        }
        // Cut to the new length rather than opened truncated, as on POSIX.
        LARGE_INTEGER length;
        length.QuadPart = static_cast<LONGLONG>(bytes.size());
        LARGE_INTEGER start{};
        if (!SetFilePointerEx(file.Get(), length, nullptr, FILE_BEGIN) ||
            !SetEndOfFile(file.Get()) ||
            !SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN) ||
            !WriteAll(file.Get(), bytes) || (path != to && !RenameOpenFile(file.Get(), to))) {
            const DWORD error = GetLastError();
            file.Close();
            fail(error);
        }
        if (!file.Close()) fail(GetLastError());
    }
}

void MoveFileOver(const std::string& from, const std::string& to) {
    const std::wstring wide = LongPath(from);
    auto fail = [&](DWORD error) {
        DeleteFileW(wide.c_str());
        ThrowCannotCreate(to, error);
    };
    TWriteTarget target;
    try {
        target = ExamineTarget(to, /*followLinks=*/false);
        if (target.Kind == TTargetKind::Stream) {
            THandle source(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
            if (!source.Valid()) fail(GetLastError());
            WriteIntoStream(to, [&](HANDLE out) { return CopyAll(source.Get(), out); });
            source.Close();
            DeleteFileW(wide.c_str());
            return;
        }
    } catch (const EhvError&) {
        DeleteFileW(wide.c_str());
        throw;
    }
    if (!MoveFileExW(wide.c_str(), LongPath(to).c_str(), MOVEFILE_REPLACE_EXISTING))
        fail(GetLastError());
}

bool WriteStandardOutput(std::string_view bytes) {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return false;
    while (!bytes.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
        if (!WriteFile(out, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}
