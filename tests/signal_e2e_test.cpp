// SIGTERM and SIGINT stop an unattended run the way Stop does in the window: every converter
// finishes its file, the log is written, and the program ends by itself with 128 + the signal's
// number; a second signal ends it at once.

#include <algorithm>
#include <chrono>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "engine/testing/ooxmlCryptoTestWriter.h"
#include "engine/testing/ooxmlTestPackage.h"
#include "logLines.h"
#include "namedPipe.h"
#include "programTest.h"

namespace {

using namespace std::chrono_literals;

class SignalTest : public ProgramTest {
  protected:
    // Enough for a run to last a while on a fast machine: the signals must find it converting.
    static constexpr int kFiles = 480;

    bool HaveCorpus() const {
        return std::filesystem::exists(std::filesystem::path(QUILLON_PUBLIC_CORPUS) /
                                       "python-pptx");
    }
    // Real decks of two kinds, a third of them in a sub-folder; their bytes by relative path.
    std::map<std::string, std::string> MakeSources(const std::string& folder) {
        std::filesystem::create_directories(folder + "/sub");
        const std::filesystem::path corpus = QUILLON_PUBLIC_CORPUS;
        const std::string decks[] = {ReadBytes(corpus / "python-pptx/test_slides.pptx"),
                                     ReadBytes(corpus / "python-pptx/txt-text.pptx")};
        std::map<std::string, std::string> sources;
        for (int i = 0; i < kFiles; ++i) {
            const std::string name =
                (i % 3 ? "" : "sub/") + std::string("deck") + std::to_string(i) + ".pptx";
            WriteBytes(folder + "/" + name, decks[i % 2]);
            sources[name] = decks[i % 2];
        }
        return sources;
    }
    std::string Options(const std::string& in, const std::string& out, const std::string& extra) {
        return "-P:Source=" + in + "/*.ppt?,Target=" + out +
               ",Subdir=True,PureConsole=1,ThreadsCount=2,LogFile=" + in + ".log" + extra;
    }
    // Whether ready() came true, looked at every millisecond; false after 60 s.
    template <typename Ready>
    static bool WaitFor(Ready ready) {
        for (int i = 0; i < 60000; ++i) {
            if (ready()) return true;
            std::this_thread::sleep_for(1ms);
        }
        return false;
    }
    // The run has made its target folder, which it does after it took charge of the stop
    // signals.
    static bool WaitForTarget(const std::string& out) {
        return WaitFor([&] { return std::filesystem::exists(out); });
    }
    // The run has put its first text in place (a name ending in ".txt": texts come into place
    // by renaming, whole), so a signal now comes while it converts.
    static bool WaitForFirstText(const std::string& out) {
        return WaitFor([&] {
            std::error_code error;
            for (std::filesystem::recursive_directory_iterator it(out, error), end;
                 !error && it != end; it.increment(error)) {
                if (it->path().extension() == ".txt") return true;
            }
            return false;
        });
    }
    // The process has the file open, so its converter has it in hand.
    static bool WaitForOpen(pid_t pid, const std::string& file) {
        const std::filesystem::path wanted = std::filesystem::canonical(file);
        const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
        return WaitFor([&] {
            std::error_code error;
            for (std::filesystem::directory_iterator it(fds, error), end; !error && it != end;
                 it.increment(error)) {
                std::error_code unreadable;
                if (std::filesystem::read_symlink(it->path(), unreadable) == wanted) return true;
            }
            return false;
        });
    }
    static std::string TextName(const std::string& source) {
        return source.substr(0, source.size() - std::string(".pptx").size()) + ".txt";
    }
};

}  // namespace

