#pragma once

#include <cstddef>
#include <string>
#include <vector>

/// What the search needs to know of a folder entry, found without following links into
/// folders, so that a link can never lead the search in a circle.
enum class ThvEntryKind {
    File,    ///< a regular file, or a link to one
    Folder,  ///< a real folder, not a link to one
    Other,   ///< a link to a folder, a dangling link, a device, a pipe or a socket
};

struct ThvFolderEntry {
    std::string Name;  ///< the name's bytes as the file system stores them (UTF-8 on Windows)
    ThvEntryKind Kind = ThvEntryKind::Other;
    /// For an entry of kind Other that is no document (all but a link to a folder): what it is
    /// instead, for the user ("a named pipe (FIFO), not a file"). Found without opening it.
    std::string NotAFile;
    bool Hidden = false;  ///< a "." name on POSIX, the hidden attribute on Windows
};

struct ThvFolderListing {
    std::vector<ThvFolderEntry> Entries;
    /// Why the folder could not be read (the system's text), empty when it was read whole.
    /// Entries read before a listing broke off are kept.
    std::string Error;
    bool Missing = false;  ///< the folder does not exist, or the path names no folder
};

/// Entries of a folder without "." and "..", sorted by name in byte order (of UTF-8 on
/// Windows), so that every file system lists them alike. Looks up an entry's kind only when the
/// directory listing does not give it or the entry is a link, so that a large folder costs one
/// listing and not one look-up per file. Nothing listed is ever opened.
ThvFolderListing ListFolder(const std::string& folder);

/// ListFolder's entries alone; empty when the folder cannot be read.
std::vector<ThvFolderEntry> ReadFolderEntries(const std::string& folder);

/// The longest path, in bytes, that the system opens as a whole.
std::size_t MaxPathBytes();
