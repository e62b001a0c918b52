// The main window driven by object name: layout, actions, the run state machine and the run's
// end, with the real converters on real presentations or a gated converter that holds a run
// in the state a test needs.

#include "ui/hvFormMain.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <filesystem>
#include <sstream>

#include "platform/files/fileSystem.h"
#include "shell/hvMain.h"
#include "ui/hvActionButton.h"
#include "ui/hvFormCfg.h"
#include "ui/hvImages.h"
#include "ui/hvResultsModel.h"
#include "ui/testing/uiTestSupport.h"

namespace {

namespace fs = std::filesystem;

class MainWindowTest : public WindowTest {
  protected:
    /// Copies the sample presentations into in/ (one of them damaged on purpose).
    void CopySamples() {
        fs::create_directories(dir / "in");
        for (const char* name : {"quarterly-review.pptx", "languages.pptx", "product-launch.ppt",
                                 "damaged.pptx"})
            fs::copy_file(std::string(QUILLON_SAMPLES) + "/" + name, dir / "in/" + name);
    }
    void MakeFiles(int count) {
        fs::create_directories(dir / "in");
        for (int i = 0; i < count; ++i) WriteBytes(dir / "in/f" + std::to_string(i) + ".pptx", "");
    }
    QAction* Action(const char* name) { return Find<QAction>(window.get(), name); }
    bool Enabled(const char* name) { return Action(name)->isEnabled(); }
    void UseGate() {
        Gate().Close();
        project->ConverterClass = &ThvGateConvertor::Class();
    }
    void TearDown() override {
        Gate().Open();
        WindowTest::TearDown();
    }
};

TEST_F(MainWindowTest, CaptionNamesTheProjectFileOrNone) {
    OpenWindow();
    // The start-up names the default project even when its file does not exist yet.
    EXPECT_EQ(window->windowTitle().toStdString(),
              "Quillon Converter - " + dir / "quillon.batch-quillon");
    window->aNew->trigger();
    EXPECT_EQ(window->windowTitle(), "Quillon Converter - None");
}

TEST_F(MainWindowTest, LayoutCaptionsHintsAndAccessKeys) {
    OpenWindow();
    // 1200 x 600, or what of it the screen holds.
    const QSize room = window->screen()->availableGeometry().size();
    EXPECT_LE(window->width(), 1200);
    EXPECT_GE(window->width(), std::min(1200, room.width() - 16));
    // A screen narrower than the window's least width (the 240 x 320 of Qt's minimal platform,
    // where the Windows build tests) cannot hold it: the window keeps that width.
    EXPECT_LE(window->frameGeometry().width(),
              std::max(room.width(), window->minimumWidth() + window->frameGeometry().width() -
                                         window->width()));
    EXPECT_LE(window->height(), 600);
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_EQ(window->bSource->text(), "Folder");
    EXPECT_EQ(window->bSource->toolTip(), "Choose a folder and click \"Search\" to list files");
    EXPECT_EQ(window->bSourceFile->text(), "Files");
    EXPECT_EQ(window->bTarget->toolTip(), "Choose a target folder to save the converted file(s)");
    EXPECT_EQ(window->cSubdir->text(), "Su&b folders");
    EXPECT_EQ(window->lSource->text(), "&Source");
    EXPECT_EQ(window->lSource->buddy(), window->eSource);
    EXPECT_EQ(window->lTarget->buddy(), window->eTarget);
    EXPECT_EQ(window->pSource->toolTip(), "Choose or drag & drop source folder or file(s)");
    EXPECT_EQ(window->lViewer->toolTip(),
              "Drag & drop file(s) here and click \"Convert\" to convert them");
    // The bound controls keep their property name as a hint they never show.
    EXPECT_EQ(window->eSource->toolTip(), "");
    EXPECT_EQ(window->eSource->property("hint").toString(), "Text");
    EXPECT_EQ(window->cSubdir->property("hint").toString(), "Checked");
    // Labels left of their boxes, both boxes starting on one line.
    EXPECT_LT(window->lSource->geometry().right(), window->eSource->geometry().left());
    EXPECT_EQ(window->eSource->geometry().left(), window->eTarget->geometry().left());
    EXPECT_LT(window->eSource->geometry().right(), window->bSource->geometry().left());
    EXPECT_LT(window->bSource->geometry().right(), window->bSourceFile->geometry().left());
    EXPECT_LT(window->cSubdir->geometry().right(), window->bSearch->geometry().left());
    EXPECT_LT(window->bSearchConvert->geometry().right(), window->bCreate->geometry().left());

    // Buttons show their actions: caption, hint, and the hidden "Start".
    EXPECT_EQ(window->bSearch->text(), "Search");
    EXPECT_EQ(window->bSearch->toolTip(), "Search files from the source folder");
    EXPECT_EQ(window->bCreate->text(), "&Convert");
    EXPECT_EQ(window->bView->text(), "View");
    EXPECT_FALSE(window->bSearchConvert->isVisible());

    // The tool bar: captions beside images, an access key each, the drop-down of Open.
    const char* buttons[] = {"tbOpen",   "tbNew",  "tbConfig",   "tbSave",     "tbSaveAs",
                             "tbUpdate", "tbHelp", "tbHomePage", "tbSupports", "tbAbout"};
    int x = -1;
    for (const char* name : buttons) {
        auto* button = Find<QToolButton>(window->ToolBar, name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonTextBesideIcon) << name;
        EXPECT_FALSE(button->icon().isNull()) << name;
        EXPECT_GT(button->geometry().x(), x) << name;  // left to right in this order
        EXPECT_GE(button->width(), 101) << name;
        x = button->geometry().x();
    }
    auto* open = Find<QToolButton>(window->ToolBar, "tbOpen");
    EXPECT_EQ(open->text(), "&Open");
    EXPECT_EQ(open->menu(), window->pm2);
    EXPECT_EQ(open->popupMode(), QToolButton::MenuButtonPopup);
    EXPECT_EQ(Find<QToolButton>(window->ToolBar, "tbUpdate")->text(), "Check &Update");
    EXPECT_EQ(Action("aStop")->text(), "Sto&p");
    EXPECT_EQ(Action("aSaveAs")->property("hint").toString(), "Save the batch project as ...");
}

TEST_F(MainWindowTest, AtItsSmallestEveryControlIsInsideTheWindow) {
    OpenWindow();
    window->resize(window->minimumSize());
    QApplication::processEvents();
    ASSERT_EQ(window->size(), window->minimumSize());
    const QRect inside = window->rect();
    const std::vector<QWidget*> controls = {
        window->eSource, window->bSource, window->bSourceFile, window->cSubdir, window->bSearch,
        window->eTarget, window->bTarget, window->bView,       window->bCreate, window->lViewer,
        window->StatusBar, window->pbRun};
    for (QWidget* control : controls) {
        ASSERT_NE(control, nullptr);
        const QRect place(control->mapTo(window.get(), QPoint(0, 0)), control->size());
        EXPECT_TRUE(inside.contains(place)) << control->objectName().toStdString();
        // Squeezed to nothing is out of reach too.
        EXPECT_GE(place.width(), control == window->cSubdir ? 16 : 40)
            << control->objectName().toStdString();
        EXPECT_GE(place.height(), 10) << control->objectName().toStdString();
    }
    // The buttons keep their whole captions.
    const std::vector<QPushButton*> buttons = {window->bSource, window->bSourceFile,
                                               window->bSearch, window->bTarget,
                                               window->bView,   window->bCreate};
    for (QPushButton* button : buttons)
        EXPECT_GE(button->width(), button->fontMetrics().horizontalAdvance(button->text()))
            << button->objectName().toStdString();
}

TEST_F(MainWindowTest, TabOrderRunsThroughBothPanelsInTheirOrder) {
    OpenWindow();
    const std::vector<QWidget*> order = {
        window->eSource, window->bSource, window->bSourceFile,    window->cSubdir,
        window->bSearch, window->eTarget, window->bTarget,        window->bCreate,
        window->bView,   window->lViewer};
    // bSearchConvert is hidden in Idle, so focus passes over it.
    window->eSource->setFocus();
    for (std::size_t i = 1; i < order.size(); ++i) {
        QWidget* next = order[i - 1]->nextInFocusChain();
        while (next && (!next->isVisible() || next->focusPolicy() == Qt::NoFocus ||
                        !next->isEnabled()))
            next = next->nextInFocusChain();
        EXPECT_EQ(next, order[i]) << order[i]->objectName().toStdString();
    }
}

TEST_F(MainWindowTest, ActionStatesInIdleConvertingAndStopping) {
    UseGate();
    MakeFiles(3);
    OpenWindow("Source=" + dir / "in/*.ppt?,Target=" + dir / "out");
    for (const char* name : {"aSearch", "aConvert", "aPause", "aStop", "aView", "aOpen", "aAbout"})
        EXPECT_TRUE(Enabled(name)) << name;
    EXPECT_EQ(window->bCreate->Action(), Action("aConvert"));
    EXPECT_EQ(window->bSearchConvert->Action(), Action("aSearchConvert"));

    window->bCreate->click();
    ASSERT_TRUE(PumpUntil([] { return Gate().Waiting() == 1; }));
    EXPECT_EQ(window->RunState(), ThvFrmMain::TRunState::Converting);
    EXPECT_FALSE(Enabled("aSearch"));
    EXPECT_FALSE(Enabled("aConvert"));
    EXPECT_FALSE(Enabled("aSearchConvert"));
    EXPECT_TRUE(Enabled("aPause"));
    EXPECT_TRUE(Enabled("aStop"));
    EXPECT_TRUE(Enabled("aOpen"));
    EXPECT_EQ(window->bCreate->text(), "Pause");
    EXPECT_TRUE(window->bSearchConvert->isVisible());
    EXPECT_EQ(window->bSearchConvert->text(), "Sto&p");
    EXPECT_EQ(Counter("C"), "1");

    AfterDoubleClickTime();
    window->bCreate->click();  // Pause
    EXPECT_EQ(window->RunState(), ThvFrmMain::TRunState::Stopping);
    EXPECT_FALSE(Enabled("aPause"));
    EXPECT_FALSE(Enabled("aStop"));
    EXPECT_FALSE(window->bCreate->isEnabled());
    EXPECT_FALSE(window->bSearchConvert->isEnabled());
    EXPECT_FALSE(Enabled("aConvert"));

    Gate().Open();
    ASSERT_TRUE(WaitForIdle());
    EXPECT_TRUE(Enabled("aConvert"));
    EXPECT_TRUE(Enabled("aSearch"));
    EXPECT_EQ(window->bCreate->text(), "&Convert");
    EXPECT_FALSE(window->bSearchConvert->isVisible());
    // Idle leaves Pause and Stop as they were; no control shows them.
    EXPECT_FALSE(Enabled("aPause"));
}

TEST_F(MainWindowTest, SearchThenConvertWritesTheTexts) {
    CopySamples();
    OpenWindow("Source=" + dir / "in/*.ppt?,Target=" + dir / "out,ThreadsCount=2");
    window->bSearch->click();
    ASSERT_NE(window->Batch(), nullptr);
    ThvBatch* searched = window->Batch();
    ASSERT_TRUE(PumpUntil([&] { return searched->Searched(); }));
    EXPECT_EQ(searched->Count(), 4);
    EXPECT_EQ(window->RunState(), ThvFrmMain::TRunState::Idle);  // a search alone
    window->bCreate->click();
    EXPECT_EQ(window->Batch(), searched);  // the listed batch is converted, not searched again
    EXPECT_EQ(window->eTarget->text().toStdString(), dir / "out/");
    ASSERT_TRUE(WaitForIdle());
    for (const char* text : {"quarterly-review.txt", "languages.txt", "product-launch.txt"})
        EXPECT_TRUE(FileExists(dir / "out/" + text)) << text;
    EXPECT_FALSE(FileExists(dir / "out/damaged.txt"));
    EXPECT_EQ(searched->Succeeded(), 3);
    EXPECT_EQ(Counter("A"), "4");
    EXPECT_EQ(Counter("S"), "3");
    EXPECT_EQ(Counter("F"), "1");
    // The report is offered, not opened: it holds the user's paths.
    EXPECT_TRUE(links.empty());
    auto* report = Find<QPushButton>(window.get(), "bReport");
    EXPECT_TRUE(report->isVisibleTo(window.get()));
    report->click();
    ASSERT_EQ(links.size(), 1u);
    EXPECT_NE(links[0].find("/net/?a=err&e="), std::string::npos) << links[0];
}

TEST_F(MainWindowTest, WindowAndUnattendedRunReportTheSameAddressForTheSameFailures) {
    fs::create_directories(dir / "in");
#ifdef _WIN32  // no "?" in a Windows name
    const std::string odd = "bad#x.pptx", encoded = "bad%23x.pptx";
#else
    const std::string odd = "bad?x.pptx", encoded = "bad%3Fx.pptx";
#endif
    WriteBytes(dir / "in/" + odd, "no deck");
    WriteBytes(dir / "in/worse x.pptx", "no deck either");
    OpenWindow("Source=" + dir / "in/*.ppt?,Target=" + dir / "out");
    window->bCreate->click();
    ASSERT_TRUE(WaitForIdle());
    Find<QPushButton>(window.get(), "bReport")->click();
    std::ostringstream progress;
    ThvMain(progress, false).Run();
    ASSERT_EQ(links.size(), 2u);
    // All but the counters, which the window's run has moved on.
    const auto withoutCounters = [](std::string link) {
        const std::size_t from = link.find("&c="), to = link.find('&', from + 1);
        return from == std::string::npos ? link : link.erase(from, to - from);
    };
    EXPECT_EQ(withoutCounters(links[0]), withoutCounters(links[1]));
    EXPECT_NE(links[0].find(encoded), std::string::npos) << links[0];
}

TEST_F(MainWindowTest, ConvertWithoutSearchSearchesWhileItConverts) {
    CopySamples();
    OpenWindow("Source=" + dir / "in/*.pptx,Target=" + dir / "out");
    window->bCreate->click();
    ASSERT_NE(window->Batch(), nullptr);
    ASSERT_TRUE(WaitForIdle());
    EXPECT_TRUE(FileExists(dir / "out/languages.txt"));
    EXPECT_TRUE(window->Batch()->Exhausted());
    // A finished batch is used up: the next Convert lists the source afresh.
    const uint64_t first = window->BatchNumber();
    window->bCreate->click();
    ASSERT_TRUE(WaitForIdle());
    EXPECT_EQ(window->BatchNumber(), first + 1);
    EXPECT_EQ(window->Batch()->Count(), 3);
}

TEST_F(MainWindowTest, PauseThenConvertGoesOnWithTheRestStopThenConvertSearchesAgain) {
    UseGate();
    MakeFiles(3);
    OpenWindow("Source=" + dir / "in/*.ppt?,Target=" + dir / "out");
    window->bCreate->click();
    ThvBatch* batch = window->Batch();
    const uint64_t number = window->BatchNumber();
    ASSERT_TRUE(PumpUntil([] { return Gate().Waiting() == 1; }));
    AfterDoubleClickTime();
    window->bCreate->click();  // Pause: the file in hand is finished, the rest waits
    Gate().Open();
    ASSERT_TRUE(WaitForIdle());
    EXPECT_EQ(batch->Succeeded(), 1);
    EXPECT_EQ(window->Batch(), batch);

    AfterDoubleClickTime();
    window->bCreate->click();
    ASSERT_TRUE(WaitForIdle());
    EXPECT_EQ(window->BatchNumber(), number);
    EXPECT_EQ(batch->Succeeded(), 3);

    // Stop drops the batch at the finish; its rows would stay, and Convert searches again.
    Gate().Close();
    window->bCreate->click();
    EXPECT_EQ(window->BatchNumber(), number + 1);
    ASSERT_TRUE(PumpUntil([] { return Gate().Waiting() == 1; }));
    window->bSearchConvert->click();  // Stop
    Gate().Open();
    ASSERT_TRUE(WaitForIdle());
    EXPECT_EQ(window->Batch(), nullptr);
    window->bCreate->click();
    ASSERT_TRUE(WaitForIdle());
    ASSERT_NE(window->Batch(), nullptr);
    EXPECT_EQ(window->Batch()->Succeeded(), 3);
    ASSERT_TRUE(PumpUntil([&] { return window->RetiredBatches() == 0; }));
}

TEST_F(MainWindowTest, EmptySourceOrTargetFocusesTheBoxAndStartsNothing) {
    OpenWindow();
    window->activateWindow();
    window->bSearch->click();
    EXPECT_EQ(window->Batch(), nullptr);
    window->eSource->setText(QString::fromStdString(dir / "in/*.ppt?"));
    window->bCreate->click();
    EXPECT_EQ(window->Batch(), nullptr);
    EXPECT_EQ(window->RunState(), ThvFrmMain::TRunState::Idle);
    EXPECT_EQ(Counter("C"), "");
}

TEST_F(MainWindowTest, TargetIsCutBackToAUsableFolderCreatedAndEndedByTheDelimiter) {
    MakeFiles(1);
    OpenWindow("Source=" + dir / "in/*.ppt?");
    WriteBytes(dir / "list.txt", "x");
    struct {
        std::string typed, expected;
    } cases[] = {
        {dir / "list.txt", dir.Path()},              // names an existing file
        {dir / "out/*.txt", dir / "out/"},           // a mask
        {dir / "new/deep", dir / "new/deep/"},       // missing folders are created
        {dir / "new/deep/", dir / "new/deep/"},      // already ends with the delimiter
    };
    for (const auto& c : cases) {
        window->eTarget->setText(QString::fromStdString(c.typed));
        window->bCreate->click();
        ASSERT_TRUE(WaitForIdle());
        EXPECT_EQ(window->eTarget->text().toStdString(), c.expected) << c.typed;
        EXPECT_TRUE(DirectoryExists(c.expected)) << c.typed;
    }
}

TEST_F(MainWindowTest, ThreadsCountZeroRunsOneConverterAndComesBackToIdle) {
    CopySamples();
    OpenWindow("Source=" + dir / "in/*.pptx,Target=" + dir / "out,ThreadsCount=0");
    window->bCreate->click();
    EXPECT_EQ(window->Running(), 1);
    ASSERT_TRUE(WaitForIdle());
    EXPECT_EQ(window->Batch()->Succeeded(), 2);
}

TEST_F(MainWindowTest, RunAndCloseConvertsAtTheFirstShowAndCloses) {
    CopySamples();
    OpenWindow("Source=" + dir / "in/*.pptx,Target=" + dir / "out,RunAndClose=1");
    EXPECT_EQ(window->RunState(), ThvFrmMain::TRunState::Converting);
    ASSERT_TRUE(PumpUntil([&] { return !window->isVisible(); }));
    EXPECT_TRUE(FileExists(dir / "out/languages.txt"));
    EXPECT_EQ(Counter("C"), "1");
}

TEST_F(MainWindowTest, DaemonRunsAgainAfterItsDelayUntilStopIsPressed) {
    UseGate();
    Gate().Open();
    MakeFiles(1);
    OpenWindow("Source=" + dir / "in/*.ppt?,Target=" + dir / "out,Daemon=30");
    ASSERT_TRUE(PumpUntil([&] { return Counter("C") == "3"; }));
    EXPECT_TRUE(window->isVisible());
    // The wait between two runs is spent in the event loop: the window keeps answering.
    Gate().Close();
    ASSERT_TRUE(PumpUntil([] { return Gate().Waiting() == 1; }));
    const std::string runs = Counter("C");
    window->bSearchConvert->click();  // Stop
    Gate().Open();
    ASSERT_TRUE(WaitForIdle());
    // Stop suppresses the repetition and the window stays open.
    QElapsedTimer waited;
    waited.start();
    PumpUntil([&] { return waited.elapsed() > 200; });
    EXPECT_EQ(Counter("C"), runs);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowTest, ClosingDuringARunStopsItAndClosesWhenItHasEnded) {
    UseGate();
    MakeFiles(4);
    OpenWindow("Source=" + dir / "in/*.ppt?,Target=" + dir / "out,ThreadsCount=2");
    window->bCreate->click();
    ASSERT_TRUE(PumpUntil([] { return Gate().Waiting() == 2; }));
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->RunState(), ThvFrmMain::TRunState::Stopping);
    Gate().Open();
    ASSERT_TRUE(PumpUntil([&] { return !window->isVisible(); }));
    // The two files in hand were finished; the others were left.
    EXPECT_EQ(Gate().Passed() >= 2, true);
    ThvBatch* none = window->Batch();
    EXPECT_EQ(none, nullptr);  // Stop dropped the batch at the finish
}

