#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fileStream.h"
#include "fileSystem.h"
#include "hvError.h"

ThvReadFile::ThvReadFile(const std::string& path)
    : path_(path), fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (fd_ < 0) throw EhvError("Cannot open file \"" + path + "\". " + SystemErrorMessage(errno));
    struct stat st;
    if (fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        close(fd_);
        throw EhvError("Cannot open file \"" + path + "\". " + SystemErrorMessage(EISDIR));
    }
}

ThvReadFile::~ThvReadFile() { close(fd_); }

std::size_t ThvReadFile::Read(char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = read(fd_, buffer, size);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR)
            throw EhvError("Cannot read file \"" + path_ + "\". " + SystemErrorMessage(errno));
    }
}

ThvAppendFile::ThvAppendFile(const std::string& path)
    : path_(path), fd_(open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666)) {
    const auto fail = [&](int error) {
        if (fd_ >= 0) close(fd_);
        throw EhvError("Cannot create file \"" + path + "\". " + SystemErrorMessage(error));
    };
    if (fd_ < 0) fail(errno);
    struct stat st;
    if (fstat(fd_, &st) != 0) fail(errno);
    if (!S_ISREG(st.st_mode)) fail(EINVAL);
    if (st.st_size > 0) {
        char last = '\n';
        const int readable = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (readable >= 0) {
            if (pread(readable, &last, 1, st.st_size - 1) != 1) last = '\n';
            close(readable);
        }
        if (last != '\n') {
            try {
                Append("\n");
            } catch (const EhvError& e) {
                close(fd_);
                throw EhvError("Cannot create file \"" + path + "\". " + e.Message());
            }
        }
    }
}

ThvAppendFile::~ThvAppendFile() { close(fd_); }

void ThvAppendFile::Append(std::string_view bytes) {
    // One write normally takes all; a short one (a full disk, a signal) is continued, and only
    // then can another writer's line come in between.
    while (!bytes.empty()) {
        const ssize_t put = write(fd_, bytes.data(), bytes.size());
        if (put < 0) {
            if (errno == EINTR) continue;
            throw EhvError("Cannot write file \"" + path_ + "\". " + SystemErrorMessage(errno));
        }
        if (put == 0)
            throw EhvError("Cannot write file \"" + path_ + "\". " + SystemErrorMessage(ENOSPC));
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
}
