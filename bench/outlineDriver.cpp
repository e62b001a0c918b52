// Opens every file named on the command line through the automation layer, as a converter
// thread does, and saves its rich-text outline into the output folder. Stands in for an
// unattended quillon run in the benchmark until that run exists.
//
//   outlineDriver <output-folder> <file>...
// Prints one line per failed file to standard error and "<converted> <failed>" at the end.

#include <cstdio>
#include <string>

#include "automation.h"
#include "hvEngine.h"
#include "paths.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: outlineDriver <output-folder> <file>...\n");
        return 2;
    }
    RegisterPowerPointEngine();
    std::string output = IncludeTrailingPathDelimiter(argv[1]);
    AutomationObjectPtr app = CreateAutomationObject("PowerPoint.Application");
    AutomationObjectPtr presentations = AutomationGet(*app, "Presentations").ToObject();
    int converted = 0;
    int failed = 0;
    for (int i = 2; i < argc; ++i) {
        std::string source = argv[i];
        std::string target = output + std::to_string(i - 1) + "-" +
                             ChangeFileExt(ExtractFileName(source), ".rtf");
        try {
            AutomationObjectPtr presentation =
                AutomationCall(*presentations, "Open", {source, true}).ToObject();
            AutomationCall(*presentation, "SaveAs", {target, int32_t(6)});
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
