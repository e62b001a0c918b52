#pragma once

// Helpers shared by the POSIX file-system units; included only by *_posix.cpp files.

#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"

/// Owns a file descriptor.
class TFileDescriptor {
  public:
    explicit TFileDescriptor(int fd = -1) : fd_(fd) {}
    ~TFileDescriptor() {
        if (fd_ >= 0) close(fd_);
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    TFileDescriptor(TFileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    TFileDescriptor& operator=(TFileDescriptor&& other) noexcept {
        if (this != &other) {
            if (fd_ >= 0) close(fd_);
            fd_ = other.fd_;
            other.fd_ = -1;
        }
        return *this;
    }

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

[[noreturn]] inline void ThrowCannotCreate(const std::string& path, const std::string& reason) {
    throw EhvError("Cannot create file \"" + path + "\". " + reason);
}

[[noreturn]] inline void ThrowCannotCreate(const std::string& path, int error) {
    ThrowCannotCreate(path, SystemErrorMessage(error));
}

/// Writes all of bytes; false with errno set on failure.
inline bool WriteAll(int fd, std::string_view bytes) {
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
