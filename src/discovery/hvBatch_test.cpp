#include "discovery/hvBatch.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "discovery/hvMatch.h"
#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"
#include "platform/files/folderEntries.h"
#include "project/hvProject.h"
#include "tempDir.h"

namespace {

using namespace std::chrono_literals;

class ThvBatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        project_ = std::make_unique<ThvProject>(dir_ / "quillon");
        hvProject = project_.get();
        hvMatch = &match_;
        hvSkipLockFiles = true;
        in_ = dir_ / "in/";
        out_ = dir_ / "out/";
        ASSERT_TRUE(ForceDirectories(in_));
    }
    void TearDown() override {
        hvMatch = nullptr;
        hvProject = nullptr;
        hvSkipLockFiles = false;
    }

    void Files(const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            ForceDirectories(ExtractFilePath(in_ + name, '/'));
            WriteBytes(in_ + name, name);
        }
    }

    /// Sources of a finished search of in_ + mask, in list order, relative to in_.
    std::vector<std::string> Search(const std::string& mask, bool subdirs) {
        ThvBatch batch;
        batch.Start(in_ + mask, out_, subdirs);
        batch.WaitForSearch();
        std::vector<std::string> found;
        refusals_.clear();
        while (ThvNode* node = batch.NextNode()) {
            EXPECT_EQ(node->Index, static_cast<int32_t>(found.size()));
            found.push_back(node->Source.substr(in_.size()));
            refusals_.push_back(node->Refusal);
        }
        return found;
    }

    TempDir dir_;
    std::vector<std::string> refusals_;  ///< of the last Search, in list order
    std::string in_;
    std::string out_;
    ThvMatch match_;
    std::unique_ptr<ThvProject> project_;
};

using Names = std::vector<std::string>;

TEST_F(ThvBatchTest, MaskListsMatchingFilesOfTheFolderOnly) {
    Files({"b.pptx", "a.ppt", "notes.txt", "~$a.pptx", "a.pptxx", "old/c.ppt", "dir.ppt/x.txt",
           "b-dir/a.ppt", "b-dir/b.pptx", "b-dir/xa.ppt"});
    EXPECT_EQ(Search("*.ppt?", false), (Names{"a.ppt", "b.pptx"}));
    // The whole name must fit the mask, not only the tail of the path: a one-file source
    // yields that one file, and the "b" of "b-dir" does not satisfy b*.
    EXPECT_EQ(Search("a.ppt", true), (Names{"a.ppt", "b-dir/a.ppt"}));
    EXPECT_EQ(Search("b-dir/a.ppt", false), Names{"b-dir/a.ppt"});
    EXPECT_EQ(Search("b-dir/b*.ppt?", false), Names{"b-dir/b.pptx"});
    EXPECT_EQ(Search("", true), Names{});
    hvSkipLockFiles = false;
    EXPECT_EQ(Search("*.ppt?", false), (Names{"a.ppt", "b.pptx", "~$a.pptx"}));
}

TEST_F(ThvBatchTest, SubfoldersComeDepthFirstAfterTheFilesOfTheirFolder) {
    Files({"older/e.ppt", "old/deep/d.ppt", "old/c.ppt", "z.ppt", "B.ppt", "a.ppt",
           "old/deep/more/f.ppt", "old/g.ppt"});
    EXPECT_EQ(Search("*.ppt", true),
              (Names{"B.ppt", "a.ppt", "z.ppt", "old/c.ppt", "old/g.ppt", "old/deep/d.ppt",
                     "old/deep/more/f.ppt", "older/e.ppt"}));
}

TEST_F(ThvBatchTest, HiddenFilesDependOnSkipHiddenAndHiddenFoldersAreNeverEntered) {
    Files({"a.ppt", ".hidden.ppt", ".secret/b.ppt", "sub/.c.ppt"});
    EXPECT_EQ(Search("*.ppt", true), (Names{".hidden.ppt", "a.ppt", "sub/.c.ppt"}));
    hvProject->Options.SetValue("SkipHidden", "1");
    EXPECT_EQ(Search("*.ppt", true), Names{"a.ppt"});
}

