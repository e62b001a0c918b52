// The results list of the main window: rows during a search and a run, the export, the run-end
// log, and the list's and the Open button's menus.

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QMouseEvent>
#include <filesystem>

#include "platform/files/fileSystem.h"
#include "text/textEncoding.h"
#include "ui/hvActionButton.h"
#include "ui/hvImages.h"
#include "ui/hvResultsModel.h"
#include "ui/testing/uiTestSupport.h"

namespace {

namespace fs = std::filesystem;

class ResultsListTest : public WindowTest {
  protected:
    void CopySamples() {
        fs::create_directories(dir / "in");
        for (const char* name : {"damaged.pptx", "languages.pptx", "product-launch.ppt",
                                 "quarterly-review.pptx"})
            fs::copy_file(std::string(QUILLON_SAMPLES) + "/" + name, dir / "in/" + name);
    }
    void TearDown() override {
        Gate().Open();
        WindowTest::TearDown();
    }
    ThvResultsModel& Rows() { return *window->Results(); }
    std::string Text(int row, int column) {
        return Rows().index(row, column).data().toString().toStdString();
    }
    int Image(int row) { return Rows().Row(row).Image; }
    /// A row as the list shows it (sorted or filtered), as a click or a key would give it.
    QModelIndex Shown(int row, int column = 0) { return window->lViewer->model()->index(row, column); }
    /// Converts the files named (in dir, chosen with Files), one converter, the gate closed.
    void ConvertChosenBehindTheGate(const std::vector<std::string>& names) {
        Gate().Close();
        project->ConverterClass = &ThvGateConvertor::Class();
        std::vector<std::string> chosen;
        for (const std::string& name : names) chosen.push_back(dir / name);
        ThvChooserTestHook::NextOpenFiles(chosen);
        OpenWindow("Target=" + dir / "out,ThreadsCount=1");
        window->bSourceFile->click();
        window->bCreate->click();
    }
    void SelectShown(int row) {
        window->lViewer->selectionModel()->select(
            Shown(row), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
};

TEST_F(ResultsListTest, ColumnsAndRowsOfASearchThenTheirStatesAfterARun) {
    CopySamples();
    OpenWindow("Source=" + dir / "in/*.ppt?,Target=" + dir / "out,ThreadsCount=3");
    EXPECT_EQ(Rows().headerData(0, Qt::Horizontal, Qt::DisplayRole), "@");
    EXPECT_EQ(Rows().headerData(1, Qt::Horizontal, Qt::DisplayRole), "File Name");
    EXPECT_EQ(Rows().headerData(2, Qt::Horizontal, Qt::DisplayRole), "Result");
    EXPECT_EQ(window->lViewer->columnWidth(0), 30);
    EXPECT_EQ(window->lViewer->columnWidth(1), 370);
    // The Result column takes the rest of the list's width.
    EXPECT_EQ(window->lViewer->columnWidth(2), window->lViewer->viewport()->width() - 400);
    EXPECT_EQ(window->lViewer->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(window->lViewer->selectionMode(), QAbstractItemView::ExtendedSelection);

    window->bSearch->click();
    ASSERT_TRUE(PumpUntil([&] { return Rows().rowCount() == 4; }));
    ThvBatch* batch = window->Batch();
    {
        ThvBatchLock lock(*batch);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(Text(i, 1), lock.Nodes()[static_cast<std::size_t>(i)]->Source);
            EXPECT_EQ(Image(i), 0);
            EXPECT_EQ(Text(i, 2), "");
        }
    }
    EXPECT_FALSE(Rows().index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());

    window->bCreate->click();
    ASSERT_TRUE(WaitForIdle());
    int failed = 0;
    for (int i = 0; i < 4; ++i) {
        if (Text(i, 1).ends_with("damaged.pptx")) {
            ++failed;
            EXPECT_EQ(Image(i), 2);
            EXPECT_FALSE(Text(i, 2).empty());
        } else {
            EXPECT_EQ(Image(i), 1) << Text(i, 1);
            EXPECT_EQ(Text(i, 2), dir / "out/" + fs::path(Text(i, 1)).stem().string() + ".txt");
        }
    }
    EXPECT_EQ(failed, 1);
}

TEST_F(ResultsListTest, MultiLineResultsShowTheirFirstLineAndExportIsByteForByte) {
    Gate().Open();
    project->ConverterClass = &ThvGateConvertor::Class();
    ThvChooserTestHook::NextOpenFiles(
        std::vector<std::string>{dir / "a.pptx", dir / "fail.pptx", dir / "c.pptx"});
    OpenWindow("Target=" + dir / "out");
    window->bSourceFile->click();
    ASSERT_EQ(Rows().rowCount(), 3);
    // Rows not converted yet export as running, with an empty third field.
    window->ExportList(dir / "listed.log");
    EXPECT_EQ(ReadBytes(dir / "listed.log"),
              "[Running] => " + dir / "a.pptx => \r\n[Running] => " + dir / "fail.pptx => \r\n" +
                  "[Running] => " + dir / "c.pptx => \r\n");
    window->bCreate->click();
    ASSERT_TRUE(WaitForIdle());
    EXPECT_EQ(Text(1, 2), "first line");
    EXPECT_EQ(Image(1), 2);
    window->ExportList(dir / "run.log");
    EXPECT_EQ(ReadBytes(dir / "run.log"),
              "[Success] => " + dir / "a.pptx => done\r\n[Failure] => " + dir /
                  "fail.pptx => first line\r\n[Success] => " + dir / "c.pptx => done\r\n");
    // One report, when the user asks for it (the link drops the comma text's quotes and
    // percent-encodes the rest).
    EXPECT_TRUE(links.empty());
    Find<QPushButton>(window.get(), "bReport")->click();
    ASSERT_EQ(links.size(), 1u);
    EXPECT_NE(links[0].find("a=err&e=first%20line%0D%0Asecond%20line&"), std::string::npos)
        << links[0];

    window->NewBatch();
    window->ExportList(dir / "empty.log");
    EXPECT_TRUE(FileExists(dir / "empty.log"));
    EXPECT_EQ(ReadBytes(dir / "empty.log"), "");
}

TEST_F(ResultsListTest, SkippedFilesShowSuccessWithAnEmptyResultAndNoReportWithoutFailures) {
    CopySamples();
    fs::remove(dir / "in/damaged.pptx");
    fs::create_directories(dir / "out");
    WriteBytes(dir / "out/languages.txt", "kept");
    OpenWindow("Source=" + dir / "in/*.pptx,Target=" + dir / "out,IsOverwrite=skip");
    window->bCreate->click();
    ASSERT_TRUE(WaitForIdle());
    ASSERT_EQ(Rows().rowCount(), 2);
    const int skipped = Text(0, 1).ends_with("languages.pptx") ? 0 : 1;
    EXPECT_EQ(Image(skipped), 1);
    EXPECT_EQ(Text(skipped, 2), "");
    EXPECT_EQ(ReadBytes(dir / "out/languages.txt"), "kept");
    window->ExportList(dir / "x.log");
    EXPECT_NE(ReadBytes(dir / "x.log").find("[Success] => " + dir / "in/languages.pptx => \r\n"),
              std::string::npos);
    EXPECT_TRUE(links.empty());
}

TEST_F(ResultsListTest, ExportIsInTheAnsiCodePage) {
    SetAnsiCodePage("windows-1252");
    Gate().Open();
    project->ConverterClass = &ThvGateConvertor::Class();
    ThvChooserTestHook::NextOpenFiles(std::vector<std::string>{dir / "caf\xC3\xA9.pptx"});
    OpenWindow("Target=" + dir / "out");
    window->bSourceFile->click();
    window->ExportList(dir / "a.log");
    SetAnsiCodePage("");
    EXPECT_EQ(ReadBytes(dir / "a.log"), "[Running] => " + dir / "caf\xE9.pptx => \r\n");
}

TEST_F(ResultsListTest, RunAndCloseWritesTheLogOfRowsBeforeItCloses) {
    CopySamples();
    OpenWindow("Source=" + dir / "in/*.pptx,Target=" + dir / "out,RunAndClose=1,LogFile=" +
               dir / "run.log");
    ASSERT_TRUE(PumpUntil([&] { return !window->isVisible(); }));
    const std::string log = ReadBytes(dir / "run.log");
    EXPECT_NE(log.find("[Failure] => " + dir / "in/damaged.pptx => "), std::string::npos) << log;
    EXPECT_NE(log.find("[Success] => " + dir / "in/languages.pptx => " + dir / "out/languages.txt"),
              std::string::npos)
        << log;
}

TEST_F(ResultsListTest, ALogThatCannotBeWrittenIsReportedAndTheWindowStillCloses) {
    CopySamples();
    OpenWindow("Source=" + dir / "in/*.pptx,Target=" + dir / "out,RunAndClose=1,LogFile=" +
               dir / "no/such/folder/run.log");
    ASSERT_TRUE(PumpUntil([&] { return !window->isVisible(); }));
    EXPECT_EQ(Counter("E"), "1");
}

TEST_F(ResultsListTest, ExportTheListAsksForAFileAndShowsWhyItCannotWriteOne) {
    Gate().Open();
    project->ConverterClass = &ThvGateConvertor::Class();
    ThvChooserTestHook::NextOpenFiles(std::vector<std::string>{dir / "a.pptx"});
    OpenWindow("Target=" + dir / "out");
    window->bSourceFile->click();
    ThvChooserTestHook::NextSaveFile(dir / "list.log");
    window->ExportList1->trigger();
    EXPECT_EQ(ThvChooserTestHook::LastSaveRequest().Filter, "Log File|*.log");
    EXPECT_EQ(ThvChooserTestHook::LastSaveRequest().DefaultExt, ".log");
    EXPECT_EQ(ThvChooserTestHook::LastSaveRequest().FileName, "");
    EXPECT_EQ(ReadBytes(dir / "list.log"), "[Running] => " + dir / "a.pptx => \r\n");

    ThvChooserTestHook::NextSaveFile(dir / "no/such/folder/list.log");
    QString shown;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    window->ExportList1->trigger();
    EXPECT_TRUE(shown.startsWith("Cannot create file")) << shown.toStdString();
    EXPECT_EQ(Rows().rowCount(), 1);
    EXPECT_EQ(ReadBytes(dir / "list.log"), "[Running] => " + dir / "a.pptx => \r\n");
}

/// Triggers "Export the List" with the chooser answering path; answers the message box's text
/// (empty when none was shown).
QString ExportThroughTheMenu(ThvFrmMain& window, const std::string& path) {
    ThvChooserTestHook::NextSaveFile(path);
    QString shown;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    Find<QAction>(&window, "ExportList1")->trigger();
    return shown;
}

TEST_F(ResultsListTest, ExportTheListRefusesAFileTheRunReadsAndWritesNothing) {
    Gate().Close();
    project->ConverterClass = &ThvGateConvertor::Class();
    fs::create_directories(dir / "in");
    for (const char* name : {"a.pptx", "b.pptx", "c.pptx"}) WriteBytes(dir / "in/" + name, "deck");
    // Two chosen files leave the source as it is: only the rows know them.
    ThvChooserTestHook::NextOpenFiles(
        std::vector<std::string>{dir / "in/a.pptx", dir / "in/b.pptx"});
    OpenWindow("Source=" + dir / "in/c.pptx,Target=" + dir / "out");
    Find<QPushButton>(window.get(), "bSourceFile")->click();
    ASSERT_EQ(Rows().rowCount(), 2);

    const std::string expected = "Cannot write the list of results to \"";
    // A listed presentation, under another spelling of its folder.
    QString shown = ExportThroughTheMenu(*window, dir / "in/../in/a.pptx");
    EXPECT_TRUE(shown.startsWith(QString::fromStdString(expected + dir / "in/../in/a.pptx")))
        << shown.toStdString();
    EXPECT_TRUE(shown.endsWith("it is a presentation of this run.")) << shown.toStdString();
    // The project's own source, and a file the program keeps beside itself.
    shown = ExportThroughTheMenu(*window, dir / "in/c.pptx");
    EXPECT_TRUE(shown.endsWith("it is a presentation of this run.")) << shown.toStdString();
    shown = ExportThroughTheMenu(*window, project->DefaultProjectFile());
    EXPECT_TRUE(shown.endsWith("it is the default project file.")) << shown.toStdString();
    EXPECT_FALSE(FileExists(project->DefaultProjectFile()));

    // Stopped: the batch is dropped at the finish, its rows stay and are still refused.
    Find<QPushButton>(window.get(), "bCreate")->click();
    ASSERT_TRUE(PumpUntil([] { return Gate().Waiting() == 1; }));
    Find<QPushButton>(window.get(), "bSearchConvert")->click();  // Stop
    Gate().Open();
    ASSERT_TRUE(WaitForIdle());
    ASSERT_EQ(window->Batch(), nullptr);
    ASSERT_EQ(Rows().rowCount(), 2);
    shown = ExportThroughTheMenu(*window, dir / "in/b.pptx");
    EXPECT_TRUE(shown.endsWith("it is a presentation of this run.")) << shown.toStdString();
    fs::create_symlink(dir / "in/b.pptx", dir / "link.pptx");
    shown = ExportThroughTheMenu(*window, dir / "link.pptx");
    EXPECT_TRUE(shown.endsWith("it is a presentation of this run.")) << shown.toStdString();
    for (const char* name : {"a.pptx", "b.pptx", "c.pptx"})
        EXPECT_EQ(ReadBytes(dir / "in/" + name), "deck") << name;

    // Anything else is written as before.
    EXPECT_EQ(ExportThroughTheMenu(*window, dir / "list.log"), "");
    EXPECT_EQ(ReadBytes(dir / "list.log").substr(0, 13), "[Success] => ");
}

TEST_F(ResultsListTest, RunAndCloseRefusesALogOverAPresentationBeforeConvertingAnything) {
    CopySamples();
    const std::string deck = dir / "in/languages.pptx";
    const std::string before = ReadBytes(deck);
    OpenWindow("Source=" + dir / "in/*.pptx,Target=" + dir / "out,RunAndClose=1,Daemon=50,"
               "LogFile=" + deck);
    ASSERT_TRUE(PumpUntil([&] { return !window->isVisible(); }));
    EXPECT_EQ(ReadBytes(deck), before);
    EXPECT_FALSE(fs::exists(dir / "out/quarterly-review.txt"));
    EXPECT_EQ(Counter("E"), "1");
    ASSERT_EQ(links.size(), 1u);
    EXPECT_NE(links[0].find("presentation%20of%20this%20run"), std::string::npos) << links[0];
}

TEST_F(ResultsListTest, ListMenuEnablesTheSourceItemsOnlyWithASelection) {
    Gate().Open();
    project->ConverterClass = &ThvGateConvertor::Class();
    ThvChooserTestHook::NextOpenFiles(std::vector<std::string>{dir / "in/a.pptx", dir / "b.pptx"});
    OpenWindow("Target=" + dir / "out");
    window->bSourceFile->click();
    std::vector<std::string> captions;
    for (QAction* item : window->pm1->actions())
        captions.push_back(item->isSeparator() ? "-" : item->text().toStdString());
    EXPECT_EQ(captions, (std::vector<std::string>{"Browse Files", "-", "View  Source", "Open Source",
                                                  "-", "View  Output", "-", "Export the List",
                                                  "-", "Open Text", "Copy", "Failures only"}));
    window->pm1Popup();
    EXPECT_FALSE(window->ViewSource1->isEnabled());
    EXPECT_FALSE(window->OpenSource1->isEnabled());
    EXPECT_TRUE(window->BrowseFiles1->isEnabled());
    EXPECT_TRUE(window->ViewOutput1->isEnabled());
    EXPECT_TRUE(window->ExportList1->isEnabled());
    window->OpenSource1->trigger();  // nothing selected: nothing opens
    EXPECT_TRUE(links.empty());

    SelectShown(1);
    SelectShown(0);
    window->pm1Popup();
    EXPECT_TRUE(window->ViewSource1->isEnabled());
    window->OpenSource1->trigger();  // the first selected row in list order
    window->ViewSource1->trigger();
    window->ViewOutput1->trigger();  // the target folder
    EXPECT_EQ(links, (std::vector<std::string>{dir / "in/a.pptx", dir / "in/", dir / "out"}));
}

TEST_F(ResultsListTest, RecentProjectsMenuShowsPathsExactlyAndDisablesMissingFiles) {
    const std::string kept = dir / "R&D.batch-quillon", gone = dir / "gone.batch-quillon";
    WriteBytes(kept, "Source=/from/kept/*.ppt?\r\n");
    project->RecentFiles.SetText(kept + "\n" + gone + "\n");
    OpenWindow();
    emit window->pm2->aboutToShow();
    const QList<QAction*> items = window->pm2->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->text().toStdString(), dir / "R&&D.batch-quillon");  // shows one "&"
    EXPECT_TRUE(items[0]->isEnabled());
    EXPECT_FALSE(items[1]->isEnabled());
    items[0]->trigger();
    EXPECT_EQ(window->eSource->text(), "/from/kept/*.ppt?");
    EXPECT_EQ(window->windowTitle().toStdString(), "Quillon Converter - " + kept);
    emit window->pm2->aboutToShow();  // made anew each time
    EXPECT_EQ(window->pm2->actions().size(), 2);
}

TEST_F(ResultsListTest, StopLeavesRowsNotConvertedAndRowsOpenTheirTextOrNothing) {
    ConvertChosenBehindTheGate({"a.pptx", "fail.pptx", "c.pptx"});
    ASSERT_TRUE(PumpUntil([] { return Gate().Waiting() == 1; }));
    window->bSearchConvert->click();  // Stop: the file in hand is finished, no other
    Gate().Open();
    ASSERT_TRUE(WaitForIdle());
    EXPECT_EQ(Image(0), ThvImageList::Success);
    EXPECT_EQ(Image(1), ThvImageList::NotConverted);
    EXPECT_EQ(Text(2, 2), "Not converted");
    EXPECT_TRUE(Find<QLabel>(window.get(), "lRunState")->text().startsWith("Stopped: 1 converted"));
    window->ExportList(dir / "stopped.log");
    EXPECT_EQ(ReadBytes(dir / "stopped.log"),
              "[Success] => " + dir / "a.pptx => done\r\n[Not converted] => " + dir /
                  "fail.pptx => Not converted\r\n[Not converted] => " + dir /
                  "c.pptx => Not converted\r\n");

    // Copy puts the selected rows on the clipboard as the exported lines, in list order.
    SelectShown(2);
    SelectShown(0);
    window->Copy1->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
              "[Success] => " + dir / "a.pptx => done\n[Not converted] => " + dir /
                  "c.pptx => Not converted\n");
    // A converted row opens its text file; one not converted opens nothing.
    window->pm1Popup();
    EXPECT_TRUE(window->OpenText1->isEnabled());
    emit window->lViewer->activated(Shown(1, 1));
    EXPECT_TRUE(links.empty());
    emit window->lViewer->activated(Shown(0, 1));
    EXPECT_EQ(links, (std::vector<std::string>{"done"}));
}

TEST_F(ResultsListTest, AColumnClickSortsTheRowsAndTheyStillOpenAndCopyTheirOwnEntry) {
    ConvertChosenBehindTheGate({"c.pptx", "fail.pptx", "a.pptx"});
    // Failures only, set while the run goes: the failure that arrives later shows, the
    // successes and the waiting rows do not.
    window->FailuresOnly1->setChecked(true);
    EXPECT_EQ(window->lViewer->model()->rowCount(), 0);
    Gate().Open();
    ASSERT_TRUE(WaitForIdle());
    ASSERT_EQ(window->lViewer->model()->rowCount(), 1);
    EXPECT_EQ(Shown(0, 1).data().toString().toStdString(), dir / "fail.pptx");
    window->FailuresOnly1->setChecked(false);
    ASSERT_EQ(window->lViewer->model()->rowCount(), 3);

    QHeaderView* header = window->lViewer->horizontalHeader();
    const auto click = [&](int column) {
        const QPointF at(header->sectionViewportPosition(column) + 5, header->height() / 2);
        const QPointF global = header->viewport()->mapToGlobal(at);
        QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(header->viewport(), &press);
        QApplication::sendEvent(header->viewport(), &release);
    };
    const auto names = [&] {
        std::vector<std::string> shown;
        for (int i = 0; i < window->lViewer->model()->rowCount(); ++i)
            shown.push_back(ExtractFileName(Shown(i, 1).data().toString().toStdString()));
        return shown;
    };
    click(1);
    EXPECT_EQ(names(), (std::vector<std::string>{"a.pptx", "c.pptx", "fail.pptx"}));
    click(1);
    EXPECT_EQ(names(), (std::vector<std::string>{"fail.pptx", "c.pptx", "a.pptx"}));
    click(1);  // the third click gives the batch's order back
    EXPECT_EQ(names(), (std::vector<std::string>{"c.pptx", "fail.pptx", "a.pptx"}));
    click(0);  // by state: the failure first
    EXPECT_EQ(names(), (std::vector<std::string>{"fail.pptx", "c.pptx", "a.pptx"}));
    // The entries stay the batch's: Export keeps its order, Copy and Enter take the row shown.
    click(1);
    SelectShown(0);
    window->Copy1->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
              "[Success] => " + dir / "a.pptx => done\n");
    emit window->lViewer->activated(Shown(2, 1));
    EXPECT_TRUE(links.empty());  // the failure
    emit window->lViewer->activated(Shown(0, 1));
    EXPECT_EQ(links, (std::vector<std::string>{"done"}));
    window->ExportList(dir / "sorted.log");
    EXPECT_EQ(ReadBytes(dir / "sorted.log").substr(0, 13), "[Success] => ");
    EXPECT_NE(ReadBytes(dir / "sorted.log").find(dir / "c.pptx => done\r\n[Failure]"),
              std::string::npos);
}

