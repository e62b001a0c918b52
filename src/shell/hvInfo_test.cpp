#include "shell/hvInfo.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/files/fileSystem.h"
#include "platform/system/shellOpen.h"
#include "project/hvProject.h"
#include "shell/hvUsageStore.h"
#include "tempDir.h"

namespace {

// Records the links instead of opening them.
class InfoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = SetShellOpenHandler([this](const std::string& link) { links.push_back(link); });
        project.Title = "Quillon Converter";
        project.Version = "2024.16.323.2227";
        project.ShortName = "quillon";
        hvProject = &project;
    }
    void TearDown() override {
        hvProject = nullptr;
        SetShellOpenHandler(previous_);
    }
    std::string StoreFileText(const ThvInfo& info) {
        auto text = DecodeUsageStore(ReadBytes(info.StorePath()), info.InstallId());
        return text ? *text : "<unreadable>";
    }

    TempDir dir;
    std::string exe = dir / "quillon";
    ThvProject project{dir / "project-owner"};
    std::vector<std::string> links;

  private:
    ThvShellOpenHandler previous_;
};

}  // namespace

TEST_F(InfoTest, FirstStartWritesTheStoreAtOnceAndCountsStarts) {
    {
        ThvInfo info(exe);
        EXPECT_NE(info.InstallId(), -1);  // the temporary folder has a time
        EXPECT_EQ(info.StorePath(), dir / "quillon.ext");
        EXPECT_EQ(StoreFileText(info), "v=2\r\nR=1\r\n");
        EXPECT_EQ(info.CounterText(), "r1");
    }
    ThvInfo again(exe);
    EXPECT_EQ(again.StoreText(), "v=2\r\nR=2\r\n");
}

TEST_F(InfoTest, CounterRules) {
    ThvInfo info(exe);
    const auto written = [&] { return GetFileTimes(info.StorePath())->LastWrite; };
    SetFileTimes(info.StorePath(), {std::nullopt, 0, 0});
    info.UpdateCounter("A", 0, 0);  // nothing added: no entry, no write
    EXPECT_EQ(written(), 0);
    EXPECT_EQ(info.StoreText(), "v=2\r\nR=1\r\n");

    info.UpdateCounter("W", 0, 1);
    info.UpdateCounter("A", 0, 40);
    info.UpdateCounter("A", 0, 2);
    EXPECT_NE(written(), 0);
    info.UpdateCounter("W", 16, 1);  // a value above 0 is set as it is
    EXPECT_EQ(info.StoreText(), "v=2\r\nR=1\r\nW=16\r\nA=42\r\n");

    SetFileTimes(info.StorePath(), {std::nullopt, 0, 0});
    info.UpdateCounter("W", 16, 1);  // same text: no write
    EXPECT_EQ(written(), 0);
    EXPECT_EQ(StoreFileText(info), "v=2\r\nR=1\r\nW=16\r\nA=42\r\n");
}

TEST_F(InfoTest, NonNumericCounterRestartsAndLowerCaseNamesStayOutOfTheCounterText) {
    {
        ThvInfo info(exe);
        info.UpdateCounter("C", 0, 3);
    }
    // Rewrite the store with a counter that is no number, as a damaged but valid file would.
    const int32_t id = ThvInfo(dir / "other").InstallId();  // same folder, same number
    WriteFileAtomic(dir / "quillon.ext", EncodeUsageStore("v=2\r\nR=4\r\nC=lots\r\nx=1\r\n", id));
    ThvInfo info(exe);
    info.UpdateCounter("C", 0, 1);
    EXPECT_EQ(info.CounterText(), "r5c1");
}

TEST_F(InfoTest, ForeignDamagedAndReadOnlyStores) {
    WriteFileAtomic(dir / "quillon.ext", EncodeUsageStore("v=2\r\nR=99\r\n", 12345));
    {
        ThvInfo info(exe);  // another installation's store is not read...
        EXPECT_EQ(info.StoreText(), "v=2\r\nR=1\r\n");
    }
    // ...and one without a start count is not either.
    WriteFileAtomic(dir / "quillon.ext",
                    EncodeUsageStore("v=2\r\nC=7\r\n", ThvInfo(dir / "x").InstallId()));
    {
        ThvInfo info(exe);
        EXPECT_EQ(info.StoreText(), "v=2\r\nR=1\r\n");
    }
    SetReadOnly(dir / "quillon.ext", true);
    {
        ThvInfo info(exe);
        EXPECT_EQ(StoreFileText(info), "v=2\r\nR=2\r\n");  // the read-only flag does not stop it
    }
    // A store that cannot be written costs only persistence.
    WriteBytes(dir / "file", "x");
    ThvInfo nowhere(dir / "file/quillon");
    nowhere.UpdateCounter("C", 0, 1);
    EXPECT_EQ(nowhere.CounterText(), "r1c1");
}

