#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/files/fileSystem.h"
#include "platform/system/shellOpen.h"
#include "tempDir.h"

namespace {

class ShellOpenTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* path = getenv("PATH");
        oldPath_ = path ? path : "";
    }
    void TearDown() override {
        setenv("PATH", oldPath_.c_str(), 1);
        SetShellOpenHandler({});
    }

    TempDir dir_;
    const std::string folder_ = dir_.Path().substr(0, dir_.Path().size() - 1);
    std::string oldPath_;
};

TEST_F(ShellOpenTest, InstalledHandlerTakesOverUntilRemoved) {
    std::vector<std::string> opened;
    ThvShellOpenHandler previous =
        SetShellOpenHandler([&](const std::string& link) { opened.push_back(link); });
    EXPECT_FALSE(previous);
    ShellOpen("https://example.org/a b");
    ShellOpen("/tmp/x.txt");
    EXPECT_EQ(opened, (std::vector<std::string>{"https://example.org/a b", "/tmp/x.txt"}));

    EXPECT_TRUE(SetShellOpenHandler({}));
    // Back to the platform's work, which without any xdg-open quietly does nothing.
    setenv("PATH", folder_.c_str(), 1);
    ShellOpen("/tmp/y.txt");
    EXPECT_EQ(opened.size(), 2u);
}

TEST_F(ShellOpenTest, SpawnsXdgOpenWithTheLinkAsOneArgumentAndNoShell) {
    const std::string result = folder_ + "/args";
    const std::string script =
        "#!/bin/sh\n"
        "in=$(readlink /proc/$$/fd/0); out=$(readlink /proc/$$/fd/1)\n"
        "{ printf '%s\\n' \"$#\" \"$in $out\"; printf '%s' \"$1\"; } > '" +
        result +
        ".tmp'\n"
        "mv '" +
        result + ".tmp' '" + result + "'\n";
    WriteFileAtomic(folder_ + "/xdg-open", script);
    ASSERT_EQ(chmod((folder_ + "/xdg-open").c_str(), 0755), 0);
    setenv("PATH", (folder_ + ":/usr/bin:/bin").c_str(), 1);

    const std::string link = "/tmp/a b/\"q\" 'r' $(touch " + folder_ + "/shell);x`touch " +
                             folder_ + "/tick`\nsecond line & | > <.txt";
    ShellOpen(link);
    for (int i = 0; i < 200 && !FileExists(result); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(FileExists(result)) << "xdg-open stand-in did not run";
    EXPECT_EQ(ReadFileBytes(result, 4096), "1\n/dev/null /dev/null\n" + link);
    EXPECT_FALSE(FileExists(folder_ + "/shell"));
    EXPECT_FALSE(FileExists(folder_ + "/tick"));
}

}  // namespace
