#include "conversion/hvConvertor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "callQueue.h"
#include "discovery/hvBatch.h"
#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"
#include "platform/files/paths.h"
#include "platform/system/mainThread.h"
#include "project/hvProject.h"
#include "tempDir.h"

namespace {

using namespace std::chrono_literals;

// A converter whose "conversion" writes a line: names tell it to fail ("fail"), to raise
// ("raise", or "early" before its target is known), to take its time ("slow", "hold" before
// its target is known, or "nap" for a moment that depends on the node), or to change its source
// while it is converted ("touch" writes into it, "replace" puts another file in its place).
class TestConvertor : public ThvConvertor {
  public:
    using ThvConvertor::TargetPath;
    using ThvConvertor::ThvConvertor;

    static std::shared_ptr<ThvConvertor> Create(ThvBatch& batch, int32_t count,
                                                const ThvNodeEvent& onFileDone) {
        return std::make_shared<TestConvertor>(batch, count, onFileDone);
    }
    static inline const ThvConvertorClass Class{"TestConvertor", &TestConvertor::Create};

    static inline std::atomic<int> inProgress{0};
    static inline std::atomic<bool> release{true};

  protected:
    void ConvertFile(ThvBatch& batch, ThvNode& node) override {
        if (node.Source.find("early") != std::string::npos) throw EhvError("raised early");
        if (node.Source.find("hold") != std::string::npos) {
            ++inProgress;
            while (!release) std::this_thread::sleep_for(1ms);
        }
        if (node.Source.find("nap") != std::string::npos)
            std::this_thread::sleep_for(std::chrono::microseconds(node.Index * 7919 % 3000));
        const std::string target = TargetPath(batch, node);
        if (target.empty()) return;
        if (node.Source.find("touch") != std::string::npos) WriteBytes(node.Source, "edited");
        if (node.Source.find("replace") != std::string::npos) {
            // Not std::rename, which leaves an existing file in place on Windows.
            WriteBytes(node.Source + ".new", "deck");
            ReplaceFile(node.Source + ".new", node.Source);
        }
        if (node.Source.find("raise") != std::string::npos)
            throw EhvError("raised for " + node.Source);
        if (node.Source.find("slow") != std::string::npos) {
            ++inProgress;
            while (!release) std::this_thread::sleep_for(1ms);
        }
        if (node.Source.find("fail") != std::string::npos) {
            node.Result = "cannot convert";
            node.State = ThvNode::Failure;
            batch.AddFailure(node.Result);
            return;
        }
        WriteFileAtomic(target, "from " + node.Source);
        AfterConvert(batch, node, target);
        node.Result = target;
        node.State = ThvNode::Success;
        batch.AddSuccess();
    }
};

class ConvertorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        project.ConverterClass = &TestConvertor::Class;
        project.TargetExt = ".txt";
        project.ShortName = "quillon";
        hvProject = &project;
        previous_ = SetMainThreadDispatcher(
            [this](const std::function<void()>& call) { mainThread.Post(call); });
        TestConvertor::release = true;
        TestConvertor::inProgress = 0;
    }
    void TearDown() override {
        SetMainThreadDispatcher(previous_);
        hvProject = nullptr;
    }

    std::string In(const std::string& name) {
        const std::string path = dir / ("in/" + name);
        ForceDirectories(ExtractFilePath(path));
        WriteBytes(path, "deck");
        return path;
    }
    ThvNode& AddNode(ThvBatch& batch, const std::string& path) {
        batch.AddFile(path);
        ThvBatchLock lock(batch);
        return *lock.Nodes().back();
    }
    // Starts a chain and waits, pumping the main thread, until every converter has ended.
    std::shared_ptr<ThvConvertor> Run(ThvBatch& batch, const ThvNodeEvent& done = {}) {
        auto head = ThvConvertor::CreateChain(batch, dir / "out/", done);
        RunningCount = head->ConverterCount;
        head->Start();
        EXPECT_TRUE(mainThread.PumpUntil([] { return RunningCount == 0; }));
        return head;
    }

    TempDir dir;
    ThvProject project{dir / "q"};
    CallQueue mainThread;

  private:
    ThvMainThreadDispatcher previous_;
};

