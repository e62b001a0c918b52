// The main window's results list: its rows, the run-end log and the list's export, the list's
// menu and the recent-projects menu.

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMessageBox>
#include <QTableView>

#include "discovery/hvBatch.h"
#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"
#include "platform/files/pathIdentity.h"
#include "platform/files/paths.h"
#include "platform/files/textFile.h"
#include "platform/system/choosers.h"
#include "platform/system/shellOpen.h"
#include "project/hvProject.h"
#include "shell/hvLogPathCheck.h"
#include "shell/hvLogText.h"
#include "shell/hvRunReport.h"
#include "text/textEncoding.h"
#include "ui/hvFormMain.h"
#include "ui/hvImages.h"
#include "ui/hvResultFeed.h"
#include "ui/hvResultsModel.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

const char* StateWord(int image) {
    switch (image) {
        case ThvImageList::Success:
        case ThvImageList::Salvaged:
            return "Success";
        case ThvImageList::Failure:
            return "Failure";
        case ThvImageList::NotConverted:
            return "Not converted";
        default:
            return "Running";
    }
}

}  // namespace

void ThvFrmMain::CreateListMenu() {
    pm1 = new QMenu(this);
    pm1->setObjectName("pm1");
    auto item = [this](const char* name, const char* caption) {
        QAction* action = pm1->addAction(QString::fromUtf8(caption));
        action->setObjectName(name);
        return action;
    };
    BrowseFiles1 = item("BrowseFiles1", "Browse Files");
    pm1->addSeparator()->setObjectName("N1");
    ViewSource1 = item("ViewSource1", "View  Source");
    OpenSource1 = item("OpenSource1", "Open Source");
    pm1->addSeparator()->setObjectName("N2");
    ViewOutput1 = item("ViewOutput1", "View  Output");
    pm1->addSeparator()->setObjectName("N3");
    ExportList1 = item("ExportList1", "Export the List");
    pm1->addSeparator()->setObjectName("N4");
    OpenText1 = item("OpenText1", "Open Text");
    Copy1 = item("Copy1", "Copy");
    Copy1->setShortcut(QKeySequence::Copy);
    Copy1->setShortcutContext(Qt::WidgetShortcut);
    lViewer->addAction(Copy1);
    FailuresOnly1 = item("FailuresOnly1", "Failures only");
    FailuresOnly1->setCheckable(true);
    connect(BrowseFiles1, &QAction::triggered, this, &ThvFrmMain::bSourceFileClick);
    connect(ViewSource1, &QAction::triggered, this, &ThvFrmMain::ViewSource1Click);
    connect(OpenSource1, &QAction::triggered, this, &ThvFrmMain::OpenSource1Click);
    connect(ViewOutput1, &QAction::triggered, aView, &QAction::trigger);
    connect(ExportList1, &QAction::triggered, this, &ThvFrmMain::ExportList1Click);
    connect(OpenText1, &QAction::triggered, this, [this] { OpenRowText(FirstSelectedRow()); });
    connect(Copy1, &QAction::triggered, this, &ThvFrmMain::CopySelectedRows);
    connect(FailuresOnly1, &QAction::toggled, this, &ThvFrmMain::ShowFailuresOnly);
    connect(lViewer, &QAbstractItemView::activated, this,
            [this](const QModelIndex& index) { OpenRowText(shown_->EntryOf(index)); });
    lViewer->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lViewer, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        pm1Popup();
        pm1->popup(lViewer->viewport()->mapToGlobal(at));
    });
    connect(pm2, &QMenu::aboutToShow, this, &ThvFrmMain::pm2Popup);
}

void ThvFrmMain::OnBatchEntry(uint64_t batchNumber, ThvNode&) { feed_->Found(batchNumber); }

void ThvFrmMain::OnEntryConverted(uint64_t batchNumber, ThvNode& entry) {
    feed_->Converted(batchNumber, entry.Index);
}

void ThvFrmMain::ItemForEntry() {
    drain_.stop();
    sinceDrain_.restart();
    const ThvResultFeed::TNews news = feed_->Take();
    if (!FBatch) return;
    std::vector<const ThvNode*> listed;
    std::vector<const ThvNode*> converted;
    {
        // The batch's own lock, held only to copy node pointers: no worker that holds it ever
        // waits for this thread, and the search goes on while the rows are made.
        ThvBatchLock lock(*FBatch);
        const ThvNodeList& nodes = lock.Nodes();
        for (std::size_t i = static_cast<std::size_t>(model_->rowCount()); i < nodes.size(); ++i)
            listed.push_back(nodes[i].get());
        for (int32_t index : news.Converted)
            if (index >= 0 && static_cast<std::size_t>(index) < nodes.size())
                converted.push_back(nodes[static_cast<std::size_t>(index)].get());
    }
    // A node keeps its address and its Source while the batch lives.
    std::vector<QString> newRows;
    newRows.reserve(listed.size());
    for (const ThvNode* entry : listed) newRows.push_back(Q(entry->Source));
    model_->Append(newRows);
    for (const ThvNode* entry : converted) {
        // Its converter is done with it: State and Result are read after its notification.
        // The whole source and text file, whatever their names hold; of an error its first
        // line.
        const std::vector<std::string> lines = entry->State == ThvNode::Failure
                                                   ? SplitLines(entry->Result)
                                                   : std::vector<std::string>{};
        const QString result = entry->State != ThvNode::Failure ? Q(entry->Result)
                               : lines.empty()                  ? QString()
                                                                : Q(lines[0]);
        if (entry->State == ThvNode::Success && !entry->Salvage.empty()) {
            // What was lost, after the text file: the note begins with the source's name,
            // which the row shows already.
            const std::string& note = entry->Salvage;
            const std::size_t from = note.find(" was salvaged: ");
            const std::string lost = from == std::string::npos ? note : note.substr(from + 5);
            const std::vector<std::string> said = SplitLines(lost);
            const QString salvaged = result + " (" + (said.empty() ? QString() : Q(said[0])) + ")";
            model_->Update(entry->Index, ThvImageList::Salvaged, Q(entry->Source), &salvaged);
        } else {
            model_->Update(entry->Index, entry->State, Q(entry->Source), &result);
        }
        if (entry->State == ThvNode::Success) model_->SetText(entry->Index, Q(entry->Result));
    }
}

