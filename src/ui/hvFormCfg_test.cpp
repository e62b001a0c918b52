// The options dialog as the main window opens it.

#include "ui/hvFormCfg.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "ui/testing/uiTestSupport.h"

namespace {

class ConfigTest : public WindowTest {
  protected:
    /// Opens the dialog with Config and runs act on it while it is shown.
    void WithDialog(const std::function<void(ThvFrmCfg&)>& act) {
        bool acted = false;
        QTimer::singleShot(0, window.get(), [&] {
            ThvFrmCfg* dialog = window->ConfigDialog();
            ASSERT_NE(dialog, nullptr);
            EXPECT_TRUE(dialog->isVisible());
            act(*dialog);
            acted = true;
            if (dialog->isVisible()) dialog->close();
        });
        window->aConfig->trigger();
        EXPECT_TRUE(acted);
    }
};

TEST_F(ConfigTest, ShowsTheControlsCopiedIntoTheOptionsAndOkPushesEditsBack) {
    OpenWindow("Source=/a/*.ppt?,Target=/b,IsOverwrite=skip");
    window->eSource->setText("/typed/*.ppt?");
    WithDialog([&](ThvFrmCfg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Config");
        EXPECT_EQ(dialog.size(), QSize(292, 273));
        EXPECT_EQ(dialog.btnOk->text(), "&Ok");
        EXPECT_EQ(dialog.btnHelp->toolTip(), "Click here to see the details about the options");
        EXPECT_EQ(dialog.txtCfg->toPlainText(),
                  "Source=/typed/*.ppt?\nTarget=/b\nIsOverwrite=skip\nSubdir=False\n");
        dialog.txtCfg->setPlainText("Source=/c/*.ppt?\nsubdir=True\nThreadsCount=4\nno equals\n");
        dialog.btnOk->click();
        EXPECT_FALSE(dialog.isVisible());
    });
    EXPECT_EQ(window->eSource->text(), "/c/*.ppt?");
    EXPECT_TRUE(window->cSubdir->isChecked());
    EXPECT_EQ(window->eTarget->text(), "");  // its line was removed
    EXPECT_EQ(project->ThreadsCount(), 4);
    ThvChooserTestHook::NextSaveFile(dir / "quillon.batch-quillon");
    window->aSave->trigger();  // a project from the command line has no file name yet
    // Saving copies the controls in once more, under the keys' own spelling, in place.
    EXPECT_EQ(ReadBytes(dir / "quillon.batch-quillon"),
              "Source=/c/*.ppt?\r\nSubdir=True\r\nThreadsCount=4\r\nno equals\r\n");
}

TEST_F(ConfigTest, EmptyingTheTextEmptiesTheOptionsAndTheControls) {
    OpenWindow("Source=/a/*.ppt?,Target=/b,Subdir=True");
    WithDialog([](ThvFrmCfg& dialog) {
        dialog.txtCfg->clear();
        dialog.btnOk->click();
    });
    EXPECT_EQ(project->Options.Count(), 0u);
    EXPECT_EQ(window->eSource->text(), "");
    EXPECT_EQ(window->eTarget->text(), "");
    EXPECT_FALSE(window->cSubdir->isChecked());
}

TEST_F(ConfigTest, CancelAndTheCloseBoxLeaveTheOptionsAndTheDialogIsReused) {
    OpenWindow("Source=/a/*.ppt?,Target=/b");
    WithDialog([](ThvFrmCfg& dialog) {
        dialog.txtCfg->setPlainText("Source=/changed\n");
        dialog.btnCancel->click();
    });
    ThvFrmCfg* first = window->ConfigDialog();
    WithDialog([](ThvFrmCfg& dialog) {
        // Text left in the memo last time is gone: each show reloads it.
        EXPECT_EQ(dialog.txtCfg->toPlainText(), "Source=/a/*.ppt?\nTarget=/b\nSubdir=False\n");
        dialog.txtCfg->setPlainText("");
        dialog.close();
    });
    EXPECT_EQ(window->ConfigDialog(), first);
    EXPECT_EQ(project->Source(), "/a/*.ppt?");
    EXPECT_EQ(window->eSource->text(), "/a/*.ppt?");
}

TEST_F(ConfigTest, HelpOpensTheHelpDocument) {
    OpenWindow();
    WithDialog([](ThvFrmCfg& dialog) { dialog.btnHelp->click(); });
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0], dir / "quillon.pdf");
}

}  // namespace
