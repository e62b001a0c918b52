#include "ui/hvFormMain.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QShowEvent>
#include <QStandardItemModel>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QStatusBar>
#include <QVBoxLayout>
#include <filesystem>
#include <thread>

#include "conversion/hvConvertor.h"
#include "discovery/hvBatch.h"
#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"
#include "platform/files/paths.h"
#include "platform/system/shellOpen.h"
#include "platform/system/signals.h"
#include "project/hvProject.h"
#include "shell/hvInfo.h"
#include "shell/hvLogPathCheck.h"
#include "shell/hvRunReport.h"
#include "ui/hvActionButton.h"
#include "ui/hvBoundControls.h"
#include "ui/hvDispatcher.h"
#include "ui/hvFormCfg.h"
#include "ui/hvImages.h"
#include "ui/hvQuillonAbout.h"
#include "ui/hvResultFeed.h"
#include "ui/hvResultsModel.h"
#include "ui/hvTargetBox.h"

ThvFrmMain* hvFrmMain = nullptr;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

bool ChainEnded(const std::shared_ptr<ThvConvertor>& chain) {
    for (const ThvConvertor* c = chain.get(); c; c = c->Next.get())
        if (!c->Ended()) return false;
    return true;
}

/// A panel of the window: a frame with a lowered bevel, or a plain area.
QFrame* MakePanel(QWidget* parent, const char* name, bool lowered) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    if (lowered) panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return panel;
}

}  // namespace

ThvFrmMain::ThvFrmMain(QWidget* parent)
    : ThvFrmBase(parent), self_(std::make_shared<ThvFrmMain*>(this)) {
    setObjectName("hvFrmMain");
    setAcceptDrops(true);
    feed_ = new ThvResultFeed([this] { NewsArrived(); });
    drain_.setSingleShot(true);
    connect(&drain_, &QTimer::timeout, this, &ThvFrmMain::ItemForEntry);
    sinceDrain_.start();
    feed_->setParent(this);
    CreateActions();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    CreateToolBar();
    layout->addWidget(ToolBar);
    CreateActionPanel();
    layout->addWidget(pAction);
    pSpacer = MakePanel(this, "pSpacer", false);
    pSpacer->setFixedHeight(2);
    layout->addWidget(pSpacer);
    CreateViewer();
    layout->addWidget(pViewer, 1);
    CreateStatusBar();
    layout->addWidget(StatusBar);
    setWindowIcon(ThvImageList::ProductPicture());
    // Every control of the panels stays in reach; the tool bar folds what does not fit into
    // its extension menu.
    setMinimumSize(560, 300);

    setTabOrder(eSource, bSource);
    setTabOrder(bSource, bSourceFile);
    setTabOrder(bSourceFile, cSubdir);
    setTabOrder(cSubdir, bSearch);
    setTabOrder(bSearch, eTarget);
    setTabOrder(eTarget, bTarget);
    setTabOrder(bTarget, bSearchConvert);
    setTabOrder(bSearchConvert, bCreate);
    setTabOrder(bCreate, bView);
    setTabOrder(bView, lViewer);

    reaper_.setInterval(20);
    connect(&reaper_, &QTimer::timeout, this, &ThvFrmMain::FreeEndedBatches);
    daemon_.setSingleShot(true);
    connect(&daemon_, &QTimer::timeout, this, [this] {
        if (state_ == TRunState::Idle && !closePending_) AutoRun();
    });
    stopPoll_.setInterval(50);
    connect(&stopPoll_, &QTimer::timeout, this, [this] {
        stopSignal_ = ThvStopSignals::Received();
        if (stopSignal_ == 0) return;
        stopPoll_.stop();
        close();
    });
    stopPoll_.start();

    // FormCreate.
    RegisterOptionControls();
    hvProject->OpenStartup();
    UpdateTitle();
    EnterState(TRunState::Idle);
}

