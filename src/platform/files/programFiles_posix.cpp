#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/files/paths.h"
#include "platform/files/programFiles.h"

namespace {

// The file-system hierarchy keeps these for programs, never for their data. A program there
// keeps its files per user even when root runs it, so that removing its package leaves nothing
// behind.
bool IsSystemProgramFolder(std::string_view folder) {
    for (std::string_view root : {"/usr/", "/bin/", "/sbin/", "/lib/", "/lib64/", "/opt/"})
        if (folder.starts_with(root)) return true;
    return false;
}

bool CanWriteFolder(const std::string& folder) {
    // The effective user is the one whose writes would succeed or fail.
    return faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

std::string AbsoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    // A relative value is not meaningful for these variables and is ignored.
    if (value == nullptr || value[0] != '/') return {};
    return value;
}

std::string HomeFolder() {
    std::string home = AbsoluteVariable("HOME");
    if (!home.empty()) return home;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

// The XDG base folder for user data: XDG_DATA_HOME, else ~/.local/share. Empty when the user
// has no home to speak of.
std::string UserDataHome() {
    std::string data = AbsoluteVariable("XDG_DATA_HOME");
    if (!data.empty()) return data;
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : ExcludeTrailingPathDelimiter(home, '/') + "/.local/share";
}

// Creates the folder and its missing parents private to the user, as the XDG rules ask of
// folders made below the data home. True when the folder is there afterwards.
bool MakeUserFolder(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
         slash = folder.find('/', slash + 1))
        if (mkdir(folder.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) return false;
    return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

// The name of the program's own folders: its file name without extension.
std::string ProgramName(const std::string& fileName) {
    std::string name = ChangeFileExt(fileName, "", '/');
    return name.empty() ? fileName : name;
}

}  // namespace

std::string BesideProgramStem(const std::string& exeName) {
    const std::string folder = ExtractFilePath(exeName, '/');
    if (!folder.empty() && !IsSystemProgramFolder(folder) && CanWriteFolder(folder)) return exeName;
    const std::string data = UserDataHome();
    // With nowhere better the files stay beside the program, where their writes fail quietly.
    if (data.empty()) return exeName;
    const std::string name = ExtractFileName(exeName, '/');
    const std::string own = ExcludeTrailingPathDelimiter(data, '/') + "/" + ProgramName(name);
    // Made now, so that every file kept here can be written from its first save on (a failure
    // is left to those writes, which fail quietly).
    MakeUserFolder(own);
    return own + "/" + name;
}

std::string InstalledDataFolder(const std::string& exeName) {
    // <prefix>/bin/quillon reads <prefix>/share/quillon/, wherever the prefix is.
    const std::string bin = ExcludeTrailingPathDelimiter(ExtractFilePath(exeName, '/'), '/');
    const std::string prefix = ExtractFilePath(bin, '/');
    if (prefix.empty()) return {};
    return prefix + "share/" + ProgramName(ExtractFileName(exeName, '/')) + "/";
}
