// The main window's sources and target: the folder and file choosers, and dropped paths.

#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QTableView>
#include <QToolBar>
#include <QToolTip>
#include <QUrl>
#include <algorithm>

#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"
#include "platform/files/paths.h"
#include "platform/files/textFile.h"
#include "platform/system/choosers.h"
#include "discovery/hvBatch.h"
#include "project/hvProject.h"
#include "ui/hvFormMain.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string Trim(const std::string& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && IsBlankOrControl(text[begin])) ++begin;
    while (end > begin && IsBlankOrControl(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

/// The local paths of a drop, whole and in the order the desktop gives them.
std::vector<std::string> DroppedPaths(const QMimeData* data) {
    std::vector<std::string> paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
    return paths;
}

const char* const RefusedDuringRun = "Files can be added to the list when the run has ended";

}  // namespace

void ThvFrmMain::bSourceClick() {
    const char delim = hvProject->PathDelim;
    std::string folder = ExtractFilePath(eSource->text().toStdString(), delim);
    if (!SelectFolder(folder)) return;
    if (folder.empty() || folder.back() != delim) folder += delim;
    eSource->setText(Q(folder + hvProject->SourceMask));
    SuggestTarget(folder);
}

void ThvFrmMain::bSourceFileClick() {
    if (!ListTakesFiles()) return;
    std::string chosen = eSource->text().toStdString();
    // After the product's own filter, the names a search converts and any file at all.
    const std::string filter =
        hvProject->SourceFilter + "|Presentations (*.ppt?)|*.ppt?|All files (*)|*";
    if (!SelectOpenFile(filter, chosen, true)) return;
    const std::string text = Trim(chosen);
    if (text.find('\n') == std::string::npos) eSource->setText(Q(text));
    NewBatch();
    for (const std::string& line : SplitLines(text)) {
        const std::string path = Trim(line);
        if (!path.empty()) AddSourceFile(path);
    }
}

void ThvFrmMain::bTargetClick() {
    const char delim = hvProject->PathDelim;
    std::string folder = eTarget->text().toStdString();
    if (!SelectFolder(folder)) return;
    if (folder.empty() || folder.back() != delim) folder += delim;
    eTarget->setText(Q(folder));
}

QWidget* ThvFrmMain::DropTarget(const QPoint& pos) const {
    for (QWidget* w = childAt(pos); w && w != this; w = w->parentWidget()) {
        if (w == lViewer || w == eSource || w == eTarget) return w;
        // Buttons, the check box, labels, panels and the tool bar take no drops.
        if (w == pViewer || w == pSource || w == pTarget || w == ToolBar || w == pAction) break;
    }
    return nullptr;
}

void ThvFrmMain::DropFiles(const QPoint& pos, const std::vector<std::string>& paths) {
    QWidget* target = DropTarget(pos);
    if (!target || paths.empty()) return;
    const std::size_t n = paths.size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::string& path = paths[i];
        if (n == 1 && hvProject->IsProjectFile(path)) {
            hvProject->FileName = path;
            hvProject->Open(true);
            UpdateTitle();
            return;
        }
        if (auto* edit = qobject_cast<QLineEdit*>(target)) {
            edit->setText(Q(path));
            SuggestTarget(ExtractFilePath(path, hvProject->PathDelim));
            return;
        }
        if (!ListTakesFiles()) return;
        if (std::any_of(paths.begin(), paths.end(), DirectoryExists)) {
            DropFolders(paths);
            return;
        }
        if (i == 0) NewBatch();
        AddSourceFile(path);
    }
}

void ThvFrmMain::DropFolders(const std::vector<std::string>& paths) {
    // The mask of the Source box when it has one, else the product's.
    const std::string name = ExtractFileName(eSource->text().toStdString());
    const std::string mask = name.find_first_of("*?") != std::string::npos
                                 ? name
                                 : hvProject->SourceMask;
    NewBatch();
    SuggestTarget(ExtractFilePath(paths[0], hvProject->PathDelim));
    try {
        FBatch->StartPaths(paths, mask, hvProject->ResolvePath(eTarget->text().toStdString()),
                           cSubdir->isChecked());
        StartStatus("Searching");
    } catch (const EhvError& e) {
        ShowStatus(Q(e.what()));
    }
}

void ThvFrmMain::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedPaths(event->mimeData()).empty()) event->acceptProposedAction();
}

void ThvFrmMain::dragMoveEvent(QDragMoveEvent* event) {
    const QPoint pos = event->position().toPoint();
    const std::vector<std::string> paths = DroppedPaths(event->mimeData());
    QWidget* target = DropTarget(pos);
    const bool project = paths.size() == 1 && hvProject->IsProjectFile(paths[0]);
    if (!target || paths.empty()) {
        event->ignore();
    } else if (target == lViewer && !project && !ListTakesFiles()) {
        // Said where the user looks, not in a box that would interrupt the drag.
        QToolTip::showText(mapToGlobal(pos), RefusedDuringRun, this);
        event->ignore();
    } else {
        event->acceptProposedAction();
    }
}

void ThvFrmMain::dropEvent(QDropEvent* event) {
    DropFiles(event->position().toPoint(), DroppedPaths(event->mimeData()));
    event->acceptProposedAction();
}
