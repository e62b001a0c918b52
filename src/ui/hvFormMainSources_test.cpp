// Choosing sources and target with the choosers (answered through their test hook) and by
// dropping paths on the window, also while a run goes on.

#include <QCheckBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>
#include <QToolBar>
#include <QUrl>
#include <algorithm>

#include "ui/hvActionButton.h"
#include "ui/hvResultsModel.h"
#include "ui/hvImages.h"
#include "ui/testing/uiTestSupport.h"

namespace {

class SourcesTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        Gate().Open();
        project->ConverterClass = &ThvGateConvertor::Class();
    }
    void TearDown() override {
        Gate().Open();
        WindowTest::TearDown();
    }
    /// Drops paths on the middle of a control, as the desktop would.
    bool Drop(QWidget* on, const std::vector<std::string>& paths) {
        auto* data = new QMimeData;
        QList<QUrl> urls;
        for (const std::string& p : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
        data->setUrls(urls);
        const QPoint at = on->mapTo(window.get(), on->rect().center());
        // The toolkit hands move and drop events only to the widget that took the enter.
        QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &enter);
        QDragMoveEvent move(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &move);
        QDropEvent drop(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &drop);
        delete data;
        return move.isAccepted();
    }
    std::vector<std::string> ListedSources() {
        std::vector<std::string> sources;
        for (int i = 0; i < window->Results()->rowCount(); ++i)
            sources.push_back(window->Results()->Row(i).Source.toStdString());
        return sources;
    }
    std::string Source() { return window->eSource->text().toStdString(); }
    std::string Target() { return window->eTarget->text().toStdString(); }
};

TEST_F(SourcesTest, FolderButtonsFillTheBoxesAndACancelledChooserChangesNothing) {
    OpenWindow();
    ThvChooserTestHook::NextFolder(std::nullopt);
    window->bSource->click();
    EXPECT_EQ(Source(), "");  // not "/*.ppt?", the root of the file system
    window->eSource->setText("/data/talks/one.pptx");
    ThvChooserTestHook::NextFolder(std::nullopt);
    window->bSource->click();
    EXPECT_EQ(Source(), "/data/talks/one.pptx");  // a single file stays a single file
    ThvChooserTestHook::NextFolder(std::nullopt);
    window->bTarget->click();
    EXPECT_EQ(Target(), "");  // not "/"
    window->eSource->setText("/data/talks/*.pptx");
    window->eTarget->clear();
    ThvChooserTestHook::NextFolder("/data/other");
    window->bSource->click();
    EXPECT_EQ(ThvChooserTestHook::LastFolderStart(), "/data/talks/");
    EXPECT_EQ(Source(), "/data/other/*.ppt?");
    EXPECT_EQ(Target(), "/data/other/");  // suggested while the box was empty
    EXPECT_EQ(window->Batch(), nullptr);  // folders only fill the boxes

    ThvChooserTestHook::NextFolder(std::nullopt);
    window->eTarget->setText("/out");
    window->bTarget->click();
    EXPECT_EQ(Target(), "/out");
    ThvChooserTestHook::NextFolder("/chosen/target");
    window->bTarget->click();
    EXPECT_EQ(ThvChooserTestHook::LastFolderStart(), "/out");
    EXPECT_EQ(Target(), "/chosen/target/");
}

