// Hostile and broken files among good ones: each fails alone, quickly, with a message that names
// its problem, without the program's memory growing with the file, and every good file is
// converted.

#include <sys/resource.h>
#include <zlib.h>

#include <cstring>
#include <fstream>
#include <map>
#include <random>

#include "engine/testing/cfbTestWriter.h"
#include "engine/testing/ooxmlCryptoTestWriter.h"
#include "engine/testing/ooxmlTestPackage.h"
#include "engine/testing/pptTestWriter.h"
#include "programTest.h"

namespace {

// A deck whose one slide part is the file at scratch, deflated a piece at a time so that the
// test's memory never holds it inflated; the scratch file is removed.
void WriteDeckOfSlideFile(const std::string& path, const std::string& scratch) {
    z_stream zs{};
    ASSERT_EQ(deflateInit2(&zs, 1, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::ifstream in(scratch, std::ios::binary);
    std::string input(1 << 20, '\0'), packed;
    char output[1 << 16];
    uLong crc = crc32(0, nullptr, 0);
    std::uint64_t size = 0;
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        in.read(input.data(), static_cast<std::streamsize>(input.size()));
        const uInt got = static_cast<uInt>(in.gcount());
        crc = crc32(crc, reinterpret_cast<const Bytef*>(input.data()), got);
        size += got;
        zs.next_in = reinterpret_cast<Bytef*>(input.data());
        zs.avail_in = got;
        do {
            zs.next_out = reinterpret_cast<Bytef*>(output);
            zs.avail_out = sizeof output;
            status = deflate(&zs, got == 0 ? Z_FINISH : Z_NO_FLUSH);
            packed.append(output, sizeof output - zs.avail_out);
        } while (zs.avail_out == 0);
    }
    deflateEnd(&zs);
    std::filesystem::remove(scratch);
    WriteBytes(path, TPresentationBuilder()
                         .Slide(SlideXml(""))
                         .Zip()
                         .AddDeflated("ppt/slides/slide1.xml", std::move(packed),
                                      static_cast<std::uint32_t>(crc), size)
                         .Bytes());
}

// A deck whose one slide part inflates to size bytes: a slide head in a sparse file of that
// size, so neither the disk nor the test's memory holds the gigabyte.
void WriteZipBomb(const std::string& path, const std::string& scratch, std::uint64_t size) {
    {
        std::ofstream part(scratch, std::ios::binary);
        part << SlideXml("");
    }
    std::filesystem::resize_file(scratch, size);
    WriteDeckOfSlideFile(path, scratch);
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
    // One text atom of a binary deck claims 2 GiB: that text alone is lost.
    std::string textAtom = ReadBytes(QUILLON_SAMPLES "/product-launch.ppt");
    const std::u16string launch = u"Launch date";
    const std::size_t atom = textAtom.find(std::string(reinterpret_cast<const char*>(launch.data()),
                                                       launch.size() * sizeof(char16_t)));
    ASSERT_NE(atom, std::string::npos);
    ASSERT_EQ(textAtom.substr(atom - 6, 2), std::string("\xA0\x0F", 2));  // a text atom's header
    std::memcpy(&textAtom[atom - 4], "\xF0\xFF\xFF\x7F", 4);
    WriteBytes(In("textatom.ppt"), textAtom);
    const ProcessResult r = Run({"-P:Source=" + dir / "in/*.ppt?,Target=" + dir / "out," +
                                 "PureConsole=1,LogFile=" + dir / "run.log"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto log = Log();
    // The log keeps its form: a salvaged file is a success like any other.
    EXPECT_EQ(log.at("nodirectory.pptx"),
              std::make_pair(std::string("Success"), dir / "out/nodirectory.txt"));
    EXPECT_EQ(log.at("loop.ppt").first, "Success");
    EXPECT_EQ(log.at("textatom.ppt").first, "Success");
    const std::string text = ReadBytes(dir / "out/textatom.txt");
    for (const char* kept : {"Product launch", "Risks", "Supply of chips", "Owner: project office"})
        EXPECT_NE(text.find(kept), std::string::npos) << kept << " in\n" << text;
    EXPECT_EQ(text.find("Launch date"), std::string::npos);
    EXPECT_NE(ReadBytes(dir / "out/nodirectory.txt").find("Fonte de Pesquisa"), std::string::npos);
    // Standard error tells which files were salvaged, and how; the good file is not named.
    EXPECT_NE(r.err.find("Note: \"" + In("nodirectory.pptx") +
                         "\" was salvaged: its zip directory is damaged"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Note: \"" + In("loop.ppt") + "\" was salvaged: its chain of edits"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Note: \"" + In("textatom.ppt") +
                         "\" was salvaged: slide 1 loses text: record 0x0FA0 claims 2147483632 "
                         "bytes, more than its parent holds at offset "),
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

// The crypto library is loaded at the first encrypted file: where it cannot be had, those files
// fail and say what is missing, and the others convert as ever.
TEST_F(BadInputTest, WithoutTheCryptoLibraryOnlyEncryptedFilesFail) {
    const std::string binary = Corpus("poi/Password_Protected-hello.ppt");
    const std::string deck = Corpus("python-pptx/test_slides.pptx");
    if (binary.empty() || deck.empty()) GTEST_SKIP() << "no corpus";
    std::filesystem::create_directories(dir / "in");
    WriteBytes(In("binary.ppt"), binary);
    WriteBytes(In("agile.pptx"), crypto_test::EncryptAgile(deck, "hello", 1000));
    WriteBytes(In("plain.pptx"), deck);
    WriteBytes(dir / "passwords.txt", "hello\r\n");
    const ProcessResult r =
        Run({"-P:Source=" + dir / "in/*.ppt?,Target=" + dir / "out,PureConsole=1,LogFile=" +
             dir / "run.log,Passwords=" + dir / "passwords.txt"},
            {"LD_LIBRARY_PATH=" QUILLON_EMPTY_CRYPTO_DIR});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto log = Log();
    for (const char* name : {"binary.ppt", "agile.pptx"}) {
        EXPECT_EQ(log.at(name).first, "Failure") << name;
        const std::string& message = log.at(name).second;
        EXPECT_NE(message.find("is encrypted, and decrypting it needs the crypto library "
                               "libcrypto.so.3, which cannot be loaded ("),
                  std::string::npos)
            << message;
        EXPECT_NE(message.find("EVP_MD_CTX_new"), std::string::npos) << message;
    }
    EXPECT_EQ(log.at("plain.pptx").first, "Success");
    EXPECT_NE(ReadBytes(dir / "out/plain.txt").find("Col head 1"), std::string::npos);
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
    WriteDeckOfSlideFile(deck, scratch);

    // The program's memory over a small deck is the baseline (sanitizer builds take more).
    const std::string small = dir / "small.pptx";
    WriteBytes(small, TPresentationBuilder().Slide(SlideXml(Shape("", Para("small")))).Bytes());
    const ProcessResult baseline =
        Run({"-P:Source=" + small + ",Target=" + dir / "small-out,PureConsole=1"});
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
    // The part, what is read from it and the text written: about the part's size (66 MiB for
    // its 56 MB in a normal build), never the whole text of it twice over.
    EXPECT_LT(static_cast<std::uint64_t>(r.maxRssKb - baseline.maxRssKb) * 1024,
              QUILLON_MEMORY_FACTOR * slideBytes)
        << "peak KiB " << r.maxRssKb << ", over a small deck " << baseline.maxRssKb;
}

namespace {

/// A binary deck of totalBytes, nearly all of them a "Pictures" stream left as a hole of a
/// sparse file: a version 4 compound file (4096-byte sectors) with its allocation table, the
/// current-user record and the document stream written, the pictures never.
void WriteSparsePpt(const std::string& path, const std::string& document,
                    std::uint64_t totalBytes) {
    using namespace ppt_test;
    constexpr std::uint32_t kSector = 4096, kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF;
    const auto sectors = [](std::uint64_t bytes) { return (bytes + kSector - 1) / kSector; };
    const std::string currentUser =
        Rec(0x0FF6, U32(0x14) + U32(0xE391C05F) + document.substr(document.size() - 4) + U16(0) +
                        U16(0x03F4) + std::string("\3\0", 2) + U16(0) + U32(8));
    // Streams of 4096 bytes and more go to regular sectors: no mini stream is needed.
    std::string stream = document.substr(0, document.size() - 4);
    stream.resize(std::max<std::size_t>(stream.size(), 4096), '\0');
    const std::uint64_t pictures = totalBytes - 64 * kSector;
    const std::uint64_t data = 1 + sectors(4096) + sectors(stream.size()) + sectors(pictures);
    const std::uint64_t fatSectors = (data + 1024) / 1024 + 1;
    std::vector<std::uint32_t> fat(fatSectors * 1024, kFree);
    std::uint32_t next = 0;
    for (std::uint64_t i = 0; i < fatSectors; ++i) fat[next++] = 0xFFFFFFFD;
    const auto chain = [&](std::uint64_t count) {
        const std::uint32_t first = next;
        for (std::uint64_t i = 0; i < count; ++i, ++next)
            fat[next] = i + 1 == count ? kEnd : next + 1;
        return first;
    };
    const std::uint32_t directory = chain(1);
    const std::uint32_t userStart = chain(1);
    const std::uint32_t streamStart = chain(sectors(stream.size()));
    const std::uint32_t picturesStart = chain(sectors(pictures));
    std::string head(kSector, '\0');
    head.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    const auto put = [](std::string& b, std::size_t at, const std::string& v) {
        b.replace(at, v.size(), v);
    };
    put(head, 0x18, U16(0x3E) + U16(4) + U16(0xFFFE) + U16(12) + U16(6));
    put(head, 0x2C,
        U32(static_cast<std::uint32_t>(fatSectors)) + U32(directory) + U32(0) + U32(4096) +
            U32(kEnd) + U32(0) + U32(kEnd) + U32(0));
    for (std::uint32_t i = 0; i < 109; ++i)
        put(head, 0x4C + i * 4, U32(i < fatSectors ? i : kFree));
    std::string table;
    for (const std::uint32_t entry : fat) table += U32(entry);
    std::string dir(kSector, '\0');
    const auto entry = [&](int index, const std::string& name, int type, std::uint32_t right,
                           std::uint32_t child, std::uint32_t start, std::uint64_t size) {
        std::string e(128, '\0');
        for (std::size_t i = 0; i < name.size(); ++i) e[i * 2] = name[i];
        put(e, 0x40, U16(static_cast<std::uint16_t>(name.size() * 2 + 2)));
        e[0x42] = static_cast<char>(type);
        put(e, 0x44, U32(kFree) + U32(right) + U32(child));
        put(e, 0x74,
            U32(start) + U32(static_cast<std::uint32_t>(size)) +
                U32(static_cast<std::uint32_t>(size >> 32)));
        put(dir, index * 128, e);
    };
    entry(0, "Root Entry", 5, kFree, 1, kEnd, 0);
    entry(1, "Current User", 2, 2, kFree, userStart, 4096);
    entry(2, "PowerPoint Document", 2, 3, kFree, streamStart, stream.size());
    entry(3, "Pictures", 2, kFree, kFree, picturesStart, pictures);
    std::ofstream out(path, std::ios::binary);
    out << head << table << dir << std::string(currentUser).append(4096 - currentUser.size(), '\0')
        << stream;
    out.close();
    std::filesystem::resize_file(path, totalBytes);
}

}  // namespace

TEST_F(BadInputTest, ABinaryDeckBeyondTheOld256MiBCapConvertsWithoutBeingReadWhole) {
    using namespace ppt_test;
    TPptBuilder ppt;
    ppt.Object(1, Document({SlidePersist(2), Header(kTitle), Chars(u"Large deck")}));
    ppt.Object(2, Slide({OwnTextShape(kOther, Chars(u"beside 300 MB of pictures"))}));
    const std::uint32_t edit = ppt.Edit(1);
    std::filesystem::create_directories(dir / "in");
    WriteSparsePpt(In("large.ppt"), ppt.Stream() + U32(edit), 300ull << 20);
    // A child's peak counts the test's own pages it was forked with, which a sanitizer build
    // keeps high after the suite's larger tests: the program's growth is over a small deck's.
    const std::string small = dir / "small.pptx";
    WriteBytes(small, TPresentationBuilder().Slide(SlideXml(Shape("", Para("small")))).Bytes());
    const ProcessResult baseline =
        Run({"-P:Source=" + small + ",Target=" + dir / "small-out,PureConsole=1"});
    ASSERT_EQ(baseline.exitCode, 0) << baseline.err;
    const ProcessResult r = Run({"-P:Source=" + In("large.ppt") + ",Target=" + dir / "out," +
                                 "PureConsole=1,LogFile=" + dir / "run.log"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Log().at("large.ppt").first, "Success") << Log().at("large.ppt").second;
    EXPECT_NE(ReadBytes(dir / "out/large.txt").find("beside 300 MB of pictures"),
              std::string::npos);
    EXPECT_LT(r.maxRssKb, baseline.maxRssKb + 56 * 1024)
        << "peak KiB; over a small deck " << baseline.maxRssKb;
}
