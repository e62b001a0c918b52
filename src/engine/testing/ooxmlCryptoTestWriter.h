#pragma once

// Test support only: encrypts an Office Open XML package with a password, the way Office does
// (ECMA-376 agile encryption: SHA-512, AES-256 in 4096-byte segments, with the data integrity
// record; or standard encryption: SHA-1, AES-128 in ECB mode), on OpenSSL's libcrypto, and
// wraps the result in a compound file. Salts and keys come from a fixed seed, so a test file is
// the same every run. Debian's msoffcrypto-tool decrypts what this writes (tested where it is
// installed), which checks the writer against a reader that is not this program's.

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "engine/testing/cfbTestWriter.h"

namespace crypto_test {

inline std::string Bytes(std::size_t count, std::uint32_t seed) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        seed = seed * 1103515245 + 12345;
        out += static_cast<char>(seed >> 16);
    }
    return out;
}

inline std::string Hash(const EVP_MD* md, const std::string& a, const std::string& b = {}) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context, md, nullptr);
    EVP_DigestUpdate(context, a.data(), a.size());
    EVP_DigestUpdate(context, b.data(), b.size());
    EVP_DigestFinal_ex(context, out, &size);
    EVP_MD_CTX_free(context);
    return std::string(reinterpret_cast<char*>(out), size);
}

inline std::string Le32(std::uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
            static_cast<char>(v >> 24)};
}

inline std::string Utf16(const std::string& ascii) {
    std::string out;
    for (const char c : ascii) out += std::string{c, '\0'};
    return out;
}

/// UTF-8 (up to three bytes a character) as UTF-16LE, as passwords are hashed.
inline std::string Utf16FromUtf8(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        std::uint32_t c = lead;
        std::size_t length = 1;
        if (lead >= 0xE0) {
            c = lead & 0x0F, length = 3;
        } else if (lead >= 0xC0) {
            c = lead & 0x1F, length = 2;
        }
        for (std::size_t k = 1; k < length; ++k) c = c << 6 | (utf8[i + k] & 0x3F);
        out += static_cast<char>(c);
        out += static_cast<char>(c >> 8);
        i += length;
    }
    return out;
}

inline std::string PasswordHash(const EVP_MD* md, const std::string& salt,
                                const std::string& password, std::uint32_t spinCount) {
    std::string h = Hash(md, salt, Utf16FromUtf8(password));
    for (std::uint32_t i = 0; i < spinCount; ++i) h = Hash(md, Le32(i), h);
    return h;
}

/// AES over whole blocks (the input is padded with zeros to them), no padding of its own.
inline std::string Aes(const EVP_CIPHER* cipher, const std::string& key, const std::string& iv,
                       std::string data) {
    data.resize((data.size() + 15) / 16 * 16, '\0');
    std::string out(data.size(), '\0');
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    int produced = 0, tail = 0;
    EVP_EncryptInit_ex(context, cipher, nullptr, reinterpret_cast<const unsigned char*>(key.data()),
                       iv.empty() ? nullptr : reinterpret_cast<const unsigned char*>(iv.data()));
    EVP_CIPHER_CTX_set_padding(context, 0);
    EVP_EncryptUpdate(context, reinterpret_cast<unsigned char*>(out.data()), &produced,
                      reinterpret_cast<const unsigned char*>(data.data()),
                      static_cast<int>(data.size()));
    EVP_EncryptFinal_ex(context, reinterpret_cast<unsigned char*>(out.data()) + produced, &tail);
    EVP_CIPHER_CTX_free(context);
    return out;
}

inline std::string Base64(const std::string& data) {
    std::string out(4 * ((data.size() + 2) / 3) + 1, '\0');
    const int size = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                     reinterpret_cast<const unsigned char*>(data.data()),
                                     static_cast<int>(data.size()));
    out.resize(static_cast<std::size_t>(size));
    return out;
}

inline std::string SizePrefix(std::size_t size) {
    return Le32(static_cast<std::uint32_t>(size)) + Le32(0);
}

