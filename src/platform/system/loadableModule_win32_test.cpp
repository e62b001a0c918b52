#include <gtest/gtest.h>

#include "errorText.h"
#include "platform/system/loadableModule.h"

TEST(LoadableModuleWin32, LoadsASymbolAndNamesWhatIsMissing) {
    EXPECT_EQ(ModuleFileName("quillon-window"), "quillon-window.dll");
    using TTicks = unsigned long long(__stdcall*)();
    auto* ticks = reinterpret_cast<TTicks>(LoadModuleSymbol("kernel32.dll", "GetTickCount64"));
    ASSERT_NE(ticks, nullptr);
    EXPECT_GT(ticks(), 0u);
    EXPECT_NE(ErrorOf([] {
                  LoadModuleSymbol("C:\\nonexistent\\quillon-window.dll", "x");
              }).find("C:\\nonexistent\\quillon-window.dll"),
              std::string::npos);
    EXPECT_NE(
        ErrorOf([] { LoadModuleSymbol("kernel32.dll", "NoSuchSymbol"); }).find("NoSuchSymbol"),
        std::string::npos);
}
