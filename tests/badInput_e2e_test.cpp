// Hostile and broken files among good ones: each fails alone, quickly, with a message that names
// its problem, without the program's memory growing with the file, and every good file is
// converted.

#include <sys/resource.h>
#include <zip.h>

#include <cstring>
#include <fstream>
#include <map>
#include <random>

#include "cfbTestWriter.h"
#include "ooxmlCryptoTestWriter.h"
#include "ooxmlTestPackage.h"
#include "programTest.h"

namespace {

// A deck whose one slide part inflates to size bytes: a slide head in a sparse file of that
// size, so neither the disk nor the test's memory holds the gigabyte.
void WriteZipBomb(const std::string& path, const std::string& scratch, std::uint64_t size) {
    const std::string head = SlideXml("");
    {
        std::ofstream part(scratch, std::ios::binary);
        part << head;
    }
    std::filesystem::resize_file(scratch, size);
    WriteBytes(path, TPresentationBuilder().Slide(head).Bytes());
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), 0, &error);
    ASSERT_NE(archive, nullptr);
    zip_source_t* source = zip_source_file(archive, scratch.c_str(), 0, -1);
    ASSERT_NE(source, nullptr);
    const zip_int64_t index =
        zip_file_add(archive, "ppt/slides/slide1.xml", source, ZIP_FL_OVERWRITE);
    ASSERT_GE(index, 0);
    zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 1);
    ASSERT_EQ(zip_close(archive), 0);
    std::filesystem::remove(scratch);
}

class BadInputTest : public ProgramTest {
  protected:
    std::string In(const std::string& name) { return dir / ("in/" + name); }
    std::string Corpus(const std::string& name) {
        return ReadBytes((std::filesystem::path(QUILLON_PUBLIC_CORPUS) / name).string());
    }
    // The run's log lines by file name: state word and result.
    std::map<std::string, std::pair<std::string, std::string>> Log() {
        std::map<std::string, std::pair<std::string, std::string>> byFile;
        const std::string text = ReadBytes(dir / "run.log");
        for (std::size_t pos = 0, end; (end = text.find("\r\n", pos)) != std::string::npos;
             pos = end + 2) {
            const std::string line = text.substr(pos, end - pos);
            const std::size_t a = line.find(" => "), b = line.find(" => ", a + 4);
            const std::string source = line.substr(a + 4, b - a - 4);
            byFile[source.substr(source.rfind('/') + 1)] = {line.substr(0, a), line.substr(b + 4)};
        }
        return byFile;
    }
};

}  // namespace