TEST_F(InfoTest, EventReportsAndPages) {
    ThvInfo info(exe);
    info.UpdateCounter("C", 0, 3);
    const std::string id = std::to_string(info.InstallId());

    info.OpenLink("", "err&e=2 files failed: \"a.ppt\"", "");
    info.OpenLink("download", "", "");
    info.OpenLink("", "", "");
    info.CommandLineReport('I', "-Ixyz");
    info.CommandLineReport('U', "/u");
    info.OpenLink("", "ins", "k=\"q\"");
    ASSERT_EQ(links.size(), 6u);
    EXPECT_EQ(links[0],
              "https://quillon.example.org/net/?a=err&e=2%20files%20failed:%20a.ppt"
              "&p=quillon&v=2024.16.323.2227&c=r1c3&i=" +
                  id);
    EXPECT_EQ(links[1],
              "https://quillon.example.org/en/quillon/download.htm"
              "?p=quillon&v=2024.16.323.2227&c=r1c3&i=" +
                  id);
    EXPECT_EQ(links[2], "https://quillon.example.org?p=quillon&v=2024.16.323.2227&c=r1c3&i=" + id);
    EXPECT_EQ(links[3],
              "https://quillon.example.org/net/?a=ins"
              "&p=quillon&v=2024.16.323.2227&c=r1c3&i=" +
                  id + "&xyz");
    EXPECT_EQ(links[4],
              "https://quillon.example.org/net/?a=uni"
              "&p=quillon&v=2024.16.323.2227&c=r1c3&i=" +
                  id);
    EXPECT_TRUE(links[5].ends_with("&k=\"q\""));  // extra text goes in unchanged
}

TEST_F(InfoTest, ReportLinksArePercentEncodedAndCappedWithACount) {
    ThvInfo info(exe);
    const std::string tail =
        "&p=quillon&v=2024.16.323.2227&c=r1&i=" + std::to_string(info.InstallId());
    info.OpenLink("", "err&e=a&b=c #1 50% \xC3\xA9t\xC3\xA9?+\"q\"\n", "");
    info.OpenLink("", "ins", "lang=en&x=a b#c\xC3\xA9%41");
    // A text of 3000 characters, two bytes each: cut at a character, with what was left out.
    std::string long_;
    for (int i = 0; i < 3000; ++i) long_ += "\xC3\xA9";
    info.OpenLink("", "err&e=" + long_, "");
    ASSERT_EQ(links.size(), 3u);
    EXPECT_EQ(links[0],
              "https://quillon.example.org/net/?a=err&e=a%26b%3Dc%20%231%2050%25%20"
              "%C3%A9t%C3%A9%3F%2Bq%0A" +
                  tail);
    EXPECT_EQ(links[1],
              "https://quillon.example.org/net/?a=ins" + tail + "&lang=en&x=a%20b%23c%C3%A9%41");
    const std::string& capped = links[2];
    EXPECT_LE(capped.size(), ThvInfo::MaxLinkLength);
    EXPECT_GT(capped.size(), ThvInfo::MaxLinkLength - 20);
    EXPECT_TRUE(capped.ends_with(tail)) << capped;
    const std::size_t kept = (capped.find("%20...") - capped.find("e=") - 2) / 6;
    const std::string note =
        "%20...%20%28" + std::to_string(3000 - kept) + "%20more%20characters%20left%20out%29";
    EXPECT_NE(capped.find("%C3%A9" + note + "&p="), std::string::npos) << capped;
}

// Every length that is cut keeps as many characters as fit: one more, with the note it would
// then need (whose number may have a digit fewer), would not.
TEST_F(InfoTest, ACutLinkKeepsAsMuchAsFitsWhateverTheNotesDigits) {
    ThvInfo info(exe);
    const std::string tail =
        "&p=quillon&v=2024.16.323.2227&c=r1&i=" + std::to_string(info.InstallId());
    auto linkWith = [&](std::size_t kept, std::size_t total) {
        return "https://quillon.example.org/net/?a=err&e=" + std::string(kept, 'a') +
               "%20...%20%28" + std::to_string(total - kept) +
               "%20more%20characters%20left%20out%29" + tail;
    };
    int cut = 0;
    for (std::size_t total = 1800; total <= 2100; ++total) {
        info.OpenLink("", "err&e=" + std::string(total, 'a'), "");
        const std::string& capped = links.back();
        ASSERT_LE(capped.size(), ThvInfo::MaxLinkLength) << total;
        if (capped.find("%20...") == std::string::npos) continue;  // it fits whole
        ++cut;
        const std::size_t kept = capped.find("%20...") - capped.find("e=") - 2;
        ASSERT_EQ(capped, linkWith(kept, total)) << total;
        EXPECT_GT(linkWith(kept + 1, total).size(), ThvInfo::MaxLinkLength) << total;
    }
    EXPECT_GT(cut, 150);  // the notes of these cuts run from one digit to three
}