int ChainLength(const ThvConvertor& head) {
    int n = 0;
    for (const ThvConvertor* c = &head; c; c = c->Next.get()) {
        EXPECT_EQ(c->ConverterCount, head.ConverterCount - n);
        ++n;
    }
    return n;
}

}  // namespace

TEST_F(ConvertorTest, ChainSizes) {
    ThvBatch batch;
    for (auto [option, expected] : std::map<std::string, int>{
             {"", 1}, {"1", 1}, {"0", 1}, {"-3", 1}, {"abc", 1}, {"3", 3}, {"100000", 64}}) {
        project.Options.SetValue("ThreadsCount", option);
        const auto head = ThvConvertor::CreateChain(batch, dir / "out/", {});
        EXPECT_EQ(head->ConverterCount, expected) << option;
        EXPECT_EQ(ChainLength(*head), expected) << option;
    }
    // A chain that is never started ends nothing and frees cleanly.
}

TEST_F(ConvertorTest, TargetPathRules) {
    ThvBatch batch;
    batch.SourceFolder = dir / "in/";
    batch.TargetFolder = dir / "out/";
    auto c = std::make_shared<TestConvertor>(batch, 1, ThvNodeEvent{});

    ThvNode& nested = AddNode(batch, In("sub/talk.pptx"));
    EXPECT_EQ(c->TargetPath(batch, nested), dir / "out/sub/talk.txt");
    EXPECT_TRUE(DirectoryExists(dir / "out/sub"));

    ThvNode& bare = AddNode(batch, In("README"));
    EXPECT_EQ(c->TargetPath(batch, bare), dir / "out/README.txt");
    // Where ":" and "\\" may be in a name, they must not lead out of the target folder.
    if (PathDelim == '/') {
        ThvNode& odd = AddNode(batch, In("a:b\\c.ppt"));
        EXPECT_EQ(c->TargetPath(batch, odd), dir / "out/a_b_c.txt");
    }

    // A run takes the option with its target, and keeps it to its end.
    project.Options.SetValue("KeepTargetSubdirs", "False");
    EXPECT_EQ(c->TargetPath(batch, nested), dir / "out/sub/talk.txt");
    batch.SetTarget(dir / "out/");
    EXPECT_EQ(c->TargetPath(batch, nested), dir / "out/talk.txt");
    project.Options.SetValue("KeepTargetSubdirs", "");
    batch.SetTarget(dir / "out/");
    batch.SourceFolder.clear();  // chosen files: no folder to keep
    EXPECT_EQ(c->TargetPath(batch, nested), dir / "out/talk.txt");
}

TEST_F(ConvertorTest, ExistingTargets) {
    ThvBatch batch;
    batch.TargetFolder = dir / "out/";
    auto c = std::make_shared<TestConvertor>(batch, 1, ThvNodeEvent{});
    ThvNode& node = AddNode(batch, In("b.pptx"));
    ForceDirectories(dir / "out");
    WriteBytes(dir / "out/b.txt", "old");

    EXPECT_EQ(c->TargetPath(batch, node), dir / "out/b.txt");  // overwrite by default
    project.Options.SetValue("IsOverwrite", "False");
    EXPECT_EQ(c->TargetPath(batch, node), dir / "out/-quillon-b.txt");
    project.Options.SetValue("IsOverwrite", "skip");
    node.Result = "kept";
    EXPECT_EQ(c->TargetPath(batch, node), "");
    EXPECT_EQ(node.State, ThvNode::Success);
    EXPECT_EQ(node.Result, "kept");
    EXPECT_EQ(batch.Succeeded(), 0);
}

