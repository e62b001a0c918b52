// Packages whose central directory is gone, cut off or inconsistent: their parts come from the
// local headers, each only when it is intact, and a presentation loses only what is damaged.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "engine/base/engineError.h"
#include "engine/ooxml/ooxmlPackage.h"
#include "engine/ooxml/ooxmlSlides.h"
#include "engine/testing/ooxmlTestPackage.h"
#include "errorText.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

std::string Read(const std::string& bytes, const std::string& part,
                 const ThvEngineLimits& limits = {}) {
    return ThvOoxmlPackage::FromBuffer(bytes, "deck.pptx", limits)->ReadPart(part);
}

/// The package without its central directory: cut where the directory begins.
std::string WithoutDirectory(const std::string& zip) {
    return zip.substr(0, zip.find(std::string_view("PK\x01\x02", 4)));
}

std::vector<std::string> Titles(const ThvPresentationText& deck) {
    std::vector<std::string> titles;
    for (const ThvSlideText& slide : deck.Slides) titles.push_back(slide.Title);
    return titles;
}

TEST(ZipSalvageTest, PartsAreFoundByTheirLocalHeadersWhenTheDirectoryIsGone) {
    const std::string text(5000, 'x');
    TLocalZipWriter zip;
    zip.Add("[Content_Types].xml", "<Types/>", true)
        .Add("ppt/slides/slide1.xml", text, false)
        .Add("ppt/media/image1.png", "\x89PNG stored", false, true);
    const std::string bytes = zip.Bytes();  // a buffer outlives its package
    auto package = ThvOoxmlPackage::FromBuffer(bytes, "deck.pptx");
    EXPECT_TRUE(package->Salvaged());
    EXPECT_EQ(package->SalvageReason(), "Not a zip archive");
    EXPECT_EQ(package->EntryCount(), 3u);
    EXPECT_EQ(package->ReadPart("[content_types].xml"), "<Types/>");
    EXPECT_EQ(package->ReadPart("ppt/slides/slide1.xml"), text);
    EXPECT_EQ(package->ReadPart("ppt/media/image1.png"), "\x89PNG stored");
    // A package that opens is read through its directory, as always.
    EXPECT_FALSE(ThvOoxmlPackage::FromBuffer(TZipBuilder().Add("a", "b").Bytes(), "z")->Salvaged());
}

TEST(ZipSalvageTest, OnlyIntactPartsAreUsed) {
    std::string text = "<p:sld>";
    std::uint32_t seed = 12345;  // letters that deflate cannot fold away
    for (int i = 0; i < 3000; ++i) {
        seed = seed * 1103515245 + 12345;
        text += static_cast<char>('a' + (seed >> 16) % 26);
    }
    text += "</p:sld>";
    const auto error = [](const std::string& bytes) {
        return ErrorOf([&] { Read(bytes, "p.xml"); });
    };
    for (const bool descriptor : {false, true}) {
        SCOPED_TRACE(descriptor);
        TLocalZipWriter zip;
        zip.Add("p.xml", text, descriptor);
        const std::string good = zip.Bytes();
        EXPECT_EQ(Read(good, "p.xml"), text);
        std::string flipped = good;
        ASSERT_GT(good.size(), zip.DataOffsets[0] + 100);
        flipped[zip.DataOffsets[0] + 40] ^= 0x20;
        EXPECT_THAT(error(flipped), HasSubstr("is damaged: its part \"p.xml\" "));
        EXPECT_THAT(error(good.substr(0, good.size() - 30)),
                    HasSubstr("its part \"p.xml\" is cut off"));
    }
    // Nothing but the checksum is wrong, in the header or in the descriptor.
    TLocalZipWriter stated;
    stated.Add("p.xml", text, false);
    std::string wrongSum = stated.Bytes();
    wrongSum[stated.Offsets[0] + 14] ^= 1;
    EXPECT_EQ(error(wrongSum), "\"deck.pptx\" is damaged: its part \"p.xml\" fails its checksum");
    TLocalZipWriter described;
    described.Add("p.xml", text, true);
    std::string wrongDescriptor = described.Bytes();
    wrongDescriptor[wrongDescriptor.size() - 12] ^= 1;
    EXPECT_THAT(error(wrongDescriptor), HasSubstr("fails its checksum"));
    // A stored entry's end cannot be found without its size.
    EXPECT_THAT(error(TLocalZipWriter().Add("p.xml", text, true, true).Bytes()),
                HasSubstr("is stored without its size"));
}

