#include "conversion/hvQUILLON.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "discovery/hvBatch.h"
#include "engine/hvEngine.h"
#include "namedPipe.h"
#include "platform/automation/automation.h"
#include "platform/files/fileSystem.h"
#include "platform/files/folderEntries.h"
#include "platform/files/paths.h"
#include "project/hvProject.h"
#include "tempDir.h"
#include "text/textEncoding.h"

namespace {

using namespace std::chrono_literals;

// A stand-in application that records what it is asked and writes a fixed outline; names
// containing "refuse" are refused at Open, "nosave" at SaveAs.
struct Recording {
    std::mutex mutex;
    std::vector<std::string> calls;
    int applications = 0;
    void Add(std::string call) {
        std::lock_guard lock(mutex);
        calls.push_back(std::move(call));
    }
    int Count(const std::string& prefix) {
        std::lock_guard lock(mutex);
        int n = 0;
        for (const auto& c : calls) n += c.starts_with(prefix);
        return n;
    }
};

class FakePresentation : public IAutomationObject {
  public:
    FakePresentation(Recording& r, std::string name) : r_(r), name_(std::move(name)) {}
    Variant Invoke(std::string_view member, ThvInvokeKind, std::span<const Variant> args) override {
        if (SameMemberName(member, "SaveAs")) {
            r_.Add("SaveAs " + *args[0].ToString() + " " + std::to_string(*args[1].ToInt32()));
            if (name_.find("nosave") != std::string::npos)
                throw EAutomationError(AutomationCode::Fail, "The disk is full.");
            // "deep" asks for rich text nested too deeply for the text step.
            WriteFileAtomic(*args[0].ToString(),
                            name_.find("deep") != std::string::npos
                                ? "{\\rtf1" + std::string(5000, '{') + "deep"
                                : "{\\rtf1\\ansi Title \\u917?\\u955?\\par Body text\\par}");
            return {};
        }
        if (SameMemberName(member, "Close")) return r_.Add("Close"), Variant();
        if (SameMemberName(member, "HasVBProject")) return false;
        ThrowUnknownMember("Presentation", member, ThvInvokeKind::Method);
    }

  private:
    Recording& r_;
    std::string name_;
};

class FakeApplication : public IAutomationObject {
  public:
    explicit FakeApplication(Recording& r) : r_(r) {}
    Variant Invoke(std::string_view member, ThvInvokeKind kind,
                   std::span<const Variant> args) override {
        if (SameMemberName(member, "Version")) return Variant("16.0");
        if (SameMemberName(member, "Path")) return Variant("/opt/fake");
        if (SameMemberName(member, "Presentations"))
            return Variant(AutomationObjectPtr(self_.lock()));
        if (SameMemberName(member, "Open")) {
            const std::string file = *args[0].ToString();
            r_.Add("Open " + file + " " + (*args[1].ToBool() ? "read-only" : "read-write"));
            if (file.find("refuse") != std::string::npos)
                throw EAutomationError(AutomationCode::Fail, "The file is not a presentation.");
            return Variant(AutomationObjectPtr(std::make_shared<FakePresentation>(r_, file)));
        }
        if (SameMemberName(member, "Quit")) return r_.Add("Quit"), Variant();
        if (kind == ThvInvokeKind::PropertyPut)
            return r_.Add("Put " + std::string(member)), Variant();
        ThrowUnknownMember("Application", member, kind);
    }
    std::weak_ptr<FakeApplication> self_;

