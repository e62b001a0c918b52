#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

/// Files read or written a piece at a time, for what is too large to hold whole (a list of
/// millions of paths) or must reach the disk as it happens (a log that outlives a killed run).
/// Paths are UTF-8. Both own their file and close it when destroyed.

/// A file read from the start in pieces.
class ThvReadFile {
  public:
    /// Throws EhvError "Cannot open file "<path>". <reason>". Opening never waits: a named
    /// pipe that nobody writes to yet opens at once (on POSIX), and Read waits for its writer.
    explicit ThvReadFile(const std::string& path);
    ~ThvReadFile();
    ThvReadFile(const ThvReadFile&) = delete;
    ThvReadFile& operator=(const ThvReadFile&) = delete;

    /// Reads up to size bytes into buffer; 0 at the end. Throws EhvError "Cannot read file ...".
    /// Where it waits for a pipe's writer (POSIX), it asks stop every tenth of a second and
    /// answers 0 once stop answers true.
    std::size_t Read(char* buffer, std::size_t size, const std::function<bool()>& stop = {});

  private:
    std::string path_;
    int fd_;
    bool waits_ = false;  ///< a pipe, read without blocking after a wait for bytes
};

/// A file that lines are appended to, each reaching the operating system in one write as soon
/// as it is given, so a process killed right after keeps it, and two processes appending to
/// one file never mix their lines (each line is written under an exclusive lock of the file,
/// which every object of this class takes). Not synced to the disk: a machine that fails may lose
/// the last lines. One object may be used from several threads.
class ThvAppendFile {
  public:
    /// Opens or creates the file for appending; what it holds stays. When it does not end with
    /// a line break (a writer stopped in the middle of a line), one is added first, so the next
    /// line starts on its own. Throws EhvError "Cannot create file "<path>". <reason>", also,
    /// at once, for anything but a plain file (a pipe nobody reads is never waited for).
    explicit ThvAppendFile(const std::string& path);
    ~ThvAppendFile();
    ThvAppendFile(const ThvAppendFile&) = delete;
    ThvAppendFile& operator=(const ThvAppendFile&) = delete;

    /// Appends the bytes in one write, all of them or none: what a full disk took of them is
    /// removed again before EhvError "Cannot write file "<path>". <reason>" is thrown.
    void Append(std::string_view bytes);

    const std::string& Path() const { return path_; }

  private:
    /// Ends a line that a writer stopped in the middle of; answers 0 or an errno value.
    int EndOpenLine();

    std::string path_;
    int fd_;
};
