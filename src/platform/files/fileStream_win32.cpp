// The C library's descriptors over wide paths, with Win32 byte-range locks for the appends.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>

#include "platform/base/hvError.h"
#include "platform/files/fileStream.h"
#include "platform/files/fileSystem.h"
#include "platform/files/win32Text.h"

namespace {

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Writers of other processes (and other objects of this one) take the same lock, a range far
// beyond any file's end, so a line is never seen half written.
class TFileLock {
  public:
    explicit TFileLock(int fd) : file_(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) {
        LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &overlapped_);
    }
    ~TFileLock() { UnlockFileEx(file_, 0, MAXDWORD, MAXDWORD, &overlapped_); }
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;

  private:
    HANDLE file_;
    OVERLAPPED overlapped_{};
};

}  // namespace

ThvReadFile::ThvReadFile(const std::string& path) : path_(path), fd_(-1) {
    // Windows refuses to open a folder with "Permission denied"; say what it is instead.
    if (IsFolder(path)) {
        throw EhvError("Cannot open file \"" + path + "\". " + SystemErrorMessage(EISDIR));
    }
    fd_ = _wopen(LongPath(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd_ < 0) throw EhvError("Cannot open file \"" + path + "\". " + SystemErrorMessage(errno));
}

ThvReadFile::~ThvReadFile() { _close(fd_); }

// Opening a pipe here finds its server there already: a read waits for it like a file's.
std::size_t ThvReadFile::Read(char* buffer, std::size_t size, const std::function<bool()>&) {
    const unsigned int piece = size > (1u << 30) ? (1u << 30) : static_cast<unsigned int>(size);
    const int got = _read(fd_, buffer, piece);
    if (got < 0) throw EhvError("Cannot read file \"" + path_ + "\". " + SystemErrorMessage(errno));
    return static_cast<std::size_t>(got);
}

ThvAppendFile::ThvAppendFile(const std::string& path) : path_(path), fd_(-1) {
    int error = IsFolder(path) ? EISDIR : 0;
    if (error == 0) {
        fd_ = _wopen(LongPath(path).c_str(),
                     _O_WRONLY | _O_CREAT | _O_APPEND | _O_BINARY | _O_NOINHERIT,
                     _S_IREAD | _S_IWRITE);
        error = fd_ < 0 ? errno : 0;
    }
    if (error == 0) {
        TFileLock lock(fd_);
        error = EndOpenLine();
    }
    if (error != 0) {
        if (fd_ >= 0) _close(fd_);
        throw EhvError("Cannot create file \"" + path + "\". " + SystemErrorMessage(error));
    }
}

int ThvAppendFile::EndOpenLine() {
    const long long size = _filelengthi64(fd_);
    if (size < 0) return errno;
    if (size == 0) return 0;
    char last = '\n';
    const int readable = _wopen(LongPath(path_).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (readable >= 0) {
        if (_lseeki64(readable, size - 1, SEEK_SET) != size - 1 || _read(readable, &last, 1) != 1) {
            last = '\n';
        }
        _close(readable);
    }
    if (last != '\n' && _write(fd_, "\n", 1) != 1) return errno != 0 ? errno : ENOSPC;
    return 0;
}

ThvAppendFile::~ThvAppendFile() { _close(fd_); }

void ThvAppendFile::Append(std::string_view bytes) {
    TFileLock lock(fd_);
    // What a full disk took of a line is cut off again, so that no reader ever meets a cut
    // record: a line is there whole or not at all.
    const long long before = _filelengthi64(fd_);
    auto fail = [&](int error) {
        if (before >= 0) _chsize_s(fd_, before);
        throw EhvError("Cannot write file \"" + path_ + "\". " + SystemErrorMessage(error));
    };
    // The C library moves to the end before each write of an appending descriptor; under the
    // lock nobody else's write comes in between.
    while (!bytes.empty()) {
        const unsigned int piece =
            bytes.size() > (1u << 30) ? (1u << 30) : static_cast<unsigned int>(bytes.size());
        const int put = _write(fd_, bytes.data(), piece);
        if (put < 0) fail(errno);
        if (put == 0) fail(ENOSPC);
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
}