TEST(ZipSalvageTest, APackageStoredInsideDoesNotStandForTheOuterParts) {
    const std::string inner = TLocalZipWriter().Add("[Content_Types].xml", "inner", false).Bytes();
    TLocalZipWriter outer;
    outer.Add("ppt/embeddings/book.xlsx", inner, false, true)
        .Add("[Content_Types].xml", "outer", false);
    EXPECT_EQ(Read(outer.Bytes(), "[Content_Types].xml"), "outer");
    // Stored with a data descriptor and after the outer part, the package inside still ends
    // where its descriptor says; in 32 and in 64 bits.
    TLocalZipWriter described;
    described.Add("[Content_Types].xml", "outer", false)
        .Add("ppt/embeddings/deck.pptx", inner, true, true);
    EXPECT_EQ(Read(described.Bytes(), "[Content_Types].xml"), "outer");
    const std::uint32_t size = static_cast<std::uint32_t>(inner.size());
    std::string wide = TLocalZipWriter().Add("[Content_Types].xml", "outer", false).Bytes();
    wide += TLocalZipWriter().Add("ppt/embeddings/deck.pptx", inner, true, true).Bytes();
    wide.resize(wide.size() - 8);
    for (const std::uint32_t word : {size, 0u, size, 0u})
        for (int b = 0; b < 4; ++b) wide += static_cast<char>(word >> (8 * b));
    EXPECT_EQ(Read(wide, "[Content_Types].xml"), "outer");
    // Of two copies of a name, the later one is the newer, unless it is damaged.
    TLocalZipWriter twice;
    twice.Add("a.xml", "first", false).Add("a.xml", "second", false);
    EXPECT_EQ(Read(twice.Bytes(), "a.xml"), "second");
    std::string damaged = twice.Bytes();
    damaged[twice.Offsets[1] + 14] ^= 1;
    EXPECT_EQ(Read(damaged, "a.xml"), "first");
}

TEST(ZipSalvageTest, TheLimitsHoldWhenSalvaging) {
    ThvEngineLimits limits;
    limits.MaxPartBytes = 1000;
    limits.MaxEntries = 3;
    for (const bool descriptor : {false, true}) {
        const std::string zip =
            TLocalZipWriter().Add("big.xml", std::string(1001, 'b'), descriptor).Bytes();
        EXPECT_EQ(ErrorOf<EhvFileRefused>([&] { Read(zip, "big.xml", limits); }),
                  "\"deck.pptx\" is refused as a likely zip bomb: its part \"big.xml\" inflates to "
                  "more than 1000 bytes");
    }
    TLocalZipWriter many;
    for (int i = 0; i < 4; ++i) many.Add(std::to_string(i), "x", false);
    EXPECT_THAT(ErrorOf<EhvFileRefused>([&] { Read(many.Bytes(), "0", limits); }),
                HasSubstr("is refused: its container holds more than 3 parts"));
}

// ---- Presentations ---------------------------------------------------------------------------

TPresentationBuilder ThreeSlides() {
    TPresentationBuilder builder;
    for (const char* title : {"one", "two", "three"}) {
        builder.Slide(
            SlideXml(Shape("title", Para(title)) + Shape("", Para(std::string(title) + " body"))));
    }
    return builder;
}

ThvPresentationText ReadDeck(const std::string& bytes) {
    return ReadOoxmlPresentation(*ThvOoxmlPackage::FromBuffer(bytes, "deck.pptx"));
}

TEST(SalvagedPresentationTest, AnIntactPackageWithoutItsDirectoryReadsInFull) {
    const std::string intact = ThreeSlides().Bytes();
    const ThvPresentationText whole = ReadDeck(intact);
    EXPECT_THAT(whole.Salvaged, IsEmpty());
    const ThvPresentationText salvaged = ReadDeck(WithoutDirectory(intact));
    EXPECT_THAT(Titles(salvaged), ElementsAre("one", "two", "three"));
    EXPECT_THAT(salvaged.Salvaged,
                ElementsAre("its zip directory is damaged (Not a zip archive): its parts were "
                            "read from their local headers"));
}

TEST(SalvagedPresentationTest, ADamagedSlideCostsThatSlideOnly) {
    // The builder names the listed slides in reverse: "two" is ppt/slides/slide2.xml.
    std::string bytes = ThreeSlides().Bytes();
    const std::size_t part = bytes.find("ppt/slides/slide2.xml");
    bytes[part + 40] ^= 0x55;  // inside its compressed data
    const ThvPresentationText deck = ReadDeck(bytes);
    EXPECT_THAT(Titles(deck), ElementsAre("one", "", "three"));
    ASSERT_EQ(deck.Salvaged.size(), 1u);
    EXPECT_THAT(deck.Salvaged[0], HasSubstr("slide 2 is lost: its part \"ppt/slides/slide2.xml\""));
    // A slide the presentation lists but the package lacks, and one that is not well formed.
    TPresentationBuilder builder = ThreeSlides();
    builder.Slide("<p:sld><p:cSld>");
    TZipBuilder zip = builder.Zip();
    const ThvPresentationText broken = ReadDeck(zip.Bytes());
    EXPECT_THAT(Titles(broken), ElementsAre("one", "two", "three", ""));
    EXPECT_THAT(broken.Salvaged.at(0), HasSubstr("slide 4 is lost: its part"));
    EXPECT_THAT(broken.Salvaged.at(0), HasSubstr("is not well-formed XML"));
}