TEST_F(ThvBatchTest, RegExtFiltersTheFullPathIgnoringCase) {
    Files({"a.ppt", "Q2023/b.ppt", "c-q2023.pptx", "d2022.ppt"});
    hvProject->Options.SetValue("RegExt", "q2023");
    EXPECT_EQ(Search("*.ppt?", true), (Names{"c-q2023.pptx", "Q2023/b.ppt"}));
    // An expression the engine rejects filters nothing.
    hvProject->Options.SetValue("RegExt", "(");
    EXPECT_EQ(Search("*.ppt?", true).size(), 4u);
}

TEST_F(ThvBatchTest, SourcesMayBeFileUrls) {
    Files({"a.ppt", "b.pptx"});
    ThvBatch batch;
    batch.Start("file://" + in_ + "*.ppt?", "file://" + out_, false);
    batch.WaitForSearch();
    EXPECT_EQ(batch.SourceFolder, in_);
    EXPECT_EQ(batch.Mask, "*.ppt?");
    EXPECT_EQ(batch.TargetFolder, out_);
    EXPECT_TRUE(DirectoryExists(out_));
    EXPECT_EQ(batch.Count(), 2);

    ThvBatch nothing;
    nothing.Start("file:", out_, true);
    nothing.WaitForSearch();
    EXPECT_EQ(nothing.NextNode(), nullptr);
    EXPECT_TRUE(nothing.Exhausted());
}

TEST_F(ThvBatchTest, TargetFolderIsCreatedAndAnEmptyTargetRefused) {
    Files({"a.ppt"});
    ThvBatch batch;
    try {
        batch.Start(in_ + "*.ppt", "", false);
        FAIL() << "no exception";
    } catch (const EhvError& e) {
        EXPECT_STREQ(e.what(), "Unable to create directory");
    }
    EXPECT_FALSE(batch.Searched());
    EXPECT_EQ(batch.Count(), 0);

    ThvBatch created;
    created.Start(in_ + "*.ppt", out_ + "x/y/", false);
    created.WaitForSearch();
    EXPECT_TRUE(DirectoryExists(out_ + "x/y/"));
    EXPECT_EQ(created.Count(), 1);
}

