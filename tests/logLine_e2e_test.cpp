// What a run writes about its files cannot be bent by their names: the log's lines keep their
// form whatever a name holds, and the event report's link stays one well-formed address.

#include <set>

#include "logLines.h"
#include "programTest.h"

namespace {

class LogLineTest : public ProgramTest {
  protected:
    bool MakeDecks(const std::vector<std::string>& good, const std::vector<std::string>& bad) {
        const std::string deck = ReadBytes(std::filesystem::path(QUILLON_PUBLIC_CORPUS) /
                                           "python-pptx/test_slides.pptx");
        if (deck.empty()) return false;
        std::filesystem::create_directories(dir / "in");
        for (const std::string& name : good) WriteBytes(dir / ("in/" + name), deck);
        for (const std::string& name : bad) WriteBytes(dir / ("in/" + name), "not a deck");
        return true;
    }
    // The query of a link as its fields, percent-decoded, in their order.
    static std::vector<std::pair<std::string, std::string>> Query(const std::string& link) {
        std::vector<std::pair<std::string, std::string>> fields;
        const std::string query = link.substr(link.find('?') + 1);
        for (std::size_t pos = 0; pos <= query.size();) {
            std::size_t end = query.find('&', pos);
            if (end == std::string::npos) end = query.size();
            const std::string field = query.substr(pos, end - pos);
            const std::size_t eq = field.find('=');
            std::string value;
            for (std::size_t i = eq + 1; i < field.size(); ++i) {
                if (field[i] == '%' && i + 2 < field.size()) {
                    value += static_cast<char>(std::stoi(field.substr(i + 1, 2), nullptr, 16));
                    i += 2;
                } else {
                    value += field[i];
                }
            }
            fields.push_back({field.substr(0, eq), value});
            pos = end + 1;
        }
        return fields;
    }
};

}  // namespace

TEST_F(LogLineTest, NamesCannotForgeOrBreakLogLines) {
    const std::vector<std::string> good = {"two\nFailure => forged.pptx",
                                           "esc\x1b[2J.pptx",
                                           "tab\there.pptx",
                                           "\xff\xfe bytes.pptx",
                                           "back\\slash.pptx",
                                           "arrow => inside.pptx",
                                           "return\r.pptx",
                                           "del\x7f.pptx",
                                           "plain.pptx",
                                           "nel\xc2\x85.pptx",
                                           "rtl\xe2\x80\xae.pptx"};
    const std::vector<std::string> bad = {"broken\n=> x.pptx"};
    if (!MakeDecks(good, bad)) GTEST_SKIP() << "no corpus";
    const ProcessResult r = Run({"-P:Source=" + dir / "in/*.ppt?,Target=" +
                                 dir / "out,PureConsole=1,LogFile=" + dir / "run.log"});
    EXPECT_EQ(r.exitCode, 0) << r.err;

    // Every byte of the log is printable ASCII but the line ends: no control character, no
    // byte of a name the code page would turn into something else.
    const std::string text = ReadBytes(dir / "run.log");
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const bool lineEnd = text.compare(i, 2, "\r\n") == 0 || (i > 0 && text[i - 1] == '\r');
        if (!lineEnd) {
            EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "byte " << int(c) << " at " << i;
        }
    }
    // One line per file, three fields each, and the fields name the files exactly.
    std::set<std::string> sources;
    for (const LogLine& line : ReadLog(dir / "run.log")) {
        EXPECT_EQ(line.Separators, 2u);
        sources.insert(line.Source);
        const std::string name = line.Source.substr((dir / "in/").size());
        const bool isGood = std::find(good.begin(), good.end(), name) != good.end();
        EXPECT_EQ(line.State, isGood ? "Success" : "Failure") << name;
        if (isGood) {
            // The target's name has "_" for the other platform's delimiter.
            std::string text = name.substr(0, name.size() - 5) + ".txt";
            std::replace(text.begin(), text.end(), '\\', '_');
            EXPECT_EQ(line.Result, dir / ("out/" + text));
            EXPECT_TRUE(std::filesystem::exists(line.Result)) << line.Result;
        } else {
            EXPECT_NE(line.Result.find(line.Source), std::string::npos) << line.Result;
        }
    }
    EXPECT_EQ(sources.size(), good.size() + bad.size());
}

TEST_F(LogLineTest, TheReportLinkIsPercentEncodedAndCapped) {
    const std::string odd = "a&b #c%d \xc3\xa9?=e\".pptx";
    if (!MakeDecks({}, {odd})) GTEST_SKIP() << "no corpus";
    const auto env = RecordingOpener();
    ProcessResult r =
        Run({"-P:Source=" + dir / "in/*.ppt?,Target=" + dir / "out,PureConsole=1"}, env);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    auto links = Links(1);
    ASSERT_EQ(links.size(), 1u);
    const std::string link = links[0];
    for (unsigned char c : link) EXPECT_TRUE(c > 0x20 && c < 0x7F && c != '#' && c != '"') << link;
    EXPECT_NE(link.find("%3F"), std::string::npos) << link;
    // The query keys and their order stay; the message comes back whole.
    const auto query = Query(link);
    ASSERT_EQ(query.size(), 6u) << link;
    const std::vector<std::string> keys = {"a", "e", "p", "v", "c", "i"};
    for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(query[i].first, keys[i]) << link;
    EXPECT_EQ(query[0].second, "err");
    std::string unquoted = dir / ("in/" + odd);
    unquoted.erase(std::remove(unquoted.begin(), unquoted.end(), '"'), unquoted.end());
    EXPECT_NE(query[1].second.find(unquoted), std::string::npos) << query[1].second;

    // Many failures with long names: the link stays within its cap and says what it left out.
    std::filesystem::remove_all(dir / "in");
    std::vector<std::string> many;
    for (int i = 0; i < 40; ++i)
        many.push_back(std::string(180, 'n') + std::to_string(i) + ".pptx");
    MakeDecks({}, many);
    r = Run({"-P:Source=" + dir / "in/*.ppt?,Target=" + dir / "out,PureConsole=1"}, env);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    links = Links(2);
    ASSERT_EQ(links.size(), 2u);
    EXPECT_LE(links[1].size(), 2000u);
    const auto capped = Query(links[1]);
    ASSERT_EQ(capped.size(), 6u) << links[1];
    EXPECT_EQ(capped[5].first, "i");
    EXPECT_NE(capped[1].second.find("more characters left out"), std::string::npos)
        << capped[1].second;
}
