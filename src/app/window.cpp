#include "app/window.h"

#include "project/hvProject.h"
#include "shell/hvStartup.h"

void TellNoWindow(std::ostream& err, const std::string& reason) {
    err << (hvProject ? hvProject->Title : std::string("Quillon Converter")) << ": " << reason
        << "; run a project unattended instead, for example: " << UnattendedExample() << "\n";
}