TEST_F(SignalTest, ASignalAtAnyMomentLeavesEachSourceUntouchedOrConvertedAndLogged) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";

    // A run that is not stopped: the expected texts, and how long it converts (from its target
    // folder to its end).
    const auto sources = MakeSources(dir / "clean-in");
    std::chrono::steady_clock::time_point converting;
    ASSERT_EQ(Run({Options(dir / "clean-in", dir / "clean-out", "")}, {}, -1,
                  [&](pid_t) {
                      WaitForTarget(dir / "clean-out");
                      converting = std::chrono::steady_clock::now();
                  })
                  .exitCode,
              0);
    const auto runLength = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - converting);
    std::map<std::string, std::string> expected;
    for (const auto& [name, bytes] : sources)
        expected[TextName(name)] = ReadBytes(dir / "clean-out/" + TextName(name));

    std::mt19937 random(20261209);
    int stopped = 0;
    constexpr int kRounds = 10;
    for (int round = 0; round < kRounds; ++round) {
        const int signal = round % 2 ? SIGINT : SIGTERM;
        const bool deleting = round % 4 < 2;
        SCOPED_TRACE("round " + std::to_string(round) + (deleting ? " DeleteSource" : " Rename") +
                     (signal == SIGINT ? " SIGINT" : " SIGTERM"));
        const std::string in = dir / ("in" + std::to_string(round)),
                          out = dir / ("out" + std::to_string(round));
        MakeSources(in);
        // The first rounds at a moment drawn from the clean run's length, so mostly while it
        // converts (a run may be quicker than the clean one and end first, as every one may
        // when the clean run was slowed by other work on the machine); the others just after
        // the first text is in place, so some certainly come while it converts.
        const bool afterFirstText = round >= kRounds / 2;
        const long delay =
            std::uniform_int_distribution<long>(0, runLength.count() * 7 / 10)(random);
        const ProcessResult r =
            Run({Options(in, out, deleting ? ",DeleteSource=1" : ",RenameSource=.done")}, {}, -1,
                [&](pid_t pid) {
                    if (!WaitForTarget(out)) return;
                    if (afterFirstText) {
                        if (!WaitForFirstText(out)) return;
                    } else {
                        std::this_thread::sleep_for(std::chrono::microseconds(delay));
                    }
                    kill(pid, signal);
                });

        // The program ended by itself: in order after the stop, or before the signal came. A
        // signal that comes once the run is over and the program is on its way out (which takes
        // a while under the sanitizers) ends it as it ends any program: then the run was whole.
        const bool endedWhole = r.exitCode == 0 || r.endSignal == signal;
        ASSERT_TRUE(endedWhole || (r.endSignal == 0 && r.exitCode == 128 + signal))
            << r.exitCode << r.err;
        if (!endedWhole) {
            ++stopped;
            EXPECT_NE(r.err.find(signal == SIGINT ? "SIGINT" : "SIGTERM"), std::string::npos)
                << r.err;
        }

        // The log is there, whole, and every line in it is a success with its complete text.
        ASSERT_TRUE(std::filesystem::exists(in + ".log"));
        std::set<std::string> logged;
        for (const LogLine& line : ReadLog(in + ".log")) {
            ASSERT_EQ(line.State, "Success") << line.Source << ": " << line.Result;
            const std::string name = line.Source.substr(in.size() + 1);
            EXPECT_TRUE(logged.insert(name).second) << name << " logged twice";
            ASSERT_EQ(line.Result, out + "/" + TextName(name));
            EXPECT_EQ(ReadBytes(line.Result), expected.at(TextName(name))) << name;
        }
        if (endedWhole) {
            EXPECT_EQ(logged.size(), sources.size());
        }

        // Each source: converted and logged, or exactly as it was, with no text of its own.
        for (const auto& [name, bytes] : sources) {
            const std::string path = in + "/" + name;
            if (logged.count(name)) {
                EXPECT_FALSE(std::filesystem::exists(path)) << name;
                if (!deleting) {
                    EXPECT_EQ(ReadBytes(path + ".done"), bytes) << name;
                }
            } else {
                EXPECT_EQ(ReadBytes(path), bytes) << name << " was touched but not logged";
                EXPECT_FALSE(std::filesystem::exists(path + ".done")) << name;
                EXPECT_FALSE(std::filesystem::exists(out + "/" + TextName(name))) << name;
            }
        }
    }
    // Some signals must have come while it converted (usually nine or ten of the rounds, and
    // those after the first text all but certainly).
    RecordProperty("stopped", stopped);
    EXPECT_GE(stopped, 3);
}