TEST_F(ThvBatchTest, WhatIsNoFileIsRefusedAndOddNamesStillOpen) {
    Files({"a.ppt", "sub/b.ppt"});
    const std::string odd = in_ + "\xFF\xFE odd.ppt";
    WriteBytes(odd, "odd bytes");
    ASSERT_EQ(symlink(in_.c_str(), (in_ + "loop").c_str()), 0);
    ASSERT_EQ(symlink((in_ + "a.ppt").c_str(), (in_ + "link.ppt").c_str()), 0);
    ASSERT_EQ(symlink((in_ + "gone").c_str(), (in_ + "dangling.ppt").c_str()), 0);
    ASSERT_EQ(mkfifo((in_ + "pipe.ppt").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((in_ + "pipe.txt").c_str(), 0600), 0);  // no match: nothing to say

    const Names found = Search("*.ppt", true);
    ASSERT_EQ(found, (Names{"a.ppt", "dangling.ppt", "link.ppt", "pipe.ppt", "\xFF\xFE odd.ppt",
                            "sub/b.ppt"}));
    EXPECT_EQ(ReadBytes(in_ + found[4]), "odd bytes");  // the node's path opens the file
    EXPECT_EQ(refusals_[1], "Cannot convert: a link to \"" + in_ +
                                "gone\", which does not exist. "
                                "It was not opened.");
    EXPECT_EQ(refusals_[3], "Cannot convert: a named pipe (FIFO), not a file. It was not opened.");
    for (std::size_t i : {0, 2, 4, 5}) EXPECT_EQ(refusals_[i], "") << found[i];
}

TEST_F(ThvBatchTest, RegExtLeavesOutWhatItCannotDecideAndPathsBeyondTheLimitAreRefused) {
    const std::string hard = std::string(40, 'a') + "!.ppt";
    Files({"ok.ppt", hard});
    project_->Options.SetValue("RegExt", "(\\w+\\s?)+$");
    ASSERT_EQ(Search("*.ppt", false), (Names{hard, "ok.ppt"}));
    EXPECT_NE(refusals_[0].find("match limit"), std::string::npos) << refusals_[0];
    EXPECT_EQ(refusals_[1], "");
    // An expression that is none leaves out everything, with the engine's message.
    project_->Options.SetValue("RegExt", "(ok");
    ASSERT_EQ(Search("*.ppt", false), (Names{hard, "ok.ppt"}));
    for (const std::string& refusal : refusals_) {
        EXPECT_EQ(refusal,
                  "Left out: RegExt \"(ok\" is not a valid regular expression: Expected ')' in "
                  "regular expression");
    }

    // A folder whose path is as long as the system takes, and a name that takes it beyond.
    project_->Options.SetValue("RegExt", "");
    const std::string deep = dir_ / "deep/";
    std::string folder = deep;
    // Room for a name of 100 to 200 bytes.
    while (folder.size() + 201 < MaxPathBytes()) folder += std::string(100, 'd') + "/";
    const std::size_t room = MaxPathBytes() - folder.size();
    ASSERT_TRUE(ForceDirectories(folder));
    const std::string fits = std::string(room - 4, 'f') + ".ppt";
    const std::string beyond = std::string(room - 3, 'g') + ".ppt";
    // Only from its folder can the system make or remove what it cannot name whole.
    const int fd = open(folder.c_str(), O_DIRECTORY | O_RDONLY);
    for (const std::string& name : {fits, beyond})
        close(openat(fd, name.c_str(), O_CREAT | O_WRONLY, 0644));
    ThvBatch batch;
    batch.Start(deep + "*.ppt", out_, true);
    batch.WaitForSearch();
    std::vector<std::pair<std::string, std::string>> nodes;
    while (ThvNode* node = batch.NextNode()) nodes.push_back({node->Source, node->Refusal});
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(nodes[0], std::make_pair(folder + fits, std::string()));
    EXPECT_EQ(nodes[1].first, folder + beyond);
    EXPECT_EQ(nodes[1].second,
              "Cannot convert: the path is too long (4096 bytes; the system "
              "takes at most 4095).");
    unlinkat(fd, beyond.c_str(), 0);
    close(fd);
}

TEST_F(ThvBatchTest, FoldersThatCannotBeReadAreRefusedButAMissingSourceIsNot) {
    EXPECT_EQ(Search("missing/*.ppt", true), Names{});
    // Root reads every folder, so only another user sees a folder without permission.
    if (geteuid() == 0) GTEST_SKIP() << "running as root";
    Files({"a.ppt", "locked/b.ppt", "open/c.ppt"});
    ASSERT_EQ(chmod((in_ + "locked").c_str(), 0), 0);
    EXPECT_EQ(Search("*.ppt", true), (Names{"a.ppt", "locked/", "open/c.ppt"}));
    EXPECT_EQ(refusals_[1], "Cannot search the folder: Permission denied.");
    chmod((in_ + "locked").c_str(), 0755);
}

TEST_F(ThvBatchTest, TwoWorkersShareTenNodesExactlyOnce) {
    for (int i = 0; i < 10; ++i) Files({"f" + std::to_string(i) + ".ppt"});
    ThvBatch batch;
    batch.Start(in_ + "*.ppt", out_, false);
    auto worker = [&batch] {
        std::vector<int32_t> taken;
        while (ThvNode* node = batch.NextNode()) taken.push_back(node->Index);
        return taken;
    };
    auto first = std::async(std::launch::async, worker);
    auto second = std::async(std::launch::async, worker);
    std::vector<int32_t> all = first.get();
    std::vector<int32_t> more = second.get();
    all.insert(all.end(), more.begin(), more.end());
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_TRUE(batch.Exhausted());
    EXPECT_EQ(batch.NextNode(), nullptr);
    EXPECT_EQ(batch.NextNode(), nullptr);
}

TEST_F(ThvBatchTest, ManyThreadsTakeNodesWhileTheSearchRuns) {
    for (int i = 0; i < 300; ++i)
        Files({"d" + std::to_string(i % 7) + "/" + std::to_string(i) + ".ppt"});
    ThvBatch batch;
    std::atomic<int> announced{0};
    batch.OnFound = [&announced](ThvBatch&, ThvNode&) { ++announced; };
    std::vector<std::future<std::vector<ThvNode*>>> workers;
    for (int t = 0; t < 8; ++t) {
        workers.push_back(std::async(std::launch::async, [&batch] {
            std::vector<ThvNode*> taken;
            while (ThvNode* node = batch.NextNode()) taken.push_back(node);
            return taken;
        }));
    }
    batch.Start(in_ + "*.ppt", out_, true);
    std::set<ThvNode*> distinct;
    std::size_t total = 0;
    for (auto& worker : workers) {
        for (ThvNode* node : worker.get()) {
            distinct.insert(node);
            ++total;
        }
    }
    EXPECT_EQ(total, 300u);
    EXPECT_EQ(distinct.size(), 300u);
    EXPECT_EQ(announced.load(), 300);
}

TEST_F(ThvBatchTest, NextNodeWaitsWhileTheSearchRuns) {
    Files({"a.ppt", "b.ppt"});
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    ThvBatch batch;
    // The search stops after its first node until the test lets it go on.
    batch.OnFound = [released](ThvBatch&, ThvNode& node) {
        if (node.Index == 0) released.wait();
    };
    batch.Start(in_ + "*.ppt", out_, false);
    ThvNode* first = batch.NextNode();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Index, 0);

    auto second = std::async(std::launch::async, [&batch] { return batch.NextNode(); });
    EXPECT_EQ(second.wait_for(100ms), std::future_status::timeout);
    EXPECT_FALSE(batch.Exhausted());
    release.set_value();
    ThvNode* node = second.get();
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->Index, 1);

    // Used up while the search still runs: the request waits for the search's end.
    EXPECT_EQ(batch.NextNode(), nullptr);
    EXPECT_TRUE(batch.Searched());
    EXPECT_TRUE(batch.Exhausted());
}

