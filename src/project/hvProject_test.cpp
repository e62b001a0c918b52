#include "project/hvProject.h"

#include <gtest/gtest.h>

#include "errorText.h"
#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"
#include "platform/system/choosers.h"
#include "platform/system/cpuCount.h"
#include "project/testing/testControl.h"
#include "scopedChoosers.h"
#include "tempDir.h"

namespace {

// A project as the start-up code makes it, with its program in a temporary folder.
class ProjectTest : public ::testing::Test {
  protected:
    std::unique_ptr<ThvProject> MakeProject() {
        auto p = std::make_unique<ThvProject>(exe);
        p->ShortName = "quillon";
        p->ProjectExt = ".batch-" + p->ShortName;
        p->ProjectFilter = "Quillon Project|*" + p->ProjectExt;
        p->SourceFilter = "PowerPoint Workbook (*.ppt;*.pptx)|*.ppt;*.pptx";
        return p;
    }
    // The window's three bound controls, bound in the window's order.
    void BindControls(ThvProject& p) {
        p.Bind(source);
        p.Bind(subdir);
        p.Bind(target);
    }

    TempDir dir;
    std::string exe = dir / "quillon";
    std::string defaultProject = dir / "quillon.batch-quillon";
    ThvTestControl source{"eSource", "Text"}, subdir{"cSubdir", "Checked"},
        target{"eTarget", "Text"};
};

}  // namespace

TEST_F(ProjectTest, TypedGettersAndTheirDefaults) {
    auto p = MakeProject();
    EXPECT_EQ(p->OverwriteMode(), ThvOverwriteMode::Overwrite);
    EXPECT_TRUE(p->KeepTargetSubdirs());
    EXPECT_EQ(p->ThreadsCount(), 1);
    EXPECT_FALSE(p->RunAndClose());
    p->Options.SetText("IsOverwrite=SKIP\nThreadsCount=$4\nKeepTargetSubdirs=0\nDaemon=5000\n");
    EXPECT_EQ(p->OverwriteMode(), ThvOverwriteMode::Skip);
    EXPECT_EQ(p->ThreadsCount(), 4);
    EXPECT_FALSE(p->KeepTargetSubdirs());
    EXPECT_TRUE(p->RunAndClose());
    p->Options.SetValue("IsOverwrite", "0");
    EXPECT_EQ(p->OverwriteMode(), ThvOverwriteMode::NewName);
    p->Options.SetValue("IsOverwrite", "maybe");
    EXPECT_EQ(p->OverwriteMode(), ThvOverwriteMode::Overwrite);
    p->OverwriteDefault = false;
    EXPECT_EQ(p->OverwriteMode(), ThvOverwriteMode::NewName);
    p->Options.SetText("PureConsole=True\n");
    EXPECT_TRUE(p->RunAndClose());
}

TEST_F(ProjectTest, OutputWordsReadIgnoringCaseAndAnyOtherWordIsAnError) {
    auto p = MakeProject();
    p->TargetExt = ".txt";
    EXPECT_EQ(p->OutputFormat(), ThvOutputFormat::Text);
    EXPECT_EQ(p->HiddenSlides(), ThvHiddenSlideMode::Include);
    EXPECT_EQ(p->TextEncoding(), ThvTextEncoding::Ansi);
    EXPECT_EQ(p->OutputExt(), ".txt");
    EXPECT_FALSE(p->Notes() || p->Comments() || p->AltText());
    p->Options.SetText(
        "OutputFormat=JSONL\nHiddenSlides=Skip\nTextEncoding=UTF-8-BOM\n"
        "Notes=1\nComments=True\nAltText=yes\n");
    EXPECT_EQ(p->OutputFormat(), ThvOutputFormat::JsonLines);
    EXPECT_EQ(p->OutputExt(), ".jsonl");
    EXPECT_EQ(p->HiddenSlides(), ThvHiddenSlideMode::Skip);
    EXPECT_EQ(p->TextEncoding(), ThvTextEncoding::Utf8Bom);
    EXPECT_TRUE(p->Notes() && p->Comments());
    EXPECT_FALSE(p->AltText());  // a switch's unreadable value is its default, as for any
    p->Options.SetText("OutputFormat=markdown\nHiddenSlides=mark\nTextEncoding=utf-16\n");
    EXPECT_EQ(p->OutputExt(), ".md");
    EXPECT_EQ(p->HiddenSlides(), ThvHiddenSlideMode::Mark);
    EXPECT_EQ(p->TextEncoding(), ThvTextEncoding::Utf16);
    // A word of no option is never taken for the default, which would write what nobody
    // asked for: hidden slides into an index, question marks for characters.
    p->Options.SetText("OutputFormat=md\nHiddenSlides=hide\nTextEncoding=utf8\n");
    EXPECT_EQ(ErrorOf([&] { p->OutputExt(); }), "OutputFormat=md is none of text, markdown, jsonl");
    EXPECT_EQ(ErrorOf([&] { p->HiddenSlides(); }),
              "HiddenSlides=hide is none of include, mark, skip");
    EXPECT_EQ(ErrorOf([&] { p->TextEncoding(); }),
              "TextEncoding=utf8 is none of ansi, utf-8, utf-8-bom, utf-16");
}