ThvFrmMain::~ThvFrmMain() {
    // OnFinish calls still on their way find no window.
    self_.reset();
    if (FConvertor) FConvertor->Stop();
    if (FBatch) FBatch->Terminate();
    if (FBatch) Retire(std::move(FBatch), FConvertor);
    FConvertor.reset();
    // Converters of a run that was not allowed to end wait for the GUI thread: their queued
    // calls are answered here, and each then finishes the file in hand and ends.
    while (!retired_.empty()) {
        DeliverQueuedCalls();
        FreeEndedBatches();
        if (!retired_.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    for (const auto& binding : bindings_) hvProject->Unbind(*binding);
    if (hvFrmMain == this) hvFrmMain = nullptr;
}

QAction* ThvFrmMain::MakeAction(const char* name, const char* caption, const char* hint,
                                void (ThvFrmMain::*handler)()) {
    auto* action = new QAction(QString::fromUtf8(caption), this);
    action->setObjectName(name);
    // Tool buttons show the icon text; set, it keeps its "&" and so its access key.
    action->setIconText(QString::fromUtf8(caption));
    action->setProperty("hint", QString::fromUtf8(hint));
    action->setToolTip(QString::fromUtf8(hint));
    connect(action, &QAction::triggered, this, handler);
    return action;
}

void ThvFrmMain::CreateActions() {
    aSearch = MakeAction("aSearch", "Search", "Search files from the source folder",
                         &ThvFrmMain::aSearchExecute);
    aConvert = MakeAction("aConvert", "&Convert", "Convert the file(s) instantly",
                          &ThvFrmMain::aConvertExecute);
    aSearchConvert = MakeAction("aSearchConvert", "Start", "", &ThvFrmMain::aSearchConvertExecute);
    aSearchConvert->setVisible(false);
    aPause = MakeAction("aPause", "Pause", "", &ThvFrmMain::aPauseExecute);
    aStop = MakeAction("aStop", "Sto&p", "", &ThvFrmMain::aStopExecute);
    aView = MakeAction("aView", "View", "View the convert result", &ThvFrmMain::aViewExecute);
    aOpen = MakeAction("aOpen", "&Open", "Open a batch project", &ThvFrmMain::aOpenExecute);
    aNew = MakeAction("aNew", "&New", "New a batch project", &ThvFrmMain::aNewExecute);
    aConfig = MakeAction("aConfig", "Config", "Config the options of the batch project",
                         &ThvFrmMain::aConfigExecute);
    aSave = MakeAction("aSave", "Sa&ve", "Save the batch project", &ThvFrmMain::aSaveExecute);
    aSaveAs = MakeAction("aSaveAs", "Save &As", "Save the batch project as ...",
                         &ThvFrmMain::aSaveAsExecute);
    aUpdate = MakeAction("aUpdate", "Check &Update", "", &ThvFrmMain::aUpdateExecute);
    aHelp = MakeAction("aHelp", "&Help", "", &ThvFrmMain::aHelpExecute);
    aHomePage = MakeAction("aHomePage", "Home", "", &ThvFrmMain::aHomePageExecute);
    aSupports = MakeAction("aSupports", "Support", "Send us e-mail for support",
                           &ThvFrmMain::aSupportsExecute);
    aAbout = MakeAction("aAbout", "About", "", &ThvFrmMain::aAboutExecute);
}

QToolButton* ThvFrmMain::AddToolButton(const char* name, QAction* action, int image) {
    action->setIcon(ThvImageList::Image(image));
    auto* button = new QToolButton(ToolBar);
    button->setObjectName(name);
    button->setDefaultAction(action);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    button->setMinimumWidth(101);
    // An action without a hint shows none; Qt would show its caption instead.
    button->installEventFilter(this);
    ToolBar->addWidget(button);
    return button;
}

void ThvFrmMain::CreateToolBar() {
    ToolBar = new QToolBar(this);
    ToolBar->setObjectName("ToolBar");
    ToolBar->setMovable(false);
    ToolBar->setFloatable(false);
    ToolBar->setIconSize(QSize(16, 16));
    ToolBar->setMinimumHeight(24);
    pm2 = new QMenu(this);
    pm2->setObjectName("pm2");
    QToolButton* open = AddToolButton("tbOpen", aOpen, ThvImageList::Open);
    open->setMenu(pm2);
    open->setPopupMode(QToolButton::MenuButtonPopup);
    AddToolButton("tbNew", aNew, ThvImageList::New);
    AddToolButton("tbConfig", aConfig, ThvImageList::Config);
    AddToolButton("tbSave", aSave, ThvImageList::Save);
    AddToolButton("tbSaveAs", aSaveAs, ThvImageList::SaveAs);
    ToolBar->addSeparator()->setObjectName("tb1");
    AddToolButton("tbUpdate", aUpdate, ThvImageList::Update);
    ToolBar->addSeparator()->setObjectName("tb2");
    AddToolButton("tbHelp", aHelp, ThvImageList::Help);
    AddToolButton("tbHomePage", aHomePage, ThvImageList::Home);
    AddToolButton("tbSupports", aSupports, ThvImageList::Support);
    AddToolButton("tbAbout", aAbout, ThvImageList::About);
}

void ThvFrmMain::CreateActionPanel() {
    pAction = MakePanel(this, "pAction", true);
    pAction->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* column = new QVBoxLayout(pAction);
    const int bevel = pAction->frameWidth();
    column->setContentsMargins(bevel + 4, bevel + 6, bevel + 4, bevel + 6);
    column->setSpacing(6);

    // A row of a panel: the label left of the box, the box taking what width there is, then
    // the buttons at their own widths.
    auto row = [](QWidget* panel) {
        auto* line = new QHBoxLayout(panel);
        line->setContentsMargins(0, 0, 0, 0);
        line->setSpacing(4);
        return line;
    };
    auto labelFor = [](QWidget* panel, const char* name, const char* caption, QLineEdit* edit) {
        auto* label = new QLabel(QString::fromUtf8(caption), panel);
        label->setObjectName(name);
        label->setBuddy(edit);
        return label;
    };
    auto actionButton = [](QWidget* panel, const char* name, QAction* action) {
        auto* button = new ThvActionButton(panel);
        button->setObjectName(name);
        button->SetAction(action);
        button->setMinimumWidth(76);
        return button;
    };
    auto narrowButton = [](QWidget* panel, const char* name, const char* caption) {
        auto* button = new QPushButton(QString::fromUtf8(caption), panel);
        button->setObjectName(name);
        // The caption's width and a little, not a push button's usual 80 pixels.
        button->setMinimumWidth(button->fontMetrics().horizontalAdvance(button->text()) + 12);
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        return button;
    };

    pSource = MakePanel(pAction, "pSource", false);
    pSource->setToolTip("Choose or drag & drop source folder or file(s)");
    eSource = new QLineEdit(pSource);
    eSource->setObjectName("eSource");
    lSource = labelFor(pSource, "lSource", "&Source", eSource);
    bSource = narrowButton(pSource, "bSource", "Folder");
    bSource->setToolTip("Choose a folder and click \"Search\" to list files");
    bSourceFile = narrowButton(pSource, "bSourceFile", "Files");
    bSourceFile->setToolTip("Choose file(s) and click \"Convert\" to convert them");
    cSubdir = new QCheckBox("Su&b folders", pSource);
    cSubdir->setObjectName("cSubdir");
    cSubdir->setLayoutDirection(Qt::RightToLeft);  // the caption left of the box
    bSearch = actionButton(pSource, "bSearch", aSearch);
    QHBoxLayout* source = row(pSource);
    for (QWidget* w : std::initializer_list<QWidget*>{lSource, eSource, bSource, bSourceFile,
                                                      cSubdir, bSearch})
        source->addWidget(w, w == eSource ? 1 : 0);
    column->addWidget(pSource);

    pTarget = MakePanel(pAction, "pTarget", false);
    pTarget->setToolTip("Choose or drag & drop target folder");
    eTarget = new QLineEdit(pTarget);
    eTarget->setObjectName("eTarget");
    lTarget = labelFor(pTarget, "lTarget", "&Target", eTarget);
    bTarget = narrowButton(pTarget, "bTarget", "Folder");
    bTarget->setToolTip("Choose a target folder to save the converted file(s)");
    bView = actionButton(pTarget, "bView", aView);
    bView->setMinimumWidth(bSourceFile->minimumWidth());
    bView->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    bSearchConvert = actionButton(pTarget, "bSearchConvert", aSearchConvert);
    bCreate = actionButton(pTarget, "bCreate", aConvert);
    QHBoxLayout* target = row(pTarget);
    for (QWidget* w : std::initializer_list<QWidget*>{lTarget, eTarget, bTarget, bView,
                                                      bSearchConvert, bCreate})
        target->addWidget(w, w == eTarget ? 1 : 0);
    column->addWidget(pTarget);
    // The two labels as wide as the wider, so that both boxes start at one line.
    const int labels = std::max(lSource->sizeHint().width(), lTarget->sizeHint().width());
    lSource->setMinimumWidth(labels);
    lTarget->setMinimumWidth(labels);

    pOthers = MakePanel(pAction, "pOthers", false);
    column->addWidget(pOthers);

    const std::initializer_list<QPushButton*> buttons = {
        bSource, bSourceFile, bSearch, bTarget, bView, bSearchConvert, bCreate};
    for (QPushButton* button : buttons) button->setAutoDefault(false);
    eSource->installEventFilter(this);
    eTarget->installEventFilter(this);
    eSource->setAcceptDrops(false);
    eTarget->setAcceptDrops(false);
    connect(bSource, &QPushButton::clicked, this, &ThvFrmMain::bSourceClick);
    connect(bSourceFile, &QPushButton::clicked, this, &ThvFrmMain::bSourceFileClick);
    connect(bTarget, &QPushButton::clicked, this, &ThvFrmMain::bTargetClick);
}

void ThvFrmMain::CreateViewer() {
    pViewer = MakePanel(this, "pViewer", true);
    auto* layout = new QVBoxLayout(pViewer);
    const int bevel = pViewer->frameWidth();
    layout->setContentsMargins(bevel, bevel, bevel, bevel);
    lViewer = new QTableView(pViewer);
    lViewer->setObjectName("lViewer");
    lViewer->setFrameShape(QFrame::NoFrame);
    lViewer->setToolTip("Drag & drop file(s) here and click \"Convert\" to convert them");
    lViewer->setSelectionBehavior(QAbstractItemView::SelectRows);
    lViewer->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lViewer->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lViewer->setShowGrid(false);
    lViewer->setWordWrap(false);
    lViewer->setIconSize(QSize(16, 16));
    lViewer->verticalHeader()->hide();
    lViewer->verticalHeader()->setDefaultSectionSize(18);
    lViewer->horizontalHeader()->setHighlightSections(false);
    lViewer->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    model_ = new ThvResultsModel(lViewer);
    shown_ = new ThvResultsFilter(model_, lViewer);
    lViewer->setModel(shown_);
    QHeaderView* header = lViewer->horizontalHeader();
    // Unsorted until a column is clicked, and back to the batch's order on a third click.
    header->setSortIndicator(-1, Qt::AscendingOrder);
    header->setSortIndicatorClearable(true);
    lViewer->setSortingEnabled(true);
    header->setMinimumSectionSize(16);
    header->resizeSection(0, 30);
    header->setSectionResizeMode(0, QHeaderView::Fixed);
    header->resizeSection(1, 370);
    header->resizeSection(2, 370);
    // The Result column takes the rest of the width: failure texts are long.
    header->setStretchLastSection(true);
    // Tab leaves the list for the next control instead of moving between its cells.
    lViewer->setTabKeyNavigation(false);
    // Drops are the window's: the drop point decides what they do.
    lViewer->setAcceptDrops(false);
    lViewer->viewport()->setAcceptDrops(false);
    layout->addWidget(lViewer);
    CreateListMenu();
}

void ThvFrmMain::RegisterOptionControls() {
    bindings_.push_back(std::make_unique<ThvBoundWidget>(*eSource, "Text"));
    bindings_.push_back(std::make_unique<ThvBoundWidget>(*cSubdir, "Checked"));
    bindings_.push_back(std::make_unique<ThvBoundWidget>(*eTarget, "Text"));
    for (const auto& binding : bindings_) hvProject->Bind(*binding);
}

void ThvFrmMain::UpdateTitle() {
    const std::string& file = hvProject->FileName;
    setWindowTitle(Q(hvProject->Title + " - " + (file.empty() ? std::string("None") : file)));
}

void ThvFrmMain::showEvent(QShowEvent* event) {
    ThvFrmBase::showEvent(event);
    if (event->spontaneous() || FShown) return;
    FShown = true;
    AutoRun();
}

void ThvFrmMain::closeEvent(QCloseEvent* event) {
    if (state_ != TRunState::Idle) {
        // The converters hold this window as the receiver of their calls: the run is stopped
        // and the window closes once its last converter has reported its end.
        event->ignore();
        closePending_ = true;
        if (state_ == TRunState::Converting) aStopExecute();
        return;
    }
    daemon_.stop();
    event->accept();
}

bool ThvFrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == eSource) {
            bSourceFileClick();
            return true;
        }
        if (watched == eTarget) {
            bTargetClick();
            return true;
        }
    }
    if (event->type() == QEvent::ToolTip) {
        if (auto* button = qobject_cast<QToolButton*>(watched)) {
            const QAction* action = button->defaultAction();
            if (action && action->property("hint").toString().isEmpty()) return true;
        }
    }
    return ThvFrmBase::eventFilter(watched, event);
}

