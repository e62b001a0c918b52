#include "platform/files/fileStream.h"

#include <gtest/gtest.h>

#include <string>

#include "errorText.h"
#include "platform/base/hvError.h"
#include "tempDir.h"

namespace {

TEST(FileStreamTest, ReadsInPiecesToTheEnd) {
    TempDir dir;
    std::string bytes;
    for (int i = 0; i < 10000; ++i) bytes += static_cast<char>(i % 251);
    WriteBytes(dir / "f", bytes);
    ThvReadFile file(dir / "f");
    std::string read;
    char buffer[777];
    while (std::size_t got = file.Read(buffer, sizeof buffer)) read.append(buffer, got);
    EXPECT_EQ(read, bytes);
    EXPECT_EQ(ErrorOf([&] { ThvReadFile(dir / "missing"); }),
              "Cannot open file \"" + dir / "missing" + "\". No such file or directory");
    EXPECT_EQ(ErrorOf([&] { ThvReadFile{dir.Path()}; }),
              "Cannot open file \"" + dir.Path() + "\". Is a directory");
}

// A second writer keeps what the first wrote, and a line that a killed writer left without its
// break does not swallow the next one.
TEST(FileStreamTest, AppendKeepsWhatIsThereAndEndsAnOpenLine) {
    TempDir dir;
    {
        ThvAppendFile log(dir / "log");
        log.Append("one\n");
    }
    {
        ThvAppendFile log(dir / "log");
        log.Append("two\n");
    }
    EXPECT_EQ(ReadBytes(dir / "log"), "one\ntwo\n");
    WriteBytes(dir / "cut", "{\"half");
    ThvAppendFile(dir / "cut").Append("next\n");
    EXPECT_EQ(ReadBytes(dir / "cut"), "{\"half\nnext\n");
    WriteBytes(dir / "empty", "");
    ThvAppendFile(dir / "empty").Append("x\n");
    EXPECT_EQ(ReadBytes(dir / "empty"), "x\n");
    EXPECT_THROW(ThvAppendFile(dir / "no/log"), EhvError);
    EXPECT_THROW(ThvAppendFile(dir.Path()), EhvError);
}

}  // namespace
