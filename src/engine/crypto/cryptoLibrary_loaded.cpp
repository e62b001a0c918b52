// The crypto library as a shared library loaded at the first encrypted file.

#include <openssl/opensslv.h>

#include <cstdint>

#include "engine/crypto/cryptoLibrary.h"

static_assert(OPENSSL_VERSION_MAJOR == 3, "the library's name below is that of OpenSSL 3");

#define QUILLON_CRYPTO_NAME "libcrypto.so.3"

const char* const kCryptoLibraryName = QUILLON_CRYPTO_NAME;

namespace {

// The library no longer shows among the program's needed libraries; an ELF note of the kind
// systemd reads ("FDO", type 0x407c0c0a, a JSON list) declares it, so that packaging tools
// still find the dependency.
#define QUILLON_CRYPTO_NOTE                                                      \
    "[{\"feature\":\"encryption\",\"description\":\"Opening password-protected " \
    "presentations\",\"priority\":\"recommended\",\"soname\":[\"" QUILLON_CRYPTO_NAME "\"]}]"

struct TDlopenNote {
    std::uint32_t NameBytes;
    std::uint32_t DescriptionBytes;
    std::uint32_t Type;
    char Name[4];
    alignas(4) char Description[sizeof QUILLON_CRYPTO_NOTE];
};

[[gnu::used, gnu::section(".note.dlopen")]] alignas(4) const TDlopenNote kDlopenNote = {
    4, sizeof QUILLON_CRYPTO_NOTE, 0x407c0c0a, "FDO", QUILLON_CRYPTO_NOTE};

}  // namespace

ThvCryptoCalls BuildCryptoCalls() { return LoadCryptoCalls(kCryptoLibraryName); }
