#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// The file system as the program needs it. Paths are UTF-8. On POSIX a name that begins with
/// "." is hidden and read-only means that nobody may write; system, volume and archive
/// attributes do not exist.

bool FileExists(const std::string& path);       ///< a file (not a folder) is there
bool DirectoryExists(const std::string& path);  ///< a folder is there

/// Creates the folder with all missing parents. True when the folder exists afterwards.
bool ForceDirectories(const std::string& path);

bool DeleteFile(const std::string& path);  ///< true when the file was deleted

/// Moves a file; fails (false) when the new name exists already, as the Windows call does.
bool MoveFile(const std::string& from, const std::string& to);

/// Renames a file over another in one step (an existing file at to is replaced). True when
/// done.
bool ReplaceFile(const std::string& from, const std::string& to);

/// Times in nanoseconds since 1970-01-01 UTC. Creation is the birth time where the file system
/// records one, else empty.
struct ThvFileTimes {
    std::optional<int64_t> Creation;
    int64_t LastAccess = 0;
    int64_t LastWrite = 0;
};

std::optional<ThvFileTimes> GetFileTimes(const std::string& path);

/// Sets last-access and last-write times. The creation time cannot be set on Linux and is left
/// as it is.
bool SetFileTimes(const std::string& path, const ThvFileTimes& times);

/// A folder's creation time: its birth time where the file system has one, else its
/// modification time; empty when it cannot be looked up.
std::optional<int64_t> FolderCreationTime(const std::string& path);

bool IsHiddenName(const std::string& name);  ///< "." prefix, except "." and ".."

struct ThvFileAttributes {
    bool Directory = false;
    bool Hidden = false;
    bool ReadOnly = false;
};

std::optional<ThvFileAttributes> GetFileAttributes(const std::string& path);

/// Sets or clears the read-only attribute (all write permission bits).
bool SetReadOnly(const std::string& path, bool readOnly);

/// Reads a whole file. Throws EhvError when it cannot be read or holds more than maxBytes.
std::string ReadFileBytes(const std::string& path, std::size_t maxBytes);

/// Writes bytes to a temporary file beside path and renames it over path, so the file is never
/// seen half written. Throws EhvError "Cannot create file "<path>". <reason>".
void WriteFileAtomic(const std::string& path, const std::string& bytes);

/// Writes bytes over the existing regular file at path (truncated, not replaced: no new file is
/// made) and renames it over to. For a file of the caller's own that nobody reads before the
/// rename; to is never seen half written. A read-only file at to is refused as by
/// WriteFileAtomic. On failure path is deleted, to is untouched, and EhvError "Cannot create
/// file "<to>". <reason>" is thrown.
void RewriteFileAs(const std::string& path, const std::string& bytes, const std::string& to);

/// The system's text for an errno value.
std::string SystemErrorMessage(int error);

/// Full path of the running executable.
std::string CurrentExecutablePath();
