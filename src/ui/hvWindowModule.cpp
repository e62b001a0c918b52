// The window module's entry: window mode of the start-up sequence (its step 10), run with the
// process-wide objects that the executable has made and exports.

#include <QMessageLogContext>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/system/choosers.h"
#include "project/hvProject.h"
#include "shell/hvStartup.h"
#include "ui/hvApplication.h"
#include "ui/hvDispatcher.h"
#include "ui/hvFormMain.h"
#include "ui/hvQtChoosers.h"
#include "ui/hvQuillonAbout.h"

namespace {

// While the application object is being made, the toolkit's messages are held back: when it
// finds no display it ends the process with a fatal message, and the user gets one clear line
// instead of the toolkit's report.
bool constructing = false;
QtMessageHandler previousHandler = nullptr;
std::string heldBack;

void OnToolkitMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (!constructing) {
        if (previousHandler) previousHandler(type, context, text);
        return;
    }
    if (type != QtFatalMsg) {
        if (heldBack.empty()) heldBack = text.toStdString();
        return;
    }
    const std::string reason = heldBack.empty() ? text.toStdString() : heldBack;
    std::fprintf(stderr,
                 "%s: no display could be opened for the window (%s); run a project unattended "
                 "instead, for example: %s\n",
                 hvProject ? hvProject->Title.c_str() : "Quillon Converter", reason.c_str(),
                 UnattendedExample().c_str());
    std::fflush(stderr);
    std::_Exit(1);
}

}  // namespace

extern "C" int QuillonWindowMain(const char* exeName) {
    // The toolkit reads options from its arguments; the program's own argument is not one.
    static std::string programName = exeName;
    static int argc = 1;
    static char* argv[] = {programName.data(), nullptr};

    previousHandler = qInstallMessageHandler(OnToolkitMessage);
    constructing = true;
    ThvApplication application(argc, argv);
    constructing = false;
    heldBack.clear();
    application.setApplicationName(QString::fromStdString(hvProject->Title));
    LoadDesignFonts();
    ThvGuiDispatcher dispatcher;

    auto mainWindow = std::make_unique<ThvFrmMain>();
    hvFrmMain = mainWindow.get();
    InstallQtChoosers(mainWindow.get());
    auto about = std::make_unique<ThvFrmQuillonAbout>(mainWindow.get());
    hvFrmQuillonAbout = about.get();
    about->ShowAbout();
    mainWindow->show();
    int exitCode = application.exec();
    // As the unattended run: stopped in order, but not all it was asked to do was done.
    if (exitCode == 0 && mainWindow->StopSignal() != 0) exitCode = 128 + mainWindow->StopSignal();

    // The windows go before the program's other objects: their clean-up ends the batch's
    // search, which uses the project and the matcher.
    hvFrmQuillonAbout = nullptr;
    about.reset();
    SetChoosers({});
    mainWindow.reset();
    return exitCode;
}
