// The executable is composed here: the core knows neither the engine nor the window, and this
// start-up installs both before the program's own start-up sequence runs.

#include <exception>
#include <iostream>

#include "app/window.h"
#include "engine/hvEngine.h"
#include "platform/files/fileSystem.h"
#include "platform/system/processStart.h"
#include "platform/system/signals.h"
#include "project/hvProject.h"
#include "shell/hvApp.h"
#include "shell/hvStartup.h"

int main(int argc, char** argv) {
    PrepareProcess();
    try {
        // Only the first argument counts; the rest are never looked at. Where the system hands
        // over the command line whole, the program's own splitting rule applies.
        const auto commandLine = ProcessCommandLine();
        const std::string param = commandLine ? CommandLineArgument(*commandLine, 1)
                                  : argc > 1  ? argv[1]
                                              : "";
        // Asked how to use it, the program answers before it keeps or writes anything.
        if (IsHelpRequest(param)) {
            ShowRequestedText("Quillon Converter", UsageText());
            return 0;
        }
        // The in-process engine answers for the presentation application wherever the system
        // has no class of that name. Encrypted presentations are tried with the passwords of
        // the file the "Passwords" option names, read when one is met; a stop signal cuts
        // their slow hashing short.
        RegisterPowerPointEngine(
            {.PasswordFile = [] { return hvProject ? hvProject->Passwords() : std::string(); },
             .StopRequested = [] { return ThvStopSignals::Received() != 0; }});
        const std::string exeName = CurrentExecutablePath();
        SetWindowRunner([exeName] { return RunWindow(exeName, std::cerr); });
        return RunQuillon(exeName, param, std::cerr, StandardErrorIsTerminal());
    } catch (const std::exception& e) {
        std::cerr << "Application Error: " << e.what() << "\n";
        return 1;
    }
}
