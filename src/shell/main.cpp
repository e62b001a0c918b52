#include <unistd.h>

#include <clocale>
#include <exception>
#include <iostream>

#include "fileSystem.h"
#include "hvStartup.h"

int main(int argc, char** argv) {
    // The locale names the "ANSI" code page of the files the program writes for its user.
    std::setlocale(LC_ALL, "");
    try {
        // Only the first argument counts; the rest are never looked at.
        return RunQuillon(CurrentExecutablePath(), argc > 1 ? argv[1] : "", std::cerr,
                          isatty(STDERR_FILENO) == 1);
    } catch (const std::exception& e) {
        std::cerr << "Application Error: " << e.what() << "\n";
        return 1;
    }
}
