#include "project/hvOptions.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/base/hvError.h"
#include "tempDir.h"
#include "text/textEncoding.h"

namespace {

ThvOptionList ListOf(std::string_view text) {
    ThvOptionList list;
    list.SetText(text);
    return list;
}

}  // namespace

TEST(OptionList, LookupIgnoresCaseTakesFirstAndKeepsValueAsIs) {
    const ThvOptionList list = ListOf(
        "target=C:\\out\n"
        " Source=ignored\n"
        "no equals sign\n"
        "Target=second\n"
        "Empty=\n"
        "Path= a=b \n");
    EXPECT_EQ(list.Value("Target"), "C:\\out");
    EXPECT_EQ(list.Value("Source"), "");  // the blank belongs to the name
    EXPECT_EQ(list.Value(" source"), "ignored");
    EXPECT_EQ(list.Value("no equals sign"), "");
    EXPECT_EQ(list.Value("Path"), " a=b ");  // only the first "=" separates
    EXPECT_EQ(list.Value("Missing"), "");
    EXPECT_EQ(list.IndexOfName("empty"), 4);
}

TEST(OptionList, LookupFoldsUnicodeCase) {
    const ThvOptionList list = ListOf("ÄNDERUNG=1\nStraße=2\n");
    EXPECT_EQ(list.Value("änderung"), "1");
    EXPECT_EQ(list.Value("STRASSE"), "2");
}

TEST(OptionList, UpdateReplacesInPlaceAppendsAndDeletes) {
    ThvOptionList list = ListOf("Source=a\nsubdir=False\nTarget=b\n");
    list.SetValue("Subdir", "True");
    EXPECT_EQ(list.Text(), "Source=a\r\nSubdir=True\r\nTarget=b\r\n");

    list.SetValue("LogFile", "x.log");
    EXPECT_EQ(list.Lines().back(), "LogFile=x.log");

    list.SetValue("SOURCE", "");
    EXPECT_EQ(list.Text(), "Subdir=True\r\nTarget=b\r\nLogFile=x.log\r\n");

    list.SetValue("Missing", "");
    EXPECT_EQ(list.Count(), 3u);
}

TEST(OptionList, UpdateWithEmptyValueDeletesOnlyFirstDuplicate) {
    ThvOptionList list = ListOf("A=1\nA=2\n");
    list.SetValue("a", "");
    EXPECT_EQ(list.Value("A"), "2");
}

TEST(OptionList, WholeTextSplitsEveryLineEndAndWritesCrLf) {
    ThvOptionList list = ListOf("a=1\rb=2\nc=3\r\n");
    EXPECT_EQ(list.Count(), 3u);
    EXPECT_EQ(list.Text(), "a=1\r\nb=2\r\nc=3\r\n");
    list.SetText("");
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.Text(), "");
    list.SetText("a\n\nb");  // an empty line in the middle stays
    EXPECT_EQ(list.Count(), 3u);
}

TEST(OptionList, FileFormRoundTripsAndReadsByteOrderMarks) {
    TempDir dir;
    SetAnsiCodePage("windows-1252");
    ThvOptionList list = ListOf("Source=C:\\in\\Café\\*.ppt?\nTarget=C:\\out\n");
    list.SaveToFile(dir / "p.batch-quillon");
    // ANSI bytes, CR LF, no mark, while the code page holds the text.
    EXPECT_EQ(ReadBytes(dir / "p.batch-quillon"),
              "Source=C:\\in\\Caf\xE9\\*.ppt?\r\nTarget=C:\\out\r\n");
    ThvOptionList back;
    back.LoadFromFile(dir / "p.batch-quillon");
    EXPECT_EQ(back.Value("Source"), "C:\\in\\Café\\*.ppt?");
    // A character it lacks would be lost to "?": then the file is UTF-8 with its mark.
    list.SetValue("Target", "Ω");
    list.SaveToFile(dir / "p.batch-quillon");
    EXPECT_EQ(ReadBytes(dir / "p.batch-quillon"),
              "\xEF\xBB\xBFSource=C:\\in\\Café\\*.ppt?\r\nTarget=Ω\r\n");
    back.LoadFromFile(dir / "p.batch-quillon");
    EXPECT_EQ(back.Value("Target"), "Ω");

    WriteBytes(dir / "u16.txt", std::string("\xFF\xFE"
                                            "A\0=\0\xA9\x03\r\0\n\0",
                                            12));
    back.LoadFromFile(dir / "u16.txt");
    EXPECT_EQ(back.Value("a"), "Ω");
    WriteBytes(dir / "u8.txt", "\xEF\xBB\xBFName=\xCE\xA9\r\n");
    back.LoadFromFile(dir / "u8.txt");
    EXPECT_EQ(back.Value("Name"), "Ω");
    SetAnsiCodePage("");
}

