// Our own Unicode code against ICU, which the Linux build used for it before and still links for
// code pages: folding must not change under the users' feet.
#include <gtest/gtest.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/uversion.h>

#include <random>
#include <string>

#include "text/textEncoding.h"
#include "text/unicodeText.h"

namespace {

std::u16string IcuFold(const std::u16string& text) {
    std::u16string folded(text.size() * 3 + 4, u'\0');
    UErrorCode error = U_ZERO_ERROR;
    const int32_t length =
        u_strFoldCase(folded.data(), static_cast<int32_t>(folded.size()), text.data(),
                      static_cast<int32_t>(text.size()), U_FOLD_CASE_DEFAULT, &error);
    EXPECT_TRUE(U_SUCCESS(error));
    folded.resize(static_cast<std::size_t>(length));
    return folded;
}

TEST(CaseFoldingTest, EveryCodePointFoldsAsIcuDoes) {
    // The generated table and ICU must read the same Unicode version.
    UVersionInfo version;
    u_getUnicodeVersion(version);
    ASSERT_EQ(version[0], 15) << "ICU's Unicode is not the table's: compare the versions";
    int differences = 0, folded = 0;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        std::string utf8;
        AppendUtf8(utf8, c);
        const std::string ours = FoldCase(utf8);
        const std::string icu = Utf16ToUtf8(IcuFold(Utf8ToUtf16(utf8)));
        folded += icu != utf8;
        if (ours != icu && ++differences <= 10) {
            ADD_FAILURE() << "U+" << std::hex << static_cast<uint32_t>(c);
        }
    }
    EXPECT_EQ(differences, 0);
    EXPECT_GT(folded, 1400);  // Unicode 15 folds 1,530 characters
}

// Random bytes, weighted towards the ones that make UTF-8 interesting.
std::string RandomBytes(std::mt19937& random, std::size_t size) {
    static const unsigned char interesting[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0,
                                                0xBF, 0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xED,
                                                0xEE, 0xEF, 0xF0, 0xF1, 0xF4, 0xF5, 0xFF};
    std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(interesting)) * 2);
    std::string bytes;
    for (std::size_t i = 0; i < size; ++i) {
        const int n = pick(random);
        bytes += static_cast<char>(n < static_cast<int>(std::size(interesting)) ? interesting[n]
                                                                                : random() & 0xFF);
    }
    return bytes;
}

TEST(CaseFoldingTest, IllFormedUtf8IsReplacedAsIcuReplacesIt) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 200000; ++round) {
        const std::string bytes = RandomBytes(random, 1 + round % 9);
        std::u16string icu(bytes.size() + 1, u'\0');
        int32_t length = 0;
        UErrorCode error = U_ZERO_ERROR;
        u_strFromUTF8WithSub(icu.data(), static_cast<int32_t>(icu.size()), &length, bytes.data(),
                             static_cast<int32_t>(bytes.size()), 0xFFFD, nullptr, &error);
        ASSERT_TRUE(U_SUCCESS(error));
        icu.resize(static_cast<std::size_t>(length));
        ASSERT_EQ(Utf8ToUtf16(bytes), icu) << testing::PrintToString(bytes);
        ASSERT_EQ(SanitizedUtf8(bytes), Utf16ToUtf8(icu)) << testing::PrintToString(bytes);
        // Well-formed text is what converts to itself.
        ASSERT_EQ(IsWellFormedUtf8(bytes), Utf16ToUtf8(icu) == bytes)
            << testing::PrintToString(bytes);
    }
}

TEST(CaseFoldingTest, LoneSurrogatesBecomeReplacementsAsIcuMakesThem) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> unit(0xD7F0, 0xE010);
    for (int round = 0; round < 50000; ++round) {
        std::u16string text;
        for (int i = 0; i < 1 + round % 6; ++i) text += static_cast<char16_t>(unit(random));
        std::string icu(text.size() * 3 + 1, '\0');
        int32_t length = 0;
        UErrorCode error = U_ZERO_ERROR;
        u_strToUTF8WithSub(icu.data(), static_cast<int32_t>(icu.size()), &length, text.data(),
                           static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &error);
        ASSERT_TRUE(U_SUCCESS(error));
        icu.resize(static_cast<std::size_t>(length));
        ASSERT_EQ(Utf16ToUtf8(text), icu);
    }
}

}  // namespace
