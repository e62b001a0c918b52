#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"
#include "platform/files/paths.h"
#include "platform/files/posixFile.h"

namespace {

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr int64_t kNanosPerSecond = 1'000'000'000;

// Both strerror_r flavours exist (GNU returns the text, XSI fills the buffer); overloading on
// the return type picks the right reading for whichever the C library declares.
[[maybe_unused]] std::string StrerrorResult(const char* text, const char*) { return text; }
[[maybe_unused]] std::string StrerrorResult(int result, const char* buffer) {
    return result == 0 ? std::string(buffer) : std::string("Unknown error");
}

int64_t ToNanos(const struct timespec& ts) {
    return static_cast<int64_t>(ts.tv_sec) * kNanosPerSecond + ts.tv_nsec;
}

int64_t ToNanos(const struct statx_timestamp& ts) {
    return static_cast<int64_t>(ts.tv_sec) * kNanosPerSecond + ts.tv_nsec;
}

struct timespec FromNanos(int64_t nanos) {
    // Round towards minus infinity: tv_nsec must stay in [0, 1e9) for times before 1970.
    int64_t seconds = nanos / kNanosPerSecond;
    int64_t rest = nanos % kNanosPerSecond;
    if (rest < 0) {
        rest += kNanosPerSecond;
        --seconds;
    }
    struct timespec ts {};
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>(rest);
    return ts;
}

std::string LastComponent(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    return ExtractFileName(trimmed, '/');
}

}  // namespace

bool FileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const std::string& path) {
    if (path.empty()) return false;
    if (DirectoryExists(path)) return true;
    // Failures on the way are not final: another thread may create the same parent at the same
    // moment (EEXIST), and only the end result counts.
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0777);
    }
    mkdir(path.c_str(), 0777);
    return DirectoryExists(path);
}

bool DeleteFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool ReplaceFile(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool MoveFile(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) return false;

    // The file system cannot refuse atomically by itself. A hard link fails on an existing
    // name without a window for a race; folders cannot be linked and get a check first.
    if (link(from.c_str(), to.c_str()) == 0) {
        if (unlink(from.c_str()) == 0) return true;
        unlink(to.c_str());
        return false;
    }
    if (errno == EEXIST) return false;
    struct stat st;
    if (lstat(to.c_str(), &st) == 0) return false;
    return rename(from.c_str(), to.c_str()) == 0;
}

ThvPathKind GetPathKind(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return ThvPathKind::Missing;
    if (S_ISDIR(st.st_mode)) return ThvPathKind::Folder;
    return S_ISREG(st.st_mode) ? ThvPathKind::File : ThvPathKind::Other;
}

ThvFilePtr OpenFileForReading(const std::string& path) {
    return ThvFilePtr(std::fopen(path.c_str(), "rbe"));  // "e": close on exec, as every open here
}

std::optional<ThvFileTimes> GetFileTimes(const std::string& path) {
    ThvFileTimes times;
    struct statx stx;
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &stx) == 0) {
        if (stx.stx_mask & STATX_BTIME) times.Creation = ToNanos(stx.stx_btime);
        times.LastAccess = ToNanos(stx.stx_atime);
        times.LastWrite = ToNanos(stx.stx_mtime);
        return times;
    }
    // Older kernels and some container sandboxes have no statx; the birth time is then unknown.
    if (errno != ENOSYS && errno != EPERM) return std::nullopt;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return std::nullopt;
    times.LastAccess = ToNanos(st.st_atim);
    times.LastWrite = ToNanos(st.st_mtim);
    return times;
}

bool SetFileTimes(const std::string& path, const ThvFileTimes& times) {
    const struct timespec ts[2] = {FromNanos(times.LastAccess), FromNanos(times.LastWrite)};
    return utimensat(AT_FDCWD, path.c_str(), ts, 0) == 0;
}

std::optional<int64_t> FolderCreationTime(const std::string& path) {
    std::optional<ThvFileTimes> times = GetFileTimes(path);
    if (!times) return std::nullopt;
    return times->Creation ? *times->Creation : times->LastWrite;
}

