#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ui/hvFormBase.h"

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTableView;
class QToolBar;
class QToolButton;
class ThvActionButton;
class ThvBatch;
class ThvBoundWidget;
class ThvConvertor;
class ThvFrmCfg;
class ThvNode;
class ThvResultFeed;
class ThvResultsFilter;
class ThvResultsModel;

/// The main window: source, target and the sub-folder switch bound to the project, the list of
/// the current batch, and the run: a search of the source on the batch's thread, conversion on
/// a chain of converter threads, and the run's end (counters, failure report, run-and-close and
/// "Daemon" repetition). Closing it ends the program.
///
/// Threads: everything here runs on the GUI thread. Converters call OnFinish through the
/// main-thread dispatcher, which must be installed while the window runs.
///
/// Lifetime: the window owns its batch. A batch whose converters have not all ended yet (the
/// last one counts itself out under the batch's lock just after its OnFinish) is kept aside
/// until they have, so no converter ever touches a freed batch. Closing the window during a run
/// stops the run and closes once the last converter has reported its end; the window is never
/// destroyed while a converter can still call it.
class ThvFrmMain : public ThvFrmBase {
  public:
    /// FormCreate: binds the three controls, opens the start-up project a second time and
    /// shows its options, sets the caption.
    explicit ThvFrmMain(QWidget* parent = nullptr);
    /// FormDestroy: frees the batch (ending its search) once its converters have ended, and
    /// unbinds the controls.
    ~ThvFrmMain() override;

    /// The run states of the window and its actions.
    enum class TRunState { Idle, Converting, Stopping };
    TRunState RunState() const { return state_; }

    /// Binds eSource, cSubdir and eTarget to the project, in this order.
    virtual void RegisterOptionControls();
    void UpdateTitle();
    /// Starts a conversion when the project's RunAndClose holds.
    void AutoRun();
    /// Run-end handling. After a run (ran, the batch it converted) its end as the unattended
    /// run has it (ReportRun): the counters, the failure report and, in run-and-close mode, the
    /// log of the rows; without one, that log alone. A log that cannot be written is reported
    /// as any error of the window. Then in run-and-close mode it closes the window, or with
    /// "Daemon" above 0 runs again after that many milliseconds (the wait keeps the window
    /// responsive), unless Stop was pressed.
    void RunEnded(const ThvBatch* ran = nullptr);

    // The actions' handlers.
    void aSearchExecute();
    void aConvertExecute();
    void aSearchConvertExecute();
    void aPauseExecute();
    void aStopExecute();
    void aViewExecute();
    void aOpenExecute();
    void aNewExecute();
    void aConfigExecute();
    void aSaveExecute();
    void aSaveAsExecute();
    void aUpdateExecute();
    void aHelpExecute();
    void aHomePageExecute();
    void aSupportsExecute();
    void aAboutExecute();

    /// Replaces the current batch by an empty one and clears the list.
    void NewBatch();
    /// Puts folder into eTarget when eTarget is empty.
    void SuggestTarget(const std::string& folder);
    /// Adds one path to the current batch.
    void AddSourceFile(const std::string& path);
    /// One converter has ended (GUI thread; the converter waits). The last one of a run brings
    /// the window back to Idle and runs RunEnded with the run's batch, which counts the run,
    /// reports failures (unless the last report of this window had the same ones) and logs it.
    void OnFinish();
    /// The batch's OnFound, for the batch NewBatch numbered batchNumber: any thread (the search
    /// thread during a search). Only tells the GUI thread that rows are due.
    void OnBatchEntry(uint64_t batchNumber, ThvNode& entry);
    /// The converters' OnFileDone: any converter thread, several at once. Only tells the GUI
    /// thread which row is due.
    void OnEntryConverted(uint64_t batchNumber, ThvNode& entry);
    /// GUI thread: shows what the feed has brought. Rows are added for every entry not shown
    /// yet, read from the batch under its lock, so row i is always entry i; converted entries
    /// then get their image and first line of result.
    void ItemForEntry();
    /// Writes the rows as "[state] => source => result" lines: ANSI code page, CR LF, no byte
    /// order mark, atomically (an empty list gives an empty file). Throws EhvError before
    /// anything is written when path names a presentation of the run or a file the program
    /// reads (CheckResultListPath, and the rows of a stopped run), and when the file cannot be
    /// written.
    void ExportList(const std::string& path);
    /// Opens the source of the first selected row, or with folderOnly its folder.
    void OpenSelectedSource(bool folderOnly);
    /// Opens the text file of a row that has one (converted, whole or salvaged); nothing for
    /// any other row.
    void OpenRowText(int row);
    /// Puts the selected rows on the clipboard as the lines ExportList writes.
    void CopySelectedRows();
    /// Hides every row but the failed ones, or shows them all again.
    void ShowFailuresOnly(bool only);
    /// Opens the failure report of the run that ended last, which the status bar offered.
    void ReportClick();
    void RecentProjectClick(QAction* item);
    void pm1Popup();
    void pm2Popup();
    void ViewSource1Click() { OpenSelectedSource(true); }
    void OpenSource1Click() { OpenSelectedSource(false); }
    void ExportList1Click();

