// What a run writes and touches: files that are not regular files, read-only and private texts,
// a full disk, sources that change while they are converted, sources that meet at one target,
// the temporaries of killed and of live runs, and sources that could not be deleted or renamed.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>

#include <cstring>
#include <map>
#include <set>
#include <thread>

#include "engine/testing/ooxmlTestPackage.h"
#include "programTest.h"

namespace {

namespace fs = std::filesystem;

// A tmpfs of its own for a test, unmounted at the end; mounting needs root (CI has it).
class ScopedTmpfs {
  public:
    ScopedTmpfs(const std::string& path, std::size_t bytes) : path_(path) {
        fs::create_directories(path);
        mounted_ = mount("tmpfs", path.c_str(), "tmpfs", 0,
                         ("size=" + std::to_string(bytes)).c_str()) == 0;
    }
    ~ScopedTmpfs() {
        if (mounted_) umount2(path_.c_str(), MNT_DETACH);
    }
    ScopedTmpfs(const ScopedTmpfs&) = delete;
    ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;

    bool Mounted() const { return mounted_; }
    bool RemountReadOnly() {
        return mount(nullptr, path_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

  private:
    std::string path_;
    bool mounted_ = false;
};

// Writes into path until the file system is full.
void FillUp(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    const std::string block(65536, 'f');
    for (std::size_t size = block.size(); size > 0; size /= 2)
        while (write(fd, block.data(), size) == static_cast<ssize_t>(size)) {
        }
    close(fd);
}

// A presentation with much text: slides of many paragraphs.
std::string WordyDeck(int slides, int paragraphs) {
    TPresentationBuilder deck;
    for (int s = 0; s < slides; ++s) {
        std::string body;
        for (int p = 0; p < paragraphs; ++p)
            body += Para("Line " + std::to_string(p) + " of slide " + std::to_string(s) +
                         ": enough words to make the outline of this slide long");
        deck.Slide(
            SlideXml(Shape("title", Para("Slide " + std::to_string(s))) + Shape("body-ph", body)));
    }
    return deck.Bytes();
}

mode_t TypeOf(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return 0;
    return st.st_mode & S_IFMT;
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

// Hidden files below folder, by path relative to it.
std::set<std::string> HiddenFiles(const std::string& folder) {
    std::set<std::string> hidden;
    if (!fs::exists(folder)) return hidden;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.path().filename().string().starts_with("."))
            hidden.insert(fs::relative(e.path(), folder).string());
    return hidden;
}

class WritesTest : public ProgramTest {
  protected:
    // Copies a file of the public corpus (or a sample) to dir/as; false when it is not there.
    bool Put(const std::string& from, const std::string& as) {
        if (!fs::exists(from)) return false;
        fs::create_directories(fs::path(dir / as).parent_path());
        fs::copy_file(from, dir / as, fs::copy_options::overwrite_existing);
        return true;
    }
    bool PutDeck(const std::string& as) {
        return Put(std::string(QUILLON_PUBLIC_CORPUS) + "/python-pptx/test_slides.pptx", as);
    }
    std::string Options(const std::string& extra = "", const std::string& log = "") {
        return "-P:Source=" + dir / "in/*.ppt?,Target=" + dir / "out,PureConsole=1,LogFile=" +
               (log.empty() ? dir / "run.log" : log) + extra;
    }
    // The log's lines, each split at " => ", by the source's path below dir/in/.
    std::map<std::string, std::vector<std::string>> Log(const std::string& path = "") {
        std::map<std::string, std::vector<std::string>> bySource;
        const std::string text = ReadBytes(path.empty() ? dir / "run.log" : path);
        for (std::size_t pos = 0, end; (end = text.find("\r\n", pos)) != std::string::npos;
             pos = end + 2) {
            std::vector<std::string> fields;
            const std::string line = text.substr(pos, end - pos);
            for (std::size_t at = 0, next;; at = next + 4) {
                next = line.find(" => ", at);
                fields.push_back(line.substr(at, next - at));
                if (next == std::string::npos) break;
            }
            if (fields.size() < 3 || !fields[1].starts_with(dir / "in/")) {
                ADD_FAILURE() << "not a log line of this run: " << line;
                continue;
            }
            bySource[fields[1].substr((dir / "in/").size())] = fields;
        }
        return bySource;
    }
    std::vector<std::string> Fields(const std::string& state, const std::string& source,
                                    const std::string& result) {
        return {state, dir / ("in/" + source), result};
    }
};

}  // namespace

TEST_F(WritesTest, LogsGoIntoDevicesAndPipesWhichStayWhatTheyAre) {
    if (!PutDeck("in/a.pptx")) GTEST_SKIP() << "no corpus";
    const std::string line = "Success => " + dir / "in/a.pptx => " + dir / "out/a.txt\r\n";

    // Standard output through a link of the test's own: the link stays, the log arrives.
    ASSERT_EQ(symlink("/proc/self/fd/1", (dir / "stdout").c_str()), 0);
    ProcessResult r = Run({Options("", dir / "stdout")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(r.out, line);
    ASSERT_EQ(TypeOf(dir / "stdout"), S_IFLNK);

    if (geteuid() == 0) {
        // A null device of the test's own, made like /dev/null.
        ASSERT_EQ(mknod((dir / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
        r = Run({Options("", dir / "null")});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        ASSERT_EQ(TypeOf(dir / "null"), S_IFCHR) << "the device was replaced";
    } else {
        std::cout << "[  SKIPPED ] the device node part: mknod needs root\n";
    }

    // A pipe nobody reads and a socket are refused, and stay.
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    r = Run({Options("", dir / "fifo")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Application Error: Cannot create file \"" + dir / "fifo" +
                         "\". It is a named pipe that nobody reads\n");
    ASSERT_EQ(TypeOf(dir / "fifo"), S_IFIFO);
    const int sock = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, (dir / "sock").c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    r = Run({Options("", dir / "sock")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("It is a socket, not a regular file"), std::string::npos) << r.err;
    ASSERT_EQ(TypeOf(dir / "sock"), S_IFSOCK);
    close(sock);

    // The usage store beside the program: a pipe there is neither waited for nor replaced.
    fs::remove(dir / "quillon.ext");
    ASSERT_EQ(mkfifo((dir / "quillon.ext").c_str(), 0600), 0);
    r = Run({Options()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(TypeOf(dir / "quillon.ext"), S_IFIFO);

    // The system's own.
    r = Run({Options("", "/dev/null")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(TypeOf("/dev/null"), S_IFCHR);
    r = Run({Options("", "/dev/stdout")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, line);
    EXPECT_EQ(TypeOf("/dev/stdout"), S_IFLNK);
    // Standard output a pipe, as in a shell pipeline.
    r = RunProcess("/bin/sh", {"-c", "\"$0\" \"$1\" | cat", exe, Options("", "/dev/stdout")}, work);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, line);
    EXPECT_EQ(HiddenFiles(dir.Path()), std::set<std::string>{}) << "no temporary left";
}

TEST_F(WritesTest, TextsGoIntoDevicesWhichStayWhatTheyAre) {
    if (geteuid() != 0) GTEST_SKIP() << "mknod needs root";
    if (!PutDeck("in/a.pptx") || !PutDeck("in/b.pptx")) GTEST_SKIP() << "no corpus";
    fs::create_directories(dir / "out");
    ASSERT_EQ(mknod((dir / "out/a.txt").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    ASSERT_EQ(mkfifo((dir / "out/b.txt").c_str(), 0600), 0);
    const ProcessResult r = Run({Options()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto log = Log();
    EXPECT_EQ(log.at("a.pptx"), Fields("Success", "a.pptx", dir / "out/a.txt"));
    EXPECT_EQ(log.at("b.pptx"), Fields("Failure", "b.pptx",
                                       "Cannot create file \"" + dir / "out/b.txt" +
                                           "\". It is a named pipe that nobody reads"));
    EXPECT_EQ(TypeOf(dir / "out/a.txt"), S_IFCHR);
    EXPECT_EQ(TypeOf(dir / "out/b.txt"), S_IFIFO);
    EXPECT_EQ(HiddenFiles(dir / "out"), std::set<std::string>{});
}

TEST_F(WritesTest, ReadOnlyTextsStayAndReplacedTextsKeepTheirMode) {
    if (!PutDeck("in/locked.pptx") || !PutDeck("in/private.pptx")) GTEST_SKIP() << "no corpus";
    fs::create_directories(dir / "out");
    WriteBytes(dir / "out/locked.txt", "older text");
    ASSERT_EQ(chmod((dir / "out/locked.txt").c_str(), 0444), 0);
    WriteBytes(dir / "out/private.txt", "older text");
    ASSERT_EQ(chmod((dir / "out/private.txt").c_str(), 0600), 0);
    const ProcessResult r = Run({Options(",DeleteSource=1")});
    EXPECT_EQ(r.exitCode, 0) << r.err;

    const auto log = Log();
    ASSERT_EQ(log.at("locked.pptx").size(), 3u);
    EXPECT_EQ(log.at("locked.pptx")[0], "Failure");
    EXPECT_TRUE(log.at("locked.pptx")[2].ends_with("is read-only")) << log.at("locked.pptx")[2];
    EXPECT_NE(log.at("locked.pptx")[2].find(dir / "out/locked.txt"), std::string::npos);
    EXPECT_EQ(ReadBytes(dir / "out/locked.txt"), "older text");
    EXPECT_EQ(ModeOf(dir / "out/locked.txt"), 0444u);
    EXPECT_TRUE(fs::exists(dir / "in/locked.pptx")) << "a failed file's source is kept";

    EXPECT_EQ(log.at("private.pptx"), Fields("Success", "private.pptx", dir / "out/private.txt"));
    EXPECT_NE(ReadBytes(dir / "out/private.txt").find("Group test text"), std::string::npos);
    EXPECT_EQ(ModeOf(dir / "out/private.txt"), 0600u);
}

TEST_F(WritesTest, OnAFullDiskTheOldTextStays) {
    ScopedTmpfs disk(dir / "disk", 512 * 1024);
    if (!disk.Mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root): " << strerror(errno);
    fs::create_directories(dir / "in");
    WriteBytes(dir / "in/wordy.pptx", WordyDeck(20, 200));  // about 1.4 MB of outline
    fs::create_directories(dir / "disk/out");
    WriteBytes(dir / "disk/out/wordy.txt", "older text");
    FillUp(dir / "disk/filler");

    const ProcessResult r = Run({"-P:Source=" + dir / "in/*.ppt?,Target=" +
                                 dir / "disk/out,PureConsole=1,LogFile=" + dir / "run.log"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto log = Log();
    EXPECT_EQ(log.at("wordy.pptx"), Fields("Failure", "wordy.pptx",
                                           "Cannot create file \"" + dir / "disk/out/wordy.txt" +
                                               "\". No space left on device"));
    EXPECT_EQ(ReadBytes(dir / "disk/out/wordy.txt"), "older text");
    EXPECT_EQ(HiddenFiles(dir / "disk"), std::set<std::string>{}) << "no temporary left";
}

// A JSON log on a disk that fills up: the record that does not fit leaves nothing of itself,
// standard error names its file, and the run ends in the log's error as before.
TEST_F(WritesTest, AJsonLogRecordIsWrittenWholeOrNotAtAll) {
    ScopedTmpfs disk(dir / "disk", 256 * 1024);
    if (!disk.Mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root): " << strerror(errno);
    if (!PutDeck("in/a.pptx")) GTEST_SKIP() << "no corpus";
    // An earlier attempt's record that ends 40 bytes before a page does: the next one fits in
    // part only.
    const std::string earlier = "{\"source\":\"" + std::string(4096 - 40 - 14, 'e') + "\"}\n";
    const std::string jsonLog = dir / "disk/run.jsonl";
    WriteBytes(jsonLog, earlier);
    FillUp(dir / "disk/filler");

    ProcessResult r = Run({Options(",JsonLog=" + jsonLog)});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("the record of \"" + dir / "in/a.pptx" + "\" is not in the JSON log: " +
                         "Cannot write file \"" + jsonLog + "\". No space left on device"),
              std::string::npos)
        << r.err;
    const std::string kept = ReadBytes(jsonLog);
    EXPECT_TRUE(kept == earlier) << "the log holds " << kept.size() << " bytes:\n"
                                 << kept.substr(std::min(kept.size(), earlier.size()));
    EXPECT_EQ(Log().at("a.pptx"), Fields("Success", "a.pptx", dir / "out/a.txt"));

    // With room again, the next record follows the last whole one.
    fs::remove(dir / "disk/filler");
    r = Run({Options(",JsonLog=" + jsonLog)});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string text = ReadBytes(jsonLog);
    ASSERT_TRUE(text.starts_with(earlier));
    EXPECT_TRUE(text.substr(earlier.size()).starts_with("{\"source\":\"" + dir / "in/a.pptx"))
        << text.substr(earlier.size());
}

TEST_F(WritesTest, ASourceReplacedWhileItIsConvertedIsLeftAlone) {
    fs::create_directories(dir / "in");
    // Large enough that its conversion outlasts the test's reaction to its opening by far.
    const std::string slow = WordyDeck(200, 100);
    const std::string replacement = "a file the user put in the presentation's place";
    const std::vector<std::string> leftAlone = {
        "Success", dir / "in/slow.pptx", dir / "out/slow.txt",
        "source left as it is: it was replaced or changed while it was converted"};
    // A round where the test came too late (the conversion was over before the file was
    // replaced) proves nothing either way and is tried again.
    for (int round = 0; round < 5; ++round) {
        WriteBytes(dir / "in/slow.pptx", slow);
        WriteBytes(dir / "replacement", replacement);
        const int watch = inotify_init1(IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(inotify_add_watch(watch, (dir / "in/slow.pptx").c_str(), IN_OPEN), 0);
        std::thread replacer([&] {
            char event[4096];
            if (read(watch, event, sizeof event) > 0)
                rename((dir / "replacement").c_str(), (dir / "in/slow.pptx").c_str());
        });
        const ProcessResult r = Run({Options(",DeleteSource=1,KeepFileTime=1")});
        replacer.join();
        close(watch);
        EXPECT_EQ(r.exitCode, 0) << r.err;

        ASSERT_EQ(ReadBytes(dir / "in/slow.pptx"), replacement) << "the user's file is gone";
        EXPECT_NE(ReadBytes(dir / "out/slow.txt").find("Line 99 of slide 199"), std::string::npos);
        const auto log = Log();
        if (log.at("slow.pptx").size() == 3) continue;  // too late
        EXPECT_EQ(log.at("slow.pptx"), leftAlone);
        return;
    }
    FAIL() << "the file was never replaced in time";
}

TEST_F(WritesTest, SourcesMeetingAtOneTargetNeverLoseAText) {
    if (!PutDeck("in/a.pptx") || !Put(QUILLON_SAMPLES "/product-launch.ppt", "in/a.ppt"))
        GTEST_SKIP() << "no corpus";
    const std::string pptText = [&] {
        Run({"-P:Source=" + dir / "in/a.ppt,Target=" + dir / "ref,PureConsole=1"});
        return ReadBytes(dir / "ref/a.txt");
    }();
    ASSERT_FALSE(pptText.empty());
    std::string keep = ReadBytes(dir / "in/a.pptx");
    const std::string wordy = WordyDeck(40, 40);  // slow, so that a second converter is ahead

    for (const char* threads : {"1", "2", "2", "2"}) {
        SCOPED_TRACE(std::string("ThreadsCount ") + threads);
        // a.ppt comes first in the batch; overwriting is the default.
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "in");
        Put(QUILLON_SAMPLES "/product-launch.ppt", "in/a.ppt");
        WriteBytes(dir / "in/a.pptx", keep);
        ProcessResult r = Run({Options(",DeleteSource=1,ThreadsCount=" + std::string(threads))});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        auto log = Log();
        EXPECT_EQ(log.at("a.ppt"), Fields("Success", "a.ppt", dir / "out/a.txt"));
        EXPECT_EQ(log.at("a.pptx"),
                  Fields("Failure", "a.pptx",
                         "\"" + dir / "out/a.txt" + "\" would replace the text of \"" +
                             dir / "in/a.ppt" + "\" converted in this run"));
        EXPECT_EQ(ReadBytes(dir / "out/a.txt"), pptText);
        EXPECT_FALSE(fs::exists(dir / "in/a.ppt"));
        EXPECT_EQ(ReadBytes(dir / "in/a.pptx"), keep) << "the source of the refused file is kept";

        // Two folders flattened into one: x/r.pptx comes first and is the slow one.
        fs::remove_all(dir / "in");
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "in/x");
        WriteBytes(dir / "in/x/r.pptx", wordy);
        PutDeck("in/y/r.pptx");
        const std::string flat =
            ",Subdir=1,KeepTargetSubdirs=0,RenameSource=.done,ThreadsCount=" + std::string(threads);
        r = Run({Options(flat + ",IsOverwrite=False")});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        log = Log();
        EXPECT_EQ(log.at("x/r.pptx"), Fields("Success", "x/r.pptx", dir / "out/r.txt"));
        EXPECT_EQ(log.at("y/r.pptx"), Fields("Success", "y/r.pptx", dir / "out/-quillon-r.txt"));
        EXPECT_NE(ReadBytes(dir / "out/r.txt").find("Line 39 of slide 39"), std::string::npos);
        EXPECT_NE(ReadBytes(dir / "out/-quillon-r.txt").find("Group test text"), std::string::npos);

        fs::remove_all(dir / "out");
        fs::rename(dir / "in/x/r.pptx.done", dir / "in/x/r.pptx");
        fs::rename(dir / "in/y/r.pptx.done", dir / "in/y/r.pptx");
        r = Run({Options(flat + ",IsOverwrite=skip")});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        log = Log();
        EXPECT_EQ(log.at("x/r.pptx"), Fields("Success", "x/r.pptx", dir / "out/r.txt"));
        EXPECT_EQ(log.at("y/r.pptx"), Fields("Success", "y/r.pptx", ""));
        EXPECT_TRUE(fs::exists(dir / "in/y/r.pptx")) << "a skipped file's source is kept";
        EXPECT_NE(ReadBytes(dir / "out/r.txt").find("Line 39 of slide 39"), std::string::npos);
        EXPECT_FALSE(fs::exists(dir / "out/-quillon-r.txt"));
        fs::remove_all(dir / "in");
    }
}

// Rerun after rerun with new names: each adds a file of its own, and a text the user edited
// under an earlier new name stays as the user left it.
TEST_F(WritesTest, EveryRunWithNewNamesWritesANewFile) {
    if (!PutDeck("in/a.pptx")) GTEST_SKIP() << "no corpus";
    const std::string options = Options(",IsOverwrite=0");
    std::vector<std::string> written;
    for (int run = 1; run <= 5; ++run) {
        const ProcessResult r = Run({options});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const auto log = Log();
        ASSERT_EQ(log.at("a.pptx").at(0), "Success");
        written.push_back(log.at("a.pptx").at(2));
        if (run == 2) WriteBytes(written.back(), "my notes");
    }
    EXPECT_EQ(written,
              (std::vector<std::string>{
                  dir / "out/a.txt", dir / "out/-quillon-a.txt", dir / "out/-quillon-a (2).txt",
                  dir / "out/-quillon-a (3).txt", dir / "out/-quillon-a (4).txt"}));
    EXPECT_EQ(ReadBytes(dir / "out/-quillon-a.txt"), "my notes");
    for (const std::string& text : written) EXPECT_TRUE(fs::is_regular_file(text)) << text;
}

TEST_F(WritesTest, TemporariesOfDeadRunsGoThoseOfLiveOnesStay) {
    if (!PutDeck("in/a.pptx") || !PutDeck("in/sub/b.pptx")) GTEST_SKIP() << "no corpus";
    fs::create_directories(dir / "out/sub");
    // Left by runs that were killed: a writer's held file with what it made, and what a writer
    // made after its held file was gone.
    for (const char* name :
         {"out/.quillon-0123456789abcdef", "out/.quillon-0123456789abcdef.rtf",
          "out/.quillon-fedcba9876543210.rtf", "out/sub/.quillon-00000000000000ff",
          ".quillon-00000000000000ee"})  // beside the log and the usage store
        WriteBytes(dir / name, "left behind");
    // A run still alive (this test) holds its files.
    WriteBytes(dir / "out/.quillon-1111222233334444", "");
    WriteBytes(dir / "out/.quillon-1111222233334444.rtf", "in the making");
    const int held = open((dir / "out/.quillon-1111222233334444").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    WriteBytes(dir / "out/.quillon-notes", "the user's own");

    const ProcessResult r = Run({Options(",Subdir=1")});
    close(held);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Log().at("sub/b.pptx")[0], "Success");
    EXPECT_EQ(HiddenFiles(dir / "out"),
              (std::set<std::string>{".quillon-1111222233334444", ".quillon-1111222233334444.rtf",
                                     ".quillon-notes"}));
    EXPECT_FALSE(fs::exists(dir / ".quillon-00000000000000ee"));
}

TEST_F(WritesTest, NamesAsLongAsTheFileSystemAllowsConvert) {
    const std::string name = std::string(250, 'n') + ".pptx";  // 255 bytes
    if (!PutDeck("in/" + name)) GTEST_SKIP() << "no corpus";
    const ProcessResult r = Run({Options()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Log().at(name),
              Fields("Success", name, dir / ("out/" + std::string(250, 'n') + ".txt")));
}

TEST_F(WritesTest, TwoRunsAtOnceOverOneTargetFolder) {
    for (int i = 0; i < 100; ++i)
        if (!PutDeck("in/deck" + std::to_string(i) + ".pptx")) GTEST_SKIP() << "no corpus";
    ProcessResult first, second;
    std::thread other([&] { second = Run({Options(",ThreadsCount=2", dir / "second.log")}); });
    first = Run({Options(",ThreadsCount=2")});
    other.join();
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(second.exitCode, 0) << second.err;
    for (const std::string& logFile : {dir / "run.log", dir / "second.log"}) {
        const auto log = Log(logFile);
        EXPECT_EQ(log.size(), 100u);
        for (const auto& [source, fields] : log) EXPECT_EQ(fields[0], "Success") << fields[2];
    }
    for (int i = 0; i < 100; ++i) {
        const std::string text = ReadBytes(dir / ("out/deck" + std::to_string(i) + ".txt"));
        EXPECT_NE(text.find("Cell text 2"), std::string::npos) << i;
    }
    EXPECT_EQ(HiddenFiles(dir / "out"), std::set<std::string>{});
}

TEST_F(WritesTest, SourcesThatCouldNotBeDeletedOrRenamedAreMarkedInTheLog) {
    if (!PutDeck("in/a.pptx")) GTEST_SKIP() << "no corpus";
    WriteBytes(dir / "in/a.pptx.done", "an older source of that name");
    ProcessResult r = Run({Options(",RenameSource=.done")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Log().at("a.pptx"),
              (std::vector<std::string>{"Success", dir / "in/a.pptx", dir / "out/a.txt",
                                        "source not renamed: File exists"}));
    EXPECT_EQ(ReadBytes(dir / "in/a.pptx.done"), "an older source of that name");
    EXPECT_TRUE(fs::exists(dir / "in/a.pptx"));

    // A source on a read-only file system cannot be deleted.
    fs::remove_all(dir / "in");
    ScopedTmpfs disk(dir / "in", 1 << 20);
    if (!disk.Mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root): " << strerror(errno);
    PutDeck("in/b.pptx");
    ASSERT_TRUE(disk.RemountReadOnly()) << strerror(errno);
    r = Run({Options(",DeleteSource=1")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Log().at("b.pptx"),
              (std::vector<std::string>{"Success", dir / "in/b.pptx", dir / "out/b.txt",
                                        "source not deleted: Read-only file system"}));
}
