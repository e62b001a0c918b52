#pragma once

// Runs the real program, copied into a temporary folder so that the files it keeps beside
// itself (default project, recent-project list, usage store) are the test's own.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "childProcess.h"
#include "tempDir.h"

/// The environment of window mode where no display can be opened: the program says so in one
/// line, with an unattended example, and ends with exit code 1 (the toolkit is never loaded).
/// For every run that may reach window mode, so that no window ever waits for a user.
inline const std::vector<std::string> noDisplay = {
    "DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="};

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::copy_file(QUILLON_EXE, exe);
        std::filesystem::create_directory(work);
    }
    ProcessResult Run(const std::vector<std::string>& args = {},
                      const std::vector<std::string>& env = {}, long killAfterMicroseconds = -1,
                      const std::function<void(pid_t)>& duringRun = {}) {
        return RunProcess(exe, args, work, env, killAfterMicroseconds, duringRun);
    }
    /// Installs a recording stand-in for the desktop's opener; the links it is given are
    /// appended to Links(), each ended by a NUL so that any character may be in them.
    std::vector<std::string> RecordingOpener() {
        const std::string bin = dir / "bin";
        std::filesystem::create_directories(bin);
        WriteBytes(bin + "/xdg-open", "#!/bin/sh\nprintf '%s\\0' \"$1\" >> '" + links + "'\n");
        std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
        return {"PATH=" + bin + ":" + getenv("PATH")};
    }
    /// The sample deck of many scripts as in/languages.pptx, and a locale whose character set
    /// is ISO-8859-1 made below dir: the environment that selects that locale, or nothing when
    /// the sample or the locale tools are missing (the test then skips).
    std::vector<std::string> LanguagesDeckAndLatin1Locale() {
        const std::string deck = ReadBytes(QUILLON_SAMPLES "/languages.pptx");
        const std::string locales = dir / "locale";
        std::filesystem::create_directories(locales);
        const std::string make =
            "localedef -i en_US -f ISO-8859-1 '" + locales + "/en_US.ISO-8859-1' >/dev/null 2>&1";
        if (deck.empty() || std::system(make.c_str()) != 0) return {};
        std::filesystem::create_directories(dir / "in");
        WriteBytes(dir / "in/languages.pptx", deck);
        return {"LOCPATH=" + locales, "LC_ALL=en_US.ISO-8859-1"};
    }
    /// The recorded links, waiting up to 10 s for count of them (the opener runs detached).
    std::vector<std::string> Links(std::size_t count) {
        for (int i = 0; i < 200; ++i) {
            if (SplitRecorded().size() >= count) break;
            usleep(50000);
        }
        return SplitRecorded();
    }

    TempDir dir;
    std::string exe = dir / "quillon";
    std::string work = dir / "work";
    std::string defaultProject = dir / "quillon.batch-quillon";
    std::string recentList = dir / "quillon.log";
    std::string links = dir / "links.txt";

  private:
    std::vector<std::string> SplitRecorded() {
        std::vector<std::string> lines;
        const std::string text = ReadBytes(links);
        for (std::size_t pos = 0, nl; (nl = text.find('\0', pos)) != std::string::npos;
             pos = nl + 1)
            lines.push_back(text.substr(pos, nl - pos));
        return lines;
    }
};