TEST_F(SourcesTest, FilesButtonListsExactlyTheChosenFiles) {
    OpenWindow();
    window->eSource->setText("/in/*.ppt?");
    ThvChooserTestHook::NextOpenFiles(std::vector<std::string>{"/in/b.pptx", "/other/a.ppt"});
    window->bSourceFile->click();
    // The product's filter first, then what a search converts and any file.
    EXPECT_EQ(ThvChooserTestHook::LastOpenRequest().Filter,
              "PowerPoint Workbook (*.ppt;*.pptx)|*.ppt;*.pptx|Presentations (*.ppt?)|*.ppt?|"
              "All files (*)|*");
    EXPECT_EQ(ThvChooserTestHook::LastOpenRequest().FileName, "/in/*.ppt*");
    EXPECT_EQ(Source(), "/in/*.ppt?");  // several files leave the box
    EXPECT_EQ(Target(), "/in/");        // the folder of the first
    EXPECT_EQ(ListedSources(), (std::vector<std::string>{"/in/b.pptx", "/other/a.ppt"}));
    EXPECT_TRUE(window->Batch()->Searched());

    ThvChooserTestHook::NextOpenFiles(std::vector<std::string>{"/one/talk.pptx"});
    window->bSourceFile->click();
    EXPECT_EQ(Source(), "/one/talk.pptx");
    EXPECT_EQ(ListedSources(), (std::vector<std::string>{"/one/talk.pptx"}));

    ThvChooserTestHook::NextOpenFiles(std::nullopt);  // cancelled: nothing changes
    window->bSourceFile->click();
    EXPECT_EQ(ListedSources(), (std::vector<std::string>{"/one/talk.pptx"}));

    // A double click on the Source box is the same chooser.
    ThvChooserTestHook::NextOpenFiles(std::vector<std::string>{"/two/x.pptx"});
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window->eSource, &dbl);
    EXPECT_EQ(ListedSources(), (std::vector<std::string>{"/two/x.pptx"}));
}

TEST_F(SourcesTest, DropsFollowTheControlUnderThePoint) {
    const std::string projectFile = dir / "p.batch-quillon";
    WriteBytes(projectFile, "Source=/from/project/*.ppt?\r\nTarget=/to\r\n");
    OpenWindow();
    // One project file opens the project, on the list as on an edit box.
    EXPECT_TRUE(Drop(window->lViewer->viewport(), {projectFile}));
    EXPECT_EQ(Source(), "/from/project/*.ppt?");
    EXPECT_EQ(window->windowTitle().toStdString(), "Quillon Converter - " + projectFile);
    window->eSource->clear();
    Drop(window->eTarget, {projectFile});
    EXPECT_EQ(Source(), "/from/project/*.ppt?");

    // Two project files on the list are two entries.
    const std::string other = dir / "q.batch-quillon";
    Drop(window->lViewer->viewport(), {projectFile, other});
    EXPECT_EQ(ListedSources(), (std::vector<std::string>{projectFile, other}));

    // Three files on the Source box: only the first goes there; the list stays.
    window->eTarget->clear();
    Drop(window->eSource, {"/d/1.pptx", "/d/2.pptx", "/d/3.pptx"});
    EXPECT_EQ(Source(), "/d/1.pptx");
    EXPECT_EQ(Target(), "/d/");
    EXPECT_EQ(ListedSources(), (std::vector<std::string>{projectFile, other}));
    Drop(window->eTarget, {"/e/talk.pptx"});
    EXPECT_EQ(Target(), "/e/talk.pptx");  // Convert cuts it back to its folder

    // Files on the list replace the batch, and again; folders count as files.
    Drop(window->lViewer->viewport(), {"/f/a.pptx", "/f/sub"});
    EXPECT_EQ(ListedSources(), (std::vector<std::string>{"/f/a.pptx", "/f/sub"}));
    const uint64_t number = window->BatchNumber();
    Drop(window->lViewer->viewport(), {"/g/b.pptx"});
    EXPECT_EQ(ListedSources(), (std::vector<std::string>{"/g/b.pptx"}));
    EXPECT_EQ(window->BatchNumber(), number + 1);

    // Buttons, the check box, panels and the tool bar take nothing.
    for (QWidget* on : std::initializer_list<QWidget*>{window->bSource, window->bCreate,
                                                       window->cSubdir, window->pOthers,
                                                       window->ToolBar}) {
        EXPECT_FALSE(Drop(on, {"/h/c.pptx"})) << on->objectName().toStdString();
        EXPECT_EQ(ListedSources(), (std::vector<std::string>{"/g/b.pptx"}));
        EXPECT_EQ(Source(), "/d/1.pptx");
    }
}

TEST_F(SourcesTest, PathsOfAnyLengthAreKeptWhole) {
    OpenWindow();
    std::string deep = "/";
    while (deep.size() < 3000) deep += "a-rather-long-folder-name/";
    deep += "talk.pptx";
    Drop(window->lViewer->viewport(), {deep});
    EXPECT_EQ(ListedSources(), (std::vector<std::string>{deep}));
    Drop(window->eSource, {deep});
    EXPECT_EQ(Source(), deep);
}

