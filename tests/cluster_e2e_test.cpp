// The program as a task of a cluster: shares, list sources, the JSON log, strict exit codes.

#include <map>
#include <set>
#include <string>
#include <vector>

#include "programTest.h"

using namespace std::string_literals;

namespace {

class ClusterTest : public ProgramTest {
  protected:
    // count copies of a real presentation in two folders, and one broken file when asked.
    bool MakeTree(int count, bool broken) {
        const std::filesystem::path deck =
            std::filesystem::path(QUILLON_PUBLIC_CORPUS) / "python-pptx/test_slides.pptx";
        if (!std::filesystem::exists(deck)) return false;
        std::filesystem::create_directories(dir / "in/sub");
        for (int i = 0; i < count; ++i) {
            const std::string name = (i % 2 ? "in/sub/deck-" : "in/deck-") + std::to_string(i);
            std::filesystem::copy_file(deck, dir / (name + ".pptx"));
        }
        if (broken) WriteBytes(dir / "in/sub/broken.pptx", "not a presentation");
        return true;
    }
    std::string Project(const std::string& extra) {
        return "-P:Source=" + dir / "in/*.ppt?,Target=" + dir / "out,Subdir=True,PureConsole=1," +
               extra;
    }
    // The records of a JSON log, each as its text; every line must be one whole object.
    std::vector<std::string> Records(const std::string& path) {
        std::vector<std::string> records;
        const std::string text = ReadBytes(path);
        for (std::size_t pos = 0, end; (end = text.find('\n', pos)) != std::string::npos;
             pos = end + 1) {
            const std::string line = text.substr(pos, end - pos);
            EXPECT_TRUE(line.starts_with("{\"source\":\"") && line.ends_with("}")) << line;
            records.push_back(line);
        }
        return records;
    }
    static std::string Field(const std::string& record, const std::string& name) {
        const std::size_t at = record.find("\"" + name + "\":");
        if (at == std::string::npos) return "(none)";
        std::size_t start = at + name.size() + 3, end;
        if (record[start] == '"') {
            end = record.find('"', ++start);
        } else {
            end = record.find_first_of(",}", start);
        }
        return record.substr(start, end - start);
    }
};

}  // namespace