void ThvFrmMain::AutoRun() {
    if (hvProject->RunAndClose()) aConvertExecute();
}

void ThvFrmMain::EnterState(TRunState state) {
    state_ = state;
    // Chosen files replace the batch, which running converters still use: not during a run.
    bSourceFile->setEnabled(state == TRunState::Idle);
    BrowseFiles1->setEnabled(state == TRunState::Idle);
    switch (state) {
        case TRunState::Idle:
            aConvert->setEnabled(true);
            bCreate->SetAction(aConvert);
            aSearchConvert->setEnabled(true);
            bSearchConvert->SetAction(aSearchConvert);
            aSearch->setEnabled(true);
            break;
        case TRunState::Converting:
            aConvert->setEnabled(false);
            aSearchConvert->setEnabled(false);
            aSearch->setEnabled(false);
            aStop->setEnabled(true);
            bCreate->SetAction(aPause);
            aPause->setEnabled(true);
            bSearchConvert->SetAction(aStop);
            break;
        case TRunState::Stopping:
            aPause->setEnabled(false);
            aStop->setEnabled(false);
            break;
    }
}

void ThvFrmMain::aSearchExecute() {
    const std::string source = eSource->text().toStdString();
    if (source.empty()) {
        eSource->setFocus();
        ShowStatus("Choose a Source: the box is empty");
        RunEnded();
        return;
    }
    NewBatch();
    if (source.starts_with("http")) {
        AddSourceFile(source);
        return;
    }
    StartStatus("Searching");
    FBatch->Start(hvProject->ResolvePath(source),
                  hvProject->ResolvePath(eTarget->text().toStdString()), cSubdir->isChecked());
}

