// Projects whose options point the run at what it must not touch: its own logs, the files it
// reads, sources outside what it was given. Each must leave every such file as it was.

#include "programTest.h"

namespace {

class HostileProjectTest : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        deck_ = ReadBytes(std::filesystem::path(QUILLON_PUBLIC_CORPUS) /
                          "python-pptx/test_slides.pptx");
        std::filesystem::create_directories(dir / "in/sub");
        for (const char* name : {"in/a.pptx", "in/b.pptx", "in/sub/c.pptx"})
            WriteBytes(dir / name, deck_);
        WriteBytes(dir / "list.txt", "in/a.pptx\nin/sub/c.pptx\n");
    }
    bool HaveCorpus() const { return !deck_.empty(); }
    ProcessResult RunList(const std::string& extra) {
        return Run({"-P:SourceList=" + dir / "list.txt,Target=" + dir / "out,PureConsole=1," +
                    "DeleteSource=1," + extra});
    }
    void ExpectRefused(const ProcessResult& r, const std::string& reason) {
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
        for (const char* name : {"in/a.pptx", "in/b.pptx", "in/sub/c.pptx"})
            EXPECT_TRUE(ReadBytes(dir / name) == deck_) << name << " was changed";
        EXPECT_FALSE(std::filesystem::exists(dir / "out/a.txt"));
    }

    std::string deck_;
};

}  // namespace

TEST_F(HostileProjectTest, LogsThatNameWhatAListedRunReadsAreRefused) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
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

TEST_F(HostileProjectTest, ATextThatWouldLandOnALogIsNotWritten) {
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

TEST_F(HostileProjectTest, APresentationNamedLikeItsTextIsNotReplacedByIt) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    std::filesystem::create_directory(dir / "odd");
    WriteBytes(dir / "odd/x.txt", deck_);
    const ProcessResult r = Run({"-P:Source=" + dir / "odd/*,Target=" + dir.Path() +
                                 "odd,PureConsole=1,IsOverwrite=1,LogFile=" + dir / "run.log"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(ReadBytes(dir / "odd/x.txt") == deck_) << "the presentation was replaced";
    EXPECT_EQ(ReadBytes(dir / "run.log"), "Failure => " + dir.Path() + "odd/x.txt => \"" + dir.Path() +
                                              "odd/x.txt\" would replace its own source\r\n");
    // Under a new name its text is written beside it.
    const ProcessResult renamed = Run({"-P:Source=" + dir / "odd/x.txt,Target=" + dir.Path() +
                                       "odd,PureConsole=1,IsOverwrite=0"});
    EXPECT_EQ(renamed.exitCode, 0) << renamed.err;
    EXPECT_TRUE(ReadBytes(dir / "odd/x.txt") == deck_);
    EXPECT_FALSE(ReadBytes(dir / "odd/-quillon-x.txt").empty());
}

TEST_F(HostileProjectTest, AMaskTooLongForTheMatcherIsRefusedBeforeAnythingIsDeleted) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    const std::string mask = std::string(40000, 'x') + "*.pptx";
    ExpectRefused(Run({"-P:Source=" + dir / "in/" + mask + ",Target=" + dir / "out," +
                       "PureConsole=1,DeleteSource=1,Subdir=1"}),
                  "The source's mask \"xxxx");
}

TEST_F(HostileProjectTest, AListEntryThroughALinkedFolderLeavingTheRootIsLeftAlone) {
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

TEST_F(HostileProjectTest, ListedSourcesThatAreNotThereMakeNoTargetFolders) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    WriteBytes(dir / "list.txt", "in/a.pptx\nin/gone/x.pptx\nin/gone/deeper/y.pptx\n");
    const ProcessResult r = RunList("LogFile=" + dir / "run.log");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(ReadBytes(dir / "out/in/a.txt").empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "out/in/gone")) << "a folder for nothing";
    EXPECT_NE(ReadBytes(dir / "run.log").find("Failure => " + dir.Path() + "in/gone/x.pptx => "),
              std::string::npos);
}
