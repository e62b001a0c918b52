// Opens every file named on the command line through the automation layer, as a converter
// thread does, and saves its rich-text outline into the output folder. Stands in for an
// unattended quillon run in the benchmark until that run exists.
//
//   outlineDriver [--no-save] <output-folder> <file>...
// Prints one line per failed file to standard error and "<converted> <failed>" at the end.
// --no-save opens and closes each file without saving: the reading alone, for comparing with
// the inflate-only floor, which writes nothing either.

#include <cstdio>
#include <string>

#include "engine/hvEngine.h"
#include "platform/automation/automation.h"
#include "platform/files/paths.h"

int main(int argc, char** argv) {
    int first = 1;
    bool save = true;
    if (argc > 1 && std::string(argv[1]) == "--no-save") {
        save = false;
        ++first;
    }
    if (argc - first < 1) {
        std::fprintf(stderr, "usage: outlineDriver [--no-save] <output-folder> <file>...\n");
        return 2;
    }
    RegisterPowerPointEngine();
    std::string output = IncludeTrailingPathDelimiter(argv[first]);
    AutomationObjectPtr app = CreateAutomationObject("PowerPoint.Application");
    AutomationObjectPtr presentations = AutomationGet(*app, "Presentations").ToObject();
    int converted = 0;
    int failed = 0;
    for (int i = first + 1; i < argc; ++i) {
        std::string source = argv[i];
        std::string target = output + std::to_string(i - first) + "-" +
                             ChangeFileExt(ExtractFileName(source), ".rtf");
        try {
            AutomationObjectPtr presentation =
                AutomationCall(*presentations, "Open", {source, true}).ToObject();
            if (save) AutomationCall(*presentation, "SaveAs", {target, int32_t(6)});
            AutomationCall(*presentation, "Close");
            ++converted;
        } catch (const EhvError& error) {
            std::fprintf(stderr, "%s\n", error.what());
            ++failed;
        }
    }
    AutomationCall(*app, "Quit");
    std::printf("%d %d\n", converted, failed);
    return 0;
}
