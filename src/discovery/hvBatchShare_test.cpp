// The batch's share of a run ("Shard" of "Shards") and list sources ("SourceList").

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "discovery/hvBatch.h"
#include "discovery/hvMatch.h"
#include "discovery/hvShard.h"
#include "errorText.h"
#include "platform/base/hvError.h"
#include "platform/files/fileSystem.h"
#include "project/hvProject.h"
#include "tempDir.h"

namespace {

class BatchShareTest : public ::testing::Test {
  protected:
    void SetUp() override {
        project_ = std::make_unique<ThvProject>(dir_ / "quillon");
        hvProject = project_.get();
        hvMatch = &match_;
        in_ = dir_ / "in/";
        out_ = dir_ / "out/";
    }
    void TearDown() override {
        hvMatch = nullptr;
        hvProject = nullptr;
    }

    void Files(const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            ForceDirectories(ExtractFilePath(in_ + name, '/'));
            WriteBytes(in_ + name, name);
        }
    }

    /// Sources of a finished batch made with the project's options as they stand.
    std::vector<std::string> Sources(const std::string& source, ThvBatch* keep = nullptr) {
        ThvBatch own;
        ThvBatch& batch = keep ? *keep : own;
        batch.Start(source, out_, true);
        batch.WaitForSearch();
        std::vector<std::string> found;
        while (ThvNode* node = batch.NextNode()) found.push_back(node->Source);
        return found;
    }

    TempDir dir_;
    std::string in_;
    std::string out_;
    ThvMatch match_;
    std::unique_ptr<ThvProject> project_;
};

// The shares split the files without a gap or an overlap, each file where its key says, and
// the sources that meet at one text file in one share.
TEST_F(BatchShareTest, SharesPartitionTheFiles) {
    std::vector<std::string> names;
    for (int i = 0; i < 120; ++i)
        names.push_back("d" + std::to_string(i % 5) + "/deck-" + std::to_string(i) + ".pptx");
    for (int i = 0; i < 10; ++i) {
        names.push_back("pair/talk-" + std::to_string(i) + ".ppt");
        names.push_back("pair/talk-" + std::to_string(i) + ".pptx");
    }
    Files(names);
    const std::vector<std::string> all = Sources(in_ + "*.ppt?");
    ASSERT_EQ(all.size(), names.size());

    project_->Options.SetValue("Shards", "4");
    std::set<std::string> seen;
    for (int32_t shard = 0; shard < 4; ++shard) {
        project_->Options.SetValue("Shard", std::to_string(shard));
        ThvBatch batch;
        const std::vector<std::string> mine = Sources(in_ + "*.ppt?", &batch);
        EXPECT_GT(mine.size(), names.size() / 8) << shard;
        EXPECT_EQ(batch.Count(), static_cast<int32_t>(mine.size()));  // counted as accepted
        for (const std::string& source : mine) {
            EXPECT_TRUE(seen.insert(source).second) << source << " in two shares";
            EXPECT_EQ(ShardOf(ShardKey(TargetRelativePart(source, in_, true)), 4), shard);
            if (source.ends_with(".ppt")) {
                EXPECT_NE(std::find(mine.begin(), mine.end(), source + "x"), mine.end())
                    << source << " and its .pptx apart";
            }
        }
    }
    EXPECT_EQ(seen, std::set<std::string>(all.begin(), all.end()));
}

TEST_F(BatchShareTest, AShardOutsideTheSharesStopsTheRunBeforeAnything) {
    project_->Options.SetText("Shards=4\nShard=4\n");
    ThvBatch batch;
    EXPECT_EQ(ErrorOf([&] { batch.Start(in_ + "*.ppt?", out_, true); }),
              "Shard 4 is not one of the 4 shards (0 to 3)");
    EXPECT_FALSE(DirectoryExists(out_));
    project_->Options.SetText("Shards=0\nShard=7\n");  // no sharding: Shard is not looked at
    EXPECT_TRUE(Sources(in_ + "*.ppt?").empty());
}

// A list names files relative to its own folder or absolutely, in a mark's encoding; the mask
// of Source plays no part. Entries that climb out of the root are refused: their text would
// land outside the target folder.
TEST_F(BatchShareTest, ListSourceBelowItsFolder) {
    Files({"a.pptx", "sub/b.ppt", "sub/notes.txt"});
    ForceDirectories(dir_ / "elsewhere");
    std::string list =
        "\xEF\xBB\xBF"
        "a.pptx\r\n./sub/b.ppt\n\n" +
        in_ + "sub/notes.txt\n";
    list += "sub/../../elsewhere/x.pptx\n" + dir_ / "elsewhere/y.ppt\n";
    WriteBytes(in_ + "list.txt", list);
    project_->Options.SetValue("SourceList", in_ + "list.txt");
    ThvBatch batch;
    // The entries outside the root are nodes of their own that no converter opens.
    EXPECT_EQ(Sources("ignored/*.ppt?", &batch),
              (std::vector<std::string>{in_ + "a.pptx", in_ + "sub/b.ppt", in_ + "sub/notes.txt",
                                        dir_ / "elsewhere/x.pptx", dir_ / "elsewhere/y.ppt"}));
    EXPECT_EQ(batch.SourceFolder, in_);
    {
        ThvBatchLock lock(batch);
        EXPECT_EQ(lock.Nodes()[2]->Refusal, "");
        EXPECT_EQ(lock.Nodes()[3]->Refusal,
                  "Left out: line 5 of the source list is not below the source root \"" + in_ +
                      "\", so its text would have no place below the target folder.");
        EXPECT_NE(lock.Nodes()[4]->Refusal, "");
    }

    // With a root above both, every entry has its place; without sub-folders any place will do.
    project_->Options.SetValue("SourceRoot", dir_.Path());
    ThvBatch rooted;
    EXPECT_EQ(Sources("", &rooted).size(), 5u);
    EXPECT_EQ(rooted.SourceFolder, dir_.Path());
    project_->Options.SetValue("SourceRoot", "");
    project_->Options.SetValue("KeepTargetSubdirs", "False");
    EXPECT_EQ(Sources("").size(), 5u);
}

TEST_F(BatchShareTest, ListSharesAndAMissingList) {
    std::string list;
    for (int i = 0; i < 40; ++i) list += "deck-" + std::to_string(i) + ".pptx\n";
    WriteBytes(dir_ / "list.txt", list);
    project_->Options.SetText("SourceList=" + dir_ / "list.txt\nShards=2\nShard=1\n");
    const std::vector<std::string> second = Sources("");
    project_->Options.SetValue("Shard", "0");
    const std::vector<std::string> first = Sources("");
    EXPECT_EQ(first.size() + second.size(), 40u);
    for (const std::string& source : second)
        EXPECT_EQ(std::find(first.begin(), first.end(), source), first.end());

    project_->Options.SetValue("SourceList", dir_ / "none.txt");
    ThvBatch batch;
    EXPECT_EQ(ErrorOf([&] { batch.Start("", out_, true); }),
              "Cannot open file \"" + dir_ / "none.txt\". No such file or directory");
}

}  // namespace
