// Unattended runs of the real program over real presentations.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>

#include "programTest.h"

namespace {

class RunTest : public ProgramTest {
  protected:
    // A tree of real presentations: two levels, a broken one, a lock file and a non-match.
    bool MakeTree() {
        const std::filesystem::path deck =
            std::filesystem::path(QUILLON_PUBLIC_CORPUS) / "python-pptx/test_slides.pptx";
        if (!std::filesystem::exists(deck)) return false;
        for (const char* name :
             {"in/a.pptx", "in/b.pptm", "in/sub/c.pptx", "in/sub/deep/d.pptx", "in/~$a.pptx"}) {
            std::filesystem::create_directories(std::filesystem::path(dir / name).parent_path());
            std::filesystem::copy_file(deck, dir / name);
        }
        WriteBytes(dir / "in/sub/broken.pptx", "not a presentation? at all");
        WriteBytes(dir / "in/notes.txt", "not matched");
        return true;
    }
    std::string Project(const std::string& extra) {
        return "-P:Source=" + dir / "in/*.ppt?,Target=" + dir / "out,Subdir=True,PureConsole=1," +
               extra;
    }
    // Log lines keyed by file name: state word and result.
    std::map<std::string, std::pair<std::string, std::string>> LogByFile(const std::string& path) {
        std::map<std::string, std::pair<std::string, std::string>> byFile;
        const std::string text = ReadBytes(path);
        for (std::size_t pos = 0, end; (end = text.find("\r\n", pos)) != std::string::npos;
             pos = end + 2) {
            const std::string line = text.substr(pos, end - pos);
            const std::size_t a = line.find(" => "), b = line.find(" => ", a + 4);
            if (a == std::string::npos || b == std::string::npos) {
                ADD_FAILURE() << "not a log line: " << line;
                continue;
            }
            const std::string source = line.substr(a + 4, b - a - 4);
            byFile[source.substr(source.rfind('/') + 1)] = {line.substr(0, a), line.substr(b + 4)};
        }
        return byFile;
    }
};

}  // namespace

TEST_F(RunTest, ConvertsATreeWithSeveralConvertersAndLogsEveryFile) {
    if (!MakeTree()) GTEST_SKIP() << "no corpus";
    const auto env = RecordingOpener();
    const ProcessResult r = Run({Project("ThreadsCount=4,LogFile=" + dir / "run.log")}, env);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");  // not a terminal: no progress line

    for (const char* out : {"out/a.txt", "out/b.txt", "out/sub/c.txt", "out/sub/deep/d.txt"})
        EXPECT_NE(ReadBytes(dir / out).find("Group test text"), std::string::npos) << out;
    const auto log = LogByFile(dir / "run.log");
    ASSERT_EQ(log.size(), 5u);  // the lock file and notes.txt are not in the batch
    EXPECT_EQ(log.at("c.pptx"), std::make_pair(std::string("Success"), dir / "out/sub/c.txt"));
    EXPECT_EQ(log.at("broken.pptx").first, "Failure");

    // The failure report: "?" as %3F, one report for the run.
    const auto opened = Links(1);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_TRUE(opened[0].starts_with("https://quillon.example.org/net/?a=err&e=")) << opened[0];
    EXPECT_EQ(opened[0].find('?', opened[0].find("e=")), std::string::npos) << opened[0];
    // The counters after the run: "W" arrives when a converter starts its application, so its
    // place among the others depends on timing.
    const std::size_t c = opened[0].find("&c=") + 3;
    std::string counters = opened[0].substr(c, opened[0].find('&', c) - c);
    const std::size_t w = counters.find("w16");
    ASSERT_NE(w, std::string::npos) << counters;
    counters.erase(w, 3);
    EXPECT_EQ(counters, "r1c1a5s4f1");
}

TEST_F(RunTest, SkippedFilesAndOneConverter) {
    if (!MakeTree()) GTEST_SKIP() << "no corpus";
    std::filesystem::remove(dir / "in/sub/broken.pptx");
    std::filesystem::create_directories(dir / "out");
    WriteBytes(dir / "out/a.txt", "kept");
    const auto env = RecordingOpener();
    const ProcessResult r =
        Run({Project("ThreadsCount=0,IsOverwrite=skip,LogFile=" + dir / "run.log")}, env);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto log = LogByFile(dir / "run.log");
    EXPECT_EQ(log.at("a.pptx"), std::make_pair(std::string("Success"), std::string()));
    EXPECT_EQ(ReadBytes(dir / "out/a.txt"), "kept");
    EXPECT_EQ(log.at("d.pptx").first, "Success");
    usleep(300000);
    EXPECT_TRUE(Links(0).empty());  // nothing failed: no report
}

