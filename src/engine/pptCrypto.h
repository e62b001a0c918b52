#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

/// RC4 with a CryptoAPI key, as binary Office documents use it: the key of each block is
/// derived from the password hash and the block number, and the cipher restarts per block.
/// Immutable after Open; safe to share between threads.
class ThvRc4CryptoApiKey {
  public:
    /// Reads the encryption header and verifier (the body of the encryption record) and checks
    /// the password against the verifier. Empty when the structure is not RC4 CryptoAPI or the
    /// password does not fit.
    static std::optional<ThvRc4CryptoApiKey> Open(std::string_view encryptionInfo,
                                                  std::u16string_view password);

    /// Decrypts size bytes in place as the first bytes of the given block.
    void Decrypt(std::uint32_t block, char* data, std::size_t size) const;

  private:
    std::array<std::uint8_t, 20> passwordHash_{};
    std::size_t keyBytes_ = 16;
};