TEST_F(MainWindowTest, WindowDestroyedDuringARunWaitsForItsConverters) {
    UseGate();
    MakeFiles(3);
    OpenWindow("Source=" + dir / "in/*.ppt?,Target=" + dir / "out,ThreadsCount=2");
    window->bCreate->click();
    ASSERT_TRUE(PumpUntil([] { return Gate().Waiting() == 2; }));
    std::thread opener([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Gate().Open();
    });
    CloseWindow();  // must neither hang nor leave a converter with a freed window or batch
    opener.join();
}

TEST_F(MainWindowTest, ProjectAndInformationCommands) {
    OpenWindow();
    window->eSource->setText(QString::fromStdString(dir / "in/*.ppt?"));
    window->aSave->trigger();  // the default project, without asking
    EXPECT_NE(ReadBytes(dir / "quillon.batch-quillon").find("Source=" + dir / "in/*.ppt?"),
              std::string::npos);

    ThvChooserTestHook::NextSaveFile(dir / "other.batch-quillon");
    window->aSaveAs->trigger();
    EXPECT_EQ(ThvChooserTestHook::LastSaveRequest().Filter, "Quillon Project|*.batch-quillon");
    EXPECT_EQ(window->windowTitle().toStdString(),
              "Quillon Converter - " + dir / "other.batch-quillon");
    window->aNew->trigger();
    EXPECT_EQ(window->eSource->text(), "");
    ThvChooserTestHook::NextOpenFiles(std::vector<std::string>{dir / "other.batch-quillon"});
    window->aOpen->trigger();
    EXPECT_EQ(window->eSource->text().toStdString(), dir / "in/*.ppt?");
    EXPECT_EQ(window->windowTitle().toStdString(),
              "Quillon Converter - " + dir / "other.batch-quillon");
    ThvChooserTestHook::NextOpenFiles(std::nullopt);  // cancelled: nothing changes
    window->aOpen->trigger();
    EXPECT_EQ(window->eSource->text().toStdString(), dir / "in/*.ppt?");

    links.clear();
    window->aUpdate->trigger();
    window->aHelp->trigger();
    window->aHomePage->trigger();
    window->aSupports->trigger();
    ASSERT_EQ(links.size(), 4u);
    EXPECT_TRUE(links[0].starts_with("https://quillon.example.org/en/quillon/download.htm?"));
    EXPECT_EQ(links[1], dir / "quillon.pdf");
    EXPECT_TRUE(links[2].starts_with("https://quillon.example.org?")) << links[2];
    EXPECT_TRUE(links[3].starts_with("mailto:support@quillon.example.org?subject=")) << links[3];
    EXPECT_EQ(Counter("H"), "1");
    window->eTarget->setText(QString::fromStdString(dir.Path()));
    window->aView->trigger();
    EXPECT_EQ(links.back(), dir.Path());
}

