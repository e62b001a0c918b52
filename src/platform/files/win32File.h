#pragma once

// Helpers shared by the Win32 file-system units; included only by *_win32.cpp files, after
// windows.h.

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/base/hvError.h"
#include "platform/files/win32Text.h"

/// Owns a file handle.
class THandle {
  public:
    explicit THandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~THandle() {
        if (Valid()) CloseHandle(handle_);
    }
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    THandle(THandle&& other) noexcept : handle_(other.handle_) {
        other.handle_ = INVALID_HANDLE_VALUE;
    }
    THandle& operator=(THandle&& other) noexcept {
        if (this != &other) {
            if (Valid()) CloseHandle(handle_);
            handle_ = other.handle_;
            other.handle_ = INVALID_HANDLE_VALUE;
        }
        return *this;
    }

    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }

    /// Closes now and reports CloseHandle's own failure.
    bool Close() {
        const bool closed = CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

  private:
    HANDLE handle_;
};

[[noreturn]] inline void ThrowCannotCreate(const std::string& path, const std::string& reason) {
    throw EhvError("Cannot create file \"" + path + "\". " + reason);
}

[[noreturn]] inline void ThrowCannotCreate(const std::string& path, DWORD error) {
    ThrowCannotCreate(path, Win32ErrorMessage(error));
}

/// Writes all of bytes; false with the thread's last error set on failure.
inline bool WriteAll(HANDLE file, std::string_view bytes) {
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const DWORD piece = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteFile(file, data, piece, &written, nullptr)) return false;
        data += written;
        left -= written;
    }
    return true;
}
