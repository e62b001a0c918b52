#include "ui/hvQtChoosers.h"

#include <QDir>
#include <QFileDialog>
#include <QPointer>

#include <algorithm>

namespace {

struct TChooserHookState {
    std::optional<std::optional<std::string>> folder;
    std::optional<std::optional<std::vector<std::string>>> openFiles;
    std::optional<std::optional<std::string>> saveFile;
    std::string folderStart;
    ThvOpenFileRequest openRequest;
    ThvSaveFileRequest saveRequest;
};

TChooserHookState& Hook() {
    static TChooserHookState state;
    return state;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

// A chosen path with the system's delimiter: the toolkit writes "/" on Windows too.
std::string Native(const QString& path) { return QDir::toNativeSeparators(path).toStdString(); }

/// Takes the hook's answer out when one is set.
template <typename T>
std::optional<std::optional<T>> TakeAnswer(std::optional<std::optional<T>>& slot) {
    auto answer = std::move(slot);
    slot.reset();
    return answer;
}

}  // namespace

std::string QtFilter(const std::string& filter) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t bar; (bar = filter.find('|', start)) != std::string::npos; start = bar + 1)
        parts.push_back(filter.substr(start, bar - start));
    parts.push_back(filter.substr(start));
    std::string result;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::string name = parts[i];
        // "Name (*.a;*.b)" would read "Name (*.a;*.b) (*.a *.b)" once Qt's own list is added.
        if (name.ends_with(')')) {
            const std::size_t open = name.rfind('(');
            if (open != std::string::npos) name.erase(open);
            while (!name.empty() && name.back() == ' ') name.pop_back();
        }
        std::string patterns = parts[i + 1];
        std::replace(patterns.begin(), patterns.end(), ';', ' ');
        if (!result.empty()) result += ";;";
        result += name + " (" + patterns + ")";
    }
    return result;
}

void InstallQtChoosers(QWidget* owner) {
    QPointer<QWidget> parent(owner);
    ThvChoosers choosers;
    choosers.Folder = [parent](const std::string& start) -> std::optional<std::string> {
        Hook().folderStart = start;
        if (auto answer = TakeAnswer(Hook().folder)) return *answer;
        const QString chosen = QFileDialog::getExistingDirectory(parent, QString(), Q(start));
        if (chosen.isEmpty()) return std::nullopt;
        return Native(chosen);
    };
    choosers.OpenFile =
        [parent](const ThvOpenFileRequest& request) -> std::optional<std::vector<std::string>> {
        Hook().openRequest = request;
        if (auto answer = TakeAnswer(Hook().openFiles)) return *answer;
        QFileDialog dialog(parent, QString(), Q(request.InitialDir), Q(QtFilter(request.Filter)));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(request.Multiple ? QFileDialog::ExistingFiles
                                            : QFileDialog::ExistingFile);
        if (!request.FileName.empty()) dialog.selectFile(Q(request.FileName));
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        std::vector<std::string> files;
        for (const QString& file : dialog.selectedFiles()) files.push_back(Native(file));
        return files;
    };
    choosers.SaveFile = [parent](const ThvSaveFileRequest& request) -> std::optional<std::string> {
        Hook().saveRequest = request;
        if (auto answer = TakeAnswer(Hook().saveFile)) return *answer;
        QFileDialog dialog(parent, QString(), Q(request.InitialDir), Q(QtFilter(request.Filter)));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // Qt takes the suffix without its dot; it asks before replacing a file by default.
        std::string suffix = request.DefaultExt;
        if (suffix.starts_with('.')) suffix.erase(0, 1);
        dialog.setDefaultSuffix(Q(suffix));
        if (!request.FileName.empty()) dialog.selectFile(Q(request.FileName));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return Native(dialog.selectedFiles().front());
    };
    SetChoosers(std::move(choosers));
}

void ThvChooserTestHook::NextFolder(std::optional<std::string> answer) {
    Hook().folder.emplace(std::move(answer));
}
void ThvChooserTestHook::NextOpenFiles(std::optional<std::vector<std::string>> answer) {
    Hook().openFiles.emplace(std::move(answer));
}
void ThvChooserTestHook::NextSaveFile(std::optional<std::string> answer) {
    Hook().saveFile.emplace(std::move(answer));
}
std::string ThvChooserTestHook::LastFolderStart() { return Hook().folderStart; }
ThvOpenFileRequest ThvChooserTestHook::LastOpenRequest() { return Hook().openRequest; }
ThvSaveFileRequest ThvChooserTestHook::LastSaveRequest() { return Hook().saveRequest; }
