#include "shell/hvApp.h"

ThvApp* hvApp = nullptr;

namespace {

bool Separates(char c) { return static_cast<unsigned char>(c) <= ' '; }

// Reads one argument starting at pos and leaves pos after it.
std::string NextArgument(std::string_view line, std::size_t& pos) {
    for (;;) {
        while (pos < line.size() && Separates(line[pos])) ++pos;
        if (pos + 1 < line.size() && line[pos] == '"' && line[pos + 1] == '"')
            pos += 2;
        else
            break;
    }
    std::string argument;
    while (pos < line.size() && !Separates(line[pos])) {
        if (line[pos] == '"') {
            ++pos;
            while (pos < line.size() && line[pos] != '"') argument += line[pos++];
            if (pos < line.size()) ++pos;
        } else {
            argument += line[pos++];
        }
    }
    return argument;
}

}  // namespace

std::string CommandLineArgument(std::string_view commandLine, int index) {
    std::size_t pos = 0;
    std::string argument;
    for (int i = 0; i <= index; ++i) {
        argument = NextArgument(commandLine, pos);
        if (argument.empty() && pos >= commandLine.size()) return {};
    }
    return argument;
}
