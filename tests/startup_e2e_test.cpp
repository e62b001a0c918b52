// The program's start-up: command-line forms, run modes, exit codes and the files it keeps
// beside itself.

#include "programTest.h"

TEST_F(ProgramTest, NoArgumentNoDefaultProjectGoesToWindowMode) {
    const ProcessResult r = Run({}, noDisplay);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.err,
              "Quillon Converter: no display to open the window on; run a project unattended "
              "instead, for example: quillon -P:Source=/data/in/*.ppt?,Target=/data/out,"
              "PureConsole=1\n");
    EXPECT_EQ(r.out, "");
    // The recent-project list is written at shut-down even when it is empty.
    EXPECT_TRUE(std::filesystem::exists(recentList));
    EXPECT_EQ(ReadBytes(recentList), "");
}

TEST_F(ProgramTest, DefaultProjectWithPureConsoleRunsUnattended) {
    WriteBytes(defaultProject, "Source=" + dir / "in/*.ppt?\r\nPureConsole=1\r\nTarget=" +
                                   dir / "out" + "\r\nLogFile=" + dir / "run.log\r\n");
    const ProcessResult r = Run({});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::filesystem::is_directory(dir / "out"));
    EXPECT_EQ(ReadBytes(dir / "run.log"), "");  // an empty batch still writes its log
    EXPECT_EQ(ReadBytes(recentList), defaultProject + "\r\n");
}

TEST_F(ProgramTest, OptionArgumentDerivesTargetAndLaterArgumentsAreIgnored) {
    std::filesystem::create_directory(dir / "in");
    const ProcessResult r =
        Run({"-P:Source=" + dir / "in/*.ppt?,PureConsole=1,LogFile=" + dir / "run.log", "-Ixyz"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // Had the second argument counted, its report switch would have ended the program first.
    EXPECT_TRUE(std::filesystem::exists(dir / "run.log"));
}

TEST_F(ProgramTest, HttpSourceStaysInWindowMode) {
    const ProcessResult r = Run({"-P:Source=http://example.org/a.ppt,PureConsole=1"}, noDisplay);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("no display"), std::string::npos) << r.err;
}

TEST_F(ProgramTest, ProjectFileArgumentIsReadAndRemembered) {
    const std::string project = dir / "my.batch-quillon";
    // UTF-16 with its mark, as some editors save it.
    std::string text;
    for (char c : "PureConsole=True\r\nSource=" + dir / "p/*.ppt?\r\nTarget=" +
                      dir / "p\r\nLogFile=" + dir / "p.log\r\n")
        text += {c, '\0'};
    WriteBytes(project, "\xFF\xFE" + text);
    const ProcessResult r = Run({project});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "p.log"));
    EXPECT_EQ(ReadBytes(recentList), project + "\r\n");
}

TEST_F(ProgramTest, ReportSwitchesOpenTheirLinkAndEndAtOnce) {
    const auto env = RecordingOpener();
    WriteBytes(defaultProject,
               "PureConsole=1\r\nSource=" + dir / "in/*.ppt?\r\nLogFile=" + dir / "run.log\r\n");
    for (const std::string arg : {"-Ixyz", "/u"}) {
        const ProcessResult r = Run({arg}, env);
        EXPECT_EQ(r.exitCode, 0) << arg;
        EXPECT_EQ(r.out + r.err, "") << arg;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "run.log"));  // the default project never ran
    const auto opened = Links(2);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_TRUE(opened[0].starts_with(
        "https://quillon.example.org/net/?a=ins&p=quillon&v=2024.16.323.2227&c=r1&i="))
        << opened[0];
    EXPECT_TRUE(opened[0].ends_with("&xyz")) << opened[0];
    EXPECT_TRUE(opened[1].starts_with(
        "https://quillon.example.org/net/?a=uni&p=quillon&v=2024.16.323.2227&c=r2&i="))
        << opened[1];
    // The usage store beside the program counted both starts.
    EXPECT_TRUE(std::filesystem::exists(dir / "quillon.ext"));
}

TEST_F(ProgramTest, AskedHowToUseItAnswersAndKeepsNothing) {
    // A default project that would run unattended: asking must not start it.
    WriteBytes(defaultProject,
               "PureConsole=1\r\nSource=" + dir / "in/*.ppt?\r\nLogFile=" + dir / "run.log\r\n");
    for (const std::string ask : {"--help", "/?", "-?"}) {
        const ProcessResult r = Run({ask}, noDisplay);
        EXPECT_EQ(r.exitCode, 0) << ask << ": " << r.err;
        EXPECT_EQ(r.err, "") << ask;
        EXPECT_TRUE(r.out.starts_with("Quillon Converter 2024.16.323.2227: ")) << r.out;
        EXPECT_NE(r.out.find("\nUsage: quillon [argument]"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("quillon -P:Source=/data/in/*.ppt?,Target=/data/out,PureConsole=1"),
                  std::string::npos)
            << r.out;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "run.log"));
    EXPECT_FALSE(std::filesystem::exists(recentList));
    EXPECT_FALSE(std::filesystem::exists(dir / "quillon.ext"));
}

TEST_F(ProgramTest, BadFilesBesideTheProgramAreHarmless) {
    std::string garbage;
    for (int i = 0; i < 70000; ++i) garbage += static_cast<char>(i * 131 % 256);
    WriteBytes(recentList, garbage);
    // The start-up reads the list and reaches its choice of mode: the window, refused here.
    ProcessResult r = Run({}, noDisplay);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("no display"), std::string::npos) << r.err;
    // A default project that is no text says so first, rather than passing for an empty one.
    WriteBytes(defaultProject, garbage);
    r = Run({}, noDisplay);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(r.err.starts_with("Quillon Converter: The project file \"" + defaultProject +
                                  "\" could not be read: line 1 holds a NUL character, which no "
                                  "option may hold.\n"))
        << r.err;
    EXPECT_NE(r.err.find("no display"), std::string::npos) << r.err;
}

// The libraries the program loads only when a file needs them are not among its needed
// libraries; the program's .note.dlopen names them for packaging tools, and names them all.
TEST_F(ProgramTest, LibrariesLoadedLaterAreDeclaredInTheProgramsNotes) {
    const std::string notes = dir / "notes";
    const ProcessResult r = RunProcess(
        "/usr/bin/objcopy", {"-O", "binary", "--only-section=.note.dlopen", exe, notes}, work);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string bytes = ReadBytes(notes);
    for (const char* soname : {"\"soname\":[\"libcrypto.so.3\"]", "\"soname\":[\"libicuuc.so."})
        EXPECT_NE(bytes.find(soname), std::string::npos) << soname;
}
