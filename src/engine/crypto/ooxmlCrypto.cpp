#include "engine/crypto/ooxmlCrypto.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <pugixml.hpp>

#include "engine/base/byteOrder.h"
#include "engine/base/engineError.h"
#include "engine/crypto/cryptoLibrary.h"
#include "text/textEncoding.h"

namespace {

constexpr std::size_t kMaxInfoBytes = 1u << 20;
constexpr std::size_t kAgileSegment = 4096;

// The block keys that tell apart the keys derived from one password hash.
const std::string kVerifierInputBlock("\xFE\xA7\xD2\x76\x3B\x4B\x9E\x79", 8);
const std::string kVerifierHashBlock("\xD7\xAA\x0F\x6D\x30\x61\x34\x4E", 8);
const std::string kKeyValueBlock("\x14\x6E\x0B\xE7\xAB\xAC\xD0\xD6", 8);

struct TDigestFree {
    void operator()(EVP_MD_CTX* context) const { CryptoCalls().EVP_MD_CTX_free(context); }
};
struct TCipherFree {
    void operator()(EVP_CIPHER_CTX* context) const { CryptoCalls().EVP_CIPHER_CTX_free(context); }
};

const EVP_MD* Digest(std::string_view name) {
    if (name == "SHA1" || name == "SHA-1") return CryptoCalls().EVP_sha1();
    if (name == "SHA256" || name == "SHA-256") return CryptoCalls().EVP_sha256();
    if (name == "SHA384" || name == "SHA-384") return CryptoCalls().EVP_sha384();
    if (name == "SHA512" || name == "SHA-512") return CryptoCalls().EVP_sha512();
    return nullptr;
}

const EVP_CIPHER* Aes(std::size_t keyBytes, bool cbc) {
    switch (keyBytes) {
        case 16:
            return cbc ? CryptoCalls().EVP_aes_128_cbc() : CryptoCalls().EVP_aes_128_ecb();
        case 24:
            return cbc ? CryptoCalls().EVP_aes_192_cbc() : CryptoCalls().EVP_aes_192_ecb();
        case 32:
            return cbc ? CryptoCalls().EVP_aes_256_cbc() : CryptoCalls().EVP_aes_256_ecb();
    }
    return nullptr;
}

std::string Hash(const EVP_MD* md, std::string_view a, std::string_view b = {}) {
    std::unique_ptr<EVP_MD_CTX, TDigestFree> context(CryptoCalls().EVP_MD_CTX_new());
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!context || CryptoCalls().EVP_DigestInit_ex(context.get(), md, nullptr) != 1 ||
        CryptoCalls().EVP_DigestUpdate(context.get(), a.data(), a.size()) != 1 ||
        CryptoCalls().EVP_DigestUpdate(context.get(), b.data(), b.size()) != 1 ||
        CryptoCalls().EVP_DigestFinal_ex(context.get(), out, &size) != 1) {
        throw std::bad_alloc();
    }
    return std::string(reinterpret_cast<char*>(out), size);
}

std::string Utf16Le(std::string_view utf8) {
    std::string bytes;
    for (const char16_t c : Utf8ToUtf16(utf8)) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

/// H0 = H(salt + password), then H(i + H) spinCount times: the password's slow hash. Empty
/// when stopped answered true; it is asked every few thousand rounds.
std::optional<std::string> PasswordHash(const EVP_MD* md, std::string_view salt,
                                        std::string_view password, std::uint32_t spinCount,
                                        const std::function<bool()>& stopped) {
    std::string utf16 = Utf16Le(password);
    std::string hash = Hash(md, salt, utf16);
    CryptoCalls().OPENSSL_cleanse(utf16.data(), utf16.size());
    std::unique_ptr<EVP_MD_CTX, TDigestFree> context(CryptoCalls().EVP_MD_CTX_new());
    if (!context) throw std::bad_alloc();
    unsigned char buffer[EVP_MAX_MD_SIZE];
    unsigned int size = static_cast<unsigned int>(hash.size());
    std::memcpy(buffer, hash.data(), size);
    for (std::uint32_t i = 0; i < spinCount; ++i) {
        if (i % 4096 == 0 && stopped && stopped()) {
            CryptoCalls().OPENSSL_cleanse(buffer, sizeof buffer);
            CryptoCalls().OPENSSL_cleanse(hash.data(), hash.size());
            return std::nullopt;
        }
        const unsigned char iterator[4] = {
            static_cast<unsigned char>(i), static_cast<unsigned char>(i >> 8),
            static_cast<unsigned char>(i >> 16), static_cast<unsigned char>(i >> 24)};
        if (CryptoCalls().EVP_DigestInit_ex(context.get(), md, nullptr) != 1 ||
            CryptoCalls().EVP_DigestUpdate(context.get(), iterator, 4) != 1 ||
            CryptoCalls().EVP_DigestUpdate(context.get(), buffer, size) != 1 ||
            CryptoCalls().EVP_DigestFinal_ex(context.get(), buffer, &size) != 1) {
            throw std::bad_alloc();
        }
    }
    hash.assign(reinterpret_cast<char*>(buffer), size);
    CryptoCalls().OPENSSL_cleanse(buffer, sizeof buffer);
    return hash;
}

/// Decrypts whole blocks with AES, without padding. False when the library refuses.
bool AesDecrypt(std::string_view key, std::string_view iv, bool cbc, char* data, std::size_t size) {
    const EVP_CIPHER* cipher = Aes(key.size(), cbc);
    if (cipher == nullptr || size % 16 != 0) return false;
    std::unique_ptr<EVP_CIPHER_CTX, TCipherFree> context(CryptoCalls().EVP_CIPHER_CTX_new());
    if (!context) throw std::bad_alloc();
    std::string ivBlock(iv.substr(0, 16));
    ivBlock.resize(16, '\0');
    int produced = 0, tail = 0;
    const auto* in = reinterpret_cast<const unsigned char*>(data);
    auto* out = reinterpret_cast<unsigned char*>(data);
    return CryptoCalls().EVP_DecryptInit_ex(
               context.get(), cipher, nullptr, reinterpret_cast<const unsigned char*>(key.data()),
               cbc ? reinterpret_cast<const unsigned char*>(ivBlock.data()) : nullptr) == 1 &&
           CryptoCalls().EVP_CIPHER_CTX_set_padding(context.get(), 0) == 1 &&
           CryptoCalls().EVP_DecryptUpdate(context.get(), out, &produced, in,
                                           static_cast<int>(size)) == 1 &&
           CryptoCalls().EVP_DecryptFinal_ex(context.get(), out + produced, &tail) == 1;
}

std::string Base64(std::string_view text) {
    std::string clean;
    for (const char c : text) {
        if (c != ' ' && c != '\n' && c != '\r' && c != '\t') clean += c;
    }
    if (clean.size() % 4 != 0) return {};
    std::string out(clean.size() / 4 * 3, '\0');
    const int size = CryptoCalls().EVP_DecodeBlock(
        reinterpret_cast<unsigned char*>(out.data()),
        reinterpret_cast<const unsigned char*>(clean.data()), static_cast<int>(clean.size()));
    if (size < 0) return {};
    std::size_t padding = 0;
    while (padding < 2 && padding < clean.size() && clean[clean.size() - 1 - padding] == '=')
        ++padding;
    out.resize(static_cast<std::size_t>(size) - padding);
    return out;
}

/// A key cut or padded with 0x36 to its size, as the agile method derives it.
std::string FitKey(std::string key, std::size_t size) {
    key.resize(size, '\x36');
    return key;
}

std::string_view LocalName(const char* name) {
    std::string_view n = name;
    const std::size_t colon = n.find(':');
    return colon == std::string_view::npos ? n : n.substr(colon + 1);
}

pugi::xml_node Child(const pugi::xml_node& node, std::string_view local) {
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element && LocalName(child.name()) == local) return child;
    }
    return {};
}

}  // namespace

