// The crypto library as a shared library loaded at the first encrypted file.

#include <openssl/opensslv.h>

#include "engine/crypto/cryptoLibrary.h"
#include "platform/base/dlopenNote.h"

static_assert(OPENSSL_VERSION_MAJOR == 3, "the library's name below is that of OpenSSL 3");

#define QUILLON_CRYPTO_NAME "libcrypto.so.3"

const char* const kCryptoLibraryName = QUILLON_CRYPTO_NAME;

namespace {

#define QUILLON_CRYPTO_NOTE                                                      \
    "[{\"feature\":\"encryption\",\"description\":\"Opening password-protected " \
    "presentations\",\"priority\":\"recommended\",\"soname\":[\"" QUILLON_CRYPTO_NAME "\"]}]"

QUILLON_DLOPEN_NOTE(kDlopenNote, QUILLON_CRYPTO_NOTE);

}  // namespace

ThvCryptoCalls BuildCryptoCalls() { return LoadCryptoCalls(kCryptoLibraryName); }
