#include "shell/hvJsonLog.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "discovery/hvBatch.h"
#include "errorText.h"
#include "platform/base/hvError.h"
#include "shell/hvExitCode.h"
#include "tempDir.h"

namespace {

TEST(JsonLogTest, RecordOfEachEnding) {
    ThvNode done(0, "/in/a.pptx");
    done.State = ThvNode::Success;
    done.Result = "/out/-quillon-a.txt";
    ThvJsonLogRecord record = JsonLogRecordOf(done, "/out/a.txt", 2, 1);
    EXPECT_EQ(record.State, "Success");
    EXPECT_EQ(record.Target, "/out/-quillon-a.txt");  // the file written, not the rule's name
    EXPECT_EQ(record.Message, "");
    done.Warning = "source not renamed: File exists";
    EXPECT_EQ(JsonLogRecordOf(done, "/out/a.txt", 2, 1).Message, done.Warning);
    // What the user should know of the text comes after what was not done to the source.
    done.Note = "2 characters replaced";
    EXPECT_EQ(JsonLogRecordOf(done, "/out/a.txt", 2, 1).Message,
              "source not renamed: File exists; 2 characters replaced");
    done.Warning.clear();
    EXPECT_EQ(JsonLogRecordOf(done, "/out/a.txt", 2, 1).Message, "2 characters replaced");

    ThvNode skipped(1, "/in/b.pptx");
    skipped.State = ThvNode::Success;
    record = JsonLogRecordOf(skipped, "/out/b.txt", 0, 0);
    EXPECT_EQ(record.State, "Skipped");
    EXPECT_EQ(record.Target, "/out/b.txt");

    ThvNode failed(2, "/in/c.pptx");
    failed.State = ThvNode::Failure;
    failed.Result = "Not a presentation";
    record = JsonLogRecordOf(failed, "/out/c.txt", 0, 0);
    EXPECT_EQ(record.State, "Failure");
    EXPECT_EQ(record.Message, "Not a presentation");
    EXPECT_EQ(record.Target, "/out/c.txt");
}

TEST(JsonLogTest, LineHasEveryFieldQuoted) {
    ThvJsonLogRecord record{"/in/\"x\"\n\xE9.ppt", "/out/x.txt", "Failure", "bad \\ file", 3, 2};
    EXPECT_EQ(FormatJsonLogLine(record),
              R"({"source":"/in/\"x\"\n\udce9.ppt","target":"/out/x.txt","state":"Failure",)"
              R"("message":"bad \\ file","shard":3,"attempt":2})"
              "\n");
}

// Each record is on disk as soon as Write returns (a killed run keeps it), records of threads
// writing at once stay whole, and a second attempt adds to the first one's records.
TEST(JsonLogTest, RecordsAreAppendedWholeAsTheyCome) {
    TempDir dir;
    const std::string path = dir / "log.jsonl";
    {
        ThvJsonLog log(path);
        log.Write({"/in/first.ppt", "/out/first.txt", "Success", "", 0, 0});
        EXPECT_EQ(ReadBytes(path),
                  FormatJsonLogLine({"/in/first.ppt", "/out/first.txt", "Success", "", 0, 0}));
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&log, t] {
                for (int i = 0; i < 100; ++i)
                    log.Write({"/in/" + std::string(500, static_cast<char>('a' + t)), "", "Success",
                               "", 0, 0});
            });
        }
        for (std::thread& thread : threads) thread.join();
    }
    ThvJsonLog(path).Write({"/in/again.ppt", "", "Skipped", "", 0, 1});
    const std::string text = ReadBytes(path);
    std::size_t lines = 0;
    for (std::size_t start = 0; start < text.size(); ++lines) {
        const std::size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        EXPECT_EQ(line.front(), '{');
        EXPECT_EQ(line.back(), '}');
        start = end + 1;
    }
    EXPECT_EQ(lines, 402u);
    EXPECT_NE(text.find("\"attempt\":1}\n"), std::string::npos);
    EXPECT_EQ(ErrorOf([&] { ThvJsonLog(dir / "none/log"); }).rfind("Cannot create file", 0), 0u);
}

TEST(ExitCodeTest, ClassicAndStrict) {
    EXPECT_EQ(ReadExitCodes("STRICT"), ThvExitCodes::Strict);
    EXPECT_EQ(ReadExitCodes(""), ThvExitCodes::Classic);
    EXPECT_EQ(ReadExitCodes("1"), ThvExitCodes::Classic);
    EXPECT_EQ(ExitCodeOf(ThvExitCodes::Classic, ThvRunOutcome::Completed), 0);
    EXPECT_EQ(ExitCodeOf(ThvExitCodes::Classic, ThvRunOutcome::FilesFailed), 0);
    EXPECT_EQ(ExitCodeOf(ThvExitCodes::Classic, ThvRunOutcome::CouldNotStart), 1);
    EXPECT_EQ(ExitCodeOf(ThvExitCodes::Strict, ThvRunOutcome::Completed), 0);
    EXPECT_EQ(ExitCodeOf(ThvExitCodes::Strict, ThvRunOutcome::FilesFailed), 3);
    EXPECT_EQ(ExitCodeOf(ThvExitCodes::Strict, ThvRunOutcome::CouldNotStart), 2);
}

}  // namespace