TEST_F(ResultsListTest, AFileReadOnlyInPartShowsWhatWasLost) {
    // A package whose zip directory is cut off: the engine rebuilds it from the entries.
    fs::create_directories(dir / "in");
    std::string bytes = ReadBytes(std::string(QUILLON_SAMPLES) + "/quarterly-review.pptx");
    const std::size_t directory = bytes.rfind(std::string("PK\x01\x02", 4), bytes.size());
    ASSERT_NE(directory, std::string::npos);
    bytes.resize(bytes.find(std::string("PK\x01\x02", 4)));
    WriteBytes(dir / "in/cut.pptx", bytes);
    OpenWindow("Source=" + dir / "in/*.ppt?,Target=" + dir / "out");
    window->bCreate->click();
    ASSERT_TRUE(WaitForIdle());
    ASSERT_EQ(Rows().rowCount(), 1);
    EXPECT_EQ(Image(0), ThvImageList::Salvaged);
    EXPECT_TRUE(Text(0, 2).starts_with(dir / "out/cut.txt (salvaged: ")) << Text(0, 2);
    window->ExportList(dir / "run.log");
    EXPECT_TRUE(ReadBytes(dir / "run.log").starts_with("[Success] => ")) << ReadBytes(dir / "run.log");
}

}  // namespace