    // Choosing sources and target.
    void bSourceClick();
    void bSourceFileClick();
    void bTargetClick();
    /// A drop of paths at pos (window coordinates): a single project file opens the project;
    /// on an edit box the first path sets that box; on the list the paths replace the batch
    /// (refused during a run), a folder among them searched (DropFolders); anywhere else
    /// nothing happens.
    void DropFiles(const QPoint& pos, const std::vector<std::string>& paths);
    /// Paths dropped on the list of which some are folders: each folder is searched with the
    /// mask of the Source box (or the product's) and the Sub folders switch, the other paths
    /// listed as they are.
    void DropFolders(const std::vector<std::string>& paths);
    /// Whether the list takes new files now: not while a run goes on.
    bool ListTakesFiles() const { return state_ == TRunState::Idle; }
    ThvResultsModel* Results() const { return model_; }

    ThvBatch* Batch() const { return FBatch.get(); }
    /// How many batches NewBatch has made: tells a new batch from an old one at the same place.
    uint64_t BatchNumber() const { return batchNumber_; }
    int32_t Running() const { return FRunning; }
    /// Batches kept aside until their converters have ended.
    std::size_t RetiredBatches() const { return retired_.size(); }
    /// The options dialog, once it has been made.
    ThvFrmCfg* ConfigDialog() const { return cfg_.get(); }
    /// The stop signal (ThvStopSignals) that closed the window; 0 when none did. A signal
    /// closes it as the user's closing does: a run stops as Stop stops it, and the window
    /// closes once its converters have ended.
    int StopSignal() const { return stopSignal_; }

    // Controls and actions, named as the program's forms name them.
    QToolBar* ToolBar;
    QFrame* pAction;
    QWidget* pSource;
    QLineEdit* eSource;
    QLabel* lSource;
    QPushButton* bSource;
    QPushButton* bSourceFile;
    QCheckBox* cSubdir;
    ThvActionButton* bSearch;
    QWidget* pTarget;
    QLineEdit* eTarget;
    QLabel* lTarget;
    QPushButton* bTarget;
    ThvActionButton* bView;
    ThvActionButton* bSearchConvert;
    ThvActionButton* bCreate;
    QWidget* pOthers;
    QWidget* pSpacer;
    QFrame* pViewer;
    QTableView* lViewer;
    QMenu* pm1;
    QAction* BrowseFiles1;
    QAction* ViewSource1;
    QAction* OpenSource1;
    QAction* ViewOutput1;
    QAction* ExportList1;
    QAction* OpenText1;
    QAction* Copy1;
    QAction* FailuresOnly1;
    QMenu* pm2;
    QStatusBar* StatusBar;
    QLabel* lRunState;  ///< the run's state, or what the last run or search came to
    QLabel* lFigures;   ///< found, converted, failed, skipped, elapsed, rate
    QProgressBar* pbRun;
    QPushButton* bShowFailures;
    QPushButton* bReport;

    QAction* aSearch;
    QAction* aConvert;
    QAction* aSearchConvert;
    QAction* aPause;
    QAction* aStop;
    QAction* aView;
    QAction* aOpen;
    QAction* aNew;
    QAction* aConfig;
    QAction* aSave;
    QAction* aSaveAs;
    QAction* aUpdate;
    QAction* aHelp;
    QAction* aHomePage;
    QAction* aSupports;
    QAction* aAbout;