bool IsHiddenName(const std::string& name) {
    return !name.empty() && name[0] == '.' && name != "." && name != "..";
}

std::optional<ThvFileAttributes> GetFileAttributes(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return std::nullopt;
    ThvFileAttributes attributes;
    attributes.Directory = S_ISDIR(st.st_mode);
    attributes.Hidden = IsHiddenName(LastComponent(path));
    attributes.ReadOnly = (st.st_mode & kWriteBits) == 0;
    return attributes;
}

bool SetReadOnly(const std::string& path, bool readOnly) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    mode_t mode = st.st_mode & 07777;
    // Clearing gives back the owner's write bit only: which group and other bits were there
    // before is not recorded anywhere, and the owner is who asked.
    mode = readOnly ? (mode & ~kWriteBits) : (mode | S_IWUSR);
    return chmod(path.c_str(), mode) == 0;
}

std::string ReadFileBytes(const std::string& path, std::size_t maxBytes) {
    // Opened without waiting for a writer, then read as usual: a pipe that nobody writes into
    // reads as empty instead of keeping the program waiting for ever.
    TFileDescriptor fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0) {
        throw EhvError("Cannot open file \"" + path + "\". " + SystemErrorMessage(errno));
    }
    auto tooLarge = [&] {
        return EhvError("File \"" + path + "\" is larger than " + std::to_string(maxBytes) +
                        " bytes.");
    };
    auto readError = [&](int error) {
        return EhvError("Cannot read file \"" + path + "\". " + SystemErrorMessage(error));
    };

    const int flags = fcntl(fd.Get(), F_GETFL);
    if (flags < 0 || fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) throw readError(errno);
    struct stat st;
    if (fstat(fd.Get(), &st) != 0) throw readError(errno);
    std::size_t reported = st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 0;
    if (reported > maxBytes) throw tooLarge();

    // The size is only a hint: /proc files report 0 and a file may grow while it is read, so
    // reading goes on to end of file, one byte beyond the limit at most.
    const std::size_t bufferLimit = maxBytes < SIZE_MAX ? maxBytes + 1 : maxBytes;
    std::string data(std::min(std::max<std::size_t>(reported + 1, 4096), bufferLimit), '\0');
    std::size_t used = 0;
    for (;;) {
        if (used == data.size()) {
            if (used >= bufferLimit) throw tooLarge();
            data.resize(std::min(data.size() * 2, bufferLimit));
        }
        ssize_t got = read(fd.Get(), data.data() + used, data.size() - used);
        if (got < 0) {
            if (errno == EINTR) continue;
            throw readError(errno);
        }
        if (got == 0) break;
        used += static_cast<std::size_t>(got);
        if (used > maxBytes) throw tooLarge();
    }
    data.resize(used);
    return data;
}

std::optional<ThvFileIdentity> GetFileIdentity(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return std::nullopt;
    return ThvFileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
                           static_cast<int64_t>(st.st_size), ToNanos(st.st_mtim)};
}

std::string LastSystemErrorMessage() { return SystemErrorMessage(errno); }

std::string SystemErrorMessage(int error) {
    char buffer[256] = {};
    return StrerrorResult(strerror_r(error, buffer, sizeof buffer), buffer);
}

std::string CurrentExecutablePath() {
    std::string buffer(256, '\0');
    for (;;) {
        ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return {};
        if (static_cast<std::size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(length));
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

ThvPrivateFolder::ThvPrivateFolder() {
    const char* system = std::getenv("TMPDIR");
    const std::string folder =
        IncludeTrailingPathDelimiter(system && *system ? system : "/tmp", '/');
    std::string name = folder + "quillon-XXXXXX";
    // mkdtemp makes it 0700 under a name nobody else could have taken.
    if (!mkdtemp(name.data()))
        throw EhvError("Cannot create a temporary folder in \"" + folder + "\". " +
                       SystemErrorMessage(errno));
    path_ = name + '/';
}

ThvPrivateFolder::~ThvPrivateFolder() {
    // Depth first and without following links: a link inside is removed, never what it names.
    nftw(
        path_.c_str(),
        [](const char* path, const struct stat*, int, struct FTW*) {
            std::remove(path);
            return 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
}
