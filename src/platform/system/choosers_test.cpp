#include "platform/system/choosers.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/files/paths.h"
#include "scopedChoosers.h"

namespace {

// The platform's form of a path written with "/".
std::string P(std::string path) {
    std::replace(path.begin(), path.end(), '/', PathDelim);
    return path;
}

}  // namespace

TEST(Choosers, NothingInstalledMeansCancelled) {
    ScopedChoosers none{{}};
    std::string path = "/in/a.pptx";
    EXPECT_FALSE(SelectFolder(path));
    EXPECT_FALSE(SelectOpenFile("All|*", path, false));
    EXPECT_FALSE(SelectSaveFile("All|*", ".x", path));
    EXPECT_EQ(path, "/in/a.pptx");
}

TEST(Choosers, OpenProposesMaskWithStarsAndStartsInFolder) {
    ThvOpenFileRequest seen;
    ThvChoosers c;
    c.OpenFile = [&](const ThvOpenFileRequest& r) -> std::optional<std::vector<std::string>> {
        seen = r;
        return std::vector<std::string>{P("/in/a.ppt"), P("/in/b b.pptx")};
    };
    ScopedChoosers scoped{c};

    std::string path = P("/in/*.ppt?");
    ASSERT_TRUE(SelectOpenFile("P|*.ppt", path, true));
    EXPECT_EQ(seen.FileName, P("/in/*.ppt*"));
    EXPECT_EQ(seen.InitialDir, P("/in/"));
    EXPECT_TRUE(seen.Multiple);
    EXPECT_EQ(path, P("/in/a.ppt\r\n/in/b b.pptx\r\n"));

    path = P("/in/*.ppt?");
    ASSERT_TRUE(SelectOpenFile("P|*.ppt", path, false));
    EXPECT_EQ(path, P("/in/a.ppt"));
}

TEST(Choosers, CancelKeepsPath) {
    ThvChoosers c;
    c.Folder = [](const std::string&) { return std::nullopt; };
    c.OpenFile = [](const ThvOpenFileRequest&) { return std::nullopt; };
    c.SaveFile = [](const ThvSaveFileRequest&) { return std::nullopt; };
    ScopedChoosers scoped{c};
    std::string path = P("/in/");
    EXPECT_FALSE(SelectFolder(path));
    EXPECT_FALSE(SelectOpenFile("", path, false));
    EXPECT_FALSE(SelectSaveFile("", "", path));
    EXPECT_EQ(path, P("/in/"));
}

TEST(Choosers, SaveProposesPathUnchanged) {
    ThvSaveFileRequest seen;
    ThvChoosers c;
    c.SaveFile = [&](const ThvSaveFileRequest& r) -> std::optional<std::string> {
        seen = r;
        return P("/p/new.batch-quillon");
    };
    c.Folder = [](const std::string& start) -> std::optional<std::string> { return start + "sub"; };
    ScopedChoosers scoped{c};
    std::string path = P("/p/old?.batch-quillon");
    ASSERT_TRUE(SelectSaveFile("Q|*.batch-quillon", ".batch-quillon", path));
    EXPECT_EQ(seen.FileName, P("/p/old?.batch-quillon"));
    EXPECT_EQ(seen.InitialDir, P("/p/"));
    EXPECT_EQ(seen.DefaultExt, ".batch-quillon");
    EXPECT_EQ(path, P("/p/new.batch-quillon"));

    std::string folder = P("/data/");
    EXPECT_TRUE(SelectFolder(folder));
    EXPECT_EQ(folder, P("/data/sub"));
}