TEST(OptionList, FailedReadLeavesListAndFailedWriteSaysWhichFile) {
    TempDir dir;
    ThvOptionList list = ListOf("Keep=1\n");
    EXPECT_THROW(list.LoadFromFile(dir / "missing.batch-quillon"), EhvError);
    EXPECT_EQ(list.Value("Keep"), "1");
    try {
        list.SaveToFile(dir / "no/such/folder/p.batch-quillon");
        FAIL() << "no error";
    } catch (const EhvError& e) {
        EXPECT_EQ(
            std::string(e.what()).rfind(
                "Cannot create file \"" + (dir / "no/such/folder/p.batch-quillon") + "\". ", 0),
            0u)
            << e.what();
    }
}

TEST(TypedReading, Booleans) {
    for (const char* yes : {"1", "-1", "2.5", "TRUE", "true", " 1 ", "+3", "1e3", ".5", "5."})
        EXPECT_TRUE(ReadBool(yes, false)) << yes;
    for (const char* no : {"0", "false", "0.0", "FALSE", "-0", " 0 ", "0e5", "00"})
        EXPECT_FALSE(ReadBool(no, true)) << no;
    for (const char* other : {"yes", "on", "", " ", "1x", "e5", "1e", ".", "- 1", " true"}) {
        EXPECT_TRUE(ReadBool(other, true)) << other;
        EXPECT_FALSE(ReadBool(other, false)) << other;
    }
}

TEST(TypedReading, Integers) {
    EXPECT_EQ(ReadInt("4", 7), 4);
    EXPECT_EQ(ReadInt(" 4", 7), 4);
    EXPECT_EQ(ReadInt("4 ", 7), 7);
    EXPECT_EQ(ReadInt("-12", 7), -12);
    EXPECT_EQ(ReadInt("+12", 7), 12);
    EXPECT_EQ(ReadInt("$10", 7), 16);
    EXPECT_EQ(ReadInt("0x10", 7), 16);
    EXPECT_EQ(ReadInt("0X1f", 7), 31);
    EXPECT_EQ(ReadInt("x10", 7), 16);
    EXPECT_EQ(ReadInt("X10", 7), 16);
    EXPECT_EQ(ReadInt("-$10", 7), -16);
    EXPECT_EQ(ReadInt("$FFFFFFFF", 7), -1);
    EXPECT_EQ(ReadInt("2147483647", 7), 2147483647);
    EXPECT_EQ(ReadInt("-2147483648", 7), INT32_MIN);
    for (const char* bad : {"", " ", "2147483648", "-2147483649", "$100000000", "$", "0x", "-",
                            "1.0", "12abc", "99999999999999999999999", "$G", "0x-1"})
        EXPECT_EQ(ReadInt(bad, 7), 7) << bad;
}

TEST(OptionList, ReadersOnOtherThreadsWhileTheListChanges) {
    // Converters read options per file while the window may replace the whole list.
    ThvOptionList list;
    list.SetText("Source=/in\nIsOverwrite=skip\n");
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop) {
            const std::string value = list.Value("IsOverwrite");
            EXPECT_TRUE(value == "skip" || value == "True" || value.empty()) << value;
        }
    });
    for (int i = 0; i < 2000; ++i) {
        list.SetText(i % 2 ? "IsOverwrite=True\nSource=/x\n" : "Source=/in\nIsOverwrite=skip\n");
        list.SetValue("IsOverwrite", i % 3 ? "" : "skip");
    }
    stop = true;
    reader.join();
}