std::string ThvFrmMain::MissingSource() const {
    const std::string source = eSource->text().toStdString();
    if (source.empty() || source.starts_with("http")) return {};
    const ThvSearchScope scope =
        ThvSearchScope::Of(hvProject->ResolvePath(source), cSubdir->isChecked());
    // Only a folder that is not there: other searches that find nothing say so at their end.
    if (scope.Delim != PathDelim || scope.SourceFolder.empty() ||
        DirectoryExists(scope.SourceFolder))
        return {};
    return scope.SourceAdvice(hvProject->SourceMask);
}

void ThvFrmMain::aConvertExecute() {
    const char delim = hvProject->PathDelim;
    std::string target = eTarget->text().toStdString();
    if (!target.empty()) {
        const std::string usable = CutBackTarget(target, delim, FileExists);
        if (usable != target) eTarget->setText(Q(usable));
        target = usable;
    }
    if (target.empty()) {
        eTarget->setFocus();
        ShowStatus("Choose a Target folder for the texts: the box is empty");
        RunEnded();
        return;
    }
    // "-" is standard output to an unattended run; here it would quietly become a folder
    // named "-" beside the project.
    if (target == "-") {
        eTarget->setFocus();
        ShowStatus("Target \"-\" (standard output) is for unattended runs: choose a Target folder");
        RunEnded();
        return;
    }
    // A chosen or dropped list has no source to search; a source folder that is not there
    // would find nothing, and the run would only have made the target.
    const bool listed = FBatch && !FBatch->Exhausted();
    if (const std::string missing = listed ? std::string() : MissingSource(); !missing.empty()) {
        ShowStatus(Q(missing));
        RunEnded();
        return;
    }
    if (target.back() != delim) {
        target += delim;
        eTarget->setText(Q(target));
    }
    // The box keeps what the project says; a relative folder leads from the project's.
    target = hvProject->ResolvePath(target);
    madeFolders_.clear();
    if (delim == PathDelim && !DirectoryExists(target)) {
        for (std::string folder = ExcludeTrailingPathDelimiter(target, delim);
             !folder.empty() && !DirectoryExists(folder);
             folder = FolderAbove(folder, delim))
            madeFolders_.push_back(folder);
        ForceDirectories(target);
    }
    hvProject->ControlsToOptions();
    if (!FBatch) aSearchExecute();
    if (FBatch && FBatch->Exhausted()) aSearchExecute();
    if (!FBatch) return;
    if (!RunEndLogAccepted()) return;

    aConvert->setEnabled(false);
    aSearchConvert->setEnabled(false);
    aSearch->setEnabled(false);
    FConvertor = ThvConvertor::CreateChain(
        *FBatch, target, [this, number = batchNumber_](ThvBatch&, ThvNode& entry) {
            OnEntryConverted(number, entry);
        });
    FRunning = FConvertor->ConverterCount;
    FConvertor->SetOnFinish([self = std::weak_ptr<ThvFrmMain*>(self_)] {
        if (const auto window = self.lock()) (*window)->OnFinish();
    });
    EnterState(TRunState::Converting);
    StartStatus("Converting");
    try {
        FConvertor->Start();
    } catch (...) {
        FRunning = 0;
        EnterState(TRunState::Idle);
        throw;
    }
    hvInfo->UpdateCounter("C", 0, 1);
    FStopped = false;
}

