#pragma once

#include <string>
#include <string_view>

#include "platform/system/choosers.h"

/// The application object: the program's own path and its first command-line argument. One
/// instance, hvApp, created first at start-up and destroyed last; read-only after that, so any
/// thread may read it.
class ThvApp {
  public:
    ThvApp(std::string exeName, std::string param)
        : ExeName(std::move(exeName)), Param(std::move(param)) {}

    const std::string ExeName;  ///< full path of the executable
    const std::string Param;    ///< first argument after the program's name; empty when none
    std::string Title;          ///< the application title, set once at start-up
};

extern ThvApp* hvApp;

/// The index-th argument of a Windows process command line (0 is the program itself): blanks
/// and control characters separate arguments, double quotes open and close a stretch where
/// blanks do not separate and are dropped, an empty pair of quotes between arguments is
/// skipped, and there is no escape character. Empty when there is no such argument. POSIX
/// receives its arguments split already; Windows builds take Param from this.
std::string CommandLineArgument(std::string_view commandLine, int index);
