#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/system/shellOpen.h"

namespace {

TEST(ShellOpenWin32Test, InstalledHandlerTakesOverUntilRemoved) {
    std::vector<std::string> opened;
    EXPECT_FALSE(SetShellOpenHandler([&](const std::string& link) { opened.push_back(link); }));
    ShellOpen("https://example.org/a b?x=\"y\"");
    ShellOpen("C:\\in\\caf\xC3\xA9.txt");
    EXPECT_EQ(opened, (std::vector<std::string>{"https://example.org/a b?x=\"y\"",
                                                "C:\\in\\caf\xC3\xA9.txt"}));
    EXPECT_TRUE(SetShellOpenHandler({}));
    // The shell's own work: a missing file opens nothing, says nothing and returns.
    ShellOpen("C:\\no such folder\\no such file.quillon-none");
    EXPECT_EQ(opened.size(), 2u);
}

}  // namespace
