#pragma once

#include <ostream>

/// The unattended runner: converts the project's source without any window. One instance,
/// hvMain, created at start-up; Run is called on the main thread in the unattended mode only.
class ThvMain {
  public:
    explicit ThvMain(std::ostream& out) : out_(out) {}
    ThvMain(const ThvMain&) = delete;
    ThvMain& operator=(const ThvMain&) = delete;

    /// The whole run. An EhvError that leaves it ends the program with exit code 1.
    void Run();

  private:
    std::ostream& out_;
};

extern ThvMain* hvMain;