TEST_F(RunTest, ManyConvertersNeverInterleaveTheirLines) {
    const std::filesystem::path deck =
        std::filesystem::path(QUILLON_PUBLIC_CORPUS) / "python-pptx/test_slides.pptx";
    if (!std::filesystem::exists(deck)) GTEST_SKIP() << "no corpus";
    std::filesystem::create_directories(dir / "in");
    for (int i = 0; i < 60; ++i)
        std::filesystem::copy_file(deck, dir / ("in/deck" + std::to_string(i) + ".pptx"));
    const ProcessResult r = Run({Project("ThreadsCount=8,LogFile=" + dir / "run.log")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto log = LogByFile(dir / "run.log");
    EXPECT_EQ(log.size(), 60u);
    for (const auto& [file, entry] : log) EXPECT_EQ(entry.first, "Success") << file;
}

TEST_F(RunTest, NoLogFileWithoutTheOptionAndExitOneWhenItCannotBeWritten) {
    std::filesystem::create_directories(dir / "in");
    ProcessResult r = Run({Project("LogFile=")});
    EXPECT_EQ(r.exitCode, 0) << r.err;

    r = Run({Project("LogFile=" + dir / "missing/run.log")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(
        r.err.starts_with("Application Error: Cannot create file \"" + dir / "missing/run.log\""))
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));  // no folder is made for the log
}

// Text that the locale's character set cannot hold is replaced, and the run says how many
// characters were, on standard error and in the JSON log, so that the user can choose another.
TEST_F(RunTest, CharactersTheCharacterSetCannotHoldAreCountedAndTold) {
    const std::vector<std::string> latin1 = LanguagesDeckAndLatin1Locale();
    if (latin1.empty()) GTEST_SKIP() << "no sample or no locale (install locales)";
    const std::string options = "-P:Source=" + dir / "in/*.ppt?,Target=" +
                                dir / "out,PureConsole=1,JsonLog=" + dir / "run.jsonl";

    // The same text in UTF-8 tells how many characters ISO-8859-1 (U+0000 to U+00FF) lacks.
    ProcessResult r = Run({options}, {"LC_ALL=C.UTF-8"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string utf8 = ReadBytes(dir / "out/languages.txt");
    std::size_t beyond = 0;
    for (const char byte : utf8) beyond += static_cast<unsigned char>(byte) >= 0xC4;  // U+0100 on
    ASSERT_GT(beyond, 0u) << "the sample holds no text beyond Latin-1";

    std::filesystem::remove(dir / "run.jsonl");
    r = Run({options}, latin1);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string note = std::to_string(beyond) +
                             " characters replaced by \"?\": the character set ISO-8859-1 cannot "
                             "hold them; a UTF-8 one keeps every character";
    EXPECT_EQ(r.err, "Note: \"" + dir / "in/languages.pptx\" was converted with " + note + "\n");
    EXPECT_NE(ReadBytes(dir / "run.jsonl")
                  .find("\"state\":\"Success\",\"message\":\"" + std::to_string(beyond) +
                        " characters replaced by \\\"?\\\""),
              std::string::npos)
        << ReadBytes(dir / "run.jsonl");
}

// ICU is loaded at the first legacy character set: a UTF-8 system runs without it, even with
// every symbol bound at start, and a Latin-1 one that cannot load it is told which library.
// The binary deck's rich text holds single characters between control words, which once went
// to the converter of its code page one by one.
TEST_F(RunTest, OnlyALegacyCharacterSetNeedsTheCodePageLibrary) {
    const std::vector<std::string> latin1 = LanguagesDeckAndLatin1Locale();
    if (latin1.empty()) GTEST_SKIP() << "no sample or no locale (install locales)";
    const std::string binary =
        ReadBytes((std::filesystem::path(QUILLON_PUBLIC_CORPUS) / "poi/44770.ppt").string());
    if (binary.empty()) GTEST_SKIP() << "no corpus";
    WriteBytes(dir / "in/44770.ppt", binary);
    const std::string options =
        "-P:Source=" + dir / "in/*.ppt?,Target=" + dir / "out,PureConsole=1";
    const std::string emptyIcu = "LD_LIBRARY_PATH=" QUILLON_EMPTY_ICU_DIR;

    ProcessResult r = Run({options}, {"LC_ALL=C.UTF-8"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::map<std::string, std::string> texts;
    for (const char* name : {"languages.txt", "44770.txt"}) {
        texts[name] = ReadBytes(dir / ("out/" + std::string(name)));
        ASSERT_FALSE(texts[name].empty()) << name;
        std::filesystem::remove(dir / ("out/" + std::string(name)));
    }
    r = Run({options}, {"LC_ALL=C.UTF-8", "LD_BIND_NOW=1", emptyIcu});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (const auto& [name, text] : texts)
        EXPECT_EQ(ReadBytes(dir / ("out/" + std::string(name))), text) << name;

    // The log is written in the locale's character set, so the run cannot begin.
    std::vector<std::string> env = latin1;
    env.push_back(emptyIcu);
    r = Run({options + ",LogFile=" + dir / "run.log"}, env);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("needs the library libicuuc.so."), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("which cannot be loaded ("), std::string::npos) << r.err;
}

TEST_F(RunTest, EmptyTargetIsRefused) {
    const ProcessResult r = Run({"-P:Source=*.ppt?,PureConsole=1"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("No target folder: set Target, or give a Source with a folder"),
              std::string::npos)
        << r.err;
}

TEST_F(RunTest, HostileNamesReachTheOpenerAsOneArgumentWithoutAShell) {
    const std::string name = "a\"b'c;d $(touch pwned) `touch tick` & e\nf.pptx";
    std::filesystem::create_directories(dir / "in");
    WriteBytes(dir / ("in/" + name), "not a presentation");
    const auto env = RecordingOpener();
    const ProcessResult r = Run({Project("")}, env);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto opened = Links(1);
    ASSERT_EQ(opened.size(), 1u);
    // The message names the file as it is, percent-encoded; only the double quotes are dropped.
    std::string expected;
    for (char c : dir / ("in/" + name)) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"') continue;
        if (std::isalnum(u) || std::strchr("-._~/:,@", c)) {
            expected += c;
        } else {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", u);
            expected += escape;
        }
    }
    EXPECT_NE(opened[0].find(expected), std::string::npos) << opened[0];
    EXPECT_EQ(opened[0].find_first_of(" \n\"'`$;"), std::string::npos) << opened[0];
    EXPECT_FALSE(std::filesystem::exists(work + "/pwned"));
    EXPECT_FALSE(std::filesystem::exists(work + "/tick"));
    EXPECT_FALSE(std::filesystem::exists(dir / "pwned"));
}

// A project's relative paths lead from its own folder wherever the program is started; the
// same paths given on the command line lead from the current folder.
TEST_F(RunTest, RelativePathsOfAProjectLeadFromItsFolder) {
    if (!MakeTree()) GTEST_SKIP() << "no corpus";
    std::filesystem::create_directories(dir / "job/lists");
    std::filesystem::rename(dir / "in", dir / "job/in");
    WriteBytes(dir / "job/lists/all.txt", "../in/a.pptx\n../in/sub/c.pptx\n");
    WriteBytes(dir / "job/walk.batch-quillon",
               "Source=in/*.ppt?\r\nSubdir=True\r\nTarget=out\r\nPureConsole=1\r\n"
               "LogFile=run.log\r\nJsonLog=run.jsonl\r\n");
    ProcessResult r = Run({dir / "job/walk.batch-quillon"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "job/out/sub/deep/d.txt"));
    EXPECT_NE(ReadBytes(dir / "job/run.log")
                  .find("Success => " + dir / "job/in/a.pptx => " + dir / "job/out/a.txt"),
              std::string::npos);
    EXPECT_NE(ReadBytes(dir / "job/run.jsonl"), "");

    WriteBytes(dir / "job/list.batch-quillon",
               "SourceList=lists/all.txt\r\nSourceRoot=in\r\nTarget=listed\r\nPureConsole=1\r\n");
    r = Run({dir / "job/list.batch-quillon"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "job/listed/sub/c.txt"));
    EXPECT_TRUE(std::filesystem::exists(dir / "job/listed/a.txt"));

    // Options on the command line keep the current folder, the test's work folder.
    std::filesystem::create_directories(work + "/here");
    std::filesystem::copy_file(dir / "job/in/a.pptx", work + "/here/a.pptx");
    r = Run({"-P:Source=here/*.ppt?,Target=text,PureConsole=1,LogFile=here.log"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(work + "/text/a.txt"));
    EXPECT_TRUE(std::filesystem::exists(work + "/here.log"));
}