TEST_F(ThvBatchTest, TerminateStopsTheSearchBetweenEntries) {
    for (int i = 0; i < 50; ++i) Files({std::to_string(100 + i) + ".ppt"});
    auto batch = std::make_unique<ThvBatch>();
    batch->OnFound = [](ThvBatch& b, ThvNode& node) {
        if (node.Index == 2) b.Terminate();
    };
    batch->Start(in_ + "*.ppt", out_, true);
    batch->WaitForSearch();
    EXPECT_EQ(batch->Count(), 3);
    EXPECT_EQ(batch->NextNode()->Source, in_ + "100.ppt");  // nodes found stay available

    // Freeing a batch in the middle of its search ends and joins the search first.
    auto running = std::make_unique<ThvBatch>();
    running->Start(in_ + "*.ppt", out_, true);
    running.reset();
}

TEST_F(ThvBatchTest, AddFileAcceptsAnyPathAndCompletesTheList) {
    ThvBatch batch;
    std::vector<std::string> announced;
    batch.OnFound = [&announced](ThvBatch&, ThvNode& node) { announced.push_back(node.Source); };
    batch.AddFile("http://example.com/deck.ppt");
    EXPECT_TRUE(batch.Searched());
    batch.AddFile("/in/notes.txt");
    EXPECT_EQ(announced, (Names{"http://example.com/deck.ppt", "/in/notes.txt"}));
    EXPECT_EQ(batch.NextNode()->Index, 0);
    EXPECT_EQ(batch.NextNode()->Index, 1);
    EXPECT_EQ(batch.NextNode(), nullptr);
    EXPECT_TRUE(batch.Exhausted());
}

TEST_F(ThvBatchTest, DroppedFoldersAreSearchedWithTheMaskAndDroppedFilesTakenAsTheyAre) {
    Files({"a.pptx", "notes.txt", "sub/b.ppt", "sub/deep/c.pptm", "other/d.pptx"});
    const auto sources = [](ThvBatch& batch) {
        batch.WaitForSearch();
        Names found;
        while (ThvNode* node = batch.NextNode()) found.push_back(node->Source);
        return found;
    };
    // One folder is searched as the source in_*.ppt? would be, sub-folders and all.
    ThvBatch one;
    one.StartPaths({in_ + "sub"}, "*.ppt?", out_, true);
    EXPECT_EQ(sources(one), (Names{in_ + "sub/b.ppt", in_ + "sub/deep/c.pptm"}));
    EXPECT_EQ(one.SourceFolder, in_ + "sub/");
    EXPECT_EQ(one.TargetOf(in_ + "sub/deep/c.pptm"), out_ + "deep/c.pptm");
    // Without sub-folders only the folder's own files; a file dropped beside it is listed
    // whatever its name, and the texts keep the folders below the one both lie in.
    ThvBatch mixed;
    mixed.StartPaths({in_ + "sub", in_ + "notes.txt", in_ + "other/"}, "*.ppt?", out_, false);
    EXPECT_EQ(sources(mixed), (Names{in_ + "sub/b.ppt", in_ + "notes.txt", in_ + "other/d.pptx"}));
    EXPECT_EQ(mixed.SourceFolder, in_);
    EXPECT_EQ(mixed.TargetOf(in_ + "other/d.pptx"), out_ + "other/d.pptx");
    EXPECT_THROW(ThvBatch().StartPaths({in_}, "*.ppt?", "", false), EhvError);
}