  protected:
    void showEvent(QShowEvent* event) override;  // FormShow
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void CreateActions();
    void CreateToolBar();
    void CreateActionPanel();
    void CreateViewer();
    QAction* MakeAction(const char* name, const char* caption, const char* hint,
                        void (ThvFrmMain::*handler)());
    QToolButton* AddToolButton(const char* name, QAction* action, int image);
    void EnterState(TRunState state);
    /// Keeps batch aside until chain's converters have all ended, then frees it.
    void Retire(std::unique_ptr<ThvBatch> batch, std::shared_ptr<ThvConvertor> chain);
    /// False, with the error reported and the window closing, when a run-and-close project's
    /// "LogFile" would replace a file the run reads.
    bool RunEndLogAccepted();
    /// Throws EhvError when path names the source of a row (the batch already dropped).
    void RefuseListedSource(const std::string& path) const;
    /// Throws EhvError when the list written to path would replace a presentation of the run
    /// or a file the program reads.
    void RefuseListPath(const std::string& path) const;
    /// The rows as "[state] => source => result" lines.
    std::vector<std::string> ListLines() const;
    /// The same of the rows given, in that order.
    std::vector<std::string> ListLines(const std::vector<int>& rows) const;
    void FreeEndedBatches();
    /// Why Convert cannot search the source: its folder is not there. Empty otherwise.
    std::string MissingSource() const;
    /// Takes away the folders made for the target of a run that found nothing (empty ones).
    void RemoveMadeFolders();
    void CloseLater();
    void CreateListMenu();
    /// The first selected entry in the batch's order; -1 with none selected.
    int FirstSelectedRow() const;
    void CreateStatusBar();

    /// A run's figures as the status bar shows them, from the batch's counters.
    struct TRunFigures {
        int32_t Found = 0;
        int32_t Converted = 0;
        int32_t Failed = 0;
        int32_t Skipped = 0;
        qint64 ElapsedMs = 0;
        /// "Done: 28 converted, 2 failed, 0 skipped in 4.2 s" with word first.
        QString Summary(const QString& word) const;
        /// The figures of a run going on, with its rate in files per second.
        QString Progress() const;
    };
    TRunFigures Figures(const ThvBatch& batch) const;
    /// A word in the status bar in place of the figures (why nothing was started, say).
    void ShowStatus(const QString& text);
    /// The figures of a search or run that starts now under word, updated from the counters.
    void StartStatus(const QString& word);
    void UpdateStatus();
    /// What the status bar says when the ended run has: its summary, or why nothing was found,
    /// and the offer of its failures.
    void ShowRunEnd(const ThvBatch& ran);
    /// Why the source found nothing.
    QString NothingFound() const;
    /// The control a drop at pos lands on: lViewer, eSource, eTarget, or null for any other.
    QWidget* DropTarget(const QPoint& pos) const;

    std::unique_ptr<ThvBatch> FBatch;
    std::shared_ptr<ThvConvertor> FConvertor;
    int32_t FRunning = 0;
    bool FStopped = false;
    bool FStopPending = false;
    bool FShown = false;

    TRunState state_ = TRunState::Idle;
    uint64_t batchNumber_ = 0;
    bool closePending_ = false;  ///< closed during a run: close when it has ended
    /// Lets OnFinish calls that arrive after the window went do nothing (GUI thread only).
    std::shared_ptr<ThvFrmMain*> self_;
    std::vector<std::unique_ptr<ThvBoundWidget>> bindings_;
    std::unique_ptr<ThvFrmCfg> cfg_;
    struct TRetired {
        std::unique_ptr<ThvBatch> Batch;
        std::shared_ptr<ThvConvertor> Chain;
    };
    std::vector<TRetired> retired_;
    ThvResultsModel* model_ = nullptr;
    ThvResultsFilter* shown_ = nullptr;  ///< model_ as lViewer shows it
    ThvResultFeed* feed_ = nullptr;
    QTimer reaper_;  ///< frees retired batches
    QTimer daemon_;  ///< the "Daemon" wait between two runs

    /// The failures of the last report opened.
    std::string reportedFailures_;
    /// The report of the run that ended last, which bReport opens; empty without failures.
    std::string reportLink_;
    QTimer status_;            ///< updates the status bar's figures during a search or run
    QElapsedTimer runClock_;   ///< since the search or run of the current batch started
    uint64_t clockBatch_ = 0;  ///< the batch runClock_ is timing: a resumed run goes on timing
    QString statusWord_;       ///< "Searching", "Converting", "Paused" or "Stopped"
    /// The folders the current run made to hold its target, innermost first: taken away again
    /// when the run found nothing.
    std::vector<std::string> madeFolders_;
    /// Looks for a stop signal: its handler can only leave a mark.
    QTimer stopPoll_;
    int stopSignal_ = 0;
    /// Rows are shown at most every DrainInterval: each turn of the event loop that changes
    /// the list costs a repaint, and a search brings news far more often than that.
    static constexpr int DrainInterval = 25;
    QTimer drain_;
    QElapsedTimer sinceDrain_;
    void NewsArrived();
};

/// The main window; set and cleared by the window's start-up.
extern ThvFrmMain* hvFrmMain;
