#include "ui/hvApplication.h"

#include <QFontDatabase>

#include "platform/files/fileSystem.h"
#include "platform/system/fontFiles.h"
#include "shell/hvInfo.h"

ThvApplication::ThvApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool ThvApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        if (hvInfo) hvInfo->AppException(e.what());
    } catch (...) {
        if (hvInfo) hvInfo->AppException("Unknown error");
    }
    return false;
}

void LoadDesignFonts() {
    if (QFontDatabase::hasFamily("Tahoma")) return;
    for (const std::string& file : DesignFontFiles())
        if (FileExists(file)) QFontDatabase::addApplicationFont(QString::fromStdString(file));
}