void ThvFrmMain::RefuseListedSource(const std::string& path) const {
    const std::string name = ExtractFileName(path);
    const std::string behind = FullyResolvedPath(path);
    const std::string behindName = ExtractFileName(behind);
    const std::string resolved = ResolvedPath(path);
    for (int i = 0; i < model_->rowCount(); ++i) {
        const std::string source = model_->Row(i).Source.toStdString();
        // The name first: resolving every row of a large list costs a look-up each.
        const std::string sourceName = ExtractFileName(source);
        if (sourceName != name && sourceName != behindName) continue;
        if ((!resolved.empty() && ResolvedPath(source) == resolved) ||
            SameExistingFile(path, source))
            throw EhvError("Cannot write the list of results to \"" + path +
                           "\": it is a presentation of this run.");
    }
}

void ThvFrmMain::RefuseListPath(const std::string& path) const {
    // Before anything is written: a list saved over a presentation or a file the program reads
    // would destroy it.
    CheckResultListPath(path, FBatch.get());
    // A stopped run's batch is gone but its rows stay, chosen files among them.
    if (!FBatch) RefuseListedSource(path);
}

std::vector<std::string> ThvFrmMain::ListLines(const std::vector<int>& rows) const {
    std::vector<std::string> lines;
    lines.reserve(rows.size());
    // The fields in the unattended log's escape form: no file name can break or forge a line.
    const std::string codePage = AnsiCodePage();
    for (int i : rows) {
        const ThvResultsModel::TRow& row = model_->Row(i);
        lines.push_back(std::string("[") + StateWord(row.Image) + "] => " +
                        EscapeLogField(row.Source.toStdString(), codePage) + " => " +
                        EscapeLogField(row.Result.toStdString(), codePage));
    }
    return lines;
}

std::vector<std::string> ThvFrmMain::ListLines() const {
    std::vector<int> rows(static_cast<std::size_t>(model_->rowCount()));
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<int>(i);
    return ListLines(rows);
}

void ThvFrmMain::CopySelectedRows() {
    std::vector<int> rows;
    for (const QModelIndex& index : lViewer->selectionModel()->selectedRows())
        rows.push_back(shown_->EntryOf(index));
    if (rows.empty()) return;
    std::sort(rows.begin(), rows.end());
    QString text;
    for (const std::string& line : ListLines(rows)) text += Q(line) + "\n";
    QGuiApplication::clipboard()->setText(text);
}

void ThvFrmMain::OpenRowText(int row) {
    if (row < 0 || row >= model_->rowCount()) return;
    const QString& text = model_->Row(row).Text;
    if (!text.isEmpty()) ShellOpen(text.toStdString());
}

void ThvFrmMain::ExportList(const std::string& path) {
    RefuseListPath(path);
    WriteRunLog(path, ListLines());
}

void ThvFrmMain::ExportList1Click() {
    std::string path;
    if (!SelectSaveFile("Log File|*.log", ".log", path)) return;
    try {
        ExportList(path);
    } catch (const EhvError& e) {
        QMessageBox::critical(this, Q(hvProject->Title), Q(e.what()));
    }
}

void ThvFrmMain::pm1Popup() {
    const bool selected = lViewer->selectionModel()->hasSelection();
    OpenSource1->setEnabled(selected);
    ViewSource1->setEnabled(selected);
    Copy1->setEnabled(selected);
    const int first = FirstSelectedRow();
    OpenText1->setEnabled(first >= 0 && !model_->Row(first).Text.isEmpty());
}

int ThvFrmMain::FirstSelectedRow() const {
    const QModelIndexList rows = lViewer->selectionModel()->selectedRows();
    if (rows.isEmpty()) return -1;
    int first = shown_->EntryOf(rows.front());
    for (const QModelIndex& row : rows) first = std::min(first, shown_->EntryOf(row));
    return first;
}

void ThvFrmMain::OpenSelectedSource(bool folderOnly) {
    const int first = FirstSelectedRow();
    if (first < 0) return;
    std::string source = model_->Row(first).Source.toStdString();
    if (folderOnly) source = ExtractFilePath(source, hvProject->PathDelim);
    ShellOpen(source);
}

void ThvFrmMain::pm2Popup() {
    pm2->clear();
    for (const std::string& path : hvProject->RecentFiles.Lines()) {
        // Shown exactly as it is: a "&" is doubled, or it would mark an access key.
        QAction* item = pm2->addAction(Q(path).replace("&", "&&"));
        item->setData(Q(path));
        item->setEnabled(FileExists(path));
        connect(item, &QAction::triggered, this, [this, item] { RecentProjectClick(item); });
    }
}

void ThvFrmMain::RecentProjectClick(QAction* item) {
    hvProject->FileName = item->data().toString().toStdString();
    hvProject->Open(true);
    UpdateTitle();
}
