#include "discovery/hvShard.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Sources that become one text file get one key; the key has "/" between folders everywhere.
TEST(ShardTest, KeyIsTheTargetWithoutItsExtension) {
    EXPECT_EQ(ShardKey("sub/talk.pptx", '/'), "sub/talk");
    EXPECT_EQ(ShardKey("sub/talk.ppt", '/'), ShardKey("sub/talk.pptm", '/'));
    EXPECT_EQ(ShardKey("sub.d/talk", '/'), "sub.d/talk");  // a dot in a folder is no extension
    EXPECT_EQ(ShardKey("a.b.pptx", '/'), "a.b");
    EXPECT_NE(ShardKey("Talk.pptx", '/'), ShardKey("talk.pptx", '/'));
    EXPECT_EQ(ShardKey("Sub\\Talk.pptx", '\\'), "sub/talk");  // Windows names ignore case
}

// Values a driver computes with int.from_bytes(hashlib.sha256(key).digest()[:8], "big").
TEST(ShardTest, HashIsTheBigEndianHeadOfSha256) {
    EXPECT_EQ(ShardHash("talk"), 0xce7611e7481e75f0u);
    EXPECT_EQ(ShardHash("sub/talk"), 0xd063a2f4c92ee133u);
    EXPECT_EQ(ShardHash(""), 0xe3b0c44298fc1c14u);
    EXPECT_EQ(ShardHash("caf\xC3\xA9"), 0x850f7dc43910ff89u);
    EXPECT_EQ(ShardOf("sub/talk", 4), 3);
    EXPECT_EQ(ShardOf("caf\xC3\xA9", 7), 6);
    EXPECT_EQ(ShardOf("talk", 1), 0);
    EXPECT_EQ(ShardOf("talk", 0), 0);
}

// Names that differ only in their last characters, as numbered files do, still spread evenly;
// a hash whose low bits follow the last byte would put them in a few shares.
TEST(ShardTest, NumberedNamesSpreadEvenly) {
    for (int32_t shards : {4, 16, 100}) {
        std::vector<int> counts(static_cast<std::size_t>(shards));
        const int files = 200 * shards;
        for (int i = 0; i < files; ++i)
            ++counts[static_cast<std::size_t>(
                ShardOf("scans/2024/deck-" + std::to_string(i), shards))];
        for (int count : counts) {
            EXPECT_GT(count, 200 * 6 / 10) << shards << " shards";
            EXPECT_LT(count, 200 * 14 / 10) << shards << " shards";
        }
    }
}

}  // namespace