TEST_F(MainWindowTest, AnErrorThatReachesTheEventLoopIsCountedAndReported) {
    OpenWindow();
    project->FileName = dir / "missing/folder/p.batch-quillon";
    // As a click would, through the event loop: the project file cannot be written.
    QMetaObject::invokeMethod(window->aSave, &QAction::trigger, Qt::QueuedConnection);
    PumpUntil([&] { return !links.empty(); }, std::chrono::seconds(5));
    EXPECT_EQ(Counter("E"), "1");
    ASSERT_EQ(links.size(), 1u);
    EXPECT_NE(links[0].find("a=err&e=Cannot%20create%20file"), std::string::npos) << links[0];
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowTest, ADoubleClickOnConvertStartsTheRunWithoutPausingIt) {
    UseGate();
    MakeFiles(2);
    OpenWindow("Source=" + dir / "in/*.ppt?,Target=" + dir / "out");
    window->bCreate->click();
    window->bCreate->click();  // the second click of a double click lands on Pause
    EXPECT_EQ(window->RunState(), ThvFrmMain::TRunState::Converting);
    AfterDoubleClickTime();
    window->bCreate->click();  // a click of its own pauses
    EXPECT_EQ(window->RunState(), ThvFrmMain::TRunState::Stopping);
    Gate().Open();
    ASSERT_TRUE(WaitForIdle());
}

