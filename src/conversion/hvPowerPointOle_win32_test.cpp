// The converters against a COM server registered with the system, as they meet PowerPoint on
// Windows: the stand-in of tests/windows records every late-bound call.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <map>
#include <sstream>
#include <thread>

#include "conversion/hvPowerPointOle.h"
#include "conversion/hvQUILLON.h"
#include "discovery/hvBatch.h"
#include "engine/hvEngine.h"
#include "platform/automation/automation.h"
#include "platform/files/fileSystem.h"
#include "platform/files/folderEntries.h"
#include "platform/files/paths.h"
#include "platform/files/win32Text.h"
#include "project/hvProject.h"
#include "tempDir.h"

namespace {

using namespace std::chrono_literals;

constexpr wchar_t kStandInClass[] = L"{6D3C2B1A-5E4F-4A7B-9C8D-0E1F2A3B4C5D}";

std::string ProgramFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return ExtractFilePath(NarrowText(path));
}

bool SetDefault(const std::wstring& key, const std::wstring& name, const std::wstring& value) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LSTATUS status = RegSetValueExW(handle, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(value.c_str()),
                                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

/// Registers the stand-in as "PowerPoint.Application" for the test's lifetime, where the
/// system looks classes up (HKEY_CLASSES_ROOT: Wine does not merge the per-user classes in).
class TStandInRegistration {
  public:
    TStandInRegistration() {
        const std::wstring dll = WideText(ProgramFolder() + "standInPowerPoint.dll");
        module_ = LoadLibraryW(dll.c_str());
        const std::wstring classKey = std::wstring(L"CLSID\\") + kStandInClass;
        registered_ = module_ && SetDefault(L"PowerPoint.Application\\CLSID", L"", kStandInClass) &&
                      SetDefault(classKey + L"\\InprocServer32", L"", dll) &&
                      SetDefault(classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    }
    ~TStandInRegistration() {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L"PowerPoint.Application");
        RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kStandInClass).c_str());
        if (module_) FreeLibrary(module_);
    }
    TStandInRegistration(const TStandInRegistration&) = delete;
    TStandInRegistration& operator=(const TStandInRegistration&) = delete;

    bool Registered() const { return registered_; }

    /// The calls recorded so far, grouped by application ("app1", ...), each group in order.
    std::map<std::string, std::vector<std::string>> Calls() const {
        using TCalls = const wchar_t* (*)();
        auto calls = reinterpret_cast<TCalls>(Export("StandInCalls"));
        std::map<std::string, std::vector<std::string>> byApplication;
        std::istringstream lines(NarrowText(calls()));
        for (std::string line; std::getline(lines, line);) {
            byApplication[line.substr(0, line.find('.'))].push_back(
                line.substr(line.find('.') + 1));
        }
        return byApplication;
    }

    long LiveObjects() const {
        using TObjects = long (*)();
        return reinterpret_cast<TObjects>(Export("StandInObjects"))();
    }

  private:
    // Through the generic function type, which any function pointer may be cast to and from.
    using TFunction = void (*)();
    TFunction Export(const char* name) const {
        return reinterpret_cast<TFunction>(GetProcAddress(module_, name));
    }

    HMODULE module_ = nullptr;
    bool registered_ = false;
};

