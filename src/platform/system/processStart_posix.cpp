#include <malloc.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <iostream>

#include "platform/system/processStart.h"

void PrepareProcess() {
    // The locale names the "ANSI" code page of the files the program writes for its user, the
    // decimal point of numbers in options and the language of the system's error messages.
    // Only those categories are taken: each of the others is a file read at every start, for
    // nothing this program does (the window's toolkit takes them all for itself).
    for (const int category : {LC_CTYPE, LC_NUMERIC, LC_MESSAGES}) std::setlocale(category, "");
    // With no TZ set, the C library looks /etc/localtime up again at every local time
    // conversion. The engine's own zip reader converts no times, unlike libzip before it, but the
    // libraries the program loads may: naming the same zone once keeps the zone and drops the
    // look-ups.
    if (std::getenv("TZ") == nullptr) setenv("TZ", ":/etc/localtime", 0);
#ifdef __GLIBC__
    // A converter reads each file and builds its text in blocks of a few hundred KiB and frees
    // them. With the C library's defaults a block over 128 KiB is mapped and unmapped, and free
    // memory at the top of a heap goes back to the system, so every file faults the same pages
    // in again: for the public .ppt files in one process, more than half the page faults and a
    // third of the system time. Blocks up to 1 MiB now come from the heap and stay for the next.
    mallopt(M_MMAP_THRESHOLD, kKeptAllocationBytes);
    mallopt(M_TRIM_THRESHOLD, kKeptAllocationBytes);
#endif
}

void ShowRequestedText(const std::string&, const std::string& text) { std::cout << text; }

std::optional<std::string> ProcessCommandLine() { return std::nullopt; }

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }
