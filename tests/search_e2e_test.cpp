// Nothing the search meets is passed over in silence: what matches the mask but cannot be
// converted has its own Failure line, and a source that finds nothing says why.

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>

#include <map>

#include "logLines.h"
#include "programTest.h"

namespace {

class SearchTest : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        deck_ = ReadBytes(std::filesystem::path(QUILLON_PUBLIC_CORPUS) /
                          "python-pptx/test_slides.pptx");
        std::filesystem::create_directories(dir / "in");
    }
    void TearDown() override {
        if (!deep_.empty()) RemoveDeepTree(deep_);
    }
    bool HaveCorpus() const { return !deck_.empty(); }
    // Log lines by source path.
    std::map<std::string, LogLine> LogBySource(const std::string& path) {
        std::map<std::string, LogLine> bySource;
        for (const LogLine& line : ReadLog(path)) bySource[line.Source] = line;
        return bySource;
    }
    // Folders of 200-byte names below in/ until the folder's path is 3950 bytes long, so that
    // a 200-byte file name in it and any folder below it are beyond the system's 4096. Made
    // one level at a time: the system takes no such path whole. Answers the deepest folder.
    std::string MakeDeepTree() {
        deep_ = dir / "in/deep";
        std::string path = deep_ + "/";
        int fd = open((dir / "in").c_str(), O_DIRECTORY | O_RDONLY);
        std::string name = "deep";
        while (true) {
            EXPECT_EQ(mkdirat(fd, name.c_str(), 0755), 0);
            const int next = openat(fd, name.c_str(), O_DIRECTORY | O_RDONLY);
            close(fd);
            fd = next;
            if (path.size() >= 3950) break;
            name = std::string(std::min<std::size_t>(200, 3950 - path.size() - 1), 'd');
            path += name + "/";
        }
        const std::string file = std::string(195, 'f') + ".pptx";
        const int out = openat(fd, file.c_str(), O_CREAT | O_WRONLY, 0644);
        EXPECT_EQ(write(out, deck_.data(), deck_.size()), static_cast<ssize_t>(deck_.size()));
        close(out);
        EXPECT_EQ(mkdirat(fd, std::string(200, 'g').c_str(), 0755), 0);
        close(fd);
        return path;
    }
    // Removes a tree whose paths the system cannot take whole, one level at a time.
    static void RemoveDeepTree(const std::string& root) {
        auto removeBelow = [](auto& self, int fd) -> void {
            DIR* folder = fdopendir(dup(fd));
            std::vector<std::pair<std::string, bool>> entries;
            while (dirent* e = readdir(folder)) {
                const std::string name = e->d_name;
                if (name != "." && name != "..") entries.push_back({name, e->d_type == DT_DIR});
            }
            closedir(folder);
            for (const auto& [name, isFolder] : entries) {
                if (isFolder) {
                    const int below = openat(fd, name.c_str(), O_DIRECTORY | O_RDONLY);
                    self(self, below);
                    close(below);
                }
                unlinkat(fd, name.c_str(), isFolder ? AT_REMOVEDIR : 0);
            }
        };
        const int fd = open(root.c_str(), O_DIRECTORY | O_RDONLY);
        if (fd < 0) return;
        removeBelow(removeBelow, fd);
        close(fd);
        rmdir(root.c_str());
    }
    // As root every folder can be read; the program then runs as nobody to meet one that
    // cannot be.
    ProcessResult RunAsUser(const std::string& options,
                            const std::function<void(pid_t)>& duringRun) {
        if (geteuid() != 0) return Run({options}, {}, -1, duringRun);
        std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);
        return RunProcess("/usr/bin/setpriv",
                          {"--reuid=65534", "--regid=65534", "--clear-groups", exe, options}, work,
                          {}, -1, duringRun);
    }

    std::string deck_;
    std::string deep_;
};

}  // namespace