TEST_F(BadInputTest, EachBadFileFailsAloneWithItsOwnMessage) {
    const std::string goodDeck = Corpus("python-pptx/test_slides.pptx");
    const std::string goodPpt = ReadBytes(QUILLON_SAMPLES "/product-launch.ppt");
    if (goodDeck.empty() || goodPpt.empty()) GTEST_SKIP() << "no sample files";
    std::filesystem::create_directories(dir / "in");
    WriteBytes(In("good.pptx"), goodDeck);
    WriteBytes(In("good.ppt"), goodPpt);

    // What the messages must name, by file.
    std::map<std::string, std::string> expected;
    WriteBytes(In("empty.pptx"), "");
    expected["empty.pptx"] = "not a presentation";
    WriteBytes(In("empty.ppt"), "");
    expected["empty.ppt"] = "not a presentation";
    for (int k = 1; k <= 8; ++k) {
        // Damaged, or salvaged from the parts before the cut (SalvagedFilesConvertAndSaySo).
        WriteBytes(In("cut" + std::to_string(k) + ".pptx"),
                   goodDeck.substr(0, goodDeck.size() * k / 9));
        expected["cut" + std::to_string(k) + ".pptx"] = "";
        WriteBytes(In("cut" + std::to_string(k) + ".ppt"),
                   goodPpt.substr(0, goodPpt.size() * k / 9));
        expected["cut" + std::to_string(k) + ".ppt"] = "";  // damaged, or its text ends early
    }
    std::mt19937 random(42);
    std::string noise(65536, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    WriteBytes(In("noise.pptx"), noise);
    expected["noise.pptx"] = "not a presentation";
    WriteBytes(In("noise.ppt"), noise);
    expected["noise.ppt"] = "not a presentation";
    WriteBytes(In("letter.ppt"), "Dear reader,\r\nthis is a text file with the wrong name.\r\n");
    expected["letter.ppt"] = "not a presentation";

    WriteZipBomb(In("bomb.pptx"), dir / "bomb-part", (1ull << 30) + 4096);
    expected["bomb.pptx"] = "ppt/slides/slide1.xml";

    TZipBuilder many = TPresentationBuilder().Slide(SlideXml(Shape("", Para("hi")))).Zip();
    for (int i = 0; i < 100000; ++i) many.Add("ppt/media/x" + std::to_string(i), "", true);
    WriteBytes(In("manyparts.pptx"), many.Bytes());
    expected["manyparts.pptx"] = "parts";

    std::string nested;
    for (int i = 0; i < 100000; ++i) nested += "<p:grpSp>";
    for (int i = 0; i < 100000; ++i) nested += "</p:grpSp>";
    WriteBytes(In("deep.pptx"), TPresentationBuilder().Slide(SlideXml(nested)).Bytes());
    expected["deep.pptx"] = "deeper";

    TTestCfb looping = BuildTestCfb({{"PowerPoint Document", std::string(20000, 'x')},
                                     {"Current User", std::string(40, '\0')}});
    const std::uint32_t start = looping.StartSector.at("PowerPoint Document");
    looping.Put32(looping.FatEntryOffset(start + 2), start);  // the chain runs back to its start
    WriteBytes(In("loop.ppt"), looping.Bytes);
    expected["loop.ppt"] = "damaged";

    // The document container of a real file claims more bytes than its stream holds.
    std::string longRecord = goodPpt;
    const std::size_t container = longRecord.find(std::string("\x0F\x00\xE8\x03", 4));
    ASSERT_NE(container, std::string::npos);
    std::memcpy(&longRecord[container + 4], "\xF0\xFF\xFF\x0F", 4);
    WriteBytes(In("longrecord.ppt"), longRecord);
    expected["longrecord.ppt"] = "damaged";

    WriteBytes(In("locked.pptx"), BuildTestCfb({{"EncryptionInfo", std::string(200, '\1')},
                                                {"EncryptedPackage", std::string(5000, '\2')}})
                                      .Bytes);
    expected["locked.pptx"] = "password";

    // The memory of a run over the good files alone is the baseline.
    std::filesystem::create_directories(dir / "good");
    WriteBytes(dir / "good/good.pptx", goodDeck);
    WriteBytes(dir / "good/good.ppt", goodPpt);
    const ProcessResult baseline =
        Run({"-P:Source=" + dir / "good/*.ppt?,Target=" + dir / "good-out," +
             "PureConsole=1,ThreadsCount=2"});
    ASSERT_EQ(baseline.exitCode, 0) << baseline.err;

    // Pairs such as good.ppt and good.pptx meet at one text file; each is to be converted on
    // its own here, so the second of a pair takes the new name.
    const std::string options =
        "-P:Source=" + dir / "in/*.ppt?,Target=" + dir / "out,PureConsole=1," +
        "ThreadsCount=2,IsOverwrite=False,LogFile=" + dir / "run.log";
    const ProcessResult r = Run({options});
    EXPECT_EQ(r.exitCode, 0) << r.err;

    const auto log = Log();
    EXPECT_EQ(log.at("good.pptx").first, "Success");
    EXPECT_EQ(log.at("good.ppt").first, "Success");
    for (const auto& [name, words] : expected) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(log.count(name));
        if (words.empty()) continue;  // a cut .ppt may still read, with less text
        EXPECT_EQ(log.at(name).first, "Failure");
        EXPECT_NE(log.at(name).second.find(words), std::string::npos) << log.at(name).second;
        EXPECT_NE(log.at(name).second.find(name), std::string::npos)
            << "the message names the file";
    }
    // No file made the program's memory grow with its size (the bomb alone would need 1 GiB).
    EXPECT_LT(r.maxRssKb, baseline.maxRssKb + 64 * 1024)
        << "peak KiB; good files alone: " << baseline.maxRssKb;
}