TEST_F(ThvBatchTest, FailuresAreCountedAndKeptOnceIgnoringCase) {
    ThvBatch batch;
    batch.AddFailure("Cannot open Ä");
    batch.AddFailure("cannot open ä");
    batch.AddSuccess();
    EXPECT_EQ(batch.Failed(), 2);
    EXPECT_EQ(batch.Succeeded(), 1);
    EXPECT_EQ(batch.FailureList(), Names{"Cannot open Ä"});

    ThvBatch quoted;
    for (const char* message : {"plain", "a,b", "say \"hi\"", "tab\there", "x"}) {
        quoted.AddFailure(message);
    }
    EXPECT_EQ(quoted.Failures(), "plain,\"a,b\",\"say \"\"hi\"\"\",\"tab\there\",x");

    // Millions of failures that each name their file are counted, but their messages are kept
    // only up to the limit: the report shows a few thousand characters of them.
    ThvBatch many;
    const std::string path(1000, 'p');
    const int count = static_cast<int>(ThvBatch::MaxFailureBytes / 1000) * 2;
    for (int i = 0; i < count; ++i) many.AddFailure("Cannot open " + path + std::to_string(i));
    EXPECT_EQ(many.Failed(), count);
    std::size_t kept = 0;
    for (const std::string& message : many.FailureList()) kept += message.size();
    EXPECT_GE(kept, ThvBatch::MaxFailureBytes);
    EXPECT_LT(kept, ThvBatch::MaxFailureBytes + 2000);
}

}  // namespace

TEST_F(ThvBatchTest, AScopeKnowsWhatItsSearchWouldListUnderAnySpelling) {
    Files({"a.ppt", "sub/b.ppt", ".hidden/c.ppt"});
    std::filesystem::create_directory_symlink(in_, dir_ / "alias");
    const ThvSearchScope flat = ThvSearchScope::Of(in_ + "*.ppt", false);
    EXPECT_TRUE(flat.Lists(in_ + "a.ppt"));
    EXPECT_TRUE(flat.Lists(in_ + "new.PPT"));  // not there yet, but it would be listed
    EXPECT_TRUE(flat.Lists(dir_ / "alias/./sub/../a.ppt"));
    EXPECT_FALSE(flat.Lists(in_ + "a.txt"));
    EXPECT_FALSE(flat.Lists(in_ + "sub/b.ppt"));
    EXPECT_FALSE(flat.Lists(in_ + "~$a.ppt"));  // a lock file
    EXPECT_FALSE(flat.Lists(dir_ / "a.ppt"));
    EXPECT_FALSE(flat.Lists(in_ + "missing/x.ppt"));

    const ThvSearchScope deep = ThvSearchScope::Of("file://" + in_ + "*.ppt", true);
    EXPECT_TRUE(deep.Lists(in_ + "sub/b.ppt"));
    EXPECT_FALSE(deep.Lists(in_ + ".hidden/c.ppt"));  // hidden folders are never entered

    project_->Options.SetValue("RegExt", "a\\.ppt$");
    EXPECT_FALSE(ThvSearchScope::Of(in_ + "*.ppt", true).Lists(in_ + "sub/b.ppt"));
    EXPECT_TRUE(ThvSearchScope::Of(in_ + "a.ppt", true).Lists(in_ + "a.ppt"));
    EXPECT_FALSE(ThvSearchScope::Of(in_ + "a.ppt", true).Lists(in_ + "xa.ppt"));
}