TEST_F(SourcesTest, DuringARunChosenOrDroppedFilesCannotReplaceTheBatch) {
    Gate().Close();
    ThvChooserTestHook::NextOpenFiles(std::vector<std::string>{"/r/a.pptx", "/r/b.pptx"});
    OpenWindow("Target=" + dir / "out");
    window->bSourceFile->click();
    window->bCreate->click();
    ASSERT_TRUE(PumpUntil([] { return Gate().Waiting() == 1; }));
    ThvBatch* running = window->Batch();
    EXPECT_FALSE(window->bSourceFile->isEnabled());
    EXPECT_FALSE(window->BrowseFiles1->isEnabled());
    EXPECT_FALSE(Drop(window->lViewer->viewport(), {"/x/new.pptx"}));
    EXPECT_EQ(window->Batch(), running);
    EXPECT_EQ(ListedSources(), (std::vector<std::string>{"/r/a.pptx", "/r/b.pptx"}));
    // The boxes still take a path: they do not touch the batch.
    EXPECT_TRUE(Drop(window->eSource, {"/x/new.pptx"}));
    EXPECT_EQ(Source(), "/x/new.pptx");

    Gate().Open();
    ASSERT_TRUE(WaitForIdle());
    EXPECT_TRUE(window->bSourceFile->isEnabled());
    EXPECT_TRUE(Drop(window->lViewer->viewport(), {"/x/new.pptx"}));
    EXPECT_EQ(ListedSources(), (std::vector<std::string>{"/x/new.pptx"}));
}

TEST_F(SourcesTest, RowsFollowManyConvertersWhileTheSearchStillRuns) {
    std::filesystem::create_directories(dir / "in/sub");
    for (int i = 0; i < 300; ++i)
        WriteBytes(dir / (i % 2 ? "in/" : "in/sub/") + (i % 7 ? "f" : "fail") + std::to_string(i) +
                       ".pptx",
                   "");
    OpenWindow("Source=" + dir / "in/*.pptx,Target=" + dir / "out,Subdir=True,ThreadsCount=4");
    window->bCreate->click();
    ASSERT_TRUE(WaitForIdle());
    ThvBatch* batch = window->Batch();
    ASSERT_EQ(window->Results()->rowCount(), 300);
    ThvBatchLock lock(*batch);
    for (int i = 0; i < 300; ++i) {
        const ThvNode& node = *lock.Nodes()[static_cast<std::size_t>(i)];
        const auto& row = window->Results()->Row(i);
        EXPECT_EQ(row.Source.toStdString(), node.Source);
        EXPECT_EQ(row.Image, node.State.load()) << node.Source;
        EXPECT_EQ(row.Result.toStdString(),
                  node.State == ThvNode::Failure ? "first line" : "done");
    }
}

TEST_F(SourcesTest, AFolderDroppedOnTheListIsSearchedWithTheMaskAndSubFolders) {
    std::filesystem::create_directories(dir / "in/sub");
    for (const char* name : {"in/a.pptx", "in/notes.txt", "in/sub/b.ppt", "loose.pptx"})
        WriteBytes(dir / name, "");
    OpenWindow("Target=" + dir / "out");
    window->eSource->setText(QString::fromStdString(dir / "elsewhere/*.ppt?"));
    window->cSubdir->setChecked(true);
    Drop(window->lViewer->viewport(), {dir / "in", dir / "loose.pptx"});
    ASSERT_TRUE(PumpUntil([&] { return window->Batch()->Searched(); }));
    window->ItemForEntry();
    std::vector<std::string> listed = ListedSources();
    std::sort(listed.begin(), listed.end());
    // Not one row for the folder that fails "is a folder": its presentations.
    EXPECT_EQ(listed, (std::vector<std::string>{dir / "in/a.pptx", dir / "in/sub/b.ppt",
                                                dir / "loose.pptx"}));
    window->cSubdir->setChecked(false);
    Drop(window->lViewer->viewport(), {dir / "in"});
    ASSERT_TRUE(PumpUntil([&] { return window->Batch()->Searched(); }));
    window->ItemForEntry();
    EXPECT_EQ(ListedSources(), (std::vector<std::string>{dir / "in/a.pptx"}));
    window->bCreate->click();
    ASSERT_TRUE(WaitForIdle());
    EXPECT_EQ(window->Results()->Row(0).Image, ThvImageList::Success);
}

}  // namespace