TEST_F(SignalTest, ASecondSignalEndsTheProgramAtOnce) {
    // A deck that keeps its converter busy long after the second signal, and costs little to
    // make: its 8000 slides are one slide part, listed 8000 times.
    std::string paragraphs, ids, rels;
    for (int p = 0; p < 400; ++p)
        paragraphs += Para("Paragraph " + std::to_string(p) + " of a long deck, long enough.");
    for (int i = 0; i < 8000; ++i) {
        const std::string id = "rId" + std::to_string(10 + i);
        ids += "<p:sldId id=\"" + std::to_string(256 + i) + "\" r:id=\"" + id + "\"/>";
        rels += "<Relationship Id=\"" + id + "\" Type=\"" + kRelTypes +
                "slide\" Target=\"slides/slide1.xml\"/>";
    }
    const std::string relationships =
        "<?xml version=\"1.0\"?><Relationships "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    TZipBuilder deck;
    deck.Add("[Content_Types].xml",
             "<?xml version=\"1.0\"?><Types "
             "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>")
        .Add("_rels/.rels", relationships + "<Relationship Id=\"rId1\" Type=\"" + kRelTypes +
                                "officeDocument\" Target=\"ppt/presentation.xml\"/>"
                                "</Relationships>")
        .Add("ppt/slides/slide1.xml", SlideXml(Shape("body-ph", paragraphs)))
        .Add("ppt/presentation.xml",
             "<?xml version=\"1.0\"?><p:presentation "
             "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\" "
             "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
             "<p:sldIdLst>" +
                 ids + "</p:sldIdLst></p:presentation>")
        .Add("ppt/_rels/presentation.xml.rels", relationships + rels + "</Relationships>");
    std::filesystem::create_directories(dir / "in");
    WriteBytes(dir / "in/big.pptx", deck.Bytes());
    const std::string options = "-P:Source=" + dir / "in/*.ppt?,Target=" +
                                dir / "out,PureConsole=1,DeleteSource=1,LogFile=" + dir / "run.log";

    // The first signal once the converter has the deck in hand, the second soon after: the deck
    // reaches the limit of its text (and fails) about 0.3 s after it was opened on a fast
    // machine.
    const ProcessResult r = Run({options}, {}, -1, [&](pid_t pid) {
        if (!WaitForOpen(pid, dir / "in/big.pptx")) return;
        kill(pid, SIGTERM);
        std::this_thread::sleep_for(20ms);
        kill(pid, SIGINT);
    });
    EXPECT_EQ(r.endSignal, SIGINT) << r.exitCode << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "run.log"));
    EXPECT_TRUE(std::filesystem::exists(dir / "in/big.pptx"));  // its run was cut, not ended
}

namespace {

// Whether the process pid has ended (it is a zombie until it is waited for) within the time;
// killed when it has not, so that a test of a hang ends.
bool EndsWithin(pid_t pid, std::chrono::milliseconds time) {
    const auto until = std::chrono::steady_clock::now() + time;
    while (std::chrono::steady_clock::now() < until) {
        const std::string stat = ReadBytes("/proc/" + std::to_string(pid) + "/stat");
        const std::size_t state = stat.rfind(')');
        if (state == std::string::npos || stat.compare(state, 3, ") Z") == 0) return true;
        std::this_thread::sleep_for(10ms);
    }
    kill(pid, SIGKILL);
    return false;
}

}  // namespace

TEST_F(SignalTest, SighupStopsAnUnattendedRunInOrder) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    const auto sources = MakeSources(dir / "in");
    const ProcessResult r =
        Run({Options(dir / "in", dir / "out", ",DeleteSource=1")}, {}, -1, [&](pid_t pid) {
            if (WaitForTarget(dir / "out") && WaitForFirstText(dir / "out")) kill(pid, SIGHUP);
        });
    EXPECT_EQ(r.endSignal, 0) << "ended by SIGHUP itself";
    EXPECT_EQ(r.exitCode, 128 + SIGHUP) << r.err;
    EXPECT_NE(r.err.find("stopped by SIGHUP"), std::string::npos) << r.err;
    // Every source logged is converted and deleted; every other one is as it was.
    std::set<std::string> logged;
    for (const LogLine& line : ReadLog(dir / "in.log")) {
        EXPECT_EQ(line.State, "Success") << line.Source;
        logged.insert(line.Source.substr((dir / "in/").size()));
    }
    EXPECT_FALSE(logged.empty());
    EXPECT_LT(logged.size(), sources.size()) << "the run was not stopped";
    for (const auto& [name, bytes] : sources)
        EXPECT_EQ(std::filesystem::exists(dir / "in/" + name), !logged.count(name)) << name;
}

