#include "platform/files/textFile.h"

#include <gtest/gtest.h>

#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"
#include "tempDir.h"
#include "text/textEncoding.h"

namespace {

using Lines = std::vector<std::string>;

TEST(TextFileTest, SplitLinesAtEveryKindOfBreak) {
    EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\n"), (Lines{"a"}));
    EXPECT_EQ(SplitLines(""), Lines{});
    EXPECT_EQ(SplitLines("\n"), (Lines{""}));
    EXPECT_EQ(SplitLines("a\r\n\r\n"), (Lines{"a", ""}));
    EXPECT_EQ(SplitLines("\r\r\n\n\r"), (Lines{"", "", "", ""}));
    EXPECT_EQ(SplitLines("a\n\rb"), (Lines{"a", "", "b"}));  // LF CR is two breaks
}

TEST(TextFileTest, JoinLinesEndsEveryLine) {
    EXPECT_EQ(JoinLines({"a", "", "b"}), "a\r\n\r\nb\r\n");
    EXPECT_EQ(JoinLines({}), "");
    EXPECT_EQ(SplitLines(JoinLines({"a", "", "b"})), (Lines{"a", "", "b"}));
}

TEST(TextFileTest, WritesAnsiAndReadsByMark) {
    TempDir dir;
    const std::string path = dir / "f.txt";
    SetAnsiCodePage("windows-1253");
    WriteTextFile(path, JoinLines({"\xCE\xB1\xCE\xB2", "x"}));
    EXPECT_EQ(ReadFileBytes(path, 100), "\xE1\xE2\r\nx\r\n");
    EXPECT_EQ(SplitLines(ReadTextFile(path)), (Lines{"\xCE\xB1\xCE\xB2", "x"}));
    SetAnsiCodePage("");

    WriteFileAtomic(path, std::string("\xFF\xFEz\0\r\0\n\0", 8));
    EXPECT_EQ(ReadTextFile(path), "z\r\n");
    EXPECT_THROW(ReadTextFile(path, 7), EhvError);

    // A mark put before a mark: neither is text.
    WriteFileAtomic(path, "\xEF\xBB\xBF\xEF\xBB\xBF\xEF\xBB\xBFSource=x\r\n");
    EXPECT_EQ(ReadTextFile(path), "Source=x\r\n");
    WriteFileAtomic(path, std::string("\xFF\xFE\xFF\xFEz\0", 6));
    EXPECT_EQ(ReadTextFile(path), "z");
}

TEST(TextFileTest, FilesTheProgramReadsBackKeepWhatTheAnsiPageLacks) {
    TempDir dir;
    const std::string path = dir / "p.batch-quillon";
    SetAnsiCodePage("windows-1252");
    // What the page holds stays in the page, as before.
    WriteTextFileAnsiOrUtf8(path, "Source=caf\xC3\xA9\r\n");
    EXPECT_EQ(ReadFileBytes(path, 100), "Source=caf\xE9\r\n");
    // A Cyrillic name would come back as "??????": the file is UTF-8 with its mark instead.
    const std::string name = "Source=\xD0\xBF\xD1\x80\xD0\xBE\xD0\xB5\xD0\xBA\xD1\x82 caf\xC3\xA9\r\n";
    WriteTextFileAnsiOrUtf8(path, name);
    EXPECT_EQ(ReadFileBytes(path, 100), "\xEF\xBB\xBF" + name);
    EXPECT_EQ(ReadTextFile(path), name);
    // Files for other readers (logs, exported lists) stay in the page.
    WriteTextFile(path, name);
    EXPECT_EQ(ReadFileBytes(path, 100), "Source=?????? caf\xE9\r\n");
    SetAnsiCodePage("");
}

}  // namespace
