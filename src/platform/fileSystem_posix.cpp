#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "fileSystem.h"
#include "hvError.h"
#include "paths.h"

namespace {

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr int64_t kNanosPerSecond = 1'000'000'000;

class TFileDescriptor {
  public:
    explicit TFileDescriptor(int fd) : fd_(fd) {}
    ~TFileDescriptor() {
        if (fd_ >= 0) close(fd_);
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;

    int Get() const { return fd_; }

    /// Closes now and reports close's own error, which network file systems use for write
    /// errors they could not report earlier.
    int Close() {
        int result = close(fd_);
        fd_ = -1;
        return result;
    }

  private:
    int fd_;
};

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

[[noreturn]] void ThrowCannotCreate(const std::string& path, int error) {
    throw EhvError("Cannot create file \"" + path + "\". " + SystemErrorMessage(error));
}

bool WriteAll(int fd, const std::string& bytes) {
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        ssize_t written = write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

// Creates a new file beside path with a name nobody else uses. Not mkstemp: that creates mode
// 0600, and reading the umask to widen it is not thread-safe; O_CREAT with 0666 lets the
// kernel apply the umask itself.
int CreateTempBeside(const std::string& path, std::string& tempPath) {
    static std::atomic<uint64_t> counter{0};
    // Shortened so that a name near the 255-byte limit still leaves room for the suffix.
    std::string prefix =
        ExtractFilePath(path, '/') + "." + ExtractFileName(path, '/').substr(0, 200) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint64_t unique =
            (static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())
             << 16) ^
            (static_cast<uint64_t>(getpid()) << 40) ^ counter.fetch_add(1);
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(unique));
        tempPath = prefix + suffix;
        int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
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
    TFileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
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

namespace {

// What a write over path must respect: rename() would replace a read-only file without a word;
// Windows refuses, and a file the user protected must not be overwritten behind their back.
// Returns the existing file's mode to carry over, or 0 when nothing is there.
mode_t CheckReplaceable(const std::string& path) {
    if (ExtractFileName(path, '/').empty()) ThrowCannotCreate(path, EISDIR);
    struct stat target;
    if (stat(path.c_str(), &target) != 0 || S_ISDIR(target.st_mode)) return 0;
    if ((target.st_mode & kWriteBits) == 0) ThrowCannotCreate(path, EACCES);
    return target.st_mode & 07777;
}

// Writes bytes to fd, gives it the mode of the file it will replace, closes it and renames
// from over to. On any failure from is deleted and the error thrown for to.
void FinishAndRename(TFileDescriptor& fd, const std::string& bytes, mode_t mode,
                     const std::string& from, const std::string& to) {
    auto fail = [&](int error) {
        unlink(from.c_str());
        ThrowCannotCreate(to, error);
    };
    if (!WriteAll(fd.Get(), bytes)) fail(errno);
    if (mode != 0 && fchmod(fd.Get(), mode) != 0) fail(errno);
    // No fsync: the promise is that no reader ever sees a half-written file, which the rename
    // gives. Durability across a power cut would cost a disk flush per output file of a batch
    // of thousands, and ext4 already flushes data before a rename over an existing file.
    if (fd.Close() != 0) fail(errno);
    if (rename(from.c_str(), to.c_str()) != 0) fail(errno);
}

}  // namespace

void WriteFileAtomic(const std::string& path, const std::string& bytes) {
    const mode_t mode = CheckReplaceable(path);
    std::string tempPath;
    TFileDescriptor fd(CreateTempBeside(path, tempPath));
    if (fd.Get() < 0) ThrowCannotCreate(path, errno);
    FinishAndRename(fd, bytes, mode, tempPath, path);
}

void RewriteFileAs(const std::string& path, const std::string& bytes, const std::string& to) {
    auto fail = [&](int error) {
        unlink(path.c_str());
        ThrowCannotCreate(to, error);
    };
    mode_t mode = 0;
    if (path != to) {
        try {
            mode = CheckReplaceable(to);
        } catch (const EhvError&) {
            unlink(path.c_str());
            throw;
        }
    }
    // The file is the caller's own; a link put in its place must not be written through.
    TFileDescriptor fd(open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
    if (fd.Get() < 0) fail(errno);
    struct stat st;
    if (fstat(fd.Get(), &st) != 0) fail(errno);
    if (!S_ISREG(st.st_mode)) fail(EINVAL);
    // Cut to the new length rather than opened truncated: ext4 writes a file truncated to
    // nothing back to disk as soon as it is closed, which would cost a disk write per file.
    if (ftruncate(fd.Get(), static_cast<off_t>(bytes.size())) != 0) fail(errno);
    FinishAndRename(fd, bytes, mode, path, to);
}

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
