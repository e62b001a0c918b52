#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// RC4 with a CryptoAPI key, as binary Office documents use it: the key of each block is
/// derived from the password hash and the block number, and the cipher restarts per block.
/// Reading a block piece by piece, in order, costs no more than reading it whole: the cipher's
/// state after the last piece is kept. One reader at a time.
class ThvRc4CryptoApiKey {
  public:
    /// Reads the encryption header and verifier (the body of the encryption record) and checks
    /// the password against the verifier. Empty when the structure is not RC4 CryptoAPI or the
    /// password does not fit.
    static std::optional<ThvRc4CryptoApiKey> Open(std::string_view encryptionInfo,
                                                  std::u16string_view password);
    /// Why the encryption header is not one Open reads (another cipher or version, cut off),
    /// for the user; empty when it is, and only the password decides.
    static std::string Unsupported(std::string_view encryptionInfo);

    /// Decrypts size bytes in place that lie at position of the given block.
    void Decrypt(std::uint32_t block, std::uint64_t position, char* data, std::size_t size) const;

  private:
    struct TCipher {
        std::uint8_t State[256];
        std::uint8_t I = 0, J = 0;
        void Start(const std::uint8_t* key, std::size_t size);
        void Apply(char* data, std::size_t size);
        void Skip(std::uint64_t count);
    };

    std::array<std::uint8_t, 20> passwordHash_{};
    std::size_t keyBytes_ = 16;
    mutable TCipher cipher_{};
    mutable std::uint32_t cipherBlock_ = 0;
    mutable std::uint64_t cipherPosition_ = 0;
    mutable bool cipherValid_ = false;
};

/// SHA-1 of data, through the system's crypto library.
std::array<std::uint8_t, 20> Sha1(std::string_view data);
