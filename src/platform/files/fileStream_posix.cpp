#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/base/hvError.h"
#include "platform/files/fileStream.h"
#include "platform/files/fileSystem.h"

ThvReadFile::ThvReadFile(const std::string& path)
    // Not blocking: opening a named pipe would otherwise wait for its writer, past any stop.
    : path_(path), fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {
    if (fd_ < 0) throw EhvError("Cannot open file \"" + path + "\". " + SystemErrorMessage(errno));
    struct stat st;
    if (fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        close(fd_);
        throw EhvError("Cannot open file \"" + path + "\". " + SystemErrorMessage(EISDIR));
    }
    // A pipe is read without blocking, waiting in poll instead; anything else as usual.
    waits_ = fstat(fd_, &st) == 0 && S_ISFIFO(st.st_mode);
    if (!waits_) fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
}

ThvReadFile::~ThvReadFile() { close(fd_); }

std::size_t ThvReadFile::Read(char* buffer, std::size_t size, const std::function<bool()>& stop) {
    for (;;) {
        if (waits_) {
            // Until a writer has come and written or gone, a pipe reads as empty.
            pollfd ready{fd_, POLLIN, 0};
            const int polled = poll(&ready, 1, 100);
            if (polled < 0 && errno != EINTR)
                throw EhvError("Cannot read file \"" + path_ + "\". " + SystemErrorMessage(errno));
            if (polled <= 0) {
                if (stop && stop()) return 0;
                continue;
            }
        }
        const ssize_t got = read(fd_, buffer, size);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno == EAGAIN && waits_) continue;
        if (errno != EINTR)
            throw EhvError("Cannot read file \"" + path_ + "\". " + SystemErrorMessage(errno));
    }
}

namespace {

/// Holds an exclusive lock on an open file for a scope. Writers of other processes (and other
/// objects of this one) take it too, so a line is never seen half written; threads sharing one
/// object need no more than the single append of each line.
class TFileLock {
  public:
    explicit TFileLock(int fd) : fd_(fd) {
        while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~TFileLock() { flock(fd_, LOCK_UN); }
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;

  private:
    int fd_;
};

}  // namespace

ThvAppendFile::ThvAppendFile(const std::string& path)
    // Not blocking: a named pipe nobody reads would make the open wait for ever (ENXIO now).
    : path_(path),
      fd_(open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0666)) {
    int error = fd_ < 0 ? errno : 0;
    if (error == 0) fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    if (error == 0) {
        TFileLock lock(fd_);
        error = EndOpenLine();
    }
    if (error != 0) {
        if (fd_ >= 0) close(fd_);
        if (error == ENXIO)
            throw EhvError("Cannot create file \"" + path +
                           "\". It is a named pipe that nobody reads");
        throw EhvError("Cannot create file \"" + path + "\". " + SystemErrorMessage(error));
    }
}

int ThvAppendFile::EndOpenLine() {
    struct stat st;
    if (fstat(fd_, &st) != 0) return errno;
    if (!S_ISREG(st.st_mode)) return EINVAL;
    if (st.st_size == 0) return 0;
    char last = '\n';
    const int readable = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (readable >= 0) {
        if (pread(readable, &last, 1, st.st_size - 1) != 1) last = '\n';
        close(readable);
    }
    if (last != '\n' && write(fd_, "\n", 1) != 1) return errno != 0 ? errno : ENOSPC;
    return 0;
}

ThvAppendFile::~ThvAppendFile() { close(fd_); }

void ThvAppendFile::Append(std::string_view bytes) {
    TFileLock lock(fd_);
    // What a full disk took of a line is cut off again, so that no reader ever meets a cut
    // record: a line is there whole or not at all. Under the lock no other writer has appended
    // since the size was taken.
    struct stat st;
    const off_t before = fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : -1;
    auto fail = [&](int error) {
        if (before >= 0) {
            while (ftruncate(fd_, before) != 0 && errno == EINTR) {
            }
        }
        throw EhvError("Cannot write file \"" + path_ + "\". " + SystemErrorMessage(error));
    };
    // One write normally takes all; a short one (a full disk, a signal) is continued.
    while (!bytes.empty()) {
        const ssize_t put = write(fd_, bytes.data(), bytes.size());
        if (put < 0) {
            if (errno == EINTR) continue;
            fail(errno);
        }
        if (put == 0) fail(ENOSPC);
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
}