TEST_F(SignalTest, AStopThatComesWhileTheProgramStartsStillLeavesTheLog) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    MakeSources(dir / "in");
    // The program starts with SIGTERM blocked and pending, as if it had come at the first
    // instant: it must reach the program once it can stop in order.
    sigset_t term, before;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &term, &before);
    const ProcessResult r = Run({Options(dir / "in", dir / "out", "")}, {}, -1, [&](pid_t pid) {
        kill(pid, SIGTERM);
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
    });
    EXPECT_EQ(r.endSignal, 0);
    EXPECT_EQ(r.exitCode, 128 + SIGTERM) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "in.log"));
    EXPECT_LT(ReadLog(dir / "in.log").size(), static_cast<std::size_t>(kFiles)) << r.err;
}

TEST_F(SignalTest, PipesWithNobodyAtTheOtherEndNeitherHangTheRunNorOutliveAStop) {
    std::filesystem::create_directories(dir / "in");
    if (!MakePipe(dir / "list.fifo") || !MakePipe(dir / "json.fifo"))
        GTEST_SKIP() << "no named pipes here";
    // A source list nobody writes: the run waits for it, but a stop ends the wait.
    ProcessResult r = Run({"-P:SourceList=" + dir / "list.fifo,Target=" + dir / "out," +
                           "PureConsole=1,LogFile=" + dir / "run.log"},
                          {}, -1, [&](pid_t pid) {
                              // The run has begun once it has made its target folder.
                              if (!WaitForTarget(dir / "out")) return;
                              std::this_thread::sleep_for(200ms);
                              kill(pid, SIGTERM);
                              EXPECT_TRUE(EndsWithin(pid, 10s)) << "the stop was not heard";
                          });
    EXPECT_EQ(r.endSignal, 0) << "ended by SIGTERM itself";
    EXPECT_EQ(r.exitCode, 128 + SIGTERM) << r.err;
    EXPECT_EQ(ReadBytes(dir / "run.log"), "");
    EXPECT_TRUE(std::filesystem::exists(dir / "run.log"));
    // A JSON log nobody reads is refused at once, as a log file is.
    r = Run({"-P:Source=" + dir / "in/*.pptx,Target=" + dir / "out,PureConsole=1,JsonLog=" +
             dir / "json.fifo"},
            {}, -1, [&](pid_t pid) { EXPECT_TRUE(EndsWithin(pid, 10s)) << "it waited"; });
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("It is a named pipe that nobody reads"), std::string::npos) << r.err;
}

TEST_F(SignalTest, AStopDoesNotWaitForPasswordsToBeHashed) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    // 100 wrong passwords of 100,000 rounds each: seconds of hashing, longer under sanitizers.
    std::filesystem::create_directories(dir / "in");
    WriteBytes(dir / "in/locked.pptx",
               crypto_test::EncryptAgile(ReadBytes(std::filesystem::path(QUILLON_PUBLIC_CORPUS) /
                                                   "python-pptx/test_slides.pptx"),
                                         "right"));
    std::string passwords;
    for (int i = 0; i < 100; ++i) passwords += "wrong" + std::to_string(i) + "\n";
    WriteBytes(dir / "passwords.txt", passwords);
    std::chrono::steady_clock::duration stopping{};
    const ProcessResult r =
        Run({"-P:Source=" + dir / "in/*.pptx,Target=" + dir / "out,PureConsole=1,Passwords=" +
             dir / "passwords.txt,LogFile=" + dir / "run.log"},
            {}, -1, [&](pid_t pid) {
                if (!WaitForTarget(dir / "out")) return;
                std::this_thread::sleep_for(300ms);
                const auto signalled = std::chrono::steady_clock::now();
                kill(pid, SIGTERM);
                EXPECT_TRUE(EndsWithin(pid, 30s));
                stopping = std::chrono::steady_clock::now() - signalled;
            });
    EXPECT_EQ(r.exitCode, 128 + SIGTERM) << r.err << ReadBytes(dir / "run.log");
    EXPECT_LT(stopping, 2s);
    EXPECT_NE(ReadBytes(dir / "run.log").find("the run was stopped while its passwords were tried"),
              std::string::npos)
        << ReadBytes(dir / "run.log");
}
