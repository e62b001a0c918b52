// windows.h first: the shell's headers build on its definitions.
#include <windows.h>
// Then the shell's.
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include "platform/files/fileSystem.h"
#include "platform/files/paths.h"
#include "platform/files/programFiles.h"
#include "platform/files/win32Text.h"
#include "text/textEncoding.h"

namespace {

// Whether the program may create files in folder: tried, since only the attempt tells (access
// lists, a read-only share, a protected Program Files folder alike). Nothing is left behind.
bool CanWriteFolder(const std::string& folder) {
    const std::wstring probe =
        LongPath(folder + ".quillon-write-probe-" + std::to_string(GetCurrentProcessId()));
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

// One of the system's known folders, without a trailing delimiter; empty when the system names
// none.
std::string KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)) && path) folder = NarrowText(path);
    CoTaskMemFree(path);
    return folder;
}

// Whether folder lies in one of the system's folders for installed programs, in the long form
// of its names (a program started as C:\PROGRA~1\... is there too).
bool IsInstalledProgramFolder(const std::string& folder) {
    std::wstring wide = WideText(folder);
    const DWORD size = GetLongPathNameW(wide.c_str(), nullptr, 0);
    if (size > 0) {
        std::wstring longForm(size, L'\0');
        const DWORD written = GetLongPathNameW(wide.c_str(), longForm.data(), size);
        if (written > 0 && written < size) wide = longForm.substr(0, written);
    }
    const std::string place = FoldCase(IncludeTrailingPathDelimiter(NarrowText(wide)));
    for (const auto& id : {FOLDERID_ProgramFiles, FOLDERID_ProgramFilesX86}) {
        const std::string programs = KnownFolder(id);
        if (!programs.empty() &&
            place.starts_with(FoldCase(IncludeTrailingPathDelimiter(programs))))
            return true;
    }
    return false;
}

}  // namespace

// A 64-bit program gets no file virtualization: its writes to a protected folder (Program
// Files) simply fail. So an installed program keeps its files in the user's local application
// data folder under the program's name, as the Linux build keeps them in its data folder. A
// program under Program Files is an installed one whether or not this run could write there:
// run elevated it could, and its files would then be out of the user's reach and apart from
// those of the user's ordinary runs.
std::string BesideProgramStem(const std::string& exeName) {
    const std::string folder = ExtractFilePath(exeName);
    if (!folder.empty() && !IsInstalledProgramFolder(folder) && CanWriteFolder(folder))
        return exeName;
    const std::string data = KnownFolder(FOLDERID_LocalAppData);
    if (data.empty()) return exeName;  // nowhere better: the writes beside it fail quietly
    const std::string name = ExtractFileName(exeName);
    std::string programName = ChangeFileExt(name, "");
    if (programName.empty()) programName = name;
    const std::string own = IncludeTrailingPathDelimiter(data) + programName;
    ForceDirectories(own);
    return IncludeTrailingPathDelimiter(own) + name;
}

// The data an installed program ships (its guide) is in its own folder on Windows.
std::string InstalledDataFolder(const std::string&) { return {}; }