TEST_F(MainWindowTest, AMissingSourceOrAnEmptyTargetSaysWhyAndCreatesNothing) {
    OpenWindow("Source=" + dir / "nowhere/*.ppt?,Target=" + dir / "out");
    auto* state = Find<QLabel>(window.get(), "lRunState");
    window->bCreate->click();
    ASSERT_TRUE(WaitForIdle());
    EXPECT_TRUE(state->text().startsWith("The source folder")) << state->text().toStdString();
    EXPECT_FALSE(fs::exists(dir / "out"));
    EXPECT_EQ(window->Batch(), nullptr);

    // A folder that is there but holds nothing to convert: said, and the target taken away.
    fs::create_directories(dir / "empty");
    window->eSource->setText(QString::fromStdString(dir / "empty/*.ppt?"));
    window->eTarget->setText(QString::fromStdString(dir / "made/out"));
    window->bCreate->click();
    ASSERT_TRUE(WaitForIdle());
    EXPECT_TRUE(state->text().startsWith("No file found")) << state->text().toStdString();
    EXPECT_FALSE(fs::exists(dir / "made"));

    window->eTarget->clear();
    window->bCreate->click();
    EXPECT_EQ(state->text(), "Choose a Target folder for the texts: the box is empty");

    // Standard output is the unattended run's: no folder named "-" appears where a relative
    // Target would lead (the working folder, as this project has no file).
    window->eSource->setText(QString::fromStdString(dir / "empty/*.ppt?"));
    window->eTarget->setText("-");
    window->bCreate->click();
    EXPECT_EQ(state->text(),
              "Target \"-\" (standard output) is for unattended runs: choose a Target folder");
    EXPECT_FALSE(fs::exists("-"));
}

