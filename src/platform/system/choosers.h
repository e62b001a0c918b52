#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

/// The folder, open-file and save-file choosers. The window installs toolkit dialogs; without
/// a window nothing is installed and every chooser answers "cancelled". All of them run on the
/// main thread and return when the user has closed the chooser.

struct ThvOpenFileRequest {
    std::string Filter;      ///< "Name|*.a;*.b|Name|*.c" pairs
    std::string FileName;    ///< proposed file name
    std::string InitialDir;  ///< folder to start in; empty for the chooser's own choice
    bool Multiple = false;
};

struct ThvSaveFileRequest {
    std::string Filter;
    std::string DefaultExt;  ///< with its dot
    std::string FileName;
    std::string InitialDir;
};

/// Implementations answer nullopt for cancel.
struct ThvChoosers {
    std::function<std::optional<std::string>(const std::string& initialFolder)> Folder;
    std::function<std::optional<std::vector<std::string>>(const ThvOpenFileRequest&)> OpenFile;
    std::function<std::optional<std::string>(const ThvSaveFileRequest&)> SaveFile;
};

/// Installs the choosers (an empty member means that chooser is always cancelled). Returns the
/// previous set.
ThvChoosers SetChoosers(ThvChoosers choosers);

/// Folder chooser starting at path when it is not empty; on confirmation path becomes the
/// chosen folder and the result is true, on cancel path stays and the result is false.
bool SelectFolder(std::string& path);

/// Open chooser proposing path with every "?" turned into "*" and starting in its folder part.
/// On confirmation path becomes the chosen file, or with several allowed every chosen file
/// followed by CR LF, and the result is true; on cancel path stays and the result is false.
bool SelectOpenFile(const std::string& filter, std::string& path, bool several);

/// Save chooser proposing path unchanged and starting in its folder part; the implementation
/// asks before an existing file is replaced. On confirmation path becomes the chosen file.
bool SelectSaveFile(const std::string& filter, const std::string& defaultExt, std::string& path);