// A new name is never one that is there: the text a user edited under an earlier new name stays,
// and every run adds one file.
TEST_F(ConvertorTest, NewNamesAreTheNextFreeOnes) {
    ThvBatch batch;
    batch.TargetFolder = dir / "out/";
    auto c = std::make_shared<TestConvertor>(batch, 1, ThvNodeEvent{});
    project.Options.SetValue("IsOverwrite", "0");
    ThvNode& node = AddNode(batch, In("b.pptx"));
    ForceDirectories(dir / "out");
    WriteBytes(dir / "out/b.txt", "old");
    WriteBytes(dir / "out/-quillon-b.txt", "edited by the user");
    EXPECT_EQ(c->TargetPath(batch, node), dir / "out/-quillon-b (2).txt");
    WriteBytes(dir / "out/-quillon-b (2).txt", "");
    ForceDirectories(dir / "out/-quillon-b (3).txt");  // whatever is there, a folder too
    EXPECT_EQ(c->TargetPath(batch, node), dir / "out/-quillon-b (4).txt");
    // A name without an extension counts on at its end.
    ThvNode& bare = AddNode(batch, In("README"));
    WriteBytes(dir / "out/README.txt", "");
    WriteBytes(dir / "out/-quillon-README.txt", "");
    EXPECT_EQ(c->TargetPath(batch, bare), dir / "out/-quillon-README (2).txt");
    EXPECT_EQ(ReadBytes(dir / "out/-quillon-b.txt"), "edited by the user");
}

TEST_F(ConvertorTest, FolderThatCannotBeCreatedIsReportedAndTheFileStillTried) {
    WriteBytes(dir / "blocker", "a file where a folder should be");
    ThvBatch batch;
    batch.AddFile(In("x.pptx"));
    std::vector<std::string> results;
    auto head = ThvConvertor::CreateChain(
        batch, dir / "blocker/out/", [&](ThvBatch&, ThvNode& n) { results.push_back(n.Result); });
    RunningCount = 1;
    head->Start();
    ASSERT_TRUE(mainThread.PumpUntil([] { return RunningCount == 0; }));
    EXPECT_EQ(batch.FailureList(),
              std::vector<std::string>{"CreateDir Failed: " + dir / "blocker/out/"});
    // The conversion was attempted: its own error is in the node.
    ASSERT_EQ(results.size(), 0u);  // raised, so no per-file notification
    ThvBatchLock lock(batch);
    EXPECT_NE(lock.Nodes()[0]->Result.find("Cannot create file"), std::string::npos);
}

TEST_F(ConvertorTest, WorkOnTheSourceAfterConversion) {
    project.Options.SetText("KeepFileTime=1\nRenameSource=.done\n");
    ThvBatch batch;
    const std::string kept = In("kept.pptx");
    SetFileTimes(kept, {std::nullopt, 1000000000LL * 1500000000, 1000000000LL * 1500000000});
    batch.AddFile(kept);
    Run(batch);
    EXPECT_EQ(GetFileTimes(dir / "out/kept.txt")->LastWrite, 1000000000LL * 1500000000);
    EXPECT_FALSE(FileExists(kept));
    EXPECT_TRUE(FileExists(kept + ".done"));

    project.Options.SetText("DeleteSource=True\nRenameSource=.done\n");
    ThvBatch second;
    const std::string gone = In("gone.pptx");
    second.AddFile(gone);
    Run(second);
    EXPECT_FALSE(FileExists(gone));
    EXPECT_FALSE(FileExists(gone + ".done"));
    EXPECT_TRUE(FileExists(dir / "out/gone.txt"));
}

TEST_F(ConvertorTest, ErrorsStayInTheirNodeAndTheRunGoesOn) {
    ThvBatch batch;
    for (const char* name : {"a.ppt", "raise.ppt", "fail.ppt", "b.ppt"}) batch.AddFile(In(name));
    std::mutex m;
    std::set<std::string> notified;
    Run(batch, [&](ThvBatch&, ThvNode& n) {
        std::lock_guard lock(m);
        notified.insert(ExtractFileName(n.Source));
    });
    EXPECT_EQ(notified, (std::set<std::string>{"a.ppt", "fail.ppt", "b.ppt"}));
    ThvBatchLock lock(batch);
    const auto& nodes = lock.Nodes();
    EXPECT_EQ(nodes[1]->Result, "raised for " + dir / "in/raise.ppt");
    EXPECT_EQ(nodes[1]->State, ThvNode::Running);  // the state is the converter's business
    EXPECT_EQ(nodes[2]->State, ThvNode::Failure);
    EXPECT_EQ(nodes[3]->State, ThvNode::Success);
}

