#include <gtest/gtest.h>

#include "platform/base/codePage.h"
#include "text/textEncoding.h"

namespace {

TEST(TextEncodingPosixTest, TheCLocaleCountsAsUtf8) {
    // Test programs do not set a locale, so this is the C locale, which reports ASCII.
    EXPECT_EQ(SystemCodePage(), "UTF-8");
    EXPECT_EQ(EncodeAnsi("\xCE\xB1"), "\xCE\xB1");
}

}  // namespace