TEST_F(ThvBatchTest, SourceAdviceNamesASourceThatWouldSearch) {
    EXPECT_EQ(ThvSearchScope::Of(in_ + "*.ppt?", false).SourceAdvice("*.ppt?"), "");
    EXPECT_EQ(ThvSearchScope::Of(in_ + "x/y/*.ppt?", false).SourceAdvice("*.ppt?"),
              "The source folder \"" + in_ +
                  "x/y/\" does not exist, so nothing was found. The "
                  "nearest folder that does is \"" +
                  in_ + "\"; to search it: Source=" + in_ + "*.ppt?");
    const std::string folderAdvice = "The source \"" + dir_ / "in" +
                                     "\" names a folder but no files in it, so nothing was "
                                     "found. To convert the presentations in it: Source=" +
                                     in_ + "*.ppt?";
    EXPECT_EQ(ThvSearchScope::Of(in_, false).SourceAdvice("*.ppt?"), folderAdvice);
    EXPECT_EQ(ThvSearchScope::Of(dir_ / "in", false).SourceAdvice("*.ppt?"), folderAdvice);
    EXPECT_NE(ThvSearchScope::Of("/no/such/*.ppt", false)
                  .SourceAdvice("*.ppt?")
                  .find("is \"/\"; to search it: Source=/*.ppt?"),
              std::string::npos);

    // One file that is not there; the search would find it in another letter case, or below.
    Files({"talk.pptx", "sub/gone.pptx"});
    EXPECT_EQ(ThvSearchScope::Of(in_ + "gone.pptx", false).SourceAdvice("*.ppt?"),
              "The source file \"" + in_ +
                  "gone.pptx\" does not exist, so nothing was found. To search its folder: "
                  "Source=" +
                  in_ + "*.ppt?");
    EXPECT_EQ(ThvSearchScope::Of(in_ + "talk.pptx", false).SourceAdvice("*.ppt?"), "");
    EXPECT_EQ(ThvSearchScope::Of(in_ + "TALK.pptx", false).SourceAdvice("*.ppt?"), "");
    EXPECT_EQ(ThvSearchScope::Of(in_ + "gone.pptx", true).SourceAdvice("*.ppt?"), "");
}

// The one target rule that the converters, the shards and the JSON log all take.
TEST_F(ThvBatchTest, TargetOfIsTheTargetRule) {
    hvProject->TargetExt = ".txt";
    ThvBatch batch;
    batch.Start(in_ + "*.ppt?", out_.substr(0, out_.size() - 1), true);
    EXPECT_EQ(batch.TargetFolder, out_);  // ended by the delimiter
    EXPECT_EQ(batch.TargetOf(in_ + "sub/talk.pptx"), out_ + "sub/talk.txt");
    EXPECT_EQ(batch.TargetOf(in_ + "x:y\\noext"), out_ + "x_y_noext.txt");
    // "KeepTargetSubdirs" counts as it was when the target was set.
    hvProject->Options.SetValue("KeepTargetSubdirs", "0");
    EXPECT_EQ(batch.TargetOf(in_ + "sub/talk.pptx"), out_ + "sub/talk.txt");
    batch.SetTarget(out_);
    EXPECT_EQ(batch.TargetOf(in_ + "sub/talk.pptx"), out_ + "talk.txt");
    // With alternative extensions: the alternative, the macro one only for a deck with macros.
    hvProject->TargetExtAlt = ".alt";
    hvProject->TargetExtMacro = ".mac";
    EXPECT_EQ(batch.TargetOf(in_ + "a.pptx"), out_ + "a.alt");
    EXPECT_EQ(batch.TargetOf(in_ + "a.MAC"), out_ + "a.txt");
    hvProject->Options.SetValue("MacroEnabled", "1");
    EXPECT_EQ(batch.TargetOf(in_ + "a.pptm", [] { return true; }), out_ + "a.mac");
    EXPECT_EQ(batch.TargetOf(in_ + "a.pptm", [] { return false; }), out_ + "a.alt");
    EXPECT_EQ(batch.TargetOf(in_ + "a.pptm"), out_ + "a.alt");
}