/// The package encrypted with agile encryption, in a compound file.
inline std::string EncryptAgile(const std::string& package, const std::string& password,
                                std::uint32_t spinCount = 100000, std::uint32_t seed = 7) {
    const EVP_MD* sha512 = EVP_sha512();
    const std::string keySalt = Bytes(16, seed), passwordSalt = Bytes(16, seed + 1);
    const std::string secret = Bytes(32, seed + 2), verifier = Bytes(16, seed + 3);
    const std::string hmacKey = Bytes(64, seed + 4);
    const std::string h = PasswordHash(sha512, passwordSalt, password, spinCount);
    const auto key = [&](const char* block) {
        return Hash(sha512, h, std::string(block, 8)).substr(0, 32);
    };
    const auto dataIv = [&](const std::string& block) {
        return Hash(sha512, keySalt, block).substr(0, 16);
    };
    std::string stream = SizePrefix(package.size());
    for (std::size_t at = 0, segment = 0; at < package.size(); at += 4096, ++segment) {
        stream += Aes(EVP_aes_256_cbc(), secret, dataIv(Le32(static_cast<std::uint32_t>(segment))),
                      package.substr(at, 4096));
    }
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int macSize = 0;
    HMAC(sha512, hmacKey.data(), static_cast<int>(hmacKey.size()),
         reinterpret_cast<const unsigned char*>(stream.data()), stream.size(), mac, &macSize);
    const std::string encryptedHmacKey =
        Aes(EVP_aes_256_cbc(), secret, dataIv(std::string("\x5F\xB2\xAD\x01\x0C\xB9\xE1\xF6", 8)),
            hmacKey);
    const std::string encryptedHmacValue =
        Aes(EVP_aes_256_cbc(), secret, dataIv(std::string("\xA0\x67\x7F\x02\xB2\x2C\x84\x33", 8)),
            std::string(reinterpret_cast<char*>(mac), macSize));
    const std::string common =
        "saltSize=\"16\" blockSize=\"16\" keyBits=\"256\" hashSize=\"64\" cipherAlgorithm=\"AES\" "
        "cipherChaining=\"ChainingModeCBC\" hashAlgorithm=\"SHA512\" ";
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        "<encryption xmlns=\"http://schemas.microsoft.com/office/2006/encryption\" "
        "xmlns:p=\"http://schemas.microsoft.com/office/2006/keyEncryptor/password\">"
        "<keyData " +
        common + "saltValue=\"" + Base64(keySalt) +
        "\"/>"
        "<dataIntegrity encryptedHmacKey=\"" +
        Base64(encryptedHmacKey) + "\" encryptedHmacValue=\"" + Base64(encryptedHmacValue) +
        "\"/>"
        "<keyEncryptors><keyEncryptor "
        "uri=\"http://schemas.microsoft.com/office/2006/keyEncryptor/password\">"
        "<p:encryptedKey spinCount=\"" +
        std::to_string(spinCount) + "\" " + common + "saltValue=\"" + Base64(passwordSalt) +
        "\" encryptedVerifierHashInput=\"" +
        Base64(Aes(EVP_aes_256_cbc(), key("\xFE\xA7\xD2\x76\x3B\x4B\x9E\x79"), passwordSalt,
                   verifier)) +
        "\" encryptedVerifierHashValue=\"" +
        Base64(Aes(EVP_aes_256_cbc(), key("\xD7\xAA\x0F\x6D\x30\x61\x34\x4E"), passwordSalt,
                   Hash(sha512, verifier))) +
        "\" encryptedKeyValue=\"" +
        Base64(
            Aes(EVP_aes_256_cbc(), key("\x14\x6E\x0B\xE7\xAB\xAC\xD0\xD6"), passwordSalt, secret)) +
        "\"/></keyEncryptor></keyEncryptors></encryption>";
    const std::string info = std::string("\x04\x00\x04\x00\x40\x00\x00\x00", 8) + xml;
    return BuildTestCfb({{"EncryptionInfo", info}, {"EncryptedPackage", stream}}).Bytes;
}

/// The package encrypted with standard encryption (AES-128), in a compound file.
inline std::string EncryptStandard(const std::string& package, const std::string& password,
                                   std::uint32_t seed = 11) {
    const EVP_MD* sha1 = EVP_sha1();
    const std::string salt = Bytes(16, seed), verifier = Bytes(16, seed + 1);
    std::string h = PasswordHash(sha1, salt, password, 50000);
    h = Hash(sha1, h, Le32(0));
    std::string x1(64, '\x36'), x2(64, '\x5C');
    for (std::size_t i = 0; i < h.size(); ++i) {
        x1[i] = static_cast<char>(x1[i] ^ h[i]);
        x2[i] = static_cast<char>(x2[i] ^ h[i]);
    }
    const std::string key = (Hash(sha1, x1) + Hash(sha1, x2)).substr(0, 16);
    const std::string provider =
        Utf16("Microsoft Enhanced RSA and AES Cryptographic Provider") + std::string(2, '\0');
    const std::string header = Le32(0x24) + Le32(0) + Le32(0x660E) + Le32(0x8004) + Le32(128) +
                               Le32(0x18) + Le32(0) + Le32(0) + provider;
    const std::string info = std::string("\x03\x00\x02\x00\x24\x00\x00\x00", 8) +
                             Le32(static_cast<std::uint32_t>(header.size())) + header + Le32(16) +
                             salt + Aes(EVP_aes_128_ecb(), key, {}, verifier) + Le32(20) +
                             Aes(EVP_aes_128_ecb(), key, {}, Hash(sha1, verifier));
    const std::string stream =
        SizePrefix(package.size()) + Aes(EVP_aes_128_ecb(), key, {}, package);
    return BuildTestCfb({{"EncryptionInfo", info}, {"EncryptedPackage", stream}}).Bytes;
}

}  // namespace crypto_test
