// Projects that would destroy what they read, or whose settings cannot mean what they say, are
// refused before anything is converted: "Application Error: <why>" and exit code 1. What only one
// file of a run reaches (its text over a log or over itself, an entry outside the list's root)
// is refused for that file alone.

#include "programTest.h"

namespace {

class RefusalTest : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        deck_ = ReadBytes(std::filesystem::path(QUILLON_PUBLIC_CORPUS) /
                          "python-pptx/test_slides.pptx");
        Reset();
    }
    void Reset() {
        std::filesystem::create_directories(dir / "in/sub");
        for (const char* name : {"in/a.pptx", "in/b.pptx", "in/sub/c.pptx"})
            WriteBytes(dir / name, deck_);
    }
    bool HaveCorpus() const { return !deck_.empty(); }
    ProcessResult RunWith(const std::string& extra) {
        return Run({"-P:Source=" + dir / "in/*.ppt?,Target=" +
                    dir / "out,PureConsole=1,DeleteSource=1," + extra});
    }
    // The same for a run of a list of two of them, a.pptx and sub/c.pptx.
    ProcessResult RunList(const std::string& extra) {
        return Run({"-P:SourceList=" + dir / "list.txt,Target=" + dir / "out,PureConsole=1," +
                    "DeleteSource=1," + extra});
    }
    // The refusal, and every source still there and nothing converted.
    void ExpectRefused(const ProcessResult& r, const std::string& reason) {
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_TRUE(r.err.starts_with("Application Error: ")) << r.err;
        EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
        for (const char* name : {"in/a.pptx", "in/b.pptx", "in/sub/c.pptx"})
            EXPECT_TRUE(ReadBytes(dir / name) == deck_) << name << " was changed";
        EXPECT_FALSE(std::filesystem::exists(dir / "out/a.txt"));
    }

    std::string deck_;
};

}  // namespace

TEST_F(RefusalTest, ALogFileThatNamesWhatTheRunReadsIsRefused) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    const std::string presentation = "is a presentation of this run";
    // A presentation, by its own name and by other spellings of it.
    ExpectRefused(RunWith("LogFile=" + dir / "in/a.pptx"), presentation);
    ExpectRefused(RunWith("LogFile=" + dir / "in/./sub/../a.pptx"), presentation);
    std::filesystem::create_directory_symlink(dir / "in", dir / "alias");
    ExpectRefused(RunWith("LogFile=" + dir / "alias/b.pptx"), presentation);
    // One the search would list although it does not exist yet, and one in a sub-folder.
    ExpectRefused(RunWith("LogFile=" + dir / "in/run.PPTX"), presentation);
    ExpectRefused(RunWith("Subdir=1,LogFile=" + dir / "in/sub/c.pptx"), presentation);
    // The name a converted presentation gets.
    ExpectRefused(RunWith("RenameSource=.done,LogFile=" + dir / "in/a.pptx.done"),
                  "the name a presentation of this run gets");
    // A source named directly.
    ExpectRefused(Run({"-P:Source=" + dir / "in/a.pptx,Target=" + dir / "out,PureConsole=1," +
                       "LogFile=" + dir / "in/a.pptx"}),
                  presentation);
    // A JSON log is appended to as files end: as bad.
    ExpectRefused(RunWith("JsonLog=" + dir / "in/b.pptx"), presentation);
    // The usage store beside the program.
    ExpectRefused(RunWith("LogFile=" + dir / "quillon.ext"), "the usage store");
    EXPECT_FALSE(ReadBytes(dir / "quillon.ext").empty());

    // The project file itself.
    const std::string project = dir / "p.batch-quillon";
    const std::string text = "PureConsole=1\r\nSource=" + dir / "in/*.ppt?\r\nTarget=" +
                             dir / "out\r\nDeleteSource=1\r\nLogFile=" + project + "\r\n";
    WriteBytes(project, text);
    ExpectRefused(Run({project}), "the project file of this run");
    EXPECT_EQ(ReadBytes(project), text);

    // What the search leaves out is no presentation of the run: the log goes there.
    ProcessResult r = RunWith("LogFile=" + dir / "in/run.log");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(ReadBytes(dir / "in/run.log").find("Success => "), std::string::npos);
}

