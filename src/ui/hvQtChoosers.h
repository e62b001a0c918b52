#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/system/choosers.h"

class QWidget;

/// Installs the folder, open-file and save-file choosers as Qt file dialogs owned by owner
/// (the main window; may be null). On the GUI thread.
void InstallQtChoosers(QWidget* owner);

/// The next answer of a chooser, set by a test: the chooser then answers it at once without a
/// dialog (nullopt answers "cancelled"), once, and keeps the request for the test to look at.
/// GUI thread only.
struct ThvChooserTestHook {
    static void NextFolder(std::optional<std::string> answer);
    static void NextOpenFiles(std::optional<std::vector<std::string>> answer);
    static void NextSaveFile(std::optional<std::string> answer);

    /// The start folder, or request, that the last answered chooser of each kind was given.
    static std::string LastFolderStart();
    static ThvOpenFileRequest LastOpenRequest();
    static ThvSaveFileRequest LastSaveRequest();
};

/// A chooser filter ("Name|*.a;*.b|Other|*.c") as Qt's ("Name (*.a *.b);;Other (*.c)"). A name
/// that ends in its own pattern list in parentheses keeps only the one Qt adds.
std::string QtFilter(const std::string& filter);
