#include "hvMain.h"

#include "hvProject.h"

ThvMain* hvMain = nullptr;

void ThvMain::Run() {
    // Until the converters exist the run names what it was asked to do and converts nothing.
    out_ << "Source: " << hvProject->Source() << "\n"
         << "Target: " << hvProject->Target() << "\n"
         << "Nothing converted: this build has no converter yet.\n";
}