TEST_F(RefusalTest, ALogFileOutsideWhatTheSearchListsIsWritten) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    // Excluded by "RegExt", or in a sub-folder that is not searched: replaced as any file is.
    ProcessResult r = RunWith("RegExt=a\\.pptx$,LogFile=" + dir / "in/b.pptx");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadBytes(dir / "in/b.pptx"),
              "Success => " + dir / "in/a.pptx => " + dir / "out/a.txt\r\n");
    Reset();
    r = RunWith("LogFile=" + dir / "in/sub/c.pptx");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(ReadBytes(dir / "in/sub/c.pptx").starts_with("Success => "));
    EXPECT_TRUE(std::filesystem::exists(dir / "out/b.txt"));
}

TEST_F(RefusalTest, AnInvalidRegExtIsRefusedWithThePatternsError) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    ExpectRefused(RunWith("RegExt=(a"), "Expected ')' in regular expression");
    ExpectRefused(RunWith("RegExt=[z-a]"), "Invalid range in character set");
}

TEST_F(RefusalTest, ATargetThatIsAFileIsRefusedLikeNoTarget) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    WriteBytes(dir / "out", "a file, not a folder");
    ExpectRefused(RunWith(""), "No target folder");
    ExpectRefused(
        Run({"-P:Source=" + dir / "in/*.ppt?,Target=" + dir / "out/,PureConsole=1,DeleteSource=1"}),
        "No target folder");
    EXPECT_EQ(ReadBytes(dir / "out"), "a file, not a folder");
}

TEST_F(RefusalTest, AProjectThatCannotBeReadSaysWhy) {
    const std::string big = dir / "big.batch-quillon";
    WriteBytes(big, "PureConsole=1\r\nSource=" + dir / "in/*.ppt?\r\n" +
                        std::string(17 * 1024 * 1024, 'x'));
    // The reason comes first; the window that then cannot open says so too.
    ProcessResult r = Run({big}, noDisplay);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.starts_with("Quillon Converter: The project file \"" + big +
                                  "\" could not be read: "))
        << r.err.substr(0, 400);
    EXPECT_NE(r.err.find("larger than"), std::string::npos) << r.err.substr(0, 400);

    // A NUL inside a value would cut the path short where the system reads it.
    const std::string nul = dir / "nul.batch-quillon";
    WriteBytes(nul, "PureConsole=1\r\nSource=" + dir / "in/*.ppt?" + std::string("\0/x", 3) +
                        "\r\nTarget=" + dir / "out\r\nDeleteSource=1\r\n");
    r = Run({nul}, noDisplay);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.starts_with("Quillon Converter: The project file \"" + nul +
                                  "\" could not be read: line 2 holds a NUL character"))
        << r.err;
    EXPECT_TRUE(ReadBytes(dir / "in/a.pptx") == deck_);
}

TEST_F(RefusalTest, LogsThatNameWhatAListedRunReadsAreRefused) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    WriteBytes(dir / "list.txt", "in/a.pptx\nin/sub/c.pptx\n");
    const std::string presentation = "is a presentation of this run";
    // A listed presentation, by its own spelling and by another.
    ExpectRefused(RunList("LogFile=" + dir / "in/a.pptx"), presentation);
    ExpectRefused(RunList("LogFile=" + dir / "in/sub/../sub/c.pptx"), presentation);
    ExpectRefused(RunList("JsonLog=" + dir / "in/a.pptx"), presentation);
    ExpectRefused(RunList("RenameSource=.done,LogFile=" + dir / "in/a.pptx.done"),
                  "the name a presentation of this run gets");
    // The password list, and the JSON log the same run appends to.
    WriteBytes(dir / "passwords.txt", "secret\n");
    ExpectRefused(RunList("Passwords=" + dir / "passwords.txt,LogFile=" + dir / "passwords.txt"),
                  "the password list of this run");
    EXPECT_EQ(ReadBytes(dir / "passwords.txt"), "secret\n");
    ExpectRefused(RunList("JsonLog=" + dir / "run.jsonl,LogFile=" + dir / "./run.jsonl"),
                  "it is the JSON log of this run");
    EXPECT_FALSE(std::filesystem::exists(dir / "run.jsonl"));

    // b.pptx is not listed: the log may go there.
    const ProcessResult r = RunList("LogFile=" + dir / "in/b.pptx");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(ReadBytes(dir / "in/b.pptx").starts_with("Success => ")) << r.err;
}

