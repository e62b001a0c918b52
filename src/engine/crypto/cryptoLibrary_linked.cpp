// The crypto library linked into the program (the Windows build): its functions are there
// from the start.

#include "engine/crypto/cryptoLibrary.h"

const char* const kCryptoLibraryName = "libcrypto (linked in)";

ThvCryptoCalls BuildCryptoCalls() {
    ThvCryptoCalls calls;
#define QUILLON_CRYPTO_LINK(name) calls.name = &::name;
    QUILLON_CRYPTO_CALLS(QUILLON_CRYPTO_LINK)
#undef QUILLON_CRYPTO_LINK
    return calls;
}
