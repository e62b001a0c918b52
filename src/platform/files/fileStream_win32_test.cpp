#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/files/fileStream.h"
#include "tempDir.h"

namespace {

// Lines of several threads, each with an object of its own (so each with its own lock of the
// file), never mix, and names outside the ANSI page work.
TEST(FileStreamWin32Test, WritersNeverInterleaveLines) {
    TempDir dir;
    const std::string path = dir / "log \xCE\xB1\xCE\xB2.txt";
    const auto writeLines = [&](char letter) {
        ThvAppendFile log(path);
        const std::string line = std::string(3000, letter) + "\n";
        for (int i = 0; i < 200; ++i) log.Append(line);
    };
    std::vector<std::thread> writers;
    for (char letter : {'a', 'b', 'c'}) writers.emplace_back(writeLines, letter);
    for (std::thread& writer : writers) writer.join();
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
    ThvReadFile file(path);
    char buffer[10];
    EXPECT_EQ(file.Read(buffer, sizeof buffer), sizeof buffer);
}

}  // namespace