ThvPackageKey::TResult ThvPackageKey::Open(std::string_view info, std::string_view password,
                                           const ThvEngineLimits& limits,
                                           std::unique_ptr<ThvPackageKey>& key, std::string& why,
                                           const std::function<bool()>& stopped) {
    if (info.size() < 8) {
        why = "its encryption information is cut off";
        return TResult::Unsupported;
    }
    const std::uint16_t major = U16(info, 0), minor = U16(info, 2);
    auto opened = std::make_unique<ThvPackageKey>();
    if (major == 4 && minor == 4) {
        // Agile: an XML description of the keys.
        pugi::xml_document description;
        if (!description.load_buffer(info.data() + 8, info.size() - 8, pugi::parse_default)) {
            why = "its encryption description is not well-formed XML";
            return TResult::Unsupported;
        }
        const pugi::xml_node encryption = description.document_element();
        const pugi::xml_node data = Child(encryption, "keyData");
        pugi::xml_node encrypted;
        for (pugi::xml_node encryptor = Child(Child(encryption, "keyEncryptors"), "keyEncryptor");
             encryptor; encryptor = encryptor.next_sibling()) {
            if (std::string_view(encryptor.attribute("uri").value()).ends_with("/password")) {
                encrypted = Child(encryptor, "encryptedKey");
                break;
            }
        }
        if (!data || !encrypted) {
            why = "it is encrypted for a certificate, not a password";
            return TResult::Unsupported;
        }
        const EVP_MD* passwordHash = Digest(encrypted.attribute("hashAlgorithm").value());
        const EVP_MD* dataHash = Digest(data.attribute("hashAlgorithm").value());
        const std::size_t keyBytes = encrypted.attribute("keyBits").as_uint() / 8;
        const std::size_t dataKeyBytes = data.attribute("keyBits").as_uint() / 8;
        const std::uint32_t spinCount = encrypted.attribute("spinCount").as_uint();
        const bool aes =
            std::string_view(encrypted.attribute("cipherAlgorithm").value()) == "AES" &&
            std::string_view(data.attribute("cipherAlgorithm").value()) == "AES";
        const bool cbc =
            std::string_view(encrypted.attribute("cipherChaining").value()) == "ChainingModeCBC" &&
            std::string_view(data.attribute("cipherChaining").value()) == "ChainingModeCBC";
        if (!passwordHash || !dataHash || !aes || !cbc || !Aes(keyBytes, true) ||
            !Aes(dataKeyBytes, true)) {
            why = "its cipher or hash is not one this program reads";
            return TResult::Unsupported;
        }
        if (spinCount > limits.MaxSpinCount) {
            why = "it asks for more hash rounds than the limit of " +
                  std::to_string(limits.MaxSpinCount);
            return TResult::Unsupported;
        }
        const std::string salt = Base64(encrypted.attribute("saltValue").value());
        std::optional<std::string> slow =
            PasswordHash(passwordHash, salt, password, spinCount, stopped);
        if (!slow) return TResult::Stopped;
        std::string hash = std::move(*slow);
        const auto derived = [&](const std::string& block) {
            return FitKey(Hash(passwordHash, hash, block), keyBytes);
        };
        std::string input = Base64(encrypted.attribute("encryptedVerifierHashInput").value());
        std::string value = Base64(encrypted.attribute("encryptedVerifierHashValue").value());
        std::string secret = Base64(encrypted.attribute("encryptedKeyValue").value());
        const std::size_t saltSize = encrypted.attribute("saltSize").as_uint();
        if (input.empty() || value.empty() || secret.empty() || salt.empty() ||
            !AesDecrypt(derived(kVerifierInputBlock), salt, true, input.data(), input.size()) ||
            !AesDecrypt(derived(kVerifierHashBlock), salt, true, value.data(), value.size()) ||
            input.size() < saltSize) {
            why = "its key records cannot be read";
            return TResult::Unsupported;
        }
        const std::string check = Hash(passwordHash, std::string_view(input).substr(0, saltSize));
        if (value.size() < check.size() ||
            CryptoCalls().CRYPTO_memcmp(value.data(), check.data(), check.size()) != 0) {
            return TResult::WrongPassword;
        }
        if (!AesDecrypt(derived(kKeyValueBlock), salt, true, secret.data(), secret.size()) ||
            secret.size() < dataKeyBytes) {
            why = "its key records cannot be read";
            return TResult::Unsupported;
        }
        CryptoCalls().OPENSSL_cleanse(hash.data(), hash.size());
        opened->agile_ = true;
        opened->key_ = secret.substr(0, dataKeyBytes);
        CryptoCalls().OPENSSL_cleanse(secret.data(), secret.size());
        opened->keySalt_ = Base64(data.attribute("saltValue").value());
        opened->hash_ = data.attribute("hashAlgorithm").value();
        opened->blockSize_ = data.attribute("blockSize").as_uint(16);
        key = std::move(opened);
        return TResult::Opened;
    }
    if ((major == 3 || major == 4) && minor == 2) {
        // Standard: a binary header and verifier, AES in ECB mode, SHA-1.
        if (info.size() < 12) {
            why = "its encryption information is cut off";
            return TResult::Unsupported;
        }
        const std::uint32_t headerSize = U32(info, 8);
        if (headerSize < 32 || headerSize > info.size() - 12) {
            why = "its encryption information is cut off";
            return TResult::Unsupported;
        }
        const std::string_view header = info.substr(12, headerSize);
        const std::uint32_t algorithm = U32(header, 8), hash = U32(header, 12);
        const std::size_t keyBytes = U32(header, 16) / 8;
        if ((algorithm != 0x660E && algorithm != 0x660F && algorithm != 0x6610) ||
            (hash != 0x8004 && hash != 0) || !Aes(keyBytes, false)) {
            why = "its cipher or hash is not one this program reads";
            return TResult::Unsupported;
        }
        const std::string_view verifier = info.substr(12 + headerSize);
        if (verifier.size() < 4 + 16 + 16 + 4 + 32 || U32(verifier, 0) != 16) {
            why = "its key records cannot be read";
            return TResult::Unsupported;
        }
        const std::string_view salt = verifier.substr(4, 16);
        std::optional<std::string> slow =
            PasswordHash(CryptoCalls().EVP_sha1(), salt, password, 50000, stopped);
        if (!slow) return TResult::Stopped;
        std::string h = std::move(*slow);
        h = Hash(CryptoCalls().EVP_sha1(), h, std::string(4, '\0'));
        std::string x1(64, '\x36'), x2(64, '\x5C');
        for (std::size_t i = 0; i < h.size(); ++i) {
            x1[i] = static_cast<char>(x1[i] ^ h[i]);
            x2[i] = static_cast<char>(x2[i] ^ h[i]);
        }
        const std::string derived =
            (Hash(CryptoCalls().EVP_sha1(), x1) + Hash(CryptoCalls().EVP_sha1(), x2))
                .substr(0, keyBytes);
        CryptoCalls().OPENSSL_cleanse(h.data(), h.size());
        std::string check(verifier.substr(20, 16));
        std::string checkHash(verifier.substr(40, 32));
        if (!AesDecrypt(derived, {}, false, check.data(), check.size()) ||
            !AesDecrypt(derived, {}, false, checkHash.data(), checkHash.size())) {
            why = "its key records cannot be read";
            return TResult::Unsupported;
        }
        const std::string expected = Hash(CryptoCalls().EVP_sha1(), check);
        if (CryptoCalls().CRYPTO_memcmp(expected.data(), checkHash.data(), expected.size()) != 0) {
            return TResult::WrongPassword;
        }
        opened->key_ = derived;
        key = std::move(opened);
        return TResult::Opened;
    }
    why = "its encryption (version " + std::to_string(major) + "." + std::to_string(minor) +
          ") is not one this program reads";
    return TResult::Unsupported;
}