TEST_F(ProjectTest, ThreadsCountAutoIsTheCoresThisProcessMayUse) {
    auto p = MakeProject();
    p->Options.SetText("ThreadsCount=AUTO\nShards=4\nShard=3\n");
    EXPECT_EQ(p->ThreadsCount(), AvailableCores());
    EXPECT_EQ(p->Shards(), 4);
    EXPECT_EQ(p->Shard(), 3);
    EXPECT_EQ(p->Attempt(), 0);
    p->Options.SetValue("ThreadsCount", " auto");  // not the word: the integer default
    EXPECT_EQ(p->ThreadsCount(), 1);
}

// The folder itself is made by the run's batch (PrepareTargetFolder), in one place.
TEST_F(ProjectTest, TargetFolderEndsWithDelimiterAndCreatesNothing) {
    auto p = MakeProject();
    EXPECT_EQ(p->TargetFolder(), "");
    p->Options.SetValue("Target", dir / "out/deep");
    EXPECT_EQ(p->TargetFolder(), dir / "out/deep/");
    EXPECT_FALSE(DirectoryExists(dir / "out"));
    p->Options.SetValue("Target", dir / "out/");
    EXPECT_EQ(p->TargetFolder(), dir / "out/");
    p->PathDelim = '\\';
    p->Options.SetValue("Target", dir / "win");
    EXPECT_EQ(p->TargetFolder(), dir / "win\\");
}

TEST_F(ProjectTest, NoArgumentAndNoDefaultProjectStartsNamedAndEmpty) {
    auto p = MakeProject();
    ASSERT_TRUE(p->ParseCommandLine(""));
    EXPECT_EQ(p->FileName, defaultProject);
    EXPECT_EQ(p->Options.Count(), 0u);
    EXPECT_EQ(p->RecentFiles.Count(), 0u);  // a project that does not exist is not remembered

    BindControls(*p);
    source.text = "stale";
    subdir.checked = true;
    p->OpenStartup();
    EXPECT_EQ(source.text, "");
    EXPECT_FALSE(subdir.checked);

    source.text = "/in/*.ppt?";
    p->Save();  // named already: no chooser needed
    EXPECT_EQ(ReadBytes(defaultProject), "Source=/in/*.ppt?\r\nSubdir=False\r\n");
    EXPECT_EQ(p->RecentFiles.Lines(), std::vector<std::string>{defaultProject});
}

TEST_F(ProjectTest, OptionArgument) {
    auto p = MakeProject();
    ASSERT_TRUE(p->ParseCommandLine("-p:Source=/in/*.ppt?,Subdir=True;LogFile=/l,x.log"));
    EXPECT_EQ(p->Options.Text(),
              "Source=/in/*.ppt?\r\nSubdir=True\r\nLogFile=/l\r\nx.log\r\nTarget=/in/\r\n");
    EXPECT_EQ(p->FileName, "");

    // The second start-up call, from the window, sets the same options again.
    BindControls(*p);
    p->Options.Clear();
    p->OpenStartup();
    EXPECT_EQ(p->Options.Value("Target"), "/in/");
    EXPECT_EQ(source.text, "/in/*.ppt?");
    EXPECT_TRUE(subdir.checked);

    auto q = MakeProject();
    ASSERT_TRUE(q->ParseCommandLine("-PSource=/a/b.ppt"));  // the colon is optional
    EXPECT_EQ(q->Options.Value("Source"), "/a/b.ppt");
}

