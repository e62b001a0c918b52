// A .ppt and the .pptx PowerPoint saved from it must give the same outline, line for line.

#include <gtest/gtest.h>

#include "engine/outline/rtfOutline.h"
#include "engine/ppt/pptSlideText.h"
#include "engine/presentationFile.h"
#include "platform/files/fileSystem.h"

namespace {

const std::string kCorpus = QUILLON_PUBLIC_CORPUS "/poi/";

ThvPresentationText ReadPair(const std::string& name) {
    const std::string bytes = ReadFileBytes(kCorpus + name, 64u << 20);
    if (name.ends_with(".ppt")) return ReadPptPresentation(bytes, name);
    return LoadPresentationBytes(bytes, name);
}

class PptPairTest : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        if (!DirectoryExists(kCorpus)) GTEST_SKIP() << "no public corpus at " << kCorpus;
    }
};

TEST_P(PptPairTest, SameOutlineAsTheOpenXmlTwin) {
    const ThvPresentationText binary = ReadPair(GetParam() + ".ppt");
    // Slide numbers and footers included: the binary file's headers-and-footers settings put
    // them where the Open XML file has shapes of their own.
    const ThvPresentationText openXml =
        ReadPair(GetParam() + (GetParam() == "SimpleMacro" ? ".pptm" : ".pptx"));
    ASSERT_FALSE(binary.Slides.empty());
    EXPECT_EQ(WriteRtfOutline(binary), WriteRtfOutline(openXml));
    EXPECT_EQ(binary.HasVBProject, openXml.HasVBProject);
}

INSTANTIATE_TEST_SUITE_P(CorpusPairs, PptPairTest,
                         ::testing::Values("SampleShow", "WithMaster", "SimpleMacro", "bug60993",
                                           "bug58144-headers-footers-2007", "alterman_security"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::erase(name, '-');
                             std::erase(name, '_');
                             return name;
                         });

}  // namespace