class PowerPointComTest : public ::testing::Test {
  protected:
    void SetUp() override {
        project.ConverterClass = &ThvQUILLON::Class();
        project.TargetExt = ".txt";
        project.ShortName = "quillon";
        hvProject = &project;
        // The engine stays registered in process: the system's class must come first.
        RegisterPowerPointEngine();
    }
    void TearDown() override {
        RegisterPowerPointEngine();
        hvProject = nullptr;
    }
    std::string In(const std::string& name) {
        ForceDirectories(dir / "in");
        WriteBytes(dir / ("in/" + name), "a deck");
        return dir / ("in/" + name);
    }
    // Converts the listed files and answers each node's state and result, in list order.
    std::vector<std::pair<int, std::string>> Run(const std::vector<std::string>& files) {
        ThvBatch batch;
        for (const std::string& file : files) batch.AddFile(file);
        batch.TargetFolder = dir / "out/";
        ForceDirectories(dir / "out");
        auto head = ThvConvertor::CreateChain(batch, dir / "out/", {});
        RunningCount = head->ConverterCount;
        head->Start();
        for (int i = 0; i < 30000 && RunningCount > 0; ++i) std::this_thread::sleep_for(1ms);
        EXPECT_EQ(RunningCount, 0) << "a converter hangs";
        std::vector<std::pair<int, std::string>> outcome;
        ThvBatchLock lock(batch);
        for (const auto& node : lock.Nodes()) outcome.emplace_back(node->State, node->Result);
        return outcome;
    }

    TempDir dir;
    ThvProject project{dir / "q"};
};

