#include "shell/hvStartup.h"

#include <memory>
#include <mutex>

#include "conversion/hvPowerPointOle.h"
#include "conversion/hvQUILLON.h"
#include "discovery/hvBatch.h"
#include "discovery/hvMatch.h"
#include "platform/files/paths.h"
#include "platform/files/programFiles.h"
#include "platform/system/signals.h"
#include "project/hvProject.h"
#include "shell/hvApp.h"
#include "shell/hvExitCode.h"
#include "shell/hvInfo.h"
#include "shell/hvMain.h"

namespace {

ThvWindowRunner& InstalledWindowRunner() {
    static ThvWindowRunner runner;
    return runner;
}

/// Owns one process-wide object and publishes it in its global pointer for exactly its
/// lifetime. Declared one after another in a scope, the holders destroy the objects in the
/// reverse order of their creation, which is the shut-down order. The pointer may be of a base
/// class of the object.
template <typename T, typename Global = T>
class ThvGlobal {
  public:
    template <typename... Args>
    ThvGlobal(Global*& global, Args&&... args)
        : global_(global), object_(std::make_unique<T>(std::forward<Args>(args)...)) {
        global_ = object_.get();
    }
    ~ThvGlobal() {
        global_ = nullptr;
        object_.reset();
    }
    ThvGlobal(const ThvGlobal&) = delete;
    ThvGlobal& operator=(const ThvGlobal&) = delete;

  private:
    Global*& global_;
    std::unique_ptr<T> object_;
};

constexpr const char* ProductTitle = "Quillon Converter";
constexpr const char* ProductVersion = "2024.16.323.2227";

}  // namespace

void SetWindowRunner(ThvWindowRunner runner) { InstalledWindowRunner() = std::move(runner); }

std::string UnattendedExample() {
    // In the form of this platform's paths.
    if (PathDelim == '\\') return "quillon -P:Source=C:\\in\\*.ppt?,Target=C:\\out,PureConsole=1";
    return "quillon -P:Source=/data/in/*.ppt?,Target=/data/out,PureConsole=1";
}

void SetProductConstants(ThvProject& project) {
    project.ConverterClass = &ThvQUILLON::Class();
    project.SourceMask = "*.ppt?";
    project.SourceFilter = "PowerPoint Workbook (*.ppt;*.pptx)|*.ppt;*.pptx";
    project.TargetExt = ".txt";
    project.ShortName = "quillon";
    project.ProjectExt = ".batch-" + project.ShortName;
    project.ProjectFilter = "Quillon Project|*" + project.ProjectExt;
    project.Title = ProductTitle;
    if (hvApp) hvApp->Title = project.Title;
    hvSkipLockFiles = true;
    project.Version = ProductVersion;
}

bool IsHelpRequest(const std::string& param) {
    return param == "/?" || param == "-?" || param == "--help";
}

std::string UsageText() {
    const bool windows = PathDelim == '\\';
    const std::string project = windows ? "C:\\talks\\weekly.batch-quillon"
                                        : "/data/talks/weekly.batch-quillon";
    const std::string source = windows ? "C:\\talks\\*.ppt?" : "/data/talks/*.ppt?";
    const char* program = windows ? "quillon.exe" : "quillon";
    return std::string(ProductTitle) + " " + ProductVersion +
           ": turns PowerPoint presentations (*.ppt?) into text files.\n\n"
           "Usage: " + program + " [argument]   (only the first argument counts)\n\n"
           "  (none)          the window, with the default project beside the program\n"
           "  PROJECT         a project file (" + project + "): its options;\n"
           "                  one with PureConsole=1 runs unattended, without a window\n"
           "  PATH            the window with PATH as the source (" + source + ")\n"
           "  -P:NAME=VALUE,...\n"
           "                  the project's options given here, separated by \",\" or \";\"\n"
           "  -I[TEXT], -U    the installation and removal reports, then the program ends\n"
           "  /?, -?, --help  this text\n\n"
           "An unattended run, its log beside the texts:\n  " + UnattendedExample() +
           (windows ? ",LogFile=C:\\out\\run.log" : ",LogFile=/data/out/run.log") +
           "\n\nExit codes: 0 when the run ended in order (failed files included), 1 when an "
           "error\nended it; with ExitCodes=strict 3 when files failed and 2 instead of 1. The "
           "guide\n(Help in the window) describes every option.\n";
}

bool IsUnattended(const ThvProject& project) {
    // Only an address is for the window; a folder named http-talks is a folder.
    return project.PureConsole() && !project.Source().starts_with("http");
}

int RunQuillon(const std::string& exeName, const std::string& param, std::ostream& err,
               bool errIsTerminal) {
    // Taken first, in either mode: a request that comes while the program starts is kept
    // until the run can stop in order (and leave its log), instead of ending the process with
    // nothing written; and held through the shut-down, where it finds nothing left to stop.
    const ThvStopSignals stopSignals;
    ThvGlobal<ThvApp> app(hvApp, exeName, param);
    // One answer for every file kept beside the program, so they never end up in two places.
    const std::string filesStem = BesideProgramStem(exeName);
    ThvGlobal<ThvInfo> info(hvInfo, exeName, filesStem);
    ThvGlobal<ThvProject> project(hvProject, filesStem);
    ThvGlobal<ThvMain> runner(hvMain, err, errIsTerminal);

    ThvPowerPointOle::OnApplicationVersion = [](int32_t version) {
        if (hvInfo) hvInfo->UpdateCounter("W", version, 1);
    };
    // A salvaged file is told on standard error; the log keeps its form.
    ThvPowerPointOle::OnOpenNote = [&err, errIsTerminal](const std::string& note) {
        static std::mutex lock;
        std::lock_guard guard(lock);
        err << (errIsTerminal ? "\r\033[K" : "") << "Note: " << note << "\n" << std::flush;
    };
    SetProductConstants(*hvProject);
    hvProject->OnReportSwitch = [](char letter, const std::string& argument) {
        hvInfo->CommandLineReport(letter, argument);
    };
    if (!hvProject->ParseCommandLine(hvApp->Param)) return 0;

    ThvGlobal<ThvMatch, ThvMatchBase> match(hvMatch);

    // A project that could not be read leaves no options, so nothing tells whether the user
    // meant a window or an unattended run; either way they must hear why nothing they set
    // holds. Without a window the program can do nothing more for them.
    if (!hvProject->LoadError.empty()) {
        if (!InstalledWindowRunner()) {
            err << "Application Error: " << hvProject->LoadError << "\n";
            return 1;
        }
        err << hvProject->Title << ": " << hvProject->LoadError << "\n";
    }

    if (IsUnattended(*hvProject)) {
        const ThvExitCodes codes = ReadExitCodes(hvProject->Option("ExitCodes"));
        try {
            hvMain->Run();
        } catch (const std::exception& e) {
            err << "Application Error: " << e.what() << "\n";
            return ExitCodeOf(codes, ThvRunOutcome::CouldNotStart);
        }
        // A run cut short by a signal did not do all it was asked to: the status a shell (and
        // a scheduler) shows for a program that signal ended, though this one ended in order.
        if (hvMain->StopSignal() != 0) return 128 + hvMain->StopSignal();
        return ExitCodeOf(
            codes, hvMain->FilesFailed() ? ThvRunOutcome::FilesFailed : ThvRunOutcome::Completed);
    }
    if (InstalledWindowRunner()) return InstalledWindowRunner()();
    err << hvProject->Title << ": this build has no window. Run a project with PureConsole=1, "
        << "for example: " << UnattendedExample() << "\n";
    return 0;
}