TEST_F(InfoTest, SupportMailHelpAndErrorHandler) {
    project.Title = "Q&A & More";
    ThvInfo info(exe);
    info.OpenLink("supports", "ignored", "ignored");
    info.OpenLink("h", "", "");
    WriteBytes(dir / "quillon.chm", "x");
    info.OpenLink("h", "", "");
    info.AppException("Access violation?");
    ASSERT_EQ(links.size(), 4u);
    EXPECT_EQ(links[0],
              "mailto:support@quillon.example.org?subject=Support required for "
              "QAndA & More 2024.16.323.2227 - " +
                  std::to_string(info.InstallId()));
    EXPECT_EQ(links[1], dir / "quillon.pdf");  // missing, opened all the same
    EXPECT_EQ(links[2], dir / "quillon.chm");
    EXPECT_TRUE(
        links[3].starts_with("https://quillon.example.org/net/?a=err&e=Access%20violation%3F&"))
        << links[3];
    EXPECT_NE(links[3].find("&c=r1e1&"), std::string::npos) << links[3];
}

TEST_F(InfoTest, ConcurrentUpdatesCountEveryEvent) {
    ThvInfo info(exe);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&info, t] {
            for (int i = 0; i < 50; ++i) {
                info.UpdateCounter("W", 16 + (i % 2), 1);
                info.UpdateCounter("A", 0, 1);
                if (t == 0) info.OpenLink("", "", "");
            }
        });
    for (auto& thread : threads) thread.join();
    const std::string text = info.StoreText();
    EXPECT_NE(text.find("A=200\r\n"), std::string::npos) << text;
    info.SaveStore();
    EXPECT_EQ(StoreFileText(info), text);
}

TEST_F(InfoTest, InstalledProgramFindsItsHelpInItsDataFolderAndKeepsItsStoreElsewhere) {
    // <prefix>/bin/quillon with the guide in <prefix>/share/quillon/ and its files in a data
    // folder of the user's.
    std::filesystem::create_directories(dir / "bin");
    std::filesystem::create_directories(dir / "share/quillon");
    const std::string installed = dir / "bin/quillon";
    ThvInfo info(installed, dir / "data/quillon/quillon");
    EXPECT_EQ(info.StorePath(), dir / "data/quillon/quillon.ext");
    EXPECT_TRUE(FileExists(dir / "data/quillon/quillon.ext"));  // the first start wrote it
    EXPECT_FALSE(FileExists(dir / "bin/quillon.ext"));

    info.OpenLink("h", "", "");  // no guide anywhere: the missing one beside the program
    WriteBytes(dir / "share/quillon/quillon.pdf", "%PDF");
    info.OpenLink("h", "", "");
    WriteBytes(dir / "bin/quillon.pdf", "%PDF");  // a portable guide beside it wins
    info.OpenLink("h", "", "");
    ASSERT_EQ(links.size(), 3u);
    EXPECT_EQ(links[0], dir / "bin/quillon.pdf");
    EXPECT_EQ(links[1], dir / "share/quillon/quillon.pdf");
    EXPECT_EQ(links[2], dir / "bin/quillon.pdf");
}

// Every change is written when it is made, so the end writes the store only when a write
// failed or its file went away; an unchanged file stays the very same file.
TEST_F(InfoTest, TheEndWritesTheStoreOnlyWhenItsFileLacksTheCounters) {
    {
        ThvInfo info(exe);
        info.UpdateCounter("C", 0, 1);
    }
    const auto written = GetFileIdentity(dir / "quillon.ext");
    ASSERT_TRUE(written);
    {
        ThvInfo info(exe);
        EXPECT_EQ(StoreFileText(info), "v=2\r\nR=2\r\nC=1\r\n");
        EXPECT_NE(GetFileIdentity(info.StorePath())->Index, written->Index);  // R counted at once
        const auto started = GetFileIdentity(info.StorePath());
        info.UpdateCounter("A", 0, 0);  // no change
        EXPECT_EQ(GetFileIdentity(info.StorePath())->Index, started->Index);
    }
    {
        ThvInfo info(exe);
        DeleteFile(info.StorePath());
    }
    EXPECT_TRUE(FileExists(dir / "quillon.ext"));
    ThvInfo again(exe);
    EXPECT_EQ(again.StoreText(), "v=2\r\nR=4\r\nC=1\r\n");
}
