// The reader on real files made by other programs (../shared/corpus-public): the words expected
// appear in slide order and none of them twice; damaged files fail on their own.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "engine/presentationFile.h"
#include "platform/base/hvError.h"

namespace {

const std::string kCorpus = QUILLON_PUBLIC_CORPUS;

std::string PlainText(const ThvPresentationText& presentation) {
    std::string text;
    for (const ThvSlideText& slide : presentation.Slides) {
        text += slide.Title + "\n";
        for (const ThvParagraph& paragraph : slide.Body) text += paragraph.Text + "\n";
        text += "\f\n";
    }
    return text;
}

std::size_t Occurrences(const std::string& text, const std::string& word) {
    std::size_t count = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        ++count;
    }
    return count;
}

struct TCorpusFile {
    const char* Path;
    std::vector<std::string> Words;  // in reading order, each expected exactly once
    std::vector<std::string> Absent = {};
    bool Macros = false;
};

const std::vector<TCorpusFile> kFiles = {
    {"poi/sample.pptx", {"Nunc at risus vel erat", "Aenean non ante", "Lorem\nipsum\ndolor"}},
    {"poi/testPPT.pptx",
     {"Attachment Test", "developed by Rajiv Kumar Nistala", "Different words", "Watershed",
      "Black Panther", "Investment"}},
    {"poi/testPPT.pptm", {"Attachment Test", "Watershed", "Investment"}},
    {"poi/testPPT.ppsx", {"Attachment Test", "Watershed", "Investment"}},
    {"poi/testPPT.ppsm", {"Attachment Test", "Watershed", "Investment"}},
    {"python-pptx/test_slides.pptx",
     {"Test text", "Group test text", "Box 1", "Box 2", "Col head 1\tCol head 2",
      "Cell text 1\tCell text 2"}},
    {"python-pptx/tbl-cell.pptx",
     {"having custom margins\tvert anchor is inherited", "unladen swallows", "a\tb\tc", "d\te\tf",
      "g\th\ti"}},
    {"poi/smartart-simple.pptx", {"abc\ndef\nghi\n", "This file contains a SmartArt diagram"}},
    // Slide 4 is hidden: its sentences end with a full stop.
    {"poi/60810.pptx",
     {"Today\xE2\x80\x99s session", "OUR Talent approach", "change over time\n",
      "change over time.\n", "Diverse perspectives drive increased growth."}},
    {"poi/SimpleMacro.pptm", {"This is a macro slideshow!!", "subtitle"}, {}, true},
    {"python-pptx/missing_rels_item.pptx", {"Presentation Title Text", "Subtitle Text"}},
    {"poi/with_japanese.pptx",
     {"Row 1 Col 1\tRow 1 Col 2", "Suddenly some Japanese text:",
      "\xE3\x82\xBE\xE3\x83\xAB\xE3\x82\xB2\xE3\x81\xA8\xE5\xB0\xBE\xE5\xB4\x8E"}},
    // Comments and speaker notes are not slide text.
    {"poi/45545_Comment.pptx",
     {"Outline of the presentation", "Water financing model", "In summary"},
     {"test phrase", "testdoc"}},
    {"python-pptx/sld-notes.pptx", {}, {"Notes"}},
    // Chart texts from the charts' caches: title, series, categories; never the values.
    {"poi/bar-chart.pptx", {"My Bar Chart", "Sales", "1st Qtr", "4th Qtr"}, {"8.2"}},
    {"python-pptx/cht-charts.pptx", {"Series 1", "Series 3", "Category 1", "Category 4"}},
};

class CorpusTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::is_directory(kCorpus)) GTEST_SKIP() << kCorpus << " is absent";
    }
};

TEST_F(CorpusTest, ExpectedWordsAppearOnceInSlideOrder) {
    for (const TCorpusFile& file : kFiles) {
        SCOPED_TRACE(file.Path);
        ThvPresentationText presentation;
        ASSERT_NO_THROW(presentation = LoadPresentationFile(kCorpus + "/" + file.Path));
        EXPECT_EQ(presentation.HasVBProject, file.Macros);
        std::string text = PlainText(presentation);
        std::size_t position = 0;
        for (const std::string& word : file.Words) {
            EXPECT_EQ(Occurrences(text, word), 1u) << word;
            std::size_t at = text.find(word);
            EXPECT_TRUE(at != std::string::npos && at >= position) << word << " out of order";
            if (at != std::string::npos) position = at;
        }
        for (const std::string& word : file.Absent) EXPECT_EQ(Occurrences(text, word), 0u) << word;
    }
}