TEST_F(BadInputTest, SalvagedFilesConvertAndSaySoOnStandardError) {
    const std::string brokenZip = Corpus("poi/Divino_Revelado.pptx");
    const std::string loopingPpt = Corpus("poi/57272_corrupted_usereditatom.ppt");
    const std::string goodDeck = Corpus("python-pptx/test_slides.pptx");
    if (brokenZip.empty() || loopingPpt.empty() || goodDeck.empty()) GTEST_SKIP() << "no corpus";
    std::filesystem::create_directories(dir / "in");
    WriteBytes(In("nodirectory.pptx"), brokenZip);
    WriteBytes(In("loop.ppt"), loopingPpt);
    WriteBytes(In("good.pptx"), goodDeck);
    const ProcessResult r = Run({"-P:Source=" + dir / "in/*.ppt?,Target=" + dir / "out," +
                                 "PureConsole=1,LogFile=" + dir / "run.log"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto log = Log();
    // The log keeps its form: a salvaged file is a success like any other.
    EXPECT_EQ(log.at("nodirectory.pptx"),
              std::make_pair(std::string("Success"), dir / "out/nodirectory.txt"));
    EXPECT_EQ(log.at("loop.ppt").first, "Success");
    EXPECT_NE(ReadBytes(dir / "out/nodirectory.txt").find("Fonte de Pesquisa"), std::string::npos);
    // Standard error tells which files were salvaged, and how; the good file is not named.
    EXPECT_NE(r.err.find("Note: \"" + In("nodirectory.pptx") +
                         "\" was salvaged: its zip directory is damaged"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Note: \"" + In("loop.ppt") + "\" was salvaged: its chain of edits"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("good.pptx"), std::string::npos) << r.err;
}

TEST_F(BadInputTest, ThePasswordsOptionOpensProtectedFilesAndNeverShowsAPassword) {
    const std::string binary = Corpus("poi/Password_Protected-hello.ppt");
    const std::string deck = Corpus("python-pptx/test_slides.pptx");
    if (binary.empty() || deck.empty()) GTEST_SKIP() << "no corpus";
    std::filesystem::create_directories(dir / "in");
    WriteBytes(In("binary.ppt"), binary);
    WriteBytes(In("agile.pptx"), crypto_test::EncryptAgile(deck, "correct horse", 1000));
    WriteBytes(In("unknown.pptx"), crypto_test::EncryptStandard(deck, "nobody knows"));
    WriteBytes(dir / "passwords.txt", "wrong guess\r\nhello\r\ncorrect horse\r\n");
    const std::string options = "-P:Source=" + dir / "in/*.ppt?,Target=" + dir / "out," +
                                "PureConsole=1,LogFile=" + dir / "run.log";
    // Without the option every one of them is protected, as before.
    ProcessResult r = Run({options});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (const char* name : {"binary.ppt", "agile.pptx", "unknown.pptx"}) {
        EXPECT_NE(Log().at(name).second.find("is protected with a password"), std::string::npos);
    }
    r = Run({options + ",Passwords=" + dir / "passwords.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto log = Log();
    EXPECT_EQ(log.at("binary.ppt").first, "Success");
    EXPECT_EQ(log.at("agile.pptx").first, "Success");
    EXPECT_NE(ReadBytes(dir / "out/agile.txt").find("Col head 1"), std::string::npos);
    EXPECT_EQ(log.at("unknown.pptx").first, "Failure");
    for (const char* password : {"wrong guess", "hello", "correct horse"}) {
        EXPECT_EQ(ReadBytes(dir / "run.log").find(password), std::string::npos) << password;
        EXPECT_EQ(r.err.find(password), std::string::npos) << password;
    }
}

TEST_F(BadInputTest, ASlideOfAMillionTextRunsConvertsInBoundedMemory) {
    // Runs as PowerPoint writes them, language and spell-check marks included: about 56 MB of
    // slide XML, a thousand paragraphs of a thousand runs.
    const std::string scratch = dir / "slide.xml";
    {
        std::ofstream slide(scratch, std::ios::binary);
        const std::string head = SlideXml("<p:sp><p:txBody><a:bodyPr/>");
        slide << head.substr(0, head.find("</p:spTree>"));
        std::string paragraph = "<a:p>";
        for (int run = 0; run < 1000; ++run) {
            paragraph += "<a:r><a:rPr lang=\"en-US\" dirty=\"0\"/><a:t>w" +
                         std::to_string(run % 10) + " </a:t></a:r>";
        }
        paragraph += "</a:p>";
        for (int i = 0; i < 1000; ++i) slide << paragraph;
        slide << "</p:txBody></p:sp></p:spTree></p:cSld></p:sld>";
    }
    const auto slideBytes = std::filesystem::file_size(scratch);
    ASSERT_GT(slideBytes, 50u << 20);
    std::filesystem::create_directories(dir / "in");
    const std::string deck = In("million.pptx");
    WriteBytes(deck, TPresentationBuilder().Slide(SlideXml("")).Bytes());
    int error = 0;
    zip_t* archive = zip_open(deck.c_str(), 0, &error);
    ASSERT_NE(archive, nullptr);
    zip_source_t* source = zip_source_file(archive, scratch.c_str(), 0, -1);
    ASSERT_GE(zip_file_add(archive, "ppt/slides/slide1.xml", source, ZIP_FL_OVERWRITE), 0);
    ASSERT_EQ(zip_close(archive), 0);
    std::filesystem::remove(scratch);

    const ProcessResult r = Run({"-P:Source=" + deck + ",Target=" + dir / "out," +
                                 "PureConsole=1,LogFile=" + dir / "run.log"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Log().at("million.pptx").first, "Success") << Log().at("million.pptx").second;
    const std::string text = ReadBytes(dir / "out/million.txt");
    std::size_t lines = 0;
    for (std::size_t at = text.find("w0 w1 "); at != std::string::npos;
         at = text.find("\r\n", at + 1))
        ++lines;
    EXPECT_GE(lines, 1000u);
    // The part, what is read from it and the text written: a few times the part, not more.
    EXPECT_LT(static_cast<std::uint64_t>(r.maxRssKb) * 1024, 4 * slideBytes)
        << "peak KiB " << r.maxRssKb;
}
