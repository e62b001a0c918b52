#include "engine/ooxml/ooxmlPackage.h"

#include <gtest/gtest.h>

#include "engine/base/engineError.h"
#include "engine/base/engineLimits.h"
#include "engine/ooxml/ooxmlSlides.h"
#include "engine/testing/ooxmlTestPackage.h"
#include "errorText.h"
#include "platform/base/hvError.h"

namespace {

TEST(PartNameTest, TargetsResolveAgainstTheSourceFolder) {
    EXPECT_EQ(ResolvePartName("ppt/presentation.xml", "slides/slide1.xml"),
              "ppt/slides/slide1.xml");
    EXPECT_EQ(ResolvePartName("ppt/slides/slide1.xml", "../diagrams/data1.xml"),
              "ppt/diagrams/data1.xml");
    EXPECT_EQ(ResolvePartName("ppt/slides/slide1.xml", "/ppt/x/./y.xml"), "ppt/x/y.xml");
    EXPECT_EQ(ResolvePartName("", "ppt/presentation.xml"), "ppt/presentation.xml");
    EXPECT_EQ(ResolvePartName("ppt/a.xml", "media/image%201.png#frag"), "ppt/media/image 1.png");
    EXPECT_EQ(ResolvePartName("ppt/a.xml", "../../escape.xml"), "");
    EXPECT_EQ(RelationshipsPartName("ppt/presentation.xml"), "ppt/_rels/presentation.xml.rels");
    EXPECT_EQ(RelationshipsPartName(""), "_rels/.rels");
    EXPECT_TRUE(IsRelationshipType("http://purl.oclc.org/ooxml/officeDocument/relationships/slide",
                                   "slide"));
    EXPECT_FALSE(IsRelationshipType(kRelTypes + "slideLayout", "slide"));
    EXPECT_FALSE(IsRelationshipType(kRelTypes + "notesSlide", "slide"));
}

TEST(PackageTest, PartsAreFoundIgnoringCaseAndRelationshipsResolved) {
    std::string bytes = TPresentationBuilder().Slide(SlideXml("")).Bytes();
    auto package = ThvOoxmlPackage::FromBuffer(bytes, "deck.pptx");
    EXPECT_TRUE(package->HasPart("/PPT/Presentation.XML"));
    EXPECT_FALSE(package->HasPart("ppt/presentation.xm"));
    auto rels = package->ReadRelationships("ppt/presentation.xml");
    ASSERT_EQ(rels.size(), 1u);
    EXPECT_EQ(rels[0].Target, "ppt/slides/slide1.xml");
    EXPECT_TRUE(package->ReadRelationships("ppt/slides/slide9.xml").empty());
    EXPECT_EQ(ErrorOf([&] { package->ReadPart("ppt/missing.xml"); }),
              "\"deck.pptx\" is damaged: its part \"ppt/missing.xml\" is missing");
}

TEST(PresentationPackageTest, SlidesFollowTheIdListNotPartNames) {
    // The builder names the first listed slide "slide3.xml" and the last "slide1.xml".
    std::string bytes = TPresentationBuilder()
                            .Slide(SlideXml(Shape("title", Para("one"))))
                            .Slide(SlideXml(Shape("title", Para("two"))))
                            .Slide(SlideXml(Shape("title", Para("three"))))
                            .Bytes();
    auto package = ThvOoxmlPackage::FromBuffer(bytes, "deck.pptx");
    ThvPresentationText text = ReadOoxmlPresentation(*package);
    ASSERT_EQ(text.Slides.size(), 3u);
    EXPECT_EQ(text.Slides[0].Title, "one");
    EXPECT_EQ(text.Slides[2].Title, "three");
    EXPECT_FALSE(text.HasVBProject);
}

TEST(PresentationPackageTest, VbaProjectPartMeansMacros) {
    std::string bytes = TPresentationBuilder().Slide(SlideXml("")).WithMacros().Bytes();
    auto package = ThvOoxmlPackage::FromBuffer(bytes, "deck.pptm");
    EXPECT_TRUE(ReadOoxmlPresentation(*package).HasVBProject);
}

TEST(PresentationPackageTest, SmartArtIsReadThroughTheSlideRelationships) {
    std::string data =
        "<dgm:dataModel xmlns:dgm=\"http://schemas.openxmlformats.org/drawingml/2006/diagram\" "
        "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"><dgm:ptLst>"
        "<dgm:pt modelId=\"0\" type=\"doc\"/><dgm:pt modelId=\"1\"><dgm:t>" +
        Para("smart") +
        "</dgm:t></dgm:pt></dgm:ptLst><dgm:cxnLst><dgm:cxn modelId=\"9\" "
        "srcId=\"0\" destId=\"1\" srcOrd=\"0\" destOrd=\"0\"/></dgm:cxnLst>"
        "</dgm:dataModel>";
    std::string frame =
        "<p:graphicFrame><a:graphic><a:graphicData><dgm:relIds "
        "xmlns:dgm=\"http://schemas.openxmlformats.org/drawingml/2006/diagram\" r:dm=\"rId7\"/>"
        "</a:graphicData></a:graphic></p:graphicFrame>";
    std::string rels = "<Relationship Id=\"rId7\" Type=\"" + kRelTypes +
                       "diagramData\" Target=\"../diagrams/data1.xml\"/>";
    std::string bytes = TPresentationBuilder()
                            .Slide(SlideXml(frame), rels, {{"ppt/diagrams/data1.xml", data}})
                            .Bytes();
    auto package = ThvOoxmlPackage::FromBuffer(bytes, "deck.pptx");
    ThvPresentationText text = ReadOoxmlPresentation(*package);
    ASSERT_EQ(text.Slides.size(), 1u);
    ASSERT_EQ(text.Slides[0].Body.size(), 1u);
    EXPECT_EQ(text.Slides[0].Body[0].Text, "smart");
}

TEST(PresentationPackageTest, AChartOrDiagramWhosePartIsDamagedLosesOnlyItsText) {
    const std::string chartFrame =
        "<p:graphicFrame><a:graphic><a:graphicData><c:chart "
        "xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\" r:id=\"rId4\"/>"
        "</a:graphicData></a:graphic></p:graphicFrame>";
    const std::string chart =
        "<c:chartSpace xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\"><c:chart>"
        "<c:title><c:tx><c:v>Sales</c:v></c:tx></c:title></c:chart></c:chartSpace>";
    const std::string rels = "<Relationship Id=\"rId4\" Type=\"" + kRelTypes +
                             "chart\" Target=\"../charts/chart1.xml\"/>";
    const auto deck = [&](const std::string& chartBytes) {
        return TPresentationBuilder()
            .Slide(SlideXml(Shape("title", Para("Figures")) + chartFrame), rels,
                   {{"ppt/charts/chart1.xml", chartBytes}})
            .Bytes();
    };
    const std::string good = deck(chart);
    ThvPresentationText text = ReadOoxmlPresentation(*ThvOoxmlPackage::FromBuffer(good, "d.pptx"));
    ASSERT_EQ(text.Slides.at(0).Body.size(), 1u);
    EXPECT_EQ(text.Slides[0].Body[0].Text, "Sales");
    EXPECT_TRUE(text.Salvaged.empty());

    const std::string broken = deck("<c:chartSpace><c:chart>");
    text = ReadOoxmlPresentation(*ThvOoxmlPackage::FromBuffer(broken, "d.pptx"));
    EXPECT_EQ(text.Slides.at(0).Title, "Figures");
    EXPECT_TRUE(text.Slides[0].Body.empty());
    ASSERT_EQ(text.Salvaged.size(), 1u);
    EXPECT_EQ(text.Salvaged[0].rfind("slide 1 loses the text of a chart: its part "
                                     "\"ppt/charts/chart1.xml\" is not well-formed XML",
                                     0),
              0u)
        << text.Salvaged[0];
}

TEST(PresentationPackageTest, AChartShownInManyFramesIsReadOnce) {
    std::string frames;
    for (int i = 0; i < 500; ++i)
        frames +=
            "<p:graphicFrame><a:graphic><a:graphicData><c:chart "
            "xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\" "
            "r:id=\"rId4\"/></a:graphicData></a:graphic></p:graphicFrame>";
    // 64 KiB of chart: 500 readings would inflate 32 MiB, more than the file's limit here.
    const std::string chart =
        "<c:chartSpace xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\"><c:chart>"
        "<c:title><c:tx><c:v>Sales</c:v></c:tx></c:title></c:chart>" +
        std::string(64 * 1024, ' ') + "</c:chartSpace>";
    const std::string rels = "<Relationship Id=\"rId4\" Type=\"" + kRelTypes +
                             "chart\" Target=\"../charts/chart1.xml\"/>";
    ThvEngineLimits limits;
    limits.MaxFileBytes = 4u << 20;
    const auto read = [&](const std::string& chartBytes) {
        const std::string bytes = TPresentationBuilder()
                                      .Slide(SlideXml(Shape("title", Para("Figures")) + frames),
                                             rels, {{"ppt/charts/chart1.xml", chartBytes}})
                                      .Slide(SlideXml(frames), rels)
                                      .Bytes();
        return ReadOoxmlPresentation(*ThvOoxmlPackage::FromBuffer(bytes, "d.pptx", limits));
    };
    const ThvPresentationText text = read(chart);
    ASSERT_EQ(text.Slides.size(), 2u);
    EXPECT_EQ(text.Slides[0].Body.size(), 500u);
    EXPECT_EQ(text.Slides[1].Body.size(), 500u);
    EXPECT_EQ(text.Slides[1].Body.back().Text, "Sales");
    // A damaged one is read once too, and each frame still says what it lost.
    const ThvPresentationText broken = read("<c:chartSpace><c:chart>");
    EXPECT_EQ(broken.Salvaged.size(), 1000u);
}

TEST(PackageLimitsTest, PartSizeIsCheckedAtTheLimit) {
    ThvEngineLimits limits;
    limits.MaxPartBytes = 1u << 20;
    std::string atLimit(limits.MaxPartBytes, ' ');
    std::string bytes = TZipBuilder().Add("a.xml", atLimit).Add("b.xml", atLimit + " ").Bytes();
    auto package = ThvOoxmlPackage::FromBuffer(bytes, "bomb.pptx", limits);
    EXPECT_EQ(package->ReadPart("a.xml").size(), limits.MaxPartBytes);
    EXPECT_EQ(ErrorOf([&] { package->ReadPart("b.xml"); }),
              "\"bomb.pptx\" is refused as a likely zip bomb: its part \"b.xml\" inflates to "
              "more than 1 MiB");
    // The parts of one file together are limited too.
    limits.MaxFileBytes = limits.MaxPartBytes + 10;
    const std::string two = TZipBuilder().Add("a.xml", atLimit).Add("c.xml", "0123456789+").Bytes();
    auto total = ThvOoxmlPackage::FromBuffer(two, "sum.pptx", limits);
    total->ReadPart("a.xml");
    EXPECT_EQ(ErrorOf<EhvFileRefused>([&] { total->ReadPart("c.xml"); }),
              "\"sum.pptx\" is refused as a likely zip bomb: its parts inflate to more than "
              "1048586 bytes");
}

TEST(PackageLimitsTest, LyingSizeHeadersDoNotBuyMoreBytes) {
    std::string bytes = TZipBuilder().Add("big.xml", std::string(1 << 20, 'a')).Bytes();
    // Claim 10 bytes in both the local header and the central directory.
    auto patch = [&bytes](std::string_view signature, std::size_t sizeOffset) {
        std::size_t at = bytes.find(signature);
        ASSERT_NE(at, std::string::npos);
        bytes[at + sizeOffset] = 10;
        for (int i = 1; i < 4; ++i) bytes[at + sizeOffset + i] = 0;
    };
    patch(std::string_view("PK\x03\x04", 4), 22);
    patch(std::string_view("PK\x01\x02", 4), 24);
    auto package = ThvOoxmlPackage::FromBuffer(bytes, "liar.pptx");
    std::string message = ErrorOf([&] { package->ReadPart("big.xml"); });
    EXPECT_EQ(message.rfind("\"liar.pptx\" is damaged: its part \"big.xml\"", 0), 0u) << message;
    EXPECT_LE(package->InflatedBytes(), 10u);
}

TEST(PackageLimitsTest, DamagedDataAndWrongChecksumsAreCaught) {
    const std::string text(4096, 'x');
    const std::string good = TZipBuilder().Add("p.xml", text).Bytes();
    // The checksum in both headers (offsets 14 and 16 of the local and central headers).
    std::string wrongSum = good;
    for (auto [signature, offset] : {std::pair{std::string_view("PK\x03\x04", 4), 14},
                                     std::pair{std::string_view("PK\x01\x02", 4), 16}}) {
        const std::size_t at = wrongSum.find(signature);
        ASSERT_NE(at, std::string::npos);
        wrongSum[at + offset] ^= 0x55;
    }
    EXPECT_EQ(
        ErrorOf([&] { ThvOoxmlPackage::FromBuffer(wrongSum, "sum.pptx")->ReadPart("p.xml"); }),
        "\"sum.pptx\" is damaged: its part \"p.xml\" cannot be inflated (CRC error)");
    // A deflate block type that does not exist, in place of the part's first byte.
    std::string badData = good;
    const std::size_t data = good.find("p.xml") + 5;
    badData[data] = static_cast<char>(0x07);
    const std::string message =
        ErrorOf([&] { ThvOoxmlPackage::FromBuffer(badData, "bad.pptx")->ReadPart("p.xml"); });
    EXPECT_EQ(
        message,
        "\"bad.pptx\" is damaged: its part \"p.xml\" cannot be inflated (invalid compressed data)");
    EXPECT_EQ(ThvOoxmlPackage::FromBuffer(good, "good.pptx")->ReadPart("p.xml"), text);
}

TEST(PackageLimitsTest, EntryCountIsCheckedAtTheLimit) {
    ThvEngineLimits limits;
    limits.MaxEntries = 500;
    TZipBuilder zip;
    for (std::size_t i = 0; i < limits.MaxEntries; ++i) zip.Add(std::to_string(i), "");
    std::string atLimit = zip.Bytes();
    EXPECT_EQ(ThvOoxmlPackage::FromBuffer(atLimit, "many.pptx", limits)->EntryCount(),
              limits.MaxEntries);
    std::string overLimit = zip.Add("one more", "").Bytes();
    EXPECT_EQ(ErrorOf([&] { ThvOoxmlPackage::FromBuffer(overLimit, "many.pptx", limits); }),
              "\"many.pptx\" is refused: its container holds 501 parts, more than the limit "
              "of 500");
}

TEST(PackageLimitsTest, ADeckAtTheSlideLimitReadsAndOneMoreIsRefusedForItsSlides) {
    // Each slide with its relationships, a notes page and the notes' relationships: four parts
    // a slide, as real decks have, which the entry limit leaves room for.
    const std::size_t limit = ThvEngineLimits().MaxSlides;
    const auto deck = [](std::size_t slides) {
        TPresentationBuilder builder;
        for (std::size_t i = 0; i < slides; ++i) {
            const std::string n = std::to_string(i);
            builder.Slide(SlideXml(Shape("title", Para("s" + n))), "",
                          {{"ppt/notesSlides/notesSlide" + n + ".xml", "<p:notes/>"},
                           {"ppt/notesSlides/_rels/notesSlide" + n + ".xml.rels", "<r/>"}});
        }
        return builder.Bytes();
    };
    const std::string atLimit = deck(limit);
    auto package = ThvOoxmlPackage::FromBuffer(atLimit, "big.pptx");
    EXPECT_GT(package->EntryCount(), 4 * limit);
    const ThvPresentationText text = ReadOoxmlPresentation(*package);
    ASSERT_EQ(text.Slides.size(), limit);
    EXPECT_EQ(text.Slides.back().Title, "s" + std::to_string(limit - 1));
    const std::string over = deck(limit + 1);
    EXPECT_EQ(ErrorOf<EhvFileRefused>(
                  [&] { ReadOoxmlPresentation(*ThvOoxmlPackage::FromBuffer(over, "big.pptx")); }),
              "\"big.pptx\" is refused: it lists more than 10000 slides");
}

TEST(PackageLimitsTest, MediaIsNeverInflated) {
    // A picture that would be refused as a bomb if anything inflated it.
    ThvEngineLimits limits;
    limits.MaxPartBytes = 100000;
    std::string picture(limits.MaxPartBytes + 1, '\0');
    std::string rels = "<Relationship Id=\"rId3\" Type=\"" + kRelTypes +
                       "image\" Target=\"../media/image1.png\"/>";
    std::string bytes =
        TPresentationBuilder()
            .Slide(SlideXml(Shape("", Para("text")) +
                            "<p:pic><p:blipFill><a:blip r:embed=\"rId3\"/></p:blipFill></p:pic>"),
                   rels, {{"ppt/media/image1.png", picture}})
            .Bytes();
    auto package = ThvOoxmlPackage::FromBuffer(bytes, "pictures.pptx", limits);
    ThvPresentationText text = ReadOoxmlPresentation(*package);
    EXPECT_EQ(text.Slides.at(0).Body.at(0).Text, "text");
    EXPECT_LT(package->InflatedBytes(), 10000u);
}

}  // namespace
