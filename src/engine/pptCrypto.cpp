#include "pptCrypto.h"

#include <algorithm>
#include <string>

namespace {

std::uint32_t U32(std::string_view b, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(b[at + i]);
    return value;
}

std::uint32_t Rotate(std::uint32_t value, int bits) { return value << bits | value >> (32 - bits); }

class TRc4 {
  public:
    TRc4(const std::uint8_t* key, std::size_t size) {
        for (int i = 0; i < 256; ++i) state_[i] = static_cast<std::uint8_t>(i);
        std::uint8_t j = 0;
        for (int i = 0; i < 256; ++i) {
            j = static_cast<std::uint8_t>(j + state_[i] + key[i % size]);
            std::swap(state_[i], state_[j]);
        }
    }

    void Apply(char* data, std::size_t size) {
        for (std::size_t n = 0; n < size; ++n) {
            i_ = static_cast<std::uint8_t>(i_ + 1);
            j_ = static_cast<std::uint8_t>(j_ + state_[i_]);
            std::swap(state_[i_], state_[j_]);
            data[n] = static_cast<char>(data[n] ^
                                        state_[static_cast<std::uint8_t>(state_[i_] + state_[j_])]);
        }
    }

  private:
    std::uint8_t state_[256];
    std::uint8_t i_ = 0, j_ = 0;
};

/// SHA-1, the hash the RC4 CryptoAPI method of these files prescribes.
std::array<std::uint8_t, 20> Sha1(std::string_view data) {
    std::uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    std::string message(data);
    const std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
    message.push_back('\x80');
    while (message.size() % 64 != 56) message.push_back('\0');
    for (int i = 7; i >= 0; --i) message.push_back(static_cast<char>(bits >> (i * 8)));
    for (std::size_t block = 0; block < message.size(); block += 64) {
        std::uint32_t w[80];
        for (int t = 0; t < 16; ++t) {
            w[t] = 0;
            for (int k = 0; k < 4; ++k) {
                w[t] = w[t] << 8 | static_cast<unsigned char>(message[block + t * 4 + k]);
            }
        }
        for (int t = 16; t < 80; ++t) w[t] = Rotate(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int t = 0; t < 80; ++t) {
            std::uint32_t f, k;
            if (t < 20) {
                f = (b & c) | (~b & d), k = 0x5A827999;
            } else if (t < 40) {
                f = b ^ c ^ d, k = 0x6ED9EBA1;
            } else if (t < 60) {
                f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDC;
            } else {
                f = b ^ c ^ d, k = 0xCA62C1D6;
            }
            const std::uint32_t next = Rotate(a, 5) + f + e + k + w[t];
            e = d, d = c, c = Rotate(b, 30), b = a, a = next;
        }
        h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
    }
    std::array<std::uint8_t, 20> digest{};
    for (int i = 0; i < 20; ++i)
        digest[i] = static_cast<std::uint8_t>(h[i / 4] >> (24 - 8 * (i % 4)));
    return digest;
}

}  // namespace

std::optional<ThvRc4CryptoApiKey> ThvRc4CryptoApiKey::Open(std::string_view info,
                                                           std::u16string_view password) {
    if (info.size() < 12) return std::nullopt;
    const std::uint32_t version = U32(info, 0);
    const std::uint16_t major = version & 0xFFFF, minor = version >> 16;
    if (major < 2 || major > 4 || minor != 2) return std::nullopt;
    const std::uint32_t headerSize = U32(info, 8);
    if (headerSize < 32 || headerSize > info.size() - 12) return std::nullopt;
    const std::string_view header = info.substr(12, headerSize);
    const std::uint32_t algorithm = U32(header, 8), hash = U32(header, 12);
    std::uint32_t keyBits = U32(header, 16);
    if (keyBits == 0) keyBits = 40;
    if ((algorithm != 0x6801 && algorithm != 0) || (hash != 0x8004 && hash != 0) || keyBits < 40 ||
        keyBits > 128 || keyBits % 8 != 0) {
        return std::nullopt;
    }
    const std::string_view verifier = info.substr(12 + headerSize);
    if (verifier.size() < 4 + 16 + 16 + 4 + 20 || U32(verifier, 0) != 16) return std::nullopt;

    ThvRc4CryptoApiKey key;
    key.keyBytes_ = keyBits / 8;
    std::string salted(verifier.substr(4, 16));
    for (const char16_t c : password) {
        salted.push_back(static_cast<char>(c & 0xFF));
        salted.push_back(static_cast<char>(c >> 8));
    }
    key.passwordHash_ = Sha1(salted);

    // The verifier and its hash are one RC4 stream of block 0.
    std::string check(verifier.substr(20, 16));
    check.append(verifier.substr(40, 20));
    key.Decrypt(0, check.data(), check.size());
    const auto digest = Sha1(std::string_view(check).substr(0, 16));
    if (!std::equal(digest.begin(), digest.end(), check.begin() + 16,
                    [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); })) {
        return std::nullopt;
    }
    return key;
}

void ThvRc4CryptoApiKey::Decrypt(std::uint32_t block, char* data, std::size_t size) const {
    std::string input(passwordHash_.begin(), passwordHash_.end());
    for (int i = 0; i < 4; ++i) input.push_back(static_cast<char>(block >> (8 * i)));
    const auto blockHash = Sha1(input);
    // A 40-bit key is padded with zeros to 128 bits, as CryptoAPI does.
    std::uint8_t rc4Key[16] = {};
    std::copy_n(blockHash.begin(), keyBytes_, rc4Key);
    TRc4 cipher(rc4Key, keyBytes_ == 5 ? 16 : keyBytes_);
    cipher.Apply(data, size);
}