void ThvPackageKey::DecryptSegment(std::uint32_t segment, char* data, std::size_t size) const {
    bool done = false;
    if (agile_) {
        const unsigned char number[4] = {
            static_cast<unsigned char>(segment), static_cast<unsigned char>(segment >> 8),
            static_cast<unsigned char>(segment >> 16), static_cast<unsigned char>(segment >> 24)};
        const std::string iv = Hash(Digest(hash_), keySalt_,
                                    std::string_view(reinterpret_cast<const char*>(number), 4));
        done = AesDecrypt(key_, std::string_view(iv).substr(0, blockSize_), true, data, size);
    } else {
        done = AesDecrypt(key_, {}, false, data, size);
    }
    if (!done) throw std::bad_alloc();
}

ThvDecryptedPackage::ThvDecryptedPackage(ThvCfbStream stream, std::unique_ptr<ThvPackageKey> key)
    : stream_(std::move(stream)), key_(std::move(key)) {
    if (stream_.Size() < 8) throw EhvCfbError("the encrypted package is cut off");
    const std::string head = stream_.Read(0, 8);
    size_ = static_cast<std::uint64_t>(U32(head, 4)) << 32 | U32(head, 0);
    if (size_ > stream_.Size() - 8) throw EhvCfbError("the encrypted package is cut off");
}

