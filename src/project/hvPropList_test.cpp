#include "project/hvPropList.h"

#include <gtest/gtest.h>

#include "project/hvOptions.h"
#include "project/testing/testControl.h"

TEST(PropList, BooleanPropertyTakesOnlyTheTwoWords) {
    ThvTestControl box("cSubdir", "Checked");
    ThvPropList accessor(box);
    accessor.SetProp("checked", "TRUE");
    EXPECT_TRUE(box.checked);
    EXPECT_EQ(accessor.GetProp("Checked"), "True");
    accessor.SetProp("Checked", "1");  // a number is no boolean word: unchanged
    EXPECT_TRUE(box.checked);
    accessor.SetProp("Checked", "");  // a missing option unchecks
    EXPECT_FALSE(box.checked);
    EXPECT_EQ(accessor.GetProp("Checked"), "False");
}

TEST(PropList, TextPropertyAndMissingPropertyAndFailingControl) {
    ThvTestControl edit("eSource", "Text");
    ThvPropList accessor(edit);
    accessor.SetProp("Text", " C:\\in\\*.ppt? ");
    EXPECT_EQ(edit.text, " C:\\in\\*.ppt? ");
    accessor.SetProp("Color", "red");
    EXPECT_EQ(accessor.GetProp("Color"), "");
    EXPECT_EQ(accessor.GetProp("Checked"), "");

    edit.failing = true;
    EXPECT_NO_THROW(accessor.SetProp("Text", "x"));
    EXPECT_EQ(accessor.GetProp("Text"), "");
}

TEST(PropList, OptionsToControlUsesKeyWithoutPrefix) {
    ThvTestControl source("eSource", "Text"), subdir("cSubdir", "Checked");
    subdir.checked = true;
    source.text = "old";
    ThvOptionList options;
    options.SetText("source=/in/*.ppt?\n");
    ThvPropList(source).OptionsToControl(options);
    ThvPropList(subdir).OptionsToControl(options);
    EXPECT_EQ(source.text, "/in/*.ppt?");
    EXPECT_FALSE(subdir.checked);  // absent option unchecks

    options.SetText("Subdir=1\n");
    subdir.checked = false;
    ThvPropList(subdir).OptionsToControl(options);
    EXPECT_FALSE(subdir.checked);  // typed reading would say true; the check box does not
    ThvPropList(source).OptionsToControl(options);
    EXPECT_EQ(source.text, "");  // absent option empties
}

TEST(PropList, OlderKeyFormIsReadOnceAndMovedToTheNewKey) {
    ThvTestControl source("eSource", "Text");
    ThvOptionList options;
    options.SetText("eSource.Text=/data/in\nOther=1\n");
    ThvPropList accessor(source);
    accessor.OptionsToControl(options);
    EXPECT_EQ(source.text, "/data/in");
    EXPECT_EQ(options.Text(), "Other=1\r\n");
    accessor.ControlToOptions(options);
    EXPECT_EQ(options.Text(), "Other=1\r\nSource=/data/in\r\n");
}

TEST(PropList, ControlToOptionsWritesFalseAndRemovesEmptyText) {
    ThvTestControl target("eTarget", "Text"), subdir("cSubdir", "Checked");
    ThvOptionList options;
    options.SetText("Target=/out\nSubdir=True\n");
    ThvPropList(target).ControlToOptions(options);
    ThvPropList(subdir).ControlToOptions(options);
    EXPECT_EQ(options.Text(), "Subdir=False\r\n");
}