  private:
    Recording& r_;
};

class QuillonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        project.ConverterClass = &ThvQUILLON::Class();
        project.TargetExt = ".txt";
        project.ShortName = "quillon";
        hvProject = &project;
        RegisterPowerPointEngine();
    }
    void TearDown() override {
        RegisterPowerPointEngine();  // undo any stand-in
        SetAnsiCodePage("");
        hvProject = nullptr;
    }
    void UseRecording() {
        RegisterAutomationClass(PowerPointApplicationId, [this] {
            {
                std::lock_guard lock(recording.mutex);
                ++recording.applications;
            }
            auto app = std::make_shared<FakeApplication>(recording);
            app->self_ = app;
            return AutomationObjectPtr(app);
        });
    }
    std::string Copy(const std::string& corpusName, const std::string& as) {
        const std::filesystem::path from =
            std::filesystem::path(QUILLON_PUBLIC_CORPUS) / corpusName;
        if (!std::filesystem::exists(from)) return {};
        ForceDirectories(dir / "in");
        std::filesystem::copy_file(from, dir / ("in/" + as));
        return dir / ("in/" + as);
    }
    std::string In(const std::string& name, const std::string& bytes = "deck") {
        ForceDirectories(dir / "in");
        WriteBytes(dir / ("in/" + name), bytes);
        return dir / ("in/" + name);
    }
    // Converts the folder's presentations and answers the nodes' outcomes by file name.
    std::map<std::string, std::pair<int, std::string>> Run() {
        ThvBatch batch;
        batch.Start(dir / "in/*.ppt?", dir / "out/", false);
        auto head = ThvConvertor::CreateChain(batch, dir / "out/", {});
        RunningCount = head->ConverterCount;
        head->Start();
        for (int i = 0; i < 30000 && RunningCount > 0; ++i) std::this_thread::sleep_for(1ms);
        EXPECT_EQ(RunningCount, 0);
        std::map<std::string, std::pair<int, std::string>> outcome;
        notes.clear();
        salvaged.clear();
        skipped = batch.Skipped();  // not under the batch's lock, which it takes itself
        ThvBatchLock lock(batch);
        for (const auto& node : lock.Nodes()) {
            outcome[ExtractFileName(node->Source)] = {node->State.load(), node->Result};
            notes[ExtractFileName(node->Source)] = node->Note;
            salvaged[ExtractFileName(node->Source)] = node->Salvage;
        }
        return outcome;
    }
    std::map<std::string, std::string> notes;  // of the last Run, by file name
    std::map<std::string, std::string> salvaged;
    int32_t skipped = 0;

    TempDir dir;
    ThvProject project{dir / "q"};
    Recording recording;
};

}  // namespace

TEST(PowerPointOle, VersionNumbers) {
    EXPECT_EQ(ThvPowerPointOle::VersionNumber(Variant("16.0")), 16);
    EXPECT_EQ(ThvPowerPointOle::VersionNumber(Variant(16.0)), 16);
    EXPECT_EQ(ThvPowerPointOle::VersionNumber(Variant(int32_t{12})), 12);
    EXPECT_EQ(ThvPowerPointOle::VersionNumber(Variant("12.0.4518")),
              0);  // "120.4518" is no integer
    EXPECT_EQ(ThvPowerPointOle::VersionNumber(Variant("11,0")), 0);
    EXPECT_EQ(ThvPowerPointOle::VersionNumber(Variant("Office")), 0);
    EXPECT_EQ(ThvPowerPointOle::VersionNumber(Variant()), 0);
    EXPECT_EQ(ThvPowerPointOle::VersionNumber(Variant(int32_t{120})), 12);
}

TEST_F(QuillonTest, TextStepReadsRichAndPlainText) {
    WriteBytes(dir / "a.rtf", "{\\rtf1\\ansi Caf\\'e9 \\u917?\\u955?\\par second\\par}");
    EXPECT_EQ(ReadPlainText(dir / "a.rtf"), "Caf\u00e9 \u0395\u03bb\r\nsecond\r\n");
    WriteBytes(dir / "b.txt", std::string("\xFF\xFE"
                                          "a\0\r\0b\0\n\0\xE9\0",
                                          12));
    EXPECT_EQ(ReadPlainText(dir / "b.txt"), "a\r\nb\r\n\u00e9\r\n");
    EXPECT_THROW(ReadPlainText(dir / "missing.rtf"), EhvError);
}

TEST_F(QuillonTest, RealPresentationsBecomeTextAndBadOnesFailAlone) {
    if (Copy("python-pptx/test_slides.pptx", "talk.pptx").empty()) GTEST_SKIP() << "no corpus";
    Copy("poi/49386-null_dates.pptx", "dates.pptm");  // detected by content, not by name
    In("broken.pptx", "this is no presentation");
    ForceDirectories(dir / "out");
    WriteBytes(dir / "out/broken.txt", "older text");

    auto outcome = Run();
    ASSERT_EQ(outcome.size(), 3u);
    EXPECT_EQ(outcome["talk.pptx"], std::make_pair(int{ThvNode::Success}, dir / "out/talk.txt"));
    const std::string text = ReadBytes(dir / "out/talk.txt");
    for (const char* words : {"Test text", "Group test text", "Box 1", "Cell text 1"})
        EXPECT_NE(text.find(words), std::string::npos) << words << " in\n" << text;
    EXPECT_EQ(text.find("{\\rtf"), std::string::npos);
    EXPECT_EQ(outcome["dates.pptm"].first, ThvNode::Success);
    EXPECT_NE(ReadBytes(dir / "out/dates.txt").find("Title"), std::string::npos);

    EXPECT_EQ(outcome["broken.pptx"].first, ThvNode::Failure);
    EXPECT_FALSE(outcome["broken.pptx"].second.empty());
    EXPECT_EQ(ReadBytes(dir / "out/broken.txt"), "older text");  // opened first, deleted after
    // Files read whole have nothing to say of what was lost.
    EXPECT_EQ(salvaged["talk.pptx"], "");
    EXPECT_EQ(salvaged["broken.pptx"], "");
}

