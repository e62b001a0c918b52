#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// The file system as the program needs it. Paths are UTF-8. On POSIX a name that begins with
/// "." is hidden and read-only means that nobody may write; system, volume and archive
/// attributes do not exist. On Windows hidden and read-only are the file's attributes, paths may
/// use "\" or "/" and may be longer than 260 characters.

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

/// What is at a path, links followed.
enum class ThvPathKind {
    Missing,  ///< nothing, or nothing that can be looked at
    File,     ///< a regular file
    Folder,
    Other,  ///< a device, a pipe or a socket: opening it could wait for ever
};

ThvPathKind GetPathKind(const std::string& path);

struct ThvFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using ThvFilePtr = std::unique_ptr<std::FILE, ThvFileCloser>;

/// The file opened for binary reading, or null with errno set (SystemErrorMessage(errno) says
/// why). Use it instead of fopen, which reads a name in the ANSI code page on Windows.
ThvFilePtr OpenFileForReading(const std::string& path);

/// Times in nanoseconds since 1970-01-01 UTC. Creation is the birth time where the file system
/// records one, else empty (Windows always records one).
struct ThvFileTimes {
    std::optional<int64_t> Creation;
    int64_t LastAccess = 0;
    int64_t LastWrite = 0;
};

std::optional<ThvFileTimes> GetFileTimes(const std::string& path);

/// Sets last-access and last-write times, and on Windows the creation time too when it is given.
/// Linux cannot set a creation time and leaves it as it is.
bool SetFileTimes(const std::string& path, const ThvFileTimes& times);

/// A folder's creation time: its birth time where the file system has one, else its
/// modification time; empty when it cannot be looked up.
std::optional<int64_t> FolderCreationTime(const std::string& path);

/// True for a name hidden by its form: on POSIX a "." prefix, except "." and ".."; on Windows
/// no name is (hiding is an attribute there, see ThvFolderEntry::Hidden).
bool IsHiddenName(const std::string& name);

struct ThvFileAttributes {
    bool Directory = false;
    bool Hidden = false;
    bool ReadOnly = false;
};

std::optional<ThvFileAttributes> GetFileAttributes(const std::string& path);

/// Sets or clears the read-only attribute (on POSIX all write permission bits).
bool SetReadOnly(const std::string& path, bool readOnly);

/// Reads a whole file; a pipe nobody writes into reads as empty rather than being waited for.
/// Throws EhvError when it cannot be read or holds more than maxBytes.
std::string ReadFileBytes(const std::string& path, std::size_t maxBytes);

/// Writes bytes to path so that nobody ever sees it half written; what is at path decides how:
/// - nothing, or a regular file: the bytes go to a temporary file beside it (a ThvTempFile)
///   that is then renamed over it; a replaced file keeps its permission bits and, where the
///   system allows, its owner; a read-only file is refused ("... The file is read-only").
/// - a character device (/dev/null, a terminal) or a pipe that someone reads: written into
///   directly; a pipe that nobody reads, a socket and a block device are refused, and never
///   replaced.
/// A link is followed (the user named it): the file it names is written and the link stays,
/// except that a link to nothing is replaced. The first write of the process into a folder
/// removes the temporaries that killed runs left there (RemoveStaleTemporaries). Throws
/// EhvError "Cannot create file "<path>". <reason>".
void WriteFileAtomic(const std::string& path, const std::string& bytes);

/// Writes bytes over the existing regular file at path (truncated, not replaced: no new file is
/// made) and renames it over to. For a file of the caller's own that nobody reads before the
/// rename; to is never seen half written. What is at to is treated as by WriteFileAtomic,
/// except that a link at to is replaced, never followed: the names in an output folder that
/// others may write to must not lead the output elsewhere. On failure path is deleted, to is
/// untouched, and EhvError "Cannot create file "<to>". <reason>" is thrown.
void RewriteFileAs(const std::string& path, const std::string& bytes, const std::string& to);

/// Moves the caller's own file from over to, under the rules of RewriteFileAs (a device or a
/// pipe at to receives from's bytes). On failure from is deleted and EhvError "Cannot create
/// file "<to>". <reason>" is thrown.
void MoveFileOver(const std::string& from, const std::string& to);

/// A short hidden file of this process's own in a folder, named ".quillon-" and 16 hex digits,
/// and the names made from it by Companion. The process holds the file while the object lives,
/// and the system lets go of it when the process ends, however it ends; RemoveStaleTemporaries
/// removes such files and their companions once nobody holds them, so several runs, in this
/// process or in others, may work in one folder without touching each other's temporaries.
/// The destructor removes the file; a companion is for its maker to rename or remove.
class ThvTempFile {
  public:
    /// Creates and holds a new empty file in folder (empty, or ending with the delimiter).
    /// Throws EhvError "Cannot create file "<shownAs>". <reason>": the caller names the file
    /// the user knows of, not the hidden one.
    ThvTempFile(const std::string& folder, const std::string& shownAs);
    ~ThvTempFile();
    ThvTempFile(const ThvTempFile&) = delete;
    ThvTempFile& operator=(const ThvTempFile&) = delete;

    const std::string& Path() const;
    /// A new name that belongs to this file: Path(), "." and a number of its own, then suffix
    /// (which begins with "."). Spared by sweeps while the file is held. Any thread may ask.
    std::string Companion(const std::string& suffix);

  private:
    friend class TTempFileAccess;
    struct TState;
    std::unique_ptr<TState> state_;
};

/// Writes bytes to the process's standard output, all of them. False when they could not all
/// go, a reader that has gone included: that ends the write, never the program.
bool WriteStandardOutput(std::string_view bytes);

/// A new folder of this process's own in the system's folder for temporaries, which only the
/// user may enter; removed with everything in it when the object goes (errors ignored).
/// Throws EhvError "Cannot create a temporary folder in "<folder>". <reason>".
class ThvPrivateFolder {
  public:
    ThvPrivateFolder();
    ~ThvPrivateFolder();
    ThvPrivateFolder(const ThvPrivateFolder&) = delete;
    ThvPrivateFolder& operator=(const ThvPrivateFolder&) = delete;

    /// The folder, ending with the delimiter.
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

/// Removes from folder (empty, or ending with the delimiter) the temporary files of writers
/// that are gone: those of killed runs. Files that a live writer holds, in this process or
/// another, and every other file stay. Errors are ignored.
void RemoveStaleTemporaries(const std::string& folder);

/// What tells one file from another at one path: a file replaced (another device or file
/// number) or changed (size, last write) since it was looked at has another identity.
struct ThvFileIdentity {
    uint64_t Device = 0;
    uint64_t Index = 0;
    int64_t Size = 0;
    int64_t LastWrite = 0;  ///< nanoseconds since 1970-01-01 UTC
    bool operator==(const ThvFileIdentity&) const = default;
};

/// The identity of the file at path (a link is followed); empty when it cannot be looked up.
std::optional<ThvFileIdentity> GetFileIdentity(const std::string& path);

/// The system's text for the error of this thread's last failed call of this unit (DeleteFile,
/// MoveFile, ...); read it right after the call.
std::string LastSystemErrorMessage();

/// The C library's text for an errno value.
std::string SystemErrorMessage(int error);

/// Full path of the running executable.
std::string CurrentExecutablePath();