// One record per file as it ends; a second attempt with skip appends its own records, which
// say the files were there.
TEST_F(ClusterTest, JsonLogHasARecordPerFileAndEveryAttemptAddsItsOwn) {
    if (!MakeTree(12, true)) GTEST_SKIP() << "no corpus";
    const std::string log = dir / "run.jsonl";
    ProcessResult r = Run({Project("ThreadsCount=auto,JsonLog=" + log)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> records = Records(log);
    ASSERT_EQ(records.size(), 13u);
    std::set<std::string> sources;
    for (const std::string& record : records) {
        sources.insert(Field(record, "source"));
        EXPECT_EQ(Field(record, "attempt"), "0");
        EXPECT_EQ(Field(record, "shard"), "0");
        if (Field(record, "source") == dir / "in/sub/broken.pptx") {
            EXPECT_EQ(Field(record, "state"), "Failure");
            EXPECT_EQ(Field(record, "target"), dir / "out/sub/broken.txt");
            EXPECT_NE(Field(record, "message"), "");
        } else {
            EXPECT_EQ(Field(record, "state"), "Success") << record;
            EXPECT_TRUE(std::filesystem::exists(Field(record, "target"))) << record;
        }
    }
    EXPECT_EQ(sources.size(), 13u);

    r = Run({Project("IsOverwrite=skip,Attempt=1,JsonLog=" + log)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    records = Records(log);
    ASSERT_EQ(records.size(), 26u);
    for (std::size_t i = 13; i < records.size(); ++i) {
        EXPECT_EQ(Field(records[i], "attempt"), "1");
        const bool broken = Field(records[i], "source") == dir / "in/sub/broken.pptx";
        EXPECT_EQ(Field(records[i], "state"), broken ? "Failure" : "Skipped") << records[i];
    }
}

// Two shares of one source convert every file once between them, each logging its share.
TEST_F(ClusterTest, SharesOfAListSourceConvertEveryFileOnce) {
    if (!MakeTree(20, false)) GTEST_SKIP() << "no corpus";
    std::string list;
    for (int i = 0; i < 20; ++i)
        list += (i % 2 ? "sub/deck-" : "deck-") + std::to_string(i) + ".pptx\r\n";
    WriteBytes(dir / "in/list.txt", list);
    std::set<std::string> converted;
    for (int shard = 0; shard < 2; ++shard) {
        const std::string log = dir / ("task-" + std::to_string(shard) + ".jsonl");
        const ProcessResult r =
            Run({"-P:SourceList=" + dir / "in/list.txt,Target=" + dir / "out,PureConsole=1," +
                 "Shards=2,Shard=" + std::to_string(shard) + ",JsonLog=" + log});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        for (const std::string& record : Records(log)) {
            EXPECT_EQ(Field(record, "shard"), std::to_string(shard));
            EXPECT_TRUE(converted.insert(Field(record, "target")).second) << record;
        }
    }
    EXPECT_EQ(converted.size(), 20u);
    EXPECT_TRUE(std::filesystem::exists(dir / "out/sub/deck-19.txt"));
    EXPECT_TRUE(std::filesystem::exists(dir / "out/deck-0.txt"));
}

TEST_F(ClusterTest, StrictExitCodesTellFailedFilesFromARunThatCouldNotStart) {
    if (!MakeTree(2, true)) GTEST_SKIP() << "no corpus";
    // Files failed: 3 when strict, 0 as the product always had it.
    EXPECT_EQ(Run({Project("ExitCodes=strict")}).exitCode, 3);
    EXPECT_EQ(Run({Project("")}).exitCode, 0);
    std::filesystem::remove(dir / "in/sub/broken.pptx");
    EXPECT_EQ(Run({Project("ExitCodes=STRICT")}).exitCode, 0);

    // Could not start: 2 when strict; a missing source is an empty run otherwise.
    const std::string missing = "-P:Source=" + dir / "none/*.ppt?,Target=" + dir / "out," +
                                "PureConsole=1,ExitCodes=strict";
    ProcessResult r = Run({missing});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("The source folder \"" + dir / "none/\" does not exist"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(Run({missing.substr(0, missing.find(",ExitCodes"))}).exitCode, 0);
    r = Run({"-P:Source=" + dir / "in,Target=" + dir / "out,PureConsole=1,ExitCodes=strict"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("is a folder: give it with a mask, " + dir / "in/*.ppt?"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(Run({Project("ExitCodes=strict,LogFile=" + dir / "no/run.log")}).exitCode, 2);
    EXPECT_EQ(Run({Project("ExitCodes=strict,JsonLog=" + dir / "no/run.jsonl")}).exitCode, 2);
    EXPECT_EQ(Run({Project("JsonLog=" + dir / "no/run.jsonl")}).exitCode, 1);
    EXPECT_EQ(Run({Project("ExitCodes=strict,Shards=2,Shard=2")}).exitCode, 2);
    EXPECT_EQ(Run({Project("ExitCodes=strict,SourceList=" + dir / "none.txt")}).exitCode, 2);
    // A target that cannot be made: a file stands where its folder would be.
    WriteBytes(dir / "file", "");
    r = Run({"-P:Source=" + dir / "in/*.ppt?,Target=" + dir / "file/out,PureConsole=1," +
             "ExitCodes=strict"});
    EXPECT_EQ(r.exitCode, 2) << r.err;
}

// Entries of a list that the run cannot take are failures of their own, everywhere a failure
// shows: the log, the JSON log and standard error; of two shares exactly one reports each.
TEST_F(ClusterTest, RefusedListEntriesAreFailuresOfTheirOwn) {
    if (!MakeTree(4, false)) GTEST_SKIP() << "no corpus";
    std::filesystem::create_directories(dir / "other");
    std::filesystem::copy_file(dir / "in/deck-0.pptx", dir / "other/stray.pptx");
    const std::string list = dir / "in/list.txt";
    WriteBytes(list, "deck-0.pptx\n" + dir / "other/stray.pptx" +
                         "\nsub/deck-1.pptx\nbad\0line\n"s + "../other/stray.pptx\n");
    const std::string common = "-P:SourceList=" + list + ",SourceRoot=" + dir / "in," +
                               "Target=" + dir / "out,PureConsole=1,ExitCodes=strict,";
    ProcessResult r = Run({common + "LogFile=" + dir / "run.log,JsonLog=" + dir / "run.jsonl"});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    const std::string stray = dir / "other/stray.pptx";
    EXPECT_NE(r.err.find(stray + ": Left out: line 2 of the source list is not below the " +
                         "source root \"" + dir / "in/\""),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(list + ":4: Left out: in the source list, line 4 holds a NUL"),
              std::string::npos)
        << r.err;
    const std::string log = ReadBytes(dir / "run.log");
    EXPECT_NE(log.find("Failure => " + stray + " => Left out: line 2 "), std::string::npos) << log;
    EXPECT_NE(log.find("Failure => " + stray + " => Left out: line 5 "), std::string::npos) << log;
    EXPECT_NE(log.find("Failure => " + list + ":4 => "), std::string::npos) << log;
    std::map<std::string, int> failures;
    for (const std::string& record : Records(dir / "run.jsonl")) {
        if (Field(record, "state") != "Failure") continue;
        ++failures[Field(record, "source")];
        EXPECT_EQ(Field(record, "target"), "") << record;
    }
    EXPECT_EQ(failures, (std::map<std::string, int>{{stray, 2}, {list + ":4", 1}}));
    EXPECT_TRUE(std::filesystem::exists(dir / "out/sub/deck-1.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir / "out/stray.txt"));

    std::map<std::string, int> reported;
    for (int shard = 0; shard < 2; ++shard) {
        const std::string json = dir / ("task-" + std::to_string(shard) + ".jsonl");
        r = Run({common + "IsOverwrite=skip,Shards=2,Shard=" + std::to_string(shard) +
                 ",JsonLog=" + json});
        for (const std::string& record : Records(json))
            if (Field(record, "state") == "Failure") ++reported[Field(record, "source")];
    }
    EXPECT_EQ(reported, failures);
}

// A list none of whose entries lies below its root, and a share that is no number, would
// convert nothing or everything: the run refuses them before it starts, saying why.
TEST_F(ClusterTest, AListWhollyOutsideItsRootAndASharesTextAreRefusedBeforeTheRun) {
    if (!MakeTree(2, false)) GTEST_SKIP() << "no corpus";
    std::filesystem::create_directories(dir / "lists");
    const std::string list = dir / "lists/all.txt";
    WriteBytes(list, dir / "in/deck-0.pptx\n" + dir / "in/sub/deck-1.pptx\n");
    const std::string project = "-P:SourceList=" + list + ",Target=" + dir / "out,PureConsole=1";
    ProcessResult r = Run({project + ",ExitCodes=strict,JsonLog=" + dir / "run.jsonl"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("Application Error: Every entry of the source list \"" + list +
                         "\" lies outside the source root \"" + dir / "lists/\" (the list's own " +
                         "folder, as SourceRoot is not set)"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("SourceRoot=" + dir / "in/\n"), std::string::npos) << r.err;
    EXPECT_EQ(ReadBytes(dir / "run.jsonl"), "");
    r = Run({project});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.starts_with("Application Error: Every entry")) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "out/deck-0.txt"));
    // The root the message names makes the run.
    r = Run({project + ",SourceRoot=" + dir / "in/"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "out/sub/deck-1.txt"));

    r = Run({Project("ExitCodes=strict,Shards=abc,Shard=0")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("Application Error: Shards=abc is not a whole number"), std::string::npos)
        << r.err;
    r = Run({Project("ExitCodes=strict,Shards=2,Shard=one")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("Application Error: Shard=one is not a whole number"), std::string::npos)
        << r.err;
    EXPECT_EQ(Run({Project("Shards=x")}).exitCode, 1);
}
