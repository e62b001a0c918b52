#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/files/paths.h"

/// The hard limits of a source list ("SourceList"), a file from outside the program.
struct ThvSourceListLimits {
    /// Longest line, in the file's bytes. Far above any path a file system takes (4 KiB here,
    /// 32,767 UTF-16 units on Windows), so only a file that is no list at all reaches it.
    std::size_t LineBytes = 64 * 1024;
    /// Most lines read; the batch numbers its files with 32-bit integers. Memory bounds a run
    /// first: it keeps every listed file, its result and its log line, about 1.1 KB a file.
    std::size_t Lines = std::size_t{1} << 30;
};

/// Reads a source list: one path per line, in any of the encodings project files are read in
/// (a byte-order mark selects UTF-8, UTF-16 LE or BE; without one the ANSI code page), lines
/// ending in CR LF, a lone CR or a lone LF, empty lines skipped. The list comes in pieces of any
/// size (Feed), so a list of millions of paths is never held whole. UTF-8 lines are kept byte
/// for byte, as file names are: a name that is not valid UTF-8 still names its file.
///
/// Each entry is reported with its line number (from 1); a line the reader refuses (too long,
/// holding a NUL, past the line limit) goes to onRefused with a message naming the line, and
/// the lines after it are read as usual, up to the line limit.
class ThvSourceListReader {
  public:
    using TEntry = std::function<void(std::size_t line, std::string text)>;
    using TRefused = std::function<void(std::size_t line, const std::string& message)>;

    ThvSourceListReader(TEntry onEntry, TRefused onRefused, ThvSourceListLimits limits = {});

    /// The next bytes of the list.
    void Feed(std::string_view bytes);
    /// The end of the list: a last line without a break is taken too.
    void Finish();

    /// Lines seen so far, empty ones included.
    std::size_t Lines() const { return lines_; }
    /// The line limit was reached; later lines are not read.
    bool Full() const { return full_; }

  private:
    enum class TEncoding { Undecided, Bytes, Ansi, Utf16LE, Utf16BE };

    void Decide();
    void FeedDecided(std::string_view bytes);
    void EndLine();

    TEntry onEntry_;
    TRefused onRefused_;
    const ThvSourceListLimits limits_;
    TEncoding encoding_ = TEncoding::Undecided;
    std::string head_;  ///< the first bytes, until the mark can be told
    std::string line_;  ///< bytes of the line so far (at most limits_.LineBytes)
    bool lineTooLong_ = false;
    bool afterCr_ = false;  ///< an LF next belongs to the CR before it
    char pendingByte_ = 0;  ///< the first byte of a UTF-16 unit cut between two pieces
    bool hasPendingByte_ = false;
    bool brokenTail_ = false;  ///< the list ended in half a UTF-16 unit
    std::size_t lines_ = 0;
    bool full_ = false;
};

class ThvReadFile;

/// Reads an open list file through a reader, in pieces, to its end; stops between two pieces
/// once stop answers true. Throws EhvError when the file cannot be read.
void ReadSourceListFile(ThvReadFile& file, ThvSourceListReader& reader,
                        const std::function<bool()>& stop);

/// The path a list entry names: a "file:" URL as its path, a relative path below listFolder
/// (which ends with the delimiter), then "." and ".." steps and doubled delimiters taken out
/// without asking the file system, so that the path says plainly which folder it is in (a
/// "..", lexically, cannot climb above the root or the drive).
std::string ResolveListEntry(std::string_view entry, const std::string& listFolder,
                             char delim = PathDelim);

/// True when path lies below folder (which ends with the delimiter); on Windows ignoring case.
bool IsBelowFolder(std::string_view path, std::string_view folder, char delim = PathDelim);
