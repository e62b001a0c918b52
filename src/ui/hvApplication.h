#pragma once

#include <QApplication>

/// The window application. Errors that reach its event loop are not shown in a message box:
/// hvInfo counts them and opens an error report (ThvInfo::AppException), and the loop goes on.
class ThvApplication : public QApplication {
  public:
    /// argc and argv must outlive the application, as for any QApplication.
    ThvApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

/// The program's fonts: Tahoma when the system has it or a design font file holds it
/// (fontFiles.h), otherwise the desktop's sans font. Call once the application exists.
void LoadDesignFonts();
