// The executable is composed here: the core knows neither the engine nor the window, and this
// start-up installs both before the program's own start-up sequence runs.

#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <exception>
#include <iostream>

#include "fileSystem.h"
#include "hvEngine.h"
#include "hvStartup.h"
#include "windowModule.h"

int main(int argc, char** argv) {
    // The locale names the "ANSI" code page of the files the program writes for its user.
    std::setlocale(LC_ALL, "");
    // The zip library converts the time of every entry it reads with mktime, and with no TZ set
    // the C library looks /etc/localtime up again on each call: tens of look-ups per file.
    // Naming the same zone once keeps the zone and drops the look-ups.
    if (std::getenv("TZ") == nullptr) setenv("TZ", ":/etc/localtime", 0);
    try {
        // The in-process engine answers for the presentation application on this platform.
        RegisterPowerPointEngine();
        const std::string exeName = CurrentExecutablePath();
        SetWindowRunner([exeName] { return RunWindowModule(exeName, std::cerr); });
        // Only the first argument counts; the rest are never looked at.
        return RunQuillon(exeName, argc > 1 ? argv[1] : "", std::cerr,
                          isatty(STDERR_FILENO) == 1);
    } catch (const std::exception& e) {
        std::cerr << "Application Error: " << e.what() << "\n";
        return 1;
    }
}
