// A run killed at any moment loses nothing: what is in the target folder is complete, no source
// is gone without its text, and the next run finishes the job and tidies up after it.

#include <algorithm>
#include <chrono>
#include <map>
#include <set>

#include "programTest.h"

namespace {

class InterruptTest : public ProgramTest {
  protected:
    static constexpr int kFiles = 200;

    // The same sources for every round: real decks of two kinds.
    void MakeSources(const std::string& folder) {
        std::filesystem::create_directories(folder + "/sub");
        const std::filesystem::path corpus = QUILLON_PUBLIC_CORPUS;
        const std::filesystem::path decks[] = {corpus / "python-pptx/test_slides.pptx",
                                               corpus / "python-pptx/txt-text.pptx"};
        for (int i = 0; i < kFiles; ++i)
            std::filesystem::copy_file(decks[i % 2], folder + (i % 3 ? "/" : "/sub/") + "deck" +
                                                         std::to_string(i) + ".pptx");
    }
    std::string Options(const std::string& in, const std::string& out, const std::string& extra) {
        return "-P:Source=" + in + "/*.ppt?,Target=" + out +
               ",Subdir=True,PureConsole=1,ThreadsCount=3" + extra;
    }
    // Every file below folder by its path relative to it.
    static std::map<std::string, std::string> Files(const std::string& folder) {
        std::map<std::string, std::string> files;
        for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
            if (e.is_regular_file())
                files[std::filesystem::relative(e.path(), folder).string()] =
                    ReadBytes(e.path().string());
        return files;
    }
    // The start count ("r") in the link an installation report opens.
    long StartCount(const std::vector<std::string>& env) {
        std::filesystem::remove(links);
        Run({"-Ix"}, env);
        const auto opened = Links(1);
        if (opened.empty()) return -1;
        const std::size_t c = opened.back().find("&c=r");
        return c == std::string::npos ? -1 : std::atol(opened.back().c_str() + c + 4);
    }
};

}  // namespace

TEST_F(InterruptTest, KilledRunsLeaveOnlyCompleteTextAndTheNextRunFinishes) {
    if (!std::filesystem::exists(std::filesystem::path(QUILLON_PUBLIC_CORPUS) / "python-pptx"))
        GTEST_SKIP() << "no corpus";
    const auto env = RecordingOpener();

    // A clean run gives the expected text of every file, and its duration.
    MakeSources(dir / "clean-in");
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(Run({Options(dir / "clean-in", dir / "clean-out", "")}, env).exitCode, 0);
    const long cleanMicroseconds =
        static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::steady_clock::now() - started)
                              .count());
    const auto expected = Files(dir / "clean-out");
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(kFiles));

    long starts = StartCount(env);
    ASSERT_GT(starts, 1);
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::string in = dir / ("in" + std::to_string(round)),
                          out = dir / ("out" + std::to_string(round));
        MakeSources(in);
        // Kill moments spread over a whole run, from the start-up to the last files.
        const long killAfter = cleanMicroseconds * round / 19;
        const std::string options = Options(in, out, ",RenameSource=.done");
        Run({options}, env, killAfter);

        if (std::filesystem::exists(out)) {
            for (const auto& [name, text] : Files(out)) {
                const bool hidden =
                    std::filesystem::path(name).filename().string().starts_with(".");
                if (hidden) continue;  // a temporary file beside its target, never output
                ASSERT_TRUE(expected.count(name)) << "unexpected output " << name;
                EXPECT_EQ(text, expected.at(name)) << name << " is incomplete";
            }
        }
        // A source renamed as done has its complete text.
        for (const auto& [name, bytes] : Files(in)) {
            if (!name.ends_with(".done")) continue;
            const std::string txt =
                name.substr(0, name.size() - std::string(".pptx.done").size()) + ".txt";
            ASSERT_TRUE(std::filesystem::exists(out + "/" + txt)) << name;
            EXPECT_EQ(ReadBytes(out + "/" + txt), expected.at(txt)) << txt;
        }

        // The folders that the next run converts into: those of sources not yet done.
        auto folderOf = [](const std::string& name) {
            return std::filesystem::path(name).parent_path().string();
        };
        std::set<std::string> touched{""};  // the target folder itself is tidied in any case
        for (const auto& [name, bytes] : Files(in))
            if (!name.ends_with(".done")) touched.insert(folderOf(name));

        // The next run, skipping what exists, completes the folder.
        ASSERT_EQ(Run({Options(in, out, ",RenameSource=.done,IsOverwrite=skip")}, env).exitCode, 0);
        std::size_t texts = 0;
        for (const auto& [name, text] : Files(out)) {
            if (std::filesystem::path(name).filename().string().starts_with(".")) {
                // The killed run's temporaries went where the next run converted.
                EXPECT_FALSE(touched.count(folderOf(name))) << name << " was left behind";
                continue;
            }
            ++texts;
            EXPECT_EQ(text, expected.at(name)) << name;
        }
        EXPECT_EQ(texts, static_cast<std::size_t>(kFiles));

        // The usage store survived: the start count goes on from where it was.
        const long now = StartCount(env);
        EXPECT_GT(now, starts + 1) << "the usage store was lost";
        starts = now;
    }
}
