// Office Open XML presentations encrypted with a password: opened with the right one of the
// passwords given, refused with the message of a protected file otherwise, read under the same
// limits as any package.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "engine/base/engineError.h"
#include "engine/hvEngine.h"
#include "engine/presentationFile.h"
#include "engine/testing/ooxmlCryptoTestWriter.h"
#include "engine/testing/ooxmlTestPackage.h"
#include "errorText.h"
#include "platform/files/fileSystem.h"
#include "tempDir.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

const std::string kLocked =
    "\"deck.pptx\" is protected with a password; password-protected presentations cannot be "
    "read";

std::string Deck() {
    TPresentationBuilder builder;
    // Slides of several segments of 4096 bytes, so a key that reads one segment wrong shows.
    for (int i = 0; i < 3; ++i) {
        builder.Slide(SlideXml(Shape("title", Para("Secret " + std::to_string(i))) +
                               Shape("", Para(crypto_test::Base64(crypto_test::Bytes(6000, i))))));
    }
    return builder.Bytes();
}

ThvReadOptions Passwords(std::vector<std::string> passwords, int* asked = nullptr) {
    ThvReadOptions options;
    options.Passwords = [passwords, asked] {
        if (asked) ++*asked;
        return passwords;
    };
    return options;
}

std::string Titles(const std::string& bytes, const ThvReadOptions& options) {
    std::string titles;
    for (const ThvSlideText& slide : LoadPresentationBytes(bytes, "deck.pptx", options).Slides) {
        titles += slide.Title + ";";
    }
    return titles;
}

TEST(EncryptedPackageTest, AgileAndStandardOpenWithTheRightPassword) {
    const std::string deck = Deck();
    for (const std::string& file : {crypto_test::EncryptAgile(deck, "p\xC3\xA4ss w0rd", 1000),
                                    crypto_test::EncryptStandard(deck, "p\xC3\xA4ss w0rd")}) {
        int asked = 0;
        EXPECT_EQ(Titles(file, Passwords({"wrong", "p\xC3\xA4ss w0rd"}, &asked)),
                  "Secret 0;Secret 1;Secret 2;");
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(ErrorOf([&] { Titles(file, Passwords({"wrong", "pass w0rd"})); }), kLocked);
        EXPECT_EQ(ErrorOf([&] { Titles(file, {}); }), kLocked);
    }
    // As Office writes them: 100,000 rounds of SHA-512.
    EXPECT_EQ(Titles(crypto_test::EncryptAgile(deck, "office"), Passwords({"office"})),
              "Secret 0;Secret 1;Secret 2;");
}

TEST(EncryptedPackageTest, DecryptionHasTheLimitsOfReading) {
    const std::string deck = Deck();
    ThvReadOptions options = Passwords({"a", "b", "c", "right"});
    options.Limits.MaxPasswords = 3;
    const std::string file = crypto_test::EncryptAgile(deck, "right", 1000);
    // The passwords past the limit are not tried, and the message says so.
    EXPECT_EQ(ErrorOf([&] { Titles(file, options); }),
              kLocked + "; only the first 3 of the 4 passwords of its list were tried (the limit)");
    options.Limits.MaxPasswords = 4;
    options.Limits.MaxSpinCount = 999;
    EXPECT_EQ(ErrorOf([&] { Titles(file, options); }),
              kLocked + " (it asks for more hash rounds than the limit of 999)");
    options.Limits.MaxSpinCount = 1000;
    options.Limits.MaxPartBytes = 4096;
    EXPECT_THAT(ErrorOf<EhvFileRefused>([&] { Titles(file, options); }),
                HasSubstr("is refused as a likely zip bomb"));
    // A decrypted package without its zip directory is salvaged like any other.
    const std::string cut = deck.substr(0, deck.find(std::string_view("PK\x01\x02", 4)));
    const ThvPresentationText salvaged = LoadPresentationBytes(
        crypto_test::EncryptStandard(cut, "x"), "deck.pptx", Passwords({"x"}));
    EXPECT_EQ(salvaged.Slides.size(), 3u);
    EXPECT_EQ(salvaged.Salvaged.size(), 1u);
}