bool ThvDecryptedPackage::ReadAt(std::uint64_t offset, char* out, std::size_t size) const {
    if (offset > size_ || size_ - offset < size) return false;
    // Pieces of 4096 bytes: an agile segment, or 256 blocks of the standard method.
    const std::size_t piece = std::max<std::size_t>(key_->SegmentBytes(), kAgileSegment);
    while (size > 0) {
        const std::uint64_t index = offset / piece;
        if (index != cached_) {
            const std::uint64_t start = index * piece;
            const std::uint64_t left = stream_.Size() - 8 - start;
            // The last piece is padded to whole blocks in the stream.
            std::size_t bytes = static_cast<std::size_t>(std::min<std::uint64_t>(piece, left));
            bytes -= bytes % 16;
            if (bytes == 0) return false;
            try {
                cache_ = stream_.Read(8 + start, bytes);
            } catch (const EhvCfbError&) {
                return false;
            }
            if (key_->SegmentBytes() == kAgileSegment) {
                key_->DecryptSegment(static_cast<std::uint32_t>(index), cache_.data(), bytes);
            } else {
                key_->DecryptSegment(0, cache_.data(), bytes);
            }
            cached_ = index;
        }
        const std::size_t within = static_cast<std::size_t>(offset - index * piece);
        if (within >= cache_.size()) return false;
        const std::size_t take = std::min(size, cache_.size() - within);
        std::memcpy(out, cache_.data() + within, take);
        out += take;
        offset += take;
        size -= take;
    }
    return true;
}

std::unique_ptr<ThvByteSource> OpenEncryptedPackage(const ThvCfbReader& cfb,
                                                    std::string_view fileName,
                                                    const ThvReadOptions& options) {
    const std::string locked =
        "is protected with a password; password-protected presentations cannot be read";
    const ThvCfbEntry* info = cfb.Find("EncryptionInfo");
    const ThvCfbEntry* package = cfb.Find("EncryptedPackage");
    if (info == nullptr || package == nullptr || info->Kind != ThvCfbEntry::TKind::Stream ||
        package->Kind != ThvCfbEntry::TKind::Stream) {
        ThrowFileError(fileName, locked);
    }
    CryptoCallsFor(fileName);
    std::string infoBytes;
    try {
        if (info->Size > kMaxInfoBytes)
            throw EhvCfbError("its encryption information is too large");
        infoBytes = cfb.ReadStream(*info);
    } catch (const EhvCfbError& error) {
        ThrowFileError(fileName, "is damaged: " + std::string(error.what()));
    }
    std::unique_ptr<ThvPackageKey> key;
    const std::vector<std::string> passwords = PasswordsToTry(options, fileName);
    for (std::size_t i = 0; i < passwords.size() && i < options.Limits.MaxPasswords && !key; ++i) {
        std::string why;
        const ThvPackageKey::TResult result =
            ThvPackageKey::Open(infoBytes, passwords[i], options.Limits, key, why, options.Stopped);
        if (result == ThvPackageKey::TResult::Unsupported) {
            ThrowFileError(fileName, locked + " (" + why + ")");
        }
        if (result == ThvPackageKey::TResult::Stopped)
            ThrowFileError(fileName,
                           "was not read: the run was stopped while its passwords were tried");
    }
    if (!key)
        ThrowFileError(fileName,
                       locked + UntriedPasswords(options.Limits.MaxPasswords, passwords.size()));
    try {
        return std::make_unique<ThvDecryptedPackage>(cfb.OpenStream(*package), std::move(key));
    } catch (const EhvCfbError& error) {
        ThrowFileError(fileName, "is damaged: " + std::string(error.what()));
    }
}