TEST_F(PowerPointComTest, ConvertersDriveTheRegisteredApplicationCallByCall) {
    TStandInRegistration standIn;
    ASSERT_TRUE(standIn.Registered());
    project.Options.SetValue("ThreadsCount", "2");
    project.Options.SetValue("ReadOnly", "1");
    const std::vector<std::string> files = {In("a.pptx"), In("b.pptx"), In("refused.pptx"),
                                            In("c.pptx")};
    const auto outcome = Run(files);

    ASSERT_EQ(outcome.size(), 4u);
    for (const std::string name : {"a", "b", "c"}) {
        const auto& [state, result] = outcome[name == std::string("c") ? 3 : name[0] - 'a'];
        EXPECT_EQ(state, ThvNode::Success) << name;
        EXPECT_EQ(result, dir / ("out/" + name + ".txt"));
        EXPECT_EQ(ReadBytes(dir / ("out/" + name + ".txt")), "Stand-in outline\r\nSecond line\r\n");
    }
    // The server's own description, from its EXCEPINFO.
    EXPECT_EQ(outcome[2], std::make_pair(int{ThvNode::Failure},
                                         std::string("PowerPoint was unable to open the file.")));

    // One application per converter, each started once, prepared, used for its files, quit once.
    const auto calls = standIn.Calls();
    ASSERT_EQ(calls.size(), 2u);
    std::vector<std::string> converted;
    for (const auto& [application, made] : calls) {
        const std::vector<std::string> start(made.begin(), made.begin() + 4);
        EXPECT_EQ(start,
                  (std::vector<std::string>{"Version call-or-get()", "Visible put(bool:true)",
                                            "WindowState put(int:2)", "DisplayAlerts put(int:1)"}))
            << application;
        EXPECT_EQ(made.back(), "Quit call()") << application;
        int quits = 0;
        for (std::size_t i = 4; i < made.size(); ++i) {
            quits += made[i] == "Quit call()";
            if (!made[i].starts_with("Presentations.Open")) continue;
            const std::string source = made[i].substr(made[i].find("str:") + 4);
            const std::string file = source.substr(0, source.find(','));
            EXPECT_EQ(made[i - 1], "Presentations call-or-get()");
            EXPECT_EQ(made[i], "Presentations.Open call(str:" + file + ", bool:true)");
            if (file.find("refused") != std::string::npos) continue;
            converted.push_back(file);
            const std::string target =
                ChangeFileExt(dir / ("out/" + ExtractFileName(file)), ".txt");
            ASSERT_LT(i + 3, made.size());
            // Asked whether it read the file only in part: PowerPoint knows no such member.
            EXPECT_EQ(made[i + 1], "Presentation.SalvageNote unknown");
            // The rich text goes to a companion of the converter's held temporary beside the
            // target: "<folder>.quillon-<16 hex digits>.<n>.rtf".
            const std::string saveAs = "Presentation.SaveAs call(str:" + ExtractFilePath(target);
            EXPECT_TRUE(made[i + 2].starts_with(saveAs + ".quillon-")) << made[i + 2];
            EXPECT_TRUE(made[i + 2].ends_with(".rtf, int:6)")) << made[i + 2];
            EXPECT_EQ(made[i + 2].size(), saveAs.size() + 9 + 16 + 14) << made[i + 2];
            EXPECT_EQ(made[i + 3], "Presentation.Close call()");
        }
        EXPECT_EQ(quits, 1) << application;
    }
    std::sort(converted.begin(), converted.end());
    EXPECT_EQ(converted, (std::vector<std::string>{files[0], files[1], files[3]}));
    // Every object the converters were given has been released, and nothing but the texts is
    // left in the target folder: no rich text, no held temporary.
    EXPECT_EQ(standIn.LiveObjects(), 0);
    std::vector<std::string> left;
    for (const ThvFolderEntry& entry : ReadFolderEntries(dir / "out")) left.push_back(entry.Name);
    EXPECT_EQ(left, (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
}

TEST_F(PowerPointComTest, WithoutTheSystemsClassTheEngineAnswers) {
    // No COM class: the in-process engine converts (here it refuses a file that is no deck).
    const auto outcome = Run({In("a.pptx")});
    ASSERT_EQ(outcome.size(), 1u);
    EXPECT_EQ(outcome[0].first, ThvNode::Failure);
    EXPECT_NE(outcome[0].second.find("is not a presentation"), std::string::npos)
        << outcome[0].second;
}

TEST_F(PowerPointComTest, AnIdentifierNobodyRegisteredFailsEveryFile) {
    ASSERT_TRUE(UnregisterAutomationClass(PowerPointApplicationId));
    const auto outcome = Run({In("a.pptx"), In("b.pptx")});
    for (const auto& [state, result] : outcome) {
        EXPECT_EQ(state, ThvNode::Failure);
        EXPECT_EQ(result, "Invalid class string, ProgID: \"PowerPoint.Application\"");
    }
    EXPECT_THROW(CreateAutomationObject("No.Such.Class"), EAutomationError);
}

TEST_F(PowerPointComTest, VariantsCrossTheBorderBothWays) {
    // Wine's own scripting objects answer through the same IDispatch path.
    const AutomationObjectPtr fso = CreateAutomationObject("Scripting.FileSystemObject");
    ASSERT_TRUE(fso);
    WriteBytes(dir / "caf\xC3\xA9.txt", "x");
    EXPECT_EQ(AutomationCall(*fso, "FileExists", {Variant(dir / "caf\xC3\xA9.txt")}).ToBool(),
              true);
    EXPECT_EQ(AutomationCall(*fso, "fileexists", {Variant(dir / "missing.txt")}).ToBool(), false);
    EXPECT_EQ(*AutomationCall(*fso, "GetExtensionName", {Variant("a.b.pptx")}).ToString(), "pptx");
    const AutomationObjectPtr file =
        AutomationCall(*fso, "GetFile", {Variant(dir / "caf\xC3\xA9.txt")}).ToObject();
    ASSERT_TRUE(file);
    EXPECT_EQ(AutomationGet(*file, "Size").ToInt32(), 1);
    EXPECT_EQ(*AutomationGet(*file, "Name").ToString(), "caf\xC3\xA9.txt");
    // A server's failure carries its code; an unknown member the system's "Unknown name".
    try {
        AutomationCall(*fso, "GetFile", {Variant(dir / "missing.txt")});
        ADD_FAILURE() << "no error";
    } catch (const EAutomationError& e) {
        EXPECT_NE(e.Code(), 0);
        EXPECT_FALSE(std::string(e.what()).empty());
    }
    try {
        AutomationCall(*fso, "NoSuchMember");
        ADD_FAILURE() << "no error";
    } catch (const EAutomationError& e) {
        EXPECT_EQ(static_cast<uint32_t>(e.Code()), 0x80020006u);
        EXPECT_STREQ(e.what(), "Unknown name");
    }
}

}  // namespace