TEST(EncryptedPackageTest, HashRoundsAreCappedAtWhatOfficeWritesAndAStopCutsThemShort) {
    const std::string deck = Deck();
    // One round more than Office writes is refused before any hashing.
    EXPECT_EQ(
        ErrorOf([&] { Titles(crypto_test::EncryptAgile(deck, "x", 100001), Passwords({"x"})); }),
        kLocked + " (it asks for more hash rounds than the limit of 100000)");
    // A stop asked for while a password is hashed ends the file at once, whichever method.
    for (const std::string& file :
         {crypto_test::EncryptAgile(deck, "x", 100000), crypto_test::EncryptStandard(deck, "x")}) {
        ThvReadOptions options = Passwords({"wrong", "x"});
        int asked = 0;
        options.Stopped = [&asked] { return ++asked > 3; };
        EXPECT_THAT(ErrorOf([&] { Titles(file, options); }),
                    HasSubstr("was not read: the run was stopped while its passwords were tried"));
        EXPECT_EQ(asked, 4);
    }
}

TEST(EncryptedPackageTest, AnotherReaderDecryptsWhatTheTestWriterWrites) {
    // Debian's msoffcrypto-tool, where it is installed: a check of the test files themselves.
    const char* tool = "/usr/bin/msoffcrypto-tool";
    if (!std::filesystem::exists(tool)) GTEST_SKIP() << "no msoffcrypto-tool";
    // Seen from a Windows build under Wine the file is there, but no shell can start it.
    if (std::system((std::string(tool) + " -h >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << "msoffcrypto-tool cannot be started here";
    TempDir dir;
    const std::string deck = Deck();
    WriteBytes(dir / "agile.pptx", crypto_test::EncryptAgile(deck,
                                                             "s\xC3\xA9"
                                                             "cret",
                                                             5000));
    WriteBytes(dir / "standard.pptx", crypto_test::EncryptStandard(deck,
                                                                   "s\xC3\xA9"
                                                                   "cret"));
    for (const char* name : {"agile", "standard"}) {
        SCOPED_TRACE(name);
        const std::string command = std::string(tool) +
                                    " -p s\xC3\xA9"
                                    "cret " +
                                    (dir / name) + ".pptx " + (dir / name) + ".out 2>/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        EXPECT_EQ(ReadBytes(dir / (std::string(name) + ".out")), deck);
    }
}

TEST(EncryptedPackageTest, TheEngineTriesThePasswordsOfTheFileItIsGiven) {
    TempDir dir;
    WriteBytes(dir / "deck.pptx", crypto_test::EncryptAgile(Deck(), "zw\xC3\xB6lf", 1000));
    // A list in UTF-16 with a byte-order mark, CR LF lines and a blank one.
    WriteBytes(dir / "passwords.txt", std::string("\xFF\xFE", 2) +
                                          crypto_test::Utf16("first\r\n\r\n") +
                                          std::string("z\0w\0\xF6\0l\0f\0\r\0\n\0", 14));
    std::string list;
    RegisterPowerPointEngine({.PasswordFile = [&list] { return list; }, .StopRequested = {}});
    const auto open = [&] {
        AutomationObjectPtr app = CreateAutomationObject("PowerPoint.Application");
        AutomationObjectPtr presentations = AutomationGet(*app, "Presentations").ToObject();
        return AutomationCall(*presentations, "Open", {dir / "deck.pptx", true}).ToObject();
    };
    EXPECT_THAT(ErrorOf<EAutomationError>(open), HasSubstr("is protected with a password"));
    list = dir / "passwords.txt";
    EXPECT_TRUE(open());
    // A list that cannot be read says so, and no password is ever in a message.
    list = dir / "absent.txt";
    const std::string message = ErrorOf<EAutomationError>(open);
    EXPECT_THAT(message, HasSubstr("is protected with a password, and its password list \"" +
                                   (dir / "absent.txt") + "\" cannot be read"));
    EXPECT_THAT(message, Not(HasSubstr("zw")));
    RegisterPowerPointEngine();
    EXPECT_THAT(ReadPasswordFile(dir / "passwords.txt"),
                ::testing::ElementsAre("first", "zw\xC3\xB6lf"));
}

}  // namespace
