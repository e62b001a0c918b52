#include "engine/crypto/pptCrypto.h"

#include <algorithm>
#include <new>
#include <string>

#include "engine/base/byteOrder.h"
#include "engine/crypto/cryptoLibrary.h"

std::array<std::uint8_t, 20> Sha1(std::string_view data) {
    std::array<std::uint8_t, 20> digest{};
    unsigned int size = 0;
    if (CryptoCalls().EVP_Digest(data.data(), data.size(), digest.data(), &size,
                                 CryptoCalls().EVP_sha1(), nullptr) != 1 ||
        size != digest.size()) {
        throw std::bad_alloc();  // the library fails only when it cannot allocate
    }
    return digest;
}

// RC4 is written out here: OpenSSL 3 keeps it only in its legacy provider, which a program
// cannot count on finding; it is a dozen lines, and no secret depends on its speed.
void ThvRc4CryptoApiKey::TCipher::Start(const std::uint8_t* key, std::size_t size) {
    for (int i = 0; i < 256; ++i) State[i] = static_cast<std::uint8_t>(i);
    std::uint8_t j = 0;
    for (int i = 0; i < 256; ++i) {
        j = static_cast<std::uint8_t>(j + State[i] + key[i % size]);
        std::swap(State[i], State[j]);
    }
    I = J = 0;
}

void ThvRc4CryptoApiKey::TCipher::Apply(char* data, std::size_t size) {
    for (std::size_t n = 0; n < size; ++n) {
        I = static_cast<std::uint8_t>(I + 1);
        J = static_cast<std::uint8_t>(J + State[I]);
        std::swap(State[I], State[J]);
        data[n] =
            static_cast<char>(data[n] ^ State[static_cast<std::uint8_t>(State[I] + State[J])]);
    }
}

void ThvRc4CryptoApiKey::TCipher::Skip(std::uint64_t count) {
    char scratch[4096];
    while (count > 0) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, 4096));
        Apply(scratch, piece);
        count -= piece;
    }
}

namespace {

/// The parts of an RC4 CryptoAPI encryption header that the key needs.
struct TRc4Header {
    std::uint32_t KeyBits = 0;
    std::string_view Verifier;  ///< size, salt, encrypted verifier and its hash
};

/// The header read from the encryption record's body; empty, with why set, when it is no RC4
/// CryptoAPI header this program reads.
std::optional<TRc4Header> ReadRc4Header(std::string_view info, std::string& why) {
    if (info.size() < 12) {
        why = "its encryption information is cut off";
        return std::nullopt;
    }
    const std::uint32_t version = U32(info, 0);
    const std::uint16_t major = version & 0xFFFF, minor = version >> 16;
    if (major < 2 || major > 4 || minor != 2) {
        why = "its encryption (version " + std::to_string(major) + "." + std::to_string(minor) +
              ") is not one this program reads";
        return std::nullopt;
    }
    const std::uint32_t headerSize = U32(info, 8);
    if (headerSize < 32 || headerSize > info.size() - 12) {
        why = "its encryption information is cut off";
        return std::nullopt;
    }
    const std::string_view header = info.substr(12, headerSize);
    const std::uint32_t algorithm = U32(header, 8), hash = U32(header, 12);
    TRc4Header read;
    read.KeyBits = U32(header, 16);
    if (read.KeyBits == 0) read.KeyBits = 40;
    if ((algorithm != 0x6801 && algorithm != 0) || (hash != 0x8004 && hash != 0) ||
        read.KeyBits < 40 || read.KeyBits > 128 || read.KeyBits % 8 != 0) {
        why = "its cipher or hash is not one this program reads";
        return std::nullopt;
    }
    read.Verifier = info.substr(12 + headerSize);
    if (read.Verifier.size() < 4 + 16 + 16 + 4 + 20 || U32(read.Verifier, 0) != 16) {
        why = "its key records cannot be read";
        return std::nullopt;
    }
    return read;
}

}  // namespace

std::string ThvRc4CryptoApiKey::Unsupported(std::string_view info) {
    std::string why;
    ReadRc4Header(info, why);
    return why;
}

std::optional<ThvRc4CryptoApiKey> ThvRc4CryptoApiKey::Open(std::string_view info,
                                                           std::u16string_view password) {
    std::string why;
    const std::optional<TRc4Header> header = ReadRc4Header(info, why);
    if (!header) return std::nullopt;
    const std::uint32_t keyBits = header->KeyBits;
    const std::string_view verifier = header->Verifier;

    ThvRc4CryptoApiKey key;
    key.keyBytes_ = keyBits / 8;
    std::string salted(verifier.substr(4, 16));
    for (const char16_t c : password) {
        salted.push_back(static_cast<char>(c & 0xFF));
        salted.push_back(static_cast<char>(c >> 8));
    }
    key.passwordHash_ = Sha1(salted);
    std::fill(salted.begin(), salted.end(), '\0');

    // The verifier and its hash are one RC4 stream of block 0.
    std::string check(verifier.substr(20, 16));
    check.append(verifier.substr(40, 20));
    key.Decrypt(0, 0, check.data(), check.size());
    const auto digest = Sha1(std::string_view(check).substr(0, 16));
    if (!std::equal(digest.begin(), digest.end(), check.begin() + 16,
                    [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); })) {
        return std::nullopt;
    }
    key.cipherValid_ = false;
    return key;
}

void ThvRc4CryptoApiKey::Decrypt(std::uint32_t block, std::uint64_t position, char* data,
                                 std::size_t size) const {
    if (!cipherValid_ || cipherBlock_ != block || cipherPosition_ > position) {
        std::string input(passwordHash_.begin(), passwordHash_.end());
        for (int i = 0; i < 4; ++i) input.push_back(static_cast<char>(block >> (8 * i)));
        const auto blockHash = Sha1(input);
        // A 40-bit key is padded with zeros to 128 bits, as CryptoAPI does.
        std::uint8_t rc4Key[16] = {};
        std::copy_n(blockHash.begin(), keyBytes_, rc4Key);
        cipher_.Start(rc4Key, keyBytes_ == 5 ? 16 : keyBytes_);
        cipherBlock_ = block;
        cipherPosition_ = 0;
        cipherValid_ = true;
    }
    cipher_.Skip(position - cipherPosition_);
    cipher_.Apply(data, size);
    cipherPosition_ = position + size;
}
