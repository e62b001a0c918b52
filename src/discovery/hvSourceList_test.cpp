#include "discovery/hvSourceList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/base/hvError.h"
#include "platform/files/fileStream.h"
#include "tempDir.h"
#include "text/textEncoding.h"

namespace {

struct Read {
    std::vector<std::pair<std::size_t, std::string>> Entries;
    std::vector<std::string> Refused;
};

// Reads bytes through a reader in pieces of pieceSize (0: all at once).
Read ReadList(const std::string& bytes, std::size_t pieceSize = 0,
              ThvSourceListLimits limits = {}) {
    Read read;
    ThvSourceListReader reader(
        [&](std::size_t line, std::string text) {
            read.Entries.emplace_back(line, std::move(text));
        },
        [&](std::size_t, const std::string& message) { read.Refused.push_back(message); }, limits);
    if (pieceSize == 0) pieceSize = bytes.size() + 1;
    for (std::size_t i = 0; i < bytes.size(); i += pieceSize)
        reader.Feed(std::string_view(bytes).substr(i, pieceSize));
    reader.Finish();
    return read;
}

std::vector<std::string> Texts(const Read& read) {
    std::vector<std::string> texts;
    for (const auto& entry : read.Entries) texts.push_back(entry.second);
    return texts;
}

using Strings = std::vector<std::string>;

TEST(SourceListTest, EveryLineBreakAndNoBreakAtTheEnd) {
    const Read read = ReadList("a.ppt\r\nb.ppt\rc.ppt\n\n\r\nd.ppt");
    EXPECT_EQ(Texts(read), (Strings{"a.ppt", "b.ppt", "c.ppt", "d.ppt"}));
    EXPECT_EQ(read.Entries[3].first, 6u);  // empty lines are counted, not reported
    EXPECT_TRUE(read.Refused.empty());
    EXPECT_TRUE(ReadList("").Entries.empty());
    EXPECT_EQ(Texts(ReadList("x")), Strings{"x"});
}

// Any cut between two pieces gives the same entries: a CR LF, a byte-order mark and a UTF-16
// unit may each be cut in two.
TEST(SourceListTest, PiecesOfAnySizeReadTheSame) {
    const std::string utf8 =
        "\xEF\xBB\xBF"
        "caf\xC3\xA9.ppt\r\nsub/b.pptx\r\n\r\nlast";
    std::string utf16le = "\xFF\xFE";
    for (char16_t c : Utf8ToUtf16("caf\xC3\xA9.ppt\r\nsub/b.pptx\r\n\r\nlast")) {
        utf16le += static_cast<char>(c & 0xFF);
        utf16le += static_cast<char>(c >> 8);
    }
    const Strings expected{"caf\xC3\xA9.ppt", "sub/b.pptx", "last"};
    for (const std::string& bytes : {utf8, utf16le}) {
        for (std::size_t piece : {0, 1, 2, 3, 5, 7}) {
            EXPECT_EQ(Texts(ReadList(bytes, piece)), expected) << "piece " << piece;
        }
    }
}

TEST(SourceListTest, EncodingsByMarkAndTheAnsiCodePage) {
    EXPECT_EQ(Texts(ReadList(std::string("\xFE\xFF\x00"
                                         "a\x00\n\x03\xB1",
                                         8))),
              (Strings{"a", "\xCE\xB1"}));
    // Without a mark: UTF-8 bytes stay exactly as they are, a Latin-1 name included, since a
    // file name is bytes on this system.
    SetAnsiCodePage("UTF-8");
    EXPECT_EQ(Texts(ReadList("caf\xE9.ppt\n")), Strings{"caf\xE9.ppt"});
    SetAnsiCodePage("windows-1252");
    EXPECT_EQ(Texts(ReadList("caf\xE9.ppt\n")), Strings{"caf\xC3\xA9.ppt"});
    SetAnsiCodePage("");
    // A UTF-16 list cut in the middle of a unit ends in a replacement character.
    EXPECT_EQ(Texts(ReadList(std::string("\xFF\xFE"
                                         "a\x00"
                                         "b",
                                         5))),
              Strings{"a\xEF\xBF\xBD"});
}

// The limits hold at the limit and one step past it, and a refused line does not end the list.
TEST(SourceListTest, LimitsAtTheEdge) {
    ThvSourceListLimits limits;
    limits.LineBytes = 8;
    limits.Lines = 3;
    Read read = ReadList("12345678\n123456789\nok\nnot read\n", 4, limits);
    EXPECT_EQ(Texts(read), (Strings{"12345678", "ok"}));
    EXPECT_EQ(read.Refused, (Strings{"line 2 is longer than 8 bytes",
                                     "the list has more than 3 lines; line 4 and those after it "
                                     "are not read"}));
    limits.Lines = 4;
    EXPECT_EQ(Texts(ReadList("12345678\n123456789\nok\nread\n", 4, limits)),
              (Strings{"12345678", "ok", "read"}));
    read = ReadList(std::string("a\0b\nc\n", 6));
    EXPECT_EQ(Texts(read), Strings{"c"});
    EXPECT_EQ(read.Refused, Strings{"line 1 holds a NUL character"});
}

TEST(SourceListTest, ReadsAFileAndStopsOnRequest) {
    TempDir dir;
    std::string bytes;
    for (int i = 0; i < 50000; ++i) bytes += "folder/deck-" + std::to_string(i) + ".pptx\n";
    WriteBytes(dir / "list.txt", bytes);
    std::size_t entries = 0;
    ThvSourceListReader reader([&](std::size_t, std::string) { ++entries; },
                               [](std::size_t, const std::string&) {});
    ThvReadFile file(dir / "list.txt");
    ReadSourceListFile(file, reader, [] { return false; });
    EXPECT_EQ(entries, 50000u);

    std::size_t stopped = 0;
    ThvSourceListReader early([&](std::size_t, std::string) { ++stopped; },
                              [](std::size_t, const std::string&) {});
    ThvReadFile again(dir / "list.txt");
    ReadSourceListFile(again, early, [&] { return stopped > 0; });
    EXPECT_GT(stopped, 0u);
    EXPECT_LT(stopped, 50000u);
}

TEST(SourceListTest, EntriesResolveBelowTheListFolder) {
    EXPECT_EQ(ResolveListEntry("a/b.pptx", "/lists/", '/'), "/lists/a/b.pptx");
    EXPECT_EQ(ResolveListEntry("/data/a.pptx", "/lists/", '/'), "/data/a.pptx");
    EXPECT_EQ(ResolveListEntry("./a//b/./c.ppt", "/lists/", '/'), "/lists/a/b/c.ppt");
    EXPECT_EQ(ResolveListEntry("../in/a.ppt", "/lists/x/", '/'), "/lists/in/a.ppt");
    EXPECT_EQ(ResolveListEntry("../../../../a.ppt", "/lists/", '/'), "/a.ppt");
    EXPECT_EQ(ResolveListEntry("file:///data/a.ppt", "/lists/", '/'), "/data/a.ppt");
    EXPECT_EQ(ResolveListEntry("../a.ppt", "", '/'), "../a.ppt");
    EXPECT_EQ(ResolveListEntry("a/../../b.ppt", "", '/'), "../b.ppt");
    // Windows forms: a drive, a server share, either slash.
    EXPECT_EQ(ResolveListEntry("sub/a.ppt", "C:\\lists\\", '\\'), "C:\\lists\\sub\\a.ppt");
    EXPECT_EQ(ResolveListEntry("D:\\in\\..\\..\\a.ppt", "C:\\l\\", '\\'), "D:\\a.ppt");
    EXPECT_EQ(ResolveListEntry("\\\\srv\\share\\..\\a.ppt", "C:\\l\\", '\\'),
              "\\\\srv\\share\\a.ppt");
    // A server path that stops before its share (found by fuzzing: the head ran past the end).
    EXPECT_EQ(ResolveListEntry("\\\\srv", "C:\\l\\", '\\'), "\\\\srv");
    EXPECT_EQ(ResolveListEntry("//srv/share", "C:\\l\\", '\\'), "\\\\srv\\share");
    // Dots in the place of a server or a share are steps like any other.
    EXPECT_EQ(ResolveListEntry("\\\\..\\y.ppt", "C:\\l\\", '\\'), "\\\\y.ppt");
    EXPECT_EQ(ResolveListEntry("\\\\srv\\..\\y.ppt", "C:\\l\\", '\\'), "\\\\y.ppt");
}

// A name with ".." that climbs out of the source root must not be taken as below it: the text
// file would be written outside the target folder.
TEST(SourceListTest, BelowFolderIsDecidedOnTheResolvedPath) {
    EXPECT_TRUE(IsBelowFolder(ResolveListEntry("a/b.ppt", "/in/", '/'), "/in/", '/'));
    EXPECT_FALSE(IsBelowFolder(ResolveListEntry("a/../../etc/b.ppt", "/in/", '/'), "/in/", '/'));
    EXPECT_FALSE(IsBelowFolder("/input/b.ppt", "/in/", '/'));
    EXPECT_FALSE(IsBelowFolder("/in/", "/in/", '/'));
    EXPECT_TRUE(IsBelowFolder("c:\\IN\\b.ppt", "C:\\in\\", '\\'));
    EXPECT_FALSE(IsBelowFolder("/IN/b.ppt", "/in/", '/'));
}

}  // namespace
