// The window tests run with an application object on the off-screen platform (on Windows the
// minimal one with the system's fonts: Qt makes no off-screen platform there). Test discovery runs this program only to
// list the tests: then no application object is made.

#include <gtest/gtest.h>

#include "ui/hvApplication.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
#ifdef _WIN32
    const char* platform = "minimal:enable_fonts";
#else
    const char* platform = "offscreen";
#endif
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", platform);
    ThvApplication application(argc, argv);
    LoadDesignFonts();
    return RUN_ALL_TESTS();
}
