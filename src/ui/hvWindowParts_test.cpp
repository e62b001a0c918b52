// The window's small parts: the target rule, the chooser filters and answers, the bound
// widgets.

#include <QCheckBox>
#include <QFontInfo>
#include <QLineEdit>

#include "project/hvOptions.h"
#include "project/hvPropList.h"
#include "ui/hvBoundControls.h"
#include "ui/hvFormBase.h"
#include "ui/hvQtChoosers.h"
#include "ui/hvTargetBox.h"
#include "ui/testing/uiTestSupport.h"

namespace {

// The forms are designed in Tahoma at 11 pixels: Windows has it, Debian's fonts-wine (a
// dependency of the build) has it for Linux and for Wine. A face the toolkit falls back to
// instead (a serif one under Wine) makes every caption wider than its place.
TEST(FormFont, IsTheDesignFaceWhereverTheProgramRuns) {
    const QFontInfo shown(FormFont());
    EXPECT_EQ(shown.family().toStdString(), "Tahoma");
    EXPECT_EQ(shown.pixelSize(), 11);
}

TEST(TargetBox, CutsBackUntilUsable) {
    const auto isFile = [](const std::string& p) {
        return p == "D:\\out\\list.txt" || p == "/out/list.txt";
    };
    EXPECT_EQ(CutBackTarget("D:\\out\\list.txt", '\\', isFile), "D:\\out\\");
    EXPECT_EQ(CutBackTarget("D:\\out\\*.txt", '\\', isFile), "D:\\out\\");
    EXPECT_EQ(CutBackTarget("D:\\out\\a?\\b*\\", '\\', isFile), "D:\\out\\");
    EXPECT_EQ(CutBackTarget("D:\\new\\deep", '\\', isFile), "D:\\new\\deep");
    // With "\" a colon belongs to a drive only: a first one past the tenth character makes the
    // text unusable, and a text that stops shrinking at it leaves nothing usable.
    EXPECT_EQ(CutBackTarget("D:\\folder\\a:b\\c", '\\', isFile), "D:\\folder\\a:b\\c");
    EXPECT_EQ(CutBackTarget("\\\\server\\share\\a:b", '\\', isFile), "");
    EXPECT_EQ(CutBackTarget("longfoldername:", '\\', isFile), "");
    EXPECT_EQ(CutBackTarget("*.txt", '\\', isFile), "");
    // With "/" a colon is a character like any other.
    EXPECT_EQ(CutBackTarget("/data/talks:2024/out", '/', isFile), "/data/talks:2024/out");
    EXPECT_EQ(CutBackTarget("/out/list.txt/", '/', isFile), "/out/");
    EXPECT_EQ(CutBackTarget("/out/*.txt", '/', isFile), "/out/");
}

TEST(QtChoosers, FiltersBecomeQtFilters) {
    EXPECT_EQ(QtFilter("PowerPoint Workbook (*.ppt;*.pptx)|*.ppt;*.pptx"),
              "PowerPoint Workbook (*.ppt *.pptx)");
    EXPECT_EQ(QtFilter("Quillon Project|*.batch-quillon|PowerPoint Workbook (*.ppt;*.pptx)|"
                       "*.ppt;*.pptx"),
              "Quillon Project (*.batch-quillon);;PowerPoint Workbook (*.ppt *.pptx)");
    EXPECT_EQ(QtFilter("Log File|*.log"), "Log File (*.log)");
}

TEST(QtChoosers, TheNextAnswerSetByATestIsGivenOnceWithItsRequestKept) {
    InstallQtChoosers(nullptr);
    ThvChooserTestHook::NextOpenFiles(std::vector<std::string>{"/in/a.pptx", "/in/b.ppt"});
    std::string path = P("/in/*.ppt?");
    EXPECT_TRUE(SelectOpenFile("Name|*.ppt", path, true));
    EXPECT_EQ(path, "/in/a.pptx\r\n/in/b.ppt\r\n");
    EXPECT_EQ(ThvChooserTestHook::LastOpenRequest().FileName, P("/in/*.ppt*"));
    EXPECT_EQ(ThvChooserTestHook::LastOpenRequest().InitialDir, P("/in/"));
    EXPECT_TRUE(ThvChooserTestHook::LastOpenRequest().Multiple);

    ThvChooserTestHook::NextFolder(std::nullopt);  // cancelled
    std::string folder = "/start";
    SelectFolder(folder);
    EXPECT_EQ(folder, "/start");
    EXPECT_EQ(ThvChooserTestHook::LastFolderStart(), "/start");
    ThvChooserTestHook::NextFolder("/chosen");
    SelectFolder(folder);
    EXPECT_EQ(folder, "/chosen");

    ThvChooserTestHook::NextSaveFile("/logs/run.log");
    std::string save;
    EXPECT_TRUE(SelectSaveFile("Log File|*.log", ".log", save));
    EXPECT_EQ(save, "/logs/run.log");
    EXPECT_EQ(ThvChooserTestHook::LastSaveRequest().DefaultExt, ".log");
    SetChoosers({});
}

TEST(BoundWidgets, PropertiesByNameIgnoringCaseThroughTheProjectRules) {
    QLineEdit edit;
    edit.setObjectName("eSource");
    QCheckBox check;
    check.setObjectName("cSubdir");
    ThvBoundWidget source(edit, "Text"), subdir(check, "Checked");
    EXPECT_EQ(source.Name(), "eSource");
    EXPECT_EQ(source.Hint(), "Text");
    EXPECT_EQ(source.PropKind("TEXT"), ThvPropKind::Text);
    EXPECT_EQ(subdir.PropKind("checked"), ThvPropKind::Boolean);
    EXPECT_EQ(source.PropKind("Checked"), ThvPropKind::None);

    ThvOptionList options;
    options.SetText("Source=/in/*.ppt?\nSubdir=1\n");
    ThvPropList sourceAccess(source), subdirAccess(subdir);
    sourceAccess.OptionsToControl(options);
    EXPECT_EQ(edit.text(), "/in/*.ppt?");
    check.setChecked(true);
    subdirAccess.OptionsToControl(options);  // "1" is not a boolean property's text
    EXPECT_TRUE(check.isChecked());
    options.SetText("subdir=False\n");
    subdirAccess.OptionsToControl(options);
    EXPECT_FALSE(check.isChecked());
    sourceAccess.OptionsToControl(options);  // a missing option empties the box
    EXPECT_EQ(edit.text(), "");
    check.setChecked(true);
    subdirAccess.ControlToOptions(options);
    EXPECT_EQ(options.Text(), "Subdir=True\r\n");
}

}  // namespace
