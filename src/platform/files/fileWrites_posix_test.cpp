#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <set>
#include <thread>

#include "errorText.h"
#include "platform/files/fileSystem.h"
#include "platform/files/folderEntries.h"
#include "platform/files/paths.h"
#include "tempDir.h"

namespace {

using namespace std::chrono_literals;

class FileWritesTest : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) const { return dir_ / name; }
    std::string Refusal(const std::string& name, const std::string& reason) const {
        return "Cannot create file \"" + Path(name) + "\". " + reason;
    }
    std::set<std::string> Names() const {
        std::set<std::string> names;
        for (const ThvFolderEntry& entry : ReadFolderEntries(dir_.Path())) names.insert(entry.Name);
        return names;
    }
    TempDir dir_;
};

mode_t TypeOf(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return 0;
    return st.st_mode & S_IFMT;
}

struct stat StatOf(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st;
}

// A writer that holds a temporary and is then killed, as a run killed half-way does.
void KilledWriter(const std::string& held, const std::string& companion) {
    const pid_t child = fork();
    if (child == 0) {
        const int fd = open(held.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        flock(fd, LOCK_EX);
        close(open(companion.c_str(), O_WRONLY | O_CREAT, 0644));
        kill(getpid(), SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
}

}  // namespace

TEST_F(FileWritesTest, DevicesAreWrittenIntoAndPipesWithoutReaderRefused) {
    if (geteuid() == 0) {
        // Made like /dev/null: written into, never replaced, by every writer.
        ASSERT_EQ(mknod(Path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
        WriteFileAtomic(Path("null"), "log");
        WriteBytes(Path("mine"), "x");
        RewriteFileAs(Path("mine"), "text", Path("null"));
        WriteBytes(Path("mine"), "x");
        MoveFileOver(Path("mine"), Path("null"));
        EXPECT_EQ(TypeOf(Path("null")), S_IFCHR);
        // A block device (of no driver, so that nothing could be harmed) is refused.
        ASSERT_EQ(mknod(Path("disk").c_str(), S_IFBLK | 0600, makedev(240, 77)), 0);
        EXPECT_EQ(ErrorOf([&] { WriteFileAtomic(Path("disk"), "x"); }),
                  Refusal("disk", "It is a block device, not a regular file"));
        EXPECT_EQ(TypeOf(Path("disk")), S_IFBLK);
    } else {
        std::cout << "[  SKIPPED ] the device node cases: mknod needs root\n";
    }

    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
    EXPECT_EQ(ErrorOf([&] { WriteFileAtomic(Path("fifo"), "x"); }),
              Refusal("fifo", "It is a named pipe that nobody reads"));
    WriteBytes(Path("mine"), "x");
    EXPECT_EQ(ErrorOf([&] { RewriteFileAs(Path("mine"), "text", Path("fifo")); }),
              Refusal("fifo", "It is a named pipe that nobody reads"));
    EXPECT_EQ(TypeOf(Path("fifo")), S_IFIFO);
    // With a reader the pipe gets the bytes.
    const int reader = open(Path("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    WriteFileAtomic(Path("fifo"), "through the pipe");
    char got[64] = {};
    EXPECT_EQ(read(reader, got, sizeof got), 16);
    EXPECT_STREQ(got, "through the pipe");
    // A reader that goes away in the middle fails the write, and the process lives on.
    std::thread goes([&] {
        std::this_thread::sleep_for(50ms);
        close(reader);
    });
    EXPECT_THROW(WriteFileAtomic(Path("fifo"), std::string(1 << 20, 'x')), EhvError);
    goes.join();
    EXPECT_EQ(TypeOf(Path("fifo")), S_IFIFO);

    const int sock = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, Path("sock").c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(ErrorOf([&] { WriteFileAtomic(Path("sock"), "x"); }),
              Refusal("sock", "It is a socket, not a regular file"));
    EXPECT_EQ(TypeOf(Path("sock")), S_IFSOCK);
    close(sock);
    WriteBytes(Path("mine"), "x");
    EXPECT_EQ(ErrorOf([&] { MoveFileOver(Path("mine"), Path("sock")); }),
              Refusal("sock", "It is a socket, not a regular file"));
    EXPECT_FALSE(FileExists(Path("mine"))) << "a failed move removes the caller's file";
}

TEST_F(FileWritesTest, ReplacedFilesKeepModeAndOwnerAndReadOnlyOnesStay) {
    WriteBytes(Path("private"), "old");
    ASSERT_EQ(chmod(Path("private").c_str(), 0600), 0);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(Path("private").c_str(), 1234, 5678), 0);
    }
    WriteFileAtomic(Path("private"), "new");
    EXPECT_EQ(ReadBytes(Path("private")), "new");
    EXPECT_EQ(StatOf(Path("private")).st_mode & 07777, 0600u);
    if (geteuid() == 0) {
        EXPECT_EQ(StatOf(Path("private")).st_uid, 1234u);
        EXPECT_EQ(StatOf(Path("private")).st_gid, 5678u);
    }
    WriteBytes(Path("mine"), "x");
    MoveFileOver(Path("mine"), Path("private"));
    EXPECT_EQ(ReadBytes(Path("private")), "x");
    EXPECT_EQ(StatOf(Path("private")).st_mode & 07777, 0600u);

    ASSERT_EQ(chmod(Path("private").c_str(), 0444), 0);
    WriteBytes(Path("mine"), "y");
    EXPECT_EQ(ErrorOf([&] { MoveFileOver(Path("mine"), Path("private")); }),
              Refusal("private", "The file is read-only"));
    EXPECT_EQ(ReadBytes(Path("private")), "x");
    EXPECT_EQ(Names(), std::set<std::string>{"private"});
}

TEST_F(FileWritesTest, LinksAreFollowedForNamedFilesAndReplacedForOutputs) {
    WriteBytes(Path("real"), "old");
    ASSERT_EQ(chmod(Path("real").c_str(), 0640), 0);
    ASSERT_EQ(symlink("real", Path("link").c_str()), 0);
    WriteFileAtomic(Path("link"), "through the link");
    EXPECT_EQ(TypeOf(Path("link")), S_IFLNK);
    EXPECT_EQ(ReadBytes(Path("real")), "through the link");
    EXPECT_EQ(StatOf(Path("real")).st_mode & 07777, 0640u);

    // An output never leaves its folder through a link: the link itself is replaced.
    WriteBytes(Path("mine"), "output");
    RewriteFileAs(Path("mine"), "output", Path("link"));
    EXPECT_EQ(TypeOf(Path("link")), S_IFREG);
    EXPECT_EQ(ReadBytes(Path("link")), "output");
    EXPECT_EQ(ReadBytes(Path("real")), "through the link");

    ASSERT_EQ(symlink("nowhere", Path("dangling").c_str()), 0);
    WriteFileAtomic(Path("dangling"), "new");
    EXPECT_EQ(TypeOf(Path("dangling")), S_IFREG);
    EXPECT_FALSE(FileExists(Path("nowhere")));

    // What /dev/stdout is: a link through /proc to this process's own output.
    const int out = open(Path("out").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_EQ(symlink(("/proc/self/fd/" + std::to_string(out)).c_str(), Path("stdout").c_str()), 0);
    WriteFileAtomic(Path("stdout"), "to the output");
    close(out);
    EXPECT_EQ(ReadBytes(Path("out")), "to the output");
    EXPECT_EQ(TypeOf(Path("stdout")), S_IFLNK);
}

TEST_F(FileWritesTest, NamesUpToTheFileSystemsLimitAreWritten) {
    const std::string longest(255, 'n');
    WriteFileAtomic(Path(longest), "a");
    WriteFileAtomic(Path(longest), "b");
    EXPECT_EQ(ReadBytes(Path(longest)), "b");
    EXPECT_EQ(Names(), std::set<std::string>{longest});
}

TEST_F(FileWritesTest, StaleTemporariesGoHeldOnesStay) {
    std::string companion;
    {
        ThvTempFile held(dir_.Path(), Path("shown"));
        const std::string name = ExtractFileName(held.Path());
        EXPECT_TRUE(held.Path().starts_with(dir_.Path() + ".quillon-"));
        EXPECT_EQ(name.size(), 25u);
        companion = held.Companion(".rtf");
        EXPECT_EQ(companion, held.Path() + ".0.rtf");
        EXPECT_EQ(held.Companion(".rtf"), held.Path() + ".1.rtf");
        WriteBytes(companion, "in the making");

        KilledWriter(Path(".quillon-00000000000000aa"), Path(".quillon-00000000000000aa.0.rtf"));
        WriteBytes(Path(".quillon-00000000000000bb.rtf"), "its held file is gone");
        for (const char* other : {".quillon-notes", ".quillon-00000000000000AA",
                                  ".quillon-00000000000000cc~", ".quillon-0000"})
            WriteBytes(Path(other), "not a temporary");
        // A held file that is now a pipe is not ours: it stays.
        ASSERT_EQ(mkfifo(Path(".quillon-00000000000000dd").c_str(), 0600), 0);

        RemoveStaleTemporaries(dir_.Path());
        EXPECT_EQ(Names(),
                  (std::set<std::string>{name, ExtractFileName(companion), ".quillon-notes",
                                         ".quillon-00000000000000AA", ".quillon-00000000000000cc~",
                                         ".quillon-0000", ".quillon-00000000000000dd"}));
    }
    // The held file goes with its object; a companion left behind goes with the next sweep.
    EXPECT_FALSE(FileExists(companion.substr(0, companion.size() - 6)));
    EXPECT_TRUE(FileExists(companion));
    RemoveStaleTemporaries(dir_.Path());
    EXPECT_FALSE(FileExists(companion));
    EXPECT_EQ(Names().size(), 5u);
    EXPECT_EQ(ErrorOf([&] { ThvTempFile(Path("missing/"), Path("missing/t.txt")); }),
              Refusal("missing/t.txt", SystemErrorMessage(ENOENT)));
}

TEST_F(FileWritesTest, TheFirstWriteIntoAFolderTidiesIt) {
    ASSERT_TRUE(ForceDirectories(Path("logs")));
    KilledWriter(Path("logs/.quillon-00000000000000aa"), Path("logs/.quillon-00000000000000aa.x"));
    WriteFileAtomic(Path("logs/run.log"), "first");
    EXPECT_EQ(ReadFolderEntries(Path("logs")).size(), 1u);
    // Once per process: later writes do not list the folder again.
    KilledWriter(Path("logs/.quillon-00000000000000bb"), Path("logs/.quillon-00000000000000bb.x"));
    WriteFileAtomic(Path("logs/run.log"), "second");
    EXPECT_EQ(ReadFolderEntries(Path("logs")).size(), 3u);
}

TEST_F(FileWritesTest, IdentityTellsReplacedAndChangedFilesApart) {
    WriteBytes(Path("f"), "first");
    const auto first = GetFileIdentity(Path("f"));
    ASSERT_TRUE(first);
    EXPECT_EQ(GetFileIdentity(Path("f")), first);
    WriteFileAtomic(Path("f"), "first");  // same bytes, another file
    EXPECT_NE(GetFileIdentity(Path("f")), first);
    const auto second = GetFileIdentity(Path("f"));
    WriteBytes(Path("f"), "first, and more");  // the same file, changed
    EXPECT_NE(GetFileIdentity(Path("f")), second);
    EXPECT_EQ(GetFileIdentity(Path("f"))->Index, second->Index);
    EXPECT_FALSE(GetFileIdentity(Path("missing")));

    EXPECT_FALSE(DeleteFile(Path("missing")));
    EXPECT_EQ(LastSystemErrorMessage(), SystemErrorMessage(ENOENT));
}

TEST_F(FileWritesTest, APipeWithoutWriterReadsAsEmpty) {
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
    EXPECT_EQ(ReadFileBytes(Path("fifo"), 100), "");
}