TEST_F(ProjectTest, EmptyOptionSwitchUnknownSwitchAndSingleCharacterActAsNoArgument) {
    WriteBytes(defaultProject, "Source=/default/*.ppt?\r\n");
    for (const char* arg : {"-P", "-P:", "-X", "x"}) {
        auto p = MakeProject();
        ASSERT_TRUE(p->ParseCommandLine(arg)) << arg;
        EXPECT_EQ(p->FileName, defaultProject) << arg;
        EXPECT_EQ(p->Options.Value("Source"), "/default/*.ppt?") << arg;
    }
}

TEST_F(ProjectTest, ReportSwitchesEndWithoutOpeningAnything) {
    WriteBytes(defaultProject, "Source=/default\r\n");
    for (const char* arg : {"-Ilang=en", "/i", "-U", "/uninstall"}) {
        auto p = MakeProject();
        char letter = 0;
        std::string argument;
        p->OnReportSwitch = [&](char l, const std::string& a) { letter = l, argument = a; };
        EXPECT_FALSE(p->ParseCommandLine(arg)) << arg;
        EXPECT_EQ(argument, arg);
        EXPECT_EQ(letter, std::toupper(static_cast<unsigned char>(arg[1])));
        EXPECT_EQ(p->Options.Count(), 0u);
    }
}

TEST_F(ProjectTest, AbsolutePathsAreNotSwitches) {
    WriteBytes(dir / "talk.pptx", "x");
    auto p = MakeProject();
    ASSERT_TRUE(p->ParseCommandLine(dir / "talk.pptx"));
    EXPECT_EQ(p->Options.Value("Source"), dir / "talk.pptx");

    // A path to something that does not exist is still a path unless its letter is a switch's.
    auto q = MakeProject();
    ASSERT_TRUE(q->ParseCommandLine("/data/in/a.ppt"));
    EXPECT_EQ(q->Options.Value("Source"), "/data/in/a.ppt");
    EXPECT_EQ(q->Options.Value("Target"), "/data/in/");

    auto i = MakeProject();
    ASSERT_TRUE(i->ParseCommandLine("/in/talk.pptx"));  // I, but a path below a folder
    EXPECT_EQ(i->Options.Value("Source"), "/in/talk.pptx");
    auto o = MakeProject();
    ASSERT_TRUE(o->ParseCommandLine("/P:Source=/in/*.ppt?"));
    EXPECT_EQ(o->Options.Value("Target"), "/in/");

    // Windows rules: "/" always introduces a switch there.
    auto w = MakeProject();
    w->PathDelim = '\\';
    ASSERT_TRUE(w->ParseCommandLine("/data"));
    EXPECT_EQ(w->Options.Value("Source"), "");
}

TEST_F(ProjectTest, SourceArgumentAndTheSecondStartupCall) {
    auto p = MakeProject();
    ASSERT_TRUE(p->ParseCommandLine("/in/talk.pptx"));
    EXPECT_EQ(p->FileName, "");
    EXPECT_EQ(p->Options.Text(), "Source=/in/talk.pptx\r\nTarget=/in/\r\n");

    // No default project: the argument's options stay, the project takes the default name.
    BindControls(*p);
    p->OpenStartup();
    EXPECT_EQ(p->FileName, defaultProject);
    EXPECT_EQ(source.text, "/in/talk.pptx");
    EXPECT_EQ(target.text, "/in/");

    // With a default project its options replace the argument's source.
    WriteBytes(defaultProject, "Source=/default/*.ppt?\r\nTarget=/out\r\n");
    auto q = MakeProject();
    ASSERT_TRUE(q->ParseCommandLine("/in/talk.pptx"));
    BindControls(*q);
    q->OpenStartup();
    EXPECT_EQ(source.text, "/default/*.ppt?");
    EXPECT_EQ(target.text, "/out");
}

