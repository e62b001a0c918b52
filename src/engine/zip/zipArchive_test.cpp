// Zip containers through their central directory: what zip writers put down (ZIP64, data
// descriptors, comments) reads as it is; a directory that does not hold together sends the
// package to its local headers; a part is used only as it is stated.

#include "engine/zip/zipArchive.h"

#include <gtest/gtest.h>

#include "engine/base/engineError.h"
#include "engine/ooxml/ooxmlPackage.h"
#include "engine/testing/ooxmlTestPackage.h"
#include "errorText.h"

namespace {

const std::string kText(3000, 'q');

TZipBuilder ThreeParts() {
    return std::move(TZipBuilder()
                         .Add("[Content_Types].xml", "<Types/>")
                         .Add("ppt/slides/slide1.xml", kText)
                         .Add("ppt/media/image1.png", "\x89PNG stored", true));
}

void ExpectThreeParts(const std::string& zip, bool salvaged = false) {
    const auto package = ThvOoxmlPackage::FromBuffer(zip, "deck.pptx");
    EXPECT_EQ(package->Salvaged(), salvaged) << package->SalvageReason();
    EXPECT_EQ(package->ReadPart("[content_types].xml"), "<Types/>");
    EXPECT_EQ(package->ReadPart("ppt/slides/slide1.xml"), kText);
    EXPECT_EQ(package->ReadPart("ppt/media/image1.png"), "\x89PNG stored");
}

TEST(ZipDirectoryTest, WhatWritersPutDownIsReadThroughTheDirectory) {
    ExpectThreeParts(ThreeParts().Bytes());
    ExpectThreeParts(ThreeParts().Zip64().Bytes());
    // Sizes after the data (zero in the local header): the directory's are the ones used.
    ExpectThreeParts(ThreeParts().Descriptors().Bytes());
    ExpectThreeParts(ThreeParts().Descriptors().Zip64().Bytes());
    // A comment that holds an end record's signature of its own.
    ExpectThreeParts(ThreeParts().Comment(std::string("PK\x05\x06", 4) + "trailing").Bytes());
    // Bytes before the archive (a self-extractor's stub) leave no place to read what it states.
    ExpectThreeParts("stub" + ThreeParts().Bytes(), true);
}

TEST(ZipDirectoryTest, ADirectoryThatDoesNotHoldTogetherIsSalvagedAround) {
    const std::string zip = ThreeParts().Bytes();
    const std::size_t directory = zip.find(std::string_view("PK\x01\x02", 4));
    const std::size_t end = zip.rfind(std::string_view("PK\x05\x06", 4));
    ASSERT_NE(directory, std::string::npos);

    std::string fewer = zip;  // the end record knows of two entries of three
    fewer[end + 8] = fewer[end + 10] = 2;
    std::string wrongPlace = zip;  // the directory said to begin one byte early
    wrongPlace[end + 16] = static_cast<char>(wrongPlace[end + 16] - 1);
    std::string notARecord = zip;
    notARecord[directory + 1] = 'X';
    std::string farHeader = zip;  // a record points at a header beyond the directory
    farHeader[directory + 42 + 3] = 0x7F;
    // Bytes that are no record where one should be make the archive none at all; anything
    // else that does not fit makes it inconsistent.
    const std::pair<std::string, std::string> cases[] = {{fewer, "Zip archive inconsistent"},
                                                         {wrongPlace, "Not a zip archive"},
                                                         {notARecord, "Not a zip archive"},
                                                         {farHeader, "Zip archive inconsistent"}};
    for (const auto& [damaged, why] : cases) {
        SCOPED_TRACE(why);
        ExpectThreeParts(damaged, true);
        EXPECT_EQ(ThvOoxmlPackage::FromBuffer(damaged, "deck.pptx")->SalvageReason(), why);
    }
    EXPECT_EQ(ThvOoxmlPackage::FromBuffer(zip.substr(0, end), "deck.pptx")->SalvageReason(),
              "Not a zip archive");
}

TEST(ZipDirectoryTest, APartIsUsedOnlyAsItIsStated) {
    const auto read = [](const std::string& zip) {
        return ErrorOf([&] { ThvOoxmlPackage::FromBuffer(zip, "deck.pptx")->ReadPart("a.xml"); });
    };
    const std::string good = TZipBuilder().Add("a.xml", kText).Bytes();
    const std::size_t directory = good.find(std::string_view("PK\x01\x02", 4));

    std::string longer = good;  // the directory states one byte less than the data inflate to
    longer[directory + 24] = static_cast<char>(longer[directory + 24] - 1);
    EXPECT_EQ(read(longer),
              "\"deck.pptx\" is damaged: its part \"a.xml\" inflates to more than its stated size");
    std::string shorter = good;
    shorter[directory + 24] = static_cast<char>(shorter[directory + 24] + 1);
    EXPECT_EQ(read(shorter),
              "\"deck.pptx\" is damaged: its part \"a.xml\" inflates to less than its stated size");
    std::string checksum = good;
    checksum[directory + 16] = static_cast<char>(checksum[directory + 16] ^ 1);
    EXPECT_EQ(read(checksum),
              "\"deck.pptx\" is damaged: its part \"a.xml\" cannot be inflated (CRC error)");
    std::string renamed = good;  // the local header names another entry
    renamed[30] = 'b';
    EXPECT_EQ(read(renamed),
              "\"deck.pptx\" is damaged: its part \"a.xml\" cannot be read (its "
              "local header does not match the zip directory)");
    std::string method = good;
    method[directory + 10] = 12;  // bzip2
    EXPECT_EQ(read(method),
              "\"deck.pptx\" is damaged: its part \"a.xml\" is compressed by method 12");
}

TEST(ZipDirectoryTest, AStatedSizeOverTheLimitIsRefusedBeforeAnythingIsInflated) {
    std::string zip = TZipBuilder().Add("a.xml", kText).Zip64().Bytes();
    const std::size_t directory = zip.find(std::string_view("PK\x01\x02", 4));
    // The ZIP64 field's size: 2^40 bytes.
    const std::size_t sizeField = directory + 46 + 5 + 4;
    zip.replace(sizeField, 8, std::string("\0\0\0\0\0\x01\0\0", 8));
    ThvEngineLimits limits;
    limits.MaxPartBytes = 1 << 20;
    const std::string error = ErrorOf<EhvFileRefused>(
        [&] { ThvOoxmlPackage::FromBuffer(zip, "deck.pptx", limits)->ReadPart("a.xml"); });
    EXPECT_EQ(error.rfind("\"deck.pptx\" is refused as a likely zip bomb: its part \"a.xml\"", 0),
              0u)
        << error;
}

}  // namespace