bool ThvFrmMain::RunEndLogAccepted() {
    if (!hvProject->RunAndClose()) return true;
    const std::string logFile = hvProject->LogFile();
    if (logFile.empty()) return true;
    try {
        CheckResultListPath(logFile, FBatch.get());
        return true;
    } catch (const EhvError& e) {
        // Refused as the unattended run refuses it, before anything is converted; the window
        // ends, even a "Daemon" one, since every later run would be refused alike.
        FBatch->Terminate();
        hvInfo->AppException(e.what());
        CloseLater();
        return false;
    }
}

void ThvFrmMain::aSearchConvertExecute() {
    aSearchExecute();
    aConvertExecute();
}

void ThvFrmMain::aPauseExecute() {
    statusWord_ = "Paused";
    lRunState->setText(statusWord_);
    EnterState(TRunState::Stopping);
    if (FConvertor) FConvertor->Stop();
    FStopPending = false;
}

void ThvFrmMain::aStopExecute() {
    FStopped = true;
    statusWord_ = "Stopped";
    lRunState->setText(statusWord_);
    EnterState(TRunState::Stopping);
    if (FBatch) FBatch->Terminate();
    if (FConvertor) FConvertor->Stop();
    FStopPending = true;
}

void ThvFrmMain::OnFinish() {
    --FRunning;
    if (FRunning >= 1) return;
    // Every converter has reported its files before its end: the rows are complete now.
    ItemForEntry();
    // Stop leaves the files not reached; after Pause they are converted when the run goes on.
    if (FStopPending) model_->MarkNotConverted();
    EnterState(TRunState::Idle);
    if (FBatch) {
        ShowRunEnd(*FBatch);
        if (FBatch->Searched() && FBatch->Count() == 0) RemoveMadeFolders();
    }
    RunEnded(FBatch.get());
    if (FStopPending) {
        // The rows stay; the batch goes once its converters have all counted themselves out.
        Retire(std::move(FBatch), FConvertor);
        FStopPending = false;
    }
    if (closePending_) CloseLater();
}