TEST_F(QuillonTest, ADamagedFileReadInPartSaysOnItsNodeWhatWasLost) {
    if (Copy("poi/Divino_Revelado.pptx", "nodirectory.pptx").empty()) GTEST_SKIP() << "no corpus";
    Copy("poi/57272_corrupted_usereditatom.ppt", "loop.ppt");
    auto outcome = Run();
    EXPECT_EQ(outcome["nodirectory.pptx"].first, ThvNode::Success);
    EXPECT_TRUE(salvaged["nodirectory.pptx"].starts_with(
        "\"" + dir / "in/nodirectory.pptx" + "\" was salvaged: its zip directory is damaged"))
        << salvaged["nodirectory.pptx"];
    EXPECT_EQ(outcome["loop.ppt"].first, ThvNode::Success);
    EXPECT_NE(salvaged["loop.ppt"].find("was salvaged: its chain of edits"), std::string::npos)
        << salvaged["loop.ppt"];
}

TEST_F(QuillonTest, TwoSourcesMeetingAtOneTargetFollowTheOverwriteRule) {
    if (Copy("python-pptx/test_slides.pptx", "b.pptx").empty()) GTEST_SKIP() << "no corpus";
    Copy("python-pptx/test_slides.pptx", "b.pptm");
    project.Options.SetValue("IsOverwrite", "skip");
    auto outcome = Run();
    EXPECT_EQ(outcome["b.pptm"], std::make_pair(int{ThvNode::Success}, dir / "out/b.txt"));
    EXPECT_EQ(outcome["b.pptx"], std::make_pair(int{ThvNode::Success}, std::string()));  // skipped
    EXPECT_EQ(skipped, 1);

    std::filesystem::remove_all(dir / "out");
    project.Options.SetValue("IsOverwrite", "False");
    outcome = Run();
    EXPECT_EQ(outcome["b.pptx"].second, dir / "out/-quillon-b.txt");
}

TEST_F(QuillonTest, OneApplicationPerConverterStartedOnceAndQuitAtTheEnd) {
    UseRecording();
    for (const char* name : {"a.pptx", "b.pptx", "c.pptx"}) In(name);
    project.Options.SetValue("ReadOnly", "True");
    auto outcome = Run();
    EXPECT_EQ(recording.applications, 1);
    EXPECT_EQ(recording.Count("Open "), 3);
    EXPECT_EQ(recording.Count("Open " + dir / "in/a.pptx read-only"), 1);
    // The rich text goes to a short hidden name of the run's own beside the target, one per
    // file, and nothing is left beside the texts.
    std::set<std::string> richNames;
    for (const std::string& call : recording.calls) {
        if (!call.starts_with("SaveAs ")) continue;
        EXPECT_TRUE(call.starts_with("SaveAs " + dir / "out/.quillon-")) << call;
        EXPECT_TRUE(call.ends_with(".rtf 6")) << call;
        EXPECT_LE(call.size(), ("SaveAs " + dir / "out/.quillon-0123456789abcdef.99.rtf 6").size());
        richNames.insert(call);
    }
    EXPECT_EQ(richNames.size(), 3u);
    EXPECT_EQ(ReadFolderEntries(dir / "out").size(), 3u);
    EXPECT_EQ(recording.Count("Put Visible"), 1);
    EXPECT_EQ(recording.Count("Put DisplayAlerts"), 1);
    EXPECT_EQ(recording.Count("Quit"), 1);
    EXPECT_EQ(recording.calls.back(), "Quit");
    EXPECT_EQ(outcome["c.pptx"].first, ThvNode::Success);
}