TEST_F(ProjectTest, ExistingTargetIsNotReplacedAndDeriveTargetCanBeOff) {
    auto p = MakeProject();
    p->Options.SetText("Target=/keep\n");
    p->FileName = "/in/a.ppt";
    p->Open(true);
    EXPECT_EQ(p->Options.Value("Target"), "/keep");
    auto q = MakeProject();
    q->DeriveTarget = false;
    q->FileName = "/in/a.ppt";
    q->Open(true);
    EXPECT_EQ(q->Options.Value("Target"), "");
}

TEST_F(ProjectTest, ProjectFilesAndTheRecentList) {
    const std::string a = dir / "a.batch-quillon", b = dir / "b.batch-quillon";
    WriteBytes(a, "Source=/a\r\n");
    WriteBytes(b, std::string("\xFF\xFE"
                              "S\0o\0u\0r\0c\0e\0=\0/\0\xA9\x03\r\0\n\0",
                              24));
    WriteBytes(dir / "quillon.log", b + "\r\n");
    {
        auto p = MakeProject();
        ASSERT_TRUE(p->ParseCommandLine(a));
        EXPECT_EQ(p->FileName, a);
        EXPECT_EQ(p->Options.Value("Source"), "/a");
        p->FileName = b;
        p->Open(true);  // already in the list: keeps its place
        EXPECT_EQ(p->Options.Value("Source"), "/Ω");
        EXPECT_EQ(p->RecentFiles.Lines(), (std::vector<std::string>{a, b}));
        EXPECT_FALSE(p->IsProjectFile(dir / "c.BATCH-QUILLON"));
    }
    EXPECT_EQ(ReadBytes(dir / "quillon.log"), a + "\r\n" + b + "\r\n");
}

// A project saved by an editor that added its byte-order mark before the one there keeps its
// first option.
TEST_F(ProjectTest, AProjectWithADoubledByteOrderMarkKeepsItsFirstOption) {
    const std::string path = dir / "twice.batch-quillon";
    WriteBytes(path, "\xEF\xBB\xBF\xEF\xBB\xBFSource=/in/*.ppt?\r\nTarget=/out\r\n");
    auto p = MakeProject();
    ASSERT_TRUE(p->ParseCommandLine(path));
    EXPECT_EQ(p->Source(), "/in/*.ppt?");
    EXPECT_EQ(p->Target(), "/out");
}

TEST_F(ProjectTest, ProjectExtensionInOtherCaseIsASource) {
    WriteBytes(dir / "c.BATCH-QUILLON", "Source=/c\r\n");
    auto p = MakeProject();
    ASSERT_TRUE(p->ParseCommandLine(dir / "c.BATCH-QUILLON"));
    EXPECT_EQ(p->Options.Value("Source"), dir / "c.BATCH-QUILLON");
}

TEST_F(ProjectTest, BadFilesBesideTheProgramAreIgnored) {
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 7919) & 0xFF);
    WriteBytes(defaultProject, binary);
    WriteBytes(dir / "quillon.log", binary);
    auto p = MakeProject();
    ASSERT_TRUE(p->ParseCommandLine(""));
    EXPECT_EQ(p->FileName, defaultProject);
    EXPECT_EQ(p->Options.Value("Source"), "");

    // An unreadable project (a folder of that name) leaves the options as they were.
    std::filesystem::create_directory(dir / "folder.batch-quillon");
    p->Options.SetText("Keep=1\n");
    p->FileName = dir / "folder.batch-quillon";
    p->Open(true);
    EXPECT_EQ(p->Options.Value("Keep"), "1");
}