TEST_F(ConvertorTest, ARefusedNodeFailsWithItsReasonAndNothingIsOpenedOrMade) {
    ThvBatch batch;
    batch.AddRefused(dir / "in/pipe.ppt", "Cannot convert: a named pipe (FIFO), not a file.");
    batch.AddFile(In("a.ppt"));
    project.Options.SetValue("DeleteSource", "1");
    int notified = 0;
    Run(batch, [&](ThvBatch&, ThvNode&) { ++notified; });
    EXPECT_EQ(notified, 2);
    EXPECT_EQ(batch.Failed(), 1);
    EXPECT_EQ(batch.FailureList(),
              std::vector<std::string>{"Cannot convert: a named pipe (FIFO), not a file."});
    ThvBatchLock lock(batch);
    EXPECT_EQ(lock.Nodes()[0]->State, ThvNode::Failure);
    EXPECT_EQ(lock.Nodes()[0]->Result, "Cannot convert: a named pipe (FIFO), not a file.");
    EXPECT_FALSE(FileExists(dir / "out/pipe.txt"));  // TestConvertor would have written it
    EXPECT_EQ(lock.Nodes()[1]->State, ThvNode::Success);
}

TEST_F(ConvertorTest, ManyConvertorsEachFileExactlyOnceWhileTheSearchRuns) {
    for (int i = 0; i < 300; ++i)
        In("d" + std::to_string(i % 7) + "/f" + std::to_string(i) + ".pptx");
    project.Options.SetValue("ThreadsCount", "6");
    ThvBatch batch;
    batch.Start(dir / "in/*.ppt?", dir / "out/", true);
    std::mutex m;
    std::multiset<std::string> done;
    int finished = 0;
    auto head = ThvConvertor::CreateChain(batch, dir / "out/", [&](ThvBatch&, ThvNode& n) {
        std::lock_guard lock(m);
        done.insert(n.Source);
    });
    head->SetOnFinish([&] { ++finished; });  // on this thread, through the queue
    RunningCount = head->ConverterCount;
    head->Start();
    ASSERT_TRUE(mainThread.PumpUntil([] { return RunningCount == 0; }));
    EXPECT_EQ(finished, 6);
    EXPECT_EQ(done.size(), 300u);
    EXPECT_EQ(std::set<std::string>(done.begin(), done.end()).size(), 300u);
    EXPECT_EQ(batch.Succeeded(), 300);
    EXPECT_TRUE(batch.Exhausted());
}

TEST_F(ConvertorTest, StopFinishesTheNodesInHandAndANewChainGoesOn) {
    TestConvertor::release = false;
    project.Options.SetValue("ThreadsCount", "2");
    ThvBatch batch;
    for (int i = 0; i < 10; ++i) batch.AddFile(In("slow" + std::to_string(i) + ".ppt"));
    std::atomic<int> fileDone{0};
    int finished = 0;
    auto head =
        ThvConvertor::CreateChain(batch, dir / "out/", [&](ThvBatch&, ThvNode&) { ++fileDone; });
    head->SetOnFinish([&] { ++finished; });
    RunningCount = 2;
    head->Start();
    ASSERT_TRUE(mainThread.PumpUntil([] { return TestConvertor::inProgress == 2; }));
    head->Stop();
    EXPECT_TRUE(head->Terminated());
    EXPECT_TRUE(head->Next->Terminated());
    TestConvertor::release = true;
    ASSERT_TRUE(mainThread.PumpUntil([] { return RunningCount == 0; }));
    EXPECT_EQ(fileDone, 2);
    EXPECT_EQ(finished, 2);
    EXPECT_EQ(batch.Succeeded(), 2);
    head->Stop();  // on ended converters: nothing happens

    // A new chain on the paused batch takes up the third file.
    std::vector<int32_t> indexes;
    project.Options.SetValue("ThreadsCount", "1");
    Run(batch, [&](ThvBatch&, ThvNode& n) { indexes.push_back(n.Index); });
    ASSERT_EQ(indexes.size(), 8u);
    EXPECT_EQ(indexes.front(), 2);
}

