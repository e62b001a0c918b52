#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "fullDisk.h"
#include "platform/files/fileStream.h"
#include "tempDir.h"

namespace {

// Lines from threads of one process and from two processes never mix.
TEST(FileStreamTest, WritersNeverInterleaveLines) {
    TempDir dir;
    const std::string path = dir / "log";
    const auto writeLines = [&](char letter) {
        ThvAppendFile log(path);
        const std::string line = std::string(3000, letter) + "\n";
        for (int i = 0; i < 200; ++i) log.Append(line);
    };
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        writeLines('c');
        _exit(0);
    }
    std::thread a(writeLines, 'a'), b(writeLines, 'b');
    a.join();
    b.join();
    int status = 0;
    waitpid(child, &status, 0);
    const std::string text = ReadBytes(path);
    std::size_t lines = 0, start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        const std::string line = text.substr(start, end - start);
        ASSERT_EQ(line, std::string(3000, line[0]));
        ++lines;
        start = end + 1;
    }
    EXPECT_EQ(lines, 600u);
}

// A line the disk cannot take whole leaves nothing of itself: the log holds only whole lines,
// and the next one, once there is room, follows the last of them.
TEST(FileStreamTest, ALineIsAppendedWholeOrNotAtAll) {
    TempDir dir;
    const std::string path = dir / "log";
    const std::string before = std::string(4000, 'x') + "\n";
    WriteBytes(path, before);
    ThvAppendFile log(path);
    const std::string error =
        ErrorOnAFullDisk([&] { log.Append("{\"record\":\"" + std::string(300, 'y') + "\"}\n"); });
    EXPECT_EQ(error, "Cannot write file \"" + path + "\". File too large");
    EXPECT_EQ(ReadBytes(path), before);
    log.Append("next\n");
    EXPECT_EQ(ReadBytes(path), before + "next\n");
}

}  // namespace