TEST_F(SearchTest, WhatMatchesTheMaskButIsNoFileGetsAFailureLineAndIsNeverOpened) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    const std::string in = dir / "in/";
    WriteBytes(in + "ok.pptx", deck_);
    ASSERT_EQ(mkfifo((in + "pipe.pptx").c_str(), 0666), 0);
    ASSERT_EQ(mkfifo((in + "pipe.txt").c_str(), 0666), 0);  // no match: no line
    std::filesystem::create_symlink(in + "gone", in + "gone.pptx");
    std::filesystem::create_symlink(in + "loop.pptx", in + "loop.pptx");
    std::filesystem::create_symlink(in + "pipe.pptx", in + "to-pipe.pptx");
    const bool devices = geteuid() == 0;
    if (devices) {
        ASSERT_EQ(mknod((in + "null.pptx").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    }
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string sockPath = in + "sock.pptx";
    ASSERT_LT(sockPath.size(), sizeof address.sun_path);
    sockPath.copy(address.sun_path, sockPath.size());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string deepest = MakeDeepTree();
    std::filesystem::create_directories(in + "locked");
    WriteBytes(in + "locked/x.pptx", deck_);
    std::filesystem::permissions(in + "locked", std::filesystem::perms::none);
    std::filesystem::create_directories(dir / "out");
    std::filesystem::permissions(dir / "out", std::filesystem::perms::all);

    // While the program runs, a reader of a pipe shows to a writer that does not wait; the
    // writer's close then ends that read, so a program that opened one does not hang here.
    bool pipeOpened = false;
    auto watchPipes = [&](pid_t pid) {
        for (int i = 0; i < 60000; ++i) {
            siginfo_t ended{};
            if (waitid(P_PID, pid, &ended, WEXITED | WNOHANG | WNOWAIT) == 0 && ended.si_pid)
                return;
            for (const char* name : {"pipe.pptx", "pipe.txt"}) {
                const int writer = open((in + name).c_str(), O_WRONLY | O_NONBLOCK);
                if (writer >= 0) pipeOpened = true, close(writer);
            }
            usleep(1000);
        }
        kill(pid, SIGKILL);
    };
    const std::string options = "-P:Source=" + in + "*.ppt?,Target=" +
                                dir / "out,Subdir=1,PureConsole=1,LogFile=" + dir / "out/run.log";
    const ProcessResult r = RunAsUser(options, watchPipes);
    close(sock);
    std::filesystem::permissions(in + "locked", std::filesystem::perms::owner_all);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(pipeOpened);

    auto log = LogBySource(dir / "out/run.log");
    EXPECT_EQ(log[in + "ok.pptx"].State, "Success");
    const std::map<std::string, std::string> failures = {
        {in + "pipe.pptx", "named pipe"},
        {in + "gone.pptx", "which does not exist"},
        {in + "loop.pptx", "cannot be followed"},
        {in + "to-pipe.pptx", "named pipe"},
        {in + "sock.pptx", "socket"},
        {deepest + std::string(195, 'f') + ".pptx", "too long"},
        {deepest + std::string(200, 'g') + "/", "too long"},
        {in + "locked/", "Permission denied"},
    };
    for (const auto& [source, reason] : failures) {
        SCOPED_TRACE(source.substr(0, 80));
        ASSERT_TRUE(log.count(source)) << r.err;
        EXPECT_EQ(log[source].State, "Failure");
        EXPECT_NE(log[source].Result.find(reason), std::string::npos) << log[source].Result;
    }
    if (devices) {
        EXPECT_NE(log[in + "null.pptx"].Result.find("device"), std::string::npos);
    }
    EXPECT_EQ(log.size(), failures.size() + 1 + (devices ? 1 : 0));
}

TEST_F(SearchTest, ASourceThatFindsNothingSaysWhyWithACorrectedSource) {
    // A folder that does not exist: the nearest one that does, with the mask.
    ProcessResult r = Run({"-P:Source=" + dir / "in/nowhere/*.ppt?,Target=" +
                           dir / "out,PureConsole=1,LogFile=" + dir / "run.log"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find("\"" + dir / "in/nowhere/\" does not exist"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Source=" + dir / "in/*.ppt?"), std::string::npos) << r.err;
    EXPECT_EQ(ReadBytes(dir / "run.log"), "");

    // A folder without a mask, with and without its delimiter.
    for (const std::string& source : {dir / "in", dir / "in/"}) {
        r = Run({"-P:Source=" + source + ",Target=" + dir / "out,PureConsole=1"});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_NE(r.err.find("Source=" + dir / "in/*.ppt?"), std::string::npos) << r.err;
    }
    // One file that is not there, as a folder that is not there.
    r = Run({"-P:Source=" + dir / "in/talk.pptx,Target=" + dir / "out,PureConsole=1"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "Quillon Converter: The source file \"" +
                         dir /
                             "in/talk.pptx\" does not exist, so nothing was found. To search its "
                             "folder: Source=" +
                         dir / "in/*.ppt?\n");
    // A mask that simply matches nothing is no mistake.
    r = Run({"-P:Source=" + dir / "in/*.ppt?,Target=" + dir / "out,PureConsole=1"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
}

TEST_F(SearchTest, AFolderNamedLikeAnAddressIsStillAFolder) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    std::filesystem::create_directories(dir / "http-talks");
    WriteBytes(dir / "http-talks/a.pptx", deck_);
    const ProcessResult r = Run({"-P:Source=" + dir / "http-talks/*.ppt?,Target=" +
                                 dir / "out,PureConsole=1,LogFile=" + dir / "run.log"},
                                noDisplay);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");  // no word of a window
    EXPECT_NE(ReadBytes(dir / "out/a.txt").find("Group test text"), std::string::npos);
}

TEST_F(SearchTest, ANameTheRegExtGivesUpOnIsLeftOutAndLogged) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    // Nested repeats over a long run of word characters: the engine hits its match limit.
    const std::string hard = dir / ("in/" + std::string(40, 'a') + "!.pptx");
    WriteBytes(dir / "in/ok.pptx", deck_);
    WriteBytes(hard, deck_);
    const ProcessResult r = Run(
        {"-P:Source=" + dir / "in/*.ppt?,Target=" +
         dir / "out,PureConsole=1,DeleteSource=1,RegExt=(\\w+\\s?)+$,LogFile=" + dir / "run.log"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(ReadBytes(hard) == deck_);  // neither converted nor deleted
    EXPECT_FALSE(std::filesystem::exists(dir / "in/ok.pptx"));
    EXPECT_NE(r.err.find(hard), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("match limit"), std::string::npos) << r.err;
    auto log = LogBySource(dir / "run.log");
    EXPECT_EQ(log[dir / "in/ok.pptx"].State, "Success");
    EXPECT_EQ(log[hard].State, "Failure");
    EXPECT_NE(log[hard].Result.find("match limit"), std::string::npos) << log[hard].Result;
}