TEST(SalvagedPresentationTest, ADeckStoredInsideWithADataDescriptorDoesNotStandForItsHost) {
    TPresentationBuilder embedded;
    embedded.Slide(SlideXml(Shape("title", Para("embedded"))));
    const std::string host =
        WithoutDirectory(ThreeSlides().Bytes()) +
        TLocalZipWriter().Add("ppt/embeddings/deck.pptx", embedded.Bytes(), true, true).Bytes();
    EXPECT_THAT(Titles(ReadDeck(host)), ElementsAre("one", "two", "three"));
}

TEST(SalvagedPresentationTest, WithoutItsPresentationPartTheSlidesGoByTheirNames) {
    TZipBuilder zip;
    zip.Add("ppt/slides/slide10.xml", SlideXml(Shape("title", Para("ten"))))
        .Add("ppt/slides/slide2.xml", SlideXml(Shape("title", Para("two"))))
        .Add("ppt/slides/slideLayout.xml", "not a slide")
        .Add("ppt/slides/slide1.xml", SlideXml(Shape("title", Para("one"))));
    const ThvPresentationText deck = ReadDeck(zip.Bytes());
    EXPECT_THAT(Titles(deck), ElementsAre("one", "two", "ten"));
    EXPECT_THAT(deck.Salvaged, ElementsAre("its package names no presentation part: its slides "
                                           "were taken in the order of their part names"));
}

TEST(SalvagedPresentationTest, NothingIntactIsStillDamaged) {
    TPresentationBuilder builder;
    builder.Slide("<p:sld><p:cSld>");
    EXPECT_THAT(ErrorOf([&] { ReadDeck(builder.Bytes()); }),
                HasSubstr("\"deck.pptx\" is damaged: its part \"ppt/slides/slide1.xml\" is not "
                          "well-formed XML"));
    // A package that names some other kind of document stays what it is.
    const std::string foreign =
        TZipBuilder()
            .Add("_rels/.rels",
                 "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/"
                 "2006/relationships\"/>")
            .Bytes();
    EXPECT_EQ(ErrorOf([&] { ReadDeck(foreign); }), "\"deck.pptx\" is not a presentation");
    // Cut after its presentation part, before the relationships that lead to the slides: the
    // slide list leads nowhere, so the slides go by their names (the builder numbers them in
    // reverse); with no slide part left either, the file is damaged, not an empty deck.
    const std::string intact = ThreeSlides().Bytes();
    const std::string cut = intact.substr(0, intact.find("ppt/_rels/presentation.xml.rels") - 30);
    const ThvPresentationText byName = ReadDeck(cut);
    EXPECT_THAT(Titles(byName), ElementsAre("three", "two", "one"));
    EXPECT_THAT(byName.Salvaged.back(),
                HasSubstr("its presentation part leads to no slide left in the package: its "
                          "slides were taken in the order of their part names"));
    EXPECT_EQ(ErrorOf([&] { ReadDeck(WithoutDirectory(TPresentationBuilder().Bytes())); }),
              "\"deck.pptx\" is damaged: its presentation part leads to no slide left in the "
              "package");
}

TEST(SalvagedPresentationTest, APackageCutAnywhereGivesIntactSlidesOrFailsAsDamaged) {
    const std::string intact = ThreeSlides().Bytes();
    const ThvPresentationText whole = ReadDeck(intact);
    std::set<std::string> original;
    for (const ThvSlideText& slide : whole.Slides) {
        original.insert(slide.Title + "|" + slide.Body.at(0).Text);
    }
    std::size_t converted = 0;
    for (std::size_t cut = 4; cut < intact.size(); cut += 37) {
        SCOPED_TRACE(cut);
        try {
            const ThvPresentationText deck = ReadDeck(intact.substr(0, cut));
            ++converted;
            EXPECT_FALSE(deck.Salvaged.empty());
            std::size_t intactSlides = 0;
            for (const ThvSlideText& slide : deck.Slides) {
                if (slide.Title.empty() && slide.Body.empty()) continue;  // lost
                EXPECT_TRUE(original.count(slide.Title + "|" + slide.Body.at(0).Text));
                ++intactSlides;
            }
            // A success with no text at all would be a damaged file reported as converted.
            EXPECT_GT(intactSlides, 0u);
        } catch (const EhvFileRefused&) {
            ADD_FAILURE() << "refused";
        } catch (const EhvError& error) {
            EXPECT_THAT(error.what(), HasSubstr("\"deck.pptx\" is damaged: ")) << error.what();
        }
    }
    EXPECT_GT(converted, 0u);
}

}  // namespace
