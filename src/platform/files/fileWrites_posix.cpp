// How files the program keeps are written: temporaries that other runs recognise, and the rules
// for what may be found at a target's name.

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <set>
#include <vector>

#include "platform/files/fileSystem.h"
#include "platform/files/paths.h"
#include "platform/files/posixFile.h"
#include "platform/files/tempNames.h"

namespace {

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

// A random start per process: names need only be unlikely to meet another's, and O_EXCL makes
// each name ours in any case.
uint64_t ProcessStart() {
    static const uint64_t start = [] {
        uint64_t random = 0;
        if (getrandom(&random, sizeof random, GRND_NONBLOCK) !=
            static_cast<ssize_t>(sizeof random)) {
            // No randomness yet, early at boot: the names need only be unlikely.
            random =
                static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                (static_cast<uint64_t>(getpid()) << 40);
        }
        return random;
    }();
    return start;
}

// fd is still the file at path: nobody renamed or removed it meanwhile.
bool StillAt(int fd, const std::string& path) {
    struct stat byFd, byName;
    return fstat(fd, &byFd) == 0 && lstat(path.c_str(), &byName) == 0 &&
           byFd.st_dev == byName.st_dev && byFd.st_ino == byName.st_ino;
}

}  // namespace

struct ThvTempFile::TState {
    TFileDescriptor Fd;  ///< carries the lock that tells other runs the file is in use
    std::string Path;
    std::atomic<uint64_t> Companions{0};  ///< companion names made so far
    bool Moved = false;                   ///< renamed to its final name: nothing left to remove
};

/// What the writers of this unit need of a temporary beyond its public face.
class TTempFileAccess {
  public:
    static int Fd(const ThvTempFile& temp) { return temp.state_->Fd.Get(); }
    static void SetMoved(ThvTempFile& temp) { temp.state_->Moved = true; }
};

ThvTempFile::ThvTempFile(const std::string& folder, const std::string& shownAs)
    : state_(std::make_unique<TState>()) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = NewHeldTempName(folder, ProcessStart());
        // 0666 and the umask, not mkstemp's 0600: the file may become the output itself.
        TFileDescriptor fd(
            open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (fd.Get() < 0) {
            if (errno == EEXIST) continue;
            ThrowCannotCreate(shownAs, errno);
        }
        // Between the creation and the lock a sweep may take the file for a stale one: it then
        // holds the lock, or has removed the file. Either way the file is not ours to use.
        if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0 && (errno == EWOULDBLOCK || errno == EINTR))
            continue;
        // Any other failure means a file system without locks: the file is used unheld, and
        // no sweep can take it from us either, since it cannot lock it.
        if (!StillAt(fd.Get(), path)) continue;
        state_->Fd = std::move(fd);
        state_->Path = std::move(path);
        return;
    }
    ThrowCannotCreate(shownAs, EEXIST);
}

ThvTempFile::~ThvTempFile() {
    // Removed while still held, so that no sweep mistakes it for a stale one meanwhile.
    if (!state_->Moved) unlink(state_->Path.c_str());
}

const std::string& ThvTempFile::Path() const { return state_->Path; }

std::string ThvTempFile::Companion(const std::string& suffix) {
    return state_->Path + "." + std::to_string(state_->Companions.fetch_add(1)) + suffix;
}

