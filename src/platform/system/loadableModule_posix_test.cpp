#include "platform/system/loadableModule.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "errorText.h"
#include "platform/system/display.h"

TEST(LoadableModule, LoadsASymbolAndNamesWhatIsMissing) {
    EXPECT_EQ(ModuleFileName("quillon-window"), "quillon-window.so");
    auto* cosine = reinterpret_cast<double (*)(double)>(LoadModuleSymbol("libm.so.6", "cos"));
    ASSERT_NE(cosine, nullptr);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
    EXPECT_NE(ErrorOf([] { LoadModuleSymbol("/nonexistent/quillon-window.so", "x"); })
                  .find("/nonexistent/quillon-window.so"),
              std::string::npos);
    EXPECT_NE(ErrorOf([] { LoadModuleSymbol("libm.so.6", "NoSuchSymbol"); }).find("NoSuchSymbol"),
              std::string::npos);
}

TEST(Display, AnyOfTheThreeVariablesCountsAndEmptyOnesDoNot) {
    const char* names[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    std::string saved[3];
    bool had[3];
    for (int i = 0; i < 3; ++i) {
        const char* value = std::getenv(names[i]);
        had[i] = value != nullptr;
        if (value) saved[i] = value;
        setenv(names[i], "", 1);
    }
    EXPECT_FALSE(HasDisplay());
    for (const char* name : names) {
        setenv(name, name[0] == 'Q' ? "offscreen" : ":99", 1);
        EXPECT_TRUE(HasDisplay()) << name;
        setenv(name, "", 1);
    }
    for (int i = 0; i < 3; ++i) {
        if (had[i])
            setenv(names[i], saved[i].c_str(), 1);
        else
            unsetenv(names[i]);
    }
}
