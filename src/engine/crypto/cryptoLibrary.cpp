#include "engine/crypto/cryptoLibrary.h"

#include <atomic>

#include "engine/base/engineError.h"
#include "platform/system/loadableModule.h"

namespace {

std::atomic<bool> loaded{false};

}  // namespace

ThvCryptoCalls LoadCryptoCalls(const std::string& moduleName) {
    ThvCryptoCalls calls;
#define QUILLON_CRYPTO_LOAD(name) \
    calls.name = reinterpret_cast<decltype(calls.name)>(LoadModuleSymbol(moduleName, #name));
    QUILLON_CRYPTO_CALLS(QUILLON_CRYPTO_LOAD)
#undef QUILLON_CRYPTO_LOAD
    return calls;
}

const ThvCryptoCalls& CryptoCalls() {
    // A static whose initialisation throws is initialised again at the next call.
    static const ThvCryptoCalls calls = BuildCryptoCalls();
    // Read first: every decrypted piece comes here, and converters would fight over the line.
    if (!loaded.load(std::memory_order_relaxed)) loaded.store(true, std::memory_order_release);
    return calls;
}

const ThvCryptoCalls& CryptoCallsFor(std::string_view fileName) {
    try {
        return CryptoCalls();
    } catch (const EhvError& error) {
        ThrowFileError(fileName, "is encrypted, and decrypting it needs the crypto library " +
                                     std::string(kCryptoLibraryName) +
                                     ", which cannot be loaded (" + error.what() + ")");
    }
}

void StopCryptoThread() {
    if (loaded.load(std::memory_order_acquire)) CryptoCalls().OPENSSL_thread_stop();
}