TEST_F(ConvertorTest, EndNotificationWithoutDispatcherIsRefusedAtStart) {
    SetMainThreadDispatcher({});
    ThvBatch batch;
    batch.AddFile(In("a.ppt"));
    auto head = ThvConvertor::CreateChain(batch, dir / "out/", {});
    head->SetOnFinish([] {});
    EXPECT_THROW(head->Start(), EhvError);
    EXPECT_FALSE(FileExists(dir / "out/a.txt"));
    head->SetOnFinish({});
    RunningCount = 1;
    head->Start();
    for (int i = 0; i < 2000 && RunningCount != 0; ++i) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(RunningCount, 0);
    EXPECT_TRUE(FileExists(dir / "out/a.txt"));
}

TEST_F(ConvertorTest, SourcesMeetingAtOneTargetGiveTheSameOutcomeWithAnyNumberOfConverters) {
    // Four folders flattened into one: d0/tK.ppt comes first for every K.
    project.Options.SetValue("KeepTargetSubdirs", "False");
    for (int k = 0; k < 6; ++k)
        for (int d = 0; d < 4; ++d)
            In("nap" + std::to_string(d) + "/t" + std::to_string(k) + ".ppt");
    auto outcome = [&](const std::string& mode, const std::string& threads) {
        std::filesystem::remove_all(dir / "out");
        project.Options.SetValue("IsOverwrite", mode);
        project.Options.SetValue("ThreadsCount", threads);
        ThvBatch batch;
        batch.Start(dir / "in/*.ppt", dir / "out/", true);
        Run(batch);
        std::map<std::string, std::string> byNode;  // state and result, with the texts written
        ThvBatchLock lock(batch);
        for (const auto& node : lock.Nodes()) {
            std::string text = node->State == ThvNode::Success && !node->Result.empty()
                                   ? ReadBytes(node->Result)
                                   : "";
            std::string key = node->Source.substr(dir.Path().size());
            std::replace(key.begin(), key.end(), '\\', '/');
            byNode[key] = std::to_string(node->State.load()) + " " + node->Result + " " + text;
        }
        return byNode;
    };
    for (const char* mode : {"True", "False", "skip"}) {
        SCOPED_TRACE(mode);
        const auto one = outcome(mode, "1");
        for (const char* threads : {"3", "6", "6"}) EXPECT_EQ(outcome(mode, threads), one);
    }
    const std::string t2 = dir / "out/t2.txt", first = dir / "in/nap0/t2.ppt";
    auto overwrite = outcome("True", "4");
    EXPECT_EQ(overwrite["in/nap0/t2.ppt"], "1 " + t2 + " from " + first);
    EXPECT_EQ(overwrite["in/nap3/t2.ppt"], "2 \"" + t2 + "\" would replace the text of \"" + first +
                                               "\" converted in this run ");
    // Each later one takes the next new name: none is refused and none written over.
    auto newName = outcome("False", "4");
    EXPECT_EQ(newName["in/nap1/t2.ppt"],
              "1 " + dir / "out/-quillon-t2.txt" + " from " + dir / "in/nap1/t2.ppt");
    EXPECT_EQ(newName["in/nap2/t2.ppt"],
              "1 " + dir / "out/-quillon-t2 (2).txt" + " from " + dir / "in/nap2/t2.ppt");
    EXPECT_EQ(newName["in/nap3/t2.ppt"],
              "1 " + dir / "out/-quillon-t2 (3).txt" + " from " + dir / "in/nap3/t2.ppt");
    EXPECT_EQ(outcome("skip", "4")["in/nap3/t2.ppt"], "1  ");
}

