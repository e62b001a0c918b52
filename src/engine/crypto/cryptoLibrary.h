#pragma once

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <string>
#include <string_view>

/// OpenSSL's libcrypto, reached through a table of its functions. Only an encrypted file needs
/// it, so where it is a shared library (Linux) it is loaded at the first one and a run without
/// encrypted files never pays for loading it; where it is linked in (the Windows build) the
/// table holds the linked functions.

/// Every function of the library the engine calls.
#define QUILLON_CRYPTO_CALLS(X)   \
    X(EVP_MD_CTX_new)             \
    X(EVP_MD_CTX_free)            \
    X(EVP_CIPHER_CTX_new)         \
    X(EVP_CIPHER_CTX_free)        \
    X(EVP_CIPHER_CTX_set_padding) \
    X(EVP_sha1)                   \
    X(EVP_sha256)                 \
    X(EVP_sha384)                 \
    X(EVP_sha512)                 \
    X(EVP_aes_128_cbc)            \
    X(EVP_aes_192_cbc)            \
    X(EVP_aes_256_cbc)            \
    X(EVP_aes_128_ecb)            \
    X(EVP_aes_192_ecb)            \
    X(EVP_aes_256_ecb)            \
    X(EVP_Digest)                 \
    X(EVP_DigestInit_ex)          \
    X(EVP_DigestUpdate)           \
    X(EVP_DigestFinal_ex)         \
    X(EVP_DecryptInit_ex)         \
    X(EVP_DecryptUpdate)          \
    X(EVP_DecryptFinal_ex)        \
    X(EVP_DecodeBlock)            \
    X(OPENSSL_cleanse)            \
    X(CRYPTO_memcmp)              \
    X(OPENSSL_thread_stop)

struct ThvCryptoCalls {
#define QUILLON_CRYPTO_FIELD(name) decltype(&::name) name = nullptr;
    QUILLON_CRYPTO_CALLS(QUILLON_CRYPTO_FIELD)
#undef QUILLON_CRYPTO_FIELD
};

/// The name the library is loaded by ("libcrypto.so.3"), or linked in as.
extern const char* const kCryptoLibraryName;

/// The table of the library this build uses: loaded by kCryptoLibraryName, or linked in.
/// Throws EhvError as LoadCryptoCalls does.
ThvCryptoCalls BuildCryptoCalls();

/// The library's functions from the module of that name. Throws EhvError with the system's
/// reason when it cannot be loaded or lacks one of them.
ThvCryptoCalls LoadCryptoCalls(const std::string& moduleName);

/// The library's functions, from BuildCryptoCalls at the first call; a failed load is tried
/// again at the next call.
const ThvCryptoCalls& CryptoCalls();

/// CryptoCalls for a file that needs them: a library that cannot be loaded fails the file
/// (EhvFileError) and says what is missing.
const ThvCryptoCalls& CryptoCallsFor(std::string_view fileName);

/// Frees what the library keeps for the calling thread, when the library was loaded at all.
void StopCryptoThread();