void ThvFrmMain::RunEnded(const ThvBatch* ran) {
    const std::string logFile = hvProject->RunAndClose() ? hvProject->LogFile() : "";
    const ThvLogLines lines = [&](const auto& put) {
        RefuseListPath(logFile);
        for (const std::string& line : ListLines()) put(line);
    };
    try {
        // A run-and-close window is the unattended run and reports as it does; a "Daemon" one
        // runs again and again over a file that keeps failing, so its failures are reported
        // once, and again only when they change. Where a person sits, the report holds their
        // paths and is sent only when they press for it.
        if (ran)
            ReportRun(*ran, logFile, lines, &reportedFailures_,
                      hvProject->RunAndClose() ? ThvFailureReport::Open
                                               : ThvFailureReport::Offer);
        else if (!logFile.empty())
            WriteRunLog(logFile, lines);
    } catch (const EhvError& e) {
        // Reported as any error of the window, but the run still ends as it should: an
        // invisible window that stayed open would never end.
        hvInfo->AppException(e.what());
    }
    if (!hvProject->RunAndClose()) return;
    if (hvProject->Daemon() < 1) {
        CloseLater();
        return;
    }
    if (!FStopped && !closePending_) daemon_.start(hvProject->Daemon());
}

void ThvFrmMain::RemoveMadeFolders() {
    for (const std::string& folder : madeFolders_) {
        std::error_code ignored;
        // Only an empty folder goes: remove takes no other.
        std::filesystem::remove(
            std::filesystem::path(std::u8string(folder.begin(), folder.end())), ignored);
    }
    madeFolders_.clear();
}

