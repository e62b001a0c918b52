#pragma once

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
    std::string Name;  ///< the name's bytes as the file system stores them
    ThvEntryKind Kind = ThvEntryKind::Other;
};

/// Entries of a folder without "." and "..", sorted by name in byte order, so that every file
/// system lists them alike. Empty when the folder cannot be read. Looks up an entry's kind
/// only when the directory listing does not give it or the entry is a link, so that a large
/// folder costs one listing and not one look-up per file.
std::vector<ThvFolderEntry> ReadFolderEntries(const std::string& folder);
