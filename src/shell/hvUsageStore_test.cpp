#include "shell/hvUsageStore.h"

#include <gtest/gtest.h>

namespace {

// The file's hexadecimal text, one byte per code unit (the file is UTF-16 LE of ASCII).
std::string HexText(const std::string& bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 2) text += bytes[i];
    return text;
}

std::string Utf16(const std::string& ascii) {
    std::string bytes;
    for (char c : ascii) bytes += {c, '\0'};
    return bytes;
}

}  // namespace

TEST(UsageStore, RoundTripsForEveryInstallation) {
    const std::string store = "v=2\r\nR=12\r\nC=3\r\nA=40\r\nS=38\r\nF=2\r\nW=16\r\n";
    for (int32_t id : {0, -1, 1, 0x5A8C6B21, INT32_MIN, INT32_MAX}) {
        const std::string bytes = EncodeUsageStore(store, id);
        EXPECT_EQ(DecodeUsageStore(bytes, id), store) << id;
        // Header and layout: 8 digits of the number, 3 per character, 8 of the sum.
        const std::string hex = HexText(bytes);
        EXPECT_EQ(hex.size(), 8 + 3 * store.size() + 8);
        char header[9];
        std::snprintf(header, sizeof header, "%08X", static_cast<uint32_t>(id));
        EXPECT_EQ(hex.substr(0, 8), header);
        EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    }
    EXPECT_EQ(DecodeUsageStore(EncodeUsageStore("", 7), 7), "");
}

TEST(UsageStore, TheTextIsNotStoredInTheClear) {
    const std::string a = EncodeUsageStore("R=1\r\n", 1), b = EncodeUsageStore("R=1\r\n", 2);
    EXPECT_NE(HexText(a).substr(8, 15), HexText(b).substr(8, 15));
}

TEST(UsageStore, RejectsWhatIsNotAStoreOfThisInstallation) {
    const int32_t id = 0x4B2A1C3D;
    const std::string good = EncodeUsageStore("v=2\r\nR=5\r\n", id);
    EXPECT_FALSE(DecodeUsageStore(good, id + 1));                         // another installation
    EXPECT_FALSE(DecodeUsageStore(good.substr(0, good.size() - 1), id));  // odd length
    EXPECT_FALSE(DecodeUsageStore(good.substr(0, good.size() - 2), id));  // truncated: sum off
    EXPECT_FALSE(DecodeUsageStore("", id));
    EXPECT_FALSE(DecodeUsageStore(Utf16("4B2A1C3D0000000"), id));  // 15 characters

    std::string flipped = good;
    flipped[20] = flipped[20] == '1' ? '2' : '1';  // one digit of the body changed
    EXPECT_FALSE(DecodeUsageStore(flipped, id));

    // Not hexadecimal, even with a sum that fits its code units.
    std::string text = "4B2A1C3DXYZ";
    uint32_t sum = 0;
    for (char c : text) sum += static_cast<unsigned char>(c);
    char tail[9];
    std::snprintf(tail, sizeof tail, "%08X", sum);
    EXPECT_FALSE(DecodeUsageStore(Utf16(text + tail), id));

    // A body that is not whole characters.
    text = "4B2A1C3D1234";
    sum = 0;
    for (char c : text) sum += static_cast<unsigned char>(c);
    std::snprintf(tail, sizeof tail, "%08X", sum);
    EXPECT_FALSE(DecodeUsageStore(Utf16(text + tail), id));
    EXPECT_FALSE(DecodeUsageStore(std::string(MaxUsageStoreBytes + 2, '0'), id));
}

TEST(UsageStore, DosDateTime) {
    // 2024-03-23 22:27:45 UTC
    const int64_t ns = 1711232865LL * 1000000000;
    const uint32_t packed = static_cast<uint32_t>(PackDosDateTime(ns));
    EXPECT_EQ(packed >> 25, 2024u - 1980);
    EXPECT_EQ(packed >> 21 & 0xF, 3u);
    EXPECT_EQ(packed >> 16 & 0x1F, 23u);
    EXPECT_EQ(packed >> 11 & 0x1F, 22u);
    EXPECT_EQ(packed >> 5 & 0x3F, 27u);
    EXPECT_EQ(packed & 0x1F, 22u);
    EXPECT_EQ(PackDosDateTime(0), -1);                          // 1970
    EXPECT_EQ(PackDosDateTime(4354819200LL * 1000000000), -1);  // 2108
    EXPECT_NE(PackDosDateTime(315532800LL * 1000000000), -1);   // 1980-01-01
}
