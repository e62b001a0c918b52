// The crypto library's table: every function the engine calls is in it, and a library that
// cannot be had is an error that names it.

#include "engine/crypto/cryptoLibrary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/crypto/pptCrypto.h"
#include "errorText.h"

namespace {

using ::testing::HasSubstr;

TEST(CryptoLibraryTest, TheTableHoldsEveryFunctionAndTheyWork) {
    const ThvCryptoCalls& calls = CryptoCalls();
#define QUILLON_CRYPTO_CHECK(name) EXPECT_NE(calls.name, nullptr) << #name;
    QUILLON_CRYPTO_CALLS(QUILLON_CRYPTO_CHECK)
#undef QUILLON_CRYPTO_CHECK
    EXPECT_EQ(&CryptoCalls(), &calls) << "loaded once";
    const std::array<std::uint8_t, 20> abc = Sha1("abc");
    EXPECT_EQ(std::string(abc.begin(), abc.end()),
              "\xA9\x99\x3E\x36\x47\x06\x81\x6A\xBA\x3E\x25\x71\x78\x50\xC2\x6C\x9C\xD0\xD8\x9D");
}

TEST(CryptoLibraryTest, AMissingModuleIsAnErrorNamingIt) {
    EXPECT_THAT(ErrorOf<EhvError>([] { LoadCryptoCalls("libquillon-no-such-crypto.so.3"); }),
                HasSubstr("libquillon-no-such-crypto.so.3"));
}

}  // namespace