TEST_F(CorpusTest, EveryOfficeOpenXmlFileReadsOrFailsAsDamaged) {
    // Its only slide fails its checksum: nothing intact is left to read.
    const std::set<std::string> damaged = {
        "poi/clusterfuzz-testcase-minimized-POIXSLFFuzzer-6254434927378432.pptx",
    };
    const std::set<std::string> extensions = {".pptx", ".pptm", ".ppsx", ".ppsm", ".potx", ".potm"};
    std::size_t read = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(kCorpus)) {
        if (!extensions.count(entry.path().extension().string())) continue;
        std::string relative = std::filesystem::relative(entry.path(), kCorpus).generic_string();
        SCOPED_TRACE(relative);
        try {
            ThvPresentationText presentation = LoadPresentationFile(entry.path().string());
            EXPECT_FALSE(damaged.count(relative)) << "expected to fail";
            ++read;
        } catch (const EhvError& e) {
            EXPECT_TRUE(damaged.count(relative)) << e.what();
            EXPECT_NE(std::string(e.what()).find("\" is damaged: "), std::string::npos) << e.what();
        }
    }
    EXPECT_GE(read, 96u);
}

TEST_F(CorpusTest, BrokenZipsGiveTheTextOfTheirIntactPartsAndSaySo) {
    const auto read = [](const std::string& path) {
        return LoadPresentationFile(kCorpus + "/" + path);
    };
    // No central directory at all; every part intact.
    const ThvPresentationText divino = read("poi/Divino_Revelado.pptx");
    EXPECT_EQ(divino.Slides.size(), 12u);
    EXPECT_NE(PlainText(divino).find("Fonte de Pesquisa:"), std::string::npos);
    ASSERT_EQ(divino.Salvaged.size(), 1u);
    EXPECT_NE(divino.Salvaged[0].find("read from their local headers"), std::string::npos);
    // An inconsistent directory and a first slide that fails its checksum: the second slide.
    const ThvPresentationText second =
        read("poi/clusterfuzz-testcase-minimized-POIXSLFFuzzer-5463285576892416.pptx");
    ASSERT_EQ(second.Slides.size(), 2u);
    EXPECT_TRUE(second.Slides[0].Body.empty() && second.Slides[0].Title.empty());
    EXPECT_EQ(second.Slides[1].Title, "This is the second slide");
    ASSERT_EQ(second.Salvaged.size(), 2u);
    EXPECT_EQ(second.Salvaged[1],
              "slide 1 is lost: its part \"ppt/slides/slide1.xml\" fails its checksum");
    // The presentation part fails its checksum: the slides go by their names.
    const ThvPresentationText named =
        read("poi/clusterfuzz-testcase-minimized-POIFuzzer-5205835528404992.pptx");
    EXPECT_EQ(named.Slides.size(), 3u);
    const std::string text = PlainText(named);
    EXPECT_LT(text.find("Attachment Test"), text.find("Watershed"));
    EXPECT_NE(named.Salvaged.back().find("in the order of their part names"), std::string::npos);
}

TEST_F(CorpusTest, CompoundFilesGoToTheirOwnReader) {
    auto messageOf = [](const std::string& path) -> std::string {
        try {
            LoadPresentationFile(kCorpus + "/" + path);
        } catch (const EhvError& e) {
            return e.what();
        }
        return "(no error)";
    };
    // Detected as binary PowerPoint by content, whatever the name, and read by that reader.
    EXPECT_EQ(LoadPresentationFile(kCorpus + "/poi/SampleShow.ppt").Slides.size(), 2u);
    EXPECT_NE(messageOf("poi/Password_Protected-hello.ppt").find("protected with a password"),
              std::string::npos);
    EXPECT_NE(messageOf("poi/pp40only.ppt").find("PowerPoint 95 or older"), std::string::npos);
    EXPECT_NE(messageOf("poi/PPT95.ppt").find("PowerPoint 95 or older"), std::string::npos);
    EXPECT_NE(messageOf("README.md").find("is not a presentation"), std::string::npos);
}

}  // namespace