TEST_F(MainWindowTest, StatusBarFollowsTheRunFromTheBatchCounters) {
    UseGate();
    MakeFiles(4);
    WriteBytes(dir / "in/fail.pptx", "");
    OpenWindow("Source=" + dir / "in/*.ppt?,Target=" + dir / "out,ThreadsCount=1");
    auto* state = Find<QLabel>(window.get(), "lRunState");
    auto* figures = Find<QLabel>(window.get(), "lFigures");
    auto* progress = Find<QProgressBar>(window.get(), "pbRun");
    auto* showFailures = Find<QPushButton>(window.get(), "bShowFailures");
    window->bCreate->click();
    EXPECT_EQ(state->text(), "Converting");
    ASSERT_TRUE(PumpUntil([&] { return window->Batch()->Searched(); }));
    // Two files through the gate, the third held: the figures catch up within a tenth of a
    // second and agree with the batch's own.
    ASSERT_TRUE(PumpUntil([] { return Gate().Waiting() == 1; }));
    ThvBatch* batch = window->Batch();
    ASSERT_TRUE(PumpUntil([&] {
        return figures->text().startsWith("5 found, 0 converted");
    }, std::chrono::seconds(2))) << figures->text().toStdString();
    EXPECT_EQ(progress->maximum(), batch->Count());
    EXPECT_TRUE(progress->isVisibleTo(window.get()));
    EXPECT_FALSE(showFailures->isVisibleTo(window.get()));

    AfterDoubleClickTime();
    window->bCreate->click();  // Pause
    EXPECT_EQ(state->text(), "Paused");
    Gate().Open();
    ASSERT_TRUE(WaitForIdle());
    EXPECT_TRUE(state->text().startsWith("Paused: 1 converted, 0 failed, 0 skipped in "))
        << state->text().toStdString();
    AfterDoubleClickTime();
    window->bCreate->click();  // on with the rest
    ASSERT_TRUE(WaitForIdle());
    const QString done = QStringLiteral("Done: %1 converted, %2 failed, 0 skipped in ")
                             .arg(batch->Succeeded())
                             .arg(batch->Failed());
    EXPECT_TRUE(state->text().startsWith(done)) << state->text().toStdString();
    EXPECT_EQ(batch->Failed(), 1);
    EXPECT_FALSE(progress->isVisibleTo(window.get()));
    EXPECT_TRUE(links.empty());

    // Show failures leaves only the failed row in sight.
    ASSERT_TRUE(showFailures->isVisibleTo(window.get()));
    showFailures->click();
    const QAbstractItemModel* shown = window->lViewer->model();
    ASSERT_EQ(shown->rowCount(), 1);
    EXPECT_EQ(shown->index(0, 1).data().toString().toStdString(), dir / "in/fail.pptx");
    EXPECT_TRUE(window->FailuresOnly1->isChecked());
    showFailures->click();
    EXPECT_EQ(shown->rowCount(), window->Results()->rowCount());
}

TEST_F(MainWindowTest, EscapeClosesTheConfigDialog) {
    OpenWindow();
    QTimer::singleShot(0, [this] {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(window->ConfigDialog()->txtCfg, &escape);
    });
    window->aConfig->trigger();  // returns once the dialog is gone
    EXPECT_FALSE(window->ConfigDialog()->isVisible());
}

}  // namespace