TEST_F(QuillonTest, NoApplicationNoQuitAndEveryFileRetriesTheStart) {
    UseRecording();
    project.Options.SetValue("ThreadsCount", "2");
    Run();  // empty folder: two converters, nothing to do
    EXPECT_EQ(recording.applications, 0);
    EXPECT_EQ(recording.Count("Quit"), 0);

    UnregisterAutomationClass(PowerPointApplicationId);
    In("a.pptx");
    In("b.pptx");
    for (const auto& [name, result] : Run()) {
        EXPECT_EQ(result.first, ThvNode::Failure) << name;
        EXPECT_EQ(result.second, "Invalid class string, ProgID: \"PowerPoint.Application\"");
    }

    int attempts = 0;
    RegisterAutomationClass(PowerPointApplicationId, [&]() -> AutomationObjectPtr {
        ++attempts;
        throw EAutomationError(AutomationCode::Fail, "Server execution failed");
    });
    project.Options.SetValue("ThreadsCount", "1");
    Run();
    EXPECT_EQ(attempts, 2);
}

TEST_F(QuillonTest, RefusedFilesAndSourcesTouchedOnlyAfterSuccess) {
    UseRecording();
    SetAnsiCodePage("windows-1252");
    project.Options.SetValue("DeleteSource", "True");
    const std::string good = In("good.pptx"), refused = In("refuse.pptx"),
                      nosave = In("nosave.pptx");
    In("deep.pptx");
    // Older texts stay until a new one is complete.
    ForceDirectories(dir / "out");
    WriteBytes(dir / "out/nosave.txt", "older text");
    WriteBytes(dir / "out/good.txt", "older text");
    auto outcome = Run();
    EXPECT_EQ(
        outcome["refuse.pptx"],
        std::make_pair(int{ThvNode::Failure}, std::string("The file is not a presentation.")));
    EXPECT_EQ(outcome["nosave.pptx"],
              std::make_pair(int{ThvNode::Failure}, std::string("The disk is full.")));
    EXPECT_TRUE(FileExists(refused));
    EXPECT_TRUE(FileExists(nosave));
    EXPECT_EQ(ReadBytes(dir / "out/nosave.txt"), "older text");
    EXPECT_FALSE(FileExists(good));
    EXPECT_EQ(ReadBytes(dir / "out/good.txt"),
              "Title ??\r\nBody text\r\n");  // Greek on a Western page
    // The file is converted, and the user is told what the code page lost.
    EXPECT_EQ(notes["good.pptx"],
              "2 characters replaced by \"?\": the character set windows-1252 cannot hold them; "
              "a UTF-8 one keeps every character");
    EXPECT_EQ(notes["deep.pptx"], "");  // kept as rich text: nothing replaced
    // A failed text step keeps the rich text as the result, and the file counts as converted.
    EXPECT_EQ(outcome["deep.pptx"], std::make_pair(int{ThvNode::Success}, dir / "out/deep.txt"));
    EXPECT_TRUE(ReadBytes(dir / "out/deep.txt").starts_with("{\\rtf1{{{"));
    // The failed file's presentation was closed too.
    EXPECT_EQ(recording.Count("Close"), 3);
}

TEST_F(QuillonTest, FilesThatVanishOrAreNoRegularFilesFailAlone) {
    if (Copy("python-pptx/test_slides.pptx", "good.pptx").empty()) GTEST_SKIP() << "no corpus";
    ThvBatch batch;
    batch.AddFile(dir / "in/good.pptx");
    batch.AddFile(dir / "in/vanished.pptx");  // listed, then gone before its turn
    // Opening a pipe for reading would wait for a writer.
    const bool pipe = MakePipe(dir / "in/pipe.pptx");
    if (pipe) batch.AddFile(dir / "in/pipe.pptx");
    batch.TargetFolder = dir / "out/";
    auto head = ThvConvertor::CreateChain(batch, dir / "out/", {});
    RunningCount = 1;
    head->Start();
    for (int i = 0; i < 10000 && RunningCount > 0; ++i) std::this_thread::sleep_for(1ms);
    ASSERT_EQ(RunningCount, 0) << "a converter hangs";
    ThvBatchLock lock(batch);
    const auto& nodes = lock.Nodes();
    EXPECT_EQ(nodes[0]->State, ThvNode::Success);
    EXPECT_EQ(nodes[1]->State, ThvNode::Failure);
    EXPECT_NE(nodes[1]->Result.find("vanished.pptx"), std::string::npos) << nodes[1]->Result;
    if (!pipe) return;
    EXPECT_EQ(nodes[2]->State, ThvNode::Failure);
    EXPECT_NE(nodes[2]->Result.find("pipe.pptx"), std::string::npos) << nodes[2]->Result;
}