void ThvFrmMain::CloseLater() {
    // Not from inside a show, a finish or an action's handler: from the event loop.
    QTimer::singleShot(0, this, &QWidget::close);
}

void ThvFrmMain::NewBatch() {
    if (FBatch) {
        FBatch->Terminate();
        Retire(std::move(FBatch), FConvertor);
    }
    FBatch = std::make_unique<ThvBatch>();
    ++batchNumber_;
    feed_->Follow(batchNumber_);
    FailuresOnly1->setChecked(false);
    model_->Clear();
    FBatch->OnFound = [this, number = batchNumber_](ThvBatch&, ThvNode& entry) {
        OnBatchEntry(number, entry);
    };
}

void ThvFrmMain::SuggestTarget(const std::string& folder) {
    if (hvProject->DeriveTarget && eTarget->text().isEmpty()) eTarget->setText(Q(folder));
}

void ThvFrmMain::AddSourceFile(const std::string& path) {
    SuggestTarget(ExtractFilePath(path, hvProject->PathDelim));
    FBatch->AddFile(path);
    // Added on this thread: its row is shown at once.
    ItemForEntry();
}

void ThvFrmMain::NewsArrived() {
    if (drain_.isActive()) return;
    const qint64 waited = sinceDrain_.elapsed();
    if (waited >= DrainInterval)
        ItemForEntry();
    else
        drain_.start(static_cast<int>(DrainInterval - waited));
}

void ThvFrmMain::Retire(std::unique_ptr<ThvBatch> batch, std::shared_ptr<ThvConvertor> chain) {
    if (!batch) return;
    retired_.push_back({std::move(batch), std::move(chain)});
    FreeEndedBatches();
    if (!retired_.empty()) reaper_.start();
}

void ThvFrmMain::FreeEndedBatches() {
    std::erase_if(retired_, [](const TRetired& r) { return !r.Chain || ChainEnded(r.Chain); });
    if (retired_.empty()) reaper_.stop();
}

void ThvFrmMain::aViewExecute() {
    if (eTarget->text().isEmpty())
        eTarget->setFocus();
    else
        ShellOpen(eTarget->text().toStdString());
}

void ThvFrmMain::aOpenExecute() {
    hvProject->Open(false);
    UpdateTitle();
}

void ThvFrmMain::aNewExecute() {
    hvProject->New();
    UpdateTitle();
}

void ThvFrmMain::aConfigExecute() {
    if (!cfg_) cfg_ = std::make_unique<ThvFrmCfg>(this);
    cfg_->ShowModal();
    UpdateTitle();
}

void ThvFrmMain::aSaveExecute() {
    hvProject->Save();
    UpdateTitle();
}

void ThvFrmMain::aSaveAsExecute() {
    hvProject->SaveAs();
    UpdateTitle();
}

void ThvFrmMain::aUpdateExecute() { hvInfo->OpenLink("download", "", ""); }

void ThvFrmMain::aHelpExecute() {
    hvInfo->OpenLink("h", "", "");
    hvInfo->UpdateCounter("H", 0, 1);
}

void ThvFrmMain::aHomePageExecute() { hvInfo->OpenLink("", "", ""); }

void ThvFrmMain::aSupportsExecute() { hvInfo->OpenLink("supports", "", ""); }

void ThvFrmMain::aAboutExecute() {
    if (hvFrmQuillonAbout) hvFrmQuillonAbout->ShowAbout();
}