TEST_F(ProjectTest, AProjectThatIsThereButCannotBeReadSaysWhy) {
    auto p = MakeProject();
    // Missing: nothing to say, as before.
    p->FileName = dir / "missing.batch-quillon";
    p->Open(true);
    EXPECT_EQ(p->LoadError, "");

    const std::string big = dir / "big.batch-quillon";
    WriteBytes(big, "Source=/in\r\n" + std::string(16 * 1024 * 1024, 'x'));
    p->Options.SetText("Keep=1\n");
    p->FileName = big;
    p->Open(true);
    EXPECT_EQ(p->LoadError, "The project file \"" + big + "\" could not be read: File \"" + big +
                                "\" is larger than 16777216 bytes.");
    EXPECT_EQ(p->Options.Value("Keep"), "1");
    EXPECT_EQ(p->RecentFiles.Count(), 0u);

    const std::string nul = dir / "nul.batch-quillon";
    for (const auto& [text, line] :
         std::vector<std::pair<std::string, int>>{{std::string("\0Source=/in\r\n", 13), 1},
                                                  {std::string("A=1\r\nSource=/in\0/x\r\n", 19), 2},
                                                  {std::string("A=1\nB=2\n\0", 9), 3},
                                                  {std::string("\xFF\xFE"
                                                               "A\0=\0\0\0",
                                                               8),
                                                   1}}) {
        WriteBytes(nul, text);
        p->FileName = nul;
        p->Open(true);
        EXPECT_EQ(p->LoadError, "The project file \"" + nul + "\" could not be read: line " +
                                    std::to_string(line) +
                                    " holds a NUL character, which no option may hold.");
    }
    // UTF-16 has zero bytes but no NUL character.
    WriteBytes(nul, std::string("\xFF\xFE"
                                "A\0=\0"
                                "1\0",
                                8));
    p->Open(true);
    EXPECT_EQ(p->LoadError, "");
    EXPECT_EQ(p->Options.Value("A"), "1");
}

TEST_F(ProjectTest, OpenWithChooser) {
    std::optional<std::vector<std::string>> answer;
    ThvOpenFileRequest seen;
    ThvChoosers c;
    c.OpenFile = [&](const ThvOpenFileRequest& r) {
        seen = r;
        return answer;
    };
    ScopedChoosers scoped{c};

    auto p = MakeProject();
    BindControls(*p);
    p->FileName = dir / "x.batch-quillon";
    p->Options.SetText("Subdir=True\n");
    p->Open(false);  // cancelled
    EXPECT_EQ(p->FileName, dir / "x.batch-quillon");
    EXPECT_EQ(seen.Filter,
              "Quillon Project|*.batch-quillon|PowerPoint Workbook (*.ppt;*.pptx)|*.ppt;*.pptx");
    EXPECT_FALSE(seen.Multiple);

    answer = std::vector<std::string>{"/in/deck.ppt"};
    p->Open(false);
    EXPECT_EQ(p->FileName, "");
    EXPECT_EQ(p->Options.Text(), "Subdir=True\r\nSource=/in/deck.ppt\r\nTarget=/in/\r\n");
    EXPECT_TRUE(subdir.checked);

    // After option text on the command line, the options come back instead of the file.
    auto q = MakeProject();
    ASSERT_TRUE(q->ParseCommandLine("-P:Source=/cmd/*.ppt?"));
    q->Options.SetValue("Source", "/edited");
    q->Open(false);
    EXPECT_EQ(q->Options.Value("Source"), "/cmd/*.ppt?");
}

TEST_F(ProjectTest, NewSaveAsAndUnwritableProject) {
    std::optional<std::string> answer;
    ThvChoosers c;
    c.SaveFile = [&](const ThvSaveFileRequest& r) {
        EXPECT_EQ(r.DefaultExt, ".batch-quillon");
        return answer;
    };
    ScopedChoosers scoped{c};

    auto p = MakeProject();
    BindControls(*p);
    p->Options.SetText("Source=/x\nTarget=/y\n");
    p->FileName = "named";
    p->New();
    EXPECT_EQ(p->FileName, "");
    EXPECT_EQ(p->Options.Count(), 0u);
    EXPECT_EQ(source.text, "");

    source.text = "/in/*.ppt?";
    target.text = "/out";
    p->Save();  // unnamed: asks, and the cancel changes nothing
    EXPECT_EQ(p->FileName, "");
    EXPECT_FALSE(FileExists(dir / "new.batch-quillon"));

    answer = dir / "new.batch-quillon";
    p->Save();
    EXPECT_EQ(p->FileName, dir / "new.batch-quillon");
    EXPECT_EQ(ReadBytes(dir / "new.batch-quillon"),
              "Source=/in/*.ppt?\r\nSubdir=False\r\nTarget=/out\r\n");

    answer = dir / "missing/folder.batch-quillon";
    try {
        p->SaveAs();
        FAIL() << "no error";
    } catch (const EhvError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + *answer + "\". ", 0), 0u)
            << e.what();
    }
    EXPECT_EQ(p->FileName, *answer);
}