void RemoveStaleTemporaries(const std::string& folder) {
    for (const auto& [held, names] : TemporariesIn(folder)) {
        // Judged by the held file at its name, not by the listing, which may have missed it.
        TFileDescriptor fd(open(held.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (fd.Get() >= 0) {
            struct stat st;
            if (fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
            if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) continue;  // its writer is alive
            // Its writer may have renamed it to its final name and let go just now.
            if (!StillAt(fd.Get(), held)) continue;
        } else if (errno != ENOENT) {
            continue;
        }
        // A writer removes its held file last: companions without it are left-overs too.
        for (const std::string& name : names)
            if (folder + name != held) unlink((folder + name).c_str());
        if (fd.Get() >= 0) unlink(held.c_str());
    }
}

namespace {

enum class TTargetKind {
    New,      ///< nothing there (or a link that is to be replaced): a new file takes the name
    Regular,  ///< a regular file, replaced by the new one
    Stream,   ///< a character device or a pipe, written into
};

struct TWriteTarget {
    TTargetKind Kind = TTargetKind::New;
    std::string Path;         ///< where the new file goes: the name itself, or what a link names
    struct stat Existing {};  ///< the file replaced (Regular) or written into (Stream)
};

std::string NameOfOpenFile(int fd) {
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    std::string name(256, '\0');
    for (;;) {
        const ssize_t length = readlink(link.c_str(), name.data(), name.size());
        if (length < 0) return {};
        if (static_cast<std::size_t>(length) < name.size()) {
            name.resize(static_cast<std::size_t>(length));
            return name;
        }
        name.resize(name.size() * 2);
    }
}

// What is at path and how a write treats it. Refusals throw; the rest are left to the write.
TWriteTarget ExamineTarget(const std::string& path, bool followLinks) {
    if (ExtractFileName(path, '/').empty()) ThrowCannotCreate(path, EISDIR);
    TWriteTarget target{TTargetKind::New, path, {}};
    struct stat& st = target.Existing;
    // Other errors than a missing file (a missing folder, no access) are the creation's to tell.
    if (lstat(path.c_str(), &st) != 0) return target;
    if (S_ISLNK(st.st_mode)) {
        if (!followLinks) return target;  // the link itself is replaced
        // Opened, not resolved by hand: the kernel's protections for links in shared folders
        // apply, and so does the jump of /proc's links (/dev/stdout) to what they stand for.
        TFileDescriptor named(open(path.c_str(), O_PATH | O_CLOEXEC));
        if (named.Get() < 0) {
            if (errno == ENOENT) return target;  // a link to nothing is replaced
            ThrowCannotCreate(path, errno);
        }
        if (fstat(named.Get(), &st) != 0) ThrowCannotCreate(path, errno);
        if (S_ISREG(st.st_mode)) {
            // The file it names is replaced beside itself, under its own name.
            struct stat again;
            target.Path = NameOfOpenFile(named.Get());
            if (target.Path.empty() || stat(target.Path.c_str(), &again) != 0 ||
                again.st_dev != st.st_dev || again.st_ino != st.st_ino)
                ThrowCannotCreate(path, "The file it links to has no name it can be written under");
        }
    }
    switch (st.st_mode & S_IFMT) {
        case S_IFREG:
            // rename() would replace a read-only file without a word; Windows refuses, and a
            // file the user protected must not be overwritten behind their back.
            if ((st.st_mode & kWriteBits) == 0) ThrowCannotCreate(path, "The file is read-only");
            target.Kind = TTargetKind::Regular;
            return target;
        case S_IFDIR:
            ThrowCannotCreate(path, EISDIR);
        case S_IFCHR:
        case S_IFIFO:
            target.Kind = TTargetKind::Stream;
            return target;
        case S_IFSOCK:
            ThrowCannotCreate(path, "It is a socket, not a regular file");
        case S_IFBLK:
            ThrowCannotCreate(path, "It is a block device, not a regular file");
        default:
            ThrowCannotCreate(path, "It is not a regular file");
    }
}

// Writing into a pipe whose reader has gone raises SIGPIPE, which would end the program. While
// one write runs, the signal is held back for this thread and then dropped: the write fails
// with EPIPE instead.
class TQuietBrokenPipe {
  public:
    TQuietBrokenPipe() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        wasPending_ = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
    }
    ~TQuietBrokenPipe() {
        if (!wasPending_) {
            const struct timespec now {};
            while (sigtimedwait(&pipe_, nullptr, &now) == SIGPIPE) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    TQuietBrokenPipe(const TQuietBrokenPipe&) = delete;
    TQuietBrokenPipe& operator=(const TQuietBrokenPipe&) = delete;

  private:
    sigset_t pipe_, old_;
    bool wasPending_ = false;
};

// Writes into the device or pipe at path; writeAll gets the open descriptor.
void WriteIntoStream(const TWriteTarget& target, const std::string& path,
                     const std::function<bool(int fd)>& writeAll) {
    // Opened without waiting: a pipe that nobody reads is refused rather than waited for.
    TFileDescriptor fd(open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0) {
        if (errno == ENXIO && S_ISFIFO(target.Existing.st_mode))
            ThrowCannotCreate(path, "It is a named pipe that nobody reads");
        ThrowCannotCreate(path, errno);
    }
    struct stat st;
    if (fstat(fd.Get(), &st) != 0) ThrowCannotCreate(path, errno);
    // Whatever took the name since it was looked at is not written into.
    if ((st.st_mode & S_IFMT) != (target.Existing.st_mode & S_IFMT))
        ThrowCannotCreate(path, "It was replaced while it was opened");
    const int flags = fcntl(fd.Get(), F_GETFL);
    if (flags < 0 || fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        ThrowCannotCreate(path, errno);
    TQuietBrokenPipe quiet;
    if (!writeAll(fd.Get())) ThrowCannotCreate(path, errno);
    if (fd.Close() != 0) ThrowCannotCreate(path, errno);
}

bool CopyAll(int from, int to) {
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(from, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (got == 0) return true;
        if (!WriteAll(to, std::string_view(buffer, static_cast<std::size_t>(got)))) return false;
    }
}

// Gives the file at fd what it takes over from target, makes sure its bytes were accepted and
// renames from (fd's name) to target's. owned is fd's owner, closed on the way; null for a held
// temporary, which keeps its descriptor, and the hold, until the file has its name. fail(errno)
// throws.
void FinishAndRename(int fd, TFileDescriptor* owned, const TWriteTarget& target,
                     const std::string& from, const std::function<void(int)>& fail) {
    if (target.Kind == TTargetKind::Regular) {
        const struct stat& old = target.Existing;
        // Only a privileged process may give a file away; the group alone may still be kept.
        if (fchown(fd, old.st_uid, old.st_gid) != 0 &&
            fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
        }
        if (fchmod(fd, old.st_mode & 07777) != 0) fail(errno);
    }
    // No fsync: the promise is that no reader ever sees a half-written file, which the rename
    // gives. Durability across a power cut would cost a disk flush per output file of a batch
    // of thousands, and ext4 already flushes data before a rename over an existing file. What
    // network file systems could not report earlier, close reports; a held temporary closes a
    // second descriptor instead.
    if (owned) {
        if (owned->Close() != 0) fail(errno);
    } else {
        TFileDescriptor flush(fcntl(fd, F_DUPFD_CLOEXEC, 0));
        if (flush.Get() < 0 || flush.Close() != 0) fail(errno);
    }
    if (rename(from.c_str(), target.Path.c_str()) != 0) fail(errno);
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

}  // namespace

void WriteFileAtomic(const std::string& path, const std::string& bytes) {
    const TWriteTarget target = ExamineTarget(path, /*followLinks=*/true);
    if (target.Kind == TTargetKind::Stream) {
        WriteIntoStream(target, path, [&](int fd) { return WriteAll(fd, bytes); });
        return;
    }
    const std::string folder = ExtractFilePath(target.Path, '/');
    TidyOnce(folder);
    ThvTempFile temp(folder, path);
    const int fd = TTempFileAccess::Fd(temp);
    // The temporary goes with its object when this throws.
    auto fail = [&](int error) { ThrowCannotCreate(path, error); };
    if (!WriteAll(fd, bytes)) fail(errno);
    FinishAndRename(fd, nullptr, target, temp.Path(), fail);
    TTempFileAccess::SetMoved(temp);
}

void RewriteFileAs(const std::string& path, const std::string& bytes, const std::string& to) {
    auto fail = [&](int error) {
        unlink(path.c_str());
        ThrowCannotCreate(to, error);
    };
    TWriteTarget target{TTargetKind::New, to, {}};
    try {
        if (path != to) target = ExamineTarget(to, /*followLinks=*/false);
        if (target.Kind == TTargetKind::Stream) {
            WriteIntoStream(target, to, [&](int fd) { return WriteAll(fd, bytes); });
            unlink(path.c_str());
            return;
        }
    } catch (const EhvError&) {
        unlink(path.c_str());
        throw;
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
    if (!WriteAll(fd.Get(), bytes)) fail(errno);
    FinishAndRename(fd.Get(), &fd, target, path, fail);
}

void MoveFileOver(const std::string& from, const std::string& to) {
    auto fail = [&](int error) {
        unlink(from.c_str());
        ThrowCannotCreate(to, error);
    };
    TFileDescriptor fd(open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (fd.Get() < 0) fail(errno);
    TWriteTarget target;
    try {
        target = ExamineTarget(to, /*followLinks=*/false);
        if (target.Kind == TTargetKind::Stream) {
            WriteIntoStream(target, to, [&](int out) { return CopyAll(fd.Get(), out); });
            unlink(from.c_str());
            return;
        }
    } catch (const EhvError&) {
        unlink(from.c_str());
        throw;
    }
    FinishAndRename(fd.Get(), &fd, target, from, fail);
}

bool WriteStandardOutput(std::string_view bytes) {
    const TQuietBrokenPipe quiet;
    while (!bytes.empty()) {
        const ssize_t written = write(STDOUT_FILENO, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}