TEST_F(ConvertorTest, NodesThatNeverReachTheirTargetHoldNobodyUp) {
    project.Options.SetValue("ThreadsCount", "2");
    ThvBatch batch;
    for (const char* name : {"early0.ppt", "a.ppt", "early1.ppt", "b.ppt"}) batch.AddFile(In(name));
    Run(batch);
    EXPECT_EQ(batch.Succeeded(), 2);
    EXPECT_TRUE(FileExists(dir / "out/b.txt"));

    // A chain stopped while a node waits for the one before it still finishes both.
    TestConvertor::release = false;
    ThvBatch second;
    for (const char* name : {"hold.ppt", "c.ppt", "d.ppt", "e.ppt"}) second.AddFile(In(name));
    auto head = ThvConvertor::CreateChain(second, dir / "out/", {});
    RunningCount = head->ConverterCount;
    head->Start();
    ASSERT_TRUE(mainThread.PumpUntil([] { return TestConvertor::inProgress == 1; }));
    std::this_thread::sleep_for(20ms);  // c.ppt's converter is then waiting for its turn, or soon
    head->Stop();
    TestConvertor::release = true;
    ASSERT_TRUE(mainThread.PumpUntil([] { return RunningCount == 0; }));
    ThvBatchLock lock(second);
    const auto& nodes = lock.Nodes();
    EXPECT_EQ(nodes[0]->State, ThvNode::Success);
    // c.ppt is converted when its converter had taken it before the stop, as it almost always
    // has by then; d.ppt and e.ppt are never handed out.
    EXPECT_NE(nodes[1]->State, ThvNode::Failure);
    EXPECT_EQ(nodes[2]->State, ThvNode::Running);
    EXPECT_EQ(nodes[3]->State, ThvNode::Running);
}

TEST_F(ConvertorTest, OnlyTheFileThatWasReadIsTouchedAndWhatIsNotDoneIsTold) {
    project.Options.SetText("DeleteSource=1\nKeepFileTime=1\n");
    ThvBatch batch;
    for (const char* name : {"touch.ppt", "replace.ppt", "plain.ppt"}) batch.AddFile(In(name));
    ForceDirectories(dir / "in/folder.ppt");  // a folder is no file to delete
    batch.AddFile(dir / "in/folder.ppt");
    Run(batch);
    ThvBatchLock lock(batch);
    const auto& nodes = lock.Nodes();
    const std::string changed =
        "source left as it is: it was replaced or changed while it was converted";
    EXPECT_EQ(nodes[0]->Warning, changed);
    EXPECT_EQ(ReadBytes(dir / "in/touch.ppt"), "edited");
    EXPECT_EQ(nodes[1]->Warning, changed);
    EXPECT_TRUE(FileExists(dir / "in/replace.ppt"));
    EXPECT_EQ(nodes[2]->Warning, "");
    EXPECT_FALSE(FileExists(dir / "in/plain.ppt"));
    // The system's own reason, whatever its words for a folder are.
    ASSERT_FALSE(DeleteFile(dir / "in/folder.ppt"));
    EXPECT_EQ(nodes[3]->Warning, "source not deleted: " + LastSystemErrorMessage());
    for (const auto& node : nodes) EXPECT_EQ(node->State, ThvNode::Success) << node->Source;
}

TEST_F(ConvertorTest, ASourceThatCannotBeRenamedIsTold) {
    project.Options.SetText("RenameSource=.done\n");
    ThvBatch batch;
    const std::string source = In("a.ppt");
    WriteBytes(source + ".done", "an older one");
    batch.AddFile(source);
    Run(batch);
    ThvBatchLock lock(batch);
    ASSERT_FALSE(MoveFile(source, source + ".done"));
    EXPECT_EQ(lock.Nodes()[0]->Warning, "source not renamed: " + LastSystemErrorMessage());
    EXPECT_EQ(ReadBytes(source + ".done"), "an older one");
}

TEST_F(ConvertorTest, EveryRunTidiesItsTargetFolderAlsoWithNothingToConvert) {
    ForceDirectories(dir / "out/sub");
    WriteBytes(dir / "out/.quillon-00000000000000aa", "");  // nobody holds it: a killed run's
    WriteBytes(dir / "out/sub/.quillon-00000000000000bb", "");
    ThvBatch batch;
    batch.Start(dir / "in/*.ppt", dir / "out/", true);
    Run(batch);
    EXPECT_FALSE(FileExists(dir / "out/.quillon-00000000000000aa"));
    // Below the target folder only where the run converts.
    EXPECT_TRUE(FileExists(dir / "out/sub/.quillon-00000000000000bb"));
}