// The list is written at the end only when its file would change: a new file beside the
// program at every start costs more than the rest of a small run.
TEST_F(ProjectTest, TheRecentListIsWrittenOnlyWhenItsFileWouldChange) {
    const std::string list = dir / "quillon.log";
    { auto p = MakeProject(); }
    EXPECT_EQ(ReadBytes(list), "");  // no list yet: an empty one is made
    const auto first = GetFileIdentity(list);
    ASSERT_TRUE(first);
    { auto p = MakeProject(); }
    EXPECT_EQ(GetFileIdentity(list)->Index, first->Index);  // the same file, not a new one

    const std::string a = dir / "a.batch-quillon";
    WriteBytes(a, "Source=/a\r\n");
    {
        auto p = MakeProject();
        ASSERT_TRUE(p->ParseCommandLine(a));
    }
    EXPECT_EQ(ReadBytes(list), a + "\r\n");

    // A list the user wrote with other line ends is written back in the program's form.
    WriteBytes(list, a + "\n");
    { auto p = MakeProject(); }
    EXPECT_EQ(ReadBytes(list), a + "\r\n");

    // A list removed while the program ran is there again afterwards.
    {
        auto p = MakeProject();
        DeleteFile(list);
    }
    EXPECT_EQ(ReadBytes(list), a + "\r\n");
}

// Relative paths lead from the folder of the project file the options came from or went to;
// options from the command line, and a new project, lead from the current folder.
TEST_F(ProjectTest, RelativePathOptionsLeadFromTheProjectFilesFolder) {
    auto p = MakeProject();
    const std::string job = dir / "job/run.batch-quillon";
    ForceDirectories(dir / "job");
    p->Options.SetText(
        "Source=in/*.ppt?\nTarget=out\nLogFile=../run.log\nJsonLog=/var/j.jsonl\n"
        "SourceList=file:///l.txt\nPasswords=keys.txt\nRegExt=a/b\n");
    p->Options.SaveToFile(job);
    p->FileName = job;
    p->Open(true);
    EXPECT_EQ(p->BaseFolder, dir / "job/");
    EXPECT_EQ(p->Source(), dir / "job/in/*.ppt?");
    EXPECT_EQ(p->Target(), dir / "job/out");
    EXPECT_EQ(p->LogFile(), dir / "job/../run.log");
    EXPECT_EQ(p->Passwords(), dir / "job/keys.txt");
    EXPECT_EQ(p->JsonLog(), "/var/j.jsonl");
    EXPECT_EQ(p->SourceList(), "file:///l.txt");
    EXPECT_EQ(p->Option("RegExt"), "a/b");
    EXPECT_EQ(p->Option("Target"), "out");  // the project keeps what it says
    p->Options.SetValue("Source", "http://host/a.pptx");
    EXPECT_EQ(p->Source(), "http://host/a.pptx");

    // Saved elsewhere, the file's relative paths lead from its new folder.
    p->FileName = dir / "other.batch-quillon";
    p->Commit(true);
    EXPECT_EQ(p->Target(), dir / "out");
    p->New();
    p->Options.SetValue("Target", "out");
    EXPECT_EQ(p->Target(), "out");

    auto q = MakeProject();
    q->ParseCommandLine("-P:Source=in/*.ppt?,Target=out");
    EXPECT_EQ(q->BaseFolder, "");
    EXPECT_EQ(q->Source(), "in/*.ppt?");
    EXPECT_EQ(q->Target(), "out");

    // Windows paths: a drive, a share and either slash are absolute; "C:x" is the drive's own.
    q->PathDelim = '\\';
    q->BaseFolder = "C:\\job";
    for (const char* kept : {"D:\\out", "C:out", "\\\\server\\share\\out", "\\out", "/out"}) {
        q->Options.SetValue("Target", kept);
        EXPECT_EQ(q->Target(), kept);
    }
    q->Options.SetValue("Target", "out\\text");
    EXPECT_EQ(q->Target(), "C:\\job\\out\\text");
}