TEST_F(RefusalTest, ATextThatWouldLandOnALogIsNotWritten) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    // in/a.pptx becomes out/a.txt, which is the JSON log; in/b.pptx's text is the log.
    const ProcessResult r =
        Run({"-P:Source=" + dir / "in/*.pptx,Target=" + dir / "out,PureConsole=1,IsOverwrite=1," +
             "JsonLog=" + dir / "out/a.txt,LogFile=" + dir / "out/b.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string json = ReadBytes(dir / "out/a.txt");
    // Both records are in the JSON log, which nothing replaced.
    EXPECT_NE(json.find("\"state\":\"Failure\",\"message\":\"\\\"" + dir.Path() +
                        "out/a.txt\\\" would replace the JSON log of this run\""),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("would replace the log of this run"), std::string::npos) << json;
    EXPECT_TRUE(ReadBytes(dir / "out/b.txt").starts_with("Failure => ")) << r.err;
    // The sources stay, so a later run with other logs converts them.
    EXPECT_TRUE(ReadBytes(dir / "in/a.pptx") == deck_);
}

TEST_F(RefusalTest, APresentationNamedLikeItsTextIsNotReplacedByIt) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    std::filesystem::create_directory(dir / "odd");
    WriteBytes(dir / "odd/x.txt", deck_);
    const ProcessResult r = Run({"-P:Source=" + dir / "odd/*,Target=" + dir.Path() +
                                 "odd,PureConsole=1,IsOverwrite=1,LogFile=" + dir / "run.log"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(ReadBytes(dir / "odd/x.txt") == deck_) << "the presentation was replaced";
    EXPECT_EQ(ReadBytes(dir / "run.log"), "Failure => " + dir.Path() + "odd/x.txt => \"" +
                                              dir.Path() +
                                              "odd/x.txt\" would replace its own source\r\n");
    // Under a new name its text is written beside it.
    const ProcessResult renamed = Run({"-P:Source=" + dir / "odd/x.txt,Target=" + dir.Path() +
                                       "odd,PureConsole=1,IsOverwrite=0"});
    EXPECT_EQ(renamed.exitCode, 0) << renamed.err;
    EXPECT_TRUE(ReadBytes(dir / "odd/x.txt") == deck_);
    EXPECT_FALSE(ReadBytes(dir / "odd/-quillon-x.txt").empty());
}

TEST_F(RefusalTest, AMaskTooLongForTheMatcherIsRefusedBeforeAnythingIsDeleted) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    const std::string mask = std::string(40000, 'x') + "*.pptx";
    ExpectRefused(Run({"-P:Source=" + dir / "in/" + mask + ",Target=" + dir / "out," +
                       "PureConsole=1,DeleteSource=1,Subdir=1"}),
                  "The source's mask \"xxxx");
}

TEST_F(RefusalTest, AListEntryThroughALinkedFolderLeavingTheRootIsLeftAlone) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    // root/link is a folder of the root by its name, and in/ where the system has it.
    std::filesystem::create_directory(dir / "root");
    std::filesystem::create_directory_symlink(dir / "in", dir / "root/link");
    WriteBytes(dir / "root/list.txt", "link/a.pptx\n");
    const ProcessResult r = Run({"-P:SourceList=" + dir / "root/list.txt,Target=" + dir / "out," +
                                 "PureConsole=1,DeleteSource=1,LogFile=" + dir / "run.log"},
                                RecordingOpener());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(ReadBytes(dir / "in/a.pptx") == deck_) << "the file outside the root was deleted";
    EXPECT_FALSE(std::filesystem::exists(dir / "out/link/a.txt"));
    // Refused as a failure of the run, as an entry outside the root by its name is.
    const std::vector<std::string> reports = Links(1);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("is%20not%20below%20the%20source%20root"), std::string::npos)
        << reports[0];
}

TEST_F(RefusalTest, ListedSourcesThatAreNotThereMakeNoTargetFolders) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    WriteBytes(dir / "list.txt", "in/a.pptx\nin/gone/x.pptx\nin/gone/deeper/y.pptx\n");
    const ProcessResult r = RunList("LogFile=" + dir / "run.log");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(ReadBytes(dir / "out/in/a.txt").empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "out/in/gone")) << "a folder for nothing";
    EXPECT_NE(ReadBytes(dir / "run.log").find("Failure => " + dir.Path() + "in/gone/x.pptx => "),
              std::string::npos);
}
